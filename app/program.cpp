#include "app/program.h"

#include "store/listingsstore.h"

namespace zarvo {

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

} // namespace zarvo
