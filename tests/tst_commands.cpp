// The command-line companion, driven through runCli with a fixed clock.
#include "app/commands.h"
#include "store/listingsstore.h"
#include "store/timerules.h"
#include "support/standinopener.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace zarvo;

namespace {

struct Run
{
    int code;
    QString out;
    QString err;
};

Run cli(const QStringList& args, const QString& defaultHome = QString(),
        QDateTime now = wallClock(QDate(2003, 12, 15), QTime(20, 0)),
        const Clock* running = nullptr, const QByteArray& zone = "America/New_York")
{
    QString out, err;
    QTextStream o(&out), e(&err);
    FakeClock clock(QTimeZone(zone), now);
    CliContext ctx{o, e, running ? *running : clock, defaultHome};
    const int code = runCli(args, ctx);
    return {code, out, err};
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The system clock set back to a fixed moment: time passes as it really does.
class ShiftedClock final : public Clock
{
public:
    ShiftedClock(const QByteArray& zone, const QDateTime& wallNow) : m_zone(zone)
    {
        const FakeClock at(m_zone, wallNow);
        m_offsetMs = QDateTime::currentDateTimeUtc().msecsTo(at.currentInstant());
    }
    QDateTime currentInstant() const override
    {
        return QDateTime::currentDateTimeUtc().addMSecs(m_offsetMs);
    }
    QTimeZone zone() const override { return m_zone; }

private:
    QTimeZone m_zone;
    qint64 m_offsetMs = 0;
};

// A program folder whose xdg-open, first on PATH, is a stand-in that keeps what it is given.
std::unique_ptr<StandInOpener> standInXdgOpen(const QString& home)
{
    auto opener = std::make_unique<StandInOpener>(home + "/bin");
    QFile::link(opener->path(), home + "/bin/xdg-open");
    if (!qgetenv("PATH").startsWith((home + "/bin:").toUtf8()))
        qputenv("PATH", (home + "/bin:").toUtf8() + qgetenv("PATH"));
    return opener;
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void settingsPrintsWhatStartUpReads_data();
    void settingsPrintsWhatStartUpReads();
    void readingCommandsTakeNoWriteLock();
    void presentRefusesForeignFile();
    void homeDefaultsToExecutableFolder();
    void badCommandLines_data();
    void badCommandLines();
    void importFetchesThenImportsThroughTheDispatcher();
    void importWithoutGrabberOutputFails();
    void failedImports_data();
    void failedImports();
    void fetchTakesTheWindowsMoment();
    void recordingCommands();
    void handOffIsTrueUtc_data();
    void handOffIsTrueUtc();
};

void TestCommands::settingsPrintsWhatStartUpReads_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: no config.txt
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expectedLine");
    QTest::addColumn<QString>("errContains");

    QTest::newRow("missing") << QByteArray() << 0 << "grabberName=tv_grab_na_dd"
                             << "first-run defaults";
    QTest::newRow("short file") << QByteArray("1\r\n\"/tmp/map\"\r\n0\r\n0\r\n") << 0 << "opacity=0"
                                << "4 of 8";
    QTest::newRow("full file")
        << QByteArray(
               "0\r\n\"m\"\r\n1\r\n3\r\n\"img\"\r\n\"9:00 PM\"\r\n80\r\n\"tv_grab_demo\"\r\n")
        << 0 << "primeTime=9:00 PM"
        << "";
    QTest::newRow("conversion error") << QByteArray("x\r\n") << 2 << ""
                                      << "writeChannelMap";
}

void TestCommands::settingsPrintsWhatStartUpReads()
{
    QFETCH(QByteArray, file);
    QFETCH(int, code);
    QFETCH(QString, expectedLine);
    QFETCH(QString, errContains);
    QTemporaryDir dir;
    if (!file.isEmpty())
        writeFile(dir.filePath("config.txt"), file);
    const Run r = cli({"--home", dir.path(), "settings"});
    QCOMPARE(r.code, code);
    if (!expectedLine.isEmpty())
        QVERIFY2(r.out.split('\n').contains(expectedLine), qPrintable(r.out));
    if (code == 0)
        QCOMPARE(r.out.count('\n'), 8);
    else
        QVERIFY(r.out.isEmpty());
    if (!errContains.isEmpty())
        QVERIFY2(r.err.contains(errContains), qPrintable(r.err));
    QVERIFY2(!QFile::exists(dir.filePath("config.txt")) == file.isEmpty(),
             "settings must never create config.txt");
}

// present, programmes and grid only read: they create no database, and they answer while
// another process holds the write lock of an import.
void TestCommands::readingCommandsTakeNoWriteLock()
{
    QTemporaryDir dir;
    QCOMPARE(cli({"--home", dir.path(), "present", "2003-12-15"}).code, 1);
    const Run noGrid = cli({"--home", dir.path(), "grid", "2003-12-15 20:00"});
    QCOMPARE(noGrid.code, 1);
    QCOMPARE(noGrid.err, QString("the listings of 2003-12-15 are not stored\n"));
    QVERIFY(!QFile::exists(dir.filePath("xmltv97.db")));
    ListingsStore store(dir.filePath("xmltv97.db"));
    store.insertChannel({"c5", "5 KMQH", "5", ""});
    store.insertProgramme(2, {0,
                              QDate(2003, 12, 15),
                              QTime(20, 0),
                              QDate(2003, 12, 15),
                              QTime(21, 0),
                              "c5",
                              "News",
                              {},
                              {},
                              {},
                              {},
                              false,
                              {}});
    store.setStoredDate(2, QDate(2003, 12, 15)); // a Monday
    Transaction importing(store.database());
    store.deleteChannels();
    QCOMPARE(cli({"--home", dir.path(), "present", "2003-12-15"}).code, 0);
    QCOMPARE(cli({"--home", dir.path(), "present", "2003-12-22"}).code, 1);
    QCOMPARE(cli({"--home", dir.path(), "programmes", "2003-12-15"}).code, 0);
    const Run grid = cli({"--home", dir.path(), "grid", "2003-12-15 20:00"});
    QCOMPARE(grid.code, 0);
    QVERIFY2(grid.out.contains("News"), qPrintable(grid.out));
    // A week later the weekday's table still holds this Monday: not shown as that day.
    const Run later = cli({"--home", dir.path(), "grid", "2003-12-22 20:00"});
    QCOMPARE(later.code, 1);
    QCOMPARE(later.err, QString("the listings of 2003-12-22 are not stored\n"));
}

void TestCommands::presentRefusesForeignFile()
{
    QTemporaryDir dir;
    const QByteArray junk("this is not a database, and it must stay as it is\n");
    writeFile(dir.filePath("xmltv97.db"), junk);
    const Run r = cli({"--home", dir.path(), "present", "2003-12-15"});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("not a Zarvo Guide listings database"), qPrintable(r.err));
    QFile f(dir.filePath("xmltv97.db"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), junk);
}

void TestCommands::homeDefaultsToExecutableFolder()
{
    QTemporaryDir dir;
    {
        ListingsStore store(dir.filePath("xmltv97.db"));
        store.setStoredDate(2, QDate(2003, 12, 15));
    }
    QCOMPARE(cli({"present", "2003-12-15"}, dir.path()).code, 0);
}

void TestCommands::badCommandLines_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << QStringList{} << "no command";
    QTest::newRow("home without folder") << QStringList{"--home"} << "--home needs a folder";
    QTest::newRow("unknown") << QStringList{"frobnicate"} << "unknown command: frobnicate";
    QTest::newRow("present without date") << QStringList{"present"} << "one date";
    QTest::newRow("present bad date") << QStringList{"present", "2003-02-30"} << "not a date";
    QTest::newRow("settings extra") << QStringList{"settings", "x"} << "no arguments";
    QTest::newRow("import bad moment") << QStringList{"import", "2003-12-15 24:00"} << "not a date";
}

void TestCommands::badCommandLines()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const Run r = cli(args, dir.path());
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY2(r.err.contains("usage:"), qPrintable(r.err));
    QVERIFY(!QFile::exists(dir.filePath("xmltv97.db")));
}

// A program folder laid out as the install does it: the dispatcher and the demo grabber in
// xmltv/, settings naming the demo grabber.
void layOutProgramFolder(const QString& home, const QByteArray& grabber)
{
    QVERIFY(QDir(home).mkpath("xmltv"));
    QVERIFY(QFile::copy(ZARVO_SOURCE_DIR "/tools/xmltv", home + "/xmltv/xmltv"));
    QVERIFY(QFile::copy(TV_GRAB_DEMO_BIN, home + "/xmltv/tv_grab_demo"));
    writeFile(home + "/config.txt",
              "0\r\n\"\"\r\n0\r\n1\r\n\"images\"\r\n\"8:00 PM\"\r\n100\r\n\"" + grabber + "\"\r\n");
}

void TestCommands::importFetchesThenImportsThroughTheDispatcher()
{
    QTemporaryDir dir;
    layOutProgramFolder(dir.path(), "tv_grab_demo");
    // The grabber's "today" is the machine's; import the machine's today so the offset is 0.
    const QDate today = QDate::currentDate();
    const QString day = today.toString(Qt::ISODate);
    const QDateTime now = wallClock(today, QTime(12, 0));

    const Run imported = cli({"--home", dir.path(), "import", day}, {}, now);
    QVERIFY2(imported.code == 0, qPrintable(imported.err));
    QVERIFY(imported.out.contains("40 channels"));
    QVERIFY(QFile::exists(dir.filePath("listings.sh")));
    QVERIFY(QFile::exists(dir.filePath("xmltv/" + today.toString("yyyyMMdd") + ".xml")));
    QCOMPARE(cli({"--home", dir.path(), "present", day}, {}, now).code, 0);

    const Run listed = cli({"--home", dir.path(), "programmes", day}, {}, now);
    QCOMPARE(listed.code, 0);
    const QStringList lines = listed.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY(lines.size() > 500);
    const QJsonObject first = QJsonDocument::fromJson(lines.first().toUtf8()).object();
    for (const char* column :
         {"programid", "startdate", "starttime", "enddate", "endtime", "channel", "title",
          "subtitle", "description", "category", "rating", "rerun", "action"})
        QVERIFY2(first.contains(column), column);
    QVERIFY(first.value("action").isNull());
    QCOMPARE(QDate::fromString(first.value("startdate").toString(), Qt::ISODate).isValid(), true);

    const Run grid = cli({"--home", dir.path(), "grid", day + " 20:00", "--page", "2"}, {}, now);
    QCOMPARE(grid.code, 0);
    const QJsonObject page = QJsonDocument::fromJson(grid.out.toUtf8()).object();
    QCOMPARE(page.value("header").toArray().at(1).toString(), QString("8:00:00 PM"));
    const QJsonArray rows = page.value("rows").toArray();
    QCOMPARE(rows.size(), 9);
    QCOMPARE(rows.at(0).toObject().value("channel").toString().section(' ', 0, 0), QString("11"));
}

void TestCommands::importWithoutGrabberOutputFails()
{
    QTemporaryDir dir;
    layOutProgramFolder(dir.path(), "tv_grab_nowhere");
    const Run r = cli({"--home", dir.path(), "import", "2003-12-15"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("Program timed out."), qPrintable(r.err));
    QVERIFY2(r.err.contains("tv_grab_nowhere"), qPrintable(r.err));
}

// The reports of files that do not load, counted as the command line prints them.
int g_reports = 0;
void countReports(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_reports += message.startsWith("Your XML Document failed to load");
}

// Every import here follows one that stored the day: a failure must not pass for success.
void TestCommands::failedImports_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("locked database") << "locked"
                                     << "database is locked";
    QTest::newRow("truncated file") << "truncated"
                                    << "Program timed out.\n20031215.xml cannot be used (line 5, "
                                       "position 65): Start-end tags mismatch. It was moved aside";
    QTest::newRow("another day's file")
        << "other day"
        << "Program timed out.\n20031215.xml holds the listings of 2003-12-16, not of "
           "2003-12-15. It was moved aside to 20031215.xml.rejected; the day will be fetched "
           "again.";
}

void TestCommands::failedImports()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("xmltv"));
    const QString file = dir.filePath("xmltv/20031215.xml");
    const QByteArray good = "<?xml version=\"1.0\"?>\n<tv>\n<channel id=\"c\"><display-name>C"
                            "</display-name></channel>\n"
                            "<programme start=\"20031215200000\" channel=\"c\"><title>A</title>"
                            "</programme>\n<programme start=\"20031215210000\" channel=\"c\">"
                            "<title>B</title></programme>\n</tv>\n";
    writeFile(file, good);
    const QStringList import{"--home", dir.path(), "import", "2003-12-15 20:00"};
    const Run first = cli(import);
    QCOMPARE(first.code, 0);
    QCOMPARE(first.out, QString("1 channels, 2 programmes imported\n"));

    std::unique_ptr<Database> lock;
    if (fault == "locked") {
        lock = std::make_unique<Database>(dir.filePath("xmltv97.db"), Database::Mode::OpenExisting);
        lock->exec("BEGIN IMMEDIATE");
    } else if (fault == "truncated") {
        writeFile(file, good.left(good.size() - 12));
    } else {
        writeFile(file, QByteArray(good).replace("20031215", "20031216"));
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
    QCOMPARE(QFile::exists(file + ".rejected"), fault != "locked");
}

// The guide passes its window's moment: the batch fetches that window's day.
void TestCommands::fetchTakesTheWindowsMoment()
{
    QTemporaryDir dir;
    layOutProgramFolder(dir.path(), "tv_grab_nowhere");
    const Run r = cli({"--home", dir.path(), "fetch", "2003-12-16 07:00"});
    QCOMPARE(r.code, 1);
    QFile batch(dir.filePath("listings.sh"));
    QVERIFY(batch.open(QIODevice::ReadOnly));
    const QByteArray text = batch.readAll();
    QVERIFY2(text.contains("--output unsorted20031216.xml --days 1 --offset 1"), text.constData());
}

// rule, rules, record, recordings and channel-map on a hand-made Monday, with a stand-in
// xdg-open that keeps what it is given and answers as told.
void TestCommands::recordingCommands()
{
    QTemporaryDir dir;
    const QString home = dir.path();
    const auto opener = standInXdgOpen(home);
    const QDate monday(2003, 12, 15);
    {
        ListingsStore store(home + "/xmltv97.db");
        store.insertChannel({"c5", "5 KMQH", "5", "k.png"});
        store.insertChannel({"c9", "9 WXYZ", "9", "w.png"});
        auto show = [&](const QString& channel, QTime start, bool rerun) {
            ProgrammeRow p;
            p.startdate = p.enddate = monday;
            p.starttime = start;
            p.endtime = start.addSecs(3600);
            p.channel = channel;
            p.title = "Grey's Anatomy";
            p.description = "A & B <c>";
            p.rerun = rerun;
            return store.insertProgramme(2, p);
        };
        show("c5", QTime(20, 0), false);
        show("c5", QTime(22, 0), true);
        show("c9", QTime(21, 0), false);
        store.setStoredDate(2, monday);
    }
    const QStringList h{"--home", home};
    QCOMPARE(cli(h + QStringList{"rule", "add", "Grey's Anatomy", "season", "5 KMQH"}).code, 0);
    QCOMPARE(cli(h + QStringList{"rules", "list"}).out,
             QString("Grey's Anatomy\tseason\t5 KMQH\n"));
    const Run pass = cli(h + QStringList{"rules", "2003-12-15", "--pause", "0"});
    QCOMPARE(pass.code, 0);
    // The season rule takes the first showing on its channel only: not the rerun, not 9 WXYZ.
    QCOMPARE(pass.out, QString("12/15/2003 8:00:00 PM Grey's Anatomy on 5 KMQH\n"));
    QCOMPARE(opener->received().size(), 1);
    const QByteArray file = opener->received().front();
    QVERIFY(file.contains("<program-title>Grey's Anatomy</program-title>\r"));
    QVERIFY(file.contains("<program-description>A & B <c></program-description>\r"));
    QVERIFY(file.endsWith("</tv-program-info>\r\n"));

    // Nobody takes it: exit 1 with the message, nothing marked, nothing logged.
    opener->answer("3");
    const Run refused = cli(h + QStringList{"record", "2003-12-15", "3", "record"});
    QCOMPARE(refused.code, 1);
    QVERIFY2(refused.err.startsWith("No application took the recording request (xdg-open exited "
                                    "with 3)"),
             qPrintable(refused.err));
    QVERIFY(
        !cli(h + QStringList{"programmes", "2003-12-15"}).out.contains("\"action\":\"record\""));
    QCOMPARE(cli(h + QStringList{"recordings"}).out,
             QString("Grey's Anatomy\t5 KMQH\t12/15/2003 8:00:00 PM\tGrey's Anatomy on 5 KMQH\n"));
    opener->answer("0");
    const Run taken = cli(h + QStringList{"record", "2003-12-15", "3", "record"});
    QCOMPARE(taken.code, 0);
    QCOMPARE(taken.out, home + "/program.tvpi\n");
    QVERIFY(cli(h + QStringList{"recordings"}).out.startsWith("Grey's Anatomy\t9 WXYZ\t"));
    QCOMPARE(cli(h + QStringList{"record", "2003-12-15", "3", "watch"}).code, 0);
    QCOMPARE(cli(h + QStringList{"record", "2003-12-15", "99", "record"}).code, 1);

    // --pause S: S seconds between hand-offs, on a clock that runs.
    QCOMPARE(cli(h + QStringList{"rule", "add", "Grey's Anatomy", "all", "5 KMQH"}).code, 0);
    opener->reset();
    const ShiftedClock running("America/New_York", wallClock(monday, QTime(18, 0)));
    const Run paused =
        cli(h + QStringList{"rules", "2003-12-15", "--pause", "2"}, {}, {}, &running);
    QCOMPARE(paused.out.count('\n'), 1); // the rerun; 9 WXYZ's showing was recorded above
    QCOMPARE(cli(h + QStringList{"rule", "delete", "Grey's Anatomy"}).out,
             QString("1 rules deleted\n"));
    QCOMPARE(cli(h + QStringList{"rule", "add", "Grey's Anatomy", "all", "9 WXYZ"}).code, 0);
    {
        ListingsStore store(home + "/xmltv97.db");
        store.setAction(2, 1, std::nullopt);
        store.setAction(2, 2, std::nullopt);
    }
    opener->reset();
    QCOMPARE(cli(h + QStringList{"rules", "2003-12-15", "--pause", "2"}, {}, {}, &running).code, 0);
    const QList<double> t = opener->writtenAt();
    QCOMPARE(t.size(), 2);
    QVERIFY2(t[1] - t[0] >= 1.99 && t[1] - t[0] < 2.5, qPrintable(QString::number(t[1] - t[0])));

    // Today (the fixed clock's 12/15/2003) is stored, but no channel map exists.
    const Run map = cli(h + QStringList{"channel-map"});
    QCOMPARE(map.code, 1);
    QVERIFY2(map.err.contains("does not exist"), qPrintable(map.err));
}

// Summer and winter in two zones, adjustDST 0 and 1: the file carries the true UTC.
void TestCommands::handOffIsTrueUtc_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<int>("adjustDST");
    QTest::addColumn<QString>("utc"); // start date, start time, end date, end time
    const QDate summer(2003, 7, 14), winter(2003, 12, 15);
    for (int adjust : {0, 1}) {
        QTest::addRow("New York summer, %d", adjust) << QByteArray("America/New_York") << summer
                                                     << adjust << "20030714|23:00|20030715|00:00";
        QTest::addRow("New York winter, %d", adjust) << QByteArray("America/New_York") << winter
                                                     << adjust << "20031216|00:00|20031216|01:00";
        QTest::addRow("Berlin summer, %d", adjust)
            << QByteArray("Europe/Berlin") << summer << adjust << "20030714|17:00|20030714|18:00";
        QTest::addRow("Berlin winter, %d", adjust)
            << QByteArray("Europe/Berlin") << winter << adjust << "20031215|18:00|20031215|19:00";
    }
}

void TestCommands::handOffIsTrueUtc()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDate, day);
    QFETCH(int, adjustDST);
    QFETCH(QString, utc);
    QTemporaryDir dir;
    const QString home = dir.path();
    const auto opener = standInXdgOpen(home);
    writeFile(home + "/config.txt", QString("0\r\n\"\"\r\n%1\r\n1\r\n\"images\"\r\n\"8:00 PM\"\r\n"
                                            "100\r\n\"tv_grab_demo\"\r\n")
                                        .arg(adjustDST)
                                        .toUtf8());
    {
        ListingsStore store(home + "/xmltv97.db");
        store.insertChannel({"c4", "4 WXYZ", "4", ""});
        ProgrammeRow p;
        p.startdate = p.enddate = day;
        p.starttime = QTime(19, 0);
        p.endtime = QTime(20, 0);
        p.channel = "c4";
        p.title = "Law & Order";
        p.description = "Cops";
        QCOMPARE(store.insertProgramme(dayNumber(day), p), 1);
        store.setStoredDate(dayNumber(day), day);
    }
    // Today is the other season: the programme's own moment decides.
    const QDateTime now =
        wallClock(day.month() == 7 ? QDate(2003, 1, 6) : QDate(2003, 7, 7), QTime(12, 0));
    const Run r = cli({"--home", home, "record", day.toString(Qt::ISODate), "1", "record"}, {}, now,
                      nullptr, zone);
    QCOMPARE(r.code, 0);
    const QStringList u = utc.split('|');
    QCOMPARE(opener->received(),
             QList<QByteArray>{QString("<tv-program-info>\r<program>\r<station>WXYZ</station>\r"
                                       "<tv-mode>cable</tv-mode>\r"
                                       "<program-title>Law and Order</program-title>\r"
                                       "<program-description>Cops</program-description>\r"
                                       "<start-date>%1</start-date>\r<start-time>%2</start-time>\r"
                                       "<end-date>%3</end-date>\r<end-time>%4</end-time>\r"
                                       "<duration>01:00</duration>\r<rf-channel>4</rf-channel>\r"
                                       "</program>\r</tv-program-info>\r\n")
                                   .arg(u[0], u[1], u[2], u[3])
                                   .toUtf8()});
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
