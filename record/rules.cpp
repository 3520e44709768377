#include "record/rules.h"

#include "store/timerules.h"

namespace zarvo {
namespace {

const QString Season = QStringLiteral("season");
const QString All = QStringLiteral("all");

// Takes each match still unmarked at its turn; see checkForScheduled.
void handOverMatches(ListingsStore& store, int day, const Snapshot<RuleMatch>& matches,
                     const HandOff& handOff, const Clock& clock, int adjustDST,
                     const PauseRound& pause, ScheduleResult& result)
{
    for (const RuleMatch& match : matches.rows()) {
        // The snapshot was read before the pauses of earlier matches, during which the viewer
        // may have marked this programme, a second rule may have taken it, or an import may have
        // replaced the table (ids are never reused, so a replaced programme is simply gone).
        const std::optional<ProgrammeRow> now = store.programme(day, match.programme.programid);
        if (!now || now->action)
            continue;

        SelectedProgramme selected = fromRuleMatch(match, adjustDST, clock);
        // Marked before the file is written: a failed hand-off is reported, not retried every
        // night.
        logRecording(store, selected, match.rule.recordtype);
        const HandOffResult file = writeRecordingFile(handOff, selected);
        if (!file.ok())
            result.errors.append(file.error);
        result.handedOver.push_back(std::move(selected));

        if (pause)
            waitFifteenSeconds(clock, pause);
        else
            waitFifteenSeconds(clock);
    }
}

HandOffResult recordWith(ListingsStore& store, const HandOff& handOff, SelectedProgramme& selected,
                         const QString& action)
{
    logRecording(store, selected, action);
    return writeRecordingFile(handOff, selected);
}

} // namespace

void addRule(ListingsStore& store, const QString& title, const QString& type,
             const QString& channel)
{
    // One transaction, so that two connections adding the same rule cannot both find none.
    Transaction transaction(store.database());
    if (!store.setRuleType(title, channel, type))
        store.insertRule({title, type, channel});
    transaction.commit();
}

int deleteRules(ListingsStore& store, const QString& title)
{
    return store.deleteRules(title);
}

bool clearMark(ListingsStore& store, const SelectedProgramme& selected)
{
    const std::optional<QDate> date = localDate(selected);
    if (!date)
        return false;
    // A blank, not NULL: NULL would let the rules take the programme again.
    return store.setAction(dayNumber(*date), selected.progId, QStringLiteral(" "));
}

ScheduleResult checkForScheduled(ListingsStore& store, QDate day, const HandOff& handOff,
                                 const Clock& clock, int adjustDST, const PauseRound& pause)
{
    ScheduleResult result;
    const int w = dayNumber(day);
    // Season first, so that a first showing a season rule wants is marked "season" even when an
    // all rule for the title exists on another channel. The all query runs only after the
    // season pass, so it does not see what that pass marked.
    handOverMatches(store, w, store.seasonMatches(w), handOff, clock, adjustDST, pause, result);
    handOverMatches(store, w, store.allMatches(w), handOff, clock, adjustDST, pause, result);
    return result;
}

HandOffResult recordThisShowing(ListingsStore& store, const HandOff& handOff,
                                SelectedProgramme& selected)
{
    return recordWith(store, handOff, selected, QStringLiteral("record"));
}

HandOffResult recordEveryShowing(ListingsStore& store, const HandOff& handOff, AppState& state,
                                 SelectedProgramme& selected)
{
    const HandOffResult file = recordWith(store, handOff, selected, All);
    addRule(store, selected.progTitle, All, channelText(selected));
    state.rescheduleRequested = true;
    return file;
}

HandOffResult recordSeries(ListingsStore& store, const HandOff& handOff,
                           SelectedProgramme& selected)
{
    const HandOffResult file = recordWith(store, handOff, selected, Season);
    addRule(store, selected.progTitle, Season, channelText(selected));
    return file;
}

void doNotRecord(ListingsStore& store, const SelectedProgramme& selected)
{
    clearMark(store, selected);
    deleteRules(store, selected.progTitle);
}

WatchResult watch(const HandOff& handOff, const SelectedProgramme& selected, const Clock& clock,
                  int adjustDST)
{
    WatchResult result;
    result.file = writeViewingFile(handOff, selected);
    const QDateTime now = handOffUtc(clock.now(), adjustDST, clock);
    const QString nowTime = QStringLiteral("%1:%2")
                                .arg(now.time().hour(), 2, 10, QLatin1Char('0'))
                                .arg(now.time().minute(), 2, 10, QLatin1Char('0'));
    // "hh:mm" texts order like the times they stand for.
    result.startedEarlierToday =
        selected.progStartDate == recordDate(now.date()) && selected.progStartTime < nowTime;
    return result;
}

} // namespace zarvo
