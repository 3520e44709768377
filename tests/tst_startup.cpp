// The start-up step's decision from config.txt and the minute tick's schedule, with a clock
// that stands still and actions that only record what they were asked to do.

#include "app/startup.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <set>
#include <stdexcept>

using namespace zarvo;

namespace {

// 14 December 2003 was a Sunday.
const QDate sunday(2003, 12, 14);

// Records every call as a line: "map", "check 2003-12-14 03:01", "rules ...", "fetch ...".
class RecordingActions : public TickActions
{
public:
    explicit RecordingActions(AppState& state) : m_state(state) {}

    std::set<QDate> present;
    QStringList calls;
    // What getListings does to fetchPending, as a successful import would.
    bool fetchLoadsDay = false;
    // Simulates another import, run from the events the rule matcher lets through, that
    // clears fetchPending after the rules of this day.
    QDate clearPendingAfterRulesOf;
    // Throws from the rules of this day.
    QDate failRulesOf;

    void writeChannelMap() override { calls << QStringLiteral("map"); }
    bool checkForPrograms(const QDateTime& day) override
    {
        calls << QStringLiteral("check ") + stamp(day);
        return present.count(day.date()) > 0;
    }
    void checkForScheduled(const QDateTime& day) override
    {
        calls << QStringLiteral("rules ") + stamp(day);
        if (day.date() == failRulesOf)
            throw std::runtime_error("rules failed");
        if (day.date() == clearPendingAfterRulesOf)
            m_state.fetchPending = false;
    }
    void getListings(const QDateTime& day) override
    {
        calls << QStringLiteral("fetch ") + stamp(day);
        if (fetchLoadsDay)
            m_state.fetchPending = false;
    }

    // The calls of one kind only, without the time of day.
    QStringList days(const QString& kind) const
    {
        QStringList out;
        for (const QString& call : calls)
            if (call.startsWith(kind + QLatin1Char(' ')))
                out << call.section(QLatin1Char(' '), 1, 1);
        return out;
    }

private:
    static QString stamp(const QDateTime& d)
    {
        return d.date().toString(Qt::ISODate) + QLatin1Char(' ') +
               d.time().toString(QStringLiteral("hh:mm"));
    }
    AppState& m_state;
};

QString iso(int daysAfterSunday)
{
    return sunday.addDays(daysAfterSunday).toString(Qt::ISODate);
}

FakeClock clockAt(QDate date, QTime time)
{
    return FakeClock(QTimeZone("America/New_York"), wallClock(date, time));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nightCheckFetchesFirstMissingDay();
    void listingsCheckSchedule_data();
    void listingsCheckSchedule();
    void reschedulingPass_data();
    void reschedulingPass();
    void fullWeekClearsFetchPending();
    void fetchEndsTheTickEvenWhenItLoads();
    void fetchPendingClearedElsewhereEndsTheWalk();
    void failingActionStillClearsRequest();
    void channelMap_data();
    void channelMap();
    void channelMapComesBeforeRules();

    void startupOutcomes_data();
    void startupOutcomes();
};

void TestStartup::nightCheckFetchesFirstMissingDay()
{
    AppState state;
    state.settings.writeChannelMap = 1;
    RecordingActions actions(state);
    actions.present = {sunday, sunday.addDays(1), sunday.addDays(3)};
    const FakeClock clock = clockAt(sunday, QTime(3, 1));

    minuteTick(state, clock, actions);

    // Every day is taken at the tick's time of day; the walk ends at the first missing day,
    // although a later day is present.
    const QStringList expected{
        QStringLiteral("check %1 03:01").arg(iso(0)), QStringLiteral("rules %1 03:01").arg(iso(0)),
        QStringLiteral("check %1 03:01").arg(iso(1)), QStringLiteral("rules %1 03:01").arg(iso(1)),
        QStringLiteral("check %1 03:01").arg(iso(2)), QStringLiteral("fetch %1 03:01").arg(iso(2)),
    };
    QCOMPARE(actions.calls, expected);
    QVERIFY(state.fetchPending); // the fetch did not load the day
    QVERIFY(!state.rescheduleRequested);
}

void TestStartup::listingsCheckSchedule_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("runs");

    QTest::newRow("00:01") << QTime(0, 1) << true;
    QTest::newRow("05:01") << QTime(5, 1, 59) << true;
    QTest::newRow("06:01") << QTime(6, 1) << false;
    QTest::newRow("07:01") << QTime(7, 1) << false;
    QTest::newRow("23:01") << QTime(23, 1) << false;
    QTest::newRow("03:00") << QTime(3, 0) << false;
    // A tick that fires late counts in the minute it runs in; the missed minute is not caught up.
    QTest::newRow("03:02 late tick") << QTime(3, 2, 0, 5) << false;
    QTest::newRow("03:31") << QTime(3, 31) << false;
}

void TestStartup::listingsCheckSchedule()
{
    QFETCH(QTime, time);
    QFETCH(bool, runs);

    AppState state;
    RecordingActions actions(state);
    const FakeClock clock = clockAt(sunday.addDays(2), time);

    minuteTick(state, clock, actions);

    if (runs) {
        QCOMPARE(actions.days(QStringLiteral("fetch")),
                 QStringList{sunday.addDays(2).toString(Qt::ISODate)});
        QVERIFY(state.fetchPending);
    } else {
        QVERIFY2(actions.calls.isEmpty(), qPrintable(actions.calls.join(u", ")));
        QVERIFY(!state.fetchPending);
    }
}

void TestStartup::reschedulingPass_data()
{
    QTest::addColumn<QList<int>>("presentDays");
    QTest::addColumn<bool>("pendingAfter");

    QTest::newRow("gaps, last day present") << QList<int>{0, 1, 3, 6} << false;
    // Only the seventh day ends the pending state; a pass that skipped it leaves it set.
    QTest::newRow("last day missing") << QList<int>{0, 2, 4, 5} << true;
    QTest::newRow("nothing present") << QList<int>{} << true;
}

void TestStartup::reschedulingPass()
{
    QFETCH(QList<int>, presentDays);
    QFETCH(bool, pendingAfter);

    AppState state;
    state.rescheduleRequested = true;
    RecordingActions actions(state);
    QStringList expectedRules;
    for (int d : presentDays) {
        actions.present.insert(sunday.addDays(d));
        expectedRules << iso(d);
    }
    const FakeClock clock = clockAt(sunday, QTime(7, 1));

    minuteTick(state, clock, actions);

    QCOMPARE(actions.days(QStringLiteral("check")).size(), 7);
    QCOMPARE(actions.days(QStringLiteral("rules")), expectedRules);
    QVERIFY(actions.days(QStringLiteral("fetch")).isEmpty());
    QCOMPARE(state.fetchPending, pendingAfter);
    QVERIFY(!state.rescheduleRequested);

    // The request was used up: the next minute does nothing.
    actions.calls.clear();
    FakeClock later = clockAt(sunday, QTime(7, 2));
    minuteTick(state, later, actions);
    QVERIFY(actions.calls.isEmpty());
}

void TestStartup::fullWeekClearsFetchPending()
{
    AppState state;
    RecordingActions actions(state);
    for (int d = 0; d < 7; ++d)
        actions.present.insert(sunday.addDays(d));
    const FakeClock clock = clockAt(sunday, QTime(0, 1));

    minuteTick(state, clock, actions);

    QCOMPARE(actions.days(QStringLiteral("rules")).size(), 7);
    QCOMPARE(actions.days(QStringLiteral("rules")).last(), iso(6));
    QVERIFY(actions.days(QStringLiteral("fetch")).isEmpty());
    QVERIFY(!state.fetchPending);
}

void TestStartup::fetchEndsTheTickEvenWhenItLoads()
{
    AppState state;
    RecordingActions actions(state);
    actions.fetchLoadsDay = true;
    actions.present = {sunday};
    const FakeClock clock = clockAt(sunday, QTime(4, 1));

    minuteTick(state, clock, actions);

    // The fetched day is not checked or scheduled again in the same tick, and no second day
    // is fetched although fetchPending went false only through the import.
    QCOMPARE(actions.calls.last(), QStringLiteral("fetch %1 04:01").arg(iso(1)));
    QCOMPARE(actions.days(QStringLiteral("check")).size(), 2);
    QVERIFY(!state.fetchPending);
}

void TestStartup::fetchPendingClearedElsewhereEndsTheWalk()
{
    AppState state;
    RecordingActions actions(state);
    for (int d = 0; d < 7; ++d)
        actions.present.insert(sunday.addDays(d));
    actions.clearPendingAfterRulesOf = sunday.addDays(2);
    const FakeClock clock = clockAt(sunday, QTime(1, 1));

    minuteTick(state, clock, actions);

    QCOMPARE(actions.days(QStringLiteral("rules")), (QStringList{iso(0), iso(1), iso(2)}));
    QCOMPARE(actions.days(QStringLiteral("check")).size(), 3);
}

void TestStartup::failingActionStillClearsRequest()
{
    AppState state;
    state.rescheduleRequested = true;
    RecordingActions actions(state);
    actions.present = {sunday, sunday.addDays(1)};
    actions.failRulesOf = sunday;
    const FakeClock clock = clockAt(sunday, QTime(12, 0));

    QVERIFY_THROWS_EXCEPTION(std::runtime_error, minuteTick(state, clock, actions));
    QVERIFY(!state.rescheduleRequested);
    QCOMPARE(actions.days(QStringLiteral("rules")), QStringList{iso(0)});
}

void TestStartup::channelMap_data()
{
    QTest::addColumn<qint16>("writeChannelMap");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("written");

    QTest::newRow("on, hh:00") << qint16(1) << QTime(14, 0) << true;
    QTest::newRow("on, hh:30") << qint16(1) << QTime(14, 30, 45) << true;
    QTest::newRow("on, midnight") << qint16(1) << QTime(0, 0) << true;
    QTest::newRow("on, hh:01") << qint16(1) << QTime(14, 1) << false;
    QTest::newRow("on, hh:29") << qint16(1) << QTime(14, 29, 59) << false;
    QTest::newRow("on, hh:31") << qint16(1) << QTime(14, 31) << false;
    QTest::newRow("on, hh:59") << qint16(1) << QTime(14, 59) << false;
    QTest::newRow("off, hh:00") << qint16(0) << QTime(14, 0) << false;
    QTest::newRow("2 is not on") << qint16(2) << QTime(14, 30) << false;
    QTest::newRow("-1 is not on") << qint16(-1) << QTime(14, 0) << false;
}

void TestStartup::channelMap()
{
    QFETCH(qint16, writeChannelMap);
    QFETCH(QTime, time);
    QFETCH(bool, written);

    AppState state;
    state.settings.writeChannelMap = writeChannelMap;
    RecordingActions actions(state);
    const FakeClock clock = clockAt(sunday, time);

    minuteTick(state, clock, actions);

    QCOMPARE(actions.calls, written ? QStringList{QStringLiteral("map")} : QStringList{});
}

void TestStartup::channelMapComesBeforeRules()
{
    AppState state;
    state.settings.writeChannelMap = 1;
    state.rescheduleRequested = true;
    RecordingActions actions(state);
    actions.present = {sunday};
    const FakeClock clock = clockAt(sunday, QTime(4, 30));

    minuteTick(state, clock, actions);

    QCOMPARE(actions.calls.value(0), QStringLiteral("map"));
    QCOMPARE(actions.calls.value(2), QStringLiteral("rules %1 04:30").arg(iso(0)));
}

void TestStartup::startupOutcomes_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("next");
    QTest::addColumn<qint16>("opacity");
    QTest::addColumn<qint16>("daysToDownload");
    QTest::addColumn<QString>("grabberName");

    const int guide = int(StartupOutcome::Next::ShowGuide);
    const int settingsScreen = int(StartupOutcome::Next::ShowSettingsScreen);
    const int stop = int(StartupOutcome::Next::Stop);

    QTest::newRow("no file: first run") << false << QByteArray() << settingsScreen << qint16(100)
                                        << qint16(1) << QStringLiteral("tv_grab_na_dd");
    QTest::newRow("complete file")
        << true
        << QByteArray("1\r\n\"/tmp/channels.map\"\r\n1\r\n3\r\n\"img\"\r\n\"9:00 PM\"\r\n"
                      "60\r\n\"tv_grab_uk_rt\"\r\n")
        << guide << qint16(60) << qint16(3) << QStringLiteral("tv_grab_uk_rt");
    // A short file opens the guide with the fix-ups only: the missing opacity stays 0.
    QTest::newRow("three values") << true << QByteArray("1\r\n\"/tmp/channels.map\"\r\n1\r\n")
                                  << guide << qint16(0) << qint16(1)
                                  << QStringLiteral("tv_grab_na_dd");
    QTest::newRow("empty file") << true << QByteArray() << guide << qint16(0) << qint16(1)
                                << QStringLiteral("tv_grab_na_dd");
    QTest::newRow("letter on line 1")
        << true << QByteArray("x\r\n\"p\"\r\n0\r\n") << stop << qint16(0) << qint16(0) << QString();
    // What was read before the bad value stands, without fix-ups.
    QTest::newRow("bad opacity") << true
                                 << QByteArray("1\r\n\"m\"\r\n0\r\n4\r\n\"i\"\r\n\"6:00 PM\"\r\n"
                                               "full\r\n\"g\"\r\n")
                                 << stop << qint16(0) << qint16(4) << QString();
}

void TestStartup::startupOutcomes()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, contents);
    QFETCH(int, next);
    QFETCH(qint16, opacity);
    QFETCH(qint16, daysToDownload);
    QFETCH(QString, grabberName);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const ProgramFolder folder(dir.path());
    if (exists)
        writeFile(folder.settingsFile(), contents);

    AppState state;
    state.settings.opacity = 55; // whatever was there is replaced
    const StartupOutcome outcome = runStartupStep(folder, state);

    QCOMPARE(int(outcome.next), next);
    QCOMPARE(state.settings.opacity, opacity);
    QCOMPARE(state.settings.daysToDownload, daysToDownload);
    QCOMPARE(state.settings.grabberName, grabberName);
    if (outcome.next == StartupOutcome::Next::Stop) {
        // The box tells which value is wrong.
        QVERIFY2(outcome.message.contains(QStringLiteral("config.txt")),
                 qPrintable(outcome.message));
    } else {
        QVERIFY(outcome.message.isEmpty());
    }
    if (!exists) {
        QCOMPARE(state.settings, firstRunDefaults());
        // The file only comes with the settings screen's Save.
        QVERIFY(!QFile::exists(folder.settingsFile()));
    }
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
