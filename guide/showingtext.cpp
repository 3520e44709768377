#include "guide/showingtext.h"

#include <QLocale>

namespace zarvo {

// The C locale gives the US-English names on every machine.
QString showingDayText(QDate date)
{
    return QLocale::c().toString(date, QStringLiteral("ddd MM/dd"));
}

QString showingTimeText(QTime time)
{
    return QLocale::c().toString(time, QStringLiteral("h:mm AP"));
}

QString durationText(const QDateTime& start, const QDateTime& end)
{
    // Naive wall-clock values: a night the clocks change shows the listed length.
    const qint64 minutes = start.isValid() && end.isValid() ? start.secsTo(end) / 60 : 0;
    if (minutes <= 0)
        return {};
    const qint64 hours = minutes / 60;
    const qint64 rest = minutes % 60;
    if (hours == 0)
        return QStringLiteral("%1 min").arg(rest);
    if (rest == 0)
        return QStringLiteral("%1 hr").arg(hours);
    return QStringLiteral("%1 hr %2 min").arg(hours).arg(rest);
}

} // namespace zarvo
