#include "acquire/dayloader.h"

#include "app/program.h"

namespace zarvo {

DayLoad loadDay(Program& program, ListingsStore& store, const QDateTime& theDate,
                FetchVariant variant, ImportHooks hooks)
{
    DayLoad load;
    hooks.fetchMissingDay = [&](const QDateTime& day) {
        load.grab = getPrograms(program.grabber, variant, program.folder.path(),
                                program.state.settings, day, program.clock);
    };
    load.import = getListings(theDate, store, program.state, program.folder, program.clock, hooks);
    return load;
}

} // namespace zarvo
