#pragma once
// The program-wide state that the start-up step, the minute tick, the guide, the importer and
// the recording procedures share. Everything runs on the one user-interface thread; one AppState
// lives for the whole process and is handed to whoever needs it.

#include "base/settingsfile.h"

#include <QString>

namespace zarvo {

struct AppState
{
    // The eight settings, read once at start-up and rewritten by the settings screen.
    Settings settings;
    // True while a day-by-day listings check may go on or a fetched day is not yet loaded;
    // the importer clears it when it has loaded a day.
    bool fetchPending = false;
    // Set by the record-every-showing choice: the next minute tick applies the rules to every
    // present day without fetching.
    bool rescheduleRequested = false;
    // True while an import is storing rows; the guide ignores keys meanwhile, and a second
    // import does not start.
    bool importInProgress = false;
    // The importer's last message, shown when the guide cannot load its first day.
    QString loadErrorText = QStringLiteral("Error Loading Data");
};

} // namespace zarvo
