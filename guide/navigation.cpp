#include "guide/navigation.h"

#include "base/keycodes.h"

namespace zarvo {

namespace {

bool isButton(int selected)
{
    return selected >= 0 && selected < guidebutton::Count;
}

bool isArrowOrEnter(GuideCommand command)
{
    switch (command) {
    case GuideCommand::Enter:
    case GuideCommand::MoveLeft:
    case GuideCommand::MoveUp:
    case GuideCommand::MoveRight:
    case GuideCommand::MoveDown:
        return true;
    default:
        return false;
    }
}

bool isArrow(GuideCommand command)
{
    return command != GuideCommand::Enter && isArrowOrEnter(command);
}

// Keys the navigator has no use for from where they came: the grid's own arrows and Enter, and
// anything but an arrow past the grid's edge.
bool ignored(GuideCommand command, KeySource source)
{
    switch (source) {
    case KeySource::Form:
        return command == GuideCommand::Nothing;
    case KeySource::Grid:
        return command == GuideCommand::Nothing || isArrowOrEnter(command);
    case KeySource::GridEdge:
        return !isArrow(command);
    }
    return true;
}

// Keeps the grid undrawn for as long as it lives, however the command ends.
class RefillScope
{
public:
    explicit RefillScope(GuideView& view) : m_view(view) { m_view.beginRefill(); }
    ~RefillScope() { m_view.endRefill(); }
    RefillScope(const RefillScope&) = delete;
    RefillScope& operator=(const RefillScope&) = delete;

private:
    GuideView& m_view;
};

} // namespace

GuideCommand commandForKey(int virtualKey)
{
    switch (virtualKey) {
    case vk::Return:
        return GuideCommand::Enter;
    case vk::Left:
        return GuideCommand::MoveLeft;
    case vk::Up:
        return GuideCommand::MoveUp;
    case vk::Right:
        return GuideCommand::MoveRight;
    case vk::Down:
        return GuideCommand::MoveDown;
    case 'B':
    case vk::Next:
        return GuideCommand::PageDown;
    case 'C':
        return GuideCommand::PrimeTime;
    case 'J':
        return GuideCommand::DayBack;
    case 'K':
        return GuideCommand::DayForward;
    case 'M':
        return GuideCommand::HourForward;
    case 'N':
        return GuideCommand::HourBack;
    case 'S':
        return GuideCommand::Settings;
    case 'V':
    case vk::Prior:
        return GuideCommand::PageUp;
    case 'I':
    case vk::Info:
        return GuideCommand::Info;
    case 'F':
        return GuideCommand::Search;
    case 'R':
        return GuideCommand::Recordings;
    case vk::Record:
        return GuideCommand::Record;
    case 'X':
        return GuideCommand::Exit;
    case 'Z':
        return GuideCommand::Now;
    case vk::Comma:
        return GuideCommand::Minimize;
    case vk::Period:
        return GuideCommand::Maximize;
    default:
        return GuideCommand::Nothing;
    }
}

GuideCommand commandForButton(int button)
{
    switch (button) {
    case guidebutton::PageUp:
        return GuideCommand::PageUp;
    case guidebutton::GoToGrid:
        return GuideCommand::GoToGrid;
    case guidebutton::PageDown:
        return GuideCommand::PageDown;
    case guidebutton::Exit:
        return GuideCommand::Exit;
    case guidebutton::Settings:
        return GuideCommand::Settings;
    case guidebutton::Now:
        return GuideCommand::Now;
    case guidebutton::PrimeTime:
        return GuideCommand::PrimeTime;
    case guidebutton::HourBack:
        return GuideCommand::HourBack;
    case guidebutton::HourForward:
        return GuideCommand::HourForward;
    case guidebutton::DayBack:
        return GuideCommand::DayBack;
    case guidebutton::DayForward:
        return GuideCommand::DayForward;
    default:
        return GuideCommand::Nothing;
    }
}

int moveSelection(int s, GuideCommand arrow)
{
    // The column and the row form one ring for Left and Right, so the viewer can always get
    // from any button to any other; Up and Down cycle the column, and from the row they enter
    // it at the settings button (Up) or the grid button (Down).
    const bool inColumn = s >= guidebutton::PageUp && s <= guidebutton::Settings;
    switch (arrow) {
    case GuideCommand::MoveUp:
        if (inColumn)
            return s == guidebutton::PageUp ? guidebutton::Settings : s - 1;
        return guidebutton::Settings;
    case GuideCommand::MoveDown:
        if (inColumn)
            return s == guidebutton::Settings ? guidebutton::PageUp : s + 1;
        return guidebutton::GoToGrid;
    case GuideCommand::MoveLeft:
        if (inColumn)
            return guidebutton::DayForward;
        return s == guidebutton::Now ? guidebutton::GoToGrid : s - 1;
    case GuideCommand::MoveRight:
        if (inColumn)
            return guidebutton::Now;
        // Nothing shown stays nothing shown: the invisible selection has no right-hand side.
        if (s == guidebutton::Invisible)
            return s;
        return s == guidebutton::DayForward ? guidebutton::GoToGrid : s + 1;
    default:
        return s;
    }
}

class GuideNavigator::BusyScope
{
public:
    explicit BusyScope(GuideNavigator& navigator) : m_navigator(navigator)
    {
        m_navigator.m_busy = true;
    }
    ~BusyScope() { m_navigator.m_busy = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    GuideNavigator& m_navigator;
};

GuideNavigator::GuideNavigator(GuideView& view, AppState& state, const Clock& clock)
    : m_view(view), m_state(state), m_clock(clock)
{
}

bool GuideNavigator::startUp()
{
    bool loaded = false;
    {
        const BusyScope busy(*this);
        m_state.loadErrorText = QStringLiteral("Error Loading Data");
        GridState& grid = m_view.gridState();
        grid.channelPage = 1;
        grid.windowStart = m_clock.now();
        grid.requeryNeeded = true;

        const auto showGrid = [&] {
            grid.requeryNeeded = true;
            grid.goingBack = false;
            m_selected = guidebutton::GoToGrid;
            refill();
            m_view.showButtonSelected(guidebutton::GoToGrid, true);
        };
        // getListings fetches a missing day file and imports it in the same call, so one
        // attempt is all there is: a second would only run the grabber again.
        m_state.fetchPending = true;
        if (m_view.checkForPrograms(grid.windowStart.date())) {
            m_view.initForm();
            m_state.fetchPending = false;
            showGrid();
        } else {
            m_view.getListings(grid.windowStart);
            if (!m_state.fetchPending)
                showGrid();
        }
        loaded = !m_state.fetchPending;
    }
    if (!loaded) {
        m_pending.reset();
        return false;
    }
    runPending();
    return true;
}

void GuideNavigator::keyReleased(int virtualKey, KeySource source)
{
    if (m_state.importInProgress)
        return;
    // Keys that mean nothing here must not push a waiting one out.
    if (ignored(commandForKey(virtualKey), source))
        return;
    if (m_busy) {
        m_pending = Pending{virtualKey, source, -1};
        return;
    }
    handleKey(virtualKey, source);
    runPending();
}

void GuideNavigator::buttonClicked(int button)
{
    if (!isButton(button) || m_state.importInProgress)
        return;
    if (m_busy) {
        m_pending = Pending{0, KeySource::Form, button};
        return;
    }
    handleClick(button);
    runPending();
}

void GuideNavigator::runPending()
{
    while (m_pending && !m_busy) {
        const Pending pending = *m_pending;
        m_pending.reset();
        if (m_state.importInProgress)
            continue;
        if (pending.clickedButton >= 0)
            handleClick(pending.clickedButton);
        else
            handleKey(pending.key, pending.source);
    }
}

void GuideNavigator::handleKey(int virtualKey, KeySource source)
{
    const GuideCommand command = commandForKey(virtualKey);
    if (ignored(command, source))
        return;
    const BusyScope busy(*this);
    if (source == KeySource::GridEdge) {
        goPastEdge(command);
        return;
    }
    showSelected(false);
    switch (command) {
    case GuideCommand::Enter:
        if (isButton(m_selected))
            run(commandForButton(m_selected));
        break;
    case GuideCommand::MoveLeft:
    case GuideCommand::MoveUp:
    case GuideCommand::MoveRight:
    case GuideCommand::MoveDown:
        m_selected = moveSelection(m_selected, command);
        break;
    default:
        if (run(command))
            endInGrid();
        break;
    }
    showSelected(true);
}

void GuideNavigator::handleClick(int button)
{
    const BusyScope busy(*this);
    showSelected(false);
    m_selected = button;
    run(commandForButton(button));
    showSelected(true);
}

void GuideNavigator::returnToButtons()
{
    m_view.setGridFocus(false);
    showSelected(false);
    m_selected = guidebutton::GoToGrid;
    showSelected(true);
}

void GuideNavigator::showSelected(bool selected)
{
    if (isButton(m_selected))
        m_view.showButtonSelected(m_selected, selected);
}

void GuideNavigator::endInGrid()
{
    showSelected(false);
    m_selected = guidebutton::None;
    m_view.setGridFocus(true);
}

void GuideNavigator::requeryShownPage()
{
    if (m_state.importInProgress || m_busy)
        return;
    moveHour(m_view.gridState().windowStart);
}

bool GuideNavigator::refill()
{
    const RefillScope hidden(m_view);
    return m_view.displayListings();
}

bool GuideNavigator::run(GuideCommand command)
{
    switch (command) {
    case GuideCommand::PageUp:
        return pageUp();
    case GuideCommand::PageDown:
        return pageDown();
    case GuideCommand::GoToGrid:
        endInGrid();
        return false;
    case GuideCommand::Now:
        return showNow();
    case GuideCommand::PrimeTime:
        return showWindowAt(primeTime(m_view.gridState().windowStart, m_state.settings.primeTime));
    case GuideCommand::HourBack:
        return moveHour(hourBack(m_view.gridState().windowStart));
    case GuideCommand::HourForward:
        return moveHour(hourForward(m_view.gridState().windowStart));
    case GuideCommand::DayBack:
        return changeDay(dayBack(m_view.gridState().windowStart, m_clock.now().date()),
                         guidebutton::DayBack);
    case GuideCommand::DayForward:
        return changeDay(dayForward(m_view.gridState().windowStart, m_clock.now().date()),
                         guidebutton::DayForward);
    case GuideCommand::Settings:
        m_view.showSettings();
        return false;
    case GuideCommand::Exit:
        m_view.exitProgram();
        return false;
    case GuideCommand::Minimize:
        m_view.setWindowState(GuideWindowState::Minimized);
        return false;
    case GuideCommand::Maximize:
        m_view.setWindowState(GuideWindowState::Maximized);
        return false;
    case GuideCommand::Info:
        m_view.showInfo();
        return false;
    case GuideCommand::Search:
        m_view.showSearch();
        return false;
    case GuideCommand::Recordings:
        m_view.showRecordings();
        return false;
    case GuideCommand::Record:
        m_view.recordCurrentProgramme();
        return false;
    default:
        return false;
    }
}

bool GuideNavigator::pageUp()
{
    zarvo::pageUp(m_view.gridState());
    refill();
    return true;
}

bool GuideNavigator::pageDown()
{
    if (!zarvo::pageDown(m_view.gridState(), m_view.hasNextPage()))
        return false;
    refill();
    return true;
}

bool GuideNavigator::goPastEdge(GuideCommand arrow)
{
    GridState& grid = m_view.gridState();
    GridPosition to = m_view.currentPosition();
    // Undrawn until the current cell has moved to where the viewer looks for it.
    const RefillScope hidden(m_view);
    switch (arrow) {
    case GuideCommand::MoveDown:
        if (!zarvo::pageDown(grid, m_view.hasNextPage()))
            return false;
        to.row = 1;
        break;
    case GuideCommand::MoveUp:
        // Page up on page 1 would show page 1 again; past the top edge there is nothing.
        if (grid.channelPage <= 1)
            return false;
        zarvo::pageUp(grid);
        to.row = GridPage::MaxRows;
        break;
    case GuideCommand::MoveRight:
    case GuideCommand::MoveLeft: {
        const bool forward = arrow == GuideCommand::MoveRight;
        const QDateTime next = forward ? hourForward(grid.windowStart) : hourBack(grid.windowStart);
        if (next == grid.windowStart)
            return false;
        moveHour(next);
        to.column = forward ? 1 : 2;
        m_view.setCurrentPosition(to);
        return true;
    }
    default:
        return false;
    }
    if (m_view.displayListings())
        m_view.setCurrentPosition(to);
    return true;
}

bool GuideNavigator::showWindowAt(const QDateTime& windowStart)
{
    showWindow(m_view.gridState(), windowStart);
    refill();
    return true;
}

bool GuideNavigator::moveHour(const QDateTime& windowStart)
{
    return showAtPage(windowStart, m_view.gridState().channelPage);
}

bool GuideNavigator::showWindowPage(const QDateTime& windowStart, int page)
{
    if (m_state.importInProgress || m_busy)
        return false;
    {
        const BusyScope busy(*this);
        showSelected(false);
        showAtPage(windowStart, page);
        endInGrid();
        showSelected(true);
    }
    runPending();
    return true;
}

bool GuideNavigator::showAtPage(const QDateTime& windowStart, int page)
{
    // A new window on the page asked for: the fill finds any page from its number (the last
    // one when the channels run out earlier).
    GridState& grid = m_view.gridState();
    showDay(grid, windowStart);
    grid.channelPage = page;
    refill();
    return true;
}

bool GuideNavigator::showNow()
{
    const QDateTime now = m_clock.now();
    // Past midnight the window may still show yesterday: today is then loaded like a new day.
    loadAndShow(now, [this] {
        showWindow(m_view.gridState(), m_view.gridState().windowStart);
        refill();
    });
    return true;
}

bool GuideNavigator::changeDay(const std::optional<QDateTime>& newStart, int dayButton)
{
    if (!newStart)
        return false;
    // One day at a time: the viewer is waiting for this one.
    m_state.settings.daysToDownload = 1;
    loadAndShow(*newStart, [this, dayButton] { showLoadedDay(dayButton); });
    return true;
}

void GuideNavigator::loadAndShow(const QDateTime& newStart, const std::function<void()>& show)
{
    GridState& grid = m_view.gridState();
    const QDateTime previousStart = grid.windowStart;
    grid.windowStart = newStart;
    m_state.fetchPending = true;
    if (m_view.checkForPrograms(newStart.date())) {
        m_view.initForm();
        m_state.fetchPending = false;
        show();
        return;
    }
    m_view.getListings(grid.windowStart);
    if (!m_state.fetchPending) {
        show();
        return;
    }
    // The fetch or the import failed: the viewer is told why (the window still names the day
    // that failed), then back to the window shown before, laid out again when its
    // day is still stored. Going back to that day (rather than one more step) keeps a second
    // failure from walking the window away from it; it is not fetched again.
    m_view.showLoadFailure(m_state.loadErrorText);
    grid.windowStart = previousStart;
    if (m_view.checkForPrograms(previousStart.date())) {
        m_view.initForm();
        m_state.fetchPending = false;
        show();
    }
}

void GuideNavigator::showLoadedDay(int dayButton)
{
    GridState& grid = m_view.gridState();
    showDay(grid, grid.windowStart);
    showSelected(false);
    m_selected = dayButton;
    refill();
    m_view.showButtonSelected(dayButton, true);
}

} // namespace zarvo
