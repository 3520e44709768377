#pragma once
// Handing a programme to the tuner application, and the log of recordings.
//
// The program neither records nor tunes. It writes program.tvpi (record this) or program.tvvi
// (tune to this) in the program folder and asks the desktop to open the file, so that whatever
// application is registered for the file type does the work (record/handoffqueue.h). Each
// recording an application took is also marked in its day table and logged in `recorded`.

#include "base/programfolder.h"
#include "record/selection.h"
#include "store/listingsstore.h"

#include <QByteArray>
#include <QString>

namespace zarvo {

enum class HandOffKind {
    Recording, // program.tvpi, <tv-program-info>
    Viewing,   // program.tvvi, <tv-viewer-info>
};

// "program.tvpi" or "program.tvvi".
QString handOffFileName(HandOffKind kind);

// The file's bytes, UTF-8: fourteen lines separated by a single CR, CR LF after the last, no
// declaration, no indentation, every value as it is (no escaping, no changes):
//   <tv-program-info>  (<tv-viewer-info>)
//   <program>
//   <station>progStation</station>
//   <tv-mode>progMode</tv-mode>
//   <program-title>progTitle</program-title>
//   <program-description>progDescription</program-description>
//   <start-date>progStartDate</start-date>
//   <start-time>progStartTime</start-time>
//   <end-date>progEndDate</end-date>
//   <end-time>progEndTime</end-time>
//   <duration>progDuration</duration>
//   <rf-channel>progChannelNumber</rf-channel>
//   </program>
//   </tv-program-info>  (</tv-viewer-info>)
QByteArray handOffFile(const SelectedProgramme& selected, HandOffKind kind);

struct HandOffResult
{
    QString path;  // absolute path of the hand-off file
    QString error; // empty when the file was written
    bool ok() const { return error.isEmpty(); }
};

// Replaces the file of `kind` in the folder in one step (a reader sees the old file or the new
// one, never a part). When it cannot be written the old file stays as it was, no partial file
// is left, and `error` says "Cannot write PATH: reason". Opening it is the hand-off queue's
// part (record/handoffqueue.h).
HandOffResult writeHandOffFile(const ProgramFolder& folder, const SelectedProgramme& selected,
                               HandOffKind kind);

// Marks the programme (progId in day table dayTable, the table its row was read from) with
// `action`, sets progFileName, and adds the `recorded` row:
//   startdate progStartDate, starttime progStartTime, enddate progEndDate, endtime progEndTime,
//   channel progChannelNumber, title progTitle, subtitle progSubtitle, description
//   progDescription, category progCategory, rating progRating, filename progFileName,
//   realdate progLocalDate, realtime progLocalTime, station progStation, mode progMode,
//   duration progDuration.
// Values are stored as they are: apostrophes stay single. The row is added even when there was
// nothing to mark (the programme left its table, or the selection names no table); the result
// says whether a programme was marked. The mark and the row are stored together or not at all
// (ListingsStore::markAndLog). Throws StoreError when the database fails.
bool logRecording(ListingsStore& store, SelectedProgramme& selected, Mark action);

} // namespace zarvo
