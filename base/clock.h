#pragma once
// The clock and time zone the program runs by.
//
// Everything that asks "what time is it" or "which zone are we in" goes through a Clock, so
// that a test can stand at 03:01 on a Sunday in Europe/Berlin without waiting or touching the
// machine's settings.
//
// Wall-clock values: the listings are stored and shown in local time, and the guide moves its
// window by whole hours and days of the wall clock. Such values are held as naive QDateTime
// objects (time spec Qt::LocalTime is avoided on purpose, since it follows the process's zone,
// not the injected one). A naive value is a QDateTime in Qt::UTC used only as a calendar date
// plus a time of day; `Clock::instant()` turns it into a real moment in the clock's zone.

#include <QDateTime>
#include <QTimeZone>

namespace zarvo {

// Makes a naive wall-clock value from a date and a time of day.
QDateTime wallClock(QDate date, QTime time);

class Clock
{
public:
    virtual ~Clock() = default;
    // The current moment (in UTC).
    virtual QDateTime currentInstant() const = 0;
    // The zone whose wall clock the listings use.
    virtual QTimeZone zone() const = 0;

    // The current local wall-clock time, naive (see above).
    QDateTime now() const;
    // The real moment of a naive local value in this clock's zone. A wall-clock time that the
    // zone skips (the spring-forward hour) is taken as the moment the same number of seconds
    // after the change-over; a repeated one (the fall-back hour) as its first occurrence.
    QDateTime instant(const QDateTime& wall) const;
    // The naive local wall-clock value of a real moment.
    QDateTime toWall(const QDateTime& instant) const;
};

// The machine's clock and its system time zone (the tz database, honouring TZ).
class SystemClock final : public Clock
{
public:
    QDateTime currentInstant() const override;
    QTimeZone zone() const override;
};

// A clock that stands still until told to move; for tests and command-line replays.
class FakeClock final : public Clock
{
public:
    explicit FakeClock(QTimeZone zone, QDateTime wallNow = {});
    QDateTime currentInstant() const override { return m_instant; }
    QTimeZone zone() const override { return m_zone; }
    // Sets the current moment from a naive local wall-clock value.
    void setNow(const QDateTime& wall);
    void setInstant(const QDateTime& instant) { m_instant = instant.toUTC(); }
    void advanceSeconds(qint64 seconds) { m_instant = m_instant.addSecs(seconds); }

private:
    QTimeZone m_zone;
    QDateTime m_instant;
};

} // namespace zarvo
