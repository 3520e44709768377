#pragma once
// Driving the guide from a remote control: the key map, the selection of the eleven picture
// buttons, and every command that moves the time window or the page of channels.
//
// The navigator holds no widgets. It works through GuideView, which the guide screen implements
// (and a test fakes): the view owns the grid builder and the store, paints what a fill produced,
// shows buttons selected or not, and moves the focus and the window.
//
// Buttons: a column 0..4 (page up, go to the grid, page down, exit, settings) and a row 5..10
// (now, prime time, hour back, hour forward, day back, day forward). selectedButton 11 means the
// grid has the focus; 12 (Right with none selected) shows nothing selected and acts like 11.
//
// Key handling (keyReleased), in order:
//   1. While AppState::importInProgress the key is dropped.
//   2. While a command is still running (a fill lets the event loop run, so a key can arrive in
//      the middle of it) the key is kept, the latest one only, and handled when the command is
//      done; commands never interleave, and the grid state is never changed under a fill.
//   3. The selected button (0..10) is shown unselected, the key's action runs, and the button
//      selected afterwards (0..10) is shown selected.
// Letter, comma and full-stop keys act whether they come from the form or from the grid. Arrow
// keys and Enter coming from the grid are the grid's own (moving its current cell, choosing a
// programme) and are ignored here.
//
// At the grid's edges the arrows go on (KeySource::GridEdge, an arrow the grid could not
// follow): Down on the last row shows the next page with its first row current, Up on the first
// row the previous page with its last row current, Right in the second column the next hour
// with the first column current, Left in the first column the previous hour with the second
// column current; the row (or the column) stays. Where there is nothing to go to (the last
// page, page 1, a window at 23:xx or 00:xx) nothing happens. These run as commands: dropped
// during an import, kept while a command runs.
//
// A command that refreshes the grid, given by its letter key, ends in the grid: the selection
// becomes 11 and the grid takes the focus. Given by Enter on its button, it leaves that button
// selected. A command that does nothing (page down on the last page, day forward on the last day,
// day back on today) changes neither the grid nor the focus.

#include "base/appstate.h"
#include "base/clock.h"
#include "guide/gridbuilder.h"

#include <QDate>
#include <QDateTime>

#include <functional>
#include <optional>

namespace zarvo {

namespace guidebutton {
constexpr int PageUp = 0;
constexpr int GoToGrid = 1;
constexpr int PageDown = 2;
constexpr int Exit = 3;
constexpr int Settings = 4;
constexpr int Now = 5;
constexpr int PrimeTime = 6;
constexpr int HourBack = 7;
constexpr int HourForward = 8;
constexpr int DayBack = 9;
constexpr int DayForward = 10;
constexpr int Count = 11;
// No button is selected: the grid has the focus.
constexpr int None = 11;
// Right with none selected: still none visible; Enter does nothing.
constexpr int Invisible = 12;
} // namespace guidebutton

enum class GuideCommand {
    Nothing,
    Enter,
    MoveLeft,
    MoveUp,
    MoveRight,
    MoveDown,
    PageUp,
    PageDown,
    GoToGrid,
    Exit,
    Settings,
    Now,
    PrimeTime,
    HourBack,
    HourForward,
    DayBack,
    DayForward,
    Minimize,
    Maximize,
    // The viewer's own screens over the guide and the Record button; none of them moves the grid.
    Info,
    Search,
    Recordings,
    Record,
};

// The command of a virtual-key code (base/keycodes.h); Nothing for every code the map does not
// name. Beside the letter keys: Page Up and Page Down (which the remote's channel buttons give)
// page like V and B; I and Info open the programme's info, F the search, R the recordings, and
// the remote's Record button records the programme of the grid's current cell.
GuideCommand commandForKey(int virtualKey);
// The command of a button 0..10; Nothing for any other number.
GuideCommand commandForButton(int button);
// The selection after an arrow (MoveLeft/Up/Right/Down) from `selected` (0..12):
//   column 0..4: Up wraps 0 -> 4, Down wraps 4 -> 0, Left goes to 10, Right to 5;
//   row 5..10 and 11/12: Up goes to 4, Down to 1, Left from 5 to 1 else one less (11 -> 10,
//   12 -> 11), Right from 10 to 1 else one more (11 -> 12; 12 stays 12).
// Any other command leaves the selection as it is.
int moveSelection(int selected, GuideCommand arrow);

// Where a key release was caught.
enum class KeySource {
    Form,     // the screen itself (a button or nothing has the focus)
    Grid,     // the grid, while it has the focus
    GridEdge, // an arrow the focused grid could not follow: its current cell is at that edge
};

// A programme cell of the grid: row 1..9, column 1..2 (the grid's own numbering, the header row
// and the channel column being 0).
struct GridPosition
{
    int row = 1;
    int column = 1;
    bool operator==(const GridPosition&) const = default;
};

enum class GuideWindowState { Minimized, Maximized };

// What the navigator needs from the screen.
class GuideView
{
public:
    virtual ~GuideView() = default;

    // The grid builder's state: the window, the channel page and what the next fill does.
    virtual GridState& gridState() = 0;
    // Fills the grid from gridState() and paints it, with the detail panel for row 1, column 1.
    // False when nothing new is shown (the store failed and said so, or a fill was running).
    virtual bool displayListings() = 0;
    // True when channels follow the page shown.
    virtual bool hasNextPage() const = 0;
    // Calls around every refill: the grid is not drawn between them. They nest; a command that
    // fills several times (an hour move restoring its page) keeps the grid hidden throughout.
    virtual void beginRefill() = 0;
    virtual void endRefill() = 0;
    // Lays the grid's columns and rows out again from its present size.
    virtual void initForm() = 0;

    // Whether the listings of `day` are in the database.
    virtual bool checkForPrograms(QDate day) = 0;
    // Imports the day file of `day`; when there is none, runs the grabber and imports what it
    // wrote, in the same call. Clears AppState::fetchPending when the day has been loaded.
    virtual void getListings(const QDateTime& day) = 0;
    // Tells the viewer why a day the guide was asked to show could not be loaded.
    virtual void showLoadFailure(const QString& message) = 0;

    // Shows button 0..10 with its selected or its ordinary picture.
    virtual void showButtonSelected(int button, bool selected) = 0;
    // True: the grid can take the focus and gets it. False: it can no longer take it, and the
    // keys go to the screen again.
    virtual void setGridFocus(bool focused) = 0;
    virtual void setWindowState(GuideWindowState state) = 0;
    // Hides the guide and opens the settings screen.
    virtual void showSettings() = 0;
    // Ends the program the orderly way (every screen unloaded).
    virtual void exitProgram() = 0;
    // The viewer's screens over the guide, for the programme of the grid's current cell: its
    // info, the search (prefilled with its title), the standing rules and recordings; and a
    // recording of this showing handed over at once, as the action menu's first item does.
    virtual void showInfo() = 0;
    virtual void showSearch() = 0;
    virtual void showRecordings() = 0;
    virtual void recordCurrentProgramme() = 0;
    // The grid's current cell, and moving it (with the detail panel) after a fill, which leaves
    // it at row 1, column 1. The row is kept within the rows the page shows.
    virtual GridPosition currentPosition() const = 0;
    virtual void setCurrentPosition(GridPosition position) = 0;
};

class GuideNavigator
{
public:
    // The view, the state and the clock must outlive the navigator.
    GuideNavigator(GuideView& view, AppState& state, const Clock& clock);
    GuideNavigator(const GuideNavigator&) = delete;
    GuideNavigator& operator=(const GuideNavigator&) = delete;

    int selectedButton() const { return m_selected; }
    // True while a command (or the start-up) runs.
    bool isBusy() const { return m_busy; }

    // The screen's first load: the window at the present time, page 1; today's listings are
    // checked and, when missing, fetched and imported (one getListings call); then the grid is
    // filled and button 1 is selected. loadErrorText is reset to "Error Loading Data" first.
    // Returns false when the day could not be loaded (nothing was filled; the caller reports
    // loadErrorText and ends the program). Keys kept meanwhile are handled before it returns
    // true and dropped when it returns false.
    bool startUp();

    // A key let go, by virtual-key code (see the header comment).
    void keyReleased(int virtualKey, KeySource source = KeySource::Form);
    // A button clicked with the mouse: selected and pressed, as if moved to and Enter pressed.
    // Ignored, like a key, during an import; kept like a key while a command runs.
    void buttonClicked(int button);
    // Back to button mode after the grid gave up the focus (the action menu's title item): the
    // grid cannot take the focus any more and button 1 is selected.
    void returnToButtons();
    // Queries the shown window again and returns to the page shown, so that marks set meanwhile
    // (a recording chosen in the action menu) show at once. Ignored while an import runs.
    void requeryShownPage();
    // Shows the window at `windowStart` on channel page `page` (the last page when there are
    // fewer) and ends in the grid, as a letter key's command does: a search result shown in the
    // guide. False, with nothing done, during an import or while a command runs.
    bool showWindowPage(const QDateTime& windowStart, int page);

private:
    struct Pending
    {
        int key = 0;
        KeySource source = KeySource::Form;
        int clickedButton = -1; // >= 0: a click on that button instead of a key
    };
    class BusyScope;

    void handleKey(int virtualKey, KeySource source);
    void handleClick(int button);
    void runPending();
    void showSelected(bool selected);
    // Runs a command; true when it refreshed the grid (or tried to), which a letter key ends
    // in the grid.
    bool run(GuideCommand command);
    void endInGrid();
    bool refill();

    bool pageUp();
    bool pageDown();
    // The arrow that went past the grid's edge (see the header comment); false when there was
    // nothing to go to.
    bool goPastEdge(GuideCommand arrow);
    bool showWindowAt(const QDateTime& windowStart);
    bool moveHour(const QDateTime& windowStart);
    // A new window at `windowStart`, paged down to `page` or the last page.
    bool showAtPage(const QDateTime& windowStart, int page);
    bool showNow();
    bool changeDay(const std::optional<QDateTime>& newStart, int dayButton);
    // Moves the window to `newStart`, whose day is loaded first when it is not stored; then
    // `show` lays it out. When the day cannot be loaded, the window goes back to where it was
    // (laid out again by `show` when that day is stored) and the viewer is told why. Runs the
    // grabber at most once.
    void loadAndShow(const QDateTime& newStart, const std::function<void()>& show);
    void showLoadedDay(int dayButton);

    GuideView& m_view;
    AppState& m_state;
    const Clock& m_clock;
    int m_selected = guidebutton::GoToGrid;
    bool m_busy = false;
    std::optional<Pending> m_pending;
};

} // namespace zarvo
