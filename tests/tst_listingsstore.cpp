// The listings store on real SQLite files: the schema and what it refuses, ids, the guide's
// windows over a day table, channel order and the coverage check.
#include "acquire/coverage.h"
#include "store/sqlite.h"
#include "support/support.h"

#include <QTest>

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
            ListingsStore store(path);
            QCOMPARE(store.storedDate(2), Monday);
            QCOMPARE(store.channels().rows(),
                     std::vector<ChannelRow>({ChannelRow{"C1", "2 ABC", "2", "abc.png"}}));
            QCOMPARE(store.programme(2, id)->action, std::optional<QString>("season"));
            QCOMPARE(store.rules(), std::vector<RuleRow>({RuleRow{"Show", "season", "2 ABC"}}));
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
        Database(path, Database::Mode::OpenExisting)
            .exec(kind == "newer" ? "PRAGMA user_version = 2" : "PRAGMA application_id = 0");
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

    // Values are bound, never pasted: quotes and SQL in texts come back exactly. Ids are not
    // handed out again after the day is emptied, even across a reopen.
    void insertedProgrammes()
    {
        const QString path = newPath();
        qint32 lastId = 0;
        {
            ListingsStore store(path);
            ProgrammeRow row = programme("o'b", at(Monday, 23, 30, 15),
                                         at(Monday.addDays(1), 0, 30), "Bob's 'Late'");
            row.subtitle = "Pilot", row.category = "Drama", row.rerun = true;
            row.description = "It's; DROP TABLE day2; --";
            row.rating = "PG'13";
            row.programid = 999;                   // ignored
            row.action = QStringLiteral("record"); // ignored: new rows are unmarked
            const qint32 first = store.insertProgramme(2, row);
            QVERIFY(first > 0 && store.insertProgramme(2, row) > first);
            row.programid = first;
            row.action = std::nullopt;
            QCOMPARE(store.programme(2, first), std::optional<ProgrammeRow>(row));
            lastId = store.insertProgramme(2, row);
            store.deleteDay(2);
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
        ListingsStore store(newPath());
        if (stored == "-")
            store.database().exec("DELETE FROM dates");
        else
            Statement(store.database(), "UPDATE dates SET day2 = ?").bind(1, stored).run();
        if (present < 0)
            QVERIFY_THROWS_EXCEPTION(StoreError, checkForPrograms(store, day));
        else
            QCOMPARE(checkForPrograms(store, day), present == 1);
        if (stored != "-") // other weekdays are unaffected
            QVERIFY(!checkForPrograms(store, Sunday));
    }
};

QTEST_GUILESS_MAIN(TestListingsStore)
#include "tst_listingsstore.moc"
