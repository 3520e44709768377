#pragma once
// Why a day could not be loaded, in words a viewer understands: the line the guide shows under
// loadErrorText when its first day cannot be loaded.

#include "acquire/grabber.h"
#include "acquire/importer.h"

#include <QDate>
#include <QString>

#include <optional>

namespace zarvo {

// The cause of a failed load of `day` with grabber `grabberName`, from the last grab (if one
// ran) and the last import attempt; one or more lines, empty when there is nothing to add to
// loadErrorText (the database's own message is already there):
// - the grabber not installed, or not configured with the command to run;
// - the batch not written or not started, another one still running, the time limit, a signal;
// - the grabber's exit status N, followed by its last lines of output;
// - no day file written, or no programme of that day in it;
// - the day file unreadable, and why.
QString loadFailureCause(const QString& grabberName, QDate day,
                         const std::optional<GrabberResult>& grab, const ImportResult& import);

// "Sun 12/06": how the guide names a day in its messages.
QString shortDayText(QDate day);

} // namespace zarvo
