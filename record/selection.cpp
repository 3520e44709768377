#include "record/selection.h"

namespace zarvo {
namespace {

// The fields every way of selecting shares. Both the guide and the rule matcher come here, so
// that a rule's hand-off cannot drift from the viewer's: the channel is the channel's name (not
// its XMLTV id) and the times get the same conversion.
struct Source
{
    QString title, description, subtitle, category, rating, channelName;
    QDate startDate, endDate;
    QTime startTime, endTime;
    qint32 programId = 0;
    int dayTable = 0;
};

SelectedProgramme select(const Source& s, const Clock& clock)
{
    SelectedProgramme p;
    p.title = s.title;
    p.subtitle = s.subtitle;
    p.description = s.description;
    p.category = s.category;
    p.rating = s.rating;
    p.channelName = s.channelName;
    p.start = handOffUtc(wallClock(s.startDate, s.startTime), clock);
    p.end = handOffUtc(wallClock(s.endDate, s.endTime), clock);
    p.localDate = s.startDate;
    p.localTime = s.startTime;
    p.programId = s.programId;
    p.dayTable = s.dayTable;
    return p;
}

} // namespace

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
    return select({cell.title, cell.description, cell.subtitle, cell.category, cell.rating,
                   cell.channelName, cell.startDate, cell.endDate, cell.startTime, cell.endTime,
                   cell.programId, cell.dayTable},
                  clock);
}

SelectedProgramme fromRuleMatch(const RuleMatch& match, int dayTable, const Clock& clock)
{
    const ProgrammeRow& p = match.programme;
    return select({p.title, p.description, p.subtitle, p.category, p.rating,
                   match.channel.channelname, p.startdate, p.enddate, p.starttime, p.endtime,
                   p.programid, dayTable},
                  clock);
}

} // namespace zarvo
