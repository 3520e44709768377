#pragma once
// The program's screens and the one place that connects them. main() makes a Screens for the
// program and shows the splash screen; from there every screen tells what happened through its
// signals, and Screens decides what comes next:
// - splash (app/splash.h): the start-up step leads to the guide or the settings screen; a
//   settings read error is shown in a message box, and after OK the program ends; closing the
//   splash ends the program; the minute tick asks for the guide when it has stored a fetched day.
// - guide (guide/listingsscreen.h): Enter on a programme opens the action menu over it, and the
//   grid shows each recording's mark once an application took it; the settings command opens
//   the settings screen; once the viewer has read why the first load failed, the settings screen
//   opens, where Save loads a fresh guide with the settings saved and Cancel ends the program;
//   exit (and closing the guide) unloads every screen and ends the event loop; a double click on
//   the background ends the process at once.
// - action menu (record/menuscreen.h): the title item hands the guide back to its buttons.
// - info (guide/infoscreen.h, I or Info on the guide), search (guide/searchscreen.h, F) and
//   recordings (record/recordingsscreen.h, R): over the guide; closed, they give the guide's
//   grid the focus. A search result chosen is shown in the guide (ListingsScreen::showProgramme).
// - settings (settings/configscreen.h): Save or Cancel shows the guide again.
// Each screen exists at most once: made when it is first needed, with what it needs of the
// program, destroyed when it is unloaded, and made afresh when it is needed again.

#include <QDateTime>
#include <QObject>
#include <QPointer>

namespace zarvo {

class ConfigScreen;
class InfoScreen;
class ListingsScreen;
class MenuScreen;
class Program;
class RecordingsScreen;
class SearchScreen;
class SplashScreen;

class Screens : public QObject
{
    Q_OBJECT
public:
    // The program must outlive the screens.
    explicit Screens(Program& program, QObject* parent = nullptr);
    // Deletes the screens still loaded.
    ~Screens() override;

    void showSplash();
    // Shows the guide, loading it first when it is not loaded (its load fetches and fills).
    void showGuide();
    // Shows the settings screen, hiding the guide when it is up. Save or Cancel there shows
    // the guide again.
    void showSettings();
    // The viewer's screens over the guide: the info of the grid's current programme (nothing
    // when its cell is empty), the search prefilled with its title, the rules and recordings.
    void showInfo();
    void showSearch();
    void showRecordings();
    // The guide's exit: unloads the splash screen, the action menu, the settings screen, the
    // viewer's screens and the guide, and asks the event loop to quit.
    void exitProgram();
    // Ends the process at once, with no unloading.
    [[noreturn]] static void endNow();

private:
    void wireGuide(ListingsScreen& guide);
    void chooseProgramme(int row, int column);
    void chooseAnotherGrabber();
    MenuScreen& menu();
    ConfigScreen& settingsScreen();
    InfoScreen& infoScreen();
    SearchScreen& searchScreen();
    RecordingsScreen& recordingsScreen();
    // A viewer's screen closed: the guide active again, with its grid focused.
    void returnToGrid();
    void showChosenShowing(const QString& channelid, const QDateTime& start);

    Program& m_program;
    QPointer<SplashScreen> m_splash;
    QPointer<ListingsScreen> m_guide;
    QPointer<MenuScreen> m_menu;
    QPointer<ConfigScreen> m_config;
    QPointer<InfoScreen> m_info;
    QPointer<SearchScreen> m_search;
    QPointer<RecordingsScreen> m_recordings;
};

} // namespace zarvo
