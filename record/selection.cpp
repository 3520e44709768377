#include "record/selection.h"

#include "store/timerules.h"

namespace zarvo {
namespace {

QString pad2(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

QString hoursMinutes(QTime time)
{
    return pad2(time.hour()) + QLatin1Char(':') + pad2(time.minute());
}

// The fields every way of selecting shares. Both the guide and the rule matcher come here, so
// that a rule's hand-off cannot drift from the viewer's: the station comes from the channel's
// name (not its XMLTV id) and the times get the same conversion.
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
    const qsizetype blank = s.channelName.indexOf(QLatin1Char(' '));
    p.progStation = blank < 0 ? s.channelName : s.channelName.mid(blank + 1);
    p.progChannelNumber = blank < 0 ? QString() : s.channelName.left(blank);
    p.progChannelName = s.channelName;
    p.progTitle = QString(s.title).replace(QLatin1Char('&'), QLatin1String("and"));
    p.progDescription = s.description;

    const QDateTime start = handOffUtc(wallClock(s.startDate, s.startTime), clock);
    const QDateTime end = handOffUtc(wallClock(s.endDate, s.endTime), clock);
    if (start.isValid()) {
        p.progStartDate = recordDate(start.date());
        p.progStartTime = hoursMinutes(start.time());
    }
    if (end.isValid()) {
        p.progEndDate = recordDate(end.date());
        p.progEndTime = hoursMinutes(end.time());
    }
    p.progDuration = durationText(start.isValid() && end.isValid() ? start.secsTo(end) : 0);

    p.progCategory = s.category;
    p.progRating = s.rating;
    p.progSubtitle = s.subtitle;
    if (s.startDate.isValid())
        p.progLocalDate = dateText(s.startDate);
    if (s.startTime.isValid())
        p.progLocalTime = standardTimeText(s.startTime);
    p.progId = s.programId;
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

QString durationText(qint64 seconds)
{
    const qint64 minutes = qMax<qint64>(seconds, 0) / 60;
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(pad2(minutes % 60));
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

QString channelText(const SelectedProgramme& selected)
{
    if (!selected.progChannelName.isEmpty())
        return selected.progChannelName;
    if (selected.progChannelNumber.isEmpty())
        return selected.progStation;
    return selected.progChannelNumber + QLatin1Char(' ') + selected.progStation;
}

} // namespace zarvo
