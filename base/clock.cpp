#include "base/clock.h"

namespace zarvo {

QDateTime wallClock(QDate date, QTime time)
{
    return QDateTime(date, time, Qt::UTC);
}

QDateTime Clock::now() const
{
    return toWall(currentInstant());
}

QDateTime Clock::instant(const QDateTime& wall) const
{
    // Resolved by hand: Qt 6.4 makes a skipped wall time an invalid QDateTime (whose toUTC()
    // silently reads the wall time as UTC) and maps a repeated one to its second occurrence.
    if (!wall.isValid())
        return {};
    const QTimeZone tz = zone();
    const QDateTime asUtc = wallClock(wall.date(), wall.time());
    // Every real moment of this wall time lies within 14 hours of it, so the offsets a day
    // before and a day after cover both sides of any change-over that could affect it.
    const int before = tz.offsetFromUtc(asUtc.addDays(-1));
    const int after = tz.offsetFromUtc(asUtc.addDays(1));
    const QDateTime early = asUtc.addSecs(-qMax(before, after));
    const QDateTime late = asUtc.addSecs(-qMin(before, after));
    // The earlier candidate first, so that a repeated hour gives its first occurrence.
    if (tz.offsetFromUtc(early) == early.secsTo(asUtc))
        return early;
    if (tz.offsetFromUtc(late) == late.secsTo(asUtc))
        return late;
    // A skipped wall time: count its distance from the start of the gap on the old offset, so
    // 02:30 on a spring-forward night at 02:00 becomes 03:30 of the new offset.
    return asUtc.addSecs(-before);
}

QDateTime Clock::toWall(const QDateTime& instant) const
{
    const QDateTime local = instant.toTimeZone(zone());
    return wallClock(local.date(), local.time());
}

QDateTime SystemClock::currentInstant() const
{
    return QDateTime::currentDateTimeUtc();
}

QTimeZone SystemClock::zone() const
{
    return QTimeZone::systemTimeZone();
}

FakeClock::FakeClock(QTimeZone zone, QDateTime wallNow) : m_zone(std::move(zone))
{
    setNow(wallNow.isValid() ? wallNow : wallClock(QDate(2003, 12, 15), QTime(20, 0)));
}

void FakeClock::setNow(const QDateTime& wall)
{
    m_instant = instant(wall);
}

} // namespace zarvo
