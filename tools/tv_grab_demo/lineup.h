#pragma once
// The demonstration channel line-up, shared by the grabber and the logo maker so that the icon a
// channel names in the listings and the logo file written for it always agree.
//
// Channels are identified by a zero-based index. Everything about a channel is a pure function
// of that index: asking for fewer channels never renames the first ones.

#include <QString>

namespace zarvo::demo {

// Call letters stay unique below this many channels.
inline constexpr int maxChannels = 10000;

// Four capital letters, "W" or "K" first, different for every index below maxChannels.
// Index 0 is "WDMO".
QString callLetters(int index);

// Channel numbers run 2, 3, 4, ... like a broadcast line-up.
int channelNumber(int index);

// The XMLTV channel id, e.g. "2.demo.zarvo".
QString channelId(int index);

// The logo's file name, e.g. "WDMO.png".
QString logoFileName(int index);

// The icon source written in the listings: a file URL whose last path segment is
// logoFileName(). The part before the file name is exactly logoFolderUrlLength characters, so a
// reader that drops a fixed-length folder prefix gets the same file name as one that takes the
// last segment.
QString logoSource(int index);
inline constexpr int logoFolderUrlLength = 47;

} // namespace zarvo::demo
