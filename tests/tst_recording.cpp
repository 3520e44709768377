#include "filesizelimit.h"
#include "record/handoff.h"
#include "record/rules.h"
#include "record/selection.h"
#include "store/timerules.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace zarvo;

Q_DECLARE_METATYPE(zarvo::GridCell)

namespace {

const QDate Monday(2003, 12, 15), SummerMonday(2003, 7, 14);
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
    return c;
}

// An action as a text: "-" for none.
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
    std::unique_ptr<ListingsStore> m_store;
    int m_databases = 0;
    FakeClock m_clock{QTimeZone("America/New_York"), at(Monday, 18)};
    // What the opener was given, with the file's bytes and the clock at that moment.
    QStringList m_opened;
    QList<QByteArray> m_openedBytes;
    QList<QDateTime> m_openedAt;

    HandOff handOff(const Clock* clock = nullptr)
    {
        return HandOff{ProgramFolder(m_dir.path()), [this, clock](const QString& path) {
                           m_opened << path;
                           m_openedBytes << readFile(path);
                           m_openedAt << (clock ? clock : &m_clock)->currentInstant();
                       }};
    }

    // XMLTV ids differ from the names on purpose.
    void addChannels()
    {
        m_store->insertChannel({"C4", "4 WXYZ", "4", "wxyz.png"});
        m_store->insertChannel({"C5", "5 KABC", "5", "kabc.png"});
    }

    qint32 add(const QString& channel, const QString& title, const QDateTime& start,
               const QDateTime& end, bool rerun = false)
    {
        ProgrammeRow row;
        row.channel = channel, row.title = title, row.description = "About " + title;
        row.rating = "TV-14", row.rerun = rerun;
        row.startdate = start.date(), row.starttime = start.time();
        row.enddate = end.date(), row.endtime = end.time();
        return m_store->insertProgramme(dayNumber(start.date()), row);
    }

    QString actionOf(QDate day, qint32 id)
    {
        const auto row = m_store->programme(dayNumber(day), id);
        return row ? text(row->action) : "<gone>";
    }

    // The guide's selection of the programme starting at `start` on the first channel page.
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
        return fromGridCell(*shown, 0, m_clock);
    }

    // The `recorded` rows, each its sixteen values in column order.
    QList<QStringList> recorded()
    {
        Statement s = m_store->database().prepare(
            "SELECT startdate, starttime, enddate, endtime, channel, title, subtitle, description, "
            "category, rating, filename, realdate, realtime, station, mode, duration FROM recorded "
            "ORDER BY rowid");
        QList<QStringList> rows;
        while (s.step()) {
            rows.append(QStringList());
            for (int i = 0; i < 16; ++i)
                rows.last() << s.text(i);
        }
        return rows;
    }

    // Type and channel of each rule; "other title" stands for the type of another title's rule.
    QStringList rules(const QString& title)
    {
        QStringList found;
        for (const RuleRow& rule : m_store->rules())
            found << (rule.programtitle == title ? rule.recordtype : "other title")
                  << rule.recordchannel;
        return found;
    }

    ScheduleResult check(QDate day)
    {
        // One second a round: the hand-offs' times then show the pause exactly.
        return checkForScheduled(*m_store, day, handOff(), m_clock, 0,
                                 [this] { m_clock.advanceSeconds(1); });
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath("program.tvpi"));
        QFile::remove(m_dir.filePath("program.tvvi"));
        m_store = std::make_unique<ListingsStore>(
            m_dir.filePath(QString("xmltv%1.db").arg(++m_databases)));
        m_clock.setNow(at(Monday, 18));
        m_opened.clear();
        m_openedBytes.clear();
        m_openedAt.clear();
    }
    void cleanup() { m_store.reset(); }

    void selection_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<int>("adjustDST");
        QTest::addColumn<QString>("channelName");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        // station, number, start date, start time, end date, end time, duration
        QTest::addColumn<QString>("expected");
        const QDate sun(2003, 10, 26), tue = Monday.addDays(1);
        QTest::newRow("summer, adjustDST 1")
            << ny << 1 << "4 WXYZ" << at(SummerMonday, 20) << at(SummerMonday, 21)
            << "WXYZ|4|20030715|00:00|20030715|01:00|01:00";
        QTest::newRow("summer, adjustDST 0")
            << ny << 0 << "4 WXYZ" << at(SummerMonday, 20) << at(SummerMonday, 21)
            << "WXYZ|4|20030715|01:00|20030715|02:00|01:00";
        QTest::newRow("23:30 to 00:30 local")
            << berlin << 0 << "4 WXYZ" << at(Monday, 23, 30) << at(tue, 0, 30)
            << "WXYZ|4|20031215|22:30|20031215|23:30|01:00";
        QTest::newRow("fall-back night") << ny << 1 << "4 WXYZ" << at(sun, 0, 30) << at(sun, 2, 30)
                                         << "WXYZ|4|20031026|04:30|20031026|07:30|03:00";
        QTest::newRow("longer than a day")
            << ny << 0 << "4 WXYZ" << at(Monday, 20) << at(tue, 22, 30)
            << "WXYZ|4|20031216|01:00|20031217|03:30|26:30";
        QTest::newRow("end before start") << ny << 0 << "4 WXYZ" << at(Monday, 21) << at(Monday, 20)
                                          << "WXYZ|4|20031216|02:00|20031216|01:00|00:00";
        QTest::newRow("no blank") << ny << 0 << "WXYZ" << at(Monday, 20) << at(Monday, 21)
                                  << "WXYZ||20031216|01:00|20031216|02:00|01:00";
        QTest::newRow("station of two words")
            << ny << 0 << "5 ABC Family" << at(Monday, 20) << at(Monday, 21)
            << "ABC Family|5|20031216|01:00|20031216|02:00|01:00";
    }
    void selection()
    {
        QFETCH(QString, zone);
        QFETCH(QString, channelName);
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(int, adjustDST);
        const FakeClock clock(QTimeZone(zone.toUtf8()), at(Monday, 12));
        const SelectedProgramme s =
            fromGridCell(cell("Law & Order", channelName, start, end), adjustDST, clock);
        QTEST((QStringList{s.progStation, s.progChannelNumber, s.progStartDate, s.progStartTime,
                           s.progEndDate, s.progEndTime, s.progDuration})
                  .join('|'),
              "expected");
        QCOMPARE(s.progTitle, "Law and Order");
        QCOMPARE(s.progMode, "cable");
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
            << cell("Grey's Anatomy", "12 K\u00d6LN", at(Monday, 23, 30), at(Monday.addDays(1), 1),
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
        SelectedProgramme s = fromGridCell(source, 0, clock);
        QCOMPARE(handOffFile(s, HandOffKind(kind)), expected);
        // Logging first changes nothing in the file: no doubled apostrophes leak into it.
        addChannels();
        logRecording(*m_store, s, "record");
        const HandOffResult r = writeHandOffFile(handOff(), s, HandOffKind(kind));
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.path, QDir(m_dir.path()).absoluteFilePath(handOffFileName(HandOffKind(kind))));
        QCOMPARE(m_opened, QStringList{r.path});
        QCOMPARE(m_openedBytes.first(), expected);
    }

    // A rule's hand-off is the one the viewer would get choosing the programme in the guide.
    void ruleHandOffEqualsGuideHandOff_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<int>("adjustDST");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("channelName");
        for (const QString& zone : {ny, berlin})
            for (int adjust : {0, 1})
                for (QDate date : {Monday, SummerMonday})
                    QTest::addRow("%s %d %s", qPrintable(zone), adjust,
                                  qPrintable(date.toString(Qt::ISODate)))
                        << zone << adjust << date << "4 WXYZ";
        QTest::newRow("name without a blank") << ny << 1 << SummerMonday << "WXYZ";
    }
    void ruleHandOffEqualsGuideHandOff()
    {
        QFETCH(QString, zone);
        QFETCH(int, adjustDST);
        QFETCH(QDate, date);
        QFETCH(QString, channelName);
        FakeClock clock(QTimeZone(zone.toUtf8()), at(date, 12));
        m_store->insertChannel({"I4.wxyz.example.com", channelName, "4", "wxyz.png"});
        add("I4.wxyz.example.com", "Law & Order", at(date, 20), at(date, 21));
        m_store->insertRule({"Law & Order", "all", channelName});
        const std::optional<GridCell> shown = guideCell(at(date, 20), "Law & Order");
        QVERIFY(shown);
        const SelectedProgramme byGuide = fromGridCell(*shown, adjustDST, clock);
        const ScheduleResult result =
            checkForScheduled(*m_store, date, handOff(&clock), clock, adjustDST,
                              [&clock] { clock.advanceSeconds(5); });
        QCOMPARE(result.handedOver.size(), 1u);
        SelectedProgramme byRule = result.handedOver.front();
        QCOMPARE(byRule.progFileName, "Law and Order on " + channelName);
        byRule.progFileName.clear();
        QCOMPARE(byRule, byGuide);
        QCOMPARE(m_openedBytes, QList<QByteArray>{handOffFile(byGuide, HandOffKind::Recording)});
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
        QTest::newRow("do not record, season")
            << news << season << "C4" << false << QStringList{" ", " "};
        QTest::newRow("do not record, all") << news << all << "C4" << true << QStringList{" ", " "};
        QTest::newRow("title case differs") << news << QStringList{"news", "all", "4 WXYZ"} << "C4"
                                            << false << QStringList{"-", "-"};
        QTest::newRow("apostrophe")
            << "Grey's Anatomy" << QStringList{"Grey's Anatomy", "season", "4 WXYZ"} << "C4"
            << false << QStringList{"-", "season"};
        // A programme two rules match is handed over once, by the season pass when it can.
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
        const ScheduleResult result = check(Monday);
        QCOMPARE(actionOf(Monday, id), action[1]);
        const int taken = action[1] != action[0];
        QCOMPARE(int(result.handedOver.size()), taken);
        QCOMPARE(m_opened.size(), taken);
        QCOMPARE(recorded().size(), taken);
        if (taken)
            QCOMPARE(recorded().front().at(5), title);
        // A second pass finds the programme marked and leaves it.
        QVERIFY(check(Monday).handedOver.empty());
    }

    void matchesAreFifteenSecondsApart()
    {
        addChannels();
        add("C4", "News", at(Monday, 20), at(Monday, 21));
        add("C5", "News", at(Monday, 22), at(Monday, 23));
        add("C4", "Film", at(Monday, 21), at(Monday, 22));
        m_store->insertRule({"News", "all", "4 WXYZ"});
        m_store->insertRule({"Film", "season", "4 WXYZ"});
        const QDateTime begin = m_clock.currentInstant();
        const ScheduleResult result = check(Monday);
        QCOMPARE(result.handedOver.size(), 3u);
        QCOMPARE(result.handedOver[0].progTitle, "Film"); // season pass first
        QCOMPARE(m_openedAt.size(), 3);
        QCOMPARE(m_openedAt[0], begin);
        for (int i = 1; i < m_openedAt.size(); ++i)
            QVERIFY(m_openedAt[i - 1].secsTo(m_openedAt[i]) >= 15);
        // The last hand-off stands its fifteen seconds too.
        QVERIFY(m_openedAt.last().secsTo(m_clock.currentInstant()) >= 15);
    }

    void eventsRunDuringThePause()
    {
        addChannels();
        add("C4", "News", at(Monday, 20), at(Monday, 21));
        const qint32 later = add("C4", "News", at(Monday, 22), at(Monday, 23));
        m_store->insertRule({"News", "all", "4 WXYZ"});
        // The program's own pause: only the event loop moves this clock on, and only the event
        // loop lets the viewer say "do not record" for the second showing meanwhile.
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [this] { m_clock.advanceSeconds(1); });
        ticker.start(1);
        const SelectedProgramme second = selectInGuide(at(Monday, 22), "News");
        QTimer::singleShot(0, this, [&] { doNotRecord(*m_store, second); });
        const ScheduleResult result = checkForScheduled(*m_store, Monday, handOff(), m_clock, 0);
        QCOMPARE(result.handedOver.size(), 1u);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(actionOf(Monday, later), " ");
        QVERIFY(m_openedAt.first().secsTo(m_clock.currentInstant()) >= 15);
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
        QCOMPARE(actionOf(Monday, id), "record");
        QCOMPARE(s.progFileName, "Grey's Anatomy on 4 WXYZ");
        QCOMPARE(recorded(),
                 (QList<QStringList>{{"20031216", "01:00", "20031216", "02:00", "4",
                                      "Grey's Anatomy", "Pilot's end", "It's <on> & on", "Kids' TV",
                                      "TV-14", "Grey's Anatomy on 4 WXYZ", "12/15/2003",
                                      "8:00:00 PM", "WXYZ", "cable", "01:00"}}));
        // A programme that left its table is still logged, but nothing is marked.
        s.progId = 9999;
        QVERIFY(!logRecording(*m_store, s, "record"));
        QCOMPARE(recorded().size(), 2);
    }

    // One rule per title and channel: a second changes its type.
    void addRuleTwice_data()
    {
        QTest::addColumn<QStringList>("steps"); // type and channel, in turn
        QTest::addColumn<QStringList>("rules"); // type and channel of each rule after
        const QStringList all4{"all", "4 WXYZ"}, season4{"season", "4 WXYZ"};
        QTest::newRow("same again") << all4 + all4 << all4;
        QTest::newRow("all, then season") << all4 + season4 << season4;
        QTest::newRow("season, then all") << season4 + all4 << all4;
        QTest::newRow("another channel")
            << all4 + QStringList{"all", "5 KABC"} << all4 + QStringList{"all", "5 KABC"};
    }
    void addRuleTwice()
    {
        QFETCH(QStringList, steps);
        for (int i = 0; i < steps.size(); i += 2)
            addRule(*m_store, "Grey's Anatomy", steps[i], steps[i + 1]);
        QTEST(rules("Grey's Anatomy"), "rules");
    }

    void menuRecordItems_data()
    {
        QTest::addColumn<int>("item"); // 1 this showing, 2 every showing, 3 the series
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("rules");
        QTest::addColumn<bool>("reschedule");
        QTest::newRow("this showing") << 1 << "record" << QStringList{} << false;
        QTest::newRow("every showing") << 2 << "all" << QStringList{"all", "4 WXYZ"} << true;
        QTest::newRow("the series") << 3 << "season" << QStringList{"season", "4 WXYZ"} << false;
    }
    void menuRecordItems()
    {
        QFETCH(int, item);
        QFETCH(QStringList, rules);
        addChannels();
        const qint32 id = add("C4", "Grey's Anatomy", at(Monday, 20), at(Monday, 21));
        const qint32 next = add("C4", "Grey's Anatomy", at(Monday, 22), at(Monday, 23));
        // Already marked: the item overwrites the mark and still hands the file over.
        m_store->setAction(dayNumber(Monday), id, " ");
        SelectedProgramme s = selectInGuide(at(Monday, 20), "Grey's Anatomy");
        AppState state;
        const HandOffResult r = item == 1   ? recordThisShowing(*m_store, handOff(), s)
                                : item == 2 ? recordEveryShowing(*m_store, handOff(), state, s)
                                            : recordSeries(*m_store, handOff(), s);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(m_opened, QStringList{m_dir.filePath("program.tvpi")});
        QCOMPARE(m_openedBytes.first(), handOffFile(s, HandOffKind::Recording));
        QTEST(actionOf(Monday, id), "action");
        QTEST(state.rescheduleRequested, "reschedule");
        QCOMPARE(this->rules("Grey's Anatomy"), rules);
        // The stored rule finds the later showing, apostrophe and all.
        QCOMPARE(check(Monday).handedOver.size(), rules.isEmpty() ? 0u : 1u);
        QCOMPARE(actionOf(Monday, next) != "-", !rules.isEmpty());
    }

    void doNotRecordEverywhere()
    {
        addChannels();
        const qint32 id = add("C4", "News", at(Monday, 20), at(Monday, 21));
        const qint32 other = add("C5", "News", at(Monday, 22), at(Monday, 23));
        SelectedProgramme s = selectInGuide(at(Monday, 20), "News");
        recordSeries(*m_store, handOff(), s);
        addRule(*m_store, "News", "all", "5 KABC");
        addRule(*m_store, "Weather", "all", "5 KABC");
        doNotRecord(*m_store, s);
        QCOMPARE(actionOf(Monday, id), " ");
        QCOMPARE(rules("News"), (QStringList{"other title", "5 KABC"}));
        QVERIFY(check(Monday).handedOver.empty());
        QCOMPARE(actionOf(Monday, other), "-");
    }

    void watchMinimises_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("adjustDST");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<bool>("minimise");
        QTest::newRow("started earlier today") << at(Monday, 18, 30) << 0 << at(Monday, 18) << true;
        QTest::newRow("starts this minute") << at(Monday, 18) << 0 << at(Monday, 18) << false;
        QTest::newRow("tomorrow, earlier hour")
            << at(Monday, 18) << 0 << at(Monday.addDays(1), 17) << false;
        QTest::newRow("summer, adjustDST 1, started")
            << at(SummerMonday, 18, 30) << 1 << at(SummerMonday, 18) << true;
        QTest::newRow("summer, adjustDST 1, to come")
            << at(SummerMonday, 18, 30) << 1 << at(SummerMonday, 19) << false;
    }
    void watchMinimises()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, adjustDST);
        QFETCH(QDateTime, start);
        m_clock.setNow(now);
        const SelectedProgramme s =
            fromGridCell(cell("News", "4 WXYZ", start, start.addSecs(3600)), adjustDST, m_clock);
        const WatchResult r = watch(handOff(), s, m_clock, adjustDST);
        QVERIFY2(r.file.ok(), qPrintable(r.file.error));
        QTEST(r.startedEarlierToday, "minimise");
        QCOMPARE(m_opened, QStringList{m_dir.filePath("program.tvvi")});
        QCOMPARE(m_openedBytes.first(), handOffFile(s, HandOffKind::Viewing));
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
        HandOff target = handOff();
        target.folder = ProgramFolder(path);
        const SelectedProgramme s =
            fromGridCell(cell("News", "4 WXYZ", at(Monday, 20), at(Monday, 21)), 0, m_clock);
        HandOffResult r;
        {
            FileSizeLimit limit(folder == "full" ? 100 : RLIM_INFINITY);
            QVERIFY(limit.ok);
            r = writeRecordingFile(target, s);
        }
        QVERIFY(!r.ok());
        QVERIFY2(r.error.startsWith("Cannot write " + path + "/program.tvpi: ") &&
                     r.error.contains(reason),
                 qPrintable(r.error));
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        if (folder == "full")
            QCOMPARE(readFile(path + "/program.tvpi"), "old");
    }
};

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
