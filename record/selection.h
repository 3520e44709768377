#pragma once
// The selected programme: the one programme being recorded or watched, with what the hand-off
// files and the log of recordings are made of (record/handoff.h forms their texts). The guide
// fills one when the viewer presses Enter on a programme; the rule matcher fills one for every
// programme a standing rule takes.
//
// Both ways give the same record for the same programme: the channel is the channel's name and
// the times go through the same conversion, so the recorder cannot tell a rule's hand-off from
// the viewer's own.

#include "base/clock.h"
#include "guide/gridbuilder.h"
#include "store/listingsstore.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

namespace zarvo {

struct SelectedProgramme
{
    // As the listings have it ("Law & Order"); the hand-off files and the rules the menu stores
    // give it with "and" (handOffTitle(), record/handoff.h).
    QString title;
    QString subtitle;
    QString description;
    QString category;
    QString rating;
    // The whole channel name ("4 WXYZ"): what a rule for this programme's channel names. The
    // hand-off splits it into channel number and station at its first blank.
    QString channelName;
    // The true start and end, in UTC (handOffUtc()); invalid when the listings give no valid
    // date and time.
    QDateTime start;
    QDateTime end;
    // The start on the local wall clock, as the listings give it.
    QDate localDate;
    QTime localTime;
    // The programme's programid in its day table, and that table (1..7): the one its row was
    // read from, where it is marked. Ids are unique only within a table, and a day file's rows
    // all live in the table of the file's day, whatever date each programme starts on.
    qint32 programId = 0;
    int dayTable = 0;

    bool operator==(const SelectedProgramme&) const = default;
};

// From a programme cell of the guide.
SelectedProgramme fromGridCell(const GridCell& cell, const Clock& clock);

// From a programme a rule matched in day table `dayTable`: the same record fromGridCell gives
// for that programme's cell.
SelectedProgramme fromRuleMatch(const RuleMatch& match, int dayTable, const Clock& clock);

// The local wall-clock value `local` as the hand-off files give it: its true UTC, from the tz
// database's rules of the clock's zone at that very moment (summer or winter, this year or
// another). The adjustDST setting plays no part. A wall time the zone skips or repeats is
// resolved as Clock::instant() does.
QDateTime handOffUtc(const QDateTime& local, const Clock& clock);

} // namespace zarvo
