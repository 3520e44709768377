#pragma once
// What the whole program shares: its state, its folder, its clock, the one grabber runner, the
// one hand-off queue and the one listings store.
//
// The screens are program-wide single instances created on first reference, so they find the
// program through `program()`; main() (or a test) sets it up once with `ProgramScope`.

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

// The program the screens work for. Only valid inside a ProgramScope.
Program& program();
bool hasProgram();

// Makes `p` the program for as long as the scope lives.
class ProgramScope
{
public:
    explicit ProgramScope(Program& p);
    ~ProgramScope();
    ProgramScope(const ProgramScope&) = delete;
    ProgramScope& operator=(const ProgramScope&) = delete;

private:
    Program* m_previous;
};

} // namespace zarvo
