#include "app/program.h"

#include "store/listingsstore.h"

#include <cassert>

namespace zarvo {
namespace {
Program* g_program = nullptr;
}

Program::Program(ProgramFolder folder_, const Clock& clock_)
    : folder(std::move(folder_)), clock(clock_), grabber(&state), handOffs(clock_, folder)
{
    handOffs.setReady([this] { return !state.importInProgress; });
}

Program::~Program() = default;

ListingsStore& Program::store()
{
    if (!m_store)
        m_store = std::make_unique<ListingsStore>(folder.databaseFile());
    return *m_store;
}

Program& program()
{
    assert(g_program && "program() used outside a ProgramScope");
    return *g_program;
}

bool hasProgram()
{
    return g_program != nullptr;
}

ProgramScope::ProgramScope(Program& p) : m_previous(g_program)
{
    g_program = &p;
}

ProgramScope::~ProgramScope()
{
    g_program = m_previous;
}

} // namespace zarvo
