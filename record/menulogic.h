#pragma once
// The action menu without its window: which of the seven items is selected, what the keys do to
// the selection, and what each item does for the selected programme.
//
// Items, top to bottom: the title (Enter on it closes the menu), record this showing, record
// every showing, record the series, do not record, watch, cancel.
//
// Keys (virtual-key codes, on release): Up moves the selection up and from the title round to
// cancel, Down moves it down and from cancel round to the title, Enter performs the selected
// item (menuPressed), Escape, Backspace and the remote's Back unload the menu as the title item
// does, every other key (Left and Right too) leaves the selection where it is. Whatever the key
// but those, exactly one item shows its selected look afterwards: the selected one.
//
// menuPressed, by item:
//   title          the menu is unloaded (MenuView::unloadMenu); nothing else.
//   record...      the core items of record/rules.h: the request goes to the hand-off queue,
//                  and the programme is marked and logged once an application took it; every
//                  showing and the series store their rule at once (every showing also asks
//                  for a rescheduling pass).
//   do not record  the mark becomes Cleared and every rule of the title goes, on all channels.
//   watch          program.tvvi goes to the queue; once taken, the guide is minimised when the
//                  programme started earlier today.
//   cancel         nothing.
// After every item but the title the title is selected again and the menu is hidden, not
// unloaded, so that the next showing starts at the title. The menu does not wait for the
// queue: it hides at once, and the request is handed over in its turn.
//
// Failures are not passed over in silence: a database error, a hand-off file that could not be
// written and a request no application took are reported to the viewer
// (MenuView::reportFailure), the first once the menu is hidden, the others when the queue has
// the answer (while the menu is still loaded). A request nobody took leaves the programme
// unmarked and unlogged; a watch nobody took does not minimise the guide.

#include "base/appstate.h"
#include "base/clock.h"
#include "record/handoffqueue.h"
#include "record/rules.h"
#include "record/selection.h"

#include <QString>

#include <functional>
#include <memory>

namespace zarvo {

namespace menuitem {
constexpr int Title = 0;
constexpr int RecordThisShowing = 1;
constexpr int RecordEveryShowing = 2;
constexpr int RecordSeries = 3;
constexpr int DoNotRecord = 4;
constexpr int Watch = 5;
constexpr int Cancel = 6;
constexpr int Count = 7;
} // namespace menuitem

// What the menu's window does for the logic.
class MenuView
{
public:
    virtual ~MenuView() = default;
    // The item shows its selected look, or its ordinary one.
    virtual void showItemSelected(int item, bool selected) = 0;
    // The menu goes out of sight and the guide has the focus again; the menu stays loaded.
    virtual void hideMenu() = 0;
    // The menu is unloaded and the guide goes back to its buttons.
    virtual void unloadMenu() = 0;
    // The guide window is minimised, so that the tuner's picture can be seen.
    virtual void minimizeGuide() = 0;
    // Tells the viewer that an item could not do all of its work.
    virtual void reportFailure(const QString& text) = 0;
};

class MenuLogic
{
public:
    // The view, the state, the clock and the queue must outlive the logic. `store` gives the
    // database (the program's one store) whenever an item needs it, at once or once a request
    // is taken; when it cannot be opened, that is the item's failure, and the next item asks
    // again.
    MenuLogic(MenuView& view, AppState& state, const Clock& clock, HandOffQueue& queue,
              StoreAccess store);
    ~MenuLogic();
    MenuLogic(const MenuLogic&) = delete;
    MenuLogic& operator=(const MenuLogic&) = delete;

    // The menu's load: every item ordinary, then the title selected.
    void load();

    int selectedItem() const { return m_selected; }
    // The programme the items act on.
    const SelectedProgramme& selection() const { return m_selection; }
    void setSelection(const SelectedProgramme& selection) { m_selection = selection; }

    // A key let go, by virtual-key code.
    void keyReleased(int virtualKey);
    // Performs the selected item (see the header comment).
    void menuPressed();
    // A click on an item: it is selected and performed, as if moved to and Enter pressed.
    // Item numbers outside 0..6 are ignored.
    void itemClicked(int item);
    // The menu's window closed without a choice: as cancel, the title is selected again and
    // the menu hidden.
    void dismiss();

private:
    // Runs one item's work; a database error is turned into a failure text.
    void perform(int item, QString& failure);
    // What the view hears when a request of the menu ended: nothing once the logic is gone.
    HandOffDone toldLater(bool watching);

    MenuView& m_view;
    AppState& m_state;
    const Clock& m_clock;
    HandOffQueue& m_queue;
    StoreAccess m_store;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    SelectedProgramme m_selection;
    int m_selected = menuitem::Title;
};

} // namespace zarvo
