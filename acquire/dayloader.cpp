#include "acquire/dayloader.h"

#include "app/program.h"

namespace zarvo {

DayLoad loadDay(Program& program, ListingsStore& store, const QDateTime& theDate,
                FetchVariant variant, ImportHooks hooks)
{
    DayLoad load;
    hooks.fetchMissingDay = [&](const QDateTime& day) {
        if (load.grab)
            return; // the second attempt: what the grabber wrote is all there is
        load.grab = getPrograms(program.grabber, variant, program.folder.path(),
                                program.state.settings, day, program.clock);
    };
    const auto attempt = [&] {
        return getListings(theDate, store, program.state, program.folder, program.clock, hooks);
    };
    load.import = attempt();
    if (load.import.status != ImportResult::Status::FetchRequested || !load.grab ||
        load.grab->outcome == GrabberResult::Outcome::Failed ||
        load.grab->outcome == GrabberResult::Outcome::Busy)
        return load;
    // Even a batch that failed or was stopped may have left a usable file; the import judges.
    load.import = attempt();
    load.wroteNoFile = load.import.status == ImportResult::Status::FetchRequested;
    return load;
}

} // namespace zarvo
