#pragma once
// Moving between the program's screens. Each screen is a program-wide single instance
// (ui::SingleInstance): frmSplash is zarvo::SplashScreen (app/splash.h), frmListings is
// zarvo::ListingsScreen (guide/listingsscreen.h).

namespace zarvo::screens {

// Shows the guide, loading it first when it is not loaded (its load fetches and fills). When its
// first load fails and the viewer has read why, the settings screen opens: Save there loads the
// guide afresh with the settings saved, Cancel ends the program.
void showGuide();

// Shows the settings screen (frmConfig), hiding the guide when it is up. Save or Cancel there
// shows the guide again.
void showSettings();

// The guide's exit: unloads the splash screen, the action menu and the guide, which ends the
// process (the event loop is asked to quit).
void exitProgram();

// Ends the process at once, with no unloading (a double click on the guide's background).
[[noreturn]] void endNow();

} // namespace zarvo::screens
