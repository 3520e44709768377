#pragma once
// How the viewer's screens (info, search, recordings) name a showing's day, time and length:
// fixed US-English forms, as everywhere in the guide, but without the grid's seconds, so that a
// line of day, time and channel reads at a glance across the room.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

namespace zarvo {

// "Mon 12/15".
QString showingDayText(QDate date);
// "8:05 PM".
QString showingTimeText(QTime time);
// "1 hr 30 min", "2 hr", "45 min"; empty when the end is not after the start.
QString durationText(const QDateTime& start, const QDateTime& end);

} // namespace zarvo
