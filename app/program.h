#pragma once
// What the whole program shares: its state, its folder, its clock, the one grabber runner, the
// one hand-off queue and the one listings store. main() makes one, and the screens
// (app/screens.h) and the minute tick are given it, or the parts of it they need.

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
    // First, so that it is destroyed last: the hand-off queue's requests use it.
    std::unique_ptr<ListingsStore> m_store;

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

    // The listings database of the program folder, opened (and created when missing) on first
    // use and kept for the program's life: every part of the program works through this one
    // store, and the reference stays valid as long as the Program. Throws StoreError when it
    // cannot be opened; nothing is kept then, and the next call tries again.
    ListingsStore& store();

    // What a day's load needs of the program.
    LoadContext loadContext() { return {grabber, state, folder, clock}; }
};

} // namespace zarvo
