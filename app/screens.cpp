#include "app/screens.h"

#include "app/program.h"
#include "app/splash.h"
#include "guide/listingsscreen.h"
#include "record/menuscreen.h"
#include "record/selection.h"
#include "settings/configscreen.h"
#include "ui/forms.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace zarvo::screens {
namespace {

// Enter on a programme: the selected programme, then the action menu over the guide.
void chooseProgramme(ListingsScreen& guide, int row, int col)
{
    const GridCell* cell = guide.page().cell(row - 1, col - 1);
    if (!cell)
        return;
    const Program& p = program();
    showActionMenu(fromGridCell(*cell, p.clock), &guide);
    // "Do not record" cleared the mark at once: show it now, not at the next new window. (A
    // recording's mark comes later, when an application took it; see wireGuide.)
    if (ui::SingleInstance<ListingsScreen>::isLoaded())
        guide.refreshMarks();
}

// After the guide's first load failed: the settings screen, so the viewer can pick another
// grabber. Save loads a fresh guide with it; Cancel ends the program, as the failure always has.
void chooseAnotherGrabber()
{
    if (ui::SingleInstance<ListingsScreen>::isLoaded())
        ui::SingleInstance<ListingsScreen>::instance().hide();
    ConfigScreen& config = ui::SingleInstance<ConfigScreen>::instance();
    ConfigScreen::Hooks hooks;
    hooks.showGuide = [] {
        ui::SingleInstance<ListingsScreen>::unload();
        showGuide();
    };
    hooks.cancelled = &exitProgram;
    config.setHooks(std::move(hooks));
    config.show();
    config.raise();
    config.activateWindow();
}

// Connections a freshly created guide needs; a later reference after an unload creates the
// guide afresh, so this runs for every new instance.
void wireGuide(ListingsScreen& guide)
{
    QObject::connect(&guide, &ListingsScreen::programChosen, &guide,
                     [&guide](int row, int col) { chooseProgramme(guide, row, col); });
    QObject::connect(&guide, &ListingsScreen::settingsRequested, &guide, &showSettings);
    // A recording is marked once an application took it, some time after the menu closed, and
    // a rule pass marks programmes too: the grid shows each mark as it comes.
    QObject::connect(&program().handOffs, &HandOffQueue::finished, &guide,
                     [&guide](const SelectedProgramme&, const HandOffOutcome& outcome) {
                         if (outcome.taken() && guide.isVisible())
                             guide.refreshMarks();
                     });
    QObject::connect(&guide, &ListingsScreen::loadFailureAcknowledged, &guide,
                     &chooseAnotherGrabber);
    MenuScreen::setGuideHooks(
        {[] {
             if (ui::SingleInstance<ListingsScreen>::isLoaded())
                 ui::SingleInstance<ListingsScreen>::instance().navigator().returnToButtons();
         },
         {}});
}

} // namespace

void showGuide()
{
    const bool fresh = !ui::SingleInstance<ListingsScreen>::isLoaded();
    ListingsScreen& guide = ui::SingleInstance<ListingsScreen>::instance();
    if (fresh)
        wireGuide(guide);
    guide.show();
    guide.raise();
    guide.activateWindow();
}

void showSettings()
{
    if (ui::SingleInstance<ListingsScreen>::isLoaded())
        ui::SingleInstance<ListingsScreen>::instance().hide();
    ConfigScreen& config = ui::SingleInstance<ConfigScreen>::instance();
    config.show();
    config.raise();
    config.activateWindow();
}

void exitProgram()
{
    // The rules' requests answer to the screens that go now; they come again at the next pass.
    program().handOffs.dropRuleRequests();
    ui::SingleInstance<SplashScreen>::unload();
    ui::SingleInstance<MenuScreen>::unload();
    ui::SingleInstance<ConfigScreen>::unload();
    ui::SingleInstance<ListingsScreen>::unload();
    QCoreApplication::quit();
}

void endNow()
{
    // At once, as the viewer asked: no forms are unloaded. Whatever the database had not
    // committed is rolled back by SQLite the next time it is opened.
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace zarvo::screens
