#pragma once
// Standing recording rules and the action menu's items.
//
// A rule records either every new showing of a title on one channel ("season": first showings
// only, not reruns) or every showing of a title on any channel ("all"). There is at most one
// rule per title and channel. Titles are stored as the guide shows them ("&" already "and") and
// with their apostrophes as they are; a rule matches listings whose title is exactly the same.
//
// A programme's `action` goes from NULL to "record", "season" or "all" when it is handed to the
// recorder, and to " " when the viewer chooses not to record it; rules only take programmes
// whose action is NULL, so each is handed over at most once by the rules.
//
// Every function throws StoreError when the database fails.

#include "app/appstate.h"
#include "app/clock.h"
#include "record/handoff.h"
#include "record/selection.h"
#include "store/listingsstore.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace zarvo {

// Stores the rule (title, type, channel name); when the title already has a rule on that
// channel its type changes instead (season -> all and back).
void addRule(ListingsStore& store, const QString& title, const QString& type,
             const QString& channel);

// Deletes every rule for the title, on every channel; returns how many.
int deleteRules(ListingsStore& store, const QString& title);

// Marks the selected programme "do not record" (action " "), so that no rule takes it; false
// when it is not in its day table.
bool clearMark(ListingsStore& store, const SelectedProgramme& selected);

// One round of the pause between two rule hand-offs: should process pending events and return
// after a short while. Empty: run the program's event loop (waitFifteenSeconds).
using PauseRound = std::function<void()>;

struct ScheduleResult
{
    // The programmes handed to the recorder, in order, each as it was logged.
    std::vector<SelectedProgramme> handedOver;
    // Hand-off files that could not be written ("Cannot write ..."). Such a programme stays
    // marked and logged, and is not tried again.
    QStringList errors;
};

// Applies the rules to the day table of `day`'s weekday: first the season rules (unmarked first
// showings whose title has a season rule for their channel), then the all rules (unmarked
// showings of the title on any channel). Each programme taken is selected the way the guide
// selects it, logged and marked with the rule's type, and written to program.tvpi and opened;
// then the pass pauses until the clock is at least fifteen seconds further, running events
// meanwhile, so that each hand-off file stands long enough for the tuner to read it. The pause
// follows every programme taken, the last one too.
//
// Because events run during the pauses, each programme is read again at its turn and taken only
// when it is still there and still unmarked: a programme the viewer marked in the meantime, or
// one that two rules match, is handed over once at most.
//
// The pass has a selection of its own: the guide's selected programme is left alone, so that an
// action menu open during the pass still acts on the programme the viewer chose.
ScheduleResult checkForScheduled(ListingsStore& store, QDate day, const HandOff& handOff,
                                 const Clock& clock, int adjustDST, const PauseRound& pause = {});

// --- the action menu's items -------------------------------------------------------------------
// Each record item logs and marks the programme (overwriting an earlier mark) and hands the file
// over even when the programme was marked already. The file's result comes back for the screen
// to report; the database work is done whatever it is.

// "record this showing": action "record".
HandOffResult recordThisShowing(ListingsStore& store, const HandOff& handOff,
                                SelectedProgramme& selected);
// "record every showing": action "all", then an "all" rule for the title on this channel, and
// `state.rescheduleRequested` is set so that the next minute tick applies the rules to every
// day present.
HandOffResult recordEveryShowing(ListingsStore& store, const HandOff& handOff, AppState& state,
                                 SelectedProgramme& selected);
// "record the series": action "season", then a "season" rule for the title on this channel.
// Does not ask for a rescheduling pass.
HandOffResult recordSeries(ListingsStore& store, const HandOff& handOff,
                           SelectedProgramme& selected);
// "do not record": clearMark(), then every rule of the title goes, on all channels.
void doNotRecord(ListingsStore& store, const SelectedProgramme& selected);

struct WatchResult
{
    HandOffResult file;
    // True when the programme started earlier today: the screen minimises the guide so that the
    // tuner's picture is seen. Compared in UTC as the file gives it: same date, and a start time
    // ("hh:mm") before the present one.
    bool startedEarlierToday = false;
};

// "watch": writes program.tvvi and opens it. adjustDST is the setting the selection was made
// with; the present moment is converted the same way, so that both sides of the comparison are
// the same kind of UTC.
WatchResult watch(const HandOff& handOff, const SelectedProgramme& selected, const Clock& clock,
                  int adjustDST);

} // namespace zarvo
