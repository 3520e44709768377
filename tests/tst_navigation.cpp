// The guide's remote-control navigation against a fake screen: the button ring, the key map,
// every command's effect on the window and the page, the day loads with their two passes, and
// keys that arrive while an import or a fill runs.

#include "guide/navigation.h"

#include <QTest>

#include <functional>
#include <set>
#include <vector>

using namespace zarvo;
namespace button = zarvo::guidebutton;

Q_DECLARE_METATYPE(zarvo::GuideCommand)

namespace {

const QDate Today(2004, 6, 14); // a Monday

QDateTime at(QDate date, int hour, int minute = 0)
{
    return wallClock(date, QTime(hour, minute));
}

// A screen that records what the navigator asks of it. Fills behave like the grid builder's:
// a new window starts at its page (kept within `pages`), paging stops at the last page.
class FakeView final : public GuideView
{
public:
    struct Fill
    {
        QDateTime windowStart;
        int page = 0;
        bool requery = false;
        bool goingBack = false;
        bool hidden = false;
    };

    GridState grid;
    int pages = 3;
    std::set<QDate> present;
    // The outcome of each getListings call in turn (true: the day gets loaded); false after.
    std::vector<bool> fetchOutcomes;
    AppState* state = nullptr;
    std::function<void()> duringFill;
    std::function<void()> duringFetch;

    std::vector<Fill> fills;
    std::vector<QDate> checks;
    std::vector<QDateTime> fetches;
    std::array<bool, button::Count> selected{};
    std::vector<std::pair<int, bool>> buttonChanges;
    int hiddenDepth = 0;
    int initForms = 0;
    bool gridFocused = false;
    std::vector<GuideWindowState> windowStates;
    int settingsShown = 0;
    int exits = 0;
    bool nestedFill = false;

    GridState& gridState() override { return grid; }
    bool hasNextPage() const override { return m_shownPage < pages; }
    bool displayListings() override
    {
        if (m_filling) {
            nestedFill = true;
            return false;
        }
        m_filling = true;
        fills.push_back({grid.windowStart, grid.channelPage, grid.requeryNeeded, grid.goingBack,
                         hiddenDepth > 0});
        if (duringFill)
            duringFill();
        m_shownPage = std::clamp(grid.channelPage, 1, pages);
        grid.channelPage = m_shownPage;
        grid.requeryNeeded = false;
        grid.goingBack = false;
        m_filling = false;
        return true;
    }
    void beginRefill() override { ++hiddenDepth; }
    void endRefill() override { --hiddenDepth; }
    void initForm() override { ++initForms; }
    bool checkForPrograms(QDate day) override
    {
        checks.push_back(day);
        return present.count(day) > 0;
    }
    void getListings(const QDateTime& day) override
    {
        fetches.push_back(day);
        if (duringFetch)
            duringFetch();
        const std::size_t n = fetches.size() - 1;
        if (n < fetchOutcomes.size() && fetchOutcomes[n]) {
            present.insert(day.date());
            state->fetchPending = false;
        }
    }
    void showButtonSelected(int b, bool on) override
    {
        selected.at(std::size_t(b)) = on;
        buttonChanges.emplace_back(b, on);
    }
    void setGridFocus(bool focused) override { gridFocused = focused; }
    void setWindowState(GuideWindowState s) override { windowStates.push_back(s); }
    void showSettings() override { ++settingsShown; }
    void exitProgram() override { ++exits; }

    int selectedCount() const { return int(std::count(selected.begin(), selected.end(), true)); }

private:
    int m_shownPage = 1;
    bool m_filling = false;
};

} // namespace

class TestNavigation : public QObject
{
    Q_OBJECT

private:
    FakeClock m_clock{QTimeZone("America/New_York"), at(Today, 15, 10)};
    AppState m_state;
    std::unique_ptr<FakeView> m_view;
    std::unique_ptr<GuideNavigator> m_nav;

    // A guide that has loaded today at 15:10, button 1 selected.
    void loaded()
    {
        QVERIFY(m_nav->startUp());
        m_view->fills.clear();
        m_view->checks.clear();
        m_view->buttonChanges.clear();
        m_view->initForms = 0;
    }
    void key(int code, KeySource source = KeySource::Form) { m_nav->keyReleased(code, source); }
    // Moves the selection to `b` with the arrows: Down cycles the column, Right the row.
    void select(int b)
    {
        const bool inColumn = b <= button::Settings;
        if (m_nav->selectedButton() >= button::None)
            key(40);
        for (int i = 0; i < 20 && m_nav->selectedButton() != b; ++i)
            key(inColumn ? 40 : 39);
        QCOMPARE(m_nav->selectedButton(), b);
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

    void moveSelection_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<GuideCommand>("arrow");
        QTest::addColumn<int>("to");
        QTest::newRow("up from 0 wraps to 4") << 0 << GuideCommand::MoveUp << 4;
        QTest::newRow("up from 3") << 3 << GuideCommand::MoveUp << 2;
        QTest::newRow("down from 4 wraps to 0") << 4 << GuideCommand::MoveDown << 0;
        QTest::newRow("down from 1") << 1 << GuideCommand::MoveDown << 2;
        QTest::newRow("left from the column") << 2 << GuideCommand::MoveLeft << 10;
        QTest::newRow("right from the column") << 4 << GuideCommand::MoveRight << 5;
        QTest::newRow("left from 5 to 1") << 5 << GuideCommand::MoveLeft << 1;
        QTest::newRow("left from 8") << 8 << GuideCommand::MoveLeft << 7;
        QTest::newRow("right from 10 to 1") << 10 << GuideCommand::MoveRight << 1;
        QTest::newRow("right from 6") << 6 << GuideCommand::MoveRight << 7;
        for (int s : {5, 6, 7, 8, 9, 10, 11, 12}) {
            QTest::addRow("down from %d", s) << s << GuideCommand::MoveDown << 1;
            QTest::addRow("up from %d", s) << s << GuideCommand::MoveUp << 4;
        }
        QTest::newRow("right from none: invisible")
            << 11 << GuideCommand::MoveRight << button::Invisible;
        QTest::newRow("left from invisible: none") << 12 << GuideCommand::MoveLeft << 11;
        QTest::newRow("right from invisible stays") << 12 << GuideCommand::MoveRight << 12;
        QTest::newRow("left from none") << 11 << GuideCommand::MoveLeft << 10;
        QTest::newRow("not an arrow") << 3 << GuideCommand::PageDown << 3;
    }
    void moveSelection()
    {
        QFETCH(int, from);
        QFETCH(GuideCommand, arrow);
        QFETCH(int, to);
        QCOMPARE(zarvo::moveSelection(from, arrow), to);
    }

    void unmappedKeysDoNothing_data()
    {
        QTest::addColumn<int>("code");
        for (int code : {0, 12, 65, 191, 255, 13 + 256})
            QTest::addRow("%d", code) << code;
    }
    void unmappedKeysDoNothing()
    {
        QFETCH(int, code);
        loaded();
        key(code);
        QCOMPARE(m_nav->selectedButton(), button::GoToGrid);
        QVERIFY(m_view->buttonChanges.empty());
        QVERIFY(m_view->fills.empty());
        QVERIFY(!m_view->gridFocused);
    }

    void startUpWithTodayPresent()
    {
        m_state.loadErrorText = QStringLiteral("old");
        QVERIFY(m_nav->startUp());
        QCOMPARE(m_state.loadErrorText, QStringLiteral("Error Loading Data"));
        QCOMPARE(m_view->initForms, 1);
        QVERIFY(m_view->fetches.empty());
        QCOMPARE(m_view->fills.size(), std::size_t(1));
        const FakeView::Fill& fill = m_view->fills.front();
        QCOMPARE(fill.windowStart, at(Today, 15, 10));
        QCOMPARE(fill.page, 1);
        QVERIFY(fill.requery);
        QVERIFY(!fill.goingBack);
        QVERIFY(fill.hidden);
        QCOMPARE(m_nav->selectedButton(), button::GoToGrid);
        QVERIFY(m_view->selected[button::GoToGrid]);
        QVERIFY(!m_state.fetchPending);
    }

    // The first pass runs the grabber, the second imports: the grid is filled without laying
    // it out again.
    void startUpFetchesInTwoPasses()
    {
        m_view->present.clear();
        m_view->fetchOutcomes = {false, true};
        QVERIFY(m_nav->startUp());
        QCOMPARE(m_view->fetches.size(), std::size_t(2));
        QCOMPARE(m_view->initForms, 0);
        QCOMPARE(m_view->fills.size(), std::size_t(1));
        QVERIFY(m_view->selected[button::GoToGrid]);
    }

    void startUpFailsAndDropsKeys()
    {
        m_view->present.clear();
        m_view->duringFetch = [this] {
            m_state.importInProgress = false;
            m_nav->keyReleased('Z', KeySource::Form);
        };
        QVERIFY(!m_nav->startUp());
        QCOMPARE(m_view->fetches.size(), std::size_t(2));
        QVERIFY(m_view->fills.empty());
        QVERIFY(m_state.fetchPending);
        QCOMPARE(m_view->selectedCount(), 0);
    }

    void keysIgnoredDuringImport()
    {
        loaded();
        m_state.importInProgress = true;
        for (int code : {int('Z'), int('B'), 39, 13, int('X'), 190})
            key(code);
        m_nav->buttonClicked(button::Now);
        m_state.importInProgress = false;
        QVERIFY(m_view->fills.empty());
        QVERIFY(m_view->buttonChanges.empty());
        QCOMPARE(m_view->exits, 0);
        QVERIFY(m_view->windowStates.empty());
        QCOMPARE(m_nav->selectedButton(), button::GoToGrid);
        // Nothing was kept for later either.
        key('A');
        QVERIFY(m_view->fills.empty());
    }

    void invisibleSelection()
    {
        loaded();
        key(13); // Enter on button 1: to the grid
        QCOMPARE(m_nav->selectedButton(), button::None);
        QVERIFY(m_view->gridFocused);
        key(39); // Right
        QCOMPARE(m_nav->selectedButton(), button::Invisible);
        QCOMPARE(m_view->selectedCount(), 0);
        key(13);
        QVERIFY(m_view->fills.empty());
        key(37); // Left
        QCOMPARE(m_nav->selectedButton(), button::None);
        QCOMPARE(m_view->selectedCount(), 0);
        key(38); // Up
        QCOMPARE(m_nav->selectedButton(), button::Settings);
        QVERIFY(m_view->selected[button::Settings]);
        QCOMPARE(m_view->selectedCount(), 1);
    }

    // Arrows and Enter from the focused grid are the grid's; letters act from anywhere.
    void keysFromTheGrid()
    {
        loaded();
        key(13);
        QVERIFY(m_view->gridFocused);
        key(39, KeySource::Grid);
        key(13, KeySource::Grid);
        QCOMPARE(m_nav->selectedButton(), button::None);
        QVERIFY(m_view->fills.empty());
        key('Z', KeySource::Grid);
        QCOMPARE(m_view->fills.size(), std::size_t(1));
        QCOMPARE(m_nav->selectedButton(), button::None);
        QVERIFY(m_view->gridFocused);
    }

    // Letter keys end in the grid; Enter on the button keeps the button.
    void commandEnding_data()
    {
        QTest::addColumn<int>("letter");
        QTest::addColumn<int>("buttonIndex");
        QTest::newRow("page up") << int('V') << button::PageUp;
        QTest::newRow("page down") << int('B') << button::PageDown;
        QTest::newRow("now") << int('Z') << button::Now;
        QTest::newRow("prime time") << int('C') << button::PrimeTime;
        QTest::newRow("hour back") << int('N') << button::HourBack;
        QTest::newRow("hour forward") << int('M') << button::HourForward;
        QTest::newRow("day forward") << int('K') << button::DayForward;
    }
    void commandEnding()
    {
        QFETCH(int, letter);
        QFETCH(int, buttonIndex);
        m_view->present.insert(Today.addDays(1));
        loaded();
        key(letter);
        QVERIFY(!m_view->fills.empty());
        QCOMPARE(m_nav->selectedButton(), button::None);
        QCOMPARE(m_view->selectedCount(), 0);
        QVERIFY(m_view->gridFocused);

        init();
        m_view->present.insert(Today.addDays(1));
        loaded();
        select(buttonIndex);
        key(13);
        QVERIFY(!m_view->fills.empty());
        QCOMPARE(m_nav->selectedButton(), buttonIndex);
        QVERIFY(m_view->selected[std::size_t(buttonIndex)]);
        QCOMPARE(m_view->selectedCount(), 1);
        QVERIFY(!m_view->gridFocused);
    }

    void nowAndPrimeTime()
    {
        loaded();
        key('B');
        QCOMPARE(m_view->grid.channelPage, 2);
        key('C');
        const FakeView::Fill prime = m_view->fills.back();
        QCOMPARE(prime.windowStart, at(Today, 20));
        QCOMPARE(prime.page, 1);
        QVERIFY(prime.requery);
        m_clock.setNow(at(Today, 16, 45));
        key('Z');
        QCOMPARE(m_view->fills.back().windowStart, at(Today, 16, 45));
        QVERIFY(m_view->fills.back().requery);
    }

    void paging()
    {
        m_view->pages = 2;
        loaded();
        key('V'); // page up on page 1 shows page 1 again
        QCOMPARE(m_view->fills.size(), std::size_t(1));
        QCOMPARE(m_view->fills.back().page, 1);
        QVERIFY(m_view->fills.back().goingBack);
        key('B');
        QCOMPARE(m_view->fills.back().page, 2);
        QVERIFY(!m_view->fills.back().goingBack);
        QVERIFY(!m_view->fills.back().requery);
    }

    void pageDownOnTheLastPageDoesNothing()
    {
        m_view->pages = 1;
        loaded();
        key('B');
        select(button::PageDown);
        key(13);
        QVERIFY(m_view->fills.empty());
        QCOMPARE(m_nav->selectedButton(), button::PageDown);
        QVERIFY(!m_view->gridFocused);
        QCOMPARE(m_view->grid.channelPage, 1);
    }

    void hourLimits_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<int>("letter");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("forward at 23:30 stays")
            << at(Today, 23, 30) << int('M') << at(Today, 23, 30);
        QTest::newRow("forward at 22:59") << at(Today, 22, 59) << int('M') << at(Today, 23, 59);
        QTest::newRow("back at 00:30 stays") << at(Today, 0, 30) << int('N') << at(Today, 0, 30);
        QTest::newRow("back at 01:00") << at(Today, 1) << int('N') << at(Today, 0);
        QTest::newRow("back at 15:10") << at(Today, 15, 10) << int('N') << at(Today, 14, 10);
    }
    void hourLimits()
    {
        QFETCH(QDateTime, start);
        QFETCH(int, letter);
        QFETCH(QDateTime, expected);
        loaded();
        m_view->grid.windowStart = start;
        key(letter);
        QCOMPARE(m_view->grid.windowStart, expected);
        // Even an unchanged window is shown again, from a fresh query.
        QVERIFY(!m_view->fills.empty());
        QVERIFY(m_view->fills.front().requery);
    }

    // The page shown before an hour move is shown after it, reached page by page while the
    // grid stays hidden; when the new hour has fewer pages, the last one.
    void hourMoveRestoresThePage_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("shown");
        QTest::newRow("same page") << 5 << 3;
        QTest::newRow("fewer pages after the move") << 2 << 2;
    }
    void hourMoveRestoresThePage()
    {
        QFETCH(int, pages);
        QFETCH(int, shown);
        m_view->pages = 5;
        loaded();
        key('B');
        key('B');
        QCOMPARE(m_view->grid.channelPage, 3);
        m_view->pages = pages;
        m_view->fills.clear();
        key('M');
        QCOMPARE(m_view->grid.channelPage, shown);
        QCOMPARE(m_view->fills.size(), std::size_t(shown));
        for (std::size_t i = 0; i < m_view->fills.size(); ++i) {
            QCOMPARE(m_view->fills[i].page, int(i) + 1);
            QCOMPARE(m_view->fills[i].windowStart, at(Today, 16, 10));
            QVERIFY(m_view->fills[i].hidden);
        }
        QVERIFY(m_view->fills.front().requery);
        QCOMPARE(m_view->hiddenDepth, 0);
    }

    void dayLimits()
    {
        for (int d = 1; d <= 6; ++d)
            m_view->present.insert(Today.addDays(d));
        loaded();
        key('J'); // today: nothing, not even the focus moves
        QVERIFY(m_view->fills.empty());
        QCOMPARE(m_nav->selectedButton(), button::GoToGrid);
        QVERIFY(!m_view->gridFocused);
        for (int d = 1; d <= 6; ++d) {
            key('K');
            QCOMPARE(m_view->grid.windowStart, at(Today.addDays(d), 15, 10));
        }
        const std::size_t fills = m_view->fills.size();
        QCOMPARE(fills, std::size_t(6));
        select(button::DayForward);
        key(13);
        QCOMPARE(m_view->fills.size(), fills);
        QCOMPARE(m_view->grid.windowStart, at(Today.addDays(6), 15, 10));
        // Only month and day count: a window a year ahead on today's date is "today".
        m_view->grid.windowStart = at(Today.addYears(1), 9);
        key('J');
        QCOMPARE(m_view->fills.size(), fills);
    }

    // A day already present is laid out and shown on the same channel page.
    void dayForwardPresent()
    {
        m_view->present.insert(Today.addDays(1));
        loaded();
        key('B');
        select(button::DayForward);
        key(13);
        QCOMPARE(m_view->initForms, 1);
        QVERIFY(m_view->fetches.empty());
        const FakeView::Fill fill = m_view->fills.back();
        QCOMPARE(fill.windowStart, at(Today.addDays(1), 15, 10));
        QCOMPARE(fill.page, 2);
        QVERIFY(fill.requery);
        QVERIFY(!fill.goingBack);
        QCOMPARE(m_state.settings.daysToDownload, qint16(1));
        QVERIFY(!m_state.fetchPending);
    }

    void dayForwardFetched()
    {
        m_view->fetchOutcomes = {true};
        loaded();
        key('K');
        QCOMPARE(m_view->fetches, std::vector<QDateTime>{at(Today.addDays(1), 15, 10)});
        QCOMPARE(m_view->initForms, 0);
        QCOMPARE(m_view->fills.size(), std::size_t(1));
        QCOMPARE(m_view->fills.back().windowStart, at(Today.addDays(1), 15, 10));
        QCOMPARE(m_state.settings.daysToDownload, qint16(1));
        QCOMPARE(m_nav->selectedButton(), button::None);
    }

    void dayForwardFetchFails()
    {
        loaded();
        select(button::DayForward);
        m_view->buttonChanges.clear();
        key(13);
        QCOMPARE(m_view->fetches, std::vector<QDateTime>{at(Today.addDays(1), 15, 10)});
        QCOMPARE(m_view->grid.windowStart, at(Today, 15, 10));
        QCOMPARE(m_view->fills.size(), std::size_t(1));
        QCOMPARE(m_view->fills.back().windowStart, at(Today, 15, 10));
        QCOMPARE(m_nav->selectedButton(), button::DayForward);
        QVERIFY(m_view->selected[button::DayForward]);
        QCOMPARE(m_view->selectedCount(), 1);
    }

    // When the day shown before is gone as well, the window still ends on it, not a day
    // further back.
    void dayBackFailsTwice()
    {
        m_view->present = {Today, Today.addDays(2)};
        loaded();
        m_view->grid.windowStart = at(Today.addDays(2), 9);
        m_view->present = {};
        key('J');
        QCOMPARE(m_view->fetches,
                 (std::vector<QDateTime>{at(Today.addDays(1), 9), at(Today.addDays(2), 9)}));
        QCOMPARE(m_view->grid.windowStart, at(Today.addDays(2), 9));
        QVERIFY(m_view->fills.empty());
        QVERIFY(m_state.fetchPending);
    }

    void windowAndProgramCommands()
    {
        loaded();
        key(188);
        key(190);
        QCOMPARE(m_view->windowStates,
                 (std::vector<GuideWindowState>{GuideWindowState::Minimized,
                                                GuideWindowState::Maximized}));
        key('S');
        QCOMPARE(m_view->settingsShown, 1);
        key('X');
        QCOMPARE(m_view->exits, 1);
        QVERIFY(m_view->fills.empty());
        QCOMPARE(m_nav->selectedButton(), button::GoToGrid);
        QVERIFY(!m_view->gridFocused);
        select(button::Exit);
        key(13);
        QCOMPARE(m_view->exits, 2);
    }

    void clickedButton()
    {
        loaded();
        m_nav->buttonClicked(button::HourBack);
        QCOMPARE(m_nav->selectedButton(), button::HourBack);
        QVERIFY(m_view->selected[button::HourBack]);
        QVERIFY(!m_view->selected[button::GoToGrid]);
        QCOMPARE(m_view->fills.back().windowStart, at(Today, 14, 10));
        m_nav->buttonClicked(99);
        QCOMPARE(m_nav->selectedButton(), button::HourBack);
    }

    void returnToButtons()
    {
        loaded();
        key('Z');
        QVERIFY(m_view->gridFocused);
        m_nav->returnToButtons();
        QVERIFY(!m_view->gridFocused);
        QCOMPARE(m_nav->selectedButton(), button::GoToGrid);
        QVERIFY(m_view->selected[button::GoToGrid]);
    }

    // Keys that arrive while a fill lets the event loop run wait for it; of several, the
    // latest is handled.
    void keysDuringAFillWait()
    {
        m_view->pages = 5;
        loaded();
        int calls = 0;
        m_view->duringFill = [&] {
            if (++calls == 1) {
                m_nav->keyReleased('Z', KeySource::Grid);
                m_nav->keyReleased('B', KeySource::Grid);
                m_nav->keyReleased(16, KeySource::Form); // Shift: no command
                m_nav->keyReleased(40, KeySource::Grid); // the grid's own
                QCOMPARE(m_view->grid.channelPage, 2);   // untouched under the fill
            }
        };
        key('B');
        QVERIFY(!m_view->nestedFill);
        QCOMPARE(m_view->fills.size(), std::size_t(2));
        QCOMPARE(m_view->fills[0].page, 2);
        QCOMPARE(m_view->fills[1].page, 3);
        QVERIFY(!m_nav->isBusy());
    }
};

QTEST_GUILESS_MAIN(TestNavigation)
#include "tst_navigation.moc"
