#include "record/menulogic.h"

#include "record/rules.h"
#include "store/listingsstore.h"
#include "ui/keycodes.h"

namespace zarvo {

MenuLogic::MenuLogic(MenuView& view, AppState& state, const Clock& clock, HandOff handOff,
                     StoreOpener openStore)
    : m_view(view), m_state(state), m_clock(clock), m_handOff(std::move(handOff)),
      m_openStore(std::move(openStore))
{
}

MenuLogic::~MenuLogic() = default;

void MenuLogic::load()
{
    for (int item = 0; item < menuitem::Count; ++item)
        m_view.showItemSelected(item, false);
    m_selected = menuitem::Title;
    m_view.showItemSelected(m_selected, true);
}

void MenuLogic::keyReleased(int virtualKey)
{
    m_view.showItemSelected(m_selected, false);
    switch (virtualKey) {
    case ui::vk::Return:
        menuPressed();
        return;
    case ui::vk::Up:
        m_selected = m_selected == 0 ? menuitem::Count - 1 : m_selected - 1;
        break;
    case ui::vk::Down:
        m_selected = m_selected == menuitem::Count - 1 ? 0 : m_selected + 1;
        break;
    default:
        break;
    }
    m_view.showItemSelected(m_selected, true);
}

void MenuLogic::menuPressed()
{
    const int item = m_selected;
    m_view.showItemSelected(item, false);
    if (item == menuitem::Title) {
        // The view may take the menu down with it; nothing of the logic is touched after this.
        m_view.unloadMenu();
        return;
    }

    QString failure;
    bool minimize = false;
    perform(item, failure, minimize);

    m_selected = menuitem::Title;
    m_view.showItemSelected(m_selected, true);
    m_view.hideMenu();
    // Only once the menu is out of the way: the tuner's picture comes up behind the guide, and
    // a message box belongs over the guide, not over a menu that has already done its work.
    if (minimize)
        m_view.minimizeGuide();
    if (!failure.isEmpty())
        m_view.reportFailure(failure);
}

void MenuLogic::itemClicked(int item)
{
    if (item < 0 || item >= menuitem::Count)
        return;
    m_view.showItemSelected(m_selected, false);
    m_selected = item;
    m_view.showItemSelected(m_selected, true);
    menuPressed();
}

void MenuLogic::dismiss()
{
    m_view.showItemSelected(m_selected, false);
    m_selected = menuitem::Title;
    m_view.showItemSelected(m_selected, true);
    m_view.hideMenu();
}

void MenuLogic::perform(int item, QString& failure, bool& minimize)
{
    try {
        HandOffResult file;
        switch (item) {
        case menuitem::RecordThisShowing:
            file = recordThisShowing(store(), m_handOff, m_selection);
            break;
        case menuitem::RecordEveryShowing:
            file = recordEveryShowing(store(), m_handOff, m_state, m_selection);
            break;
        case menuitem::RecordSeries:
            file = recordSeries(store(), m_handOff, m_selection);
            break;
        case menuitem::DoNotRecord:
            doNotRecord(store(), m_selection);
            break;
        case menuitem::Watch: {
            const WatchResult watched =
                watch(m_handOff, m_selection, m_clock, m_state.settings.adjustDST);
            file = watched.file;
            minimize = watched.startedEarlierToday && watched.file.ok();
            break;
        }
        default: // cancel
            break;
        }
        failure = file.error;
    } catch (const StoreError& error) {
        // The connection may be what failed; the next item opens a fresh one.
        m_store.reset();
        failure = error.message();
    }
}

ListingsStore& MenuLogic::store()
{
    if (!m_store)
        m_store = m_openStore();
    return *m_store;
}

} // namespace zarvo
