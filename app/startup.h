#pragma once
// The two pieces of work the splash screen drives: the one-shot start-up step three seconds
// after load, and the minute tick that runs for the life of the process. Both are kept free of
// widgets so that they run (and are tested) without a display; the splash screen turns their
// outcomes into screens.

#include "base/appstate.h"
#include "base/clock.h"
#include "base/programfolder.h"
#include "base/settingsfile.h"

#include <QDateTime>
#include <QString>

#include <functional>

namespace zarvo {

class Program;

// ---- start-up step -------------------------------------------------------------------------

struct StartupOutcome
{
    enum class Next {
        // config.txt was read (a short file too, fixed up): hide the splash, show the guide.
        ShowGuide,
        // No config.txt: the settings hold the first-run defaults and the settings screen comes
        // first. The step does not hide the splash; it hides on its next repaint.
        ShowSettingsScreen,
        // A value could not be read: show `message` in a message box, open no screen and end
        // the program.
        Stop,
    };
    Next next = Next::Stop;
    QString message; // Stop only: the read error's description
};

// Decides the step from a read of config.txt and stores the settings in `state` (on Stop the
// values read before the faulty one, without fix-ups, as they came from the reader).
StartupOutcome startupStep(const SettingsRead& read, AppState& state);

// Reads config.txt of `folder` and decides as above.
StartupOutcome runStartupStep(const ProgramFolder& folder, AppState& state);

// ---- minute tick ---------------------------------------------------------------------------

// What the minute tick calls. Every day argument is a naive wall-clock value (see app/clock.h)
// whose calendar date names the day; its time of day is the tick's.
class TickActions
{
public:
    virtual ~TickActions() = default;
    // Rewrites the recorder's channel map.
    virtual void writeChannelMap() = 0;
    // True when the listings of the day are in the database.
    virtual bool checkForPrograms(const QDateTime& day) = 0;
    // Applies the standing recording rules to the listings of the day.
    virtual void checkForScheduled(const QDateTime& day) = 0;
    // Fetches and imports the day; clears AppState::fetchPending when the day was loaded.
    virtual void getListings(const QDateTime& day) = 0;
};

// One minute tick at the clock's present time (read when the tick runs, so a tick that fires
// late works with the minute it actually runs in), in this order:
// 1. At minute 0 and 30 of any hour, when settings.writeChannelMap equals 1: writeChannelMap().
// 2. At minute 1 of the hours 0 to 5, or whenever rescheduleRequested is set: fetchPending =
//    true, then for i = 0..6 while fetchPending stays true, with d = now + i days:
//    - day present: checkForScheduled(d), and fetchPending = false when i is 6;
//    - day missing, no rescheduling asked: getListings(d) and stop (one fetch per tick at most);
//    - day missing on a rescheduling pass: skip it (nothing is fetched on such a pass).
//    fetchPending is read afresh for every day, so an import elsewhere that clears it (the
//    actions let events run) ends the walk.
// 3. rescheduleRequested = false, on every tick, also when an action throws (the exception is
//    passed on).
void minuteTick(AppState& state, const Clock& clock, TickActions& actions);

// The tick's actions for the running program: the coverage check and the start-up fetch on the
// program's listings database, each call on a connection of its own (a tick may run inside
// another tick's import while that one lets events run, and must not read through its open
// transaction). Store errors are not caught here: they end the tick (see minuteTick).
//
// The channel map writer and the recording rules are the members below, set to the program's
// own (the channel map named by the settings; the rules with hand-offs to the desktop's opener)
// and replaceable by tests; while one is empty its step does nothing.
class ProgramTickActions : public TickActions
{
public:
    explicit ProgramTickActions(Program& program);

    // Writes the recorder's channel map. Empty: nothing is written.
    std::function<void()> channelMapWriter;
    // Applies the recording rules to a day. Empty: nothing is applied.
    std::function<void(const QDateTime& day)> scheduledChecker;
    // Called when the first programme of a fetched day has been stored (the guide is shown
    // then, loading it if needed). Empty: nothing.
    std::function<void()> showGuide;
    // Shows a failure that the user has to see (the grabber batch could not be written or
    // started: "error"; the grabber is missing or not configured; the channel map cannot be
    // written). It must not wait for an answer. Empty: the text goes to the log only.
    std::function<void(const QString& text)> showMessage;

    void writeChannelMap() override;
    bool checkForPrograms(const QDateTime& day) override;
    void checkForScheduled(const QDateTime& day) override;
    // loadDay with the start-up fetch (one day), letting events run while it imports.
    void getListings(const QDateTime& day) override;

private:
    Program& m_program;
};

} // namespace zarvo
