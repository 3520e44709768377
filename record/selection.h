#pragma once
// The selected programme: the one programme being recorded or watched, as the hand-off files
// and the log of recordings want it. The guide fills one when the viewer presses Enter on a
// programme; the rule matcher fills one for every programme a standing rule takes.
//
// Both ways give the same record for the same programme: the channel name is split the same way
// and the times go through the same conversion, so the recorder cannot tell a rule's hand-off
// from the viewer's own.

#include "base/clock.h"
#include "guide/gridbuilder.h"
#include "store/listingsstore.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

namespace zarvo {

struct SelectedProgramme
{
    // The channel name after its first blank ("4 WXYZ" -> "WXYZ"); the whole name without one.
    QString progStation;
    QString progMode = QStringLiteral("cable");
    // The title with every "&" replaced by "and" ("Law & Order" -> "Law and Order").
    QString progTitle;
    QString progDescription;
    // Start and end in UTC: eight-digit dates (20031216) and "hh:mm" times (01:00).
    QString progStartDate;
    QString progStartTime;
    QString progEndDate;
    QString progEndTime;
    // End minus start in whole hours and minutes, "hh:mm"; beyond a day the hours go on counting
    // ("25:30"). "00:00" when the end is not after the start.
    QString progDuration;
    // The channel name up to its first blank ("4 WXYZ" -> "4"); empty when the name has no blank.
    QString progChannelNumber;
    // The local start: "MM/DD/YYYY" (12/15/2003) and the guide's time text ("8:00:00 PM").
    QString progLocalDate;
    QString progLocalTime;
    QString progSubtitle;
    QString progCategory;
    QString progRating;
    // Set by logRecording(): title, " on ", then channelText() ("Law and Order on 4 WXYZ").
    QString progFileName;
    // The programme's programid in its day table, and that table (1..7): the one its row was
    // read from, where it is marked. Ids are unique only within a table, and a day file's rows
    // all live in the table of the file's day, whatever date each programme starts on.
    qint32 progId = 0;
    int dayTable = 0;
    // The whole channel name ("4 WXYZ"): what a rule for this programme's channel names. Kept
    // because number and station alone cannot tell "WXYZ" from " WXYZ".
    QString progChannelName;

    bool operator==(const SelectedProgramme&) const = default;
};

// From a programme cell of the guide.
SelectedProgramme fromGridCell(const GridCell& cell, const Clock& clock);

// From a programme a rule matched in day table `dayTable`: the same record fromGridCell gives
// for that programme's cell.
SelectedProgramme fromRuleMatch(const RuleMatch& match, int dayTable, const Clock& clock);

// The channel as rules name it: progChannelName, or, for a record built by hand without it,
// the number, a blank and the station (the station alone when there is no number).
QString channelText(const SelectedProgramme& selected);

// The local wall-clock value `local` as the hand-off files give it: its true UTC, from the tz
// database's rules of the clock's zone at that very moment (summer or winter, this year or
// another). The adjustDST setting plays no part. A wall time the zone skips or repeats is
// resolved as Clock::instant() does.
QDateTime handOffUtc(const QDateTime& local, const Clock& clock);

// "hh:mm" of a span in seconds: hours as many as it takes (at least two digits), negative spans
// as "00:00". Seconds are dropped.
QString durationText(qint64 seconds);

} // namespace zarvo
