#include "guide/timeline.h"

namespace zarvo {

WindowHour windowHour(const QDateTime& windowStart)
{
    const QDateTime start = wallClock(windowStart.date(), QTime(windowStart.time().hour(), 0));
    return {start, start.addSecs(3600)};
}

std::optional<double> nowLineFraction(const QDateTime& windowStart, const QDateTime& now)
{
    if (!windowStart.isValid() || !now.isValid())
        return std::nullopt;
    const WindowHour hour = windowHour(windowStart);
    if (now < hour.start || now >= hour.end)
        return std::nullopt;
    return (hour.start.secsTo(now) / 60) / 60.0;
}

CellTiming cellTiming(const GridCell& cell, const QDateTime& windowStart, const QDateTime& now)
{
    CellTiming timing;
    const QDateTime start = wallClock(cell.startDate, cell.startTime);
    const QDateTime end = wallClock(cell.endDate, cell.endTime);
    if (!start.isValid() || !end.isValid() || !windowStart.isValid())
        return timing;
    const WindowHour hour = windowHour(windowStart);
    timing.startedBefore = start < hour.start;
    timing.goesOn = end > hour.end;
    if (!now.isValid())
        return timing;
    timing.ended = end <= now;
    if (start <= now && now < end)
        timing.progress = double(start.secsTo(now)) / double(start.secsTo(end));
    return timing;
}

} // namespace zarvo
