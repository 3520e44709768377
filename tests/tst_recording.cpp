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

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(zarvo::GridCell)

namespace {

const QDate Monday(2003, 12, 15);
const QDate SummerMonday(2003, 7, 14);

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
              const QDateTime& end)
{
    GridCell c;
    c.title = title;
    c.channelName = channelName;
    c.startDate = start.date();
    c.startTime = start.time();
    c.endDate = end.date();
    c.endTime = end.time();
    c.programId = 7;
    return c;
}

// Makes writes fail part way: a file size limit binds root too, unlike permissions.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        m_ok = getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        rlimit low = m_saved;
        low.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &low) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

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
        if (!clock)
            clock = &m_clock;
        return HandOff{ProgramFolder(m_dir.path()), [this, clock](const QString& path) {
                           m_opened << path;
                           m_openedBytes << readFile(path);
                           m_openedAt << clock->currentInstant();
                       }};
    }

    // Channels C4 "4 WXYZ" and C5 "5 KABC"; XMLTV ids that differ from the names on purpose.
    void addChannels()
    {
        m_store->insertChannel({"C4", "4 WXYZ", "4", "wxyz.png"});
        m_store->insertChannel({"C5", "5 KABC", "5", "kabc.png"});
    }

    qint32 add(const QString& channel, const QString& title, const QDateTime& start,
               const QDateTime& end, bool rerun = false)
    {
        ProgrammeRow row;
        row.channel = channel;
        row.title = title;
        row.description = QStringLiteral("About ") + title;
        row.rating = QStringLiteral("TV-14");
        row.startdate = start.date();
        row.starttime = start.time();
        row.enddate = end.date();
        row.endtime = end.time();
        row.rerun = rerun;
        return m_store->insertProgramme(dayNumber(start.date()), row);
    }

    std::optional<QString> actionOf(QDate day, qint32 id)
    {
        const auto row = m_store->programme(dayNumber(day), id);
        return row ? row->action : std::optional<QString>(QStringLiteral("<gone>"));
    }

    // The cell the guide shows for the programme starting at `start` on the first channel page.
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
            m_dir.filePath(QStringLiteral("xmltv%1.db").arg(++m_databases)));
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
        QTest::addColumn<QStringList>("expected");

        const QString ny = "America/New_York", berlin = "Europe/Berlin";
        QTest::newRow("New York winter, 8-9 PM")
            << ny << 0 << "4 WXYZ" << at(Monday, 20) << at(Monday, 21)
            << QStringList{"WXYZ", "4", "20031216", "01:00", "20031216", "02:00", "01:00"};
        QTest::newRow("winter, adjustDST 1 changes nothing")
            << ny << 1 << "4 WXYZ" << at(Monday, 20) << at(Monday, 21)
            << QStringList{"WXYZ", "4", "20031216", "01:00", "20031216", "02:00", "01:00"};
        QTest::newRow("New York summer, adjustDST 1")
            << ny << 1 << "4 WXYZ" << at(SummerMonday, 20) << at(SummerMonday, 21)
            << QStringList{"WXYZ", "4", "20030715", "00:00", "20030715", "01:00", "01:00"};
        QTest::newRow("New York summer, adjustDST 0")
            << ny << 0 << "4 WXYZ" << at(SummerMonday, 20) << at(SummerMonday, 21)
            << QStringList{"WXYZ", "4", "20030715", "01:00", "20030715", "02:00", "01:00"};
        QTest::newRow("Berlin summer, adjustDST 1")
            << berlin << 1 << "4 WXYZ" << at(SummerMonday, 20) << at(SummerMonday, 21)
            << QStringList{"WXYZ", "4", "20030714", "18:00", "20030714", "19:00", "01:00"};
        QTest::newRow("23:30 to 00:30 local")
            << berlin << 0 << "4 WXYZ" << at(Monday, 23, 30) << at(Monday.addDays(1), 0, 30)
            << QStringList{"WXYZ", "4", "20031215", "22:30", "20031215", "23:30", "01:00"};
        QTest::newRow("across midnight UTC")
            << ny << 0 << "4 WXYZ" << at(Monday, 18, 30) << at(Monday, 19, 30)
            << QStringList{"WXYZ", "4", "20031215", "23:30", "20031216", "00:30", "01:00"};
        QTest::newRow("fall-back night, true duration")
            << ny << 1 << "4 WXYZ" << at(QDate(2003, 10, 26), 0, 30)
            << at(QDate(2003, 10, 26), 2, 30)
            << QStringList{"WXYZ", "4", "20031026", "04:30", "20031026", "07:30", "03:00"};
        QTest::newRow("longer than a day")
            << ny << 0 << "4 WXYZ" << at(Monday, 20) << at(Monday.addDays(1), 22, 30)
            << QStringList{"WXYZ", "4", "20031216", "01:00", "20031217", "03:30", "26:30"};
        QTest::newRow("end before start")
            << ny << 0 << "4 WXYZ" << at(Monday, 21) << at(Monday, 20)
            << QStringList{"WXYZ", "4", "20031216", "02:00", "20031216", "01:00", "00:00"};
        QTest::newRow("name without a blank")
            << ny << 0 << "WXYZ" << at(Monday, 20) << at(Monday, 21)
            << QStringList{"WXYZ", "", "20031216", "01:00", "20031216", "02:00", "01:00"};
        QTest::newRow("station of two words")
            << ny << 0 << "5 ABC Family" << at(Monday, 20) << at(Monday, 21)
            << QStringList{"ABC Family", "5", "20031216", "01:00", "20031216", "02:00", "01:00"};
    }

    void selection()
    {
        QFETCH(QString, zone);
        QFETCH(int, adjustDST);
        QFETCH(QString, channelName);
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(QStringList, expected);

        const FakeClock clock(QTimeZone(zone.toUtf8()), at(Monday, 12));
        const SelectedProgramme s =
            fromGridCell(cell("Law & Order", channelName, start, end), adjustDST, clock);
        QCOMPARE((QStringList{s.progStation, s.progChannelNumber, s.progStartDate, s.progStartTime,
                              s.progEndDate, s.progEndTime, s.progDuration}),
                 expected);
        QCOMPARE(s.progTitle, QStringLiteral("Law and Order"));
        QCOMPARE(s.progMode, QStringLiteral("cable"));
        QCOMPARE(channelText(s), channelName);
    }

    void fileBytes_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<GridCell>("source");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("expected");

        GridCell law = cell("Law & Order", "4 WXYZ", at(Monday, 20), at(Monday, 21));
        law.description = "Cops < robbers & more";
        QTest::newRow("recording, & and < in the description")
            << "America/New_York" << law << int(HandOffKind::Recording)
            << QByteArray("<tv-program-info>\r<program>\r<station>WXYZ</station>\r"
                          "<tv-mode>cable</tv-mode>\r<program-title>Law and Order</program-title>\r"
                          "<program-description>Cops < robbers & more</program-description>\r"
                          "<start-date>20031216</start-date>\r<start-time>01:00</start-time>\r"
                          "<end-date>20031216</end-date>\r<end-time>02:00</end-time>\r"
                          "<duration>01:00</duration>\r<rf-channel>4</rf-channel>\r</program>\r"
                          "</tv-program-info>\r\n");

        GridCell grey =
            cell("Grey's Anatomy", "12 K\u00d6LN", at(Monday, 23, 30), at(Monday.addDays(1), 1));
        grey.description = "Zo\u00eb's day";
        QTest::newRow("viewing, apostrophes, UTF-8, across midnight")
            << "Europe/Berlin" << grey << int(HandOffKind::Viewing)
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

    void ruleHandOffEqualsGuideHandOff_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<int>("adjustDST");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("channelName");
        for (const char* zone : {"America/New_York", "Europe/Berlin"})
            for (int adjust : {0, 1})
                for (QDate date : {Monday, SummerMonday})
                    QTest::addRow("%s adjustDST %d %s", zone, adjust,
                                  qPrintable(date.toString(Qt::ISODate)))
                        << zone << adjust << date << "4 WXYZ";
        QTest::newRow("name without a blank") << "America/New_York" << 1 << SummerMonday << "WXYZ";
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
        QCOMPARE(result.handedOver.size(), std::size_t(1));
        SelectedProgramme byRule = result.handedOver.front();
        QCOMPARE(byRule.progFileName, QStringLiteral("Law and Order on ") + channelName);
        byRule.progFileName.clear();
        QCOMPARE(byRule, byGuide);
        QCOMPARE(m_openedBytes, QList<QByteArray>{handOffFile(byGuide, HandOffKind::Recording)});
    }

    void rulePasses_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("rule"); // title, type, channel
        QTest::addColumn<QString>("channel");  // the programme's
        QTest::addColumn<bool>("rerun");
        QTest::addColumn<std::optional<QString>>("mark");   // before the pass
        QTest::addColumn<std::optional<QString>>("action"); // after it
        const std::optional<QString> none;
        const std::optional<QString> blank = QStringLiteral(" ");
        const QStringList seasonNews{"News", "season", "4 WXYZ"};
        const QStringList allNews{"News", "all", "4 WXYZ"};

        QTest::newRow("season, first showing")
            << "News" << seasonNews << "C4" << false << none << std::optional<QString>("season");
        QTest::newRow("season skips a rerun")
            << "News" << seasonNews << "C4" << true << none << none;
        QTest::newRow("season, other channel")
            << "News" << seasonNews << "C5" << false << none << none;
        QTest::newRow("all takes a rerun")
            << "News" << allNews << "C4" << true << none << std::optional<QString>("all");
        QTest::newRow("all, any channel")
            << "News" << allNews << "C5" << false << none << std::optional<QString>("all");
        QTest::newRow("marked record")
            << "News" << allNews << "C4" << false << std::optional<QString>("record")
            << std::optional<QString>("record");
        QTest::newRow("do not record, season")
            << "News" << seasonNews << "C4" << false << blank << blank;
        QTest::newRow("do not record, all") << "News" << allNews << "C4" << true << blank << blank;
        QTest::newRow("title case differs")
            << "News" << QStringList{"news", "all", "4 WXYZ"} << "C4" << false << none << none;
        QTest::newRow("apostrophe")
            << "Grey's Anatomy" << QStringList{"Grey's Anatomy", "season", "4 WXYZ"} << "C4"
            << false << none << std::optional<QString>("season");
    }

    void rulePasses()
    {
        QFETCH(QString, title);
        QFETCH(QStringList, rule);
        QFETCH(QString, channel);
        QFETCH(bool, rerun);
        QFETCH(std::optional<QString>, mark);
        QFETCH(std::optional<QString>, action);

        addChannels();
        const qint32 id = add(channel, title, at(Monday, 20), at(Monday, 21), rerun);
        m_store->setAction(dayNumber(Monday), id, mark);
        m_store->insertRule({rule[0], rule[1], rule[2]});

        const ScheduleResult result = check(Monday);
        QCOMPARE(actionOf(Monday, id), action);
        const bool taken = action != mark;
        QCOMPARE(result.handedOver.size(), std::size_t(taken ? 1 : 0));
        QCOMPARE(m_opened.size(), taken ? 1 : 0);
        QCOMPARE(recorded().size(), taken ? 1 : 0);
        if (taken)
            QCOMPARE(recorded().front().at(5), title);

        // A second pass finds the programme marked and leaves it.
        QVERIFY(check(Monday).handedOver.empty());
    }

    void oneHandOverPerProgramme_data()
    {
        // The rule on 5 KABC, the rule on 4 WXYZ, the action the programme on 4 WXYZ gets.
        QTest::addColumn<QStringList>("types");
        QTest::newRow("all rules on two channels") << QStringList{"all", "all", "all"};
        QTest::newRow("season before all") << QStringList{"all", "season", "season"};
    }

    void oneHandOverPerProgramme()
    {
        QFETCH(QStringList, types);
        const QString firstType = types[0], secondType = types[1], action = types[2];
        addChannels();
        const qint32 id = add("C4", "News", at(Monday, 20), at(Monday, 21));
        m_store->insertRule({"News", firstType, "5 KABC"});
        m_store->insertRule({"News", secondType, "4 WXYZ"});

        QCOMPARE(check(Monday).handedOver.size(), std::size_t(1));
        QCOMPARE(actionOf(Monday, id), std::optional<QString>(action));
        QCOMPARE(m_opened.size(), 1);
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
        QCOMPARE(result.handedOver.size(), std::size_t(3));
        QCOMPARE(result.handedOver[0].progTitle, QStringLiteral("Film")); // season pass first
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
        const std::optional<GridCell> shown = guideCell(at(Monday, 22), "News");
        QVERIFY(shown);
        const SelectedProgramme second = fromGridCell(*shown, 0, m_clock);
        QTimer::singleShot(0, this, [&] { doNotRecord(*m_store, second); });

        const ScheduleResult result = checkForScheduled(*m_store, Monday, handOff(), m_clock, 0);
        QCOMPARE(result.handedOver.size(), std::size_t(1));
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(actionOf(Monday, later), std::optional<QString>(" "));
        QVERIFY(m_openedAt.first().secsTo(m_clock.currentInstant()) >= 15);
    }

    void logRecordingValues()
    {
        addChannels();
        const qint32 id = add("C4", "Grey's Anatomy", at(Monday, 20), at(Monday, 21));
        Statement update = m_store->database().prepare(
            "UPDATE day2 SET description = ?, category = ?, subtitle = ?");
        update.bind(1, QStringLiteral("It's <on> & on"))
            .bind(2, QStringLiteral("Kids' TV"))
            .bind(3, QStringLiteral("Pilot's end"))
            .run();
        const std::optional<GridCell> shown = guideCell(at(Monday, 20), "Grey's Anatomy");
        QVERIFY(shown);
        SelectedProgramme s = fromGridCell(*shown, 0, m_clock);

        QVERIFY(logRecording(*m_store, s, "record"));
        QCOMPARE(actionOf(Monday, id), std::optional<QString>("record"));
        QCOMPARE(s.progFileName, QStringLiteral("Grey's Anatomy on 4 WXYZ"));
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

    void addRuleTwice_data()
    {
        QTest::addColumn<QStringList>("steps"); // type and channel, in turn
        QTest::addColumn<QStringList>("rules"); // type and channel of each rule after
        QTest::newRow("same again")
            << QStringList{"all", "4 WXYZ", "all", "4 WXYZ"} << QStringList{"all", "4 WXYZ"};
        QTest::newRow("all, then season")
            << QStringList{"all", "4 WXYZ", "season", "4 WXYZ"} << QStringList{"season", "4 WXYZ"};
        QTest::newRow("season, then all")
            << QStringList{"season", "4 WXYZ", "all", "4 WXYZ"} << QStringList{"all", "4 WXYZ"};
        QTest::newRow("another channel") << QStringList{"all", "4 WXYZ", "all", "5 KABC"}
                                         << QStringList{"all", "4 WXYZ", "all", "5 KABC"};
    }

    void addRuleTwice()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, rules);
        for (int i = 0; i < steps.size(); i += 2)
            addRule(*m_store, "Grey's Anatomy", steps[i], steps[i + 1]);
        QStringList found;
        for (const RuleRow& rule : m_store->rules()) {
            QCOMPARE(rule.programtitle, QStringLiteral("Grey's Anatomy"));
            found << rule.recordtype << rule.recordchannel;
        }
        QCOMPARE(found, rules);
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
        QFETCH(QString, action);
        QFETCH(QStringList, rules);
        QFETCH(bool, reschedule);

        addChannels();
        const qint32 id = add("C4", "Grey's Anatomy", at(Monday, 20), at(Monday, 21));
        const qint32 next = add("C4", "Grey's Anatomy", at(Monday, 22), at(Monday, 23));
        // Already marked: the item overwrites the mark and still hands the file over.
        m_store->setAction(dayNumber(Monday), id, QStringLiteral(" "));
        SelectedProgramme s =
            fromGridCell(*guideCell(at(Monday, 20), "Grey's Anatomy"), 0, m_clock);

        AppState state;
        const HandOffResult r = item == 1   ? recordThisShowing(*m_store, handOff(), s)
                                : item == 2 ? recordEveryShowing(*m_store, handOff(), state, s)
                                            : recordSeries(*m_store, handOff(), s);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(m_opened, QStringList{m_dir.filePath("program.tvpi")});
        QCOMPARE(m_openedBytes.first(), handOffFile(s, HandOffKind::Recording));
        QCOMPARE(actionOf(Monday, id), std::optional<QString>(action));
        QCOMPARE(state.rescheduleRequested, reschedule);
        QStringList found;
        for (const RuleRow& rule : m_store->rules()) {
            QCOMPARE(rule.programtitle, QStringLiteral("Grey's Anatomy"));
            found << rule.recordtype << rule.recordchannel;
        }
        QCOMPARE(found, rules);

        // The stored rule finds the later showing, apostrophe and all.
        QCOMPARE(check(Monday).handedOver.size(), std::size_t(rules.isEmpty() ? 0 : 1));
        QCOMPARE(actionOf(Monday, next).has_value(), !rules.isEmpty());
    }

    void doNotRecordEverywhere()
    {
        addChannels();
        const qint32 id = add("C4", "News", at(Monday, 20), at(Monday, 21));
        const qint32 other = add("C5", "News", at(Monday, 22), at(Monday, 23));
        SelectedProgramme s = fromGridCell(*guideCell(at(Monday, 20), "News"), 0, m_clock);
        recordSeries(*m_store, handOff(), s);
        addRule(*m_store, "News", "all", "5 KABC");
        addRule(*m_store, "Weather", "all", "5 KABC");

        doNotRecord(*m_store, s);
        QCOMPARE(actionOf(Monday, id), std::optional<QString>(" "));
        QCOMPARE(m_store->rules(), (std::vector<RuleRow>{{"Weather", "all", "5 KABC"}}));
        QVERIFY(check(Monday).handedOver.empty());
        QCOMPARE(actionOf(Monday, other), std::nullopt);
    }

    void watchMinimises_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("adjustDST");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<bool>("minimise");
        QTest::newRow("started earlier today") << at(Monday, 18, 30) << 0 << at(Monday, 18) << true;
        QTest::newRow("starts this minute") << at(Monday, 18) << 0 << at(Monday, 18) << false;
        QTest::newRow("later today") << at(Monday, 18) << 0 << at(Monday, 18, 30) << false;
        QTest::newRow("tomorrow, earlier hour")
            << at(Monday, 18) << 0 << at(Monday.addDays(1), 17) << false;
        QTest::newRow("summer, adjustDST 1, started half an hour ago")
            << at(SummerMonday, 18, 30) << 1 << at(SummerMonday, 18) << true;
        QTest::newRow("summer, adjustDST 1, starts in half an hour")
            << at(SummerMonday, 18, 30) << 1 << at(SummerMonday, 19) << false;
    }

    void watchMinimises()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, adjustDST);
        QFETCH(QDateTime, start);
        QFETCH(bool, minimise);
        m_clock.setNow(now);
        const SelectedProgramme s =
            fromGridCell(cell("News", "4 WXYZ", start, start.addSecs(3600)), adjustDST, m_clock);
        const WatchResult r = watch(handOff(), s, m_clock, adjustDST);
        QVERIFY2(r.file.ok(), qPrintable(r.file.error));
        QCOMPARE(r.startedEarlierToday, minimise);
        QCOMPARE(m_opened, QStringList{m_dir.filePath("program.tvvi")});
        QCOMPARE(m_openedBytes.first(), handOffFile(s, HandOffKind::Viewing));
    }

    void unwritableFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder") << "missing"
                                        << "does not exist";
        QTest::newRow("file is a folder") << "blocked"
                                          << "it is a folder, not a file";
        QTest::newRow("write fails part way") << "full"
                                              << "";
    }

    void unwritableFolder()
    {
        QFETCH(QString, folder);
        QFETCH(QString, reason);
        QTemporaryDir base;
        QVERIFY(base.isValid());
        const QString path = base.filePath(folder);
        if (folder == "blocked")
            QVERIFY(QDir().mkpath(path + "/program.tvpi"));
        if (folder == "full") {
            QVERIFY(QDir().mkpath(path));
            QFile old(path + "/program.tvpi");
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        }
        const QStringList before = QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

        HandOff target = handOff();
        target.folder = ProgramFolder(path);
        const SelectedProgramme s =
            fromGridCell(cell("News", "4 WXYZ", at(Monday, 20), at(Monday, 21)), 0, m_clock);
        HandOffResult r;
        {
            std::optional<FileSizeLimit> limit;
            if (folder == "full")
                QVERIFY(limit.emplace(100).ok());
            r = writeRecordingFile(target, s);
        }
        QVERIFY(!r.ok());
        QVERIFY2(r.error.startsWith("Cannot write " + path + "/program.tvpi: "),
                 qPrintable(r.error));
        QVERIFY2(r.error.contains(reason), qPrintable(r.error));
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        if (folder == "full")
            QCOMPARE(readFile(path + "/program.tvpi"), QByteArray("old"));
    }
};

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
