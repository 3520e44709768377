#pragma once
// frmMenu, the action menu: seven picture items in a column on black, shown modally over the
// guide when the viewer presses Enter on a programme. The title item unloads it (it is deleted
// once the event loop gets back to it, so it is made with new), every other item only hides it.
// What the items do and how the keys move the selection is record/menulogic.h.
//
// Keys are taken on release, as virtual-key codes (ui::toVirtualKey), whichever item has the
// focus; auto-repeated releases are skipped, so a held button counts once. Escape, Backspace and
// the remote's Back unload the menu as its title item does. Closing the window by other means
// counts as cancel. A click on an item selects and performs it.
//
// The items are the pictures pictures::MenuItems of the program folder, each with its selected
// look, named "picMenu0" to "picMenu6". The menu is drawn at 440 × 468 pixels for a guide at its
// design size and grows with the guide, centred over it.
//
// The items work with the program's state (rescheduleRequested), clock, folder (pictures),
// hand-off queue and a database connection of the menu's own, opened at the first item that
// needs it.
//
// Failures (a database error, a hand-off file that could not be written, a request no
// application took) are shown in a message box over the guide once the menu is hidden; a
// recording that silently did not reach the tuner would look like one that did.

#include "record/handoff.h"
#include "record/menulogic.h"
#include "record/selection.h"
#include "ui/forms.h"

#include <QDialog>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

namespace zarvo {

namespace ui {
class PictureButton;
}

class MenuScreen : public QDialog, private MenuView
{
    Q_OBJECT
public:
    // The design size of the form and the guide's design size it is scaled against, in twips.
    static constexpr int DesignWidth = 6600;
    static constexpr int DesignHeight = 7020;
    static constexpr int GuideDesignWidth = 12120;
    static constexpr int GuideDesignHeight = 8670;

    // Shows a message over `parent`; ui::messageBox by default.
    using MessageHandler = std::function<void(QWidget* parent, const QString& text)>;

    // All but the parent must outlive the menu; `store` gives the program's store (see
    // MenuLogic).
    MenuScreen(const ProgramFolder& folder, AppState& state, const Clock& clock,
               HandOffQueue& handOffs, StoreAccess store, QWidget* parent = nullptr);
    ~MenuScreen() override;

    // Shows the menu modally for `selection`, centred over `guide` (which may be null) and
    // scaled to it, and returns when the menu is hidden or unloaded. The guide gets no input
    // meanwhile. Called while the menu is already showing, it only brings it to the front.
    void showFor(const SelectedProgramme& selection, QWidget* guide);

    // The selected item, 0..6, and the programme the items act on.
    int selectedItem() const { return m_logic->selectedItem(); }
    const SelectedProgramme& selection() const { return m_logic->selection(); }
    MenuLogic& logic() { return *m_logic; }

    // Replaces how failures are shown; for tests. An empty function restores the default.
    void setMessageHandler(MessageHandler handler);

Q_SIGNALS:
    // The title item unloaded the menu: the guide's grid should give up the focus and select
    // its button 1 (GuideNavigator::returnToButtons).
    void returnedToButtons();
    // Watch on a programme that started earlier today, after the menu was hidden; the guide
    // window given to showFor() is minimised next.
    void minimizeGuideRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // MenuView
    void showItemSelected(int item, bool selected) override;
    void hideMenu() override;
    void unloadMenu() override;
    void minimizeGuide() override;
    void reportFailure(const QString& text) override;

    void scaleTo(const QWidget* guide);

    std::array<ui::PictureButton*, menuitem::Count> m_items{};
    ui::LayoutTable m_layout;
    QPointer<QWidget> m_guide;
    MessageHandler m_message;
    std::unique_ptr<MenuLogic> m_logic;
};

} // namespace zarvo
