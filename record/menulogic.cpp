#include "record/menulogic.h"

#include "base/keycodes.h"
#include "record/rules.h"
#include "store/listingsstore.h"

namespace zarvo {

MenuLogic::MenuLogic(MenuView& view, AppState& state, const Clock& clock, HandOffQueue& queue,
                     StoreAccess store)
    : m_view(view), m_state(state), m_clock(clock), m_queue(queue), m_store(std::move(store))
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
    case vk::Return:
        menuPressed();
        return;
    case vk::Escape:
    case vk::Back:
    case vk::BrowserBack:
        // Back out of the menu as its title item does; nothing of the logic is touched after.
        m_view.unloadMenu();
        return;
    case vk::Up:
        m_selected = m_selected == 0 ? menuitem::Count - 1 : m_selected - 1;
        break;
    case vk::Down:
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
    perform(item, failure);

    m_selected = menuitem::Title;
    m_view.showItemSelected(m_selected, true);
    m_view.hideMenu();
    // Only once the menu is out of the way: a message box belongs over the guide, not over a
    // menu that has already done its work.
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

HandOffDone MenuLogic::toldLater(bool watching)
{
    return [this, alive = std::weak_ptr<bool>(m_alive), watching](const SelectedProgramme& handed,
                                                                  const HandOffOutcome& outcome) {
        if (alive.expired())
            return;
        // The tuner's picture comes up behind the guide: out of its way, once it is there.
        if (watching && outcome.taken() && startedEarlierToday(handed, m_clock))
            m_view.minimizeGuide();
        if (!outcome.message.isEmpty())
            m_view.reportFailure(outcome.message);
    };
}

void MenuLogic::perform(int item, QString& failure)
{
    try {
        switch (item) {
        case menuitem::RecordThisShowing:
            recordThisShowing(m_queue, m_store, m_selection, toldLater(false));
            break;
        case menuitem::RecordEveryShowing:
            recordEveryShowing(m_store(), m_queue, m_store, m_state, m_selection, toldLater(false));
            break;
        case menuitem::RecordSeries:
            recordSeries(m_store(), m_queue, m_store, m_selection, toldLater(false));
            break;
        case menuitem::DoNotRecord:
            doNotRecord(m_store(), m_selection);
            break;
        case menuitem::Watch:
            watch(m_queue, m_selection, toldLater(true));
            break;
        default: // cancel
            break;
        }
    } catch (const Error& error) {
        failure = error.message();
    }
}

} // namespace zarvo
