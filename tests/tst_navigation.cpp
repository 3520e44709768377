// The guide's remote-control navigation against a fake screen: every command's effect on the
// selection, the window and the page, the day loads with their one fetch, and keys that arrive
// while a fill runs.

#include "guide/navigation.h"
#include "support/support.h"

#include <QTest>

#include <functional>
#include <set>
#include <utility>
#include <vector>

using namespace zarvo;
using namespace zarvo::test;
namespace button = zarvo::guidebutton;

namespace {

const QDate Today(2004, 6, 14); // a Monday
constexpr int Enter = 13, Left = 37, Up = 38, Right = 39, Down = 40;
constexpr int FromGrid = 1000; // added to a key code: the key was caught by the focused grid
constexpr int PastEdge = 3000; // added to an arrow: the focused grid could not follow it
constexpr int SetPages = 2000; // plus n, in a list of keys: the listings now have n pages

// Records what the navigator asks for. Fills behave like the grid builder's: the page is kept
// within `pages`, and paging stops at the last page.
class FakeView final : public GuideView
{
public:
    struct Fill
    {
        bool requery, goingBack, hidden;
    };
    GridState grid;
    int pages = 3;
    std::set<QDate> present;
    std::vector<bool> fetchOutcomes; // per getListings call: true loads the day; false after
    AppState* state = nullptr;
    std::function<void()> duringFill, duringFetch;

    std::vector<Fill> fills;
    std::vector<QDateTime> fetches;
    std::array<bool, button::Count> selected{};
    GridPosition position; // the grid's current cell, put back at row 1, column 1 by a fill
    int changes = 0, hiddenDepth = 0, initForms = 0;
    bool gridFocused = false, nestedFill = false;
    QStringList events; // "minimized", "maximized", "settings", "exit", "failure: TEXT"

    GridState& gridState() override { return grid; }
    bool hasNextPage() const override { return m_shown < pages; }
    bool displayListings() override
    {
        if (m_filling)
            return !(nestedFill = true);
        m_filling = true;
        fills.push_back({grid.requeryNeeded, grid.goingBack, hiddenDepth > 0});
        if (duringFill)
            duringFill();
        grid.channelPage = m_shown = std::clamp(grid.channelPage, 1, pages);
        grid.requeryNeeded = grid.goingBack = m_filling = false;
        position = {};
        return true;
    }
    void beginRefill() override { ++hiddenDepth; }
    void endRefill() override { --hiddenDepth; }
    void initForm() override { ++initForms; }
    bool checkForPrograms(QDate day) override { return present.count(day) > 0; }
    void getListings(const QDateTime& day) override
    {
        fetches.push_back(day);
        if (duringFetch)
            duringFetch();
        if (fetches.size() <= fetchOutcomes.size() && fetchOutcomes[fetches.size() - 1]) {
            present.insert(day.date());
            state->fetchPending = false;
        }
    }
    void showLoadFailure(const QString& message) override { events << "failure: " + message; }
    void showButtonSelected(int b, bool on) override
    {
        selected.at(std::size_t(b)) = on;
        ++changes;
    }
    void setGridFocus(bool focused) override { gridFocused = focused; }
    void setWindowState(GuideWindowState s) override
    {
        events << (s == GuideWindowState::Minimized ? "minimized" : "maximized");
    }
    void showSettings() override { events << "settings"; }
    void exitProgram() override { events << "exit"; }
    void showInfo() override { events << "info"; }
    void showSearch() override { events << "search"; }
    void showRecordings() override { events << "recordings"; }
    void recordCurrentProgramme() override { events << "record"; }
    GridPosition currentPosition() const override { return position; }
    void setCurrentPosition(GridPosition p) override
    {
        QVERIFY(hiddenDepth > 0); // the viewer never sees the cell jump to row 1 first
        position = p;
    }
    int selectedCount() const { return int(std::count(selected.begin(), selected.end(), true)); }

private:
    int m_shown = 1;
    bool m_filling = false;
};

} // namespace

class TestNavigation : public QObject
{
    Q_OBJECT

    FakeClock m_clock{QTimeZone("America/New_York"), at(Today, 15, 10)};
    AppState m_state;
    std::unique_ptr<FakeView> m_view;
    std::unique_ptr<GuideNavigator> m_nav;

    // A guide that has loaded today at 15:10, button 1 selected; the records start empty.
    void loaded()
    {
        QVERIFY(m_nav->startUp());
        m_view->fills.clear();
        m_view->changes = m_view->initForms = 0;
    }
    void key(int code)
    {
        if (code >= PastEdge)
            m_nav->keyReleased(code - PastEdge, KeySource::GridEdge);
        else if (code >= SetPages)
            m_view->pages = code - SetPages;
        else
            m_nav->keyReleased(code % FromGrid,
                               code >= FromGrid ? KeySource::Grid : KeySource::Form);
    }
    int selected() const { return m_nav->selectedButton(); }
    // "button 11, grid, 14 15:10, page 2, fills: new next": the selection, who has the focus,
    // the window's day of month and time, the channel page, and each fill since the load:
    // queried anew, the next page, or back to a saved page.
    QString describe() const
    {
        QString text = QStringLiteral("button %1, %2, %3, page %4, fills:")
                           .arg(selected())
                           .arg(QLatin1String(m_view->gridFocused ? "grid" : "form"),
                                m_view->grid.windowStart.toString(QStringLiteral("d hh:mm")))
                           .arg(m_view->grid.channelPage);
        for (const FakeView::Fill& f : m_view->fills)
            text += QLatin1String(f.requery ? " new" : f.goingBack ? " back" : " next");
        return text;
    }

private Q_SLOTS:
    void init()
    {
        m_clock.setNow(at(Today, 15, 10));
        m_state = AppState();
        m_state.settings.primeTime = QStringLiteral("8:00 PM");
        m_state.settings.daysToDownload = 3;
        m_view = std::make_unique<FakeView>();
        m_view->state = &m_state;
        m_view->present = {Today};
        m_nav = std::make_unique<GuideNavigator>(*m_view, m_state, m_clock);
    }

    // Keys after the load, and where they leave the selection, the grid and the window. A
    // letter key that refreshes the grid ends in the grid; Enter on the button keeps the
    // button. Commands that do nothing move neither the grid nor the focus.
    void keys_data()
    {
        QTest::addColumn<QTime>("start");
        QTest::addColumn<int>("daysAhead"); // days after today that are present
        QTest::addColumn<int>("pages");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("expected"); // see describe()
        const auto row = [](const char* name, QList<int> keys, const char* expected,
                            QTime start = QTime(15, 10), int daysAhead = 1, int pages = 3) {
            QTest::newRow(name) << start << daysAhead << pages << keys << QString(expected);
        };
        for (int code : {65, 13 + 256})
            QTest::addRow("unmapped %d", code) << QTime(15, 10) << 1 << 3 << QList<int>{code}
                                               << "button 1, form, 14 15:10, page 1, fills:";
        row("go to grid", {Enter}, "button 11, grid, 14 15:10, page 1, fills:");
        // Page up on page 1 shows page 1 again, from its saved start.
        row("V", {'V'}, "button 11, grid, 14 15:10, page 1, fills: back");
        row("B", {'B'}, "button 11, grid, 14 15:10, page 2, fills: next");
        row("C from page 2", {'B', 'C'}, "button 11, grid, 14 20:00, page 1, fills: next new");
        row("prime time button", {Right, Right, Enter},
            "button 6, form, 14 20:00, page 1, fills: new");
        row("K", {'K'}, "button 11, grid, 15 15:10, page 1, fills: new");
        // The hours never leave the day, but the window is shown again, from a fresh query.
        row("M at 23:30", {'M'}, "button 11, grid, 14 23:30, page 1, fills: new", QTime(23, 30));
        row("N at 01:00", {'N'}, "button 11, grid, 14 00:00, page 1, fills: new", QTime(1, 0));
        // An hour move shows the page shown before, in one fill of the new window; or the last
        // page.
        row("M on page 3", {'B', 'B', 'M'},
            "button 11, grid, 14 16:10, page 3, fills: next next new", QTime(15, 10), 1, 5);
        row("M on page 3 of 2", {'B', 'B', 'M', 'J'},
            "button 11, grid, 14 16:10, page 2, fills: next new", QTime(15, 10), 1, 2);
        row("K past today + 6", {'K', 'K', 'K', 'K', 'K', 'K', Left, Enter},
            "button 10, grid, 20 15:10, page 1, fills: new new new new new new", QTime(15, 10), 6);
    }
    void keys()
    {
        QFETCH(QTime, start);
        QFETCH(int, daysAhead);
        QFETCH(int, pages);
        QFETCH(QList<int>, keys);
        QFETCH(QString, expected);
        m_clock.setNow(at(Today, start.hour(), start.minute()));
        for (int d = 1; d <= daysAhead; ++d)
            m_view->present.insert(Today.addDays(d));
        m_view->pages = pages;
        loaded();
        for (int code : keys)
            key(code);
        QCOMPARE(describe(), expected);
        for (const FakeView::Fill& fill : m_view->fills)
            QVERIFY(fill.hidden && (!fill.requery || !fill.goingBack));
        QCOMPARE(m_view->hiddenDepth, 0);
        // Exactly the selected button shows its selected picture.
        const int b = selected();
        QCOMPARE(m_view->selectedCount(), b < button::None ? 1 : 0);
        QVERIFY(b >= button::None || m_view->selected[std::size_t(b)]);
        if (QByteArray(QTest::currentDataTag()).startsWith("unmapped"))
            QCOMPARE(m_view->changes, 0);
    }

    // Today present; missing and loaded by one fetch (no new layout then); missing and not
    // loaded, which fails after that one fetch and drops the keys kept meanwhile.
    void startUp_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<std::vector<bool>>("outcomes");
        QTest::addColumn<int>("fetches");
        QTest::addColumn<int>("initForms");
        QTest::newRow("present") << true << std::vector<bool>{} << 0 << 1;
        QTest::newRow("fetched") << false << std::vector<bool>{true} << 1 << 0;
        QTest::newRow("fails") << false << std::vector<bool>{false, true} << 1 << 0;
    }
    void startUp()
    {
        QFETCH(bool, present);
        QFETCH(std::vector<bool>, outcomes);
        QFETCH(int, fetches);
        QFETCH(int, initForms);
        const bool fails = QByteArray(QTest::currentDataTag()) == "fails";
        if (!present)
            m_view->present.clear();
        m_view->fetchOutcomes = outcomes;
        if (fails)
            m_view->duringFetch = [this] { key('Z'); };
        m_state.loadErrorText = QStringLiteral("old");
        QCOMPARE(m_nav->startUp(), !fails);
        QCOMPARE(m_state.loadErrorText, QStringLiteral("Error Loading Data"));
        QCOMPARE(int(m_view->fetches.size()), fetches);
        QCOMPARE(m_view->initForms, initForms);
        QCOMPARE(m_state.fetchPending, fails);
        QCOMPARE(describe(), QLatin1String(fails ? "button 1, form, 14 15:10, page 1, fills:"
                                                 : "button 1, form, 14 15:10, page 1, fills: new"));
        QVERIFY(m_view->fills.empty() || m_view->fills[0].hidden);
        QCOMPARE(m_view->selectedCount(), fails ? 0 : 1);
        QCOMPARE(m_view->selected[button::GoToGrid], !fails);
    }

    // Day forward by Enter on page 2: a day present is laid out again; a missing one fetched
    // (one day only); one whose fetch fails leaves the day shown before, laid out again. The
    // page is kept and the day button stays selected.
    void dayForward_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("fetchLoads");
        QTest::addColumn<int>("fetches");
        QTest::addColumn<int>("initForms");
        QTest::addColumn<int>("shownDay");
        QTest::newRow("present") << true << false << 0 << 1 << 15;
        QTest::newRow("fetched") << false << true << 1 << 0 << 15;
        QTest::newRow("fetch fails") << false << false << 1 << 1 << 14;
    }
    void dayForward()
    {
        QFETCH(bool, present);
        QFETCH(bool, fetchLoads);
        QFETCH(int, fetches);
        QFETCH(int, initForms);
        QFETCH(int, shownDay);
        if (present)
            m_view->present.insert(Today.addDays(1));
        m_view->fetchOutcomes = {fetchLoads};
        loaded();
        for (int code : {int('B'), Left, Enter})
            key(code);
        QCOMPARE(
            describe(),
            QStringLiteral("button 10, grid, %1 15:10, page 2, fills: next new").arg(shownDay));
        QCOMPARE(m_view->fetches, std::vector<QDateTime>(fetches, at(Today.addDays(1), 15, 10)));
        QCOMPARE(m_view->initForms, initForms);
        QCOMPARE(m_view->events,
                 shownDay == 14 ? QStringList{"failure: Error Loading Data"} : QStringList{});
        QCOMPARE(m_state.settings.daysToDownload, qint16(1));
        QCOMPARE(m_view->selectedCount(), 1);
    }

    // When the day shown before is gone as well, the window still ends on it, not a day
    // further back, and nothing is fetched a second time.
    void dayBackFailsWithTheShownDayGone()
    {
        m_view->present = {Today, Today.addDays(2)};
        loaded();
        m_view->grid.windowStart = at(Today.addDays(2), 9);
        m_view->present = {};
        m_view->fetchOutcomes = {false, true};
        key('J');
        QCOMPARE(m_view->fetches, (std::vector<QDateTime>{at(Today.addDays(1), 9)}));
        QCOMPARE(m_view->grid.windowStart, at(Today.addDays(2), 9));
        QVERIFY(m_view->fills.empty());
        QVERIFY(m_state.fetchPending);
        QCOMPARE(m_view->events, QStringList{"failure: Error Loading Data"});
    }

    // Now past midnight, with the window still on the evening before: today is loaded first
    // when it is not stored, by one fetch; when that fails the evening stays, laid out again.
    void nowLoadsToday_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("fetchLoads");
        QTest::addColumn<int>("fetches");
        QTest::addColumn<QString>("shown");
        QTest::newRow("stored") << true << false << 0
                                << "button 11, grid, 15 00:05, page 1, fills: new";
        QTest::newRow("fetched") << false << true << 1
                                 << "button 11, grid, 15 00:05, page 1, fills: new";
        QTest::newRow("fetch fails")
            << false << false << 1 << "button 11, grid, 14 23:10, page 1, fills: new";
    }
    void nowLoadsToday()
    {
        QFETCH(bool, present);
        QFETCH(bool, fetchLoads);
        QFETCH(int, fetches);
        QFETCH(QString, shown);
        m_clock.setNow(at(Today, 23, 10));
        loaded();
        if (present)
            m_view->present.insert(Today.addDays(1));
        m_view->fetchOutcomes = {fetchLoads, true};
        m_view->grid.channelPage = 2;
        m_clock.setNow(at(Today.addDays(1), 0, 5));
        key('Z');
        QCOMPARE(describe(), shown);
        QCOMPARE(int(m_view->fetches.size()), fetches);
        QCOMPARE(m_view->events, fetches == 1 && !fetchLoads
                                     ? QStringList{"failure: Error Loading Data"}
                                     : QStringList{});
    }

    // Keys that arrive while a fill lets the event loop run wait for it; of several, the
    // latest is handled.
    void keysDuringAFillWait()
    {
        loaded();
        int calls = 0;
        m_view->duringFill = [&] {
            if (++calls > 1)
                return;
            for (int code : {FromGrid + 'Z', FromGrid + 'B', 16 /* Shift */, FromGrid + Down})
                key(code);
            QCOMPARE(m_view->grid.channelPage, 2); // untouched under the fill
        };
        key('B');
        QVERIFY(!m_view->nestedFill);
        QCOMPARE(describe(), QLatin1String("button 11, grid, 14 15:10, page 3, fills: next next"));
        QVERIFY(!m_nav->isBusy());
    }

    // An arrow past the grid's edge from a cell (row, column) of the focused grid, after `keys`:
    // where the window, the page and the current cell end up. Past the last page, page 1 or
    // the day's hours nothing is filled and the cell stays.
    void pastTheEdge_data()
    {
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QPoint>("from"); // column, row
        QTest::addColumn<int>("arrow");
        QTest::addColumn<QString>("expected"); // see describe()
        QTest::addColumn<QPoint>("to");
        const auto row = [](const char* name, QTime start, QList<int> keys, QPoint from, int arrow,
                            const char* expected, QPoint to) {
            QTest::newRow(name) << start << keys << from << arrow << QString(expected) << to;
        };
        const QTime t(15, 10);
        row("down: next page", t, {}, {2, 9}, Down,
            "button 11, grid, 14 15:10, page 2, fills: next", {2, 1});
        row("down: from page 2", t, {'B'}, {1, 9}, Down,
            "button 11, grid, 14 15:10, page 3, fills: next next", {1, 1});
        row("down: last page", t, {'B', 'B'}, {1, 9}, Down,
            "button 11, grid, 14 15:10, page 3, fills: next next", {1, 9});
        row("up: previous page", t, {'B'}, {2, 1}, Up,
            "button 11, grid, 14 15:10, page 1, fills: next back", {2, 9});
        row("up: page 1", t, {}, {2, 1}, Up, "button 11, grid, 14 15:10, page 1, fills:", {2, 1});
        row("right: next hour", t, {}, {2, 4}, Right,
            "button 11, grid, 14 16:10, page 1, fills: new", {1, 4});
        row("right: keeps page 2", t, {'B'}, {2, 3}, Right,
            "button 11, grid, 14 16:10, page 2, fills: next new", {1, 3});
        row("right: 23:xx", QTime(23, 30), {}, {2, 5}, Right,
            "button 11, grid, 14 23:30, page 1, fills:", {2, 5});
        row("left: previous hour", t, {}, {1, 6}, Left,
            "button 11, grid, 14 14:10, page 1, fills: new", {2, 6});
        row("left: 00:xx", QTime(0, 45), {}, {1, 6}, Left,
            "button 11, grid, 14 00:45, page 1, fills:", {1, 6});
        row("not an arrow", t, {}, {1, 6}, 'B',
            "button 11, grid, 14 15:10, page 1, fills:", {1, 6});
    }
    void pastTheEdge()
    {
        QFETCH(QTime, start);
        QFETCH(QList<int>, keys);
        QFETCH(QPoint, from);
        QFETCH(int, arrow);
        QFETCH(QString, expected);
        QFETCH(QPoint, to);
        m_clock.setNow(at(Today, start.hour(), start.minute()));
        loaded();
        key(Enter); // into the grid
        for (int code : keys)
            key(code);
        m_view->position = {from.y(), from.x()};
        key(PastEdge + arrow);
        QCOMPARE(describe(), expected);
        QCOMPARE(m_view->position, (GridPosition{to.y(), to.x()}));
        QCOMPARE(m_view->hiddenDepth, 0);
        QVERIFY(!m_nav->isBusy());
    }

    // Past the edge is a command like the others: kept while a fill runs, dropped during an
    // import.
    void pastTheEdgeWaitsLikeAKey()
    {
        loaded();
        bool once = true;
        m_view->duringFill = [&] {
            if (std::exchange(once, false))
                key(PastEdge + Down);
        };
        key('B');
        QCOMPARE(describe(), QLatin1String("button 11, grid, 14 15:10, page 3, fills: next next"));
        QCOMPARE(m_view->position, (GridPosition{1, 1}));
        m_view->position = {9, 2};
        m_state.importInProgress = true;
        key(PastEdge + Up);
        QCOMPARE(m_view->grid.channelPage, 3);
        QCOMPARE(m_view->position, (GridPosition{9, 2}));
    }
};

QTEST_GUILESS_MAIN(TestNavigation)
#include "tst_navigation.moc"
