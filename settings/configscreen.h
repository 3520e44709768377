#pragma once
// frmConfig, the settings screen: the eight settings on a black window of 11190 × 6150 twips
// (746 × 410 pixels), centred. The program has one at a time (app/screens.h creates it); it is
// opened by the start-up step when there is no config.txt and by the guide's settings command.
//
// Loading shows the program's state.settings through config::controlValuesFor (settings/
// configlogic.h, which also lists the corrections made to values the lists cannot show).
//
// Mouse:
// - chkSS enables lblPath, txtSS and cmdSS while it is ticked.
// - cmdSS (Browse) asks for the recorder's channel map and takes the chosen path only when
//   the file is named channels.map (any letter case); another name is refused with a message,
//   cancelling changes nothing.
// - picSave saves: the controls are turned into a record and config.txt in the program folder
//   is replaced atomically, then the record becomes the program's state.settings, the screen is
//   unloaded (it deletes itself once the event loop gets back to it, so it is made with new)
//   and says saved(). When the controls cannot be saved (see configlogic.h) or the file cannot
//   be written, a message says why, nothing is written or changed, and the screen stays open.
// - picCancel unloads the screen and says cancelled(); nothing is written. Closing the window
//   does the same.
//
// The grabber list (Combo4) is config::grabberEntries for the grabbers installed now (the
// program folder's xmltv/ and PATH); the descriptions of the grabbers that are not countries are
// asked for in the background and fill in their entries as they come (and are remembered for
// the next showing).
//
// Keys: every key released while this window has the keyboard goes to keyUp, whichever control
// has the focus, provided the key was also pressed here (so the release of the Enter that
// closed a message box is not taken for a new Enter). Auto-repeat is ignored. Left and right
// move a highlight over Save (6) and Cancel (7); Enter on Save appends the hidden digits to the
// code text, shows it and writes the grabber's configuration batch (listings.sh) for the
// grabberName setting, without saving anything; Enter on Cancel acts as Cancel, and so do Escape,
// the remote's Back and Backspace (but Backspace in a text box only edits it). See
// config::ConfigKeyboard for the whole state machine. The arrow keys do nothing else: they never
// reach the controls, and no key reaches a list, so the lists change by mouse only (an open
// list's own window still takes keys).
//
// Pictures come from the program folder's pictures/ (ui/pictures.h). When a look of a button
// is missing, both looks of that button are drawn as plain text buttons instead.
//
// Controls carry their form names as object names: "chkSS", "lblPath", "txtSS", "cmdSS",
// "chkDST", "lblDays", "cbxDays", "lblPrime", "cbxPrime", "Label1", "txtOpacity", "Label5",
// "Combo4", "picSave", "picCancel", and the hidden "lblImages" and "txtImages".

#include "base/appstate.h"
#include "base/programfolder.h"
#include "settings/configlogic.h"

#include <QSet>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zarvo {

namespace ui {
class PictureButton;
}

class ConfigScreen : public QWidget
{
    Q_OBJECT
public:
    // The dialogs the screen opens. An empty member keeps the default.
    struct Hooks
    {
        // Asks for a file, starting from `preset`; returns the chosen path, or an empty text
        // when cancelled. Default: a file-open dialog titled "ZarvoGuide" for "*.map" files.
        std::function<QString(QWidget* parent, const QString& preset)> chooseChannelMap;
        // Default: ui::messageBox.
        std::function<void(const QString& text)> showMessage;
    };

    // The program's state and folder, which must outlive the screen.
    ConfigScreen(AppState& state, const ProgramFolder& folder, QWidget* parent = nullptr);
    ~ConfigScreen() override;

    void setHooks(Hooks hooks);

    // What the controls hold now.
    config::ControlValues controlValues() const;
    const config::ConfigKeyboard& keyboard() const { return m_keyboard; }

public Q_SLOTS:
    // chkSS_Click: the path controls follow the tick.
    void updatePathControls();
    // cmdSS_Click.
    void browse();
    // picSave_Click. Returns true when the settings were saved (and the screen closed).
    bool save();
    // picCancel_Click.
    void cancel();
    // Form_KeyUp, with a virtual-key code (base/keycodes.h).
    void keyUp(int virtualKey);

Q_SIGNALS:
    // The screen has been unloaded by Save, the settings saved.
    void saved();
    // The screen has been unloaded by Cancel (or closing, or Enter on Cancel).
    void cancelled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void loadPictures();
    void showControlValues(const config::ControlValues& values);
    void showHighlight();
    void writeConfigBatch();
    void showMessage(const QString& text);
    void describeGrabbers(const QList<InstalledGrabber>& installed);
    // Unloads the screen and says saved() or cancelled(); only the first call does anything.
    void leave(bool settingsSaved = false);

    QCheckBox* m_chkSS;
    QLabel* m_lblPath;
    QLineEdit* m_txtSS;
    QPushButton* m_cmdSS;
    QCheckBox* m_chkDST;
    QLabel* m_lblDays;
    QComboBox* m_cbxDays;
    QLabel* m_lblPrime;
    QComboBox* m_cbxPrime;
    QLabel* m_label1;
    QLineEdit* m_txtOpacity;
    QLabel* m_label5;
    QComboBox* m_combo4;
    ui::PictureButton* m_picSave;
    ui::PictureButton* m_picCancel;
    QLabel* m_lblImages;
    QLineEdit* m_txtImages;

    AppState& m_state;
    const ProgramFolder& m_folder;
    Hooks m_hooks;
    config::ConfigKeyboard m_keyboard;
    // Keys pressed while this window had the keyboard and not yet released.
    QSet<int> m_pressedKeys;
    bool m_closing = false;
};

} // namespace zarvo
