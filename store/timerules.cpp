#include "store/timerules.h"

#include <QHash>
#include <QRegularExpression>

// Every text here is built with QString::arg on plain integers, which never localises digits or
// separators; QLocale and QDate::toString are avoided on purpose because the database compares
// these texts and must see the same form on every machine.

namespace zarvo {

namespace {

QString pad2(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

QString eightDigits(QDate date)
{
    return QStringLiteral("%1%2%3")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(pad2(date.month()), pad2(date.day()));
}

// Fixed offsets, in minutes east of UTC, of the zone names grabbers write. Names that stand
// for more than one offset (IST: Ireland, India, Israel) are left out so they are refused rather
// than guessed.
const QHash<QString, int>& zoneNames()
{
    static const QHash<QString, int> names = {
        // Universal
        {QStringLiteral("UTC"), 0},
        {QStringLiteral("UT"), 0},
        {QStringLiteral("GMT"), 0},
        {QStringLiteral("Z"), 0},
        // Europe
        {QStringLiteral("WET"), 0},
        {QStringLiteral("WEST"), 60},
        {QStringLiteral("BST"), 60},
        {QStringLiteral("CET"), 60},
        {QStringLiteral("CEST"), 120},
        {QStringLiteral("MET"), 60},
        {QStringLiteral("MEST"), 120},
        {QStringLiteral("EET"), 120},
        {QStringLiteral("EEST"), 180},
        {QStringLiteral("MSK"), 180},
        // North America
        {QStringLiteral("NST"), -210},
        {QStringLiteral("NDT"), -150},
        {QStringLiteral("AST"), -240},
        {QStringLiteral("ADT"), -180},
        {QStringLiteral("EST"), -300},
        {QStringLiteral("EDT"), -240},
        {QStringLiteral("CST"), -360},
        {QStringLiteral("CDT"), -300},
        {QStringLiteral("MST"), -420},
        {QStringLiteral("MDT"), -360},
        {QStringLiteral("PST"), -480},
        {QStringLiteral("PDT"), -420},
        {QStringLiteral("AKST"), -540},
        {QStringLiteral("AKDT"), -480},
        {QStringLiteral("HST"), -600},
        // Australia, New Zealand, Japan
        {QStringLiteral("AWST"), 480},
        {QStringLiteral("AWDT"), 540},
        {QStringLiteral("ACST"), 570},
        {QStringLiteral("ACDT"), 630},
        {QStringLiteral("AEST"), 600},
        {QStringLiteral("AEDT"), 660},
        {QStringLiteral("NZST"), 720},
        {QStringLiteral("NZDT"), 780},
        {QStringLiteral("JST"), 540},
    };
    return names;
}

// The zone part of a stamp in minutes east of UTC; nullopt when it cannot be read.
std::optional<int> zoneOffsetMinutes(const QRegularExpressionMatch& m)
{
    if (m.capturedLength(2) > 0) {
        const int hours = m.capturedView(3).toInt();
        const int minutes = m.capturedView(4).toInt();
        // No zone on earth is more than 14 hours from UTC.
        if (minutes > 59 || hours * 60 + minutes > 14 * 60)
            return std::nullopt;
        const int total = hours * 60 + minutes;
        return m.capturedView(2) == QLatin1Char('-') ? -total : total;
    }
    const auto it = zoneNames().constFind(m.captured(5).toUpper());
    if (it == zoneNames().cend())
        return std::nullopt;
    return *it;
}

// "M/D/YYYY h:mm AM", the form the change-over texts have always had.
QString changeOverText(const QDateTime& wall)
{
    const QDate d = wall.date();
    const QTime t = wall.time();
    const int hour12 = t.hour() % 12 == 0 ? 12 : t.hour() % 12;
    return QStringLiteral("%1/%2/%3 %4:%5 %6")
        .arg(d.month())
        .arg(d.day())
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(hour12)
        .arg(pad2(t.minute()))
        .arg(t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

// The first change-over of the clock's year that switches daylight time on (`into` true) or off,
// shown on the wall clock as it read just before the change: the standard time at which daylight
// time begins, the daylight time at which it ends.
QString changeOver(const Clock& clock, bool into)
{
    const QTimeZone tz = clock.zone();
    if (!tz.isValid() || !tz.hasTransitions())
        return {};
    const int year = clock.now().date().year();
    const QDateTime from = clock.instant(wallClock(QDate(year, 1, 1), QTime(0, 0)));
    const QDateTime to = clock.instant(wallClock(QDate(year + 1, 1, 1), QTime(0, 0))).addMSecs(-1);
    // Transitions that only move the standard offset are skipped: the daylight state must flip.
    const auto transitions = tz.transitions(from, to);
    for (const QTimeZone::OffsetData& t : transitions) {
        const QDateTime justBefore = t.atUtc.addMSecs(-1);
        if (tz.isDaylightTime(justBefore) == into || tz.isDaylightTime(t.atUtc) != into)
            continue;
        const QDateTime wall = t.atUtc.addSecs(tz.offsetFromUtc(justBefore));
        return changeOverText(wallClock(wall.date(), wall.time()));
    }
    return {};
}

} // namespace

std::optional<StampParts> parseStamp(const QString& stamp, const QTimeZone& zone)
{
    // [0-9] rather than \d: \d would also take digits of other scripts, which toInt misreads.
    // Groups: 1 digits, 2-4 sign, hours and minutes of an offset, 5 a zone name.
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{14}|[0-9]{12}|[0-9]{10}|[0-9]{8})"
                       "\\s*"
                       "(?:([+-])([0-9]{2}):?([0-9]{2})"
                       "|([A-Za-z]{1,5}))?$"));
    const QRegularExpressionMatch m = pattern.match(stamp.trimmed());
    if (!m.hasMatch())
        return std::nullopt;

    // XMLTV lets a stamp stop after the day, hour or minute; the rest counts as zero.
    const QString digits = m.captured(1).leftJustified(14, QLatin1Char('0'));
    const auto number = [&digits](int from, int length) {
        return QStringView(digits).mid(from, length).toInt();
    };
    const QDate date(number(0, 4), number(4, 2), number(6, 2));
    const QTime time(number(8, 2), number(10, 2), number(12, 2));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;

    if (m.capturedLength(2) == 0 && m.capturedLength(5) == 0)
        return StampParts{date, time};

    const std::optional<int> offset = zoneOffsetMinutes(m);
    if (!offset || !zone.isValid())
        return std::nullopt;
    const QDateTime local = wallClock(date, time).addSecs(-*offset * 60).toTimeZone(zone);
    return StampParts{local.date(), local.time()};
}

QString dateText(QDate date)
{
    return QStringLiteral("%1/%2/%3")
        .arg(pad2(date.month()), pad2(date.day()))
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

QString timeText(QTime time)
{
    return QStringLiteral("%1:%2:%3")
        .arg(pad2(time.hour()), pad2(time.minute()), pad2(time.second()));
}

HourStamps formatDate(QDateTime& theDate)
{
    const QString hour = eightDigits(theDate.date()) + pad2(theDate.time().hour());
    // The " EST" label is part of the stamp format, not a statement about the machine's zone.
    HourStamps stamps{hour + QStringLiteral("0000 EST"), hour + QStringLiteral("3000 EST")};
    theDate = theDate.addSecs(30 * 60);
    return stamps;
}

QString dayFileName(QDate date)
{
    return eightDigits(date) + QStringLiteral(".xml");
}

QString dayFileName(const HourStamps& stamps)
{
    return stamps[0].left(8) + QStringLiteral(".xml");
}

QString recordDate(QDate date)
{
    return eightDigits(date);
}

QDateTime toUtc(const QDateTime& local, const Clock& clock)
{
    if (!local.isValid())
        return local;
    const int standardOffset = clock.zone().standardTimeOffset(clock.currentInstant());
    return wallClock(local.date(), local.time()).addSecs(-standardOffset);
}

bool isDaylightTime(const Clock& clock)
{
    return clock.zone().isDaylightTime(clock.currentInstant());
}

QString dstStart(const Clock& clock)
{
    return changeOver(clock, true);
}

QString dstEnd(const Clock& clock)
{
    return changeOver(clock, false);
}

int dayNumber(QDate date)
{
    // Qt counts Monday 1 ... Sunday 7; the day tables count Sunday 1 ... Saturday 7.
    return date.dayOfWeek() % 7 + 1;
}

} // namespace zarvo
