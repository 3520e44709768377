#include "acquire/coverage.h"
#include "store/listingsstore.h"
#include "store/sqlite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <csignal>
#include <functional>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

using namespace zarvo;

namespace {

const QDate Sunday(2003, 12, 14);
const QDate Monday(2003, 12, 15); // weekday table day2

ProgrammeRow programme(const QString& channel, QDate startDate, QTime start, QDate endDate,
                       QTime end, const QString& title = "Show", bool rerun = false)
{
    return {0,       startDate,  start,   endDate, end,   channel,     title,
            "Pilot", "About it", "Drama", "TV-PG", rerun, std::nullopt};
}

// A Monday programme on c1 from `hour` to half past.
ProgrammeRow monday(int hour, const QString& title = "Show", const QString& channel = "c1",
                    bool rerun = false)
{
    return programme(channel, Monday, QTime(hour, 0), Monday, QTime(hour, 30), title, rerun);
}

// Runs SQL on the file with SQLite alone, outside the store; the first column of each row.
QStringList rawQuery(const QString& path, const char* sql)
{
    Database db(path, Database::Mode::OpenExisting);
    Statement s(db, sql);
    QStringList rows;
    while (s.step())
        rows << (s.isNull(0) ? QStringLiteral("NULL") : s.text(0));
    return rows;
}

// Runs SQL on the file through the SQLite C API alone, creating the file when missing; the
// error text, empty when it ran.
QString rawExec(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    const QByteArray name = path.toUtf8();
    QString error;
    if (sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
    } else {
        char* message = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK)
            error = QString::fromUtf8(message ? message : "failed");
        sqlite3_free(message);
    }
    sqlite3_close(db);
    return error;
}

// The layout schema version 1 created, as that version wrote it, with rows in every table: two
// channels, three Monday programmes in day2 (ids 5, 6, 7; day2 has handed out ids up to 57),
// Monday in `dates`, a season rule typed with "and" and one row of the log.
QString writeVersion1File(const QString& path)
{
    QByteArray sql;
    for (int day = 1; day <= 7; ++day)
        sql += QStringLiteral(
                   "CREATE TABLE day%1 (programid INTEGER PRIMARY KEY, "
                   "startdate TEXT NOT NULL, starttime TEXT NOT NULL, "
                   "enddate TEXT NOT NULL, endtime TEXT NOT NULL, "
                   "channel TEXT NOT NULL, title TEXT NOT NULL, subtitle TEXT NOT NULL DEFAULT '', "
                   "description TEXT NOT NULL DEFAULT '', category TEXT NOT NULL DEFAULT '', "
                   "rating TEXT NOT NULL DEFAULT '', rerun INTEGER NOT NULL DEFAULT 0, "
                   "action TEXT NULL DEFAULT NULL);"
                   "CREATE INDEX day%1_title ON day%1(title);")
                   .arg(day)
                   .toUtf8();
    sql += "CREATE TABLE channels (channelid TEXT NOT NULL, channelname TEXT NOT NULL, "
           "channelnum TEXT NOT NULL, icon TEXT NOT NULL, numkey REAL);"
           "CREATE INDEX channels_channelid ON channels(channelid);"
           "CREATE TABLE lastprogramid (day INTEGER PRIMARY KEY, programid INTEGER NOT NULL);"
           "CREATE TABLE dates (day1 TEXT, day2 TEXT, day3 TEXT, day4 TEXT, day5 TEXT, "
           "day6 TEXT, day7 TEXT);"
           "CREATE TABLE scheduled (programtitle TEXT NOT NULL, recordtype TEXT NOT NULL, "
           "recordchannel TEXT NOT NULL);"
           "CREATE INDEX scheduled_title ON scheduled(programtitle, recordchannel);"
           "CREATE TABLE recorded (startdate TEXT, starttime TEXT, enddate TEXT, endtime TEXT, "
           "channel TEXT, title TEXT, subtitle TEXT, description TEXT, category TEXT, "
           "rating TEXT, filename TEXT, realdate TEXT, realtime TEXT, station TEXT, mode TEXT, "
           "duration TEXT);"
           "PRAGMA application_id = 1515345484; PRAGMA user_version = 1;"
           "INSERT INTO channels VALUES ('c1', '2 ABC', '2', 'abc.png', 2), "
           "('c2', '4 NBC', '4', '', 4);"
           "INSERT INTO day2 VALUES "
           "(5, '2003-12-15', '20:00:00', '2003-12-15', '21:00:00', 'c1', 'Law & Order', "
           "'Pilot', 'A case', 'Drama', 'TV-14', 0, NULL), "
           "(6, '2003-12-15', '21:00:00', '2003-12-15', '21:30:00', 'c1', 'News', '', '', '', "
           "'', 0, 'record'), "
           "(7, '2003-12-15', '20:00:00', '2003-12-15', '20:30:00', 'c2', 'Quiz', '', '', '', "
           "'', 1, NULL);"
           "INSERT INTO lastprogramid VALUES (2, 57);"
           "INSERT INTO dates VALUES ('2000-01-01', '2003-12-15', '2000-01-01', '2000-01-01', "
           "'2000-01-01', '2000-01-01', '2000-01-01');"
           "INSERT INTO scheduled VALUES ('Law and Order', 'season', '2 ABC');"
           "INSERT INTO recorded VALUES ('20031216', '01:00', '20031216', '02:00', '2', 'News', "
           "'', '', '', '', 'News on 2 ABC', '12/15/2003', '20:00', 'ABC', 'cable', '00:30');";
    return rawExec(path, sql.constData());
}

// Every row of every table, as text: what a migration must keep.
QStringList rowsOf(const QString& path)
{
    QStringList rows;
    for (const QString& table :
         rawQuery(path, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
        const QStringList columns =
            rawQuery(path, QStringLiteral("SELECT 'quote(' || name || ')' FROM "
                                          "pragma_table_info('%1') ORDER BY cid")
                               .arg(table)
                               .toUtf8()
                               .constData());
        rows << rawQuery(path, QStringLiteral("SELECT '%1|' || %2 FROM %1 ORDER BY rowid")
                                   .arg(table, columns.join(" || '|' || "))
                                   .toUtf8()
                                   .constData());
    }
    return rows;
}

// The tables and indexes with the SQL that made them.
QStringList schemaOf(const QString& path)
{
    return rawQuery(path, "SELECT type || ' ' || name || ': ' || coalesce(sql, '') FROM "
                          "sqlite_master ORDER BY type, name");
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <typename Row> QStringList titles(const Snapshot<Row>& rows)
{
    QStringList result;
    for (const Row& row : rows.rows()) {
        if constexpr (std::is_same_v<Row, ListingRow>)
            result << row.programme.title;
        else
            result << row.title;
    }
    return result;
}

} // namespace

class TestListingsStore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_fileCount = 0;
    QString newPath() { return m_dir.filePath(QStringLiteral("db%1.db").arg(++m_fileCount)); }

private Q_SLOTS:
    void newDatabaseAndReopen_data()
    {
        QTest::addColumn<bool>("emptyFileFirst");
        QTest::newRow("missing file") << false;
        QTest::newRow("empty file") << true;
    }
    void newDatabaseAndReopen()
    {
        QFETCH(bool, emptyFileFirst);
        const QString path = newPath();
        if (emptyFileFirst)
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        qint32 id = 0;
        {
            ListingsStore store(path);
            for (int day = 1; day <= 7; ++day)
                QCOMPARE(store.storedDate(day), ListingsStore::initialDate());
            QVERIFY(store.channels().isEmpty());
            QVERIFY(store.rules().empty());
            store.insertChannel({"c1", "2 ABC", "2", "abc.png"});
            id = store.insertProgramme(2, monday(20));
            store.insertRule({"Show", "season", "2 ABC"});
            QVERIFY(store.setAction(2, id, QStringLiteral("season")));
            QVERIFY(!checkForPrograms(store, Monday));
            store.setStoredDate(2, Monday);
            QVERIFY(checkForPrograms(store, Monday));
        }
        QCOMPARE(rawQuery(path, "SELECT name FROM sqlite_master WHERE type = 'table' AND name "
                                "NOT LIKE 'sqlite_%' AND name <> 'lastprogramid' ORDER BY name"),
                 QStringList({"channels", "dates", "day1", "day2", "day3", "day4", "day5", "day6",
                              "day7", "recorded", "scheduled"}));
        QCOMPARE(rawQuery(path, "SELECT count(*) || day2 || day7 FROM dates"),
                 QStringList{"12003-12-152000-01-01"});
        {
            ListingsStore store(path); // so the file is marked as ours, at the current version
            QCOMPARE(store.storedDate(2), Monday);
            QCOMPARE(store.channels().rows(),
                     std::vector<ChannelRow>({ChannelRow{"c1", "2 ABC", "2", "abc.png"}}));
            QCOMPARE(store.programme(2, id)->action, std::optional<QString>("season"));
            QCOMPARE(store.rules(), std::vector<RuleRow>({RuleRow{"Show", "season", "2 ABC"}}));
            // A lost `dates` row fails readers and the importer's update until the next open.
            QCOMPARE(rawExec(path, "DELETE FROM dates"), QString());
            QVERIFY_THROWS_EXCEPTION(StoreError, store.storedDate(1));
            QVERIFY_THROWS_EXCEPTION(StoreError, store.setStoredDate(1, Sunday));
        }
        ListingsStore store(path);
        QCOMPARE(rawQuery(path, "SELECT count(*) FROM dates"), QStringList{"1"});
        for (int day = 1; day <= 7; ++day)
            QCOMPARE(store.storedDate(day), ListingsStore::initialDate());
    }

    // A file that is not ours, or that a newer version wrote, is refused and left untouched.
    void refusesFilesNotOurs_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        const QString notOurs = QStringLiteral("is not a Zarvo Guide listings database");
        QTest::newRow("random bytes") << "random" << notOurs;
        QTest::newRow("text file") << "text" << notOurs;
        QTest::newRow("foreign SQLite") << "foreign" << notOurs;
        QTest::newRow("our tables, no application id") << "unmarked" << notOurs;
        QTest::newRow("newer schema")
            << "newer" << QStringLiteral("was written by a newer version");
    }
    void refusesFilesNotOurs()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("listings.db");
        if (kind == "random" || kind == "text") {
            QByteArray bytes = kind == "text" ? "channel,title\n5,News\n" : "";
            while (kind == "random" && bytes.size() < 8192)
                bytes.append(char(QRandomGenerator::global()->bounded(256)));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        } else if (kind == "foreign") {
            Database(path, Database::Mode::CreateIfMissing)
                .exec("CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('keep me')");
        } else {
            ListingsStore{path};
            const QByteArray newer =
                "PRAGMA user_version = " + QByteArray::number(ListingsStore::SchemaVersion + 1);
            Database(path, Database::Mode::OpenExisting)
                .exec(kind == "newer" ? newer.constData() : "PRAGMA application_id = 0");
        }
        const QByteArray before = fileBytes(path);
        const QStringList filesBefore = QDir(dir.path()).entryList(QDir::Files);
        try {
            ListingsStore store(path);
            QFAIL("the file was opened");
        } catch (const StoreError& error) {
            QVERIFY2(error.message().contains(expected), qPrintable(error.message()));
            QVERIFY2(error.message().contains(path), qPrintable(error.message()));
        }
        QCOMPARE(fileBytes(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), filesBefore);
        QVERIFY_THROWS_EXCEPTION(StoreError, ListingsStore{dir.filePath("no-such/listings.db")});
    }

    // A process killed in the middle of an import leaves a hot journal; the next open must roll
    // it back (the read-only check alone cannot) and find the last committed listings.
    void killedImportRolledBack()
    {
        const QString path = newPath();
        {
            ListingsStore store(path);
            store.insertChannel({"c1", "2 ABC", "2", "abc.png"});
            for (int i = 0; i < 3; ++i)
                store.insertProgramme(
                    1, programme("c1", Sunday, QTime(i, 0), Sunday, QTime(i, 30), "Old"));
            store.setStoredDate(1, Sunday);
        }
        const qint64 sizeBefore = QFileInfo(path).size();
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            int code = 3;
            try {
                ListingsStore store(path);
                // Rows large enough to outgrow the store's page cache, so that SQLite writes
                // changed pages into the file itself before the commit; the kill comes once it
                // has, so that the next open has a real rollback to make.
                const QDate next = Sunday.addDays(7);
                std::vector<ProgrammeRow> rows;
                for (int i = 0; i < 20000; ++i) {
                    rows.push_back(programme("c1", next, QTime(i % 24, 0), next, QTime(i % 24, 30),
                                             QString(20, 'n')));
                    rows.back().description = QString(3000, QChar(u'a' + i % 26));
                }
                store.replaceDay(1, next, {{"c2", "3 NBC", "3", ""}}, rows, [&](int stored) {
                    if (stored % 500 == 0 && QFileInfo(path).size() > sizeBefore)
                        raise(SIGKILL);
                });
                code = 4; // committed without the file ever growing
            } catch (...) {
            }
            _exit(code);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL,
                 qPrintable(QString("the child ended with %1").arg(status)));
        QVERIFY2(QFile::exists(path + "-journal"), "the child left no journal to roll back");

        ListingsStore store(path);
        QCOMPARE(store.storedDate(1), Sunday);
        QCOMPARE(
            titles(store.guideWindow(1, QTime(1, 0), QTime(1, 30), QTime(1, 55), Sunday).firstHalf),
            QStringList{"Old"});
        QCOMPARE(store.dayProgrammes(1).size(), std::size_t(3));
        QCOMPARE(store.channels().rows(),
                 std::vector<ChannelRow>({ChannelRow{"c1", "2 ABC", "2", "abc.png"}}));
        QCOMPARE(rawQuery(path, "PRAGMA integrity_check"), QStringList{"ok"});
    }

    void insertedProgrammes()
    {
        const QString path = newPath();
        qint32 lastId = 0;
        {
            ListingsStore store(path);
            // Values are bound, never pasted: quotes and SQL in texts come back exactly.
            ProgrammeRow row = programme("o'b", Monday, QTime(23, 30, 15), Monday.addDays(1),
                                         QTime(0, 30), "Bob's 'Late'", true);
            row.description = "It's; DROP TABLE day2; --";
            row.rating = "PG'13";
            row.programid = 999;                   // ignored
            row.action = QStringLiteral("record"); // ignored: new rows are unmarked
            const qint32 first = store.insertProgramme(2, row);
            QVERIFY(first > 0);
            QVERIFY(store.insertProgramme(2, row) > first);
            row.programid = first;
            row.action = std::nullopt;
            QCOMPARE(store.programme(2, first), std::optional<ProgrammeRow>(row));
            store.insertProgramme(
                2, programme("c1", Sunday, QTime(11, 59, 59), Monday, QTime(12, 30)));
            store.insertProgramme(2, monday(6));

            // Ids are not handed out again after the day is emptied, even across a reopen.
            lastId = store.insertProgramme(2, row);
            store.replaceDay(2, Monday, {}, {});
        }
        ListingsStore store(path);
        QCOMPARE(store.programme(2, lastId), std::nullopt);
        const qint32 next = store.insertProgramme(2, monday(8));
        QVERIFY2(next > lastId, qPrintable(QString("%1 after %2").arg(next).arg(lastId)));
        QVERIFY(store.insertProgramme(2, monday(9)) > next);
        QCOMPARE(store.insertProgramme(3, monday(8)), 1); // another day table keeps its own count
        QVERIFY_THROWS_EXCEPTION(
            StoreError,
            store.insertProgramme(2, programme("c1", QDate(), QTime(8, 0), Monday, QTime(9, 0))));
    }

    void statementsPreparedOnce()
    {
        ListingsStore store(newPath());
        std::vector<ProgrammeRow> rows;
        for (int i = 0; i < 200; ++i)
            rows.push_back(monday(i % 24));
        const std::vector<ChannelRow> channels = {{"c1", "2 ABC", "2", "abc.png"},
                                                  {"c2", "3 NBC", "3", "nbc.png"}};
        // The first import into an empty table and the next one (which moves the first id on
        // past the old ones) between them prepare all there is; a third reuses every one.
        store.replaceDay(4, Monday, channels, rows);
        store.replaceDay(4, Monday, channels, rows);
        const std::size_t prepared = store.cachedStatements();
        QVERIFY2(prepared <= 8, qPrintable(QString::number(prepared)));
        store.replaceDay(4, Monday, channels, rows);
        QCOMPARE(store.cachedStatements(), prepared);
        QCOMPARE(store.dayProgrammes(4).size(), std::size_t(200));
    }

    void failures()
    {
        const QString path = newPath();
        ListingsStore store(path);
        const auto refused = [](auto&& call, const char* text) {
            try {
                call();
            } catch (const StoreError& error) {
                return error.message().contains(text);
            }
            return false;
        };
        for (int day : {0, 8}) {
            QVERIFY(refused([&] { store.replaceDay(day, Monday, {}, {}); }, "outside 1..7"));
            QVERIFY(refused([&] { store.insertProgramme(day, monday(20)); }, "outside 1..7"));
            QVERIFY(refused([&] { store.storedDate(day); }, "outside 1..7"));
            QVERIFY(refused([&] { store.setStoredDate(day, Monday); }, "outside 1..7"));
            QVERIFY(refused(
                [&] {
                    store.guideWindow(day, {20, 0}, {20, 30}, {20, 55}, Monday);
                },
                "outside 1..7"));
            QVERIFY(refused([&] { store.seasonMatches(day); }, "outside 1..7"));
            QVERIFY(refused([&] { store.setAction(day, 1, std::nullopt); }, "outside 1..7"));
        }
        QVERIFY(refused([&] { store.replaceDay(2, QDate(), {}, {}); }, "no valid date"));
        // An SQLite failure names the operation and SQLite's reason.
        QCOMPARE(rawExec(path, "DROP TABLE day3"), QString());
        QVERIFY(refused([&] { store.dayProgrammes(3); }, "dayProgrammes"));
        QVERIFY(refused([&] { store.dayProgrammes(3); }, "no such table"));
    }

    // The guide's two half-hour windows and the channel map's window. Programme times are a day
    // letter (S Sunday, M Monday, T Tuesday) and a time; the window is on Monday.
    void windows_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QTime>("from");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("shown");
        const auto add = [](const char* name, const char* query, const char* from,
                            const char* start, const char* end, bool shown) {
            QTest::newRow(name) << QString(query) << QTime::fromString(from, "HH:mm") << start
                                << end << shown;
        };
        add("20-21 first", "first", "20:00", "M20:00", "M21:00", true);
        add("20-21 second", "second", "20:30", "M20:00", "M21:00", true);
        add("20-20:30 not second", "second", "20:30", "M20:00", "M20:30", false);
        add("20:30-21 not first", "first", "20:00", "M20:30", "M21:00", false);
        add("20:30-21 second", "second", "20:30", "M20:30", "M21:00", true);
        add("20:55 not second", "second", "20:30", "M20:55", "M21:30", false);
        add("19-20 ended", "first", "20:00", "M19:00", "M20:00", false);
        add("19:30-20:15 running", "first", "20:00", "M19:30", "M20:15", true);
        add("19:30-20:15 over by second", "second", "20:30", "M19:30", "M20:15", false);
        add("day before to 0:30 in 0:00", "first", "00:00", "S23:30", "M00:30", true);
        add("day before to 0:30 not in 0:30", "second", "00:30", "S23:30", "M00:30", false);
        add("day before to 1:00 in 0:30", "second", "00:30", "S23:30", "M01:00", true);
        add("23:30-0:30 in 23:30", "second", "23:30", "M23:30", "T00:30", true);
        add("23-0:30 in 23:30", "second", "23:30", "M23:00", "T00:30", true);
        add("22-0:30 in 23:00", "first", "23:00", "M22:00", "T00:30", true);
        add("22-23 over by 23:00", "first", "23:00", "M22:00", "M23:00", false);
        add("map 20:29 start", "map", "20:00", "M20:29", "M21:00", true);
        add("map 20:30 start", "map", "20:00", "M20:30", "M21:00", false);
        add("map 19:30-20 ended", "map", "20:00", "M19:30", "M20:00", false);
        add("map 23:45 not before 0:00", "map", "23:30", "M23:45", "T00:15", false);
        add("map 23-0:30 running", "map", "23:30", "M23:00", "T00:30", true);
        add("map from the day before running", "map", "20:00", "S23:00", "M20:15", true);
        // Rows of other dates never show, whatever their times of day.
        add("tomorrow 20:00 not in 20:00", "first", "20:00", "T20:00", "T21:00", false);
        add("tomorrow 20:40 not in 20:30", "second", "20:30", "T20:40", "T21:00", false);
        add("day before 21-22 not in 20:00", "first", "20:00", "S21:00", "S22:00", false);
        add("day before 21-22 not in 21:00", "first", "21:00", "S21:00", "S22:00", false);
        add("day before 23-M20:15 running", "first", "20:00", "S23:00", "M20:15", true);
        add("map tomorrow not in 20:00", "map", "20:00", "T20:10", "T21:00", false);
    }
    void windows()
    {
        QFETCH(QString, query);
        QFETCH(QTime, from);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, shown);
        const auto date = [](const QString& s) {
            return Monday.addDays(QString("SMT").indexOf(s[0]) - 1);
        };
        const auto time = [](const QString& s) { return QTime::fromString(s.mid(1), "HH:mm"); };
        ListingsStore store(newPath());
        const ChannelRow channel{"c1", "2 ABC", "2", "abc.png"};
        store.insertChannel(channel);
        ProgrammeRow row =
            programme("c1", date(start), time(start), date(end), time(end), "Target");
        row.programid = store.insertProgramme(2, row);
        // The same programme on a channel missing from `channels` is never shown.
        store.insertProgramme(2, programme("gone", date(start), time(start), date(end), time(end)));
        // first [from, from+30), second [from, from+25), map [from, from+30).
        const QTime t00 = query == "second" ? from.addSecs(-1800) : from;
        const ListingsStore::GuideWindow window =
            store.guideWindow(2, t00, t00.addSecs(1800), t00.addSecs(3300), Monday);
        const Snapshot<ListingRow> rows =
            query == "first"    ? window.firstHalf
            : query == "second" ? window.secondHalf
                                : store.channelMapWindow(Monday, from, from.addSecs(1800));
        QCOMPARE(rows.size(), std::size_t(shown ? 1 : 0));
        if (shown) {
            QCOMPARE(rows.current().programme, row);
            QCOMPARE(rows.current().channel, channel);
            QCOMPARE(rows.current().dayTable, 2);
        }
        QCOMPARE(window.channels.rows(), std::vector<ChannelRow>{channel});
    }

    // A day file that holds three dates (a grabber that pads the day, or cuts it at another
    // zone's midnight) shows only its own date's programmes in every window of that date.
    void threeDatesInOneDayTable()
    {
        ListingsStore store(newPath());
        store.insertChannel({"c1", "2 ABC", "2", ""});
        for (const QDate date : {Monday, Monday.addDays(1), Monday.addDays(2)})
            for (int h = 0; h < 24; ++h)
                store.insertProgramme(2, programme("c1", date, QTime(h, 0), date.addDays(h / 23),
                                                   QTime((h + 1) % 24, 0),
                                                   date.toString("ddd ") + QString::number(h)));
        store.insertProgramme(
            2, programme("c1", Sunday, QTime(23, 30), Monday, QTime(0, 30), "Sun late"));
        store.setStoredDate(2, Monday);
        for (int h = 0; h < 24; ++h) {
            const ListingsStore::GuideWindow window =
                store.guideWindow(2, QTime(h, 0), QTime(h, 30), QTime(h, 55), Monday);
            const QString own = "Mon " + QString::number(h);
            QCOMPARE(titles(window.firstHalf),
                     h == 0 ? QStringList({"Sun late", own}) : QStringList{own});
            QCOMPARE(titles(window.secondHalf), QStringList{own});
        }
    }

    // The evening before's programme that runs past midnight, when only the day before's table
    // holds it: it shows when that table holds the day before, and never twice.
    void eveningBeforeFromTheDayBeforesTable_data()
    {
        QTest::addColumn<QDate>("previousHolds");
        QTest::addColumn<bool>("ownHasIt");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QList<int>>("tables");
        QTest::newRow("day before stored")
            << Sunday << false << QStringList{"Late", "Mon 0"} << QList<int>{1, 2};
        QTest::newRow("an older week stored")
            << Sunday.addDays(-7) << false << QStringList{"Mon 0"} << QList<int>{2};
        QTest::newRow("both hold it")
            << Sunday << true << QStringList{"Late", "Mon 0"} << QList<int>{2, 2};
    }
    void eveningBeforeFromTheDayBeforesTable()
    {
        QFETCH(QDate, previousHolds);
        QFETCH(bool, ownHasIt);
        QFETCH(QStringList, first);
        QFETCH(QList<int>, tables);
        ListingsStore store(newPath());
        store.insertChannel({"c1", "2 ABC", "2", ""});
        const ProgrammeRow late =
            programme("c1", Sunday, QTime(23, 30), Monday, QTime(0, 30), "Late");
        store.insertProgramme(1, late);
        store.insertProgramme(1,
                              programme("c1", Sunday, QTime(21, 0), Sunday, QTime(22, 0), "Eve"));
        // The day before's file pads with this day's early programmes; the day's own rows win.
        store.insertProgramme(1, programme("c1", Monday, QTime(0, 0), Monday, QTime(1, 0), "Pad"));
        store.setStoredDate(1, previousHolds);
        if (ownHasIt)
            store.insertProgramme(2, late);
        store.insertProgramme(2,
                              programme("c1", Monday, QTime(0, 0), Monday, QTime(1, 0), "Mon 0"));
        store.setStoredDate(2, Monday);
        const ListingsStore::GuideWindow window =
            store.guideWindow(2, QTime(0, 0), QTime(0, 30), QTime(0, 55), Monday);
        QCOMPARE(titles(window.firstHalf), first);
        QList<int> read;
        for (const ListingRow& row : window.firstHalf.rows())
            read << row.dayTable;
        QCOMPARE(read, tables);
        QCOMPARE(titles(window.secondHalf), QStringList{"Mon 0"});
    }

    void channelOrder()
    {
        // Numbers by value (" 11 " reads as 11), ties in insertion order; then the numbers that
        // are not numbers, by their text. Channel ids a, b, c, ... in insertion order.
        ListingsStore store(newPath());
        const char* const numbers[] = {"10", "9", "ABC", "5.1", "2", "A", "2", " 11 ", "Z", "5-1"};
        for (int i = 0; i < 10; ++i)
            store.insertChannel({QChar(u'a' + i), "", numbers[i], ""});
        QString order;
        const Snapshot<ChannelRow> channels = store.channels();
        for (const ChannelRow& row : channels.rows())
            order += row.channelid;
        QCOMPARE(order, QString("egdbahjfci"));
    }

    void windowRowsInChannelOrder()
    {
        ListingsStore store(newPath());
        for (const ChannelRow& channel : std::vector<ChannelRow>{
                 {"c10", "10 TEN", "10", ""}, {"cX", "X", "X", ""}, {"c9", "9 NINE", "9", ""}})
            store.insertChannel(channel);
        // Within a channel: by start, then by id for equal starts; inserted in reverse.
        for (const QString c : {"c10", "cX", "c9"}) {
            store.insertProgramme(
                2, programme(c, Monday, QTime(20, 15), Monday, QTime(20, 45), c + " 20:15 b"));
            store.insertProgramme(
                2, programme(c, Monday, QTime(20, 0), Monday, QTime(20, 15), c + " 20:00"));
            store.insertProgramme(
                2, programme(c, Sunday, QTime(23, 0), Monday, QTime(20, 15), c + " earlier"));
        }
        store.insertProgramme(
            2, programme("c9", Monday, QTime(20, 15), Monday, QTime(20, 30), "c9 20:15 c"));
        const QStringList expected = {"c9 earlier",  "c9 20:00",  "c9 20:15 b",  "c9 20:15 c",
                                      "c10 earlier", "c10 20:00", "c10 20:15 b", "cX earlier",
                                      "cX 20:00",    "cX 20:15 b"};
        QCOMPARE(titles(store.dayProgrammes(2)), expected);
        QCOMPARE(titles(store.channelMapWindow(Monday, QTime(20, 0), QTime(20, 30))), expected);
        const ListingsStore::GuideWindow window =
            store.guideWindow(2, QTime(20, 0), QTime(20, 30), QTime(20, 55), Monday);
        QCOMPARE(titles(window.firstHalf), expected);
        QCOMPARE(titles(window.secondHalf),
                 QStringList({"c9 20:15 b", "c10 20:15 b", "cX 20:15 b"}));
    }

    void ruleMatches()
    {
        ListingsStore store(newPath());
        store.insertChannel({"c1", "2 O'Brien's", "2", ""});
        store.insertChannel({"c2", "4 NBC", "4", ""});
        const auto add = [&](const char* title, const char* channel, int hour, bool rerun,
                             std::optional<QString> action = std::nullopt) {
            const qint32 id = store.insertProgramme(2, monday(hour, title, channel, rerun));
            if (action)
                store.setAction(2, id, action);
            return id;
        };
        const qint32 firstShowing = add("Bob's", "c1", 20, false);
        add("Bob's", "c1", 21, true);            // rerun
        add("Bob's", "c2", 19, false);           // other channel
        add("Bob's", "c1", 18, false, "record"); // already marked
        add("Bob's", "c1", 17, false, " ");      // marked not to record
        add("bob's", "c1", 16, false);           // another title
        const qint32 rerunAll = add("Other", "c1", 22, true);
        const qint32 otherChannel = add("Other", "c2", 10, false);
        add("Other", "c2", 11, false, "all");
        store.insertRule({"Bob's", "season", "2 O'Brien's"});
        store.insertRule({"Other", "all", "4 NBC"});
        store.insertRule({"Other", "season", "2 O'Brien's"}); // a rerun: no season match

        const auto season = store.seasonMatches(2);
        QCOMPARE(season.size(), std::size_t(1));
        QCOMPARE(season.current().programme.programid, firstShowing);
        QCOMPARE(season.current().channel.channelname, QString("2 O'Brien's"));
        QCOMPARE(season.current().rule, (RuleRow{"Bob's", "season", "2 O'Brien's"}));
        const auto all = store.allMatches(2);
        QCOMPARE(all.size(), std::size_t(2));
        QCOMPARE(all.rows()[0].programme.programid, otherChannel); // 10:00 before 22:00
        QCOMPARE(all.rows()[1].programme.programid, rerunAll);
        QCOMPARE(all.rows()[1].rule.recordtype, QString("all"));
        // Once marked, a programme is not matched again.
        QVERIFY(store.setAction(2, firstShowing, QStringLiteral("season")));
        QVERIFY(store.seasonMatches(2).isEmpty());
    }

    void marksAndRules()
    {
        ListingsStore store(newPath());
        const qint32 id = store.insertProgramme(5, monday(20));
        for (const std::optional<QString>& action :
             {std::optional<QString>("record"), std::optional<QString>(" "),
              std::optional<QString>()}) {
            QVERIFY(store.setAction(5, id, action));
            QCOMPARE(store.programme(5, id)->action, action);
        }
        QVERIFY(!store.setAction(5, id + 1, QStringLiteral("record")));
        QVERIFY(!store.setAction(4, id, QStringLiteral("record")));
        QCOMPARE(store.programme(5, id + 1), std::nullopt);

        store.insertRule({"Bob's", "season", "2 O'Brien's"});
        store.insertRule({"Bob's", "season", "4 NBC"});
        store.insertRule({"News", "all", "2 O'Brien's"});
        QCOMPARE(store.rule("Bob's", "4 NBC"),
                 std::optional<RuleRow>({"Bob's", "season", "4 NBC"}));
        QCOMPARE(store.rule("Bob's", "9 CBS"), std::nullopt);
        QCOMPARE(store.rule("bob's", "2 O'Brien's"), std::nullopt);
        // An existing rule of the title and channel changes its type, the others stay.
        store.upsertRule({"Bob's", "all", "4 NBC"});
        QCOMPARE(store.rule("Bob's", "4 NBC")->recordtype, QString("all"));
        QCOMPARE(store.rule("Bob's", "2 O'Brien's")->recordtype, QString("season"));
        QCOMPARE(store.rules().size(), std::size_t(3));
        // A channel without one gets a new rule.
        store.upsertRule({"Bob's", "all", "9 CBS"});
        QCOMPARE(store.rules().size(), std::size_t(4));
        QCOMPARE(store.rule("Bob's", "9 CBS"), std::optional<RuleRow>({"Bob's", "all", "9 CBS"}));
        // "&" and "and" alike: the rule stored with "and" is the one changed, its text kept.
        store.insertRule({"Law and Order", "season", "4 NBC"});
        store.upsertRule({"Law & Order", "all", "4 NBC"});
        QCOMPARE(store.rule("Law & Order", "4 NBC"),
                 std::optional<RuleRow>({"Law and Order", "all", "4 NBC"}));
        QCOMPARE(store.rules().size(), std::size_t(5));
        QCOMPARE(store.deleteRules("Law & Order"), 1);
        QCOMPARE(store.deleteRules("Bob's"), 3);
        QCOMPARE(store.rules(), std::vector<RuleRow>({RuleRow{"News", "all", "2 O'Brien's"}}));
        QCOMPARE(store.deleteRules("Bob's"), 0);
    }

    void recordedLog()
    {
        const QString path = newPath();
        // A selection that names no table: nothing to mark, the row is logged all the same.
        QVERIFY(!ListingsStore{path}.markAndLog(
            0, 1, "record",
            {"20031215", "01:00", "20031215", "02:00", "2 ABC", "Bob's", "Sub", "Desc", "Cat", "PG",
             "program.tvpi", "12/15/2003", "20:00:00", "ABC", "cable", "01:00"}));
        QCOMPARE(rawQuery(path, "SELECT startdate || '|' || starttime || '|' || enddate || '|' || "
                                "endtime || '|' || channel || '|' || title || '|' || subtitle || "
                                "'|' || description || '|' || category || '|' || rating || '|' "
                                "|| filename || '|' || realdate || '|' || realtime || '|' || "
                                "station || '|' || mode || '|' || duration FROM recorded"),
                 QStringList{"20031215|01:00|20031215|02:00|2 ABC|Bob's|Sub|Desc|Cat|PG|"
                             "program.tvpi|12/15/2003|20:00:00|ABC|cable|01:00"});
    }

    // CheckForPrograms against the raw `dates`.day2 value: 1 present, 0 missing, -1 an error.
    void coverage_data()
    {
        QTest::addColumn<QString>("stored"); // a null text stores NULL; "-" deletes the row
        QTest::addColumn<QDate>("day");
        QTest::addColumn<int>("present");
        QTest::newRow("a week old") << "2003-12-08" << Monday << 0;
        QTest::newRow("same day") << "2003-12-15" << Monday << 1;
        QTest::newRow("with a time of day") << "2003-12-15 00:00:00" << Monday << 1;
        QTest::newRow("same day of another year") << "2003-12-15" << QDate(2008, 12, 15) << 0;
        QTest::newRow("another weekday's column") << "2003-12-16" << QDate(2003, 12, 16) << 0;
        QTest::newRow("column NULL") << QString() << Monday << -1;
        QTest::newRow("not a date") << "soon" << Monday << -1;
        QTest::newRow("no dates row") << "-" << Monday << -1;
    }
    void coverage()
    {
        QFETCH(QString, stored);
        QFETCH(QDate, day);
        QFETCH(int, present);
        const QString path = newPath();
        ListingsStore store(path);
        if (stored == "-") {
            QCOMPARE(rawExec(path, "DELETE FROM dates"), QString());
        } else {
            Database raw(path, Database::Mode::OpenExisting);
            Statement(raw, "UPDATE dates SET day2 = ?").bind(1, stored).run();
        }
        if (present < 0)
            QVERIFY_THROWS_EXCEPTION(StoreError, checkForPrograms(store, day));
        else
            QCOMPARE(checkForPrograms(store, day), present == 1);
        if (stored != "-") // other weekdays are unaffected
            QVERIFY(!checkForPrograms(store, Sunday));
    }

    // --- units of work ----------------------------------------------------------------------

    // A day stored the way an import stores it, replacing the day's table, the channels and the
    // day's date, and nothing else.
    void replaceDayReplacesTheDay()
    {
        ListingsStore store(newPath());
        store.replaceDay(2, Monday.addDays(-7), {{"c1", "2 ABC", "2", "abc.png"}},
                         {monday(19, "Old"), monday(20, "Old")});
        qint32 oldLast = 0;
        const Snapshot<ProgrammeRow> oldDay = store.dayProgrammes(2);
        for (const ProgrammeRow& row : oldDay.rows())
            oldLast = std::max(oldLast, row.programid);
        store.insertProgramme(1, programme("c1", Sunday, QTime(20, 0), Sunday, QTime(21, 0)));
        store.setStoredDate(1, Sunday);
        store.insertRule({"New", "season", "3 NBC"});

        QList<int> told;
        const std::vector<ChannelRow> channels = {{"c2", "3 NBC", "3", "nbc.png"},
                                                  {"c3", "5 CBS", "5", ""}};
        ProgrammeRow marked = monday(21, "New", "c2");
        marked.programid = 999;              // ignored
        marked.action = QStringLiteral(" "); // ignored
        store.replaceDay(2, Monday, channels,
                         {monday(20, "New", "c2"), marked, monday(6, "New", "c3")},
                         [&](int stored) { told << stored; });
        QCOMPARE(told, QList<int>({0, 0, 1, 2, 3}));
        QCOMPARE(store.storedDate(2), Monday);
        QCOMPARE(store.channels().rows(), channels);
        const Snapshot<ProgrammeRow> day = store.dayProgrammes(2);
        QCOMPARE(titles(day), QStringList({"New", "New", "New"}));
        for (const ProgrammeRow& row : day.rows()) {
            QVERIFY2(row.programid > oldLast, qPrintable(QString::number(row.programid)));
            QCOMPARE(row.action, std::nullopt);
        }
        // The other day, its date and the rules stay.
        QCOMPARE(store.dayProgrammes(1).size(), std::size_t(1));
        QCOMPARE(store.storedDate(1), Sunday);
        QCOMPARE(store.rules().size(), std::size_t(1));
        QCOMPARE(store.seasonMatches(2).size(), std::size_t(2));
    }

    // Whatever fails half-way through a day, the old day, its channels and its date stay whole.
    void replaceDayFailureKeepsTheOldDay_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("a programme without a start") << "row"
                                                     << "no valid start or end";
        QTest::newRow("SQLite refuses a row") << "trigger"
                                              << "disk on fire";
        QTest::newRow("the callback throws") << "callback"
                                             << "viewer pulled the plug";
    }
    void replaceDayFailureKeepsTheOldDay()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        const QString path = newPath();
        ListingsStore store(path);
        const std::vector<ChannelRow> oldChannels = {{"c1", "2 ABC", "2", "abc.png"}};
        store.replaceDay(2, Monday.addDays(-7), oldChannels,
                         {monday(19, "Old"), monday(20, "Old"), monday(21, "Old")});
        const QStringList before = rowsOf(path);

        std::vector<ProgrammeRow> rows;
        for (int hour = 0; hour < 10; ++hour)
            rows.push_back(monday(hour, "New", "c2"));
        if (fault == "row")
            rows[6].starttime = QTime();
        if (fault == "trigger")
            QCOMPARE(rawExec(path, "CREATE TRIGGER boom BEFORE INSERT ON day2 "
                                   "WHEN (SELECT count(*) FROM day2) >= 5 "
                                   "BEGIN SELECT RAISE(ABORT, 'disk on fire'); END"),
                     QString());
        int stored = 0;
        const auto rowStored = [&](int count) {
            stored = count;
            if (fault == "callback" && count == 7)
                throw std::runtime_error("viewer pulled the plug");
        };
        try {
            store.replaceDay(2, Monday, {{"c2", "3 NBC", "3", ""}}, rows, rowStored);
            QFAIL("the day was stored");
        } catch (const std::exception& error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains(message), error.what());
            if (fault != "callback")
                QVERIFY(dynamic_cast<const StoreError*>(&error));
        }
        // Failed after the deletes and several rows, not before them.
        QVERIFY2(stored >= 4, qPrintable(QString::number(stored)));
        if (fault == "trigger")
            QCOMPARE(rawExec(path, "DROP TRIGGER boom"), QString());
        QCOMPARE(rowsOf(path), before);
        QCOMPARE(store.storedDate(2), Monday.addDays(-7));
        QCOMPARE(store.channels().rows(), oldChannels);
        QCOMPARE(titles(store.dayProgrammes(2)), QStringList({"Old", "Old", "Old"}));
        // Nothing is left open: the next unit works.
        store.replaceDay(2, Monday, {{"c2", "3 NBC", "3", ""}}, {monday(20, "New", "c2")});
        QCOMPARE(titles(store.dayProgrammes(2)), QStringList{"New"});
    }

    // While a day is being stored (its callback lets events run), every write and every other
    // unit on the store is refused at once instead of joining the import's transaction; reads
    // see the rows stored so far.
    void insideAnImportWritesAreRefused()
    {
        const QString path = newPath();
        ListingsStore store(path);
        const qint32 id = store.insertProgramme(3, monday(20));
        const QStringList otherDays =
            rowsOf(path).filter(QRegularExpression("^(day3|scheduled|recorded)\\|"));
        const std::vector<std::pair<const char*, std::function<void()>>> writes = {
            {"insertChannel",
             [&] {
                 store.insertChannel({"c9", "9 X", "9", ""});
             }},
            {"insertProgramme", [&] { store.insertProgramme(3, monday(8)); }},
            {"setStoredDate", [&] { store.setStoredDate(3, Monday); }},
            {"setAction", [&] { store.setAction(3, id, QStringLiteral("record")); }},
            {"deleteRules", [&] { store.deleteRules("Show"); }},
            {"insertRule",
             [&] {
                 store.insertRule({"Show", "all", "2 ABC"});
             }},
            {"upsertRule",
             [&] {
                 store.upsertRule({"Show", "all", "2 ABC"});
             }},
            {"markAndLog", [&] { store.markAndLog(3, id, "record", {}); }},
            {"replaceDay", [&] { store.replaceDay(4, Monday, {}, {monday(9)}); }},
        };
        QStringList refused;
        QList<std::size_t> seen;
        store.replaceDay(
            2, Monday, {{"c1", "2 ABC", "2", ""}}, {monday(20), monday(21)}, [&](int stored) {
                if (stored == 0)
                    return;
                seen << store.dayProgrammes(2).size();
                if (stored != 1)
                    return;
                for (const auto& [name, write] : writes) {
                    try {
                        write();
                    } catch (const StoreError& error) {
                        if (error.message().contains(name) && error.message().contains("import"))
                            refused << name;
                    }
                }
            });
        QCOMPARE(refused.size(), int(writes.size()));
        QCOMPARE(seen, QList<std::size_t>({1, 2}));
        // The import went through whole, and none of the refused writes is in the file.
        QCOMPARE(titles(store.dayProgrammes(2)), QStringList({"Show", "Show"}));
        QCOMPARE(store.storedDate(2), Monday);
        QCOMPARE(rowsOf(path).filter(QRegularExpression("^(day3|scheduled|recorded)\\|")),
                 otherDays);
        QCOMPARE(store.dayProgrammes(4).size(), std::size_t(0));
        QCOMPARE(store.channels().size(), std::size_t(1));
        // Once it is done, writes go through again.
        QVERIFY(store.setAction(3, id, QStringLiteral("record")));
    }

    // The mark and the log row are stored together or not at all.
    void markAndLogIsOneUnit()
    {
        const QString path = newPath();
        ListingsStore store(path);
        const qint32 id = store.insertProgramme(2, monday(20));
        RecordedRow row;
        row.title = "Show";
        row.filename = "Show on 2 ABC";
        QVERIFY(store.markAndLog(2, id, "season", row));
        QCOMPARE(store.programme(2, id)->action, std::optional<QString>("season"));
        QCOMPARE(store.recordedLog().size(), std::size_t(1));
        // No such programme: logged, not marked.
        QVERIFY(!store.markAndLog(2, id + 1, "record", row));
        QCOMPARE(store.recordedLog().size(), std::size_t(2));

        // The log refuses the row: the mark made before it in the unit goes too.
        QCOMPARE(rawExec(path, "CREATE TRIGGER nolog BEFORE INSERT ON recorded "
                               "BEGIN SELECT RAISE(ABORT, 'log is full'); END"),
                 QString());
        try {
            store.markAndLog(2, id, "record", row);
            QFAIL("the recording was logged");
        } catch (const StoreError& error) {
            QVERIFY2(error.message().contains("markAndLog") &&
                         error.message().contains("log is full"),
                     qPrintable(error.message()));
        }
        QCOMPARE(store.programme(2, id)->action, std::optional<QString>("season"));
        QCOMPARE(store.recordedLog().size(), std::size_t(2));
    }

    // --- schema versions --------------------------------------------------------------------

    // A file of version 1, built as that version built it, is brought to the current version
    // in one go: its rows stay, its schema becomes that of a new file, and a second open finds
    // nothing to do.
    void olderSchemaMigrated()
    {
        const QString path = newPath();
        QCOMPARE(writeVersion1File(path), QString());
        const QStringList rowsBefore = rowsOf(path);
        QCOMPARE(rowsBefore.size(), 2 + 1 + 1 + 1 + 1 + 3);
        QVERIFY(
            schemaOf(path).contains("index day2_title: CREATE INDEX day2_title ON day2(title)"));

        {
            ListingsStore store(path);
            QCOMPARE(rawQuery(path, "PRAGMA user_version"),
                     QStringList{QString::number(ListingsStore::SchemaVersion)});
            QCOMPARE(rowsOf(path), rowsBefore);
            // The rows read as before, the rule with "and" takes the programme with "&".
            QCOMPARE(store.storedDate(2), Monday);
            QCOMPARE(store.channels().size(), std::size_t(2));
            QCOMPARE(store.programme(2, 6)->action, std::optional<QString>("record"));
            const Snapshot<RuleMatch> season = store.seasonMatches(2);
            QCOMPARE(season.size(), std::size_t(1));
            QCOMPARE(season.current().programme.programid, 5);
            QCOMPARE(store.recordedLog().front().filename, QString("News on 2 ABC"));
        }
        const QString fresh = newPath();
        ListingsStore{fresh};
        QCOMPARE(schemaOf(path), schemaOf(fresh));
        // The day tables' title indexes are gone; rule lookups use the rules' new one.
        QVERIFY(!schemaOf(path).join('\n').contains("day2_title"));
        const QStringList plan = [&] {
            Database raw(path, Database::Mode::OpenExisting);
            Statement s(raw, "EXPLAIN QUERY PLAN SELECT 1 FROM scheduled AS s WHERE "
                             "replace(s.programtitle, '&', 'and') = replace(?, '&', 'and') "
                             "AND s.recordchannel = ?");
            s.bind(1, QString("Law & Order")).bind(2, QString("2 ABC"));
            QStringList details;
            while (s.step())
                details << s.text(3);
            return details;
        }();
        QVERIFY2(plan.join(' ').contains("scheduled_titlekey"), qPrintable(plan.join(' ')));

        // A second open changes nothing in the file.
        const QByteArray migrated = fileBytes(path);
        {
            ListingsStore store(path);
            QCOMPARE(store.storedDate(2), Monday);
        }
        QCOMPARE(fileBytes(path), migrated);
        // Ids go on after the ones the old file handed out.
        ListingsStore store(path);
        store.replaceDay(2, Monday, {}, {monday(20)});
        QCOMPARE(store.dayProgrammes(2).rows().front().programid, 58);
    }

    // The command line's readers open the file read-only: an old one is mended first.
    void olderSchemaMigratedForReading()
    {
        const QString path = newPath();
        QCOMPARE(writeVersion1File(path), QString());
        const QStringList rowsBefore = rowsOf(path);
        ListingsStore store(path, ListingsStore::Access::ReadOnly);
        QCOMPARE(rawQuery(path, "PRAGMA user_version"),
                 QStringList{QString::number(ListingsStore::SchemaVersion)});
        QCOMPARE(rowsOf(path), rowsBefore);
        QCOMPARE(store.dayProgrammes(2).size(), std::size_t(3));
    }

    // A migration that fails leaves the file as it was, at its old version.
    void failedMigrationLeavesTheFile()
    {
        const QString path = newPath();
        QCOMPARE(writeVersion1File(path), QString());
        // A table in the way of the index the step creates last, after it dropped the day
        // tables' indexes.
        QCOMPARE(rawExec(path, "CREATE TABLE scheduled_titlekey (x)"), QString());
        const QByteArray before = fileBytes(path);
        try {
            ListingsStore store(path);
            QFAIL("the file was opened");
        } catch (const StoreError& error) {
            QVERIFY2(error.message().contains("scheduled_titlekey"), qPrintable(error.message()));
        }
        QCOMPARE(fileBytes(path), before);
        QVERIFY(!QFile::exists(path + "-journal"));
        QCOMPARE(rawQuery(path, "PRAGMA user_version"), QStringList{"1"});
        QVERIFY(
            schemaOf(path).contains("index day1_title: CREATE INDEX day1_title ON day1(title)"));
    }

    // Ours by its application id, but a version no program wrote.
    void unknownVersionRefused()
    {
        const QString path = newPath();
        QCOMPARE(writeVersion1File(path), QString());
        QCOMPARE(rawExec(path, "PRAGMA user_version = 0"), QString());
        const QByteArray before = fileBytes(path);
        QVERIFY_THROWS_EXCEPTION(StoreError, ListingsStore{path});
        QCOMPARE(fileBytes(path), before);
    }
};

QTEST_GUILESS_MAIN(TestListingsStore)
#include "tst_listingsstore.moc"
