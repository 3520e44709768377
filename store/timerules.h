#pragma once
// Date and time rules shared by the importer, the grabber runner, the guide and the hand-off.
//
// Local date-time values are naive wall-clock QDateTime objects (see app/clock.h). All date
// and time texts keep the month/day/year order and the forms below whatever the locale.

#include "base/clock.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <array>
#include <optional>

namespace zarvo {

// An XMLTV time stamp cut into the local date and time the listings use.
struct StampParts
{
    QDate date; // "MM/DD/YYYY" via dateText()
    QTime time; // "HH:MM:SS" via timeText()
};

// Reads an XMLTV stamp: "YYYYMMDDhhmmss" optionally followed by blanks and a zone, which is a
// numeric offset ("+0000", "-0500", "+0530"; "+05:30" too) or a common name, in any case ("UTC",
// "GMT", "Z", "BST", "EST", "EDT", "CST", "CDT", "MST", "MDT", "PST", "PDT", "CET", "CEST", "EET",
// "EEST", "WET", "WEST", "AEST", "AEDT", "ACST", "AWST", ...). The zone may follow the digits
// without a blank; whitespace around the stamp is ignored. Stamps of 8, 10 or 12 digits are
// completed with zeros. A stamp with a zone is converted to the wall clock of `zone`; a stamp
// without one is taken as it stands. Returns nullopt for a stamp that cannot be read (wrong
// length, letters, an impossible date or time, an unknown or ambiguous zone name, an offset
// beyond 14 hours) and for a stamp with a zone when `zone` is invalid.
std::optional<StampParts> parseStamp(const QString& stamp, const QTimeZone& zone);

// "MM/DD/YYYY", two-digit month and day, four-digit year: 12/15/2003.
QString dateText(QDate date);
// "HH:MM:SS", 24-hour: 20:30:00.
QString timeText(QTime time);

// FormatDate: fills the two hour stamps of `theDate` ("YYYYMMDDhh0000 EST" and
// "YYYYMMDDhh3000 EST") and advances `theDate` by 30 minutes.
using HourStamps = std::array<QString, 2>;
HourStamps formatDate(QDateTime& theDate);

// The day file name of a date: eight digits and ".xml" (20031215.xml).
QString dayFileName(QDate date);
// The same, from entry 0 of the hour stamps.
QString dayFileName(const HourStamps& stamps);

// RecordDate: eight digits, year, month, day (20031215).
QString recordDate(QDate date);

// ToUtc: adds the zone's standard bias (UTC = local + bias) to a naive local value. The bias
// is the standard offset in force at the clock's current moment; daylight time is ignored here.
QDateTime toUtc(const QDateTime& local, const Clock& clock);

// True when daylight time is in force in the clock's zone at its current moment. Always false
// in a zone without daylight time.
bool isDaylightTime(const Clock& clock);

// This year's change-over moments of the clock's zone as local wall-clock text in the form
// "M/D/YYYY h:mm AM" (3/8/2026 2:00 AM): the start is the local standard time at which daylight
// time begins, the end the local daylight time at which it ends. Empty text when the zone has
// no daylight time this year.
QString dstStart(const Clock& clock);
QString dstEnd(const Clock& clock);

// The weekday number of a date: 1 = Sunday ... 7 = Saturday.
int dayNumber(QDate date);

} // namespace zarvo
