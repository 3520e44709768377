#include "app/screens.h"

#include "app/program.h"
#include "app/splash.h"
#include "guide/infoscreen.h"
#include "guide/listingsscreen.h"
#include "guide/searchscreen.h"
#include "record/menuscreen.h"
#include "record/recordingsscreen.h"
#include "record/rules.h"
#include "record/selection.h"
#include "settings/configscreen.h"
#include "store/listingsstore.h"
#include "ui/forms.h"

#include <QCoreApplication>
#include <QDebug>

#include <cstdio>
#include <cstdlib>

namespace zarvo {
namespace {

// Closes and destroys the screen, if it is loaded; a later reference makes it afresh.
template <typename Screen> void unload(QPointer<Screen>& screen)
{
    if (Screen* s = screen.data()) {
        screen.clear();
        s->hide();
        s->deleteLater();
    }
}

template <typename Screen> void bringUp(Screen& screen)
{
    screen.show();
    screen.raise();
    screen.activateWindow();
}

// The remote's Record on a programme of the guide: the menu's "record this showing" without
// the menu. The request takes the menu's way through the program's hand-off queue; its mark
// shows once an application took it (see wireGuide), and a failure is told over the guide in
// the same words the menu uses.
void recordShowing(Program& program, const QPointer<ListingsScreen>& guide, int row, int column)
{
    const GridCell* cell = guide ? guide->page().cell(row - 1, column - 1) : nullptr;
    if (!cell)
        return;
    // Told from the event loop, never from inside the queue's answer.
    const auto tell = [guide](const QString& text) {
        qWarning().noquote() << "Record:" << text;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [guide, text] { ui::messageBox(guide.data(), text); },
            Qt::QueuedConnection);
    };
    try {
        recordThisShowing(
            program.handOffs, [&program]() -> ListingsStore& { return program.store(); },
            fromGridCell(*cell, program.clock),
            [tell](const SelectedProgramme&, const HandOffOutcome& outcome) {
                if (!outcome.message.isEmpty())
                    tell(outcome.message);
            });
    } catch (const Error& error) {
        tell(error.message());
    }
}

} // namespace

Screens::Screens(Program& program, QObject* parent) : QObject(parent), m_program(program) {}

Screens::~Screens()
{
    delete m_splash.data();
    // The menu and the viewer's screens before the guide: once shown they are its windows.
    delete m_menu.data();
    delete m_info.data();
    delete m_search.data();
    delete m_recordings.data();
    delete m_config.data();
    delete m_guide.data();
}

void Screens::showSplash()
{
    if (!m_splash) {
        m_splash = new SplashScreen(m_program);
        connect(m_splash, &SplashScreen::guideRequested, this, &Screens::showGuide);
        connect(m_splash, &SplashScreen::settingsRequested, this, &Screens::showSettings);
        connect(m_splash, &SplashScreen::startupFailed, this,
                [](const QString& message) { ui::messageBox(nullptr, message); });
        connect(m_splash, &SplashScreen::exitRequested, this, &Screens::exitProgram);
    }
    m_splash->show();
}

void Screens::showGuide()
{
    if (!m_guide) {
        m_guide = new ListingsScreen(m_program.loadContext(),
                                     [&program = m_program] { return &program.store(); });
        wireGuide(*m_guide);
    }
    bringUp(*m_guide);
}

// The connections a freshly made guide needs; a guide made afresh after an unload gets them too.
void Screens::wireGuide(ListingsScreen& guide)
{
    connect(&guide, &ListingsScreen::programChosen, this, &Screens::chooseProgramme);
    connect(&guide, &ListingsScreen::recordRequested, this,
            [this](int row, int column) { recordShowing(m_program, m_guide, row, column); });
    connect(&guide, &ListingsScreen::settingsRequested, this, &Screens::showSettings);
    connect(&guide, &ListingsScreen::loadFailureAcknowledged, this, &Screens::chooseAnotherGrabber);
    connect(&guide, &ListingsScreen::exitRequested, this, &Screens::exitProgram);
    connect(&guide, &ListingsScreen::endNowRequested, this, &Screens::endNow);
    connect(&guide, &ListingsScreen::infoRequested, this, &Screens::showInfo);
    connect(&guide, &ListingsScreen::searchRequested, this, &Screens::showSearch);
    connect(&guide, &ListingsScreen::recordingsRequested, this, &Screens::showRecordings);
    // A recording is marked once an application took it, some time after the menu closed, and
    // a rule pass marks programmes too: the grid shows each mark as it comes.
    connect(&m_program.handOffs, &HandOffQueue::finished, &guide,
            [&guide](const SelectedProgramme&, const HandOffOutcome& outcome) {
                if (outcome.taken() && guide.isVisible())
                    guide.refreshMarks();
            });
}

// Enter on a programme: the selected programme, then the action menu over the guide.
void Screens::chooseProgramme(int row, int column)
{
    const QPointer<ListingsScreen> guide = m_guide;
    const GridCell* cell = guide ? guide->page().cell(row - 1, column - 1) : nullptr;
    if (!cell)
        return;
    // Modal: returns when the menu is hidden or unloaded.
    menu().showFor(fromGridCell(*cell, m_program.clock), guide);
    // "Do not record" cleared the mark at once: show it now, not at the next new window. (A
    // recording's mark comes later, when an application took it; see wireGuide.)
    if (guide && m_guide)
        guide->refreshMarks();
}

MenuScreen& Screens::menu()
{
    if (!m_menu) {
        m_menu =
            new MenuScreen(m_program.folder, m_program.state, m_program.clock, m_program.handOffs,
                           [&program = m_program]() -> ListingsStore& { return program.store(); });
        connect(m_menu, &MenuScreen::returnedToButtons, this, [this] {
            if (m_guide)
                m_guide->navigator().returnToButtons();
        });
    }
    return *m_menu;
}

// The viewer's screens get the program's store as the menu does; each is shown without waiting
// (the guide asks for them in the middle of handling a key) and reports its close by a signal.
InfoScreen& Screens::infoScreen()
{
    if (!m_info) {
        m_info =
            new InfoScreen(m_program.folder, m_program.clock,
                           [&program = m_program]() -> ListingsStore& { return program.store(); });
        connect(m_info, &InfoScreen::closed, this, &Screens::returnToGrid);
    }
    return *m_info;
}

SearchScreen& Screens::searchScreen()
{
    if (!m_search) {
        m_search = new SearchScreen(m_program.clock, [&program = m_program]() -> ListingsStore& {
            return program.store();
        });
        connect(m_search, &SearchScreen::closed, this, &Screens::returnToGrid);
        // Queued: the guide's fill lets the event loop run, which is not for inside the key
        // handler of the search that is just closing.
        connect(m_search, &SearchScreen::showingChosen, this, &Screens::showChosenShowing,
                Qt::QueuedConnection);
    }
    return *m_search;
}

RecordingsScreen& Screens::recordingsScreen()
{
    if (!m_recordings) {
        m_recordings =
            new RecordingsScreen(m_program.clock, [&program = m_program]() -> ListingsStore& {
                return program.store();
            });
        connect(m_recordings, &RecordingsScreen::closed, this, &Screens::returnToGrid);
    }
    return *m_recordings;
}

void Screens::showInfo()
{
    const GridCell* cell = m_guide ? m_guide->currentCell() : nullptr;
    if (!cell)
        return;
    try {
        infoScreen().showFor(*cell, m_guide);
    } catch (const Error& error) {
        ui::messageBox(
            m_guide,
            QStringLiteral("The programme's details could not be read: %1").arg(error.message()));
    }
}

void Screens::showSearch()
{
    const GridCell* cell = m_guide ? m_guide->currentCell() : nullptr;
    searchScreen().showFor(cell ? cell->title : QString(), m_guide);
}

void Screens::showRecordings()
{
    try {
        recordingsScreen().showFor(m_guide);
    } catch (const Error& error) {
        ui::messageBox(
            m_guide,
            QStringLiteral("The rules and recordings could not be read: %1").arg(error.message()));
    }
}

void Screens::returnToGrid()
{
    if (!m_guide)
        return;
    m_guide->activateWindow();
    // As the viewer's "go to the grid" button: the grid takes the focus and the keys.
    m_guide->navigator().buttonClicked(guidebutton::GoToGrid);
}

void Screens::showChosenShowing(const QString& channelid, const QDateTime& start)
{
    if (!m_guide)
        return;
    m_guide->activateWindow();
    if (!m_guide->showProgramme(channelid, start)) {
        ui::messageBox(m_guide, QStringLiteral("The guide could not show that programme just now "
                                               "(it is busy, or its channel is no longer listed). "
                                               "Press F to search again."));
        returnToGrid();
    }
}

ConfigScreen& Screens::settingsScreen()
{
    if (!m_config) {
        m_config = new ConfigScreen(m_program.state, m_program.folder);
        connect(m_config, &ConfigScreen::saved, this, &Screens::showGuide);
        connect(m_config, &ConfigScreen::cancelled, this, &Screens::showGuide);
    }
    return *m_config;
}

void Screens::showSettings()
{
    if (m_guide)
        m_guide->hide();
    bringUp(settingsScreen());
}

// After the guide's first load failed: the settings screen, so the viewer can pick another
// grabber. Save loads a fresh guide with it; Cancel ends the program, as the failure always has.
void Screens::chooseAnotherGrabber()
{
    if (m_guide)
        m_guide->hide();
    ConfigScreen& config = settingsScreen();
    disconnect(&config, nullptr, this, nullptr);
    connect(&config, &ConfigScreen::saved, this, [this] {
        unload(m_guide);
        showGuide();
    });
    connect(&config, &ConfigScreen::cancelled, this, &Screens::exitProgram);
    bringUp(config);
}

void Screens::exitProgram()
{
    // The rules' requests answer to the screens that go now; they come again at the next pass.
    m_program.handOffs.dropRuleRequests();
    unload(m_splash);
    unload(m_menu);
    unload(m_info);
    unload(m_search);
    unload(m_recordings);
    unload(m_config);
    unload(m_guide);
    QCoreApplication::quit();
}

void Screens::endNow()
{
    // At once, as the viewer asked: no forms are unloaded. Whatever the database had not
    // committed is rolled back by SQLite the next time it is opened.
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace zarvo
