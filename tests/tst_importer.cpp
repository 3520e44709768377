// The XMLTV importer: files in temporary program folders, imported into a real store with a
// fixed New York clock. What it stores field by field is held by the golden files.
#include "acquire/coverage.h"
#include "acquire/importer.h"
#include "guide/gridjson.h"
#include "support/support.h"
#include "support/xmltv.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTest>

#include <pugixml.hpp>

#include <memory>
#include <sys/stat.h>

using namespace zarvo;
using namespace zarvo::test;
using namespace zarvo::test::xmltv;
using Status = ImportResult::Status;

namespace {

const QDate LastMonday(2003, 12, 8), Sunday(2003, 12, 14), Monday(2003, 12, 15);

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
                       .arg(fields(p), p.action ? markText(*p.action) : "NULL");
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
    FakeClock clock{QTimeZone("America/New_York"), at(Monday, 3, 1)};
    AppState state;
    std::unique_ptr<ListingsStore> store;

    Env()
    {
        QDir(dir.path()).mkpath("xmltv");
        store = std::make_unique<ListingsStore>(folder.databaseFile());
        state.fetchPending = true;
    }
    QString path(QDate day) const { return QDir(folder.xmltvFolder()).filePath(dayFileName(day)); }
    void write(QDate day, const QByteArray& bytes) const { QVERIFY(putFile(path(day), bytes)); }
    ImportResult import(QDate day, const ImportHooks& hooks = {}, const ImportLimits& limits = {})
    {
        return getListings(at(day, 20), *store, state, folder, clock, hooks, limits);
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

QByteArray fixture(const QString& name)
{
    return readFile(QStringLiteral(ZARVO_TESTDATA "/importer/") + name);
}

// Parse errors are also reported on standard error, as the command line shows them.
void expectParseReport()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Your XML Document failed"));
}

} // namespace

class TestImporter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // What the golden files do not show: ends that are missing or unreadable, the cut of long
    // texts, mark-up and CDATA inside a text, and the deepest nesting allowed.
    void programmeFields_data()
    {
        QTest::addColumn<QByteArray>("programme");
        QTest::addColumn<QString>("expected"); // from the end on; all start 20:30 on Monday
        QTest::addColumn<int>("unreadableStops");
        const auto p = [](const QByteArray& extra, const QByteArray& stop = "20031215210000") {
            return programme("20031215203000", stop, "c1", "T", extra);
        };
        const QString t = "2003-12-15|21:00:00|c1|T|"; // the usual end, channel and title
        QTest::newRow("no stop ends 23:59")
            << QByteArray("<programme start=\"20031215203000\" channel=\"c1\"><title>T</title>"
                          "</programme>")
            << "2003-12-15|23:59:00|c1|T|||||0" << 0;
        QTest::newRow("unreadable stop ends 23:59")
            << p({}, "tomorrow") << "2003-12-15|23:59:00|c1|T|||||0" << 1;
        QTest::newRow("description cut to 255") << p("<desc>" + QByteArray(300, 'a') + "</desc>")
                                                << t + "|" + QString(255, 'a') + "|||0" << 0;
        QTest::newRow("text trimmed, nested, entities")
            << programme("20031215203000", "20031215210000", "c1", "  The <b>Big</b>\n  Show ",
                         "<desc>Tom &amp; Jerry &#233;<![CDATA[ <x> ]]></desc>")
            << "2003-12-15|21:00:00|c1|The Big Show||Tom & Jerry \u00e9 <x>|||0" << 0;
        // The deepest nesting allowed: <title> is level 3, its innermost <b> level 256.
        QTest::newRow("nested 256 levels deep")
            << p("<sub-title>" + QByteArray("<b>").repeated(253) + "S" +
                 QByteArray("</b>").repeated(253) + "</sub-title>")
            << t + "S||||0" << 0;
    }
    void programmeFields()
    {
        QFETCH(QByteArray, programme);
        QFETCH(QString, expected);
        Env env;
        env.write(Monday, tv(channel("c1", "One", "1") + programme));
        const ImportResult r = env.import(Monday);
        QCOMPARE(r.status, Status::Imported);
        QTEST(r.unreadableStops, "unreadableStops");
        const auto rows = env.rows(Monday);
        QCOMPARE(rows.size(), std::size_t(1));
        QCOMPARE(fields(rows[0]), "2003-12-15|20:30:00|" + expected);
        QVERIFY(!rows[0].action);
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
        QTest::newRow("ISO-8859-2") << fixture("iso-8859-2.xml") << Monday
                                    << "H\u00edrad\u00f3 \u00e9s id\u0151j\u00e1r\u00e1s";
        QTest::newRow("KOI8-R") << fixture("koi8-r.xml") << Monday
                                << "\u041d\u043e\u0432\u043e\u0441\u0442\u0438";
        const QString wide = QString::fromUtf8(tv(e("Caf\xC3\xA9 \xF0\x9F\x98\x80"), "UTF-16"));
        QStringEncoder toUtf16(QStringConverter::Utf16LE);
        QTest::newRow("UTF-16LE") << "\xFF\xFE" + QByteArray(toUtf16.encode(wide)) << Monday
                                  << "Caf\u00e9 \U0001F600";
    }
    void encodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QDate, day);
        Env env;
        env.write(day, bytes);
        QCOMPARE(env.import(day).status, Status::Imported);
        const auto rows = env.rows(day);
        QCOMPARE(rows.size(), std::size_t(1));
        QTEST(rows[0].title, "title");
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
        const QByteArray bytes = readFile(base + ".xml");
        const QTimeZone timeZone(zone);
        const auto read = parseXmltv(bytes, timeZone);
        const QDate day =
            read && !read->programmes.empty() ? read->programmes.front().startdate : Monday;
        Env env;
        const FakeClock clock(timeZone, at(day, 3, 1));
        env.write(day, bytes);
        const ImportResult r = getListings(at(day, 20), *env.store, env.state, env.folder, clock);
        QStringList lines{QStringLiteral("# %1 in %2: %3")
                              .arg(day.toString(Qt::ISODate), zone,
                                   r.status == Status::Imported
                                       ? QStringLiteral("imported")
                                       : r.message.section(u'\n', 1).trimmed())};
        const auto json = [](const QJsonObject& o) {
            return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
        };
        for (const ProgrammeRow& p : env.rows(day))
            lines << json(programmeJson(p));
        const Snapshot<ChannelRow> channels = env.store->channels();
        for (const ChannelRow& c : channels.rows())
            lines << json({{"channelid", c.channelid},
                           {"channelname", c.channelname},
                           {"channelnum", c.channelnum},
                           {"icon", c.icon}});
        const QByteArray actual = lines.join(u'\n').toUtf8() + '\n';
        if (qEnvironmentVariableIsSet("ZARVO_UPDATE_GOLDEN")) {
            QVERIFY(putFile(base + ".jsonl", actual));
            return;
        }
        QVERIFY2(QFile::exists(base + ".jsonl"), "no golden file; see the comment above");
        QCOMPARE(QString::fromUtf8(actual), QString::fromUtf8(readFile(base + ".jsonl")));
    }

    // A day file is read a megabyte at a time, cut after a programme's end tag. Where such a
    // tag is no end of a programme under the root (in a CDATA section, a comment, a nested
    // element), the file is read whole instead; the rows are the same either way.
    void piecesGiveTheWholeTreesRows_data()
    {
        QTest::addColumn<QByteArray>("awkward");
        QTest::addColumn<bool>("piecewise");
        QTest::newRow("plain") << QByteArray() << true;
        QTest::newRow("cdata") << QByteArray("<desc><![CDATA[a </programme> b]]></desc>") << false;
        QTest::newRow("comment") << QByteArray("<!-- </programme> -->") << false;
        QTest::newRow("nested") << QByteArray("<credits><programme start=\"20031215000000\" "
                                              "channel=\"x\"><title>In</title></programme>"
                                              "</credits>")
                                << false;
    }
    void piecesGiveTheWholeTreesRows()
    {
        QFETCH(QByteArray, awkward);
        QFETCH(bool, piecewise);
        QByteArray body = channel("c1", "ONE", "2");
        const QByteArray desc = "    <desc>" + QByteArray(300, 'd') + "</desc>\n";
        for (int i = 0; body.size() < 2 * 1024 * 1024; ++i) {
            const QDateTime start = at(Monday, 0).addSecs(10 * i);
            const bool nearTheCut = body.size() > 1024 * 1024 - 8192;
            body += programme(start.toString("yyyyMMddHHmmss").toLatin1(),
                              start.addSecs(10).toString("yyyyMMddHHmmss").toLatin1(), "c1",
                              "Show " + QByteArray::number(i),
                              desc + (nearTheCut ? "    " + awkward + "\n" : QByteArray()));
        }
        const QByteArray file = tv(body);
        const QTimeZone zone("America/New_York");
        const auto whole = parseXmltv(file, zone);
        QVERIFY(whole && whole->programmes.size() > 4000);
        QStringList expected;
        for (const ProgrammeRow& p : whole->programmes)
            expected << fields(p);

        QStringList pieces;
        const ListingsSink sink{[](const ChannelRow&) {},
                                [&](const ProgrammeText& p) { pieces << fields(programmeRow(p)); }};
        const auto read = streamListings(file, zone, sink);
        QCOMPARE(read.has_value(), piecewise);
        if (piecewise)
            QCOMPARE(pieces, expected);

        Env env;
        env.write(Monday, file);
        QCOMPARE(env.import(Monday).status, Status::Imported);
        QStringList stored;
        for (const ProgrammeRow& p : env.rows(Monday))
            stored << fields(p);
        QCOMPARE(stored, expected);
    }

    // A Monday replaces last Monday's table and leaves the other days alone; the day asked for
    // is recorded, with the rows of the dates around it stored along.
    void mondayReplacesLastMonday()
    {
        Env env;
        env.seed(LastMonday, dayFile(LastMonday, 3, 10, "Old"));
        env.seed(Sunday, dayFile(Sunday, 2, 4, "Sun"));
        const auto others = [&] {
            return dump(*env.store).filter(QRegularExpression("^(day[13-7]|dates\\.day[13-7])"));
        };
        const QStringList othersBefore = others();
        QVERIFY(!checkForPrograms(*env.store, Monday));

        env.write(Monday,
                  dayFile(Monday, 4, 6, "New")
                      .replace("</tv>", programme("20031214230000", "", "c1", "New Sunday late") +
                                            programme("20031216010000", "", "c1", "New Tuesday") +
                                            "</tv>"));
        const ImportResult r = env.import(Monday);
        QCOMPARE(r.status, Status::Imported);
        QCOMPARE(r.channels, 4);
        QCOMPARE(r.programmes, 26);
        QCOMPARE(r.recordedDate, Monday);
        QVERIFY(r.message.isEmpty());
        QVERIFY(!env.state.fetchPending && !env.state.importInProgress);
        QVERIFY(checkForPrograms(*env.store, Monday));
        const auto rows = env.rows(Monday);
        QCOMPARE(rows.size(), std::size_t(26));
        for (const ProgrammeRow& p : rows)
            QVERIFY2(p.title.startsWith("New "), qPrintable(p.title));
        QCOMPARE(others(), othersBefore);
        QCOMPARE(env.store->channels().size(), std::size_t(4));
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
        const int notWellFormed = int(Status::NotWellFormed),
                  cannotRead = XmltvLoadError::CannotRead;
        const auto row = [](const char* name, const QByteArray& bytes, int code, int line,
                            const QString& reason) {
            QTest::newRow(name) << bytes << QString() << qint64(0) << int(Status::NotWellFormed)
                                << code << line << reason;
        };
        const auto special = [&](const char* kind, const QString& reason) {
            QTest::newRow(kind) << QByteArray() << QString(kind) << qint64(0) << notWellFormed
                                << cannotRead << 0 << reason;
        };
        const QByteArray good = tv(programme("20031215200000", "", "c", "T"));
        const QString notRegular = "20031215.xml cannot be used: It is not a regular file.";
        special("folder", notRegular);
        special("fifo", notRegular);
        special("device", notRegular);
        special("dangling", "Cannot read the file: No such file or directory");
        // The limit counts the bytes read, also of a file whose size reads as 0.
        QTest::newRow("larger than the limit")
            << good << QString() << qint64(good.size() - 1) << notWellFormed << cannotRead << 0
            << QStringLiteral("The file holds more than %1 bytes.").arg(good.size() - 1);
        QTest::newRow("over the limit, size 0")
            << QByteArray() << QString("proc") << qint64(100) << notWellFormed << cannotRead << 0
            << "The file holds more than 100 bytes.";
        row("empty file", "", XmltvLoadError::NoRootElement, 1, "No document element found.");
        row("text after root", good + "junk", XmltvLoadError::ExtraTopLevelContent, 8,
            "outside the root");
        row("invalid UTF-8", QByteArray(good).replace("<title lang=\"en\">T", "<title>\xFF"),
            XmltvLoadError::InvalidEncodedText, 5, "not valid UTF-8 (byte 0xff)");
        row("invalid Shift_JIS",
            tv(programme("20031215200000", "", "c", "\x82\xA0\xFF\xFE"), "Shift_JIS"),
            XmltvLoadError::InvalidEncodedText, 5,
            "(line 5, position 23): The text is not valid Shift_JIS.");
        row("NUL after the root", good + QByteArray("\0<x/>", 5), XmltvLoadError::NulCharacter, 8,
            "NUL");
        row("unknown encoding", tv("", "x-unknown"), XmltvLoadError::UnsupportedEncoding, 1,
            "The encoding \"x-unknown\" is not supported.");
        // A DOCTYPE belongs before the root only; inside it the file is refused as a whole.
        row("DOCTYPE inside the root",
            tv(programme("20031215200000", "", "c", "T") + "<!DOCTYPE tv SYSTEM \"xmltv.dtd\">"),
            pugi::status_bad_doctype, 7, "(line 7, position 1)");
        row("unclosed element", QByteArray(good).replace("</programme>", ""),
            pugi::status_end_element_mismatch, 7, "(line 7, position 3)");
        const auto nested = [](int levels, bool closed) {
            return tv("<programme start=\"20031215200000\" channel=\"c\">" +
                      QByteArray("<b>").repeated(levels) +
                      (closed ? QByteArray("</b>").repeated(levels) + "</programme>\n" : "\n"));
        };
        row("nested 257 levels deep", nested(255, true), XmltvLoadError::TooDeep, 4,
            "(line 4, position 809): Elements are nested more than 256 levels deep.");
        row("200,000 nested elements", nested(200000, true), XmltvLoadError::TooDeep, 4,
            "nested more than 256 levels");
        QTest::newRow("no programme with a start")
            << tv(channel("c1", "One", "1") +
                  "<programme channel=\"c1\"><title>T</title></programme>")
            << QString() << qint64(0) << int(Status::NoProgrammes) << 0 << 0
            << "20031215.xml holds no programme with a readable start";
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
        otherDays("Monday in UTC, Sunday here", programme("20031215030000 +0000", "", "c", "S"),
                  "2003-12-14");
    }
    void unusableFileIsSetAside()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, special);
        QFETCH(qint64, maxBytes);
        QFETCH(int, code);
        QFETCH(int, line);
        QFETCH(QString, reason);
        Env env;
        env.seed(Monday, dayFile(Monday, 2, 3, "Old"));
        const QStringList before = dump(*env.store);
        const QString path = env.path(Monday), aside = path + ".rejected";
        QVERIFY(QFile::remove(path) && putFile(aside, "an older rejected file"));
        if (special == "folder")
            QVERIFY(QDir().mkdir(path));
        else if (special == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (!special.isEmpty())
            QVERIFY(QFile::link(special == "device" ? "/dev/zero"
                                : special == "proc" ? "/proc/self/status"
                                                    : env.dir.filePath("nowhere"),
                                path));
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
        const ImportResult r = env.import(Monday, hooks, limits);
        QTEST(int(r.status), "status");
        QCOMPARE(fetches, 0);
        QVERIFY2(r.message.startsWith("Program timed out.\n") && r.message.contains(reason) &&
                     r.message.endsWith(" It was moved aside to 20031215.xml.rejected; the day "
                                        "will be fetched again."),
                 qPrintable(r.message));
        QCOMPARE(env.state.loadErrorText, r.message);
        QVERIFY(env.state.fetchPending && !env.state.importInProgress);
        QCOMPARE(dump(*env.store), before);
        QCOMPARE(r.setAside, aside);
        QVERIFY(!QFileInfo(path).exists() && !QFileInfo(path).isSymLink());
        const QFileInfo moved(aside);
        if (special.isEmpty())
            QCOMPARE(readFile(aside), bytes);
        QCOMPARE(moved.isDir(), special == "folder");
        QCOMPARE(moved.isSymLink(),
                 special == "device" || special == "proc" || special == "dangling");
        if (code) {
            QVERIFY2(r.report.contains(QStringLiteral("Error #: %1: ").arg(code)) &&
                         r.report.contains(QStringLiteral("\nLine #: %1\n").arg(line)) &&
                         r.report.contains("\nDocument URL: file:///") &&
                         r.report.contains("20031215.xml"),
                     qPrintable(r.report));
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
            QVERIFY(putFile(xmltv.filePath(name), {}));
        env.write(Monday, tv(programme("20031215080000", "", "c", "Breakfast") + "<oops>"));
        expectParseReport();
        QCOMPARE(env.import(Monday).status, Status::NotWellFormed);
        QVERIFY(QFile::remove(xmltv.filePath("20031215.xml.rejected")));
        QCOMPARE(xmltv.entryList(QDir::Files).size(), kept.size() + removed.size());

        env.write(Monday, dayFile(Monday, 1, 2, "New"));
        QCOMPARE(env.import(Monday).status, Status::Imported);
        QStringList expected = kept + QStringList{"20031215.xml"};
        expected.sort();
        QCOMPARE(xmltv.entryList(QDir::Files, QDir::Name), expected);
    }

    // Whatever byte a download stops at, the old day stays: no prefix of a file passes.
    void fileCutAtManyOffsets()
    {
        Env env;
        env.seed(Monday, dayFile(Monday, 2, 3, "Old"));
        const QStringList before = dump(*env.store);
        const QByteArray full =
            dayFile(Monday, 3, 4, "New").replace("New show 1", "Caf\xC3\xA9 \xE2\x82\xAC");
        const qsizetype end = full.lastIndexOf("</tv>") + 4; // the last byte that may not be lost
        int cuts = 0;
        for (qsizetype at = 0; at <= end; at += (at < 300 ? 1 : 7), ++cuts) {
            env.write(Monday, full.left(at));
            expectParseReport();
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
        for (int i = 1; i <= 9; ++i)
            laughs += "<!ENTITY lol" + QByteArray::number(i) + " \"" +
                      ("&lol" + QByteArray::number(i - 1) + ";").repeated(10) + "\">\n";
        QTest::newRow("billion laughs") << laughs + "]>\n" << QByteArray("&lol9;");
        QTest::newRow("external entity")
            << QByteArray("<!DOCTYPE tv [<!ENTITY xxe SYSTEM \"file://SECRET\">]>\n")
            << QByteArray("&xxe;");
    }
    void entitiesAreNotExpanded()
    {
        QFETCH(QByteArray, doctype);
        QFETCH(QByteArray, title);
        Env env;
        const QString secret = env.dir.filePath("secret.txt");
        QVERIFY(putFile(secret, "TOPSECRET <!ENTITY leak \"TOPSECRET\">"));
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
};

QTEST_GUILESS_MAIN(TestImporter)
#include "tst_importer.moc"
