// Selections, hand-off files, the hand-off queue, the rules and the menu's items without a
// window. The opener is a real script run as a real process (standinopener.h); the queue's
// gap runs on a fake clock the cases move by hand, except where the pause itself is measured.
#include "record/handoff.h"
#include "record/handoffqueue.h"
#include "record/rules.h"
#include "record/selection.h"
#include "store/timerules.h"
#include "support/filesizelimit.h"
#include "support/standinopener.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/resource.h>

using namespace zarvo;

Q_DECLARE_METATYPE(zarvo::GridCell)

namespace {

const QDate Monday(2003, 12, 15), Tuesday(2003, 12, 16), SummerMonday(2003, 7, 14);
const QString ny = "America/New_York", berlin = "Europe/Berlin";

QDateTime at(QDate date, int hour, int minute = 0)
{
    return wallClock(date, QTime(hour, minute));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

GridCell cell(const QString& title, const QString& channelName, const QDateTime& start,
              const QDateTime& end, const QString& description = {})
{
    GridCell c;
    c.title = title, c.channelName = channelName, c.description = description;
    c.startDate = start.date(), c.startTime = start.time();
    c.endDate = end.date(), c.endTime = end.time();
    c.programId = 7;
    c.dayTable = dayNumber(start.date());
    return c;
}

QString text(const std::optional<QString>& action)
{
    return action.value_or("-");
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<StandInOpener> m_opener;
    std::unique_ptr<ListingsStore> m_store;
    QString m_database;
    int m_databases = 0;
    FakeClock m_clock{QTimeZone("America/New_York"), at(Monday, 18)};
    std::unique_ptr<HandOffQueue> m_queue;
    // How each request ended: "taken", "not taken", "not written", "dropped", with the message.
    QStringList m_ends;

    StoreOpener openStore()
    {
        return [path = m_database] { return std::make_unique<ListingsStore>(path); };
    }

    void addChannels()
    {
        m_store->insertChannel({"C4", "4 WXYZ", "4", "wxyz.png"});
        m_store->insertChannel({"C5", "5 KABC", "5", "kabc.png"});
    }

    qint32 add(const QString& channel, const QString& title, const QDateTime& start,
               const QDateTime& end, bool rerun = false, int table = 0)
    {
        ProgrammeRow row;
        row.channel = channel, row.title = title, row.description = "About " + title;
        row.rating = "TV-14", row.rerun = rerun;
        row.startdate = start.date(), row.starttime = start.time();
        row.enddate = end.date(), row.endtime = end.time();
        return m_store->insertProgramme(table ? table : dayNumber(start.date()), row);
    }

    QString actionOf(int table, qint32 id)
    {
        const auto row = m_store->programme(table, id);
        return row ? text(row->action) : "<gone>";
    }

    // The guide's selection of the programme called `title` in the window at `start`.
    std::optional<GridCell> guideCell(const QDateTime& start, const QString& title)
    {
        GridBuilder builder;
        showWindow(builder.state(), start);
        if (!builder.displayListings(*m_store))
            return std::nullopt;
        for (const GridRow& row : builder.page().rows)
            for (const auto& c : row.cells)
                if (c && c->title == title)
                    return *c;
        return std::nullopt;
    }
    SelectedProgramme selectInGuide(const QDateTime& start, const QString& title)
    {
        const std::optional<GridCell> shown = guideCell(start, title);
        if (!shown)
            qFatal("not in the guide");
        return fromGridCell(*shown, m_clock);
    }

    int recordedRows() { return int(m_store->recordedLog().size()); }

    HandOffDone noteEnd()
    {
        return [this](const SelectedProgramme& p, const HandOffOutcome& o) {
            static const char* names[] = {"taken", "not taken", "not written", "dropped"};
            m_ends << QString("%1 %2%3").arg(names[int(o.status)], p.progTitle,
                                             o.message.isEmpty() ? "" : ": " + o.message);
        };
    }

    // Moves the fake clock on a second at a time until the queue is done.
    void drain()
    {
        for (int i = 0; i < 600 && !m_queue->idle(); ++i) {
            QTest::qWait(5);
            if (!m_queue->idle())
                m_clock.advanceSeconds(1);
        }
        QVERIFY(m_queue->idle());
    }

    int pass(QDate day)
    {
        const int queued =
            checkForScheduled(*m_store, day, *m_queue, openStore(), m_clock, noteEnd());
        drain();
        return queued;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_opener = std::make_unique<StandInOpener>(m_dir.filePath("opener"));
    }

    void init()
    {
        QFile::remove(m_dir.filePath("program.tvpi"));
        QFile::remove(m_dir.filePath("program.tvvi"));
        m_database = m_dir.filePath(QString("xmltv%1.db").arg(++m_databases));
        m_store = std::make_unique<ListingsStore>(m_database);
        m_clock.setNow(at(Monday, 18));
        m_opener->reset();
        m_queue = std::make_unique<HandOffQueue>(m_clock, ProgramFolder(m_dir.path()));
        m_queue->setOpener(m_opener->command());
        m_queue->setRecheckMs(2);
        m_ends.clear();
    }
    void cleanup()
    {
        m_queue.reset();
        m_store.reset();
    }

    // The hand-off carries the true UTC of each time, from the zone's rules at that moment.
    void selection_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("channelName");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        // station, number, start date, start time, end date, end time, duration
        QTest::addColumn<QString>("expected");
        const QDate sun(2003, 10, 26);
        QTest::newRow("summer evening in New York")
            << ny << "4 WXYZ" << at(SummerMonday, 19) << at(SummerMonday, 20)
            << "WXYZ|4|20030714|23:00|20030715|00:00|01:00";
        QTest::newRow("winter evening in New York")
            << ny << "4 WXYZ" << at(Monday, 20) << at(Monday, 21)
            << "WXYZ|4|20031216|01:00|20031216|02:00|01:00";
        QTest::newRow("23:30 to 00:30 in Berlin")
            << berlin << "4 WXYZ" << at(Monday, 23, 30) << at(Tuesday, 0, 30)
            << "WXYZ|4|20031215|22:30|20031215|23:30|01:00";
        QTest::newRow("fall-back night") << ny << "4 WXYZ" << at(sun, 0, 30) << at(sun, 2, 30)
                                         << "WXYZ|4|20031026|04:30|20031026|07:30|03:00";
        QTest::newRow("longer than a day")
            << ny << "4 WXYZ" << at(Monday, 20) << at(Tuesday, 22, 30)
            << "WXYZ|4|20031216|01:00|20031217|03:30|26:30";
        QTest::newRow("no blank") << ny << "WXYZ" << at(Monday, 20) << at(Monday, 21)
                                  << "WXYZ||20031216|01:00|20031216|02:00|01:00";
        QTest::newRow("station of two words")
            << ny << "5 ABC Family" << at(Monday, 20) << at(Monday, 21)
            << "ABC Family|5|20031216|01:00|20031216|02:00|01:00";
    }
    void selection()
    {
        QFETCH(QString, zone);
        QFETCH(QString, channelName);
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        // Judged at each programme's own moment, not today's: winter today, summer programme.
        const FakeClock clock(QTimeZone(zone.toUtf8()), at(Monday, 12));
        const SelectedProgramme s =
            fromGridCell(cell("Law & Order", channelName, start, end), clock);
        QTEST((QStringList{s.progStation, s.progChannelNumber, s.progStartDate, s.progStartTime,
                           s.progEndDate, s.progEndTime, s.progDuration})
                  .join('|'),
              "expected");
        QCOMPARE(s.progTitle, "Law and Order");
        QCOMPARE(s.dayTable, dayNumber(start.date()));
        QCOMPARE(channelText(s), channelName);
    }

    void fileBytes_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<GridCell>("source");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("recording, & and < in the description")
            << ny
            << cell("Law & Order", "4 WXYZ", at(Monday, 20), at(Monday, 21),
                    "Cops < robbers & more")
            << int(HandOffKind::Recording)
            << QByteArray("<tv-program-info>\r<program>\r<station>WXYZ</station>\r"
                          "<tv-mode>cable</tv-mode>\r<program-title>Law and Order</program-title>\r"
                          "<program-description>Cops < robbers & more</program-description>\r"
                          "<start-date>20031216</start-date>\r<start-time>01:00</start-time>\r"
                          "<end-date>20031216</end-date>\r<end-time>02:00</end-time>\r"
                          "<duration>01:00</duration>\r<rf-channel>4</rf-channel>\r</program>\r"
                          "</tv-program-info>\r\n");
        QTest::newRow("viewing, apostrophes, UTF-8, across midnight")
            << berlin
            << cell("Grey's Anatomy", "12 K\u00d6LN", at(Monday, 23, 30), at(Tuesday, 1),
                    "Zo\u00eb's day")
            << int(HandOffKind::Viewing)
            << QByteArray(
                   "<tv-viewer-info>\r<program>\r<station>K\xc3\x96LN</station>\r"
                   "<tv-mode>cable</tv-mode>\r<program-title>Grey's Anatomy</program-title>\r"
                   "<program-description>Zo\xc3\xab's day</program-description>\r"
                   "<start-date>20031215</start-date>\r<start-time>22:30</start-time>\r"
                   "<end-date>20031216</end-date>\r<end-time>00:00</end-time>\r"
                   "<duration>01:30</duration>\r<rf-channel>12</rf-channel>\r</program>\r"
                   "</tv-viewer-info>\r\n");
    }
    void fileBytes()
    {
        QFETCH(QString, zone);
        QFETCH(GridCell, source);
        QFETCH(int, kind);
        QFETCH(QByteArray, expected);
        const FakeClock clock(QTimeZone(zone.toUtf8()), at(Monday, 12));
        SelectedProgramme s = fromGridCell(source, clock);
        QCOMPARE(handOffFile(s, HandOffKind(kind)), expected);
        // Logging first changes nothing in the file: no doubled apostrophes leak into it.
        logRecording(*m_store, s, "record");
        HandOffRequest request;
        request.kind = HandOffKind(kind);
        request.selected = s;
        request.told = noteEnd();
        m_queue->enqueue(request);
        drain();
        QCOMPARE(m_opener->received(), QList<QByteArray>{expected});
        QCOMPARE(readFile(m_dir.filePath(handOffFileName(HandOffKind(kind)))), expected);
        QCOMPARE(m_ends, QStringList{"taken " + s.progTitle});
    }

    // A rule's hand-off is the one the viewer would get choosing the programme in the guide.
    void ruleHandOffEqualsGuideHandOff_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("channelName");
        for (const QString& zone : {ny, berlin})
            for (QDate date : {Monday, SummerMonday})
                QTest::addRow("%s %s", qPrintable(zone), qPrintable(date.toString(Qt::ISODate)))
                    << zone << date << "4 WXYZ";
        QTest::newRow("name without a blank") << ny << SummerMonday << "WXYZ";
    }
    void ruleHandOffEqualsGuideHandOff()
    {
        QFETCH(QString, zone);
        QFETCH(QDate, date);
        QFETCH(QString, channelName);
        m_clock = FakeClock(QTimeZone(zone.toUtf8()), at(date, 12));
        m_store->insertChannel({"I4.wxyz.example.com", channelName, "4", "wxyz.png"});
        add("I4.wxyz.example.com", "Law & Order", at(date, 20), at(date, 21));
        m_store->insertRule({"Law & Order", "all", channelName});
        const std::optional<GridCell> shown = guideCell(at(date, 20), "Law & Order");
        QVERIFY(shown);
        const SelectedProgramme byGuide = fromGridCell(*shown, m_clock);
        QCOMPARE(pass(date), 1);
        QCOMPARE(m_opener->received(),
                 QList<QByteArray>{handOffFile(byGuide, HandOffKind::Recording)});
        QCOMPARE(m_store->recordedLog().front().filename, "Law and Order on " + channelName);
        m_clock = FakeClock(QTimeZone(ny.toUtf8()), at(Monday, 18));
    }

    void rulePasses_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("rules"); // title, type, channel of each
        QTest::addColumn<QString>("channel");   // the programme's
        QTest::addColumn<bool>("rerun");
        QTest::addColumn<QStringList>("action"); // before and after the pass; "-" none
        const QString news = "News";
        const QStringList season{news, "season", "4 WXYZ"}, all{news, "all", "4 WXYZ"};
        const QStringList other{news, "all", "5 KABC"};
        QTest::newRow("season, first showing")
            << news << season << "C4" << false << QStringList{"-", "season"};
        QTest::newRow("season skips a rerun")
            << news << season << "C4" << true << QStringList{"-", "-"};
        QTest::newRow("season, other channel")
            << news << season << "C5" << false << QStringList{"-", "-"};
        QTest::newRow("all takes a rerun")
            << news << all << "C4" << true << QStringList{"-", "all"};
        QTest::newRow("all, any channel")
            << news << all << "C5" << false << QStringList{"-", "all"};
        QTest::newRow("marked record")
            << news << all << "C4" << false << QStringList{"record", "record"};
        QTest::newRow("do not record") << news << all << "C4" << true << QStringList{" ", " "};
        QTest::newRow("title case differs") << news << QStringList{"news", "all", "4 WXYZ"} << "C4"
                                            << false << QStringList{"-", "-"};
        QTest::newRow("apostrophe")
            << "Grey's Anatomy" << QStringList{"Grey's Anatomy", "season", "4 WXYZ"} << "C4"
            << false << QStringList{"-", "season"};
        // The menu stores the title as the hand-off has it; a rule typed by hand keeps its "&".
        QTest::newRow("& listing, menu's rule with and")
            << "Law & Order: Demo" << QStringList{"Law and Order: Demo", "all", "4 WXYZ"} << "C5"
            << false << QStringList{"-", "all"};
        QTest::newRow("& listing, typed rule with &")
            << "Law & Order: Demo" << QStringList{"Law & Order: Demo", "season", "4 WXYZ"} << "C4"
            << false << QStringList{"-", "season"};
        QTest::newRow("and is not any word")
            << "Law & Order" << QStringList{"Law or Order", "all", "4 WXYZ"} << "C4" << false
            << QStringList{"-", "-"};
        // A programme two rules match is handed over once, by the season rule when it can.
        QTest::newRow("all rules on two channels")
            << news << other + all << "C4" << false << QStringList{"-", "all"};
        QTest::newRow("season before all")
            << news << other + season << "C4" << false << QStringList{"-", "season"};
    }
    void rulePasses()
    {
        QFETCH(QString, title);
        QFETCH(QStringList, rules);
        QFETCH(QString, channel);
        QFETCH(bool, rerun);
        QFETCH(QStringList, action);
        addChannels();
        const qint32 id = add(channel, title, at(Monday, 20), at(Monday, 21), rerun);
        if (action[0] != "-")
            m_store->setAction(dayNumber(Monday), id, action[0]);
        for (int i = 0; i < rules.size(); i += 3)
            m_store->insertRule({rules[i], rules[i + 1], rules[i + 2]});
        const int taken = action[1] != action[0];
        QCOMPARE(pass(Monday), taken);
        QCOMPARE(actionOf(dayNumber(Monday), id), action[1]);
        QCOMPARE(m_opener->received().size(), taken);
        QCOMPARE(recordedRows(), taken);
        // A second pass finds the programme marked and leaves it.
        QCOMPARE(pass(Monday), 0);
    }

    // A programme starting the evening before its file's day lives in that day's table, where
    // another day's table may use its id too.
    void eveningBeforeMarkedInItsOwnTable()
    {
        addChannels();
        const qint32 sameId = add("C4", "Weather", at(Monday, 6), at(Monday, 7));
        const qint32 late =
            add("C4", "Late Film", at(Monday, 23, 30), at(Tuesday, 1), false, dayNumber(Tuesday));
        QCOMPARE(late, sameId);
        m_store->insertRule({"Late Film", "all", "4 WXYZ"});
        QCOMPARE(pass(Tuesday), 1);
        QCOMPARE(pass(Tuesday), 0);
        QCOMPARE(pass(Tuesday), 0);
        QCOMPARE(actionOf(dayNumber(Tuesday), late), "all");
        QCOMPARE(actionOf(dayNumber(Monday), sameId), "-");
        QCOMPARE(m_opener->received().size(), 1);
        QCOMPARE(recordedRows(), 1);
        // The menu's items and "do not record" use the cell's table too.
        const SelectedProgramme s = selectInGuide(at(Tuesday, 0), "Late Film");
        QCOMPARE(s.dayTable, dayNumber(Tuesday));
        doNotRecord(*m_store, s);
        QCOMPARE(actionOf(dayNumber(Tuesday), late), " ");
        QCOMPARE(actionOf(dayNumber(Monday), sameId), "-");
    }

    // A rule pass is pausing after its first hand-off when the viewer records a programme from
    // the menu: the viewer's file stands next, in its turn, for its own 15 s, and reaches the
    // opener as it was written; the menu did not wait for it.
    void menuDuringRulePause()
    {
        addChannels();
        add("C4", "News", at(Monday, 20), at(Monday, 21));
        add("C5", "News", at(Monday, 22), at(Monday, 23));
        add("C4", "Film", at(Monday, 21), at(Monday, 22));
        m_store->insertRule({"News", "all", "4 WXYZ"});
        QCOMPARE(checkForScheduled(*m_store, Monday, *m_queue, openStore(), m_clock, noteEnd()), 2);
        QTRY_COMPARE(m_opener->received().size(), 1);
        const QDateTime first = m_clock.currentInstant();

        m_clock.advanceSeconds(5);
        const SelectedProgramme film = selectInGuide(at(Monday, 21), "Film");
        recordThisShowing(*m_queue, openStore(), film, noteEnd());
        QTest::qWait(50);
        QCOMPARE(actionOf(dayNumber(Monday), film.progId), "-"); // not before it was taken
        m_clock.setInstant(first.addMSecs(14999));
        QTest::qWait(50);
        QCOMPARE(m_opener->received().size(), 1);
        m_clock.setInstant(first.addMSecs(15000));
        QTRY_COMPARE(m_opener->received().size(), 2);
        QCOMPARE(m_opener->received().at(1), handOffFile(film, HandOffKind::Recording));
        QTRY_COMPARE(actionOf(dayNumber(Monday), film.progId), "record");
        m_clock.setInstant(first.addMSecs(29999));
        QTest::qWait(50);
        QCOMPARE(m_opener->received().size(), 2);
        m_clock.setInstant(first.addMSecs(30000));
        QTRY_COMPARE(m_opener->received().size(), 3);
        QVERIFY(m_opener->received().at(2).contains("<start-time>03:00</start-time>"));
        QTRY_VERIFY(m_queue->idle());
        QCOMPARE(m_ends, (QStringList{"taken News", "taken Film", "taken News"}));
        QCOMPARE(recordedRows(), 3);
    }

    // Each file stands its own 15 s: watching right after a recording does not wait for it.
    void eachFileHasItsOwnGap()
    {
        addChannels();
        add("C4", "News", at(Monday, 20), at(Monday, 21));
        const SelectedProgramme s = selectInGuide(at(Monday, 20), "News");
        recordThisShowing(*m_queue, openStore(), s, noteEnd());
        watch(*m_queue, s, noteEnd());
        recordThisShowing(*m_queue, openStore(), s, noteEnd());
        QTRY_COMPARE(m_ends.size(), 2);
        QTest::qWait(50);
        QCOMPARE(m_opener->received().size(), 2);
        QVERIFY(m_opener->received().at(1).startsWith("<tv-viewer-info>"));
        m_clock.advanceSeconds(15);
        QTRY_COMPARE(m_opener->received().size(), 3);
    }

    // Nobody took it: no mark, no log, the viewer is told, and the next pass tries again.
    void failingOpener_data()
    {
        QTest::addColumn<QString>("opener"); // "3": exits 3; "missing": no such program
        QTest::addColumn<QString>("told");
        QTest::newRow("exits 3") << "3"
                                 << "(open exited with 3)";
        QTest::newRow("missing") << "missing"
                                 << "(no-xdg-open could not be started";
        QTest::newRow("crashes") << "crash"
                                 << "(open crashed)";
    }
    void failingOpener()
    {
        QFETCH(QString, opener);
        QFETCH(QString, told);
        addChannels();
        const qint32 id = add("C4", "News", at(Monday, 20), at(Monday, 21));
        const qint32 other = add("C4", "News", at(Monday, 22), at(Monday, 23));
        if (opener == "missing")
            m_queue->setOpener({m_dir.filePath("no-xdg-open"), {}, 10000});
        else
            m_opener->answer(opener.toUtf8());
        const SelectedProgramme s = selectInGuide(at(Monday, 20), "News");
        AppState state;
        recordEveryShowing(*m_store, *m_queue, openStore(), state, s, noteEnd());
        drain();
        QCOMPARE(m_ends.size(), 1);
        QVERIFY2(m_ends[0].startsWith("not taken News: No application took the recording request " +
                                      told),
                 qPrintable(m_ends[0]));
        QVERIFY2(m_ends[0].contains("\"Associating a recorder\""), qPrintable(m_ends[0]));
        // The rule stands; its pass leaves both showings for the next one.
        QCOMPARE(pass(Monday), 2);
        QCOMPARE(actionOf(dayNumber(Monday), id), "-");
        QCOMPARE(actionOf(dayNumber(Monday), other), "-");
        QCOMPARE(recordedRows(), 0);
        m_queue->setOpener(m_opener->command());
        m_opener->answer("0");
        QCOMPARE(pass(Monday), 2);
        QCOMPARE(actionOf(dayNumber(Monday), id), "all");
        QCOMPARE(recordedRows(), 2);
    }

    // An opener that waits for the application it started counts as taken after its timeout,
    // and the queue goes on.
    void slowOpenerCountsAsTaken()
    {
        addChannels();
        const qint32 id = add("C4", "News", at(Monday, 20), at(Monday, 21));
        m_opener->answer("sleep");
        m_queue->setOpener(m_opener->command(300));
        QElapsedTimer timer;
        timer.start();
        recordThisShowing(*m_queue, openStore(), selectInGuide(at(Monday, 20), "News"), noteEnd());
        drain();
        QVERIFY(timer.elapsed() < 3000);
        QCOMPARE(m_ends, QStringList{"taken News"});
        QCOMPARE(actionOf(dayNumber(Monday), id), "record");
    }

    void endedShowingsSkipped()
    {
        addChannels();
        const qint32 ended = add("C4", "News", at(Monday, 19), at(Monday, 20));
        const qint32 running = add("C4", "News", at(Monday, 20), at(Monday, 21));
        const qint32 brief = add("C5", "News", at(Monday, 20, 15), at(Monday, 20, 45));
        const qint32 coming = add("C4", "News", at(Monday, 22), at(Monday, 23));
        m_store->insertRule({"News", "all", "4 WXYZ"});
        m_clock.setNow(at(Monday, 20, 30));
        QCOMPARE(checkForScheduled(*m_store, Monday, *m_queue, openStore(), m_clock, noteEnd()), 3);
        // The brief one ends while it waits behind the first request: dropped at its turn.
        QTRY_COMPARE(m_opener->received().size(), 1);
        m_clock.setNow(at(Monday, 20, 50));
        drain();
        QCOMPARE(actionOf(dayNumber(Monday), ended), "-");
        QCOMPARE(actionOf(dayNumber(Monday), running), "all");
        QCOMPARE(actionOf(dayNumber(Monday), brief), "-");
        QCOMPARE(actionOf(dayNumber(Monday), coming), "all");
        QCOMPARE(m_ends, (QStringList{"taken News", "dropped News", "taken News"}));
    }

    // The gap on the system clock, measured on the files the opener was given: each was written
    // only once the previous one had stood its time (a file time may lag by a clock tick).
    void pauseMeasured()
    {
        addChannels();
        add("C4", "News", at(Tuesday, 20), at(Tuesday, 21));
        add("C4", "News", at(Tuesday, 22), at(Tuesday, 23));
        m_store->insertRule({"News", "all", "4 WXYZ"});
        SystemClock clock;
        HandOffQueue queue(clock, ProgramFolder(m_dir.path()));
        queue.setOpener(m_opener->command());
        queue.setGapMs(1500);
        // A system clock far from 2003: the showings lie in its future only on its own terms.
        FakeClock past(clock.zone(), at(Monday, 12));
        QCOMPARE(checkForScheduled(*m_store, Tuesday, queue, openStore(), past), 2);
        QTRY_VERIFY_WITH_TIMEOUT(queue.idle(), 10000);
        const QList<double> t = m_opener->writtenAt();
        QCOMPARE(t.size(), 2);
        const int gapMs = qRound((t[1] - t[0]) * 1000);
        QVERIFY2(gapMs >= 1490 && gapMs < 2000, qPrintable(QString::number(gapMs)));
    }

    void logRecordingValues()
    {
        addChannels();
        const qint32 id = add("C4", "Grey's Anatomy", at(Monday, 20), at(Monday, 21));
        m_store->database()
            .prepare("UPDATE day2 SET description = ?, category = ?, subtitle = ?")
            .bind(1, QString("It's <on> & on"))
            .bind(2, QString("Kids' TV"))
            .bind(3, QString("Pilot's end"))
            .run();
        SelectedProgramme s = selectInGuide(at(Monday, 20), "Grey's Anatomy");
        QVERIFY(logRecording(*m_store, s, "record"));
        QCOMPARE(actionOf(dayNumber(Monday), id), "record");
        const RecordedRow r = m_store->recordedLog().front();
        QCOMPARE((QStringList{r.startdate, r.starttime, r.enddate, r.endtime, r.channel, r.title,
                              r.subtitle, r.description, r.category, r.rating, r.filename,
                              r.realdate, r.realtime, r.station, r.mode, r.duration}),
                 (QStringList{"20031216", "01:00", "20031216", "02:00", "4", "Grey's Anatomy",
                              "Pilot's end", "It's <on> & on", "Kids' TV", "TV-14",
                              "Grey's Anatomy on 4 WXYZ", "12/15/2003", "8:00:00 PM", "WXYZ",
                              "cable", "01:00"}));
        // A programme that left its table is still logged, but nothing is marked.
        s.progId = 9999;
        QVERIFY(!logRecording(*m_store, s, "record"));
        QCOMPARE(recordedRows(), 2);
    }

    // One rule per title and channel: a second changes its type; "&" and "and" are alike.
    void addRuleTwice_data()
    {
        QTest::addColumn<QStringList>("steps"); // title, type and channel, in turn
        QTest::addColumn<QStringList>("rules"); // title, type and channel of each rule after
        const QStringList all4{"Grey's Anatomy", "all", "4 WXYZ"};
        const QStringList season4{"Grey's Anatomy", "season", "4 WXYZ"};
        const QStringList all5{"Grey's Anatomy", "all", "5 KABC"};
        QTest::newRow("same again") << all4 + all4 << all4;
        QTest::newRow("all, then season") << all4 + season4 << season4;
        QTest::newRow("another channel") << all4 + all5 << all4 + all5;
        QTest::newRow("typed &, then the menu's and")
            << QStringList{"Law & Order", "season", "4 WXYZ", "Law and Order", "all", "4 WXYZ"}
            << QStringList{"Law & Order", "all", "4 WXYZ"};
    }
    void addRuleTwice()
    {
        QFETCH(QStringList, steps);
        for (int i = 0; i < steps.size(); i += 3)
            addRule(*m_store, steps[i], steps[i + 1], steps[i + 2]);
        QStringList found;
        for (const RuleRow& rule : m_store->rules())
            found << rule.programtitle << rule.recordtype << rule.recordchannel;
        QTEST(found, "rules");
        QCOMPARE(deleteRules(*m_store, "Law and Order") + deleteRules(*m_store, "Grey's Anatomy"),
                 found.size() / 3);
    }

    void menuRecordItems_data()
    {
        QTest::addColumn<int>("item"); // 1 this showing, 2 every showing, 3 the series
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("rule");
        QTest::addColumn<bool>("reschedule");
        QTest::newRow("this showing") << 1 << "record"
                                      << "" << false;
        QTest::newRow("every showing") << 2 << "all"
                                       << "all 4 WXYZ" << true;
        QTest::newRow("the series") << 3 << "season"
                                    << "season 4 WXYZ" << false;
    }
    void menuRecordItems()
    {
        QFETCH(int, item);
        QFETCH(QString, rule);
        addChannels();
        const qint32 id = add("C4", "Law & Order", at(Monday, 20), at(Monday, 21));
        const qint32 next = add("C4", "Law & Order", at(Monday, 22), at(Monday, 23));
        // Already marked: the item overwrites the mark and still hands the file over.
        m_store->setAction(dayNumber(Monday), id, " ");
        const SelectedProgramme s = selectInGuide(at(Monday, 20), "Law & Order");
        AppState state;
        if (item == 1)
            recordThisShowing(*m_queue, openStore(), s, noteEnd());
        else if (item == 2)
            recordEveryShowing(*m_store, *m_queue, openStore(), state, s, noteEnd());
        else
            recordSeries(*m_store, *m_queue, openStore(), s, noteEnd());
        drain();
        QCOMPARE(m_opener->received(), QList<QByteArray>{handOffFile(s, HandOffKind::Recording)});
        QTEST(actionOf(dayNumber(Monday), id), "action");
        QTEST(state.rescheduleRequested, "reschedule");
        QStringList rules;
        for (const RuleRow& r : m_store->rules())
            rules << r.recordtype + ' ' + r.recordchannel;
        QCOMPARE(rules.join(','), rule);
        // The stored rule ("Law and Order") finds the later "Law & Order" showing.
        QCOMPARE(pass(Monday), rule.isEmpty() ? 0 : 1);
        QCOMPARE(actionOf(dayNumber(Monday), next) != "-", !rule.isEmpty());
    }

    void startedEarlierToday_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<bool>("started");
        QTest::newRow("started earlier today") << at(Monday, 18, 30) << at(Monday, 18) << true;
        QTest::newRow("starts this minute") << at(Monday, 18) << at(Monday, 18) << false;
        QTest::newRow("tomorrow, earlier hour")
            << at(Monday, 18) << at(Monday.addDays(1), 17) << false;
        QTest::newRow("summer, started")
            << at(SummerMonday, 18, 30) << at(SummerMonday, 18) << true;
        QTest::newRow("summer, to come")
            << at(SummerMonday, 18, 30) << at(SummerMonday, 19) << false;
    }
    void startedEarlierToday()
    {
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, start);
        m_clock.setNow(now);
        const SelectedProgramme s =
            fromGridCell(cell("News", "4 WXYZ", start, start.addSecs(3600)), m_clock);
        QTEST(zarvo::startedEarlierToday(s, m_clock), "started");
    }

    void unwritableFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder") << "missing" << QString("does not exist");
        QTest::newRow("file is a folder") << "blocked" << QString("it is a folder, not a file");
        QTest::newRow("write fails part way") << "full" << QString();
    }
    void unwritableFolder()
    {
        QFETCH(QString, folder);
        QFETCH(QString, reason);
        QTemporaryDir base;
        const QString path = base.filePath(folder);
        if (folder == "blocked")
            QVERIFY(QDir().mkpath(path + "/program.tvpi"));
        if (folder == "full") {
            QFile old(path + "/program.tvpi");
            QVERIFY(QDir().mkpath(path) && old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        }
        const QStringList before = QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        m_queue->setFolder(ProgramFolder(path));
        addChannels();
        const qint32 id = add("C4", "News", at(Monday, 20), at(Monday, 21));
        {
            FileSizeLimit limit(folder == "full" ? 100 : RLIM_INFINITY);
            QVERIFY(limit.ok);
            recordThisShowing(*m_queue, openStore(), selectInGuide(at(Monday, 20), "News"),
                              noteEnd());
            drain();
        }
        QCOMPARE(m_ends.size(), 1);
        QVERIFY2(
            m_ends[0].startsWith("not written News: Cannot write " + path + "/program.tvpi: ") &&
                m_ends[0].contains(reason),
            qPrintable(m_ends[0]));
        QVERIFY(m_opener->received().isEmpty());
        QCOMPARE(actionOf(dayNumber(Monday), id), "-");
        QCOMPARE(QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        if (folder == "full")
            QCOMPARE(readFile(path + "/program.tvpi"), "old");
    }
};

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
