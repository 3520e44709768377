// The XMLTV importer: files in temporary program folders, imported into a real store with a
// fixed New York clock.
#include "acquire/coverage.h"
#include "acquire/importer.h"
#include "guide/gridjson.h"
#include "store/sqlite.h"
#include "store/timerules.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <pugixml.hpp>

#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zarvo;
using Status = ImportResult::Status;

namespace {

const QDate LastMonday(2003, 12, 8), Sunday(2003, 12, 14), Monday(2003, 12, 15);

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

// A day of half-hour programmes on `channels` channels, titled after `tag`; every third a rerun.
QByteArray dayFile(QDate day, int channels, int perChannel, const QByteArray& tag)
{
    QByteArray body;
    for (int c = 0; c < channels; ++c)
        body += channel("c" + QByteArray::number(c), tag + " TV " + QByteArray::number(c),
                        QByteArray::number(c + 2));
    const QDateTime midnight = wallClock(day, QTime(0, 0));
    const auto stamp = [&](int i) {
        return midnight.addSecs(i * 1800).toString("yyyyMMddHHmmss").toLatin1() + " -0500";
    };
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < perChannel; ++i)
            body += programme(stamp(i), stamp(i + 1), "c" + QByteArray::number(c),
                              tag + " show " + QByteArray::number(i),
                              i % 3 ? QByteArray() : "    <previously-shown/>\n");
    return tv(body);
}

QString fields(const ProgrammeRow& p)
{
    return (QStringList() << p.startdate.toString(Qt::ISODate) << p.starttime.toString("HH:mm:ss")
                          << p.enddate.toString(Qt::ISODate) << p.endtime.toString("HH:mm:ss")
                          << p.channel << p.title << p.subtitle << p.description << p.category
                          << p.rating << QString::number(p.rerun))
        .join('|');
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
        out << QStringList{"channel", c.channelid, c.channelname, c.channelnum, c.icon}.join('|');
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
    // Writes and imports a file that must import, and sets fetchPending again.
    void seed(QDate day, const QByteArray& bytes)
    {
        write(day, bytes);
        QCOMPARE(import(day).status, Status::Imported);
        state.fetchPending = true;
    }
    std::vector<ProgrammeRow> rows(QDate day)
    {
        return store->dayProgrammes(dayNumber(day)).rows();
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
    // Every programme column, the encodings and the XML text forms of the values.
    void programmeFields_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("unreadableStops");
        // A programme starting 20:30 on Monday; `expected` from its end on.
        const auto row = [](const char* name, const QByteArray& xml, const QString& expected,
                            int unreadableStops = 0) {
            QTest::newRow(name) << tv(channel("c1", "One", "1") + xml)
                                << "2003-12-15|20:30:00|" + expected << unreadableStops;
        };
        const auto p = [](const QByteArray& extra) {
            return programme("20031215203000", "20031215210000", "c1", "T", extra);
        };
        const QString t = "2003-12-15|21:00:00|c1|T|"; // the usual end, channel and title
        row("full",
            programme(
                "20031215203000", "20031215210000", "c1", "News",
                "<sub-title>Late</sub-title><desc>All of it.</desc><category>Info</category>"
                "<category>Other</category><rating system=\"V\"><value>TV-PG</value></rating>"),
            "2003-12-15|21:00:00|c1|News|Late|All of it.|Info|TV-PG|0");
        row("no stop ends 23:59",
            "<programme start=\"20031215203000\" channel=\"c1\"><title>T</title></programme>",
            "2003-12-15|23:59:00|c1|T|||||0");
        row("attributes by name, any order",
            "<programme channel=\"c1\" stop=\"20031215210000\" start=\"20031215203000\">"
            "<title>T</title></programme>",
            t + "||||0");
        row("empty previously-shown is a rerun", p("<previously-shown/>"), t + "||||1");
        row("apostrophes intact",
            programme("20031215203000", "20031215210000", "c1", "Bob's Burgers",
                      "<desc>It's 'quoted'</desc><category>Kids' TV</category>"),
            "2003-12-15|21:00:00|c1|Bob's Burgers||It's 'quoted'|Kids' TV||0");
        row("+0000 is New York time",
            programme("20031216013000 +0000", "20031216023000 +0000", "c1", "T"),
            "2003-12-15|21:30:00|c1|T|||||0");
        row("unreadable stop ends 23:59", programme("20031215203000", "tomorrow", "c1", "T"),
            "2003-12-15|23:59:00|c1|T|||||0", 1);
        row("description cut to 255", p("<desc>" + QByteArray(300, 'a') + "</desc>"),
            t + "|" + QString(255, 'a') + "|||0");
        row("text trimmed, nested, entities",
            programme("20031215203000", "20031215210000", "c1", "  The <b>Big</b>\n  Show ",
                      "<desc>Tom &amp; Jerry &#233;<![CDATA[ <x> ]]></desc>"),
            "2003-12-15|21:00:00|c1|The Big Show||Tom & Jerry \u00e9 <x>|||0");
        // The deepest nesting allowed: <title> is level 3, its innermost <b> level 256.
        row("nested 256 levels deep",
            p("<sub-title>" + QByteArray("<b>").repeated(253) + "S" +
              QByteArray("</b>").repeated(253) + "</sub-title>"),
            "2003-12-15|21:00:00|c1|T|S||||0");
    }

    // The cut is checked on the rows read, before the store: binding a lone surrogate to SQLite
    // drops it, which would hide a cut through the middle of a pair.
    void descriptionCutKeepsSurrogatePairsWhole()
    {
        const QByteArray bytes =
            tv(channel("c1", "One", "1") +
               programme("20031215203000", "20031215210000", "c1", "T",
                         "<desc>" + QByteArray(254, 'a') + "\xF0\x9F\x98\x80z</desc>"));
        const auto listings = parseXmltv(bytes, QTimeZone("America/New_York"));
        QVERIFY(listings);
        QCOMPARE(listings->programmes.size(), std::size_t(1));
        QCOMPARE(listings->programmes[0].description, QString(254, 'a'));
    }

    void programmeFields()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QFETCH(int, unreadableStops);
        Env env;
        env.write(Monday, bytes);
        const ImportResult r = env.import(Monday);
        QCOMPARE(r.status, Status::Imported);
        QCOMPARE(r.unreadableStops, unreadableStops);
        const auto rows = env.rows(Monday);
        QCOMPARE(rows.size(), std::size_t(1));
        QCOMPARE(fields(rows[0]), expected);
        QVERIFY(!rows[0].action);
    }

    // The encoding of the declaration or the byte order mark, decoded by the platform's
    // converters; each title only decodes right in its own encoding.
    void encodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QString>("title");
        const auto e = [](const QByteArray& title) {
            return "<programme start=\"20031215203000\" channel=\"c\"><title>" + title +
                   "</title></programme>";
        };
        QTest::newRow("ISO-8859-1 fixture")
            << readFixture("latin1-pound.xml") << QDate(2001, 12, 11) << "\u00a3";
        QTest::newRow("ISO-8859-2 fixture") << readFixture("iso-8859-2.xml") << Monday
                                            << "H\u00edrad\u00f3 \u00e9s id\u0151j\u00e1r\u00e1s";
        QTest::newRow("KOI8-R fixture")
            << readFixture("koi8-r.xml") << Monday << "\u041d\u043e\u0432\u043e\u0441\u0442\u0438";
        QTest::newRow("windows-1250, lower-case label")
            << tv(e("\x8Elu\x9Dou\xE8k\xFD"), "windows-1250") << Monday
            << "\u017dlu\u0165ou\u010dk\u00fd";
        QTest::newRow("windows-1252")
            << tv(e("\x93Q\x94 \x80"), "windows-1252") << Monday << "\u201cQ\u201d \u20ac";
        QTest::newRow("ISO-8859-15") << tv(e("\xA4"), "iso-8859-15") << Monday << "\u20ac";
        QTest::newRow("UTF-8 with BOM, Latin-1 label")
            << "\xEF\xBB\xBF" + tv(e("Caf\xC3\xA9"), "ISO-8859-1") << Monday << "Caf\u00e9";
        const QString wide = QString::fromUtf8(tv(e("Caf\xC3\xA9 \xF0\x9F\x98\x80"), "UTF-16"));
        QStringEncoder toUtf16(QStringConverter::Utf16LE);
        QTest::newRow("UTF-16LE") << "\xFF\xFE" + QByteArray(toUtf16.encode(wide)) << Monday
                                  << "Caf\u00e9 \U0001F600";
    }

    void encodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QDate, day);
        QFETCH(QString, title);
        Env env;
        env.write(day, bytes);
        QCOMPARE(env.import(day).status, Status::Imported);
        const auto rows = env.rows(day);
        QCOMPARE(rows.size(), std::size_t(1));
        QCOMPARE(rows[0].title, title);
    }

    void channelFields_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QByteArray& xml, const char* expected) {
            QTest::newRow(name) << xml << QString(expected);
        };
        // An icon source of n characters as the third child's first attribute.
        const auto third = [](int n) {
            return "<channel id=\"c1\"><display-name>A</display-name><display-name>5</display-name>"
                   "<icon src=\"http://h/" +
                   QByteArray(n - 15, 'a') + "/z.png\"/></channel>";
        };
        const auto viaRule = [](const QByteArray& rest) { // what follows the 47 characters cut off
            return "<channel id=\"c\"><a/><b/><icon src=\"" + QByteArray(40, 'p') + "/logos/" +
                   rest + "\"/></channel>";
        };
        const auto viaIcon = [](const QByteArray& src) {
            return "<channel id=\"c\"><a/><icon src=\"" + src + "\"/></channel>";
        };
        row("three names and an icon",
            channel("c1", "KTVK", "3")
                .replace("</channel>", "<icon src=\"http://x/l/k.gif\"/></channel>"),
            "c1|KTVK|3|k.gif");
        row("icon source of 47: empty icon", third(47), "c1|A||");
        row("icon source of 48: its last character", third(48), "c1|A||g");
        row("icon source of 46: its file name", third(46), "c1|A||z.png");
        row("short attribute falls back to the icon",
            "<channel id=\"c1\"><display-name>A</display-name><x/><display-name lang=\"en\">7"
            "</display-name><icon src=\"http://h/z/logo7.png\"/></channel>",
            "c1|A|7|logo7.png");
        row("no icon anywhere",
            "<channel id=\"c1\"><display-name>A</display-name><x/><display-name>7</display-name>"
            "</channel>",
            "c1|A|7|empty.jpg");
        row("one child: empty number",
            "<channel id=\"c1\"><display-name>Nick Jr's</display-name></channel>",
            "c1|Nick Jr's||empty.jpg");
        row("no id: first attribute",
            "<channel key=\"k9\"><display-name>A</display-name></channel>", "k9|A||empty.jpg");
        row("id by name", "<channel x=\"1\" id=\"c9\"/>", "c9|||empty.jpg");
        // Logo names never lead out of the logos folder.
        row("rule: parent directories", viaRule("../../etc/passwd"), "c|||passwd");
        row("rule: backslashes", viaRule("..\\..\\win.ini"), "c|||win.ini");
        row("rule: only dots", viaRule(".."), "c|||empty.jpg");
        row("icon: absolute path", viaIcon("/usr/share/logos/abc.png"), "c|||abc.png");
        row("icon: query and fragment", viaIcon("http://h/l/n.png?w=1&amp;x=/y#f/g"), "c|||n.png");
        row("icon: windows path", viaIcon("C:\\logos\\w.gif"), "c|||w.gif");
        row("icon: folder URL", viaIcon("http://h/logos/"), "c|||empty.jpg");
        row("icon: control characters", viaIcon("a&#1;b&#31;.png"), "c|||ab.png");
    }

    void channelFields()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, expected);
        Env env;
        env.write(Monday, tv(xml + programme("20031215203000", "20031215210000", "c1", "T")));
        QCOMPARE(env.import(Monday).status, Status::Imported);
        QCOMPARE(dump(*env.store).filter("channel|"), QStringList{"channel|" + expected});
    }

    // Files nobody on this team wrote, imported for the day of their first programme: every
    // stored row and channel, as `zarvoguide-cli programmes` prints them, against a golden file
    // (tests/data/golden/NAME.jsonl; ZARVO_UPDATE_GOLDEN=1 writes them anew, for review).
    void goldenFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("zone");
        const QDir golden(QStringLiteral(ZARVO_TESTDATA "/golden"));
        for (const QString& file : golden.entryList({"*.xml"}, QDir::Files, QDir::Name)) {
            // The XMLTV project's files are British; the Australian guide is read in Sydney.
            const QByteArray zone = file.startsWith("au-") ? "Australia/Sydney" : "Europe/London";
            QTest::newRow(qPrintable(file)) << file.chopped(4) << zone;
        }
    }
    void goldenFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, zone);
        const QString base = QStringLiteral(ZARVO_TESTDATA "/golden/") + name;
        QFile xml(base + ".xml");
        QVERIFY(xml.open(QIODevice::ReadOnly));
        const QByteArray bytes = xml.readAll();
        const QTimeZone timeZone(zone);
        const auto read = parseXmltv(bytes, timeZone);
        const QDate day =
            read && !read->programmes.empty() ? read->programmes.front().startdate : Monday;
        Env env;
        const FakeClock clock(timeZone, wallClock(day, QTime(3, 1)));
        env.write(day, bytes);
        const ImportResult r =
            getListings(wallClock(day, QTime(20, 0)), *env.store, env.state, env.folder, clock);
        QStringList lines{QStringLiteral("# %1 in %2: %3")
                              .arg(day.toString(Qt::ISODate), zone,
                                   r.status == Status::Imported
                                       ? QStringLiteral("imported")
                                       : r.message.section(u'\n', 1).trimmed())};
        for (const ProgrammeRow& p : env.rows(day))
            lines << QString::fromUtf8(
                QJsonDocument(programmeJson(p)).toJson(QJsonDocument::Compact));
        const Snapshot<ChannelRow> channels = env.store->channels();
        for (const ChannelRow& c : channels.rows())
            lines << QString::fromUtf8(QJsonDocument(QJsonObject{{"channelid", c.channelid},
                                                                 {"channelname", c.channelname},
                                                                 {"channelnum", c.channelnum},
                                                                 {"icon", c.icon}})
                                           .toJson(QJsonDocument::Compact));
        const QByteArray actual = lines.join(u'\n').toUtf8() + '\n';
        QFile expected(base + ".jsonl");
        if (qEnvironmentVariableIsSet("ZARVO_UPDATE_GOLDEN")) {
            QVERIFY(expected.open(QIODevice::WriteOnly | QIODevice::Truncate));
            expected.write(actual);
            return;
        }
        QVERIFY2(expected.open(QIODevice::ReadOnly), "no golden file; see the comment above");
        QCOMPARE(QString::fromUtf8(actual), QString::fromUtf8(expected.readAll()));
    }

    // The real Australian file: two days of UTC stamps, which fall on three local dates. It is
    // imported for each of them, and only the day asked for counts as present.
    void realFileOfThreeDates_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QString>("refusal"); // empty: imported
        const QDate thursday(2023, 11, 23);
        for (int i = 1; i <= 3; ++i)
            QTest::addRow("Sydney, day %d", i)
                << QByteArray("Australia/Sydney") << thursday.addDays(i) << QString();
        QTest::newRow("Sydney, the day before")
            << QByteArray("Australia/Sydney") << thursday
            << "20231123.xml holds the listings of 2023-11-24, 2023-11-25, 2023-11-26, not of "
               "2023-11-23.";
        QTest::newRow("New York, its first day")
            << QByteArray("America/New_York") << thursday << QString();
        QTest::newRow("New York, the day after")
            << QByteArray("America/New_York") << thursday.addDays(3)
            << "20231126.xml holds the listings of 2023-11-23, 2023-11-24, 2023-11-25, not of "
               "2023-11-26.";
    }

    void realFileOfThreeDates()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDate, day);
        QFETCH(QString, refusal);
        Env env;
        const FakeClock clock(QTimeZone(zone), wallClock(QDate(2023, 11, 24), QTime(7, 0)));
        env.write(day, readFixture("utc-offsets.xml"));
        const ImportResult r =
            getListings(wallClock(day, QTime(20, 0)), *env.store, env.state, env.folder, clock);
        if (!refusal.isEmpty()) {
            QCOMPARE(r.status, Status::OtherDays);
            QVERIFY2(r.message.contains(refusal), qPrintable(r.message));
            QVERIFY(env.rows(day).empty());
            return;
        }
        QCOMPARE(r.status, Status::Imported);
        // All of the file's rows are in the day's table, yet only its own date is present.
        QCOMPARE(env.rows(day).size(), std::size_t(244));
        QCOMPARE(env.store->storedDate(dayNumber(day)), day);
        for (const ProgrammeRow& p : env.rows(day))
            if (p.startdate != day)
                QVERIFY(!checkForPrograms(*env.store, p.startdate));
    }

    void mondayReplacesLastMonday()
    {
        Env env;
        env.seed(LastMonday, dayFile(LastMonday, 3, 10, "Old"));
        env.seed(Sunday, dayFile(Sunday, 2, 4, "Sun"));
        env.seed(QDate(2003, 12, 13), dayFile(QDate(2003, 12, 13), 2, 4, "Sat"));
        const auto others = [&] { // what a Monday import must not touch
            return dump(*env.store).filter(QRegularExpression("^(day[13-7]|dates\\.day[13-7])"));
        };
        const QStringList othersBefore = others();
        QVERIFY(!checkForPrograms(*env.store, Monday));

        env.write(Monday, dayFile(Monday, 4, 6, "New"));
        const ImportResult r = env.import(Monday);
        QCOMPARE(r.status, Status::Imported);
        QCOMPARE(r.channels, 4);
        QCOMPARE(r.programmes, 24);
        QCOMPARE(r.recordedDate, Monday);
        QVERIFY(r.message.isEmpty());
        QVERIFY(!env.state.fetchPending);
        QVERIFY(!env.state.importInProgress);
        QVERIFY(checkForPrograms(*env.store, Monday));
        const auto rows = env.rows(Monday);
        QCOMPARE(rows.size(), std::size_t(24));
        for (const ProgrammeRow& p : rows) {
            QVERIFY2(p.title.startsWith("New show "), qPrintable(p.title));
            QCOMPARE(p.startdate, Monday);
        }
        QCOMPARE(others(), othersBefore);
        QCOMPARE(env.store->channels().size(), std::size_t(4));
    }

    // The day asked for is recorded when the file holds programmes starting on it; the rows of
    // the dates around it are stored along with them.
    void recordedDate_data()
    {
        QTest::addColumn<QByteArray>("programmes");
        QTest::addColumn<int>("rows");
        QTest::newRow("evening only")
            << programme("20031215180000", "20031215190000", "c", "Evening") << 1;
        QTest::newRow("padded with the days around it")
            << programme("20031214230000", "20031215000000", "c", "Sunday late") +
                   programme("20031215090000", "20031215100000", "c", "Morning") +
                   programme("20031216010000", "20031216020000", "c", "Tuesday early")
            << 3;
    }

    void recordedDate()
    {
        QFETCH(QByteArray, programmes);
        QFETCH(int, rows);
        Env env;
        env.write(Monday, tv(programmes));
        const ImportResult r = env.import(Monday);
        QCOMPARE(r.status, Status::Imported);
        QCOMPARE(r.recordedDate, Monday);
        QCOMPARE(env.store->storedDate(2), Monday);
        QCOMPARE(env.rows(Monday).size(), std::size_t(rows));
    }

    void unreadableStartsAreSkippedAndCounted()
    {
        Env env;
        env.write(Monday, tv(programme("20031215200000", "", "c", "Good") +
                             programme("2003121X200000", "", "c", "Letters") +
                             "<programme channel=\"c\"><title>No start</title></programme>" +
                             programme("20031315200000", "", "c", "Month 13") +
                             programme("20031215210000", "", "c", "Also good")));
        const ImportResult r = env.import(Monday);
        QCOMPARE(r.status, Status::Imported);
        QCOMPARE(r.skippedProgrammes, 3);
        QCOMPARE(r.programmes, 2);
        QCOMPARE(dump(*env.store).filter(QRegularExpression("\\|(Good|Also good)\\|")).size(), 2);
    }

    void missingFileRunsTheGrabber()
    {
        Env env;
        env.seed(LastMonday, dayFile(LastMonday, 2, 3, "Old"));
        const QStringList before = dump(*env.store);
        QList<QDateTime> fetched, started;
        ImportHooks hooks;
        hooks.fetchMissingDay = [&](const QDateTime& d) {
            QVERIFY(env.state.importInProgress);
            fetched << d;
        };
        hooks.started = [&](const QDateTime& d) { started << d; };
        const ImportResult r = env.import(Monday, hooks);
        QCOMPARE(r.status, Status::FetchRequested);
        QCOMPARE(fetched, QList<QDateTime>{wallClock(Monday, QTime(20, 0))});
        QCOMPARE(started, fetched);
        QVERIFY(r.file.endsWith("/xmltv/20031215.xml"));
        QCOMPARE(env.state.loadErrorText, "Program timed out.");
        QVERIFY(env.state.fetchPending);
        QVERIFY(!env.state.importInProgress);
        QCOMPARE(dump(*env.store), before);
    }

    // A day file that is there but cannot give the day's listings keeps the old listings, is
    // moved aside (replacing an older one) with the reason in the message, and the next attempt
    // fetches the day.
    void unusableFileIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // what the day file holds, unless:
        QTest::addColumn<QString>("special");  // folder, fifo, device, proc or dangling (link)
        QTest::addColumn<qint64>("maxBytes");  // 0: the usual limit
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code"); // the report's error number; 0: no report
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("reason");
        const int notWellFormed = int(Status::NotWellFormed);
        const auto row = [](const char* name, const QByteArray& bytes, int code, int line,
                            const QString& reason) {
            QTest::newRow(name) << bytes << QString() << qint64(0) << int(Status::NotWellFormed)
                                << code << line << reason;
        };
        const auto special = [&](const char* kind, const QString& reason) {
            QTest::newRow(kind) << QByteArray() << QString(kind) << qint64(0) << notWellFormed
                                << int(XmltvLoadError::CannotRead) << 0 << reason;
        };
        const QByteArray good = tv(programme("20031215200000", "", "c", "T"));
        const QString notRegular = "20031215.xml cannot be used: It is not a regular file.";
        special("folder", notRegular);
        special("fifo", notRegular);
        special("device", notRegular);
        special("dangling", "Cannot read the file: No such file or directory");
        QTest::newRow("larger than the limit")
            << good << QString() << qint64(good.size() - 1) << notWellFormed
            << int(XmltvLoadError::CannotRead) << 0
            << QStringLiteral("The file holds more than %1 bytes.").arg(good.size() - 1);
        // A file whose size reads as 0 and that holds more than that.
        QTest::newRow("over the limit, size 0")
            << QByteArray() << QString("proc") << qint64(100) << notWellFormed
            << int(XmltvLoadError::CannotRead) << 0 << "The file holds more than 100 bytes.";
        row("empty file", "", XmltvLoadError::NoRootElement, 1, "No document element found.");
        row("declaration only", "<?xml version=\"1.0\"?>\n", XmltvLoadError::NoRootElement, 2,
            "(line 2, position 1): No document element found.");
        row("another root", "<?xml version=\"1.0\"?>\n<html><tv/></html>",
            XmltvLoadError::NotListings, 2, "not <tv>");
        row("two roots", good + "<tv/>", XmltvLoadError::ExtraTopLevelContent, 8, "top level");
        row("text after root", good + "junk", XmltvLoadError::ExtraTopLevelContent, 8,
            "outside the root");
        row("text before root", "junk\n" + good, XmltvLoadError::ExtraTopLevelContent, 1,
            "outside the root");
        row("gzip bytes",
            QByteArray::fromHex("1f8b0800000000000203b3b1afc8cd51284b2d2acecccfb35532d43350b2b7e3b2"
                                "2929b3b32928ca4f2f4acccd4d55282e492c2ab155323230303634323405d240a0"
                                "a4909c919897979a63ab94ac646753925992936a1765a30f61d8e8c3b503d940e3"
                                "b8000f2c32dc6a000000"),
            XmltvLoadError::InvalidEncodedText, 1, "not valid UTF-8");
        row("invalid UTF-8", QByteArray(good).replace("<title lang=\"en\">T", "<title>\xFF"),
            XmltvLoadError::InvalidEncodedText, 5, "not valid UTF-8 (byte 0xff)");
        row("overlong UTF-8", QByteArray(good).replace("<title lang=\"en\">T", "<title>\xC0\xAF"),
            XmltvLoadError::InvalidEncodedText, 5, "not valid UTF-8");
        row("invalid Shift_JIS",
            tv(programme("20031215200000", "", "c", "\x82\xA0\xFF\xFE"), "Shift_JIS"),
            XmltvLoadError::InvalidEncodedText, 5,
            "(line 5, position 23): The text is not valid "
            "Shift_JIS.");
        row("NUL after the root", good + QByteArray("\0<x/>", 5), XmltvLoadError::NulCharacter, 8,
            "NUL");
        row("unknown encoding", tv("", "x-unknown"), XmltvLoadError::UnsupportedEncoding, 1,
            "The encoding \"x-unknown\" is not supported.");
        row("unclosed element", QByteArray(good).replace("</programme>", ""),
            pugi::status_end_element_mismatch, 7, "(line 7, position 3)");
        row("bad attribute", QByteArray(good).replace("channel=\"c\"", "channel=c"),
            pugi::status_bad_attribute, 4, "(line 4, ");
        const auto nested = [](int levels, bool closed) {
            return tv("<programme start=\"20031215200000\" channel=\"c\">" +
                      QByteArray("<b>").repeated(levels) +
                      (closed ? QByteArray("</b>").repeated(levels) + "</programme>\n" : "\n"));
        };
        row("nested 257 levels deep", nested(255, true), XmltvLoadError::TooDeep, 4,
            "(line 4, position 809): Elements are nested more than 256 levels deep.");
        row("200,000 nested elements", nested(200000, true), XmltvLoadError::TooDeep, 4,
            "nested more than 256 levels");
        row("200,000 nested elements, cut off", nested(200000, false),
            pugi::status_end_element_mismatch, 5, "");
        QTest::newRow("empty <tv/>") << QByteArray("<?xml version=\"1.0\"?>\n<tv/>\n") << QString()
                                     << qint64(0) << int(Status::NoProgrammes) << 0 << 0
                                     << "20031215.xml holds no programme with a readable start";
        QTest::newRow("no programme with a start")
            << tv(channel("c1", "One", "1") +
                  "<programme channel=\"c1\"><title>T</title></programme>")
            << QString() << qint64(0) << int(Status::NoProgrammes) << 0 << 0
            << "holds no programme";
        const auto otherDays = [](const char* name, const QByteArray& programmes,
                                  const char* dates) {
            QTest::newRow(name) << tv(programmes) << QString() << qint64(0)
                                << int(Status::OtherDays) << 0 << 0
                                << QStringLiteral("20031215.xml holds the listings of %1, not of "
                                                  "2003-12-15.")
                                       .arg(dates);
        };
        otherDays("the next two days",
                  programme("20031217090000", "", "c", "W") +
                      programme("20031216090000", "", "c", "T") +
                      programme("20031217100000", "", "c", "W"),
                  "2003-12-16, 2003-12-17");
        otherDays("the same weekday a week on", programme("20031222090000", "", "c", "M"),
                  "2003-12-22");
        otherDays("Monday in UTC, Sunday here", programme("20031215030000 +0000", "", "c", "S"),
                  "2003-12-14");
    }

    void unusableFileIsSetAside()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, special);
        QFETCH(qint64, maxBytes);
        QFETCH(int, status);
        QFETCH(int, code);
        QFETCH(int, line);
        QFETCH(QString, reason);
        Env env;
        env.seed(Monday, dayFile(Monday, 2, 3, "Old"));
        const QStringList before = dump(*env.store);
        const QString path = QDir(env.folder.xmltvFolder()).filePath(dayFileName(Monday));
        const QString aside = path + ".rejected";
        QVERIFY(QFile::remove(path));
        {
            QFile older(aside);
            QVERIFY(older.open(QIODevice::WriteOnly));
            older.write("an older rejected file");
        }
        if (special == "folder")
            QVERIFY(QDir().mkdir(path));
        else if (special == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (special == "device")
            QVERIFY(QFile::link("/dev/zero", path));
        else if (special == "proc")
            QVERIFY(QFile::link("/proc/self/status", path));
        else if (special == "dangling")
            QVERIFY(QFile::link(env.dir.filePath("nowhere"), path));
        else
            env.write(Monday, bytes);
        if (code)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^Your XML Document failed to load due the "
                                                    "following error\\.\nError #: "));
        int fetches = 0;
        ImportHooks hooks;
        hooks.fetchMissingDay = [&](const QDateTime&) { ++fetches; };
        ImportLimits limits;
        if (maxBytes)
            limits.maxFileBytes = maxBytes;
        const ImportResult r = getListings(wallClock(Monday, QTime(20, 0)), *env.store, env.state,
                                           env.folder, env.clock, hooks, limits);
        QCOMPARE(int(r.status), status);
        QCOMPARE(fetches, 0);
        QVERIFY2(r.message.startsWith("Program timed out.\n") && r.message.contains(reason) &&
                     r.message.endsWith(" It was moved aside to 20031215.xml.rejected; the day "
                                        "will be fetched again."),
                 qPrintable(r.message));
        QCOMPARE(env.state.loadErrorText, r.message);
        QVERIFY(env.state.fetchPending);
        QVERIFY(!env.state.importInProgress);
        QCOMPARE(dump(*env.store), before);
        QCOMPARE(r.setAside, aside);
        const QFileInfo moved(aside);
        QVERIFY(!QFileInfo(path).exists() && !QFileInfo(path).isSymLink());
        if (special.isEmpty()) {
            QFile f(aside);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), bytes);
        } else {
            QCOMPARE(moved.isDir(), special == "folder");
            QCOMPARE(moved.isSymLink(),
                     special == "device" || special == "proc" || special == "dangling");
        }
        if (code) {
            QVERIFY2(r.report.contains(QStringLiteral("Error #: %1: ").arg(code)),
                     qPrintable(r.report));
            QVERIFY2(r.report.contains(QStringLiteral("\nLine #: %1\n").arg(line)),
                     qPrintable(r.report));
            QVERIFY(r.report.contains("\nDocument URL: file:///"));
            QVERIFY(r.report.contains("20031215.xml"));
        }
        // Nothing is stuck: the next attempt finds no day file and fetches it.
        QCOMPARE(env.import(Monday, hooks).status, Status::FetchRequested);
        QCOMPARE(fetches, 1);
        QCOMPARE(dump(*env.store), before);
    }

    // After an import the grabber's leftovers go; a failed import leaves them.
    void oldFilesRemovedAfterImport()
    {
        Env env; // today is Monday 12/15/2003
        const QDir xmltv(env.folder.xmltvFolder());
        const QStringList kept{"20031214.xml", "20031214.xml.rejected", "20031216.xml",
                               "20031299.xml", "notes.txt"};
        const QStringList removed{"20031210.xml", "20031213.xml", "20031213.xml.rejected",
                                  "unsorted20031215.xml", "unsorted20031216.xml"};
        for (const QString& name : kept + removed)
            QVERIFY(QFile(xmltv.filePath(name)).open(QIODevice::WriteOnly));
        env.write(Monday, tv(programme("20031215080000", "", "c", "Breakfast") + "<oops>"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Your XML Document failed"));
        QCOMPARE(env.import(Monday).status, Status::NotWellFormed);
        QVERIFY(QFile::remove(xmltv.filePath("20031215.xml.rejected")));
        QCOMPARE(xmltv.entryList(QDir::Files).size(), kept.size() + removed.size());

        env.write(Monday, dayFile(Monday, 1, 2, "New"));
        QCOMPARE(env.import(Monday).status, Status::Imported);
        QStringList expected = kept + QStringList{"20031215.xml"};
        expected.sort();
        QCOMPARE(xmltv.entryList(QDir::Files, QDir::Name), expected);
        // An old day imported keeps its own file.
        const QDate old(2003, 12, 10);
        env.write(old, dayFile(old, 1, 2, "Old"));
        QCOMPARE(env.import(old).status, Status::Imported);
        expected.prepend("20031210.xml");
        QCOMPARE(xmltv.entryList(QDir::Files, QDir::Name), expected);
    }

    void fileCutAtManyOffsets()
    {
        // Whatever byte a download stops at, the old day stays: no prefix of a file passes.
        Env env;
        env.seed(Monday, dayFile(Monday, 2, 3, "Old"));
        const QStringList before = dump(*env.store);
        const QByteArray full =
            dayFile(Monday, 3, 4, "New").replace("New show 1", "Caf\xC3\xA9 \xE2\x82\xAC");
        const qsizetype end = full.lastIndexOf("</tv>") + 4; // the last byte that may not be lost
        int cuts = 0;
        for (qsizetype at = 0; at <= end; at += (at < 300 ? 1 : 7), ++cuts) {
            env.write(Monday, full.left(at));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Your XML Document failed"));
            QVERIFY2(env.import(Monday).status == Status::NotWellFormed,
                     qPrintable(QString::number(at)));
        }
        QVERIFY(cuts > 400);
        QCOMPARE(dump(*env.store), before);
        env.write(Monday, full);
        QCOMPARE(env.import(Monday).status, Status::Imported);
        QCOMPARE(env.rows(Monday).size(), std::size_t(12));
    }

    void entitiesAreNotExpanded_data()
    {
        QTest::addColumn<QByteArray>("doctype");
        QTest::addColumn<QByteArray>("title");
        QByteArray laughs = "<!DOCTYPE tv [\n<!ENTITY lol0 \"lol\">\n";
        for (int i = 1; i <= 9; ++i) {
            laughs += "<!ENTITY lol" + QByteArray::number(i) + " \"";
            for (int k = 0; k < 10; ++k)
                laughs += "&lol" + QByteArray::number(i - 1) + ";";
            laughs += "\">\n";
        }
        QTest::newRow("billion laughs") << laughs + "]>\n" << QByteArray("&lol9;");
        QTest::newRow("external entity")
            << QByteArray("<!DOCTYPE tv [<!ENTITY xxe SYSTEM \"file://SECRET\">]>\n")
            << QByteArray("&xxe;");
        QTest::newRow("external parameter entity")
            << QByteArray("<!DOCTYPE tv [<!ENTITY % ext SYSTEM \"file://SECRET\"> %ext;]>\n")
            << QByteArray("&leak;");
        QTest::newRow("external DTD")
            << QByteArray("<!DOCTYPE tv SYSTEM \"file://SECRET\">\n") << QByteArray("&leak;");
    }

    void entitiesAreNotExpanded()
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
                              "<tv><programme start=\"20031215200000\" channel=\"c\"><title>" +
                              title + "</title></programme></tv>\n");
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(env.import(Monday).status, Status::Imported);
        QVERIFY(timer.elapsed() < 2000);
        const auto rows = env.rows(Monday);
        QCOMPARE(rows.size(), std::size_t(1));
        QCOMPARE(rows[0].title, QString::fromUtf8(title));
        QVERIFY(!dump(*env.store).join('\n').contains("TOPSECRET"));
    }

    void storeFailureRollsBack()
    {
        Env env;
        env.seed(Monday, dayFile(Monday, 2, 3, "Old"));
        // The fifth row of the new import fails, after the deletes and four inserts. Set up on a
        // connection beside the store's, as another program could.
        Database(env.folder.databaseFile(), Database::Mode::OpenExisting)
            .exec("CREATE TRIGGER boom BEFORE INSERT ON day2 "
                  "WHEN (SELECT count(*) FROM day2) >= 4 "
                  "BEGIN SELECT RAISE(ABORT, 'disk on fire'); END");
        const QStringList before = dump(*env.store);
        env.write(Monday, dayFile(Monday, 3, 4, "New"));
        const ImportResult r = env.import(Monday);
        QCOMPARE(r.status, Status::Failed);
        QVERIFY2(r.message.contains("disk on fire"), qPrintable(r.message));
        QCOMPARE(env.state.loadErrorText, r.message);
        QVERIFY(env.state.fetchPending);
        QVERIFY(!env.state.importInProgress);
        QCOMPARE(dump(*env.store), before);
        Database(env.folder.databaseFile(), Database::Mode::OpenExisting).exec("DROP TRIGGER boom");
        QCOMPARE(env.import(Monday).status, Status::Imported);
    }

    void busyWhileAnotherImportRuns()
    {
        // Re-entered from the running import's own callbacks, as an event handler would: refused
        // at once, with no hook run, the running import's flag and the store left alone.
        Env env;
        env.seed(LastMonday, dayFile(LastMonday, 2, 3, "Old"));
        env.write(Monday, dayFile(Monday, 2, 3, "New"));
        const QStringList before = dump(*env.store);
        int innerHooks = 0;
        ImportHooks inner;
        inner.started = [&](const QDateTime&) { ++innerHooks; };
        inner.fetchMissingDay = inner.started;
        QList<Status> innerResults;
        ImportHooks outer;
        outer.started = [&](const QDateTime&) {
            innerResults << env.import(Sunday, inner).status << env.import(Monday, inner).status;
            QVERIFY(env.state.importInProgress);
            QCOMPARE(env.state.loadErrorText, "Error Loading Data");
            QVERIFY(env.state.fetchPending);
            QCOMPARE(dump(*env.store), before);
        };
        outer.progress = [&](int count) {
            if (count == 2)
                innerResults << env.import(Monday, inner).status;
        };
        QCOMPARE(env.import(Monday, outer).status, Status::Imported);
        QCOMPARE(innerResults, QList({Status::Busy, Status::Busy, Status::Busy}));
        QCOMPARE(innerHooks, 0);
        QCOMPARE(env.rows(Monday).size(), std::size_t(6));
    }

    void progressAndYields()
    {
        // Progress counts every stored row, 1 up; events run on a time budget, not per row.
        Env env;
        env.write(Monday, dayFile(Monday, 2, 512, "New"));
        QList<int> counts;
        int yields = 0;
        bool flagSeen = true;
        ImportHooks hooks;
        hooks.progress = [&](int count) {
            counts << count;
            flagSeen = flagSeen && env.state.importInProgress;
            if (count % 256 == 128) // so slow that each check of the budget finds it spent
                QThread::msleep(35);
        };
        hooks.yield = [&] {
            flagSeen = flagSeen && env.state.importInProgress;
            ++yields;
        };
        QCOMPARE(env.import(Monday, hooks).status, Status::Imported);
        QCOMPARE(counts.size(), 1024);
        for (int i = 0; i < counts.size(); ++i)
            QCOMPARE(counts[i], i + 1);
        QVERIFY(flagSeen);
        QVERIFY(!env.state.importInProgress);
        const int ticks = 2 * (2 + 1024); // read and store every channel and programme
        QVERIFY2(yields >= 3 && yields <= ticks / 256, qPrintable(QString::number(yields)));
        QCOMPARE(programsFoundText(1), "1 programs found.");
        QCOMPARE(programsFoundText(15), "15 programs found.");
    }

    void killedImportLeavesOldOrNewDay()
    {
        // A large Monday replaces last Monday while the importing process is killed (SIGKILL) at
        // random moments; the database must come back whole with one Monday or the other.
        Env env;
        const QString db = env.folder.databaseFile();
        const QString pristine = env.dir.filePath("pristine.db");
        env.write(LastMonday, dayFile(LastMonday, 300, 48, "Old"));
        env.write(Monday, dayFile(Monday, 300, 48, "New"));
        QCOMPARE(env.import(LastMonday).status, Status::Imported);
        const QStringList oldDump = dump(*env.store);
        env.store.reset();
        QVERIFY(QFile::copy(db, pristine));
        const auto reset = [&] {
            for (const char* suffix : {"", "-journal", "-wal", "-shm"})
                QFile::remove(db + suffix);
            QVERIFY(QFile::copy(pristine, db));
            QFile(db).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        };
        // Runs the new import in a child process, which kills itself once killAtCount programmes
        // are stored (0: never).
        const auto startChild = [&](int killAtCount) {
            const pid_t pid = fork();
            if (pid == 0) {
                int code = 4;
                try {
                    ListingsStore store(db);
                    AppState state;
                    ImportHooks hooks;
                    hooks.progress = [killAtCount](int count) {
                        if (count == killAtCount)
                            ::raise(SIGKILL);
                    };
                    code = getListings(wallClock(Monday, QTime(20, 0)), store, state, env.folder,
                                       env.clock, hooks)
                                       .status == Status::Imported
                               ? 0
                               : 3;
                } catch (...) {
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
                    return "integrity check failed: " + s.text(0);
            }
            ListingsStore store(db);
            const QStringList now = dump(store);
            return now == oldDump   ? "old"
                   : now == newDump ? "new"
                                    : QStringLiteral("mixed state: %1 rows").arg(now.size());
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
            pid = startChild(1 + int(random.bounded(14400)));
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
};

QTEST_GUILESS_MAIN(TestImporter)
#include "tst_importer.moc"
