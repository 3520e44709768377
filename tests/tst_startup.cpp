// The minute tick's schedule, with a clock that stands still and actions that only record what
// they were asked to do. (The start-up step is driven through the splash screen.)

#include "app/startup.h"

#include <QTest>

#include <set>
#include <stdexcept>

using namespace zarvo;

namespace {

const QDate sunday(2003, 12, 14);

// Records each call as "map", "c<n>" (check), "r<n>" (rules) or "f<n>" (fetch), n the day's
// offset from Sunday, and the times of day the days were given with.
class RecordingActions : public TickActions
{
public:
    explicit RecordingActions(AppState& state) : m_state(state) {}

    std::set<int> present;
    QStringList calls;
    std::set<QTime> times;
    bool fetchLoadsDay = false; // getListings clears fetchPending, as a successful import does
    int clearPendingAfterRulesOf = -1; // another import, run from yielded events, ends the walk
    int failRulesOf = -1;

    void writeChannelMap() override { calls << QStringLiteral("map"); }
    bool checkForPrograms(const QDateTime& day) override
    {
        return present.count(note("c", day)) > 0;
    }
    void checkForScheduled(const QDateTime& day) override
    {
        const int n = note("r", day);
        if (n == failRulesOf)
            throw std::runtime_error("rules failed");
        if (n == clearPendingAfterRulesOf)
            m_state.fetchPending = false;
    }
    void getListings(const QDateTime& day) override
    {
        note("f", day);
        if (fetchLoadsDay)
            m_state.fetchPending = false;
    }

private:
    int note(const char* kind, const QDateTime& day)
    {
        const int n = int(sunday.daysTo(day.date()));
        calls << QLatin1String(kind) + QString::number(n);
        times.insert(QTime(day.time().hour(), day.time().minute()));
        return n;
    }
    AppState& m_state;
};

FakeClock clockAt(QTime time)
{
    return FakeClock(QTimeZone("America/New_York"), wallClock(sunday, time));
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Setup: the tick's time, then "map=N" (writeChannelMap), "reschedule" (requested),
    // "loads" (a fetch loads its day), "present=013" (days after Sunday in the database) and
    // "clear=N" (an import run from the events the rules of day N let through loads a day).
    // Expected: the calls, then "pending" when fetchPending is left set.
    void minuteTick_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* setup, const char* expected) {
            QTest::newRow(setup) << QString::fromLatin1(setup) << QString::fromLatin1(expected);
        };
        // The walk stops at the first missing day although a later one is present.
        row("03:01 map=1 present=013", "c0 r0 c1 r1 c2 f2 pending");
        // The day fetched and imported gets its rules; no second fetch follows.
        row("04:01 loads present=0", "c0 r0 c1 f1 r1");
        // fetchPending is read afresh for every day.
        row("01:01 present=0123456 clear=2", "c0 r0 c1 r1 c2 r2");
        // Only minute 1 of the hours 0 to 5 checks; a late tick does not catch up.
        for (const char* time : {"06:01", "03:00", "03:02:00.005"})
            row(time, "");
        // Only the seventh day ends the pending state; nothing is fetched on such a pass.
        row("07:01 reschedule present=0136", "c0 r0 c1 r1 c2 c3 r3 c4 c5 c6 r6");
        row("04:30 map=1 reschedule present=0", "map c0 r0 c1 c2 c3 c4 c5 c6 pending");
        row("14:30:45 map=1", "map");
    }
    void minuteTick()
    {
        QFETCH(QString, setup);
        QFETCH(QString, expected);
        QStringList words = setup.split(u' ');
        const QTime time = QTime::fromString(words.first(), Qt::ISODateWithMs);
        AppState state;
        RecordingActions actions(state);
        for (const QString& word : words.mid(1)) {
            const QString value = word.section(u'=', 1);
            if (word.startsWith(QLatin1String("map=")))
                state.settings.writeChannelMap = value.toShort();
            state.rescheduleRequested |= word == QLatin1String("reschedule");
            actions.fetchLoadsDay |= word == QLatin1String("loads");
            if (word.startsWith(QLatin1String("clear=")))
                actions.clearPendingAfterRulesOf = value.toInt();
            for (QChar day : word.startsWith(QLatin1String("present=")) ? value : QString())
                actions.present.insert(day.digitValue());
        }
        const bool reschedule = state.rescheduleRequested;
        FakeClock clock = clockAt(time);
        zarvo::minuteTick(state, clock, actions);
        QCOMPARE(
            (actions.calls + QStringList(state.fetchPending ? "pending" : "")).join(u' ').trimmed(),
            expected);
        QVERIFY(!state.rescheduleRequested);
        // Every day is taken at the tick's own time of day.
        if (!actions.times.empty())
            QCOMPARE(actions.times, (std::set<QTime>{QTime(time.hour(), time.minute())}));
        if (reschedule) { // the request was used up: the next minute does nothing
            actions.calls.clear();
            clock.advanceSeconds(60);
            zarvo::minuteTick(state, clock, actions);
            QCOMPARE(actions.calls, QStringList());
        }
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
