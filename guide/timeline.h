#pragma once
// Where the present time stands in a guide window, and how each programme cell stands to the
// window and to the present: what the grid paints as the now line, a running programme's
// progress, an ended programme dimmed, and the arrows of a cell whose programme began before
// the window or goes on after it.
//
// A window is the clock hour of its start: hh:00 to hh+1:00 on the window's date, whatever the
// minutes of the start (the half-hour columns never shift). All times are naive wall-clock
// values (base/clock.h), compared as the listings give them.

#include "guide/gridbuilder.h"

#include <QDateTime>

#include <optional>

namespace zarvo {

// The hour a window covers: [start, end).
struct WindowHour
{
    QDateTime start;
    QDateTime end;
};
WindowHour windowHour(const QDateTime& windowStart);

// The place of the present minute across the window's two half-hour columns: 0 at hh:00, 0.5 at
// hh:30, 59/60 at hh:59 (seconds do not count, so the line moves once a minute). nullopt when the
// window does not hold `now` or windowStart is invalid.
std::optional<double> nowLineFraction(const QDateTime& windowStart, const QDateTime& now);

// How one programme cell stands to its window and to the present.
struct CellTiming
{
    // The programme has ended (its end is not after now): the cell is dimmed.
    bool ended = false;
    // It began before the window (start < hh:00): an arrow at the cell's left.
    bool startedBefore = false;
    // It goes on after the window (end > hh+1:00): an arrow at the cell's right.
    bool goesOn = false;
    // While it runs (start <= now < end): how much of it has run, 0 up to below 1.
    std::optional<double> progress;
    bool operator==(const CellTiming&) const = default;
};
// A cell whose start or end is not a valid date and time gets no flags and no progress.
CellTiming cellTiming(const GridCell& cell, const QDateTime& windowStart, const QDateTime& now);

} // namespace zarvo
