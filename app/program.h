#pragma once
// What the whole program shares: its state, its folder, its clock, the one grabber runner and
// the one hand-off queue. main() makes one, and the screens (app/screens.h) and the minute tick
// are given it, or the parts of it they need.

#include "acquire/dayloader.h"
#include "acquire/grabber.h"
#include "base/appstate.h"
#include "base/clock.h"
#include "base/programfolder.h"
#include "record/handoffqueue.h"

#include <memory>

namespace zarvo {

class ListingsStore;

class Program
{
public:
    Program(ProgramFolder folder, const Clock& clock);
    ~Program();

    AppState state;
    ProgramFolder folder;
    const Clock& clock;
    GrabberRunner grabber;
    // Every hand-off to the tuner application goes through it: the menu's, the rules' and the
    // command line's. It hands files to `xdg-open` 15 s apart and holds its requests while an
    // import stores rows.
    HandOffQueue handOffs;

    // Opens the listings database of the program folder (creating it when missing). Throws
    // StoreError when it cannot be opened; each caller keeps its own connection, as it has
    // always been.
    std::unique_ptr<ListingsStore> openStore() const;

    // What a day's load needs of the program.
    LoadContext loadContext() { return {grabber, state, folder, clock}; }
};

} // namespace zarvo
