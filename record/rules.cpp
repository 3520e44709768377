#include "record/rules.h"

#include "store/timerules.h"

namespace zarvo {
namespace {

bool ended(const ProgrammeRow& p, const Clock& clock)
{
    const QDateTime end = clock.instant(wallClock(p.enddate, p.endtime));
    return end.isValid() && end <= clock.currentInstant();
}

// Once the request was taken, the programme is marked with `action` and logged.
std::function<void(const SelectedProgramme&, HandOffOutcome&)> markWhenTaken(StoreAccess store,
                                                                             Mark action)
{
    return [store = std::move(store), action](const SelectedProgramme& handed,
                                              HandOffOutcome& outcome) {
        if (!outcome.taken())
            return;
        try {
            logRecording(store(), handed, action);
        } catch (const StoreError& error) {
            outcome.message = error.message();
        }
    };
}

void queueRecording(HandOffQueue& queue, StoreAccess store, const SelectedProgramme& selected,
                    Mark action, HandOffDone done)
{
    HandOffRequest request;
    request.fromViewer = true;
    request.selected = selected;
    request.keep = markWhenTaken(std::move(store), action);
    request.told = std::move(done);
    queue.enqueue(std::move(request));
}

void queueMatches(const Snapshot<RuleMatch>& matches, int table, HandOffQueue& queue,
                  const StoreAccess& store, const Clock& clock, const HandOffDone& each,
                  int& queued)
{
    for (const RuleMatch& match : matches.rows()) {
        const qint32 id = match.programme.programid;
        const auto same = [table, id](const SelectedProgramme& s) {
            return s.dayTable == table && s.programId == id;
        };
        if (ended(match.programme, clock) || queue.holds(same))
            continue;
        HandOffRequest request;
        request.selected = fromRuleMatch(match, table, clock);
        // Read again at its turn: meanwhile the viewer may have marked it, an import may have
        // replaced the table (ids are never reused, so a replaced programme is simply gone), or
        // the showing may have ended while earlier requests had their turns.
        request.take = [store, table, id, match, &clock]() -> std::optional<SelectedProgramme> {
            try {
                const std::optional<ProgrammeRow> now = store().programme(table, id);
                if (!now || now->action || ended(*now, clock))
                    return std::nullopt;
                RuleMatch current = match;
                current.programme = *now;
                return fromRuleMatch(current, table, clock);
            } catch (const StoreError&) {
                return std::nullopt; // the next pass tries again
            }
        };
        request.keep = markWhenTaken(store, match.rule.recordtype == RuleType::Season ? Mark::Season
                                                                                      : Mark::All);
        request.told = each;
        queue.enqueue(std::move(request));
        ++queued;
    }
}

} // namespace

void addRule(ListingsStore& store, const QString& title, RuleType type, const QString& channel)
{
    store.upsertRule({title, type, channel});
}

int deleteRules(ListingsStore& store, const QString& title)
{
    return store.deleteRules(title);
}

bool clearMark(ListingsStore& store, const SelectedProgramme& selected)
{
    if (selected.dayTable < 1 || selected.dayTable > 7)
        return false;
    // A blank, not NULL: NULL would let the rules take the programme again.
    return store.setAction(selected.dayTable, selected.programId, Mark::Cleared);
}

int checkForScheduled(ListingsStore& store, QDate day, HandOffQueue& queue, StoreAccess later,
                      const Clock& clock, HandOffDone each)
{
    const int w = dayNumber(day);
    int queued = 0;
    // Season first, so that a first showing a season rule wants is marked Season even when an
    // all rule for the title exists too: the all match then finds it queued.
    queueMatches(store.seasonMatches(w), w, queue, later, clock, each, queued);
    queueMatches(store.allMatches(w), w, queue, later, clock, each, queued);
    return queued;
}

void recordThisShowing(HandOffQueue& queue, StoreAccess later, const SelectedProgramme& selected,
                       HandOffDone done)
{
    queueRecording(queue, std::move(later), selected, Mark::Record, std::move(done));
}

void recordEveryShowing(ListingsStore& store, HandOffQueue& queue, StoreAccess later,
                        AppState& state, const SelectedProgramme& selected, HandOffDone done)
{
    addRule(store, handOffTitle(selected), RuleType::All, selected.channelName);
    state.rescheduleRequested = true;
    queueRecording(queue, std::move(later), selected, Mark::All, std::move(done));
}

void recordSeries(ListingsStore& store, HandOffQueue& queue, StoreAccess later,
                  const SelectedProgramme& selected, HandOffDone done)
{
    addRule(store, handOffTitle(selected), RuleType::Season, selected.channelName);
    queueRecording(queue, std::move(later), selected, Mark::Season, std::move(done));
}

void doNotRecord(ListingsStore& store, const SelectedProgramme& selected)
{
    clearMark(store, selected);
    deleteRules(store, handOffTitle(selected));
}

void watch(HandOffQueue& queue, const SelectedProgramme& selected, HandOffDone done)
{
    HandOffRequest request;
    request.kind = HandOffKind::Viewing;
    request.fromViewer = true;
    request.selected = selected;
    request.told = std::move(done);
    queue.enqueue(std::move(request));
}

bool startedEarlierToday(const SelectedProgramme& selected, const Clock& clock)
{
    const QDateTime now = clock.currentInstant().toUTC();
    // To the minute, as the file gives the start: a start in the present minute is not earlier.
    const auto minute = [](QTime t) { return QTime(t.hour(), t.minute()); };
    return selected.start.isValid() && selected.start.date() == now.date() &&
           minute(selected.start.time()) < minute(now.time());
}

} // namespace zarvo
