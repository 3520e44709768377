#include "app/startup.h"

#include "app/channelmap.h"
#include "record/handoff.h"
#include "record/rules.h"

#include "acquire/coverage.h"
#include "acquire/dayloader.h"
#include "app/program.h"
#include "store/listingsstore.h"

#include <QCoreApplication>
#include <QDebug>

namespace zarvo {

StartupOutcome startupStep(const SettingsRead& read, AppState& state)
{
    // The record takes whatever the reader produced, also on an error: the values read before
    // the bad one stand, as they would have had the file been read value by value.
    state.settings = read.settings;

    StartupOutcome outcome;
    switch (read.outcome) {
    case SettingsRead::Outcome::Missing:
        outcome.next = StartupOutcome::Next::ShowSettingsScreen;
        break;
    case SettingsRead::Outcome::Read:
        outcome.next = StartupOutcome::Next::ShowGuide;
        break;
    case SettingsRead::Outcome::ConversionError:
        outcome.next = StartupOutcome::Next::Stop;
        // What went wrong, then what to do about it: the guide cannot go on without settings.
        outcome.message =
            read.error + QStringLiteral("\n\nCorrect that line, or delete config.txt to choose "
                                        "the settings again, then start the guide again.");
        break;
    }
    return outcome;
}

StartupOutcome runStartupStep(const ProgramFolder& folder, AppState& state)
{
    return startupStep(readSettingsFile(folder.settingsFile()), state);
}

namespace {

// Clears rescheduleRequested when the tick is left, however it is left: a request must not
// outlive the tick that saw it, or a failing tick would repeat its pass every minute.
class ClearRescheduleOnExit
{
public:
    explicit ClearRescheduleOnExit(AppState& state) : m_state(state) {}
    ~ClearRescheduleOnExit() { m_state.rescheduleRequested = false; }
    ClearRescheduleOnExit(const ClearRescheduleOnExit&) = delete;
    ClearRescheduleOnExit& operator=(const ClearRescheduleOnExit&) = delete;

private:
    AppState& m_state;
};

} // namespace

void minuteTick(AppState& state, const Clock& clock, TickActions& actions)
{
    const ClearRescheduleOnExit clearOnExit(state);

    // A minute that the timer missed is not caught up: only the minute the tick runs in counts.
    const QDateTime mapNow = clock.now();
    const int mapMinute = mapNow.time().minute();
    if (state.settings.writeChannelMap == 1 && (mapMinute == 0 || mapMinute == 30))
        actions.writeChannelMap();

    // The clock is read again: writing the channel map lets events run and may take a while.
    const QDateTime base = clock.now();
    const bool nightlyCheck = base.time().minute() == 1 && base.time().hour() < 6;
    if (!nightlyCheck && !state.rescheduleRequested)
        return;

    state.fetchPending = true;
    for (int i = 0; i < 7 && state.fetchPending; ++i) {
        const QDateTime day = base.addDays(i);
        if (actions.checkForPrograms(day)) {
            actions.checkForScheduled(day);
            if (i == 6)
                state.fetchPending = false;
        } else if (!state.rescheduleRequested) {
            // One day per tick: a grab can take many minutes, and the next hour's tick goes on.
            // The day fetched and imported now gets its rules at once.
            actions.getListings(day);
            if (!state.fetchPending)
                actions.checkForScheduled(day);
            break;
        }
        // A rescheduling pass only re-applies the rules; a missing day waits for the night.
    }
}

ProgramTickActions::ProgramTickActions(Program& program) : m_program(program)
{
    channelMapWriter = [this] {
        const std::unique_ptr<ListingsStore> store = m_program.openStore();
        const ChannelMapResult result =
            writeToChannels(*store, m_program.state.settings.channelMapPath, m_program.clock,
                            [] { QCoreApplication::processEvents(); });
        if (result.outcome == ChannelMapResult::Outcome::Failed && showMessage)
            showMessage(result.message);
    };
    scheduledChecker = [this](const QDateTime& day) {
        // An import lets events run while its transaction is open; the rules wait for the
        // next tick rather than for the database.
        if (m_program.state.importInProgress)
            return;
        const std::unique_ptr<ListingsStore> store = m_program.openStore();
        // The matches go to the program's hand-off queue; the first failure of the pass is
        // shown, the others only logged, so that a night's pass does not pile up messages.
        auto told = std::make_shared<bool>(false);
        zarvo::checkForScheduled(
            *store, day.date(), m_program.handOffs,
            [&program = m_program] { return program.openStore(); }, m_program.clock,
            [this, told](const SelectedProgramme&, const HandOffOutcome& outcome) {
                if (outcome.message.isEmpty())
                    return;
                qWarning().noquote() << "Recording rules:" << outcome.message;
                if (!*told && showMessage)
                    showMessage(outcome.message);
                *told = true;
            });
    };
}

void ProgramTickActions::writeChannelMap()
{
    if (channelMapWriter)
        channelMapWriter();
}

bool ProgramTickActions::checkForPrograms(const QDateTime& day)
{
    const std::unique_ptr<ListingsStore> store = m_program.openStore();
    return zarvo::checkForPrograms(*store, day.date());
}

void ProgramTickActions::checkForScheduled(const QDateTime& day)
{
    if (scheduledChecker)
        scheduledChecker(day);
}

void ProgramTickActions::getListings(const QDateTime& day)
{
    const std::unique_ptr<ListingsStore> store = m_program.openStore();
    ImportHooks hooks;
    hooks.progress = [this](int count) {
        if (count == 1 && showGuide)
            showGuide();
    };
    // A night's import can take a while; the screens keep answering meanwhile.
    hooks.yield = [] { QCoreApplication::processEvents(); };

    const DayLoad load =
        loadDay(m_program.loadContext(), *store, day, FetchVariant::StartUp, hooks);
    const QString grabberMessage = load.grabberMessage();
    if (!grabberMessage.isEmpty()) {
        qWarning().noquote() << "Fetching" << day.date().toString(Qt::ISODate)
                             << "failed:" << (load.grab ? load.grab->detail : QString());
        const bool refused = load.grab && !load.grab->failed() && !load.grab->detail.isEmpty();
        if (showMessage)
            showMessage(refused ? grabberMessage + u'\n' + load.grab->detail : grabberMessage);
    }
    if (load.import.status == ImportResult::Status::Failed)
        qWarning().noquote() << "Importing" << load.import.file << "failed:" << load.import.message;
}

} // namespace zarvo
