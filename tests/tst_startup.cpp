// The minute tick's schedule, with a clock that stands still and actions that only record what
// they were asked to do; then the tick's timer and its reports, without a display; then the
// program's own actions on its one store while an import of that store lets events run. (The
// start-up step is driven through the splash screen.)

#include "acquire/importer.h"
#include "app/minutetick.h"
#include "app/program.h"
#include "app/startup.h"
#include "store/listingsstore.h"
#include "store/timerules.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
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

    // Timer1 runs the tick every minute; a failing action ends the tick, not the program, and
    // the request is still used up.
    void tickTimer()
    {
        QTemporaryDir dir;
        FakeClock clock = clockAt(QTime(0, 30));
        Program program(ProgramFolder(dir.path()), clock);
        program.state.settings.writeChannelMap = 1;
        MinuteTick tick(program);
        QCOMPARE(tick.timer()->objectName(), QStringLiteral("Timer1"));
        QVERIFY(tick.timer()->isActive() && tick.timer()->interval() == 60000);
        auto owned = std::make_unique<RecordingActions>(program.state);
        RecordingActions& actions = *owned;
        tick.setActions(std::move(owned));
        tick.run(); // 00:30
        clock.setNow(wallClock(sunday, QTime(0, 31)));
        tick.run();
        QCOMPARE(actions.calls, QStringList{"map"});
        actions.present = {0};
        actions.failRulesOf = 0;
        program.state.rescheduleRequested = true;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("rules failed")));
        tick.run();
        QVERIFY(!program.state.rescheduleRequested);
    }

    // A failing tick reports and waits for nobody: with the minute shortened the next ticks run
    // on time (each failing and reporting again), and a minute without work is not caught up.
    void tickReportsAndGoesOn()
    {
        QTemporaryDir dir;
        FakeClock clock = clockAt(QTime(3, 1));
        Program program(ProgramFolder(dir.path()), clock);
        program.state.settings = firstRunDefaults();
        program.state.settings.grabberName = "tv_grab_missing";
        MinuteTick tick(program);
        QSignalSpy reports(&tick, &MinuteTick::report);
        // Every fetch the tick tries is refused and logged.
        const auto fetches = [&program] {
            QFile log(program.folder.file("grabber.log"));
            return log.open(QIODevice::ReadOnly) ? int(log.readAll().count("---- not run: ")) : 0;
        };
        tick.run(); // 03:01: the night's fetch finds no grabber
        QCOMPARE(reports.size(), 1);
        QCOMPARE(fetches(), 1);
        tick.timer()->start(100);
        QTRY_VERIFY_WITH_TIMEOUT(fetches() >= 4, 5000);
        QCOMPARE(reports.size(), fetches());
        clock.setNow(wallClock(sunday, QTime(3, 2)));
        QTest::qWait(250);
        const int settled = fetches();
        QTest::qWait(350);
        QCOMPARE(fetches(), settled);
    }

    // The tick's actions work on the program's store, which an import holds open while its
    // events run: the channel map written from such an event is named from the listings as
    // committed, not from the import's half-stored rows, and the import goes on undisturbed.
    void programActionsDuringAnImport()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("xmltv"));
        const QDate monday(2003, 12, 15), tuesday = monday.addDays(1);
        FakeClock clock(QTimeZone("America/New_York"), wallClock(monday, QTime(20, 0)));
        Program program(ProgramFolder(dir.path()), clock);
        program.state.settings.channelMapPath = dir.filePath("channels.map");
        ProgrammeRow five;
        five.startdate = five.enddate = monday;
        five.starttime = QTime(20, 0);
        five.endtime = QTime(21, 0);
        five.channel = "c5";
        five.title = "Five";
        program.store().replaceDay(dayNumber(monday), monday, {{"c5", "5 ABC", "5", ""}}, {five});
        const QByteArray oldLine = "\"Old\"|\"c5 \"|\"tuner 1\"\r\n";
        QFile map(program.state.settings.channelMapPath);
        QVERIFY(map.open(QIODevice::WriteOnly) && map.write(oldLine) == oldLine.size());
        map.close();
        // Tuesday's file names channel 5 anew.
        QFile day(QDir(program.folder.xmltvFolder()).filePath(dayFileName(tuesday)));
        QVERIFY(day.open(QIODevice::WriteOnly));
        day.write("<?xml version=\"1.0\"?>\n<tv>\n<channel id=\"c5\"><display-name>5 NEW"
                  "</display-name><display-name>x</display-name><display-name>5</display-name>"
                  "</channel>\n<programme start=\"20031216200000\" stop=\"20031216210000\" "
                  "channel=\"c5\"><title>Tuesday</title></programme>\n<programme start=\""
                  "20031216210000\" stop=\"20031216220000\" channel=\"c5\"><title>Later"
                  "</title></programme>\n</tv>\n");
        day.close();

        ProgramTickActions actions(program);
        QStringList messages;
        actions.showMessage = [&](const QString& text) { messages << text; };
        bool present = false;
        ImportHooks hooks;
        hooks.progress = [&](int count) {
            if (count != 1)
                return;
            actions.writeChannelMap();
            present = actions.checkForPrograms(wallClock(monday, QTime(20, 0)));
        };
        const ImportResult r = getListings(wallClock(tuesday, QTime(20, 0)), program.store(),
                                           program.state, program.folder, clock, hooks);
        QCOMPARE(r.status, ImportResult::Status::Imported);
        QCOMPARE(messages, QStringList());
        QVERIFY(present);
        QVERIFY(map.open(QIODevice::ReadOnly));
        QCOMPARE(map.readAll(), QByteArray("\"5 ABC Five\"|\"c5 \"|\"tuner 1\"\r\n"));
        map.close();
        // Once the import is in, the map names the channel anew.
        actions.writeChannelMap();
        QVERIFY(map.open(QIODevice::ReadOnly));
        QCOMPARE(map.readAll(), QByteArray("\"5 NEW Five\"|\"c5 \"|\"tuner 1\"\r\n"));
        QCOMPARE(program.store().dayProgrammes(dayNumber(tuesday)).size(), std::size_t(2));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
