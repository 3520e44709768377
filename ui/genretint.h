#pragma once
// The tint of each genre (guide/genre.h) for programme cells and the info screen: dark enough
// that white titles stay readable at a distance, far enough apart to tell at a glance.

#include "guide/genre.h"

#include <QColor>

namespace zarvo::ui {

// The fill of a programme of `genre`; Other is the grid's plain programme fill.
QColor genreTint(Genre genre);

} // namespace zarvo::ui
