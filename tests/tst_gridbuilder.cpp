#include "guide/gridbuilder.h"
#include "guide/gridjson.h"
#include "store/timerules.h"

#include <QJsonDocument>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace zarvo;

namespace {

const QDate Monday(2003, 12, 15);
const QDate Tuesday(2003, 12, 16);

QDateTime at(QDate date, int hour, int minute = 0)
{
    return wallClock(date, QTime(hour, minute));
}

// "12-15 20:00" in December 2003.
QDateTime stamp(const QString& text)
{
    const QDateTime value =
        QDateTime::fromString(QStringLiteral("2003-") + text, QStringLiteral("yyyy-MM-dd HH:mm"));
    return wallClock(value.date(), value.time());
}

QStringList titles(const GridRow& row)
{
    return {row.cells[0] ? row.cells[0]->title : QString(),
            row.cells[1] ? row.cells[1]->title : QString()};
}

} // namespace

class TestGridBuilder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ListingsStore> m_store;
    int m_databases = 0;
    FakeClock m_clock{QTimeZone("America/New_York"), wallClock(Monday, QTime(20, 5, 12))};

    // Channels C1..Cn, numbered 1..n, named "n CALLn".
    void addChannels(int count)
    {
        Transaction transaction(m_store->database());
        for (int i = 1; i <= count; ++i)
            m_store->insertChannel({QStringLiteral("C%1").arg(i),
                                    QStringLiteral("%1 CALL%1").arg(i), QString::number(i),
                                    QStringLiteral("logo%1.png").arg(i)});
        transaction.commit();
    }

    qint32 add(int channel, const QString& title, const QDateTime& start, const QDateTime& end,
               int day = 2)
    {
        ProgrammeRow row;
        row.channel = QStringLiteral("C%1").arg(channel);
        row.title = title;
        row.startdate = start.date();
        row.starttime = start.time();
        row.enddate = end.date();
        row.endtime = end.time();
        return m_store->insertProgramme(day, row);
    }

    // Channels `from`..`to` get one programme from 20:00 to 22:00 of `date`, "<prefix><n>".
    void addEvening(int to, QDate date, const QString& prefix, int from = 1)
    {
        Transaction transaction(m_store->database());
        for (int i = from; i <= to; ++i)
            add(i, prefix + QString::number(i), at(date, 20), at(date, 22), dayNumber(date));
        transaction.commit();
    }

    [[nodiscard]] bool fill(GridBuilder& builder, const QDateTime& window)
    {
        showWindow(builder.state(), window);
        return builder.displayListings(*m_store);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The guide's texts must not follow the machine's language.
        QLocale::setDefault(QLocale(QLocale::Greek, QLocale::Greece));
    }

    void init()
    {
        QVERIFY(m_dir.isValid());
        m_store = std::make_unique<ListingsStore>(
            m_dir.filePath(QStringLiteral("xmltv%1.db").arg(++m_databases)));
    }

    void cleanup() { m_store.reset(); }

    void header_data()
    {
        QTest::addColumn<QDateTime>("window");
        QTest::addColumn<QStringList>("header");
        QTest::newRow("9 AM Monday")
            << at(Monday, 9) << QStringList{"Mon", "9:00:00 AM", "9:30:00 AM"};
        QTest::newRow("minutes ignored")
            << at(QDate(2003, 12, 20), 20, 45) << QStringList{"Sat", "8:00:00 PM", "8:30:00 PM"};
        QTest::newRow("midnight") << at(Monday, 0, 10)
                                  << QStringList{"Mon", "12:00:00 AM", "12:30:00 AM"};
        QTest::newRow("noon") << at(Monday, 12) << QStringList{"Mon", "12:00:00 PM", "12:30:00 PM"};
    }

    void header()
    {
        QFETCH(QDateTime, window);
        QFETCH(QStringList, header);
        GridBuilder builder;
        QVERIFY(fill(builder, window));
        const auto& texts = builder.page().header;
        QCOMPARE(QStringList(texts.begin(), texts.end()), header);
    }

    void placement_data()
    {
        QTest::addColumn<QStringList>("programmes"); // "title|start|end"
        QTest::addColumn<int>("day");
        QTest::addColumn<QDateTime>("window");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<bool>("merged");
        const QDateTime eight = at(Monday, 20);
        QTest::newRow("8 to 9 PM fills both, merged")
            << QStringList{"News|12-15 20:00|12-15 21:00"} << 2 << eight
            << QStringList{"News", "News"} << true;
        QTest::newRow("Tuesday's table is not Monday's")
            << QStringList{"News|12-15 20:00|12-15 21:00"} << 3 << eight << QStringList{"", ""}
            << false;
        QTest::newRow("two half hours not merged")
            << QStringList{"A|12-15 20:00|12-15 20:30", "B|12-15 20:30|12-15 21:00"} << 2 << eight
            << QStringList{"A", "B"} << false;
        QTest::newRow("9 AM: 9:00, 9:30 and 9:55")
            << QStringList{"Early|12-15 08:30|12-15 09:10", "Half|12-15 09:30|12-15 10:00",
                           "Ten|12-15 09:55|12-15 10:30"}
            << 2 << at(Monday, 9) << QStringList{"Early", "Half"} << false;
        QTest::newRow("20:55 start, 8 PM window") << QStringList{"Late|12-15 20:55|12-15 21:30"}
                                                  << 2 << eight << QStringList{"", ""} << false;
        QTest::newRow("20:55 start, 9 PM window")
            << QStringList{"Late|12-15 20:55|12-15 21:30"} << 2 << at(Monday, 21)
            << QStringList{"Late", ""} << false;
        QTest::newRow("from the day before until 00:30")
            << QStringList{"Owl|12-14 23:30|12-15 00:30"} << 2 << at(Monday, 0)
            << QStringList{"Owl", ""} << false;
        QTest::newRow("several in one column: the last stays")
            << QStringList{"A|12-15 20:00|12-15 20:10", "B|12-15 20:10|12-15 20:20",
                           "C|12-15 20:20|12-15 21:00"}
            << 2 << eight << QStringList{"C", "C"} << true;
        QTest::newRow("same clock time, earlier day: not merged")
            << QStringList{"Marathon|12-14 20:00|12-15 20:45", "Short|12-15 20:00|12-15 20:20"} << 2
            << eight << QStringList{"Short", "Marathon"} << false;
    }

    void placement()
    {
        QFETCH(QStringList, programmes);
        QFETCH(int, day);
        QFETCH(QDateTime, window);
        QFETCH(QStringList, cells);
        QFETCH(bool, merged);
        addChannels(2);
        for (const QString& text : programmes) {
            const QStringList parts = text.split(QLatin1Char('|'));
            add(1, parts[0], stamp(parts[1]), stamp(parts[2]), day);
        }
        GridBuilder builder;
        QVERIFY(fill(builder, window));
        const GridPage& page = builder.page();
        QCOMPARE(page.rows.size(), std::size_t(2));
        QCOMPARE(titles(page.rows[0]), cells);
        QCOMPARE(page.rows[0].merged, merged);
        QCOMPARE(titles(page.rows[1]), QStringList({"", ""}));
        QCOMPARE(page.rows[0].channelText, QStringLiteral("      1 CALL1"));
        QCOMPARE(page.rows[0].icon, QStringLiteral("logo1.png"));
    }

    void marker_data()
    {
        QTest::addColumn<QString>("action"); // null: never marked
        QTest::addColumn<QString>("marker");
        QTest::newRow("record") << "record"
                                << "record";
        QTest::newRow("season") << "season"
                                << "season";
        QTest::newRow("all") << "all"
                             << "all";
        QTest::newRow("blank") << " "
                               << "";
        QTest::newRow("other case") << "Season"
                                    << "";
        QTest::newRow("none") << QString() << "";
    }

    void marker()
    {
        QFETCH(QString, action);
        QFETCH(QString, marker);
        addChannels(1);
        const qint32 id = add(1, "News", at(Monday, 20), at(Monday, 21));
        if (!action.isNull())
            QVERIFY(m_store->setAction(2, id, action));
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        for (int half = 0; half < 2; ++half) {
            QVERIFY(builder.page().cell(0, half));
            QCOMPARE(builder.page().cell(0, half)->marker, marker);
            QCOMPARE(builder.page().cell(0, half)->programId, id);
        }
    }

    void detail_data()
    {
        QTest::addColumn<bool>("rerun");
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("labels");
        const QString times = QStringLiteral("Mon 12/15  8:00:00 PM - 9:00:00 PM");
        QTest::newRow("repeat") << true << 0 << QStringList{"News",         "Headlines (Repeat)",
                                                            "Late edition", "Rating: TV-PG",
                                                            "Newscast",     "8:05:12 PM",
                                                            "1 CALL1",      times};
        QTest::newRow("first showing")
            << false << 0 << QStringList{"News",     "Headlines",  "Late edition", "Rating: TV-PG",
                                         "Newscast", "8:05:12 PM", "1 CALL1",      times};
        QTest::newRow("empty cell")
            << false << 1 << QStringList{"", "", "", "Rating: ", "", "8:05:12 PM", "", ""};
    }

    void detail()
    {
        QFETCH(bool, rerun);
        QFETCH(int, row);
        QFETCH(QStringList, labels);
        addChannels(2);
        ProgrammeRow news{0,       Monday, QTime(20, 0),   Monday,      QTime(21, 0),
                          "C1",    "News", "Late edition", "Headlines", "Newscast",
                          "TV-PG", rerun,  std::nullopt};
        m_store->insertProgramme(2, news);
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        const DetailTexts d = detailTexts(builder.page(), row, 0, m_clock);
        QCOMPARE((QStringList{d.lbltitle, d.lbldesc, d.lblsubtitle, d.lblRating, d.lblcategory,
                              d.lblTime, d.lblChannel, d.lblTimes}),
                 labels);
    }

    void pages_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QList<int>>("rowsPerPage");
        QTest::newRow("25 channels") << 25 << QList<int>{9, 9, 7};
        QTest::newRow("exactly 9") << 9 << QList<int>{9};
        QTest::newRow("10") << 10 << QList<int>{9, 1};
        QTest::newRow("none") << 0 << QList<int>{0};
    }

    void pages()
    {
        QFETCH(int, channels);
        QFETCH(QList<int>, rowsPerPage);
        addChannels(channels);
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        QList<int> seen{int(builder.page().rows.size())};
        while (pageDown(builder.state(), builder.hasNextPage())) {
            QVERIFY(builder.displayListings(*m_store));
            seen.append(int(builder.page().rows.size()));
            const int first = (builder.state().channelPage - 1) * 9 + 1;
            QCOMPARE(builder.page().rows[0].channelName, QStringLiteral("%1 CALL%1").arg(first));
        }
        QCOMPARE(seen, rowsPerPage);
        const GridState last = builder.state();
        QVERIFY(!pageDown(builder.state(), builder.hasNextPage()));
        QCOMPARE(builder.state(), last);
    }

    // 500 channels are 56 pages: more than a fixed table of 51 positions would hold.
    void pageUpReturnsThroughEveryPage()
    {
        addChannels(500);
        addEvening(500, Monday, "P");
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        std::vector<GridPage> shown{builder.page()};
        while (pageDown(builder.state(), builder.hasNextPage())) {
            QVERIFY(builder.displayListings(*m_store));
            shown.push_back(builder.page());
        }
        QCOMPARE(shown.size(), std::size_t(56));
        QCOMPARE(builder.page().rows.size(), std::size_t(5));
        QCOMPARE(titles(builder.page().rows[4]), QStringList({"P500", "P500"}));
        QCOMPARE(builder.savedPageCount(), std::size_t(56));
        for (int page = 55; page >= 1; --page) {
            pageUp(builder.state());
            QVERIFY(builder.displayListings(*m_store));
            QCOMPARE(builder.state().channelPage, page);
            QCOMPARE(builder.page(), shown[std::size_t(page - 1)]);
        }
        // Page up on page 1 shows page 1 again.
        pageUp(builder.state());
        QVERIFY(builder.displayListings(*m_store));
        QCOMPARE(builder.state().channelPage, 1);
        QCOMPARE(builder.page(), shown[0]);
        QVERIFY(!builder.state().goingBack);
    }

    void cellsOfAnotherPageAreNotKept()
    {
        addChannels(12);
        const qint32 id = add(1, "News", at(Monday, 20), at(Monday, 21));
        m_store->setAction(2, id, QStringLiteral("record"));
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        QVERIFY(builder.page().cell(0, 0));
        QVERIFY(pageDown(builder.state(), builder.hasNextPage()));
        QVERIFY(builder.displayListings(*m_store));
        QCOMPARE(builder.page().rows[0].channelName, QStringLiteral("10 CALL10"));
        QVERIFY(!builder.page().cell(0, 0));
        QVERIFY(!builder.page().cell(0, 1));
        QVERIFY(!builder.page().rows[0].merged);
        QCOMPARE(detailTexts(builder.page(), 0, 0, m_clock).lbltitle, QString());
        QCOMPARE(detailTexts(builder.page(), 0, 0, m_clock).lblChannel, QString());
    }

    // Channels without programmes, before or after those that have some, are all shown.
    void everyChannelIsShown_data()
    {
        QTest::addColumn<QList<int>>("firstHalf");  // channels with a programme from 20:00
        QTest::addColumn<QList<int>>("secondHalf"); // channels with one from 20:30
        QTest::newRow("nothing in the first half hour") << QList<int>{} << QList<int>{3, 7};
        QTest::newRow("programmes run out early") << QList<int>{2} << QList<int>{2};
        QTest::newRow("first channels have none") << QList<int>{5, 6, 9} << QList<int>{8};
        QTest::newRow("nothing on at all") << QList<int>{} << QList<int>{};
    }

    void everyChannelIsShown()
    {
        QFETCH(QList<int>, firstHalf);
        QFETCH(QList<int>, secondHalf);
        addChannels(12);
        for (int c : firstHalf)
            add(c, "First", at(Monday, 20), at(Monday, 20, 30));
        for (int c : secondHalf)
            add(c, "Second", at(Monday, 20, 30), at(Monday, 21));
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        const GridPage& page = builder.page();
        QCOMPARE(page.rows.size(), std::size_t(9));
        QCOMPARE(page.header[0], QStringLiteral("Mon"));
        for (int r = 0; r < 9; ++r) {
            QCOMPARE(page.rows[std::size_t(r)].channelName, QStringLiteral("%1 CALL%1").arg(r + 1));
            QCOMPARE(page.cell(r, 0) != nullptr, firstHalf.contains(r + 1));
            QCOMPARE(page.cell(r, 1) != nullptr, secondHalf.contains(r + 1));
        }
        QVERIFY(builder.hasNextPage());
    }

    // A new day keeps the channel page; its programmes of earlier channels are passed over.
    void newDayKeepsThePage()
    {
        addChannels(25);
        addEvening(25, Monday, "Mon");
        addEvening(25, Tuesday, "Tue", 10);
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        QVERIFY(pageDown(builder.state(), builder.hasNextPage()));
        QVERIFY(builder.displayListings(*m_store));
        showDay(builder.state(), at(Tuesday, 20));
        QVERIFY(builder.displayListings(*m_store));
        QCOMPARE(builder.state().channelPage, 2);
        QCOMPARE(titles(builder.page().rows[0]), QStringList({"Tue10", "Tue10"}));
        QCOMPARE(titles(builder.page().rows[8]), QStringList({"Tue18", "Tue18"}));
        pageUp(builder.state());
        QVERIFY(builder.displayListings(*m_store));
        QCOMPARE(builder.page().rows[0].channelName, QStringLiteral("1 CALL1"));
        QCOMPARE(titles(builder.page().rows[0]), QStringList({"", ""}));
        QVERIFY(!builder.page().cell(8, 0));
        // A page past the last becomes the last.
        builder.state().channelPage = 7;
        showDay(builder.state(), at(Monday, 20));
        QVERIFY(builder.displayListings(*m_store));
        QCOMPARE(builder.state().channelPage, 3);
        QCOMPARE(titles(builder.page().rows[6]), QStringList({"Mon25", "Mon25"}));
        QVERIFY(!builder.hasNextPage());
    }

    void hourMoveRestoresThePage()
    {
        addChannels(25);
        Transaction transaction(m_store->database());
        for (int c = 1; c <= 25; ++c)
            add(c, QStringLiteral("Nine%1").arg(c), at(Monday, 21), at(Monday, 21, 30));
        transaction.commit();
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        builder.state().windowStart = hourForward(builder.state().windowStart);
        QVERIFY(restoreChannelPage(builder, *m_store, 3));
        QCOMPARE(builder.state().channelPage, 3);
        QCOMPARE(builder.page().header[1], QStringLiteral("9:00:00 PM"));
        QCOMPARE(titles(builder.page().rows[0]), QStringList({"Nine19", ""}));
        QCOMPARE(builder.savedPageCount(), std::size_t(3));
    }

    void reentrantFillIsRefused()
    {
        addChannels(12);
        addEvening(12, Monday, "P");
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        const GridPage before = builder.page();
        QVERIFY(pageDown(builder.state(), builder.hasNextPage()));
        const GridState asked = builder.state();
        builder.setYieldInterval(std::chrono::milliseconds(0));
        int yields = 0;
        QVERIFY(builder.displayListings(*m_store, [&] {
            ++yields;
            QVERIFY(builder.isFilling());
            QVERIFY(!builder.displayListings(*m_store));
            QVERIFY(!restoreChannelPage(builder, *m_store, 1));
            QCOMPARE(builder.state(), asked);
            QCOMPARE(builder.page(), before);
        }));
        QCOMPARE(yields, 3);
        QVERIFY(!builder.isFilling());
        QCOMPARE(builder.page().rows.size(), std::size_t(3));
        QCOMPARE(titles(builder.page().rows[0]), QStringList({"P10", "P10"}));
    }

    void json()
    {
        GridPage page;
        page.header = {"Mon", "8:00:00 PM", "8:30:00 PM"};
        GridCell news;
        news.title = "News";
        news.marker = "season";
        news.programId = 17;
        news.startDate = Monday;
        news.startTime = QTime(20, 0);
        news.endDate = Monday;
        news.endTime = QTime(21, 0);
        GridRow first{"      2 WCBS", "2 WCBS", "wcbs.png", true, {news, news}};
        GridRow empty{"      4 WNBC", "4 WNBC", "", false, {std::nullopt, std::nullopt}};
        page.rows = {first, empty};
        const QByteArray expected = R"({"header": ["Mon", "8:00:00 PM", "8:30:00 PM"], "rows": [
            {"channel": "2 WCBS", "icon": "wcbs.png", "merged": true, "cells": [
              {"title": "News", "marker": "season", "programid": 17,
               "start": "2003-12-15 20:00", "end": "2003-12-15 21:00"},
              {"title": "News", "marker": "season", "programid": 17,
               "start": "2003-12-15 20:00", "end": "2003-12-15 21:00"}]},
            {"channel": "4 WNBC", "icon": "", "merged": false, "cells": [null, null]}]})";
        QCOMPARE(gridPageJson(page), QJsonDocument::fromJson(expected).object());
    }

    void hourMoves_data()
    {
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QTime>("back");
        QTest::addColumn<QTime>("forward");
        QTest::newRow("00:30") << QTime(0, 30) << QTime(0, 30) << QTime(1, 30);
        QTest::newRow("01:00") << QTime(1, 0) << QTime(0, 0) << QTime(2, 0);
        QTest::newRow("12:45") << QTime(12, 45) << QTime(11, 45) << QTime(13, 45);
        QTest::newRow("23:30") << QTime(23, 30) << QTime(22, 30) << QTime(23, 30);
    }

    void hourMoves()
    {
        QFETCH(QTime, start);
        QFETCH(QTime, back);
        QFETCH(QTime, forward);
        QCOMPARE(hourBack(wallClock(Monday, start)), wallClock(Monday, back));
        QCOMPARE(hourForward(wallClock(Monday, start)), wallClock(Monday, forward));
    }

    void dayMoves_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QDate>("window");
        QTest::addColumn<QDate>("forward"); // invalid: no move
        QTest::addColumn<QDate>("back");
        QTest::newRow("today") << Monday << Monday << Tuesday << QDate();
        QTest::newRow("mid-week") << Monday << QDate(2003, 12, 18) << QDate(2003, 12, 19)
                                  << QDate(2003, 12, 17);
        QTest::newRow("today + 6")
            << Monday << QDate(2003, 12, 21) << QDate() << QDate(2003, 12, 20);
        QTest::newRow("today + 6 in the new year")
            << QDate(2003, 12, 28) << QDate(2004, 1, 3) << QDate() << QDate(2004, 1, 2);
    }

    void dayMoves()
    {
        QFETCH(QDate, today);
        QFETCH(QDate, window);
        QFETCH(QDate, forward);
        QFETCH(QDate, back);
        const QTime time(21, 30);
        const auto toWindow = [&](QDate d) {
            return d.isValid() ? std::optional(wallClock(d, time)) : std::nullopt;
        };
        QCOMPARE(dayForward(wallClock(window, time), today), toWindow(forward));
        QCOMPARE(dayBack(wallClock(window, time), today), toWindow(back));
    }

    void primeTimeSetting_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QTime>("time");
        QTest::newRow("8:00 PM") << "8:00 PM" << QTime(20, 0);
        QTest::newRow("10:00 PM") << "10:00 PM" << QTime(22, 0);
        QTest::newRow("lower case, no minutes") << " 9 pm " << QTime(21, 0);
        QTest::newRow("no blank") << "8:30PM" << QTime(20, 30);
        QTest::newRow("24-hour") << "19:00" << QTime(19, 0);
        QTest::newRow("12 AM") << "12:00 AM" << QTime(0, 0);
        QTest::newRow("empty") << "" << QTime(20, 0);
        QTest::newRow("words") << "prime" << QTime(20, 0);
        QTest::newRow("bare number") << "9" << QTime(20, 0);
        QTest::newRow("13 PM") << "13:00 PM" << QTime(20, 0);
        QTest::newRow("75 minutes") << "8:75 PM" << QTime(20, 0);
        QTest::newRow("25 hours") << "25:00" << QTime(20, 0);
    }

    void primeTimeSetting()
    {
        QFETCH(QString, setting);
        QFETCH(QTime, time);
        QCOMPARE(primeTime(at(Tuesday, 9, 15), setting), wallClock(Tuesday, time));
    }
};

QTEST_GUILESS_MAIN(TestGridBuilder)
#include "tst_gridbuilder.moc"
