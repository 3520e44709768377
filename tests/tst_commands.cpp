// The command-line companion, driven through runCli with a fixed clock.
#include "app/commands.h"
#include "store/listingsstore.h"

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
        QDateTime now = wallClock(QDate(2003, 12, 15), QTime(20, 0)))
{
    QString out, err;
    QTextStream o(&out), e(&err);
    FakeClock clock(QTimeZone("America/New_York"), now);
    CliContext ctx{o, e, clock, defaultHome};
    const int code = runCli(args, ctx);
    return {code, out, err};
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
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

// rule, rules, record and channel-map on a hand-made Monday, with a stand-in xdg-open that
// notes what it was given.
void TestCommands::recordingCommands()
{
    QTemporaryDir dir;
    const QString home = dir.path();
    QVERIFY(QDir(home).mkpath("bin"));
    writeFile(home + "/bin/xdg-open", "#!/bin/sh\necho \"$1\" >>\"$(dirname \"$0\")/opened\"\n");
    QFile::setPermissions(home + "/bin/xdg-open", QFile::ReadOwner | QFile::ExeOwner);
    qputenv("PATH", (home + "/bin:").toUtf8() + qgetenv("PATH"));
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
    const Run pass = cli(h + QStringList{"rules", "2003-12-15", "--pause", "0"});
    QCOMPARE(pass.code, 0);
    // The season rule takes the first showing on its channel only: not the rerun, not 9 WXYZ.
    QCOMPARE(pass.out.count('\n'), 1);
    QVERIFY2(pass.out.contains("Grey's Anatomy on 5 KMQH"), qPrintable(pass.out));
    QFile tvpi(home + "/program.tvpi");
    QVERIFY(tvpi.open(QIODevice::ReadOnly));
    const QByteArray file = tvpi.readAll();
    QVERIFY(file.contains("<program-title>Grey's Anatomy</program-title>\r"));
    QVERIFY(file.contains("<program-description>A & B <c></program-description>\r"));
    QVERIFY(file.endsWith("</tv-program-info>\r\n"));

    const Run recorded = cli(h + QStringList{"record", "2003-12-15", "3", "watch"});
    QCOMPARE(recorded.code, 0);
    QVERIFY(QFile::exists(home + "/program.tvvi"));
    QCOMPARE(cli(h + QStringList{"record", "2003-12-15", "99", "record"}).code, 1);
    QCOMPARE(cli(h + QStringList{"rule", "delete", "Grey's Anatomy"}).out,
             QString("1 rules deleted\n"));
    // Today (the fixed clock's 12/15/2003) is stored, but no channel map exists.
    const Run map = cli(h + QStringList{"channel-map"});
    QCOMPARE(map.code, 1);
    QVERIFY2(map.err.contains("does not exist"), qPrintable(map.err));
    QTRY_VERIFY(QFile::exists(home + "/bin/opened"));
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
