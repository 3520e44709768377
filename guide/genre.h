#pragma once
// The genre of a programme, read from its XMLTV category, so that the guide can tint each
// programme cell (and the info screen) by what kind of programme it is.
//
// Grabbers write their categories in their country's language and in their own words ("Movie",
// "Film", "Spielfilm", "Elokuva", "Sport", "Nachrichten", "Journal", "Barn", ...). genreOf()
// knows the common words of the languages of the grabbers the settings screen offers (English,
// German, Swedish, Finnish, Italian, Spanish, Dutch, Hungarian, Romanian, French, Norwegian,
// Portuguese, Danish): a category matches a genre when one of its words begins with one of the
// genre's stems, letter case and accents aside. The genres are tried in the order of the enum,
// so "Children's film" is Children and "Sports news" is Sport. Anything else is Other.

#include <QString>

namespace zarvo {

enum class Genre { Children, Sport, News, Documentary, Film, Series, Entertainment, Other };

Genre genreOf(const QString& category);

} // namespace zarvo
