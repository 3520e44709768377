#pragma once
// Standing recording rules and the action menu's items.
//
// A rule records either every new showing of a title on one channel ("season": first showings
// only, not reruns) or every showing of a title on any channel ("all"). There is at most one
// rule per title and channel. Titles are stored as given (the menu's with "and" where the
// listings have "&", as the hand-off has it) and with their apostrophes as they are. Titles
// compare with "&" and "and" alike, letter case and all else exactly: a rule for "Law and
// Order" and one for "Law & Order" both take "Law & Order" and are the same rule.
//
// A programme's `action` goes from none to Mark::Record, Season or All once an application took
// its hand-off, and to Cleared when the viewer chooses not to record it; rules only take
// programmes that have none, so each is handed over by the rules until one is taken, and then
// never again.
//
// Every hand-off goes through the program's hand-off queue (record/handoffqueue.h): these
// functions queue it and return; the programme is marked and logged when its request is taken,
// and not at all when nobody takes it. Database work done at once throws StoreError when the
// database fails; what runs later, at the request's turn, asks `later` for the database and
// reports a failure (to open it, too) in the outcome's message.

#include "base/appstate.h"
#include "base/clock.h"
#include "record/handoff.h"
#include "record/handoffqueue.h"
#include "record/selection.h"
#include "store/listingsstore.h"

#include <QDate>
#include <QString>

#include <functional>

namespace zarvo {

// Stores the rule (title, type, channel name); when the title already has a rule on that
// channel its type changes instead (season -> all and back). One unit of the store
// (ListingsStore::upsertRule).
void addRule(ListingsStore& store, const QString& title, RuleType type, const QString& channel);

// Deletes every rule for the title, on every channel; returns how many.
int deleteRules(ListingsStore& store, const QString& title);

// Marks the selected programme "do not record" (Mark::Cleared) in its day table, so that no
// rule takes it; false when it is not there.
bool clearMark(ListingsStore& store, const SelectedProgramme& selected);

// Gives the listings database that work done later (at a request's turn) uses: the program's
// own store, which lives as long as the hand-off queue. Throws StoreError when it cannot be
// opened.
using StoreAccess = std::function<ListingsStore&()>;

// Told how a queued hand-off ended: the programme and the outcome. A taken recording whose mark
// or log failed keeps its Taken status and carries the database's message.
using HandOffDone = std::function<void(const SelectedProgramme&, const HandOffOutcome&)>;

// Applies the rules to day table `day`'s weekday: queues, in the order they are on, first the
// unmarked first showings whose title has a season rule for their channel, then the unmarked
// showings of a title with an all rule on any channel. Showings that have ended by the clock,
// and programmes the queue holds already, are left out. Each is selected the way the guide
// selects it. At its turn the programme is read again and handed over only when it is still
// there, still unmarked and not yet ended; once taken it is marked with the rule's type and
// logged. Returns how many were queued; `each` hears how each ended.
int checkForScheduled(ListingsStore& store, QDate day, HandOffQueue& queue, StoreAccess later,
                      const Clock& clock, HandOffDone each = {});

// --- the action menu's items -------------------------------------------------------------------
// The record items queue a viewer's request for the programme, also when it is marked already;
// once taken it is marked (overwriting an earlier mark) and logged.

// "record this showing": Mark::Record.
void recordThisShowing(HandOffQueue& queue, StoreAccess later, const SelectedProgramme& selected,
                       HandOffDone done = {});
// "record every showing": Mark::All; at once an All rule for handOffTitle() on this channel,
// and `state.rescheduleRequested` is set so that the next minute tick applies the rules to
// every day present.
void recordEveryShowing(ListingsStore& store, HandOffQueue& queue, StoreAccess later,
                        AppState& state, const SelectedProgramme& selected, HandOffDone done = {});
// "record the series": Mark::Season; at once a Season rule for handOffTitle() on this channel.
// Does not ask for a rescheduling pass.
void recordSeries(ListingsStore& store, HandOffQueue& queue, StoreAccess later,
                  const SelectedProgramme& selected, HandOffDone done = {});
// "do not record": clearMark(), then every rule of the title goes, on all channels. At once.
void doNotRecord(ListingsStore& store, const SelectedProgramme& selected);

// "watch": queues program.tvvi.
void watch(HandOffQueue& queue, const SelectedProgramme& selected, HandOffDone done = {});
// True when the programme started earlier today (UTC, as the file gives it: same date, and a
// start time "hh:mm" before the present one): the screen minimises the guide once the viewing
// request was taken, so that the tuner's picture is seen.
bool startedEarlierToday(const SelectedProgramme& selected, const Clock& clock);

} // namespace zarvo
