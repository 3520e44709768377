// Hand-off files, the hand-off queue and the rules without a window. The opener is a real script
// run as a real process (support/standinopener.h); the queue's gap runs on a fake clock the
// cases move by hand, except where the pause itself is measured.
#include "record/handoff.h"
#include "record/handoffqueue.h"
#include "record/rules.h"
#include "record/selection.h"
#include "support/standinopener.h"
#include "support/support.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

using namespace zarvo;
using namespace zarvo::test;

namespace {

const QDate Monday(2003, 12, 15), Tuesday(2003, 12, 16), SummerMonday(2003, 7, 14);
const QString ny = "America/New_York", berlin = "Europe/Berlin";

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

// The file the recorder reads, from "station|title|description|start date|start time|end
// date|end time|duration|channel".
QByteArray handOff(HandOffKind kind, const QString& fields)
{
    const QStringList f = fields.split('|');
    return QString("<%1>\r<program>\r<station>%2</station>\r<tv-mode>cable</tv-mode>\r"
                   "<program-title>%3</program-title>\r<program-description>%4"
                   "</program-description>\r<start-date>%5</start-date>\r<start-time>%6"
                   "</start-time>\r<end-date>%7</end-date>\r<end-time>%8</end-time>\r"
                   "<duration>%9</duration>\r<rf-channel>%10</rf-channel>\r</program>\r</%1>\r\n")
        .arg(kind == HandOffKind::Recording ? "tv-program-info" : "tv-viewer-info", f[0], f[1],
             f[2], f[3], f[4], f[5], f[6])
        .arg(f[7], f[8])
        .toUtf8();
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

    // The store for what requests do at their turn: the same one, as in the program.
    StoreAccess later()
    {
        return [this]() -> ListingsStore& { return *m_store; };
    }
    qint32 add(const QString& channel, const QString& title, const QDateTime& start,
               const QDateTime& end, bool rerun = false, int table = 0)
    {
        ProgrammeRow row = programme(channel, start, end, title);
        row.description = "About " + title, row.rating = "TV-14", row.rerun = rerun;
        return test::add(*m_store, row, table);
    }
    QString actionOf(int table, qint32 id)
    {
        const auto row = m_store->programme(table, id);
        return row ? (row->action ? markText(*row->action) : "-") : "<gone>";
    }
    QString actionOf(qint32 id) { return actionOf(dayNumber(Monday), id); }

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
            m_ends << QString("%1 %2%3").arg(names[int(o.status)], p.title,
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
        const int queued = checkForScheduled(*m_store, day, *m_queue, later(), m_clock, noteEnd());
        drain();
        return queued;
    }

private Q_SLOTS:
    void initTestCase() { m_opener = std::make_unique<StandInOpener>(m_dir.filePath("opener")); }
    void init()
    {
        QFile::remove(m_dir.filePath("program.tvpi"));
        QFile::remove(m_dir.filePath("program.tvvi"));
        m_database = m_dir.filePath(QString("xmltv%1.db").arg(++m_databases));
        m_store = std::make_unique<ListingsStore>(m_database);
        addChannels(*m_store, {"4 WXYZ", "5 KABC"});
        m_clock = FakeClock(QTimeZone("America/New_York"), at(Monday, 18));
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

    // The file carries the true UTC of each time, from the zone's rules at that moment (today
    // is winter): "&" becomes "and" in the title only, nothing is escaped, the station is what
    // follows the channel number.
    void fileBytes_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("channelName");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<HandOffKind>("kind");
        QTest::addColumn<QString>("fields"); // see handOff()
        const auto row = [](const char* name, const QString& zone, const char* channelName,
                            const char* title, const QDateTime& start, const QDateTime& end,
                            const char* fields, HandOffKind kind = HandOffKind::Recording) {
            QTest::newRow(name) << zone << channelName << title << start << end << kind << fields;
        };
        row("New York winter", ny, "4 WXYZ", "Law & Order", at(Monday, 20), at(Monday, 21),
            "WXYZ|Law and Order|Cops < robbers & more|20031216|01:00|20031216|02:00|01:00|4");
        row("New York summer", ny, "4 WXYZ", "News", at(SummerMonday, 19), at(SummerMonday, 20),
            "WXYZ|News|Cops < robbers & more|20030714|23:00|20030715|00:00|01:00|4");
        row("Berlin winter, viewing, UTF-8 across midnight", berlin, "12 K\u00d6LN",
            "Grey's Anatomy", at(Monday, 23, 30), at(Tuesday, 1),
            "K\u00d6LN|Grey's Anatomy|Cops < robbers & more|20031215|22:30|20031216|00:00|01:30|12",
            HandOffKind::Viewing);
        row("Berlin summer", berlin, "4 WXYZ", "News", at(SummerMonday, 23, 30),
            at(SummerMonday.addDays(1), 0, 30),
            "WXYZ|News|Cops < robbers & more|20030714|21:30|20030714|22:30|01:00|4");
        row("station of two words", ny, "5 ABC Family", "News", at(Monday, 20), at(Monday, 21),
            "ABC Family|News|Cops < robbers & more|20031216|01:00|20031216|02:00|01:00|5");
    }
    void fileBytes()
    {
        QFETCH(QString, zone);
        QFETCH(QString, channelName);
        QFETCH(QString, title);
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(HandOffKind, kind);
        QFETCH(QString, fields);
        const QByteArray expected = handOff(kind, fields);
        const FakeClock clock(QTimeZone(zone.toUtf8()), at(Monday, 12));
        SelectedProgramme s =
            fromGridCell(cell(title, channelName, start, end, "Cops < robbers & more"), clock);
        QCOMPARE(handOffFile(s, kind), expected);
        QCOMPARE(s.channelName, channelName);
        QCOMPARE(s.dayTable, dayNumber(start.date()));
        // Logging first changes nothing in the file: no doubled apostrophes leak into it.
        logRecording(*m_store, s, Mark::Record);
        HandOffRequest request;
        request.kind = kind;
        request.selected = s;
        request.told = noteEnd();
        m_queue->enqueue(request);
        drain();
        QCOMPARE(m_opener->received(), QList<QByteArray>{expected});
        QCOMPARE(readFile(m_dir.filePath(handOffFileName(kind))), expected);
        QCOMPARE(m_ends, QStringList{"taken " + s.title});
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
    }
    void ruleHandOffEqualsGuideHandOff()
    {
        QFETCH(QString, zone);
        QFETCH(QDate, date);
        QFETCH(QString, channelName);
        m_clock = FakeClock(QTimeZone(zone.toUtf8()), at(date, 12));
        m_store->insertChannel({"I4.wxyz.example.com", channelName, "4", "wxyz.png"});
        add("I4.wxyz.example.com", "Law & Order", at(date, 20), at(date, 21));
        m_store->insertRule({"Law & Order", RuleType::All, channelName});
        const std::optional<GridCell> shown = guideCell(at(date, 20), "Law & Order");
        QVERIFY(shown);
        const SelectedProgramme byGuide = fromGridCell(*shown, m_clock);
        QCOMPARE(pass(date), 1);
        QCOMPARE(m_opener->received(),
                 QList<QByteArray>{handOffFile(byGuide, HandOffKind::Recording)});
        QCOMPARE(m_store->recordedLog().front().filename, "Law and Order on " + channelName);
    }

    void rulePasses_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("rules"); // title, type, channel of each
        QTest::addColumn<QString>("channel");   // the programme's
        QTest::addColumn<bool>("rerun");
        QTest::addColumn<QStringList>("action"); // before and after the pass; "-" none
        const auto row = [](const char* name, const QString& title, const QStringList& rules,
                            const char* channel, bool rerun, const QStringList& action) {
            QTest::newRow(name) << title << rules << channel << rerun << action;
        };
        const QStringList season{"News", "season", "4 WXYZ"}, all{"News", "all", "4 WXYZ"};
        const QStringList other{"News", "all", "5 KABC"}, none{"-", "-"};
        row("season, first showing", "News", season, "C4", false, {"-", "season"});
        row("season skips a rerun", "News", season, "C4", true, none);
        row("all takes a rerun", "News", all, "C4", true, {"-", "all"});
        row("marked record", "News", all, "C4", false, {"record", "record"});
        row("do not record", "News", all, "C4", true, {" ", " "});
        row("title case differs", "News", {"news", "all", "4 WXYZ"}, "C4", false, none);
        // The menu stores the title as the hand-off has it; a rule typed by hand keeps its "&".
        row("& listing, menu's rule with and", "Law & Order: Demo",
            {"Law and Order: Demo", "all", "4 WXYZ"}, "C5", false, {"-", "all"});
        row("& listing, typed rule with &", "Law & Order: Demo",
            {"Law & Order: Demo", "season", "4 WXYZ"}, "C4", false, {"-", "season"});
        row("and is not any word", "Law & Order", {"Law or Order", "all", "4 WXYZ"}, "C4", false,
            none);
        // A programme two rules match is handed over once, by the season rule when it can.
        row("all rules on two channels", "News", other + all, "C4", false, {"-", "all"});
        row("season before all", "News", other + season, "C4", false, {"-", "season"});
    }
    void rulePasses()
    {
        QFETCH(QString, title);
        QFETCH(QStringList, rules);
        QFETCH(QString, channel);
        QFETCH(bool, rerun);
        QFETCH(QStringList, action);
        const qint32 id = add(channel, title, at(Monday, 20), at(Monday, 21), rerun);
        if (action[0] != "-")
            m_store->setAction(dayNumber(Monday), id, markFromText(action[0]));
        for (int i = 0; i < rules.size(); i += 3)
            m_store->insertRule({rules[i], *ruleTypeFromText(rules[i + 1]), rules[i + 2]});
        const int taken = action[1] != action[0];
        QCOMPARE(pass(Monday), taken);
        QCOMPARE(actionOf(id), action[1]);
        QCOMPARE(m_opener->received().size(), taken);
        QCOMPARE(recordedRows(), taken);
        // A second pass finds the programme marked and leaves it.
        QCOMPARE(pass(Monday), 0);
    }

    // A programme starting the evening before its file's day lives in that day's table, where
    // another day's table may use its id too.
    void eveningBeforeMarkedInItsOwnTable()
    {
        const qint32 sameId = add("C4", "Weather", at(Monday, 6), at(Monday, 7));
        const qint32 late =
            add("C4", "Late Film", at(Monday, 23, 30), at(Tuesday, 1), false, dayNumber(Tuesday));
        QCOMPARE(late, sameId);
        m_store->insertRule({"Late Film", RuleType::All, "4 WXYZ"});
        QCOMPARE(pass(Tuesday), 1);
        QCOMPARE(pass(Tuesday), 0);
        QCOMPARE(pass(Tuesday), 0);
        QCOMPARE(actionOf(dayNumber(Tuesday), late), "all");
        QCOMPARE(actionOf(sameId), "-");
        QCOMPARE(m_opener->received().size(), 1);
        QCOMPARE(recordedRows(), 1);
        // The menu's items and "do not record" use the cell's table too.
        const SelectedProgramme s = selectInGuide(at(Tuesday, 0), "Late Film");
        QCOMPARE(s.dayTable, dayNumber(Tuesday));
        doNotRecord(*m_store, s);
        QCOMPARE(actionOf(dayNumber(Tuesday), late), " ");
        QCOMPARE(actionOf(sameId), "-");
    }

    // A rule pass is pausing after its first hand-off when the viewer records a programme from
    // the menu: the viewer's file stands next, in its turn, for its own 15 s, and reaches the
    // opener as it was written; the menu did not wait for it.
    void menuDuringRulePause()
    {
        add("C4", "News", at(Monday, 20), at(Monday, 21));
        add("C5", "News", at(Monday, 22), at(Monday, 23));
        add("C4", "Film", at(Monday, 21), at(Monday, 22));
        m_store->insertRule({"News", RuleType::All, "4 WXYZ"});
        QCOMPARE(checkForScheduled(*m_store, Monday, *m_queue, later(), m_clock, noteEnd()), 2);
        QTRY_COMPARE(m_opener->received().size(), 1);
        const QDateTime first = m_clock.currentInstant();

        m_clock.advanceSeconds(5);
        const SelectedProgramme film = selectInGuide(at(Monday, 21), "Film");
        recordThisShowing(*m_queue, later(), film, noteEnd());
        QTest::qWait(50);
        QCOMPARE(actionOf(film.programId), "-"); // not before it was taken
        m_clock.setInstant(first.addMSecs(14999));
        QTest::qWait(50);
        QCOMPARE(m_opener->received().size(), 1);
        m_clock.setInstant(first.addMSecs(15000));
        QTRY_COMPARE(m_opener->received().size(), 2);
        QCOMPARE(m_opener->received().at(1), handOffFile(film, HandOffKind::Recording));
        QTRY_COMPARE(actionOf(film.programId), "record");
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
        add("C4", "News", at(Monday, 20), at(Monday, 21));
        const SelectedProgramme s = selectInGuide(at(Monday, 20), "News");
        recordThisShowing(*m_queue, later(), s, noteEnd());
        watch(*m_queue, s, noteEnd());
        recordThisShowing(*m_queue, later(), s, noteEnd());
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
        const qint32 id = add("C4", "News", at(Monday, 20), at(Monday, 21));
        const qint32 other = add("C4", "News", at(Monday, 22), at(Monday, 23));
        if (opener == "missing")
            m_queue->setOpener({m_dir.filePath("no-xdg-open"), {}, 10000});
        else
            m_opener->answer(opener.toUtf8());
        const SelectedProgramme s = selectInGuide(at(Monday, 20), "News");
        AppState state;
        recordEveryShowing(*m_store, *m_queue, later(), state, s, noteEnd());
        drain();
        QCOMPARE(m_ends.size(), 1);
        QVERIFY2(m_ends[0].startsWith("not taken News: No application took the recording request " +
                                      told) &&
                     m_ends[0].contains("\"Associating a recorder\""),
                 qPrintable(m_ends[0]));
        // The rule stands; its pass leaves both showings for the next one.
        QCOMPARE(pass(Monday), 2);
        QCOMPARE(actionOf(id), "-");
        QCOMPARE(actionOf(other), "-");
        QCOMPARE(recordedRows(), 0);
        m_queue->setOpener(m_opener->command());
        m_opener->answer("0");
        QCOMPARE(pass(Monday), 2);
        QCOMPARE(actionOf(id), "all");
        QCOMPARE(recordedRows(), 2);
    }

    // An opener that waits for the application it started counts as taken after its timeout,
    // and the queue goes on.
    void slowOpenerCountsAsTaken()
    {
        const qint32 id = add("C4", "News", at(Monday, 20), at(Monday, 21));
        m_opener->answer("sleep");
        m_queue->setOpener(m_opener->command(300));
        QElapsedTimer timer;
        timer.start();
        recordThisShowing(*m_queue, later(), selectInGuide(at(Monday, 20), "News"), noteEnd());
        drain();
        QVERIFY(timer.elapsed() < 3000);
        QCOMPARE(m_ends, QStringList{"taken News"});
        QCOMPARE(actionOf(id), "record");
    }

    // The store that work done at a request's turn asks for cannot be opened then: the request
    // stays taken, its outcome carries the store's message, and nothing is marked or logged.
    void storeUnavailableWhenTaken()
    {
        const qint32 id = add("C4", "News", at(Monday, 20), at(Monday, 21));
        const StoreAccess failing = []() -> ListingsStore& {
            throw StoreError("xmltv97.db cannot be opened");
        };
        recordThisShowing(*m_queue, failing, selectInGuide(at(Monday, 20), "News"), noteEnd());
        drain();
        QCOMPARE(m_ends, QStringList{"taken News: xmltv97.db cannot be opened"});
        QCOMPARE(actionOf(id), "-");
        QCOMPARE(recordedRows(), 0);
    }

    void endedShowingsSkipped()
    {
        const qint32 ended = add("C4", "News", at(Monday, 19), at(Monday, 20));
        const qint32 running = add("C4", "News", at(Monday, 20), at(Monday, 21));
        const qint32 brief = add("C5", "News", at(Monday, 20, 15), at(Monday, 20, 45));
        const qint32 coming = add("C4", "News", at(Monday, 22), at(Monday, 23));
        m_store->insertRule({"News", RuleType::All, "4 WXYZ"});
        m_clock.setNow(at(Monday, 20, 30));
        QCOMPARE(checkForScheduled(*m_store, Monday, *m_queue, later(), m_clock, noteEnd()), 3);
        // The brief one ends while it waits behind the first request: dropped at its turn.
        QTRY_COMPARE(m_opener->received().size(), 1);
        m_clock.setNow(at(Monday, 20, 50));
        drain();
        QCOMPARE(actionOf(ended), "-");
        QCOMPARE(actionOf(running), "all");
        QCOMPARE(actionOf(brief), "-");
        QCOMPARE(actionOf(coming), "all");
        QCOMPARE(m_ends, (QStringList{"taken News", "dropped News", "taken News"}));
    }

    // The gap on the system clock, measured on the files the opener was given: each was written
    // only once the previous one had stood its time (a file time may lag by a clock tick).
    void pauseMeasured()
    {
        add("C4", "News", at(Tuesday, 20), at(Tuesday, 21));
        add("C4", "News", at(Tuesday, 22), at(Tuesday, 23));
        m_store->insertRule({"News", RuleType::All, "4 WXYZ"});
        SystemClock clock;
        HandOffQueue queue(clock, ProgramFolder(m_dir.path()));
        queue.setOpener(m_opener->command());
        queue.setGapMs(1500);
        // A system clock far from 2003: the showings lie in its future only on its own terms.
        FakeClock past(clock.zone(), at(Monday, 12));
        QCOMPARE(checkForScheduled(*m_store, Tuesday, queue, later(), past), 2);
        QTRY_VERIFY_WITH_TIMEOUT(queue.idle(), 10000);
        const QList<double> t = m_opener->writtenAt();
        QCOMPARE(t.size(), 2);
        const int gapMs = qRound((t[1] - t[0]) * 1000);
        QVERIFY2(gapMs >= 1490 && gapMs < 2000, qPrintable(QString::number(gapMs)));
    }
};

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
