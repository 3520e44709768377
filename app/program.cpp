#include "app/program.h"

#include "store/listingsstore.h"

namespace zarvo {

Program::Program(ProgramFolder folder_, const Clock& clock_)
    : folder(std::move(folder_)), clock(clock_), grabber(&state), handOffs(clock_, folder)
{
    handOffs.setReady([this] { return !state.importInProgress; });
}

Program::~Program() = default;

std::unique_ptr<ListingsStore> Program::openStore() const
{
    return std::make_unique<ListingsStore>(folder.databaseFile());
}

} // namespace zarvo
