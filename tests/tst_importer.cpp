// The XMLTV importer: files in temporary program folders, imported into a real store with a
// fixed New York clock.
#include "acquire/importer.h"
#include "store/timerules.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <pugixml.hpp>

#include <algorithm>
#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

using namespace zarvo;

namespace {

const QDate LastMonday(2003, 12, 8);
const QDate Monday(2003, 12, 15);
const QDate Sunday(2003, 12, 14);

QByteArray tv(const QByteArray& body, const QByteArray& encoding = "UTF-8")
{
    return "<?xml version=\"1.0\" encoding=\"" + encoding +
           "\"?>\n<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n<tv generator-info-name=\"test\">\n" + body +
           "</tv>\n";
}

QByteArray channel(const QByteArray& id, const QByteArray& name, const QByteArray& number)
{
    return "  <channel id=\"" + id + "\">\n    <display-name>" + name +
           "</display-name>\n    <display-name>" + name + " fcc</display-name>\n" +
           "    <display-name>" + number + "</display-name>\n  </channel>\n";
}

QByteArray programme(const QByteArray& start, const QByteArray& stop, const QByteArray& chan,
                     const QByteArray& title, const QByteArray& extra = {})
{
    return "  <programme start=\"" + start + "\" stop=\"" + stop + "\" channel=\"" + chan +
           "\">\n    <title lang=\"en\">" + title + "</title>\n" + extra + "  </programme>\n";
}

// A day of half-hour programmes on `channels` channels, titled after `tag`.
QByteArray dayFile(QDate day, int channels, int perChannel, const QByteArray& tag)
{
    const QByteArray zone = " -0500";
    QByteArray body;
    for (int c = 0; c < channels; ++c)
        body += channel("c" + QByteArray::number(c), tag + " TV " + QByteArray::number(c),
                        QByteArray::number(c + 2));
    const QDateTime midnight = wallClock(day, QTime(0, 0));
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < perChannel; ++i) {
            const QByteArray start =
                midnight.addSecs(i * 1800).toString("yyyyMMddHHmmss").toLatin1();
            const QByteArray stop =
                midnight.addSecs((i + 1) * 1800).toString("yyyyMMddHHmmss").toLatin1();
            body += programme(start + zone, stop + zone, "c" + QByteArray::number(c),
                              tag + " show " + QByteArray::number(i),
                              i % 3 ? QByteArray() : "    <previously-shown/>\n");
        }
    return tv(body);
}

QString fields(const ProgrammeRow& p)
{
    return QStringList{p.startdate.toString(Qt::ISODate),
                       p.starttime.toString("HH:mm:ss"),
                       p.enddate.toString(Qt::ISODate),
                       p.endtime.toString("HH:mm:ss"),
                       p.channel,
                       p.title,
                       p.subtitle,
                       p.description,
                       p.category,
                       p.rating,
                       QString::number(p.rerun)}
        .join('|');
}

QString fields(const ChannelRow& c)
{
    return QStringList{c.channelid, c.channelname, c.channelnum, c.icon}.join('|');
}

// Everything an import may touch, as text.
QStringList dump(ListingsStore& store)
{
    QStringList out;
    for (int n = 1; n <= 7; ++n) {
        out << QStringLiteral("dates.day%1=%2")
                   .arg(n)
                   .arg(store.storedDate(n).value_or(QDate()).toString(Qt::ISODate));
        const Snapshot<ProgrammeRow> day = store.dayProgrammes(n);
        for (const ProgrammeRow& p : day.rows())
            out << QStringLiteral("day%1|%2|%3|%4")
                       .arg(n)
                       .arg(p.programid)
                       .arg(fields(p), p.action.value_or("NULL"));
    }
    const Snapshot<ChannelRow> channels = store.channels();
    for (const ChannelRow& c : channels.rows())
        out << "channel|" + fields(c);
    return out;
}

struct Env
{
    QTemporaryDir dir;
    ProgramFolder folder{dir.path()};
    FakeClock clock{QTimeZone("America/New_York"), wallClock(Monday, QTime(3, 1))};
    AppState state;
    std::unique_ptr<ListingsStore> store;

    Env()
    {
        QDir(dir.path()).mkpath("xmltv");
        store = std::make_unique<ListingsStore>(folder.databaseFile());
        state.fetchPending = true;
    }
    void write(QDate day, const QByteArray& bytes) const
    {
        QFile f(QDir(folder.xmltvFolder()).filePath(dayFileName(day)));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    ImportResult import(QDate day, const ImportHooks& hooks = {})
    {
        return getListings(wallClock(day, QTime(20, 0)), *store, state, folder, clock, hooks);
    }
    // Writes and imports a file that must import.
    void seed(QDate day, const QByteArray& bytes)
    {
        write(day, bytes);
        QCOMPARE(import(day).status, ImportResult::Status::Imported);
    }
};

QByteArray readFixture(const QString& name)
{
    QFile f(QStringLiteral(ZARVO_TESTDATA "/importer/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return f.readAll();
}

} // namespace

class TestImporter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void programmeFields_data();
    void programmeFields();
    void channelFields_data();
    void channelFields();
    void encodings_data();
    void encodings();
    void zonedStampsOfARealFile();
    void mondayReplacesLastMonday();
    void recordedDate_data();
    void recordedDate();
    void unreadableStartsAreSkippedAndCounted();
    void missingFileRunsTheGrabber();
    void unreadableFileIsNotFetched();
    void notWellFormed_data();
    void notWellFormed();
    void fileCutAtManyOffsets();
    void emptyListingsKeepOldDay();
    void entitiesAreNotExpanded_data();
    void entitiesAreNotExpanded();
    void storeFailureRollsBack();
    void busyWhileAnotherImportRuns();
    void progressCountsUpAndFlagIsSet();
    void yieldsOnATimeBudget();
    void killedImportLeavesOldOrNewDay();
};

void TestImporter::programmeFields_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("unreadableStops");

    const QString a255(255, 'a');
    QTest::newRow("full") << programme("20031215203000", "20031215210000", "c1", "News",
                                       "<sub-title>Late</sub-title><desc>All of it.</desc>"
                                       "<category>Info</category><category>Other</category>"
                                       "<rating system=\"VCHIP\"><value>TV-PG</value></rating>")
                          << "2003-12-15|20:30:00|2003-12-15|21:00:00|c1|News|Late|All of it.|"
                             "Info|TV-PG|0"
                          << 0;
    QTest::newRow("no stop ends 23:59")
        << QByteArray("<programme start=\"20031215203000\" channel=\"c1\"><title>T</title>"
                      "</programme>")
        << "2003-12-15|20:30:00|2003-12-15|23:59:00|c1|T|||||0" << 0;
    QTest::newRow("attributes in any order")
        << QByteArray("<programme channel=\"c1\" stop=\"20031215210000\" start=\"20031215203000\">"
                      "<title>T</title></programme>")
        << "2003-12-15|20:30:00|2003-12-15|21:00:00|c1|T|||||0" << 0;
    QTest::newRow("empty previously-shown is a rerun")
        << programme("20031215203000", "20031215210000", "c1", "T", "<previously-shown/>")
        << "2003-12-15|20:30:00|2003-12-15|21:00:00|c1|T|||||1" << 0;
    QTest::newRow("apostrophes intact")
        << programme("20031215203000", "20031215210000", "c1", "Bob's Burgers",
                     "<desc>It's 'quoted'</desc><category>Kids' TV</category>")
        << "2003-12-15|20:30:00|2003-12-15|21:00:00|c1|Bob's Burgers||It's 'quoted'|Kids' TV||0"
        << 0;
    QTest::newRow("+0000 is New York time")
        << programme("20031216013000 +0000", "20031216023000 +0000", "c1", "T")
        << "2003-12-15|20:30:00|2003-12-15|21:30:00|c1|T|||||0" << 0;
    QTest::newRow("unreadable stop ends 23:59")
        << programme("20031215203000", "tomorrow", "c1", "T")
        << "2003-12-15|20:30:00|2003-12-15|23:59:00|c1|T|||||0" << 1;
    QTest::newRow("description cut to 255")
        << programme("20031215203000", "20031215210000", "c1", "T",
                     "<desc>" + QByteArray(300, 'a') + "</desc>")
        << "2003-12-15|20:30:00|2003-12-15|21:00:00|c1|T||" + a255 + "|||0" << 0;
    QTest::newRow("cut keeps surrogate pairs whole")
        << programme("20031215203000", "20031215210000", "c1", "T",
                     "<desc>" + QByteArray(254, 'a') + "\xF0\x9F\x98\x80z</desc>")
        << "2003-12-15|20:30:00|2003-12-15|21:00:00|c1|T||" + QString(254, 'a') + "|||0" << 0;
    QTest::newRow("text trimmed, nested, entities")
        << programme("20031215203000", "20031215210000", "c1", "  The <b>Big</b>\n  Show ",
                     "<desc>Tom &amp; Jerry &#233;<![CDATA[ <x> ]]></desc>")
        << "2003-12-15|20:30:00|2003-12-15|21:00:00|c1|The Big Show||Tom & Jerry \u00e9 <x>|||0"
        << 0;
}

void TestImporter::programmeFields()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, expected);
    QFETCH(int, unreadableStops);
    Env env;
    env.write(Monday, tv(channel("c1", "One", "1") + xml));
    const ImportResult r = env.import(Monday);
    QCOMPARE(r.status, ImportResult::Status::Imported);
    QCOMPARE(r.unreadableStops, unreadableStops);
    const auto rows = env.store->dayProgrammes(dayNumber(Monday)).rows();
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(fields(rows[0]), expected);
    QVERIFY(!rows[0].action);
}

void TestImporter::channelFields_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("expected");

    // Icon sources of 46, 47 and 48 characters as the third child's first attribute.
    const QByteArray src46 = "http://example.com/logos/abcdefghijklmno/z.png";
    const QByteArray src47 = "http://example.com/logos/abcdefghijklmnop/z.png";
    const QByteArray src48 = "http://example.com/logos/abcdefghijklmnopq/z.png";
    QCOMPARE(src46.size() + 1, src47.size());
    QCOMPARE(src47.size(), 47);
    QCOMPARE(src48.size(), 48);
    const auto third = [](const QByteArray& src) {
        return "<channel id=\"c1\"><display-name>A</display-name><display-name>5</display-name>"
               "<icon src=\"" +
               src + "\"/></channel>";
    };
    QTest::newRow("three names and an icon")
        << channel("c1", "KTVK", "3")
               .replace("</channel>", "<icon src=\"http://x/l/k.gif\"/></channel>")
        << "c1|KTVK|3|k.gif";
    QTest::newRow("icon source of 47: empty icon") << third(src47) << "c1|A||";
    QTest::newRow("icon source of 48: its last character") << third(src48) << "c1|A||g";
    QTest::newRow("icon source of 46: its file name") << third(src46) << "c1|A||z.png";
    QTest::newRow("short attribute falls back to the icon")
        << QByteArray("<channel id=\"c1\"><display-name>A</display-name><x/>"
                      "<display-name lang=\"en\">7</display-name>"
                      "<icon src=\"http://h/z/logo7.png\"/></channel>")
        << "c1|A|7|logo7.png";
    QTest::newRow("no icon anywhere")
        << QByteArray(
               "<channel id=\"c1\"><display-name>A</display-name><x/><display-name lang=\"en\">7"
               "</display-name></channel>")
        << "c1|A|7|empty.jpg";
    QTest::newRow("one child: empty number")
        << QByteArray("<channel id=\"c1\"><display-name>Nick Jr's</display-name></channel>")
        << "c1|Nick Jr's||empty.jpg";
    QTest::newRow("no id: first attribute")
        << QByteArray("<channel key=\"k9\"><display-name>A</display-name></channel>")
        << "k9|A||empty.jpg";
    QTest::newRow("id by name") << QByteArray("<channel x=\"1\" id=\"c9\"/>") << "c9|||empty.jpg";

    const QByteArray prefix47 = QByteArray(40, 'p') + "/logos/"; // what the rule cuts off
    const auto viaRule = [&](const QByteArray& rest) {
        return QByteArray("<channel id=\"c\"><a/><b/><icon src=\"") + prefix47 + rest +
               "\"/></channel>";
    };
    const auto viaIcon = [](const QByteArray& src) {
        return QByteArray("<channel id=\"c\"><a/><icon src=\"") + src + "\"/></channel>";
    };
    QTest::newRow("rule: parent directories") << viaRule("../../etc/passwd") << "c|||passwd";
    QTest::newRow("rule: backslashes") << viaRule("..\\..\\win.ini") << "c|||win.ini";
    QTest::newRow("rule: only dots") << viaRule("..") << "c|||empty.jpg";
    QTest::newRow("icon: absolute path") << viaIcon("/usr/share/logos/abc.png") << "c|||abc.png";
    QTest::newRow("icon: query and fragment")
        << viaIcon("http://h/l/n.png?w=1&amp;x=/y#f/g") << "c|||n.png";
    QTest::newRow("icon: windows path") << viaIcon("C:\\logos\\w.gif") << "c|||w.gif";
    QTest::newRow("icon: folder URL") << viaIcon("http://h/logos/") << "c|||empty.jpg";
    QTest::newRow("icon: control characters") << viaIcon("a&#1;b&#31;.png") << "c|||ab.png";
}

void TestImporter::channelFields()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, expected);
    Env env;
    env.write(Monday, tv(xml + programme("20031215203000", "20031215210000", "c1", "T")));
    QCOMPARE(env.import(Monday).status, ImportResult::Status::Imported);
    const auto rows = env.store->channels().rows();
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(fields(rows[0]), expected);
}

void TestImporter::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("title");

    const QByteArray p = "<programme start=\"20031215203000\" channel=\"c\"><title>";
    const QByteArray q = "</title></programme>";
    QTest::newRow("ISO-8859-1") << tv(p + "Caf\xE9" + q, "ISO-8859-1")
                                << QStringLiteral("Caf\u00e9");
    QTest::newRow("latin1 fixture") << readFixture("latin1-pound.xml") << QStringLiteral("\u00a3");
    QTest::newRow("windows-1252") << tv(p + "\x93Q\x94 \x80" + q, "windows-1252")
                                  << QStringLiteral("\u201cQ\u201d \u20ac");
    QTest::newRow("ISO-8859-15") << tv(p + "\xA4" + q, "iso-8859-15") << QStringLiteral("\u20ac");
    QTest::newRow("UTF-8") << tv(p + "Caf\xC3\xA9" + q) << QStringLiteral("Caf\u00e9");
    QTest::newRow("UTF-8 with BOM, Latin-1 label")
        << "\xEF\xBB\xBF" + tv(p + "Caf\xC3\xA9" + q, "ISO-8859-1") << QStringLiteral("Caf\u00e9");
    const QString wide = QString::fromUtf8(tv(p + "Caf\xC3\xA9 \xF0\x9F\x98\x80" + q, "UTF-16"));
    QStringEncoder toUtf16(QStringConverter::Utf16LE);
    const QByteArray utf16 = "\xFF\xFE" + QByteArray(toUtf16.encode(wide));
    QTest::newRow("UTF-16LE") << utf16 << QStringLiteral("Caf\u00e9 \U0001F600");
}

void TestImporter::encodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, title);
    Env env;
    env.write(Monday, bytes);
    QCOMPARE(env.import(Monday).status, ImportResult::Status::Imported);
    const auto rows = env.store->dayProgrammes(dayNumber(Monday)).rows();
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(rows[0].title, title);
}

void TestImporter::zonedStampsOfARealFile()
{
    // An Australian guide whose stamps are all in UTC ("+0000"), taken as Friday's file.
    Env env;
    const QDate friday(2023, 11, 24);
    env.write(friday, readFixture("utc-offsets.xml"));
    const ImportResult r = env.import(friday);
    QCOMPARE(r.status, ImportResult::Status::Imported);
    QCOMPARE(r.channels, 5);
    QCOMPARE(r.programmes, 244);
    QCOMPARE(r.recordedDate, friday);
    const auto rows = env.store->dayProgrammes(dayNumber(friday)).rows();
    QCOMPARE(rows.size(), std::size_t(244));
    const auto first = std::find_if(rows.begin(), rows.end(), [](const ProgrammeRow& p) {
        return p.title == "10 News First: Midday";
    });
    QVERIFY(first != rows.end());
    // 01:00 UTC on the 24th is 20:00 EST on the 23rd.
    QCOMPARE(fields(*first).section('|', 0, 4), "2023-11-23|20:00:00|2023-11-23|21:00:00|10 HD");
    QCOMPARE(first->category, "Premiere, CC, Live");
    const auto channels = env.store->channels().rows();
    QCOMPARE(channels.size(), std::size_t(5));
    for (const ChannelRow& c : channels) {
        QVERIFY2(c.icon.endsWith(".png") && !c.icon.contains('/'), qPrintable(c.icon));
        QCOMPARE(c.channelname, c.channelid);
    }
}

void TestImporter::mondayReplacesLastMonday()
{
    Env env;
    env.seed(LastMonday, dayFile(LastMonday, 3, 10, "Old"));
    env.seed(Sunday, dayFile(Sunday, 2, 4, "Sun"));
    const QStringList sundayBefore =
        dump(*env.store).filter(QRegularExpression("^day1|dates.day1"));
    env.state.fetchPending = true;

    env.write(Monday, dayFile(Monday, 4, 6, "New"));
    const ImportResult r = env.import(Monday);
    QCOMPARE(r.status, ImportResult::Status::Imported);
    QCOMPARE(r.channels, 4);
    QCOMPARE(r.programmes, 24);
    QCOMPARE(r.recordedDate, Monday);
    QVERIFY(!env.state.fetchPending);
    QVERIFY(!env.state.importInProgress);
    QVERIFY(r.message.isEmpty());

    const auto rows = env.store->dayProgrammes(2).rows();
    QCOMPARE(rows.size(), std::size_t(24));
    for (const ProgrammeRow& p : rows) {
        QVERIFY2(p.title.startsWith("New show "), qPrintable(p.title));
        QCOMPARE(p.startdate, Monday);
    }
    QCOMPARE(env.store->storedDate(2), Monday);
    QCOMPARE(dump(*env.store).filter(QRegularExpression("^day1|dates.day1")), sundayBefore);
    QCOMPARE(env.store->channels().size(), std::size_t(4));
}

void TestImporter::recordedDate_data()
{
    QTest::addColumn<QByteArray>("programmes");
    QTest::addColumn<QDate>("recorded");
    QTest::newRow("morning programme")
        << programme("20031215230000", "20031216000000", "c", "Late") +
               programme("20031215090000", "20031215100000", "c", "Morning")
        << Monday;
    QTest::newRow("evening only: the day itself")
        << programme("20031215180000", "20031215190000", "c", "Evening") << Monday;
    QTest::newRow("morning of another weekday: the day itself")
        << programme("20031214090000", "20031214100000", "c", "Sunday morning") << Monday;
    QTest::newRow("morning of the same weekday a week on")
        << programme("20031222090000", "20031222100000", "c", "Next week") << QDate(2003, 12, 22);
}

void TestImporter::recordedDate()
{
    QFETCH(QByteArray, programmes);
    QFETCH(QDate, recorded);
    Env env;
    env.write(Monday, tv(programmes));
    const ImportResult r = env.import(Monday);
    QCOMPARE(r.status, ImportResult::Status::Imported);
    QCOMPARE(r.recordedDate, recorded);
    QCOMPARE(env.store->storedDate(2), recorded);
}

void TestImporter::unreadableStartsAreSkippedAndCounted()
{
    Env env;
    env.write(Monday, tv(programme("20031215200000", "", "c", "Good") +
                         programme("2003121X200000", "", "c", "Letters") +
                         "<programme channel=\"c\"><title>No start</title></programme>" +
                         programme("20031315200000", "", "c", "Month 13") +
                         programme("20031215210000", "", "c", "Also good")));
    const ImportResult r = env.import(Monday);
    QCOMPARE(r.status, ImportResult::Status::Imported);
    QCOMPARE(r.skippedProgrammes, 3);
    QCOMPARE(r.programmes, 2);
    QStringList titles;
    const Snapshot<ProgrammeRow> rows = env.store->dayProgrammes(2);
    for (const ProgrammeRow& p : rows.rows())
        titles << p.title;
    titles.sort();
    QCOMPARE(titles, QStringList({"Also good", "Good"}));
}

void TestImporter::missingFileRunsTheGrabber()
{
    Env env;
    env.seed(LastMonday, dayFile(LastMonday, 2, 3, "Old"));
    env.state.fetchPending = true;
    const QStringList before = dump(*env.store);
    QList<QDateTime> fetched, started;
    ImportHooks hooks;
    hooks.fetchMissingDay = [&](const QDateTime& d) {
        QVERIFY(env.state.importInProgress);
        fetched << d;
    };
    hooks.started = [&](const QDateTime& d) { started << d; };
    const ImportResult r = env.import(Monday, hooks);
    QCOMPARE(r.status, ImportResult::Status::FetchRequested);
    QCOMPARE(fetched, QList<QDateTime>{wallClock(Monday, QTime(20, 0))});
    QCOMPARE(started, fetched);
    QVERIFY(r.file.endsWith("/xmltv/20031215.xml"));
    QCOMPARE(env.state.loadErrorText, "Program timed out.");
    QVERIFY(env.state.fetchPending);
    QVERIFY(!env.state.importInProgress);
    QCOMPARE(dump(*env.store), before);
}

void TestImporter::unreadableFileIsNotFetched()
{
    Env env;
    QVERIFY(QDir(env.folder.xmltvFolder()).mkdir(dayFileName(Monday)));
    int fetches = 0;
    ImportHooks hooks;
    hooks.fetchMissingDay = [&](const QDateTime&) { ++fetches; };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Error #: 101: Cannot read the file"));
    const ImportResult r = env.import(Monday, hooks);
    QCOMPARE(r.status, ImportResult::Status::NotWellFormed);
    QCOMPARE(fetches, 0);
    QCOMPARE(env.state.loadErrorText, "Program timed out.");
}

void TestImporter::notWellFormed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("line");

    const QByteArray good = tv(programme("20031215200000", "", "c", "T"));
    QTest::newRow("empty file") << QByteArray() << int(XmltvLoadError::NoRootElement) << 1;
    QTest::newRow("declaration only")
        << QByteArray("<?xml version=\"1.0\"?>\n") << int(XmltvLoadError::NoRootElement) << 2;
    QTest::newRow("another root") << QByteArray("<?xml version=\"1.0\"?>\n<html><tv/></html>")
                                  << int(XmltvLoadError::NotListings) << 2;
    QTest::newRow("two roots") << good + "<tv/>" << int(XmltvLoadError::ExtraTopLevelContent) << 8;
    QTest::newRow("text after root")
        << good + "junk" << int(XmltvLoadError::ExtraTopLevelContent) << 8;
    QTest::newRow("text before root")
        << "junk\n" + good << int(XmltvLoadError::ExtraTopLevelContent) << 1;
    QTest::newRow("gzip bytes")
        << QByteArray::fromHex("1f8b0800000000000203b3b1afc8cd51284b2d2acecccfb35532d43350b2b7e3b2"
                               "2929b3b32928ca4f2f4acccd4d55282e492c2ab155323230303634323405d240a0"
                               "a4909c919897979a63ab94ac646753925992936a1765a30f61d8e8c3b503d940e3"
                               "b8000f2c32dc6a000000")
        << int(XmltvLoadError::InvalidEncodedText) << 1;
    QTest::newRow("invalid UTF-8")
        << QByteArray(good).replace("<title lang=\"en\">T", "<title>\xFF")
        << int(XmltvLoadError::InvalidEncodedText) << 5;
    QTest::newRow("overlong UTF-8")
        << QByteArray(good).replace("<title lang=\"en\">T", "<title>\xC0\xAF")
        << int(XmltvLoadError::InvalidEncodedText) << 5;
    QTest::newRow("NUL after the root")
        << good + QByteArray("\0<x/>", 5) << int(XmltvLoadError::NulCharacter) << 8;
    QTest::newRow("unknown encoding")
        << tv("", "EBCDIC-US") << int(XmltvLoadError::UnsupportedEncoding) << 1;
    QTest::newRow("unclosed element") << QByteArray(good).replace("</programme>", "")
                                      << int(pugi::status_end_element_mismatch) << 7;
    QTest::newRow("bad attribute") << QByteArray(good).replace("channel=\"c\"", "channel=c")
                                   << int(pugi::status_bad_attribute) << 4;
}

void TestImporter::notWellFormed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, code);
    QFETCH(int, line);
    Env env;
    env.seed(Monday, dayFile(Monday, 2, 3, "Old"));
    env.state.fetchPending = true;
    const QStringList before = dump(*env.store);
    env.write(Monday, bytes);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Your XML Document failed to load due the following "
                                            "error\\.\nError #: "));
    const ImportResult r = env.import(Monday);
    QCOMPARE(r.status, ImportResult::Status::NotWellFormed);
    QCOMPARE(r.message, "Program timed out.");
    QCOMPARE(env.state.loadErrorText, "Program timed out.");
    QVERIFY2(r.report.contains(QStringLiteral("Error #: %1: ").arg(code)), qPrintable(r.report));
    QVERIFY2(r.report.contains(QStringLiteral("\nLine #: %1\n").arg(line)), qPrintable(r.report));
    QVERIFY(r.report.contains("\nDocument URL: file:///"));
    QVERIFY(r.report.contains("20031215.xml"));
    QVERIFY(env.state.fetchPending);
    QVERIFY(!env.state.importInProgress);
    QCOMPARE(dump(*env.store), before);
}

void TestImporter::fileCutAtManyOffsets()
{
    Env env;
    env.seed(Monday, dayFile(Monday, 2, 3, "Old"));
    const QStringList before = dump(*env.store);
    const QByteArray full =
        dayFile(Monday, 3, 4, "New").replace("New show 1", "Caf\xC3\xA9 \xE2\x82\xAC");
    const qsizetype end = full.lastIndexOf("</tv>") + 4; // the last byte that may not be lost
    int cuts = 0;
    for (qsizetype at = 0; at <= end; at += (at < 300 ? 1 : 7)) {
        env.write(Monday, full.left(at));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Your XML Document failed"));
        const ImportResult r = env.import(Monday);
        QVERIFY2(r.status == ImportResult::Status::NotWellFormed, qPrintable(QString::number(at)));
        ++cuts;
    }
    QVERIFY(cuts > 400);
    QCOMPARE(dump(*env.store), before);
    env.write(Monday, full);
    QCOMPARE(env.import(Monday).status, ImportResult::Status::Imported);
    QCOMPARE(env.store->dayProgrammes(2).size(), std::size_t(12));
}

void TestImporter::emptyListingsKeepOldDay()
{
    Env env;
    env.seed(Monday, dayFile(Monday, 2, 3, "Old"));
    env.state.fetchPending = true;
    const QStringList before = dump(*env.store);
    env.write(Monday, tv(channel("c1", "One", "1") +
                         "<programme channel=\"c1\"><title>No start</title></programme>"));
    const ImportResult r = env.import(Monday);
    QCOMPARE(r.status, ImportResult::Status::NoProgrammes);
    QCOMPARE(r.skippedProgrammes, 1);
    QCOMPARE(env.state.loadErrorText, "Program timed out.");
    QVERIFY(env.state.fetchPending);
    QCOMPARE(dump(*env.store), before);
}

void TestImporter::entitiesAreNotExpanded_data()
{
    QTest::addColumn<QByteArray>("doctype");
    QTest::addColumn<QByteArray>("title");

    QByteArray laughs = "<!DOCTYPE tv [\n<!ENTITY lol \"lol\">\n";
    laughs += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n";
    for (int i = 2; i <= 9; ++i) {
        laughs += "<!ENTITY lol" + QByteArray::number(i) + " \"";
        for (int k = 0; k < 10; ++k)
            laughs += "&lol" + QByteArray::number(i - 1) + ";";
        laughs += "\">\n";
    }
    laughs += "]>\n";
    QTest::newRow("billion laughs") << laughs << QByteArray("&lol9;");
    QTest::newRow("external entity")
        << QByteArray("<!DOCTYPE tv [<!ENTITY xxe SYSTEM \"file://SECRET\">]>\n")
        << QByteArray("&xxe;");
    QTest::newRow("external parameter entity")
        << QByteArray("<!DOCTYPE tv [<!ENTITY % ext SYSTEM \"file://SECRET\"> %ext;]>\n")
        << QByteArray("&leak;");
    QTest::newRow("external DTD") << QByteArray("<!DOCTYPE tv SYSTEM \"file://SECRET\">\n")
                                  << QByteArray("&leak;");
}

void TestImporter::entitiesAreNotExpanded()
{
    QFETCH(QByteArray, doctype);
    QFETCH(QByteArray, title);
    Env env;
    const QString secret = env.dir.filePath("secret.txt");
    {
        QFile f(secret);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("TOPSECRET <!ENTITY leak \"TOPSECRET\">");
    }
    env.write(Monday, "<?xml version=\"1.0\"?>\n" + doctype.replace("SECRET", secret.toUtf8()) +
                          "<tv><programme start=\"20031215200000\" channel=\"c\"><title>" + title +
                          "</title></programme></tv>\n");
    QElapsedTimer timer;
    timer.start();
    const ImportResult r = env.import(Monday);
    QVERIFY(timer.elapsed() < 2000);
    QCOMPARE(r.status, ImportResult::Status::Imported);
    const auto rows = env.store->dayProgrammes(2).rows();
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(rows[0].title, QString::fromUtf8(title));
    QVERIFY(!dump(*env.store).join('\n').contains("TOPSECRET"));
}

void TestImporter::storeFailureRollsBack()
{
    Env env;
    env.seed(Monday, dayFile(Monday, 2, 3, "Old"));
    env.state.fetchPending = true;
    // The fifth row of the new import fails, after the deletes and four inserts.
    env.store->database().exec("CREATE TRIGGER boom BEFORE INSERT ON day2 "
                               "WHEN (SELECT count(*) FROM day2) >= 4 "
                               "BEGIN SELECT RAISE(ABORT, 'disk on fire'); END");
    const QStringList before = dump(*env.store);
    env.write(Monday, dayFile(Monday, 3, 4, "New"));
    const ImportResult r = env.import(Monday);
    QCOMPARE(r.status, ImportResult::Status::Failed);
    QVERIFY2(r.message.contains("disk on fire"), qPrintable(r.message));
    QCOMPARE(env.state.loadErrorText, r.message);
    QVERIFY(env.state.fetchPending);
    QVERIFY(!env.state.importInProgress);
    QCOMPARE(dump(*env.store), before);

    env.store->database().exec("DROP TRIGGER boom");
    QCOMPARE(env.import(Monday).status, ImportResult::Status::Imported);
}

void TestImporter::busyWhileAnotherImportRuns()
{
    Env env;
    env.seed(LastMonday, dayFile(LastMonday, 2, 3, "Old"));
    env.state.fetchPending = true;
    env.write(Monday, dayFile(Monday, 2, 3, "New"));
    const QStringList before = dump(*env.store);

    int hooksCalled = 0;
    ImportHooks counting;
    counting.started = [&](const QDateTime&) { ++hooksCalled; };
    counting.fetchMissingDay = counting.started;
    env.state.importInProgress = true;
    const ImportResult busy = env.import(Monday, counting);
    QCOMPARE(busy.status, ImportResult::Status::Busy);
    QCOMPARE(hooksCalled, 0);
    QVERIFY(env.state.importInProgress); // the running import's flag is not taken away
    QCOMPARE(env.state.loadErrorText, "Error Loading Data");
    QVERIFY(env.state.fetchPending);
    QCOMPARE(dump(*env.store), before);

    // Re-entered from the running import's own callbacks, as an event handler would.
    env.state.importInProgress = false;
    QList<ImportResult::Status> inner;
    ImportHooks reentering;
    reentering.progress = [&](int count) {
        if (count == 2)
            inner << env.import(Sunday).status << env.import(Monday).status;
    };
    QCOMPARE(env.import(Monday, reentering).status, ImportResult::Status::Imported);
    QCOMPARE(inner, QList({ImportResult::Status::Busy, ImportResult::Status::Busy}));
    QCOMPARE(env.store->dayProgrammes(2).size(), std::size_t(6));
}

void TestImporter::progressCountsUpAndFlagIsSet()
{
    Env env;
    env.write(Monday, dayFile(Monday, 3, 5, "New"));
    QList<int> counts;
    bool flagSeen = true;
    ImportHooks hooks;
    hooks.progress = [&](int count) {
        counts << count;
        flagSeen = flagSeen && env.state.importInProgress;
    };
    const ImportResult r = env.import(Monday, hooks);
    QCOMPARE(r.status, ImportResult::Status::Imported);
    QCOMPARE(counts.size(), 15);
    for (int i = 0; i < counts.size(); ++i)
        QCOMPARE(counts[i], i + 1);
    QVERIFY(flagSeen);
    QVERIFY(!env.state.importInProgress);
    QCOMPARE(programsFoundText(1), "1 programs found.");
    QCOMPARE(programsFoundText(15), "15 programs found.");
}

void TestImporter::yieldsOnATimeBudget()
{
    Env env;
    env.write(Monday, dayFile(Monday, 2, 512, "New"));
    int yields = 0;
    ImportHooks hooks;
    hooks.yield = [&] {
        QVERIFY(env.state.importInProgress);
        ++yields;
    };
    // Make every 256th stored row slow, so that each check of the budget finds it spent.
    hooks.progress = [](int count) {
        if (count % 256 == 128)
            QThread::msleep(35);
    };
    QCOMPARE(env.import(Monday, hooks).status, ImportResult::Status::Imported);
    const int ticks = 2 * (2 + 1024); // read and store every channel and programme
    QVERIFY2(yields >= 3 && yields <= ticks / 256, qPrintable(QString::number(yields)));
}

void TestImporter::killedImportLeavesOldOrNewDay()
{
    // A large Monday replaces last Monday while the importing process is killed (SIGKILL) at
    // random moments; the database must come back whole with one Monday or the other.
    QTemporaryDir dir;
    const ProgramFolder folder(dir.path());
    QDir(dir.path()).mkpath("xmltv");
    const QString db = folder.databaseFile();
    const QString pristine = dir.filePath("pristine.db");
    FakeClock clock(QTimeZone("America/New_York"), wallClock(Monday, QTime(3, 1)));
    const auto writeDay = [&](QDate day, const QByteArray& bytes) {
        QFile f(QDir(folder.xmltvFolder()).filePath(dayFileName(day)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    writeDay(LastMonday, dayFile(LastMonday, 300, 48, "Old"));
    writeDay(Monday, dayFile(Monday, 300, 48, "New"));
    QStringList oldDump;
    {
        ListingsStore store(db);
        AppState state;
        QCOMPARE(
            getListings(wallClock(LastMonday, QTime(20, 0)), store, state, folder, clock).status,
            ImportResult::Status::Imported);
        oldDump = dump(store);
    }
    QVERIFY(QFile::copy(db, pristine));
    const auto reset = [&] {
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(db + suffix);
        QVERIFY(QFile::copy(pristine, db));
        QFile(db).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    };
    // Runs the new import in a child process; killAtCount > 0 makes the child kill itself
    // once that many programmes are stored; returns the child's pid.
    const auto startChild = [&](int killAtCount) {
        const pid_t pid = fork();
        if (pid == 0) {
            int code = 3;
            try {
                ListingsStore store(db);
                AppState state;
                ImportHooks hooks;
                hooks.progress = [killAtCount](int count) {
                    if (count == killAtCount)
                        ::raise(SIGKILL);
                };
                code =
                    getListings(wallClock(Monday, QTime(20, 0)), store, state, folder, clock, hooks)
                                .status == ImportResult::Status::Imported
                        ? 0
                        : 3;
            } catch (...) {
                code = 4;
            }
            ::_exit(code);
        }
        return pid;
    };
    QStringList newDump;
    // "old", "new", or what is wrong with the database after a child has gone.
    const auto check = [&]() -> QString {
        {
            Database raw(db, Database::Mode::OpenExisting);
            Statement s = raw.prepare("PRAGMA integrity_check");
            if (!s.step() || s.text(0) != "ok")
                return QStringLiteral("integrity check failed: %1").arg(s.text(0));
        }
        ListingsStore store(db);
        const QStringList now = dump(store);
        if (now == oldDump)
            return QStringLiteral("old");
        if (now == newDump)
            return QStringLiteral("new");
        return QStringLiteral("mixed state: %1 rows").arg(now.size());
    };

    reset();
    QElapsedTimer timer;
    timer.start();
    pid_t pid = startChild(0);
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    const qint64 duration = timer.elapsed();
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    {
        ListingsStore store(db);
        newDump = dump(store);
        QCOMPARE(newDump.filter("|New show ").size(), 14400);
        QCOMPARE(newDump.filter("channel|").size(), 300);
        QCOMPARE(store.storedDate(2), Monday);
    }
    QCOMPARE(check(), "new");

    QRandomGenerator random(QRandomGenerator::global()->generate());
    // Killed in the middle of storing: the transaction is open, so the old day must remain.
    for (int i = 0; i < 8; ++i) {
        reset();
        const int at = 1 + int(random.bounded(14400));
        pid = startChild(at);
        QCOMPARE(waitpid(pid, &status, 0), pid);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(check(), "old");
    }
    // Killed at any moment, the commit included.
    QMap<QString, int> seen;
    for (int i = 0; i < 20; ++i) {
        reset();
        const auto delayUs = random.bounded(quint64(duration) * 1100);
        pid = startChild(0);
        QThread::usleep(delayUs);
        ::kill(pid, SIGKILL);
        QCOMPARE(waitpid(pid, &status, 0), pid);
        const QString outcome = check();
        QVERIFY2(outcome == "old" || outcome == "new", qPrintable(outcome));
        ++seen[outcome];
    }
    qInfo("import took %lld ms; random kills left old %d, new %d times", duration,
          seen.value("old"), seen.value("new"));
}

QTEST_GUILESS_MAIN(TestImporter)
#include "tst_importer.moc"
