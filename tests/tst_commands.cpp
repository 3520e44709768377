// The command-line companion, driven through runCli with a fixed clock.
#include "cli/commands.h"
#include "store/sqlite.h"
#include "support/standinopener.h"
#include "support/support.h"
#include "support/xmltv.h"

#include <QTest>

using namespace zarvo;
using namespace zarvo::test;

namespace {

const QDate Monday(2003, 12, 15);

Run cli(const QStringList& args, const QString& defaultHome = QString(),
        QDateTime now = at(Monday, 20), const QByteArray& zone = "America/New_York")
{
    QString out, err;
    QTextStream o(&out), e(&err);
    FakeClock clock(QTimeZone(zone), now);
    CliContext ctx{o, e, clock, defaultHome};
    const int code = runCli(args, ctx);
    return {code, out, err};
}

// A program folder whose xdg-open, first on PATH, is a stand-in that keeps what it is given.
std::unique_ptr<StandInOpener> standInXdgOpen(const QString& home)
{
    auto opener = std::make_unique<StandInOpener>(home + "/bin");
    QFile::link(opener->path(), home + "/bin/xdg-open");
    if (!qgetenv("PATH").startsWith((home + "/bin:").toUtf8()))
        qputenv("PATH", (home + "/bin:").toUtf8() + qgetenv("PATH"));
    return opener;
}

// The reports of files that do not load, counted as the command line prints them.
int g_reports = 0;
void countReports(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_reports += message.startsWith("Your XML Document failed to load");
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // present, programmes and grid only read: they create no database, and they answer while
    // another process holds the write lock of an import.
    void readingCommandsTakeNoWriteLock()
    {
        QTemporaryDir dir;
        const QStringList h{"--home", dir.path()};
        QCOMPARE(cli(h + QStringList{"present", "2003-12-15"}).code, 1);
        const Run noGrid = cli(h + QStringList{"grid", "2003-12-15 20:00"});
        QCOMPARE(noGrid.code, 1);
        QCOMPARE(noGrid.err, QString("the listings of 2003-12-15 are not stored\n"));
        QVERIFY(!QFile::exists(dir.filePath("xmltv97.db")));
        ListingsStore store(dir.filePath("xmltv97.db"));
        addChannels(store, {"5 KMQH"});
        add(store, programme("C5", at(Monday, 20), at(Monday, 21), "News"));
        store.setStoredDate(2, Monday);
        // An import under way in another program: it holds the write lock and has changed rows.
        Database importing(dir.filePath("xmltv97.db"), Database::Mode::OpenExisting);
        importing.exec("BEGIN IMMEDIATE; DELETE FROM channels");
        QCOMPARE(cli(h + QStringList{"present", "2003-12-15"}).code, 0);
        QCOMPARE(cli(h + QStringList{"present", "2003-12-22"}).code, 1);
        QCOMPARE(cli(h + QStringList{"programmes", "2003-12-15"}).code, 0);
        const Run grid = cli(h + QStringList{"grid", "2003-12-15 20:00"});
        QCOMPARE(grid.code, 0);
        QVERIFY2(grid.out.contains("News"), qPrintable(grid.out));
        // A week later the weekday's table still holds this Monday: not shown as that day.
        const Run later = cli(h + QStringList{"grid", "2003-12-22 20:00"});
        QCOMPARE(later.code, 1);
        QCOMPARE(later.err, QString("the listings of 2003-12-22 are not stored\n"));
        // Without --home the folder is the executable's.
        QCOMPARE(cli({"present", "2003-12-15"}, dir.path()).code, 0);
    }

    // Every import here follows one that stored the day: a failure must not pass for success.
    void failedImports_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("locked database") << "locked"
                                         << "database is locked";
        QTest::newRow("truncated file")
            << "truncated"
            << "Program timed out.\n20031215.xml cannot be used (line 5, position 65): Start-end "
               "tags mismatch. It was moved aside";
        QTest::newRow("another day's file")
            << "other day"
            << "Program timed out.\n20031215.xml holds the listings of 2003-12-16, not of "
               "2003-12-15. It was moved aside to 20031215.xml.rejected; the day will be fetched "
               "again.";
        QTest::newRow("no grabber output") << "no grabber"
                                           << "tv_grab_nowhere is not installed";
    }
    void failedImports()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(layOutProgramFolder(dir.path(), "tv_grab_nowhere"));
        const QString file = dir.filePath("xmltv/20031215.xml");
        const QByteArray good = "<?xml version=\"1.0\"?>\n<tv>\n<channel id=\"c\"><display-name>C"
                                "</display-name></channel>\n"
                                "<programme start=\"20031215200000\" channel=\"c\"><title>A</title>"
                                "</programme>\n<programme start=\"20031215210000\" channel=\"c\">"
                                "<title>B</title></programme>\n</tv>\n";
        QVERIFY(putFile(file, good));
        const QStringList import{"--home", dir.path(), "import", "2003-12-15 20:00"};
        const Run first = cli(import);
        QCOMPARE(first.code, 0);
        QCOMPARE(first.out, QString("1 channels, 2 programmes imported\n"));

        std::unique_ptr<Database> lock;
        if (fault == "locked") {
            lock = std::make_unique<Database>(dir.filePath("xmltv97.db"),
                                              Database::Mode::OpenExisting);
            lock->exec("BEGIN IMMEDIATE");
        } else if (fault == "truncated") {
            QVERIFY(putFile(file, good.left(good.size() - 12)));
        } else if (fault == "other day") {
            QVERIFY(putFile(file, QByteArray(good).replace("20031215", "20031216")));
        } else {
            QVERIFY(QFile::remove(file));
        }
        g_reports = 0;
        const QtMessageHandler previous = qInstallMessageHandler(countReports);
        const Run r = cli(import);
        qInstallMessageHandler(previous);
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(r.err.count("Program timed out."), fault == "locked" ? 0 : 1);
        QCOMPARE(g_reports, fault == "truncated" ? 1 : 0);
        // The old listings stay; a sound file stays where it is, a refused one is moved aside.
        lock.reset();
        QCOMPARE(cli({"--home", dir.path(), "present", "2003-12-15"}).code, 0);
        QCOMPARE(QFile::exists(file), fault == "locked");
        QCOMPARE(QFile::exists(file + ".rejected"), fault == "truncated" || fault == "other day");
    }

    // rule, rules, record and recordings on a hand-made Monday, with a stand-in
    // xdg-open that keeps what it is given and answers as told.
    void recordingCommands()
    {
        QTemporaryDir dir;
        const QString home = dir.path();
        const auto opener = standInXdgOpen(home);
        {
            ListingsStore store(home + "/xmltv97.db");
            addChannels(store, {"5 KMQH", "9 WXYZ"});
            for (auto [channel, hour, rerun] :
                 {std::tuple{"C5", 20, false}, {"C5", 22, true}, {"C9", 21, false}}) {
                ProgrammeRow p =
                    programme(channel, at(Monday, hour), at(Monday, hour + 1), "Grey's Anatomy");
                p.description = "A & B <c>", p.rerun = rerun;
                add(store, p);
            }
            store.setStoredDate(2, Monday);
        }
        const QStringList h{"--home", home};
        QCOMPARE(cli(h + QStringList{"rule", "add", "Grey's Anatomy", "season", "5 KMQH"}).code, 0);
        // The season rule takes the first showing on its channel only: not the rerun, not 9 WXYZ.
        const Run pass = cli(h + QStringList{"rules", "2003-12-15", "--pause", "0"});
        QCOMPARE(pass.code, 0);
        QCOMPARE(pass.out, QString("12/15/2003 8:00:00 PM Grey's Anatomy on 5 KMQH\n"));
        QCOMPARE(opener->received().size(), 1);
        QVERIFY(opener->received().front().contains(
            "<program-title>Grey's Anatomy</program-title>\r<program-description>A & B <c>"));

        // Nobody takes it: exit 1 with the message, nothing marked, nothing logged.
        opener->answer("3");
        const Run refused = cli(h + QStringList{"record", "2003-12-15", "3", "record"});
        QCOMPARE(refused.code, 1);
        QVERIFY2(
            refused.err.startsWith("No application took the recording request (xdg-open exited "
                                   "with 3)"),
            qPrintable(refused.err));
        // The log's line as it always was, then the marked programme not yet ended at 8 PM.
        QCOMPARE(cli(h + QStringList{"recordings"}).out,
                 QString("Grey's Anatomy\t5 KMQH\t12/15/2003 8:00:00 PM\tGrey's Anatomy on 5 KMQH\n"
                         "upcoming\tGrey's Anatomy\t5 KMQH\t12/15/2003 8:00:00 PM\tseason\n"));
        QCOMPARE(cli(h + QStringList{"recordings"}, {}, at(Monday, 21)).out.count("upcoming"), 0);
        opener->answer("0");
        const Run taken = cli(h + QStringList{"record", "2003-12-15", "3", "record"});
        QCOMPARE(taken.code, 0);
        QCOMPARE(taken.out, home + "/program.tvpi\n");
        QVERIFY(cli(h + QStringList{"recordings"}).out.startsWith("Grey's Anatomy\t9 WXYZ\t"));
    }

    // search: the guide's title search as JSON lines, in time order, read-only.
    void searchPrintsJsonLines()
    {
        QTemporaryDir dir;
        const QStringList h{"--home", dir.path(), "search"};
        QCOMPARE(cli(h + QStringList{"law"}).out, QString()); // no database yet: nothing found
        QCOMPARE(cli(h + QStringList{" "}).code, 2);
        {
            ListingsStore store(dir.filePath("xmltv97.db"));
            addChannels(store, {"5 KMQH", "9 WXYZ"});
            add(store, programme("C9", at(Monday, 21), at(Monday, 22), "Law & Order"));
            add(store, programme("C5", at(Monday, 20), at(Monday, 21), "LAW AND ORDER: SVU"));
            add(store, programme("C5", at(Monday, 22), at(Monday, 23), "News"));
            store.setStoredDate(2, Monday);
        }
        const Run r = cli(h + QStringList{"law and order"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out,
                 QString("{\"channel\":\"5 KMQH\",\"channelid\":\"C5\",\"day\":\"2003-12-15\","
                         "\"end\":\"2003-12-15 21:00\",\"programid\":2,\"start\":\"2003-12-15 "
                         "20:00\",\"title\":\"LAW AND ORDER: SVU\"}\n"
                         "{\"channel\":\"9 WXYZ\",\"channelid\":\"C9\",\"day\":\"2003-12-15\","
                         "\"end\":\"2003-12-15 22:00\",\"programid\":1,\"start\":\"2003-12-15 "
                         "21:00\",\"title\":\"Law & Order\"}\n"));
        // A week on, Monday's table is a past day: not searched.
        QCOMPARE(cli(h + QStringList{"law"}, {}, at(Monday.addDays(7), 8)).out, QString());
    }

    // Summer and winter in two zones, adjustDST 0 and 1, today the other season: the file
    // carries the true UTC of the programme's own moment.
    void handOffIsTrueUtc_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDate>("day");
        QTest::addColumn<int>("adjustDST");
        QTest::addColumn<QString>("utc"); // start date, start time, end date, end time
        const QDate summer(2003, 7, 14);
        for (int adjust : {0, 1})
            for (auto [name, zone, day, utc] :
                 {std::tuple{"New York summer", "America/New_York", summer,
                             "20030714|23:00|20030715|00:00"},
                  {"New York winter", "America/New_York", Monday, "20031216|00:00|20031216|01:00"},
                  {"Berlin summer", "Europe/Berlin", summer, "20030714|17:00|20030714|18:00"},
                  {"Berlin winter", "Europe/Berlin", Monday, "20031215|18:00|20031215|19:00"}})
                QTest::addRow("%s, %d", name, adjust) << QByteArray(zone) << day << adjust << utc;
    }
    void handOffIsTrueUtc()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDate, day);
        QFETCH(int, adjustDST);
        QFETCH(QString, utc);
        QTemporaryDir dir;
        const QString home = dir.path();
        const auto opener = standInXdgOpen(home);
        QVERIFY(putFile(home + "/config.txt", settingsText("tv_grab_demo", adjustDST)));
        {
            ListingsStore store(home + "/xmltv97.db");
            addChannels(store, {"4 WXYZ"});
            QCOMPARE(add(store, programme("C4", at(day, 19), at(day, 20), "Law & Order")), 1);
            store.setStoredDate(dayNumber(day), day);
        }
        const QDateTime now = at(day.month() == 7 ? QDate(2003, 1, 6) : QDate(2003, 7, 7), 12);
        const Run r = cli({"--home", home, "record", day.toString(Qt::ISODate), "1", "record"}, {},
                          now, zone);
        QCOMPARE(r.code, 0);
        const QStringList u = utc.split('|');
        QCOMPARE(opener->received().size(), 1);
        const QByteArray file = opener->received().front();
        QVERIFY2(file.contains(QString("<start-date>%1</start-date>\r<start-time>%2</start-time>\r"
                                       "<end-date>%3</end-date>\r<end-time>%4</end-time>\r"
                                       "<duration>01:00</duration>")
                                   .arg(u[0], u[1], u[2], u[3])
                                   .toUtf8()),
                 file.constData());
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
