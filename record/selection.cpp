#include "record/selection.h"

namespace zarvo {

QDateTime handOffUtc(const QDateTime& local, const Clock& clock)
{
    if (!local.isValid())
        return {};
    // The offset of the programme's own moment, not today's: a programme beyond the next
    // change-over gets the offset of its own season.
    const QDateTime utc = clock.instant(local).toUTC();
    return wallClock(utc.date(), utc.time());
}

SelectedProgramme fromGridCell(const GridCell& cell, const Clock& clock)
{
    SelectedProgramme p;
    p.title = cell.title;
    p.subtitle = cell.subtitle;
    p.description = cell.description;
    p.category = cell.category;
    p.rating = cell.rating;
    // The channel's name, not its XMLTV id.
    p.channelName = cell.channelName;
    p.start = handOffUtc(wallClock(cell.startDate, cell.startTime), clock);
    p.end = handOffUtc(wallClock(cell.endDate, cell.endTime), clock);
    p.localDate = cell.startDate;
    p.localTime = cell.startTime;
    p.programId = cell.programId;
    p.dayTable = cell.dayTable;
    return p;
}

SelectedProgramme fromRuleMatch(const RuleMatch& match, int dayTable, const Clock& clock)
{
    // Through the programme's grid cell, so that a rule's hand-off cannot drift from the
    // viewer's.
    return fromGridCell(gridCell(match.programme, match.channel, dayTable), clock);
}

} // namespace zarvo
