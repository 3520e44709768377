#include "acquire/dayloader.h"

namespace zarvo {

DayLoad loadDay(const LoadContext& program, ListingsStore& store, const QDateTime& theDate,
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
    // A day file that could not be used has been moved aside: fetch the day afresh now rather
    // than leave the viewer without it until some later attempt.
    if (!load.import.setAside.isEmpty()) {
        load.refused = load.import;
        load.import = attempt();
    }
    if (load.import.status == ImportResult::Status::FetchRequested && load.grab &&
        load.grab->outcome != GrabberResult::Outcome::Failed &&
        load.grab->outcome != GrabberResult::Outcome::Busy) {
        // Even a batch that failed or was stopped may have left a usable file; the import
        // judges.
        load.import = attempt();
        load.wroteNoFile = load.import.status == ImportResult::Status::FetchRequested;
    }
    // Nothing new to import: why the file there was refused is what the viewer needs to know.
    if (load.refused && load.import.status == ImportResult::Status::FetchRequested) {
        load.import = *load.refused;
        program.state.loadErrorText = load.import.message;
    }
    return load;
}

} // namespace zarvo
