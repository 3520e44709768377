#pragma once
// Loading one day's listings as the guide, the minute tick and the command line all do it:
// import the day file, and when there is none yet, run the grabber for that day and import what
// it wrote, all in one call (one key press, one tick).

#include "acquire/grabber.h"
#include "acquire/importer.h"

#include <optional>

namespace zarvo {

// What a load works with: the program's one grabber runner, its state, folder and clock.
struct LoadContext
{
    GrabberRunner& grabber;
    AppState& state;
    const ProgramFolder& folder;
    const Clock& clock;
};

struct DayLoad
{
    ImportResult import;
    // Set when the day file was missing and the grabber ran.
    std::optional<GrabberResult> grab;
    // The grabber ran and ended, yet the day file is still missing.
    bool wroteNoFile = false;
    // The day file found first was refused and moved aside (before the day was fetched afresh).
    std::optional<ImportResult> refused;
    // The text for a message box when the batch could not be written or started ("error"),
    // else empty.
    QString grabberMessage() const { return grab ? grab->message : QString(); }
};

// getListings for `theDate` (naive wall clock) with the context's state, folder and clock.
// A missing file runs getPrograms with `variant`, waits for it with the event loop running and,
// unless the batch could not run at all (Failed, Busy), imports the file at once: `import` is
// then the second attempt's result. A day file that the import refused and moved aside is
// fetched afresh the same way. The grabber runs at most once per call.
// `hooks.fetchMissingDay` is replaced; the other hooks are passed on.
DayLoad loadDay(const LoadContext& program, ListingsStore& store, const QDateTime& theDate,
                FetchVariant variant, ImportHooks hooks = {});

} // namespace zarvo
