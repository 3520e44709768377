#include "acquire/coverage.h"
#include "store/listingsstore.h"
#include "store/sqlite.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace zarvo;

namespace {

const QDate Monday(2003, 12, 15); // weekday table day2
const QDate Sunday(2003, 12, 14);

ProgrammeRow programme(const QString& channel, QDate startDate, QTime start, QDate endDate,
                       QTime end, const QString& title = QStringLiteral("Show"), bool rerun = false)
{
    ProgrammeRow row;
    row.startdate = startDate;
    row.starttime = start;
    row.enddate = endDate;
    row.endtime = end;
    row.channel = channel;
    row.title = title;
    row.subtitle = QStringLiteral("Pilot");
    row.description = QStringLiteral("About it");
    row.category = QStringLiteral("Drama");
    row.rating = QStringLiteral("TV-PG");
    row.rerun = rerun;
    return row;
}

// Runs SQL on the file with SQLite alone, outside the store; returns the first column of each
// row as text.
QStringList rawQuery(const QString& path, const char* sql)
{
    Database db(path, Database::Mode::OpenExisting);
    Statement s(db, sql);
    QStringList rows;
    while (s.step())
        rows << (s.isNull(0) ? QStringLiteral("NULL") : s.text(0));
    return rows;
}

void rawExec(const QString& path, const char* sql)
{
    Database db(path, Database::Mode::OpenExisting);
    db.exec(sql);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <typename Row> QStringList titles(const Snapshot<Row>& rows)
{
    QStringList result;
    for (const Row& row : rows.rows())
        result << row.programme.title;
    return result;
}

int preparedStatementCount(Database& db)
{
    int count = 0;
    for (sqlite3_stmt* s = sqlite3_next_stmt(db.handle(), nullptr); s;
         s = sqlite3_next_stmt(db.handle(), s))
        ++count;
    return count;
}

} // namespace

class TestListingsStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_fileCount = 0;
    QString newPath() { return m_dir.filePath(QStringLiteral("db%1.db").arg(++m_fileCount)); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // --- opening ------------------------------------------------------------------------

    void newDatabase_data()
    {
        QTest::addColumn<bool>("emptyFileFirst");
        QTest::newRow("missing file") << false;
        QTest::newRow("empty file") << true;
    }
    void newDatabase()
    {
        QFETCH(bool, emptyFileFirst);
        const QString path = newPath();
        if (emptyFileFirst) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        {
            ListingsStore store(path);
            for (int day = 1; day <= 7; ++day)
                QCOMPARE(store.storedDate(day), ListingsStore::initialDate());
            QVERIFY(store.channels().isEmpty());
            QVERIFY(store.rules().empty());
        }
        const QStringList tables =
            rawQuery(path, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                           "'sqlite_%' AND name <> 'lastprogramid' ORDER BY name");
        QCOMPARE(tables, QStringList({"channels", "dates", "day1", "day2", "day3", "day4", "day5",
                                      "day6", "day7", "recorded", "scheduled"}));
        QCOMPARE(rawQuery(path, "SELECT count(*) FROM dates"), QStringList{"1"});
        QCOMPARE(rawQuery(path, "SELECT day1 || day4 || day7 FROM dates"),
                 QStringList{"2000-01-012000-01-012000-01-01"});
        QCOMPARE(rawQuery(path, "PRAGMA application_id"),
                 QStringList{QString::number(ListingsStore::ApplicationId)});
        QCOMPARE(rawQuery(path, "PRAGMA user_version"),
                 QStringList{QString::number(ListingsStore::SchemaVersion)});
        QCOMPARE(rawQuery(path, "SELECT count(*) FROM pragma_table_info('recorded')"),
                 QStringList{"16"});
    }

    void reopenKeepsData()
    {
        const QString path = newPath();
        qint32 id = 0;
        {
            ListingsStore store(path);
            store.insertChannel({"c1", "2 ABC", "2", "abc.png"});
            id = store.insertProgramme(2,
                                       programme("c1", Monday, QTime(20, 0), Monday, QTime(21, 0)));
            store.insertRule({"Show", "season", "2 ABC"});
            store.setStoredDate(2, Monday);
            QVERIFY(store.setAction(2, id, QStringLiteral("season")));
        }
        ListingsStore store(path);
        QCOMPARE(store.storedDate(2), Monday);
        QCOMPARE(store.storedDate(3), ListingsStore::initialDate());
        QCOMPARE(store.channels().rows(),
                 std::vector<ChannelRow>({ChannelRow{"c1", "2 ABC", "2", "abc.png"}}));
        const auto row = store.programme(2, id);
        QVERIFY(row);
        QCOMPARE(row->action, std::optional<QString>("season"));
        QCOMPARE(store.rules(), std::vector<RuleRow>({RuleRow{"Show", "season", "2 ABC"}}));
    }

    void refusesFilesNotOurs_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        const QString notOurs = QStringLiteral("is not a Zarvo Guide listings database");
        QTest::newRow("random bytes") << "random" << notOurs;
        QTest::newRow("text file") << "text" << notOurs;
        QTest::newRow("foreign SQLite database") << "foreign" << notOurs;
        QTest::newRow("our tables without our application id") << "unmarked" << notOurs;
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
            QByteArray bytes;
            if (kind == "random") {
                for (int i = 0; i < 8192; ++i)
                    bytes.append(char(QRandomGenerator::global()->bounded(256)));
            } else {
                bytes = "channel,title\n5,News\n";
            }
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        } else if (kind == "foreign") {
            Database db(path, Database::Mode::CreateIfMissing);
            db.exec("CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('keep me')");
        } else {
            {
                ListingsStore store(path);
            }
            rawExec(path,
                    kind == "newer" ? "PRAGMA user_version = 2" : "PRAGMA application_id = 0");
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
    }

    void unopenableFileReported()
    {
        const QString path = m_dir.filePath("no-such-folder/listings.db");
        QVERIFY_THROWS_EXCEPTION(StoreError, ListingsStore{path});
    }

    void missingDatesRowRestored()
    {
        const QString path = newPath();
        {
            ListingsStore store(path);
            store.setStoredDate(1, Sunday);
            store.database().exec("DELETE FROM dates");
            // Until the next open, readers and the importer's update fail.
            QVERIFY_THROWS_EXCEPTION(StoreError, store.storedDate(1));
            QVERIFY_THROWS_EXCEPTION(StoreError, store.setStoredDate(1, Sunday));
            QVERIFY_THROWS_EXCEPTION(StoreError, checkForPrograms(store, Sunday));
        }
        ListingsStore store(path);
        QCOMPARE(rawQuery(path, "SELECT count(*) FROM dates"), QStringList{"1"});
        for (int day = 1; day <= 7; ++day)
            QCOMPARE(store.storedDate(day), ListingsStore::initialDate());
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
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            try {
                ListingsStore store(path);
                // A tiny cache makes SQLite write changed pages into the file before commit.
                store.database().exec("PRAGMA cache_size = 5");
                Transaction transaction(store.database());
                store.deleteDay(1);
                store.deleteChannels();
                for (int i = 0; i < 3000; ++i)
                    store.insertProgramme(1, programme("c1", Sunday.addDays(7), QTime(i % 24, 0),
                                                       Sunday.addDays(7), QTime(i % 24, 30),
                                                       QString(200, QChar('n'))));
                store.setStoredDate(1, Sunday.addDays(7));
                raise(SIGKILL);
            } catch (...) {
            }
            _exit(3);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        QVERIFY2(QFile::exists(path + "-journal"), "the child left no journal to roll back");

        ListingsStore store(path);
        QCOMPARE(store.storedDate(1), Sunday);
        QCOMPARE(titles(store.firstHalfWindow(1, QTime(1, 0), QTime(1, 30), Sunday)),
                 QStringList{"Old"});
        QCOMPARE(store.dayProgrammes(1).size(), std::size_t(3));
        QCOMPARE(store.channels().size(), std::size_t(1));
        QCOMPARE(rawQuery(path, "PRAGMA integrity_check"), QStringList{"ok"});
    }

    // --- import -------------------------------------------------------------------------

    void apostrophesStoredIntact()
    {
        ListingsStore store(newPath());
        const ChannelRow channel{"o'brien.tv", "5 O'Brien's", "5", "o'b.png"};
        store.insertChannel(channel);
        ProgrammeRow row = programme(channel.channelid, Monday, QTime(20, 0), Monday, QTime(21, 0),
                                     "Bob's Burgers");
        row.subtitle = "Tina's Day";
        row.description = "It's 'quoted'; DROP TABLE day2; --";
        row.category = "Kids'";
        row.rating = "PG'13";
        const qint32 id = store.insertProgramme(2, row);
        row.programid = id;
        QCOMPARE(store.channels().rows(), std::vector<ChannelRow>({channel}));
        QCOMPARE(store.programme(2, id), std::optional<ProgrammeRow>(row));

        store.insertRule({"Bob's Burgers", "season", "5 O'Brien's"});
        QCOMPARE(store.rule("Bob's Burgers", "5 O'Brien's")->recordtype, QString("season"));
        const auto matches = store.seasonMatches(2);
        QCOMPARE(matches.size(), std::size_t(1));
        QCOMPARE(matches.current().programme, row);
        QCOMPARE(matches.current().channel, channel);
        QCOMPARE(store.deleteRules("Bob's Burgers"), 1);
    }

    void insertedProgrammes()
    {
        const QString path = newPath();
        qint32 lastId = 0;
        {
            ListingsStore store(path);
            ProgrammeRow row = programme("c1", Monday, QTime(23, 30, 15), Monday.addDays(1),
                                         QTime(0, 30), "Late", true);
            row.programid = 999;                   // ignored
            row.action = QStringLiteral("record"); // ignored: new rows are unmarked
            const qint32 first = store.insertProgramme(2, row);
            const qint32 second = store.insertProgramme(2, row);
            QVERIFY(first > 0);
            QVERIFY(second > first);
            const auto stored = store.programme(2, first);
            QVERIFY(stored);
            QCOMPARE(stored->action, std::nullopt);
            row.programid = first;
            row.action = std::nullopt;
            QCOMPARE(*stored, row);
            QCOMPARE(store.firstStartDateBeforeNoon(2), std::nullopt);
            store.insertProgramme(
                2, programme("c1", Sunday, QTime(11, 59, 59), Monday, QTime(12, 30)));
            store.insertProgramme(2, programme("c1", Monday, QTime(6, 0), Monday, QTime(7, 0)));
            QCOMPARE(store.firstStartDateBeforeNoon(2), Sunday);

            // Ids are not handed out again after the day is emptied, even across a reopen.
            lastId = store.insertProgramme(2, row);
            store.deleteDay(2);
        }
        ListingsStore store(path);
        QCOMPARE(store.programme(2, lastId), std::nullopt);
        const qint32 next =
            store.insertProgramme(2, programme("c1", Monday, QTime(8, 0), Monday, QTime(9, 0)));
        QVERIFY2(next > lastId, qPrintable(QString("%1 after %2").arg(next).arg(lastId)));
        QVERIFY(store.insertProgramme(
                    2, programme("c1", Monday, QTime(9, 0), Monday, QTime(10, 0))) > next);
        // Another day table keeps its own count.
        QCOMPARE(
            store.insertProgramme(3, programme("c1", Monday, QTime(8, 0), Monday, QTime(9, 0))), 1);
        QVERIFY_THROWS_EXCEPTION(
            StoreError,
            store.insertProgramme(2, programme("c1", QDate(), QTime(8, 0), Monday, QTime(9, 0))));
    }

    void importTouchesOnlyItsDay()
    {
        ListingsStore store(newPath());
        store.insertChannel({"c1", "2 ABC", "2", "abc.png"});
        for (int day = 1; day <= 7; ++day) {
            const QDate date = Sunday.addDays(day - 1);
            store.insertProgramme(day, programme("c1", date, QTime(20, 0), date, QTime(21, 0),
                                                 QStringLiteral("Old %1").arg(day)));
            store.setStoredDate(day, date);
        }
        {
            Transaction transaction(store.database());
            store.deleteDay(1);
            store.deleteChannels();
            store.insertChannel({"c9", "9 CBS", "9", "cbs.png"});
            store.insertProgramme(1, programme("c9", Sunday.addDays(7), QTime(20, 0),
                                               Sunday.addDays(7), QTime(21, 0), "New"));
            store.setStoredDate(1, Sunday.addDays(7));
            transaction.commit();
        }
        QCOMPARE(store.storedDate(1), Sunday.addDays(7));
        QCOMPARE(store.channels().size(), std::size_t(1));
        QCOMPARE(store.dayProgrammes(1).current().title, QString("New"));
        for (int day = 2; day <= 7; ++day) {
            QCOMPARE(store.storedDate(day), Sunday.addDays(day - 1));
            const auto rows = store.dayProgrammes(day);
            QCOMPARE(rows.size(), std::size_t(1));
            QCOMPARE(rows.current().title, QStringLiteral("Old %1").arg(day));
        }
    }

    void transactionRollsBackUnlessCommitted()
    {
        ListingsStore store(newPath());
        store.insertProgramme(2,
                              programme("c1", Monday, QTime(20, 0), Monday, QTime(21, 0), "Kept"));
        {
            Transaction transaction(store.database());
            store.deleteDay(2);
            store.insertProgramme(
                2, programme("c1", Monday, QTime(20, 0), Monday, QTime(21, 0), "Dropped"));
            QCOMPARE(store.dayProgrammes(2).current().title, QString("Dropped"));
        }
        QCOMPARE(store.dayProgrammes(2).size(), std::size_t(1));
        QCOMPARE(store.dayProgrammes(2).current().title, QString("Kept"));
        // The connection is out of the transaction: a new one can begin and commit.
        {
            Transaction transaction(store.database());
            store.deleteDay(2);
            transaction.commit();
        }
        QVERIFY(store.dayProgrammes(2).isEmpty());
    }

    void statementsPreparedOnce()
    {
        ListingsStore store(newPath());
        Transaction transaction(store.database());
        for (int i = 0; i < 200; ++i)
            store.insertProgramme(
                4, programme("c1", Monday, QTime(i % 24, 0), Monday, QTime(i % 24, 30)));
        store.insertChannel({"c1", "2 ABC", "2", "abc.png"});
        store.insertChannel({"c2", "3 NBC", "3", "nbc.png"});
        transaction.commit();
        QVERIFY(preparedStatementCount(store.database()) <= 4);
    }

    void dayNumberOutsideWeekRefused_data()
    {
        QTest::addColumn<int>("day");
        QTest::newRow("0") << 0;
        QTest::newRow("8") << 8;
        QTest::newRow("-1") << -1;
    }
    void dayNumberOutsideWeekRefused()
    {
        QFETCH(int, day);
        ListingsStore store(newPath());
        const auto refused = [](auto&& call) {
            try {
                call();
            } catch (const StoreError& error) {
                return error.message().contains("outside 1..7");
            }
            return false;
        };
        const ProgrammeRow row = programme("c1", Monday, QTime(20, 0), Monday, QTime(21, 0));
        QVERIFY(refused([&] { store.deleteDay(day); }));
        QVERIFY(refused([&] { store.insertProgramme(day, row); }));
        QVERIFY(refused([&] { store.storedDate(day); }));
        QVERIFY(refused([&] { store.setStoredDate(day, Monday); }));
        QVERIFY(refused([&] { store.firstHalfWindow(day, QTime(20, 0), QTime(20, 30), Monday); }));
        QVERIFY(refused([&] { store.seasonMatches(day); }));
        QVERIFY(refused([&] { store.setAction(day, 1, std::nullopt); }));
    }

    void failuresNameOperation()
    {
        ListingsStore store(newPath());
        store.database().exec("DROP TABLE day3");
        try {
            store.dayProgrammes(3);
            QFAIL("no error");
        } catch (const StoreError& error) {
            QVERIFY2(error.message().contains("dayProgrammes"), qPrintable(error.message()));
            QVERIFY2(error.message().contains("no such table"), qPrintable(error.message()));
        }
    }

    // --- the guide's queries ------------------------------------------------------------

    void windows_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QTime>("from");
        QTest::addColumn<QTime>("to");
        QTest::addColumn<QDate>("startDate");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QDate>("endDate");
        QTest::addColumn<QTime>("end");
        QTest::addColumn<bool>("shown");

        const QDate m = Monday;
        const QDate t = Monday.addDays(1);
        const QDate s = Sunday;
        auto add = [](const char* name, const char* query, QTime from, QTime to, QDate sd, QTime st,
                      QDate ed, QTime et, bool shown) {
            QTest::newRow(name) << QString(query) << from << to << sd << st << ed << et << shown;
        };
        const QTime h20(20, 0), h2030(20, 30), h2055(20, 55);
        add("20:00-21:00 first half", "first", h20, h2030, m, h20, m, QTime(21, 0), true);
        add("20:00-21:00 second half", "second", h2030, h2055, m, h20, m, QTime(21, 0), true);
        add("20:00-20:30 first half", "first", h20, h2030, m, h20, m, h2030, true);
        add("20:00-20:30 not second half", "second", h2030, h2055, m, h20, m, h2030, false);
        add("20:30-21:00 not first half", "first", h20, h2030, m, h2030, m, QTime(21, 0), false);
        add("20:30-21:00 second half", "second", h2030, h2055, m, h2030, m, QTime(21, 0), true);
        add("20:55 not first half", "first", h20, h2030, m, QTime(20, 55), m, QTime(21, 30), false);
        add("20:55 not second half", "second", h2030, h2055, m, QTime(20, 55), m, QTime(21, 30),
            false);
        add("19:00-20:00 ended", "first", h20, h2030, m, QTime(19, 0), m, h20, false);
        add("19:30-20:15 running", "first", h20, h2030, m, QTime(19, 30), m, QTime(20, 15), true);
        add("19:30-20:15 over by second half", "second", h2030, h2055, m, QTime(19, 30), m,
            QTime(20, 15), false);
        add("day before to 00:30 in 0:00 window", "first", QTime(0, 0), QTime(0, 30), s,
            QTime(23, 30), m, QTime(0, 30), true);
        add("day before to 00:30 not in 0:30", "second", QTime(0, 30), QTime(0, 55), s,
            QTime(23, 30), m, QTime(0, 30), false);
        add("day before to 01:00 in 0:30", "second", QTime(0, 30), QTime(0, 55), s, QTime(23, 30),
            m, QTime(1, 0), true);
        add("23:30-00:30 in 23:30", "second", QTime(23, 30), QTime(23, 55), m, QTime(23, 30), t,
            QTime(0, 30), true);
        add("23:00-00:30 past midnight in 23:30", "second", QTime(23, 30), QTime(23, 55), m,
            QTime(23, 0), t, QTime(0, 30), true);
        add("22:00-00:30 past midnight in 23:00", "first", QTime(23, 0), QTime(23, 30), m,
            QTime(22, 0), t, QTime(0, 30), true);
        add("22:00-23:00 over by 23:00", "first", QTime(23, 0), QTime(23, 30), m, QTime(22, 0), m,
            QTime(23, 0), false);
        add("map 20:00-21:00", "map", h20, h2030, m, h20, m, QTime(21, 0), true);
        add("map 20:29 start", "map", h20, h2030, m, QTime(20, 29), m, QTime(21, 0), true);
        add("map 20:30 start", "map", h20, h2030, m, h2030, m, QTime(21, 0), false);
        add("map 19:30-20:00 ended", "map", h20, h2030, m, QTime(19, 30), m, h20, false);
        add("map 23:45 not before 0:00", "map", QTime(23, 30), QTime(0, 0), m, QTime(23, 45), t,
            QTime(0, 15), false);
        add("map 23:00-00:30 running", "map", QTime(23, 30), QTime(0, 0), m, QTime(23, 0), t,
            QTime(0, 30), true);
    }
    void windows()
    {
        QFETCH(QString, query);
        QFETCH(QTime, from);
        QFETCH(QTime, to);
        QFETCH(QDate, startDate);
        QFETCH(QTime, start);
        QFETCH(QDate, endDate);
        QFETCH(QTime, end);
        QFETCH(bool, shown);

        ListingsStore store(newPath());
        const ChannelRow channel{"c1", "2 ABC", "2", "abc.png"};
        store.insertChannel(channel);
        ProgrammeRow row = programme("c1", startDate, start, endDate, end, "Target");
        row.programid = store.insertProgramme(2, row);
        // The same programme on a channel missing from `channels` is never shown.
        store.insertProgramme(2, programme("gone", startDate, start, endDate, end, "Orphan"));

        Snapshot<ListingRow> rows;
        if (query == "first")
            rows = store.firstHalfWindow(2, from, to, Monday);
        else if (query == "second")
            rows = store.secondHalfWindow(2, from, to, Monday);
        else
            rows = store.channelMapWindow(2, from, to);
        QCOMPARE(rows.size(), std::size_t(shown ? 1 : 0));
        if (shown) {
            QCOMPARE(rows.current().programme, row);
            QCOMPARE(rows.current().channel, channel);
        }
    }

    void channelOrder()
    {
        ListingsStore store(newPath());
        // Inserted out of order; ids name the expected place.
        const std::vector<ChannelRow> inserted = {
            {"p5-10", "10 TEN", "10", ""}, {"p4-9", "9 NINE", "9", ""},
            {"p8-ABC", "ABC", "ABC", ""},  {"p3-5.1", "5.1 SUB", "5.1", ""},
            {"p1-2a", "2 TWO", "2", ""},   {"p7-A", "A", "A", ""},
            {"p2-2b", "2 TWO", "2", ""},   {"p6-11", "11 ELEVEN", " 11 ", ""},
            {"p9-Z", "Z", "Z", ""},        {"pa-5-1", "5-1", "5-1", ""}};
        for (const ChannelRow& channel : inserted)
            store.insertChannel(channel);
        // Numbers by value (" 11 " reads as 11), ties in insertion order; then the numbers
        // that are not numbers, by their text.
        const QStringList expected = {"p1-2a", "p2-2b",  "p3-5.1", "p4-9",   "p5-10",
                                      "p6-11", "pa-5-1", "p7-A",   "p8-ABC", "p9-Z"};
        QStringList channelIds;
        const auto channels = store.channels();
        for (const ChannelRow& row : channels.rows())
            channelIds << row.channelid;
        QCOMPARE(channelIds, expected);
    }

    void windowRowsInChannelOrder()
    {
        ListingsStore store(newPath());
        for (const ChannelRow& channel : std::vector<ChannelRow>{
                 {"c10", "10 TEN", "10", ""}, {"cX", "X", "X", ""}, {"c9", "9 NINE", "9", ""}})
            store.insertChannel(channel);
        // Within a channel: by start, then by id for equal starts; inserted in reverse.
        for (const char* channel : {"c10", "cX", "c9"}) {
            store.insertProgramme(2, programme(channel, Monday, QTime(20, 15), Monday,
                                               QTime(20, 45), QString(channel) + " 20:15 b"));
            store.insertProgramme(2, programme(channel, Monday, QTime(20, 0), Monday, QTime(20, 15),
                                               QString(channel) + " 20:00"));
            store.insertProgramme(2, programme(channel, Sunday, QTime(23, 0), Monday, QTime(20, 15),
                                               QString(channel) + " earlier"));
        }
        store.insertProgramme(
            2, programme("c9", Monday, QTime(20, 15), Monday, QTime(20, 30), "c9 20:15 c"));
        const QStringList expected = {"c9 earlier",  "c9 20:00",  "c9 20:15 b",  "c9 20:15 c",
                                      "c10 earlier", "c10 20:00", "c10 20:15 b", "cX earlier",
                                      "cX 20:00",    "cX 20:15 b"};
        QCOMPARE(titles(store.firstHalfWindow(2, QTime(20, 0), QTime(20, 30), Monday)), expected);
        // The channel map has no clause for programmes of the day before.
        QStringList mapExpected = expected;
        mapExpected.removeIf([](const QString& title) { return title.endsWith("earlier"); });
        QCOMPARE(titles(store.channelMapWindow(2, QTime(20, 0), QTime(20, 30))), mapExpected);
        QCOMPARE(titles(store.secondHalfWindow(2, QTime(20, 30), QTime(20, 55), Monday)),
                 QStringList({"c9 20:15 b", "c10 20:15 b", "cX 20:15 b"}));
        QStringList all;
        const auto day = store.dayProgrammes(2);
        for (const ProgrammeRow& row : day.rows())
            all << row.title;
        QCOMPARE(all, expected);
    }

    // --- rules and marks ----------------------------------------------------------------

    void ruleMatches()
    {
        ListingsStore store(newPath());
        store.insertChannel({"c1", "2 ABC", "2", ""});
        store.insertChannel({"c2", "4 NBC", "4", ""});
        auto add = [&](const char* title, const char* channel, int hour, bool rerun,
                       std::optional<QString> action = std::nullopt) {
            const qint32 id =
                store.insertProgramme(2, programme(channel, Monday, QTime(hour, 0), Monday,
                                                   QTime(hour, 30), QString(title), rerun));
            if (action)
                store.setAction(2, id, action);
            return id;
        };
        const qint32 firstShowing = add("Show", "c1", 20, false);
        add("Show", "c1", 21, true);            // rerun
        add("Show", "c2", 19, false);           // other channel
        add("Show", "c1", 18, false, "record"); // already marked
        add("Show", "c1", 17, false, " ");      // marked not to record
        add("show", "c1", 16, false);           // another title
        const qint32 rerunAll = add("Other", "c1", 22, true);
        const qint32 otherChannel = add("Other", "c2", 10, false);
        add("Other", "c2", 11, false, "all");
        store.insertRule({"Show", "season", "2 ABC"});
        store.insertRule({"Other", "all", "4 NBC"});
        store.insertRule({"Other", "season", "2 ABC"}); // a rerun: no season match

        const auto season = store.seasonMatches(2);
        QCOMPARE(season.size(), std::size_t(1));
        QCOMPARE(season.current().programme.programid, firstShowing);
        QCOMPARE(season.current().channel.channelname, QString("2 ABC"));
        QCOMPARE(season.current().rule, (RuleRow{"Show", "season", "2 ABC"}));

        const auto all = store.allMatches(2);
        QCOMPARE(all.size(), std::size_t(2));
        QCOMPARE(all.rows()[0].programme.programid, otherChannel); // 10:00 before 22:00
        QCOMPARE(all.rows()[1].programme.programid, rerunAll);
        QCOMPARE(all.rows()[1].rule.recordtype, QString("all"));

        // Once marked, a programme is not matched again.
        QVERIFY(store.setAction(2, firstShowing, QStringLiteral("season")));
        QVERIFY(store.seasonMatches(2).isEmpty());
    }

    void marks()
    {
        ListingsStore store(newPath());
        const qint32 id =
            store.insertProgramme(5, programme("c1", Monday, QTime(20, 0), Monday, QTime(21, 0)));
        QVERIFY(store.setAction(5, id, QStringLiteral("record")));
        QCOMPARE(store.programme(5, id)->action, std::optional<QString>("record"));
        QVERIFY(store.setAction(5, id, QStringLiteral(" ")));
        QCOMPARE(store.programme(5, id)->action, std::optional<QString>(" "));
        QVERIFY(store.setAction(5, id, std::nullopt));
        QCOMPARE(store.programme(5, id)->action, std::nullopt);
        QVERIFY(!store.setAction(5, id + 1, QStringLiteral("record")));
        QVERIFY(!store.setAction(4, id, QStringLiteral("record")));
        QCOMPARE(store.programme(5, id + 1), std::nullopt);
    }

    void rules()
    {
        ListingsStore store(newPath());
        store.insertRule({"Show", "season", "2 ABC"});
        store.insertRule({"Show", "season", "4 NBC"});
        store.insertRule({"News", "all", "2 ABC"});
        QCOMPARE(store.rule("Show", "4 NBC"), std::optional<RuleRow>({"Show", "season", "4 NBC"}));
        QCOMPARE(store.rule("Show", "9 CBS"), std::nullopt);
        QCOMPARE(store.rule("show", "2 ABC"), std::nullopt);

        QVERIFY(store.setRuleType("Show", "4 NBC", "all"));
        QCOMPARE(store.rule("Show", "4 NBC")->recordtype, QString("all"));
        QCOMPARE(store.rule("Show", "2 ABC")->recordtype, QString("season"));
        QVERIFY(!store.setRuleType("Show", "9 CBS", "all"));

        QCOMPARE(store.deleteRules("Show"), 2);
        QCOMPARE(store.rules(), std::vector<RuleRow>({RuleRow{"News", "all", "2 ABC"}}));
        QCOMPARE(store.deleteRules("Show"), 0);
    }

    void recordedLog()
    {
        const QString path = newPath();
        {
            ListingsStore store(path);
            store.insertRecorded({"20031215", "01:00", "20031215", "02:00", "2 ABC", "Bob's", "Sub",
                                  "Desc", "Cat", "PG", "program.tvpi", "12/15/2003", "20:00:00",
                                  "ABC", "cable", "01:00"});
        }
        QCOMPARE(rawQuery(path, "SELECT startdate || '|' || starttime || '|' || enddate || '|' || "
                                "endtime || '|' || channel || '|' || title || '|' || subtitle || "
                                "'|' || description || '|' || category || '|' || rating || '|' "
                                "|| filename || '|' || realdate || '|' || realtime || '|' || "
                                "station || '|' || mode || '|' || duration FROM recorded"),
                 QStringList{"20031215|01:00|20031215|02:00|2 ABC|Bob's|Sub|Desc|Cat|PG|"
                             "program.tvpi|12/15/2003|20:00:00|ABC|cable|01:00"});
    }

    // --- coverage check -----------------------------------------------------------------

    void coverage_data()
    {
        QTest::addColumn<QString>("storedText"); // raw dates.day2 value; empty for NULL
        QTest::addColumn<QDate>("day");
        QTest::addColumn<bool>("present");
        QTest::newRow("a week old") << "2003-12-08" << Monday << false;
        QTest::newRow("same day") << "2003-12-15" << Monday << true;
        QTest::newRow("stored with a time of day") << "2003-12-15 00:00:00" << Monday << true;
        QTest::newRow("same day of another year") << "2002-12-15" << QDate(2002, 12, 16) << false;
        QTest::newRow("another weekday's column") << "2003-12-16" << QDate(2003, 12, 16) << false;
        QTest::newRow("new database") << "2000-01-01" << Monday << false;
    }
    void coverage()
    {
        QFETCH(QString, storedText);
        QFETCH(QDate, day);
        QFETCH(bool, present);
        ListingsStore store(newPath());
        Statement set(store.database(), "UPDATE dates SET day2 = ?");
        set.bind(1, storedText);
        set.run();
        QCOMPARE(checkForPrograms(store, day), present);
    }

    void coverageFollowsImport()
    {
        ListingsStore store(newPath());
        store.setStoredDate(2, QDate(2003, 12, 8));
        const QDate theDate = Monday; // Monday 12/15/2003, checked at 20:00
        QVERIFY(!checkForPrograms(store, theDate));
        store.setStoredDate(2, Monday);
        QVERIFY(checkForPrograms(store, theDate));
        QVERIFY(!checkForPrograms(store, theDate.addDays(7)));
        QVERIFY(!checkForPrograms(store, theDate.addYears(1)));
    }

    void coverageFailures_data()
    {
        QTest::addColumn<QByteArray>("damage");
        QTest::newRow("column NULL") << QByteArray("UPDATE dates SET day2 = NULL");
        QTest::newRow("not a date") << QByteArray("UPDATE dates SET day2 = 'soon'");
        QTest::newRow("no dates row") << QByteArray("DELETE FROM dates");
    }
    void coverageFailures()
    {
        QFETCH(QByteArray, damage);
        ListingsStore store(newPath());
        store.database().exec(damage.constData());
        QVERIFY_THROWS_EXCEPTION(StoreError, checkForPrograms(store, Monday));
        // Other weekdays are unaffected by a damaged column.
        if (!damage.startsWith("DELETE"))
            QVERIFY(!checkForPrograms(store, Sunday));
    }
};

QTEST_GUILESS_MAIN(TestListingsStore)
#include "tst_listingsstore.moc"
