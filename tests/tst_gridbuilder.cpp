// The guide grid without widgets: which programme lands in which cell, the pages of nine
// channels with their way back, a real day file's windows, where the present stands in a window
// and to each cell, and the genres of the categories grabbers write.

#include "acquire/importer.h"
#include "guide/genre.h"
#include "guide/gridbuilder.h"
#include "guide/timeline.h"
#include "support/support.h"

#include <QLocale>
#include <QTest>

#include <memory>

using namespace zarvo;
using namespace zarvo::test;

namespace {

const QDate Monday(2003, 12, 15);
const QDate Tuesday(2003, 12, 16);

// "12-15 20:00" in December 2003.
QDateTime stamp(const QString& text)
{
    const QDateTime d = QDateTime::fromString("2003-" + text, QStringLiteral("yyyy-MM-dd HH:mm"));
    return wallClock(d.date(), d.time());
}

// "A|B" for the two cells of a row ("" for an empty one), "A=A" when the row is merged; a
// marker follows its title: "News[season]".
QString cells(const GridRow& row)
{
    QString half[2];
    for (int i = 0; i < 2; ++i)
        if (const auto& c = row.cells[std::size_t(i)])
            half[i] = c->title + (c->marker ? '[' + markText(*c->marker) + ']' : QString());
    return half[0] + (row.merged ? "=" : "|") + half[1];
}

} // namespace

class TestGridBuilder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ListingsStore> m_store;
    int m_databases = 0;
    FakeClock m_clock{QTimeZone("America/New_York"), wallClock(Monday, QTime(20, 5, 12))};

    // Channels C1..Cn, numbered 1..n, named "n CALLn".
    void addChannels(int count)
    {
        for (int i = 1; i <= count; ++i)
            test::addChannels(*m_store, {QStringLiteral("%1 CALL%1").arg(i)});
    }
    qint32 add(int channel, const QString& title, const QDateTime& start, const QDateTime& end,
               int day = 2)
    {
        return m_store->insertProgramme(
            day, programme(QStringLiteral("C%1").arg(channel), start, end, title));
    }
    // Channels `from`..`to` get one programme "<prefix><n>" of `minutes` from `start`.
    void addRun(const QString& prefix, const QDateTime& start, int minutes, int to, int from = 1)
    {
        for (int i = from; i <= to; ++i)
            add(i, prefix + QString::number(i), start, start.addSecs(60 * minutes),
                dayNumber(start.date()));
    }
    [[nodiscard]] bool fill(GridBuilder& builder, const QDateTime& window)
    {
        showWindow(builder.state(), window);
        return builder.displayListings(*m_store);
    }
    // Pages down to the end from the page shown; "first channel number:rows:its cells" of
    // every page.
    QString pageToTheEnd(GridBuilder& builder, std::vector<GridPage>* shown = nullptr)
    {
        QStringList pages;
        do {
            const GridPage& p = builder.page();
            pages << (p.rows.empty() ? QStringLiteral("-:0")
                                     : QStringLiteral("%1:%2:%3")
                                           .arg(p.rows[0].channelName.section(u' ', 0, 0))
                                           .arg(p.rows.size())
                                           .arg(cells(p.rows[0])));
            if (shown)
                shown->push_back(p);
        } while (pageDown(builder.state(), builder.hasNextPage()) &&
                 builder.displayListings(*m_store));
        return pages.join(u' ');
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

    // Programmes "title|start|end[|day table[|action]]" of channel 1 (of two), and the header
    // and first row they give: "A|B" two cells, "A=A" merged, "A[record]" a marker.
    void placement_data()
    {
        QTest::addColumn<QDateTime>("window");
        QTest::addColumn<QStringList>("programmes");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QDateTime& window, const QStringList& p,
                            const QString& expected) {
            QTest::newRow(name) << window << p << expected;
        };
        const QDateTime eight = at(Monday, 20);
        const QString h8 = QStringLiteral("Mon 8:00:00 PM 8:30:00 PM / ");
        const QString news = QStringLiteral("News|12-15 20:00|12-15 21:00");
        row("8 to 9 PM, minutes ignored", at(Monday, 20, 45), {news}, h8 + "News=News");
        row("Tuesday's table is not Monday's", eight, {news + "|3"}, h8 + "|");
        row("9 AM: 9:00, 9:30 and 9:55", at(Monday, 9),
            {"Early|12-15 08:30|12-15 09:10", "Half|12-15 09:30|12-15 10:00",
             "Ten|12-15 09:55|12-15 10:30"},
            "Mon 9:00:00 AM 9:30:00 AM / Early|Half");
        row("20:55, 9 PM", at(Monday, 21), {"Late|12-15 20:55|12-15 21:30"},
            "Mon 9:00:00 PM 9:30:00 PM / Late|");
        row("the day before until 00:30", at(Monday, 0), {"Owl|12-14 23:30|12-15 00:30"},
            "Mon 12:00:00 AM 12:30:00 AM / Owl|");
        row("noon, several in one column: the last stays", at(Monday, 12),
            {"A|12-15 12:00|12-15 12:10", "B|12-15 12:10|12-15 12:20|2|all",
             "C|12-15 12:20|12-15 13:00|2|record"},
            "Mon 12:00:00 PM 12:30:00 PM / C[record]=C[record]");
        // Only the same start date and time merge, not the same clock time on another day.
        row("same clock time, earlier day", eight,
            {"Marathon|12-14 20:00|12-15 20:45", "Short|12-15 20:00|12-15 20:20"},
            h8 + "Short|Marathon");
        row("marker", eight, {news + "|2|season"}, h8 + "News[season]=News[season]");
    }
    void placement()
    {
        QFETCH(QDateTime, window);
        QFETCH(QStringList, programmes);
        QFETCH(QString, expected);
        addChannels(2);
        for (const QString& text : programmes) {
            const QStringList p = text.split(QLatin1Char('|'));
            const int day = p.size() > 3 ? p[3].toInt() : 2;
            const qint32 id = add(1, p[0], stamp(p[1]), stamp(p[2]), day);
            if (p.size() > 4)
                QVERIFY(m_store->setAction(day, id, markFromText(p[4])));
        }
        GridBuilder builder;
        QVERIFY(fill(builder, window));
        const GridPage& page = builder.page();
        QCOMPARE(page.rows.size(), std::size_t(2));
        QCOMPARE(QStringList(page.header.begin(), page.header.end()).join(u' ') + " / " +
                     cells(page.rows[0]),
                 expected);
        QCOMPARE(cells(page.rows[1]), QStringLiteral("|"));
        QCOMPARE(page.rows[0].channelText, QStringLiteral("      1 CALL1"));
        QCOMPARE(page.rows[0].icon, QStringLiteral("call1.png"));
    }

    void pages_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("pages");
        // A cell that receives nothing on a page keeps nothing of the page before.
        QTest::newRow("25") << 25 << "1:9:News[record]=News[record] 10:9:| 19:7:|";
        QTest::newRow("10") << 10 << "1:9:News[record]=News[record] 10:1:|";
        QTest::newRow("none") << 0 << "-:0";
    }
    void pages()
    {
        QFETCH(int, channels);
        QFETCH(QString, pages);
        addChannels(channels);
        m_store->setAction(2, add(1, "News", at(Monday, 20), at(Monday, 21)), Mark::Record);
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        QCOMPARE(pageToTheEnd(builder), pages);
        const GridState last = builder.state();
        QVERIFY(!pageDown(builder.state(), builder.hasNextPage()));
        QCOMPARE(builder.state(), last);
    }

    // 500 channels are 56 pages: more than a fixed table of 51 positions would hold. Page up
    // shows every page as it was, and page up on page 1 shows page 1 again.
    void pageUpReturnsThroughEveryPage()
    {
        addChannels(500);
        addRun("P", at(Monday, 20), 120, 500);
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        std::vector<GridPage> shown;
        QVERIFY(pageToTheEnd(builder, &shown).endsWith(QLatin1String(" 496:5:P496=P496")));
        QCOMPARE(shown.size(), std::size_t(56));
        QCOMPARE(builder.page().rows.size(), std::size_t(5));
        for (int page = 55; page >= 0; --page) {
            pageUp(builder.state());
            QVERIFY(builder.displayListings(*m_store));
            QCOMPARE(builder.state().channelPage, std::max(page, 1));
            QCOMPARE(builder.page(), shown[std::size_t(std::max(page, 1) - 1)]);
        }
        QVERIFY(!builder.state().goingBack);
    }

    // Channels without programmes, before or after those that have some, are all shown: the
    // walk neither ends when the programmes run out nor stops at a channel with none.
    void everyChannelIsShown_data()
    {
        QTest::addColumn<QList<int>>("firstHalf");  // channels with a programme from 20:00
        QTest::addColumn<QList<int>>("secondHalf"); // channels with one from 20:30
        QTest::newRow("nothing in the first half hour") << QList<int>{} << QList<int>{3, 7};
        QTest::newRow("first channels have none") << QList<int>{5, 6, 9} << QList<int>{8};
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
        QStringList shown, expected;
        for (const GridRow& row : builder.page().rows)
            shown << row.channelName + ':' + cells(row);
        for (int c = 1; c <= 9; ++c)
            expected << QStringLiteral("%1 CALL%1:").arg(c) +
                            (firstHalf.contains(c) ? "First|" : "|") +
                            (secondHalf.contains(c) ? "Second" : "");
        QCOMPARE(shown, expected);
        QCOMPARE(builder.page().header[0], QStringLiteral("Mon"));
        QVERIFY(builder.hasNextPage());
    }

    // A new day keeps the channel page, passing over its programmes of earlier channels; a
    // page past the last becomes the last. An hour move pages down to the page shown before.
    void newWindowsAndThePage()
    {
        addChannels(25);
        addRun("Mon", at(Monday, 20), 120, 25);
        addRun("Tue", at(Tuesday, 20), 120, 25, 10);
        addRun("Late", at(Monday, 23), 30, 25);
        GridBuilder builder;
        QVERIFY(fill(builder, at(Monday, 20)));
        QVERIFY(pageDown(builder.state(), builder.hasNextPage()));
        QVERIFY(builder.displayListings(*m_store));
        showDay(builder.state(), at(Tuesday, 20));
        QVERIFY(builder.displayListings(*m_store));
        QCOMPARE(builder.state().channelPage, 2);
        QCOMPARE(cells(builder.page().rows[0]), QStringLiteral("Tue10=Tue10"));
        QCOMPARE(cells(builder.page().rows[8]), QStringLiteral("Tue18=Tue18"));
        pageUp(builder.state());
        QVERIFY(builder.displayListings(*m_store));
        QCOMPARE(builder.page().rows[0].channelName, QStringLiteral("1 CALL1"));
        QCOMPARE(cells(builder.page().rows[8]), QStringLiteral("|"));
        builder.state().channelPage = 7;
        showDay(builder.state(), at(Monday, 20));
        QVERIFY(builder.displayListings(*m_store));
        QCOMPARE(builder.state().channelPage, 3);
        QCOMPARE(cells(builder.page().rows[6]), QStringLiteral("Mon25=Mon25"));
        QVERIFY(!builder.hasNextPage());
        builder.state().windowStart = at(Monday, 23);
        QVERIFY(restoreChannelPage(builder, *m_store, 3));
        QCOMPARE(builder.state().channelPage, 3);
        QCOMPARE(builder.page().header[1], QStringLiteral("11:00:00 PM"));
        QCOMPARE(cells(builder.page().rows[0]), QStringLiteral("Late19|"));
    }

    // A real day file, imported for the Friday it was fetched for, runs from Friday noon to
    // Sunday morning (its stamps are UTC, the viewer is in Sydney). Every window of that Friday,
    // on every page, shows only programmes that start in it or run into it, none of a later day.
    void realDayFileShowsOnlyItsOwnDate()
    {
        const QDate friday(2023, 11, 24);
        const ProgramFolder folder(m_dir.filePath(QStringLiteral("sydney")));
        QVERIFY(QDir().mkpath(folder.xmltvFolder()));
        QVERIFY(QFile::copy(ZARVO_TESTDATA "/importer/utc-offsets.xml",
                            QDir(folder.xmltvFolder()).filePath(dayFileName(friday))));
        const FakeClock sydney(QTimeZone("Australia/Sydney"), wallClock(friday, QTime(3, 1)));
        AppState state;
        ListingsStore store(folder.databaseFile());
        QCOMPARE(getListings(wallClock(friday, QTime(20, 0)), store, state, folder, sydney).status,
                 ImportResult::Status::Imported);
        const auto rows = store.dayProgrammes(dayNumber(friday)).rows();
        QVERIFY(std::any_of(rows.begin(), rows.end(),
                            [&](const ProgrammeRow& p) { return p.startdate > friday; }));

        const auto moment = [](QDate d, QTime t) { return QDateTime(d, t, QTimeZone::utc()); };
        int shown = 0;
        for (int h = 0; h < 24; ++h) {
            GridBuilder builder;
            showWindow(builder.state(), wallClock(friday, QTime(h, 0)));
            QVERIFY(builder.displayListings(store));
            const QDateTime from = moment(friday, QTime(h, 0));
            do {
                for (const GridRow& row : builder.page().rows)
                    for (const auto& cell : row.cells) {
                        if (!cell)
                            continue;
                        const QDateTime start = moment(cell->startDate, cell->startTime);
                        const QDateTime end = moment(cell->endDate, cell->endTime);
                        QVERIFY2(start < from.addSecs(3300) && (start >= from || end > from),
                                 qPrintable(QStringLiteral("%1 %2 in the %3:00 window")
                                                .arg(cell->title, start.toString())
                                                .arg(h)));
                        ++shown;
                    }
            } while (pageDown(builder.state(), builder.hasNextPage()) &&
                     builder.displayListings(store));
        }
        QVERIFY(shown > 50);
    }

    // The now line's place: the present minute across the window's hour, none outside it.
    void nowLine_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<double>("fraction");                        // -1: no line
        const QDateTime start = wallClock(Monday, QTime(20, 5, 12)); // the window 20:00-21:00
        QTest::newRow("before") << start.addSecs(-5 * 60 - 13) << -1.0;
        QTest::newRow("hh:00") << wallClock(Monday, QTime(20, 0)) << 0.0;
        QTest::newRow("seconds do not count") << wallClock(Monday, QTime(20, 5, 59)) << 5 / 60.0;
        QTest::newRow("hh:30") << wallClock(Monday, QTime(20, 30)) << 0.5;
        QTest::newRow("hh:59") << wallClock(Monday, QTime(20, 59, 59)) << 59 / 60.0;
        QTest::newRow("hh+1:00") << wallClock(Monday, QTime(21, 0)) << -1.0;
        QTest::newRow("next day") << wallClock(Tuesday, QTime(20, 10)) << -1.0;
    }
    void nowLine()
    {
        QFETCH(QDateTime, now);
        QFETCH(double, fraction);
        const auto line = nowLineFraction(wallClock(Monday, QTime(20, 5, 12)), now);
        QCOMPARE(line.value_or(-1), fraction);
    }

    // A cell's place against the window 20:00-21:00 and the present.
    void cellTimes_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("expected"); // flags, then the progress or "-"
        QTest::newRow("running across the window") << "12-15 19:30"
                                                   << "12-15 21:30"
                                                   << "12-15 20:30"
                                                   << "before after 0.5";
        QTest::newRow("just begun") << "12-15 20:00"
                                    << "12-15 20:30"
                                    << "12-15 20:00"
                                    << "0";
        QTest::newRow("ended") << "12-15 20:00"
                               << "12-15 20:30"
                               << "12-15 20:45"
                               << "ended -";
        QTest::newRow("ends now") << "12-15 20:30"
                                  << "12-15 21:00"
                                  << "12-15 21:00"
                                  << "ended -";
        QTest::newRow("not begun") << "12-15 20:30"
                                   << "12-15 21:00"
                                   << "12-15 20:15"
                                   << "-";
        QTest::newRow("from yesterday") << "12-14 23:00"
                                        << "12-15 20:10"
                                        << "12-15 20:04"
                                        << "before 0.9953";
        QTest::newRow("into tomorrow") << "12-15 20:30"
                                       << "12-16 01:00"
                                       << "12-15 20:30"
                                       << "after 0";
        QTest::newRow("no end") << "12-15 20:00"
                                << ""
                                << "12-15 20:30"
                                << "-";
    }
    void cellTimes()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, now);
        QFETCH(QString, expected);
        GridCell cell;
        const QDateTime s = stamp(start), e = end.isEmpty() ? QDateTime() : stamp(end);
        cell.startDate = s.date();
        cell.startTime = s.time();
        cell.endDate = e.date();
        cell.endTime = e.time();
        const CellTiming t = cellTiming(cell, stamp("12-15 20:05"), stamp(now));
        QStringList flags;
        if (t.ended)
            flags << "ended";
        if (t.startedBefore)
            flags << "before";
        if (t.goesOn)
            flags << "after";
        flags << (t.progress ? QString::number(*t.progress, 'g', 4) : QStringLiteral("-"));
        QCOMPARE(flags.join(u' '), expected);
    }

    // Categories as grabbers write them, in their languages, and the genre each is tinted as.
    void genres_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<Genre>("genre");
        const auto row = [](const char* category, Genre genre) {
            QTest::newRow(category) << QString::fromUtf8(category) << genre;
        };
        using G = Genre;
        // The genres are tried in order: children before film, sport before news.
        row("Children's film", G::Children);
        row("Sports news", G::Sport);
        row("Zeichentrick", G::Children);
        row("Dessin animé", G::Children);
        row("Rajzfilm", G::Children);
        row("Børn", G::Children);
        row("Cartoni animati", G::Children);
        row("Motorsport", G::Sport);
        row("Fotboll", G::Sport);
        row("Labdarúgás", G::Sport);
        row("Aktuelles", G::News);
        row("Actualidad", G::News);
        row("Jurnal de știri", G::News);
        row("Science", G::Documentary);
        row("Science fiction", G::Series);
        row("Ciencia ficción", G::Series);
        row("Travel", G::Documentary);
        row("Luonto", G::Documentary);
        row("Película", G::Film);
        row("Serial", G::Series);
        row("Feuilleton", G::Series);
        row("Concurso", G::Entertainment);
        row("Jeu", G::Entertainment);
        row("Vetélkedő", G::Entertainment);
        row("Divertisment", G::Entertainment);
        row("Religion", G::Other);
        row("Shopping", G::Other);
        row("", G::Other);
    }
    void genres()
    {
        QFETCH(QString, category);
        QFETCH(Genre, genre);
        QCOMPARE(genreOf(category), genre);
    }
};

QTEST_GUILESS_MAIN(TestGridBuilder)
#include "tst_gridbuilder.moc"
