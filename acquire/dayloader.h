#pragma once
// Loading one day's listings as the guide and the minute tick both do it: import the day file,
// and when there is none yet, run the grabber for that day so that the next attempt imports
// what it wrote.

#include "acquire/grabber.h"
#include "acquire/importer.h"

#include <optional>

namespace zarvo {

class Program;

struct DayLoad
{
    ImportResult import;
    // Set when the day file was missing and the grabber ran.
    std::optional<GrabberResult> grab;
    // The text for a message box when the batch could not be written or started ("error"),
    // else empty.
    QString grabberMessage() const { return grab ? grab->message : QString(); }
};

// getListings for `theDate` (naive wall clock) with the program's state, folder and clock;
// a missing file runs getPrograms with `variant` and waits for it with the event loop running.
// `hooks.fetchMissingDay` is replaced; the other hooks are passed on.
DayLoad loadDay(Program& program, ListingsStore& store, const QDateTime& theDate,
                FetchVariant variant, ImportHooks hooks = {});

} // namespace zarvo
