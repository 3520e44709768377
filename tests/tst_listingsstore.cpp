// The listings store on real SQLite files: the schema and what it refuses, ids, the guide's
// windows over a day table, channel order and the coverage check; its units of work, and the
// migration of a file of the previous schema version.
#include "acquire/coverage.h"
#include "store/sqlite.h"
#include "support/support.h"

#include <QRegularExpression>
#include <QTest>

#include <sqlite3.h>

#include <functional>
#include <stdexcept>

using namespace zarvo;
using namespace zarvo::test;

namespace {

const QDate Sunday(2003, 12, 14);
const QDate Monday(2003, 12, 15); // weekday table day2

// A Monday programme on C1 from `hour` to half past.
ProgrammeRow monday(int hour, const QString& title = "Show", const QString& channel = "C1",
                    bool rerun = false)
{
    ProgrammeRow p = programme(channel, at(Monday, hour), at(Monday, hour, 30), title);
    p.rerun = rerun;
    return p;
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

// Every row of every table, as text: what a failed unit and a migration must keep.
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
    // A new file (or an empty one) gets the tables and seven empty days; what was stored is
    // read back after a reopen. (A lost `dates` row is the fault suite's.)
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
            QVERIFY(putFile(path, {}));
        qint32 id = 0;
        {
            ListingsStore store(path);
            for (int day = 1; day <= 7; ++day)
                QCOMPARE(store.storedDate(day), ListingsStore::initialDate());
            QVERIFY(store.channels().isEmpty() && store.rules().empty());
            store.insertChannel({"C1", "2 ABC", "2", "abc.png"});
            id = store.insertProgramme(2, monday(20));
            store.insertRule({"Show", RuleType::Season, "2 ABC"});
            QVERIFY(store.setAction(2, id, Mark::Season));
            QVERIFY(!checkForPrograms(store, Monday));
            store.setStoredDate(2, Monday);
            QVERIFY(checkForPrograms(store, Monday));
        }
        QCOMPARE(rawQuery(path, "SELECT name FROM sqlite_master WHERE type = 'table' AND name "
                                "NOT LIKE 'sqlite_%' AND name <> 'lastprogramid' ORDER BY name"),
                 QStringList({"channels", "channelspan", "dates", "day1", "day2", "day3", "day4",
                              "day5", "day6", "day7", "recorded", "scheduled"}));
        QCOMPARE(rawQuery(path, "SELECT count(*) || day2 || day7 FROM dates"),
                 QStringList{"12003-12-152000-01-01"});
        {
            ListingsStore store(path);
            QCOMPARE(store.storedDate(2), Monday);
            QCOMPARE(store.channels().rows(),
                     std::vector<ChannelRow>({ChannelRow{"C1", "2 ABC", "2", "abc.png"}}));
            QCOMPARE(store.programme(2, id)->action, std::optional<Mark>(Mark::Season));
            QCOMPARE(store.rules(),
                     std::vector<RuleRow>({RuleRow{"Show", RuleType::Season, "2 ABC"}}));
        }
    }

    // A file that is not ours, or that a newer version wrote, is refused and left untouched.
    void refusesFilesNotOurs_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        const QString notOurs = QStringLiteral("is not a Zarvo Guide listings database");
        QTest::newRow("our tables, no application id") << "unmarked" << notOurs;
        QTest::newRow("newer schema") << "newer"
                                      << "was written by a newer version";
    }
    void refusesFilesNotOurs()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("listings.db");
        ListingsStore{path};
        const QByteArray newer =
            "PRAGMA user_version = " + QByteArray::number(ListingsStore::SchemaVersion + 1);
        Database(path, Database::Mode::OpenExisting)
            .exec(kind == "newer" ? newer.constData() : "PRAGMA application_id = 0");
        const auto before = snapshot(dir.path());
        try {
            ListingsStore store(path);
            QFAIL("the file was opened");
        } catch (const StoreError& error) {
            QVERIFY2(error.message().contains(expected) && error.message().contains(path),
                     qPrintable(error.message()));
        }
        QCOMPARE(snapshot(dir.path()), before);
        QVERIFY_THROWS_EXCEPTION(StoreError, ListingsStore{dir.filePath("no-such/listings.db")});
    }

    // Values are bound, never pasted: quotes, SQL and a leading U+FEFF in texts come back
    // exactly. Ids are not
    // handed out again after the day is emptied, even across a reopen.
    void insertedProgrammes()
    {
        const QString path = newPath();
        qint32 lastId = 0;
        {
            ListingsStore store(path);
            ProgrammeRow row = programme("o'b", at(Monday, 23, 30, 15),
                                         at(Monday.addDays(1), 0, 30), "Bob's 'Late'");
            // A text that begins with U+FEFF keeps it (it is no byte-order mark here).
            row.subtitle = QChar(0xFEFF) + QString("Pilot"), row.category = "Drama";
            row.rerun = true;
            row.description = "It's; DROP TABLE day2; --";
            row.rating = "PG'13";
            row.programid = 999;       // ignored
            row.action = Mark::Record; // ignored: new rows are unmarked
            const qint32 first = store.insertProgramme(2, row);
            QVERIFY(first > 0 && store.insertProgramme(2, row) > first);
            row.programid = first;
            row.action = std::nullopt;
            QCOMPARE(store.programme(2, first), std::optional<ProgrammeRow>(row));
            lastId = store.insertProgramme(2, row);
            store.replaceDay(2, Monday, {}, {});
        }
        ListingsStore store(path);
        QCOMPARE(store.programme(2, lastId), std::nullopt);
        const qint32 next = store.insertProgramme(2, monday(8));
        QVERIFY2(next > lastId, qPrintable(QString("%1 after %2").arg(next).arg(lastId)));
        QCOMPARE(store.insertProgramme(3, monday(8)), 1); // another day table keeps its own count
        ProgrammeRow undated = monday(8);
        undated.startdate = QDate();
        QVERIFY_THROWS_EXCEPTION(StoreError, store.insertProgramme(2, undated));
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
        add("20:30-21 not first", "first", "20:00", "M20:30", "M21:00", false);
        add("20:55 not second", "second", "20:30", "M20:55", "M21:30", false);
        add("19-20 ended", "first", "20:00", "M19:00", "M20:00", false);
        add("19:30-20:15 running", "first", "20:00", "M19:30", "M20:15", true);
        add("day before to 0:30 in 0:00", "first", "00:00", "S23:30", "M00:30", true);
        add("day before to 1:00 in 0:30", "second", "00:30", "S23:30", "M01:00", true);
        add("23-0:30 in 23:30", "second", "23:30", "M23:00", "T00:30", true);
        add("22-0:30 in 23:00", "first", "23:00", "M22:00", "T00:30", true);
        add("map from the day before running", "map", "20:00", "S23:00", "M20:15", true);
        // Rows of other dates never show, whatever their times of day.
        add("tomorrow 20:00 not in 20:00", "first", "20:00", "T20:00", "T21:00", false);
        add("day before 23-M20:15 running", "first", "20:00", "S23:00", "M20:15", true);
    }
    void windows()
    {
        QFETCH(QString, query);
        QFETCH(QTime, from);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, shown);
        const auto moment = [](const QString& s) {
            return wallClock(Monday.addDays(QString("SMT").indexOf(s[0]) - 1),
                             QTime::fromString(s.mid(1), "HH:mm"));
        };
        ListingsStore store(newPath());
        const ChannelRow channel{"C1", "2 ABC", "2", "abc.png"};
        store.insertChannel(channel);
        ProgrammeRow row = programme("C1", moment(start), moment(end), "Target");
        row.programid = store.insertProgramme(2, row);
        // The same programme on a channel missing from `channels` is never shown.
        store.insertProgramme(2, programme("gone", moment(start), moment(end)));
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
        StoreFile file({"2 ABC"});
        ListingsStore& store = file.store;
        for (const QDate date : {Monday, Monday.addDays(1), Monday.addDays(2)})
            for (int h = 0; h < 24; ++h)
                add(store,
                    programme("C2", at(date, h), at(date.addDays(h / 23), (h + 1) % 24),
                              date.toString("ddd ") + QString::number(h)),
                    2);
        add(store, programme("C2", at(Sunday, 23, 30), at(Monday, 0, 30), "Sun late"), 2);
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
        StoreFile file({"2 ABC"});
        ListingsStore& store = file.store;
        const ProgrammeRow late = programme("C2", at(Sunday, 23, 30), at(Monday, 0, 30), "Late");
        add(store, late, 1);
        add(store, programme("C2", at(Sunday, 21), at(Sunday, 22), "Eve"), 1);
        // The day before's file pads with this day's early programmes; the day's own rows win.
        add(store, programme("C2", at(Monday, 0), at(Monday, 1), "Pad"), 1);
        store.setStoredDate(1, previousHolds);
        if (ownHasIt)
            add(store, late, 2);
        add(store, programme("C2", at(Monday, 0), at(Monday, 1), "Mon 0"), 2);
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

    // A page read on its own is exactly its slice of the whole window, on every page of every
    // window: channels numbered, unnumbered and listed twice, a channel without programmes, a
    // day file that interleaves its channels, and the evening before from the day before's table.
    void pagesAreSlicesOfTheWindow_data()
    {
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("pageSize");
        for (const int hour : {0, 6, 20, 23})
            for (const int pageSize : {1, 4, 9})
                QTest::addRow("%02d:00, pages of %d", hour, pageSize) << hour << pageSize;
    }
    void pagesAreSlicesOfTheWindow()
    {
        QFETCH(int, hour);
        QFETCH(int, pageSize);
        StoreFile file;
        ListingsStore& store = file.store;
        std::vector<ChannelRow> channels;
        for (const QString num : {"10", "9", "ABC", "5.1", "9", " 3 ", "7-1", "12", "4", "2"})
            channels.push_back({"C" + num.trimmed(),
                                num + " NAME" + QString::number(channels.size()), num, "logo.png"});
        channels.push_back({"C9", "9 AGAIN", "9", "again.png"});  // an id listed twice
        channels.push_back({"QUIET", "QUIET", "1", "quiet.png"}); // no programmes at all
        // Three programmes a channel and hour, the channels interleaved.
        std::vector<ProgrammeRow> monday;
        for (int h = 0; h < 24; ++h)
            for (const int minutes : {0, 20, 45})
                for (std::size_t c = 0; c + 2 < channels.size(); c += (minutes == 20 ? 2 : 1))
                    monday.push_back(
                        programme(channels[c].channelid, at(Monday, h, minutes),
                                  at(Monday, h, minutes).addSecs(25 * 60 + 60 * int(c)),
                                  QString("%1 %2:%3").arg(c).arg(h).arg(minutes)));
        monday.push_back(programme("GONE", at(Monday, 20), at(Monday, 21), "Gone"));
        store.replaceDay(2, Monday, channels, monday);
        for (std::size_t c = 0; c < channels.size(); c += 3)
            add(store, programme(channels[c].channelid, at(Sunday, 23, 40), at(Monday, 1), "Eve"),
                1);
        store.setStoredDate(1, Sunday);

        const QTime t00(hour, 0), t30(hour, 30), t55(hour, 55);
        const ListingsStore::GuideWindow whole = store.guideWindow(2, t00, t30, t55, Monday);
        const std::vector<ChannelRow>& all = whole.channels.rows();
        QCOMPARE(int(all.size()), store.channelCount());
        const auto sliceOf = [](const Snapshot<ListingRow>& rows,
                                const std::vector<ChannelRow>& on) {
            std::vector<ListingRow> slice;
            for (const ListingRow& row : rows.rows())
                if (std::find(on.begin(), on.end(), row.channel) != on.end())
                    slice.push_back(row);
            return slice;
        };
        for (int first = 0; first < int(all.size()) + pageSize; first += pageSize) {
            const ListingsStore::GuideWindow page =
                store.guidePage(2, t00, t30, t55, Monday, first, pageSize);
            const std::vector<ChannelRow> expected(
                all.begin() + std::min<std::ptrdiff_t>(first, std::ptrdiff_t(all.size())),
                all.begin() +
                    std::min<std::ptrdiff_t>(first + pageSize, std::ptrdiff_t(all.size())));
            QCOMPARE(page.channels.rows(), expected);
            QCOMPARE(page.firstHalf.rows(), sliceOf(whole.firstHalf, expected));
            QCOMPARE(page.secondHalf.rows(), sliceOf(whole.secondHalf, expected));
        }
        QVERIFY(!whole.firstHalf.isEmpty());
        if (hour == 0)
            QVERIFY(titles(whole.firstHalf).contains("Eve"));
    }

    // CheckForPrograms against the raw `dates`.day2 value: 1 present, 0 missing, -1 an error.
    void coverage_data()
    {
        QTest::addColumn<QString>("stored"); // a null text stores NULL; "-" deletes the row
        QTest::addColumn<QDate>("day");
        QTest::addColumn<int>("present");
        QTest::newRow("a week old") << "2003-12-08" << Monday << 0;
        QTest::newRow("same day") << "2003-12-15" << Monday << 1;
        QTest::newRow("same day of another year") << "2003-12-15" << QDate(2008, 12, 15) << 0;
        QTest::newRow("another weekday's column") << "2003-12-16" << QDate(2003, 12, 16) << 0;
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
        store.replaceDay(2, Monday.addDays(-7), {{"C1", "2 ABC", "2", "abc.png"}},
                         {monday(19, "Old"), monday(20, "Old")});
        qint32 oldLast = 0;
        const Snapshot<ProgrammeRow> oldDay = store.dayProgrammes(2);
        for (const ProgrammeRow& row : oldDay.rows())
            oldLast = std::max(oldLast, row.programid);
        store.insertProgramme(1, programme("C1", at(Sunday, 20), at(Sunday, 21)));
        store.setStoredDate(1, Sunday);
        store.insertRule({"New", RuleType::Season, "3 NBC"});

        QList<int> told;
        const std::vector<ChannelRow> channels = {{"c2", "3 NBC", "3", "nbc.png"},
                                                  {"c3", "5 CBS", "5", ""}};
        ProgrammeRow marked = monday(21, "New", "c2");
        marked.programid = 999;        // ignored
        marked.action = Mark::Cleared; // ignored
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
        const std::vector<ChannelRow> oldChannels = {{"C1", "2 ABC", "2", "abc.png"}};
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
            {"insertProgramme", [&] { store.insertProgramme(3, monday(8)); }},
            {"setAction", [&] { store.setAction(3, id, Mark::Record); }},
            {"upsertRule",
             [&] {
                 store.upsertRule({"Show", RuleType::All, "2 ABC"});
             }},
            {"markAndLog", [&] { store.markAndLog(3, id, Mark::Record, {}); }},
            {"replaceDay", [&] { store.replaceDay(4, Monday, {}, {monday(9)}); }},
        };
        QStringList refused;
        QList<std::size_t> seen;
        store.replaceDay(
            2, Monday, {{"C1", "2 ABC", "2", ""}}, {monday(20), monday(21)}, [&](int stored) {
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
        // Once it is done, writes go through again.
        QVERIFY(store.setAction(3, id, Mark::Record));
    }

    // One rule per title and channel: an existing one changes its type, "&" and "and" alike,
    // its text kept; another channel gets a rule of its own.
    void upsertRuleKeepsOnePerTitleAndChannel()
    {
        ListingsStore store(newPath());
        store.insertRule({"Law and Order", RuleType::Season, "4 NBC"});
        store.insertRule({"News", RuleType::All, "2 ABC"});
        store.upsertRule({"Law & Order", RuleType::All, "4 NBC"});
        QCOMPARE(store.rules(), std::vector<RuleRow>({{"Law and Order", RuleType::All, "4 NBC"},
                                                      {"News", RuleType::All, "2 ABC"}}));
        store.upsertRule({"Law & Order", RuleType::Season, "2 ABC"});
        QCOMPARE(store.rule("Law and Order", "2 ABC"),
                 std::optional<RuleRow>({"Law & Order", RuleType::Season, "2 ABC"}));
        QCOMPARE(store.rules().size(), std::size_t(3));
        QCOMPARE(store.deleteRules("Law and Order"), 2);
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
        QVERIFY(store.markAndLog(2, id, Mark::Season, row));
        QCOMPARE(store.programme(2, id)->action, std::optional<Mark>(Mark::Season));
        QCOMPARE(store.recordedLog().size(), std::size_t(1));
        // No such programme: logged, not marked.
        QVERIFY(!store.markAndLog(2, id + 1, Mark::Record, row));
        QCOMPARE(store.recordedLog().size(), std::size_t(2));

        // The log refuses the row: the mark made before it in the unit goes too.
        QCOMPARE(rawExec(path, "CREATE TRIGGER nolog BEFORE INSERT ON recorded "
                               "BEGIN SELECT RAISE(ABORT, 'log is full'); END"),
                 QString());
        try {
            store.markAndLog(2, id, Mark::Record, row);
            QFAIL("the recording was logged");
        } catch (const StoreError& error) {
            QVERIFY2(error.message().contains("markAndLog") &&
                         error.message().contains("log is full"),
                     qPrintable(error.message()));
        }
        QCOMPARE(store.programme(2, id)->action, std::optional<Mark>(Mark::Season));
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
            QCOMPARE(rowsOf(path).filter(QRegularExpression("^(?!channelspan)")), rowsBefore);
            // Where each channel's rows lie was worked out from the rows.
            QCOMPARE(rawQuery(path, "SELECT day || ' ' || channel || ' ' || firstid || '-' || "
                                    "lastid FROM channelspan ORDER BY day, channel"),
                     QStringList({"2 c1 5-6", "2 c2 7-7"}));
            // The rows read as before, the rule with "and" takes the programme with "&".
            QCOMPARE(store.storedDate(2), Monday);
            QCOMPARE(store.channels().size(), std::size_t(2));
            QCOMPARE(store.programme(2, 6)->action, std::optional<Mark>(Mark::Record));
            const Snapshot<RuleMatch> season = store.seasonMatches(2);
            QCOMPARE(season.size(), std::size_t(1));
            QCOMPARE(season.current().programme.programid, 5);
            QCOMPARE(store.recordedLog().front().filename, QString("News on 2 ABC"));
        }
        const QString fresh = newPath();
        ListingsStore{fresh};
        QCOMPARE(schemaOf(path), schemaOf(fresh));
        // A second open changes nothing in the file.
        const QByteArray migrated = readFile(path);
        {
            ListingsStore store(path);
            QCOMPARE(store.storedDate(2), Monday);
        }
        QCOMPARE(readFile(path), migrated);
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
        QCOMPARE(rowsOf(path).filter(QRegularExpression("^(?!channelspan)")), rowsBefore);
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
        const QByteArray before = readFile(path);
        try {
            ListingsStore store(path);
            QFAIL("the file was opened");
        } catch (const StoreError& error) {
            QVERIFY2(error.message().contains("scheduled_titlekey"), qPrintable(error.message()));
        }
        QCOMPARE(readFile(path), before);
        QVERIFY(!QFile::exists(path + "-journal"));
        QCOMPARE(rawQuery(path, "PRAGMA user_version"), QStringList{"1"});
        QVERIFY(
            schemaOf(path).contains("index day1_title: CREATE INDEX day1_title ON day1(title)"));
    }

    // The viewer's search and the info screen's next showings: over the stored days from
    // Monday on (Sunday's table and a stale week's table are left out), each showing once.
    void findShowings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("same");
        QTest::addColumn<QStringList>("found"); // title@channel/table
        const QStringList law{"Law & Order@C5/2", "LAW & ORDER@C9/2", "Late Law & Order@C5/2",
                              "Law and Order: SVU@C9/3"};
        QTest::newRow("contains, case aside") << "law & order" << false << law;
        QTest::newRow("\"and\" finds \"&\"") << "LAW AND" << false << law;
        QTest::newRow("a word") << "Order" << false << law;
        QTest::newRow("folded beyond ASCII") << "ÄRZTE" << false << QStringList{"Ärzte@C10/3"};
        QTest::newRow("no wildcard") << "L%w" << false << QStringList{};
        QTest::newRow("only before Monday") << "lawn" << false << QStringList{};
        QTest::newRow("stale week") << "Stale" << false << QStringList{};
        QTest::newRow("blank") << "  " << false << QStringList{};
        QTest::newRow("same title, \"and\" for \"&\"")
            << "Law and Order" << true << QStringList{"Law & Order@C5/2"};
    }
    void findShowings()
    {
        QFETCH(QString, text);
        QFETCH(bool, same);
        QFETCH(QStringList, found);
        StoreFile f({"5 KMQH", "9 WXYZ", "10 ABC"});
        const QDate tuesday = Monday.addDays(1);
        add(f.store, programme("C9", at(Monday, 20), at(Monday, 21), "LAW & ORDER"));
        add(f.store, programme("C5", at(Monday, 20), at(Monday, 21), "Law & Order"));
        add(f.store, programme("C5", at(Sunday, 20), at(Sunday, 21), "Lawn Care"));
        add(f.store, programme("C10", at(tuesday, 8), at(tuesday, 9), "Ärzte"));
        add(f.store, programme("C9", at(tuesday, 21), at(tuesday, 22), "Law and Order: SVU"));
        // Past midnight: in Monday's table and again in Tuesday's file.
        const ProgrammeRow late =
            programme("C5", at(Monday, 23, 30), at(tuesday, 0, 30), "Late Law & Order");
        add(f.store, late, 3);
        add(f.store, late, 2);
        add(f.store,
            programme("C5", at(QDate(2003, 12, 10), 9), at(QDate(2003, 12, 10), 10), "Stale"));
        f.store.setStoredDate(1, Sunday);
        f.store.setStoredDate(2, Monday);
        f.store.setStoredDate(3, tuesday);
        f.store.setStoredDate(4, QDate(2003, 12, 10));
        QStringList titles;
        for (const ListingRow& row : f.store.findShowings(
                 text, same ? ListingsStore::TitleMatch::Same : ListingsStore::TitleMatch::Contains,
                 Monday))
            titles << QString("%1@%2/%3")
                          .arg(row.programme.title, row.channel.channelid)
                          .arg(row.dayTable);
        QCOMPARE(titles, found);
    }

    // The recordings screen: marked programmes not yet ended, and one rule removed at a time.
    void markedShowingsAndOneRuleDeleted()
    {
        StoreFile f({"5 KMQH", "9 WXYZ"});
        const std::pair<int, std::optional<Mark>> marks[] = {
            {20, Mark::Record}, {21, Mark::Season}, {22, Mark::Cleared}, {23, std::nullopt}};
        for (const auto& [hour, mark] : marks)
            f.store.setAction(2, add(f.store, monday(hour, QString("At %1").arg(hour), "C5")),
                              mark);
        f.store.setAction(3,
                          add(f.store, programme("C9", at(Monday.addDays(1), 8),
                                                 at(Monday.addDays(1), 9), "Tuesday")),
                          Mark::All);
        f.store.setStoredDate(2, Monday);
        f.store.setStoredDate(3, Monday.addDays(1));
        QStringList marked;
        for (const ListingRow& row : f.store.markedShowings(at(Monday, 20, 30)))
            marked << row.programme.title + " " + markText(*row.programme.action);
        // 8 PM ended at 20:30 sharp.
        QCOMPARE(marked, (QStringList{"At 21 season", "Tuesday all"}));

        f.store.insertRule({"Law & Order", RuleType::Season, "5 KMQH"});
        f.store.insertRule({"Law & Order", RuleType::All, "9 WXYZ"});
        f.store.insertRule({"News", RuleType::Season, "5 KMQH"});
        QCOMPARE(f.store.deleteRule("Law and Order", "5 KMQH"), 1);
        QCOMPARE(f.store.deleteRule("Law and Order", "5 KMQH"), 0);
        QCOMPARE(f.store.rules(), (std::vector<RuleRow>{{"Law & Order", RuleType::All, "9 WXYZ"},
                                                        {"News", RuleType::Season, "5 KMQH"}}));
    }
};

QTEST_GUILESS_MAIN(TestListingsStore)
#include "tst_listingsstore.moc"
