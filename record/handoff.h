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

// The title as the hand-off files give it, and as the menu stores it in its rules: every "&"
// replaced by "and" ("Law & Order" -> "Law and Order").
QString handOffTitle(const SelectedProgramme& selected);

// The texts a programme is handed over and logged with, as its `recorded` row:
//   startdate, starttime, enddate, endtime  the UTC start and end: eight-digit dates (20031216)
//                         and "hh:mm" times (01:00); empty when invalid
//   duration              end minus start in whole hours and minutes, "hh:mm"; beyond a day the
//                         hours go on counting ("25:30"); "00:00" when the end is not after the
//                         start or either is invalid
//   channel, station      the channel name up to and after its first blank ("4", "WXYZ"); a
//                         name without a blank is all station, with an empty channel
//   title                 handOffTitle()
//   filename              title, " on ", the channel name ("Law and Order on 4 WXYZ")
//   realdate, realtime    the local start, "MM/DD/YYYY" (12/15/2003) and the guide's time text
//                         ("8:00:00 PM"); empty when invalid
//   mode                  "cable"
//   subtitle, description, category, rating  as they are.
RecordedRow recordedRow(const SelectedProgramme& selected);

// The file's bytes, UTF-8: fourteen lines separated by a single CR, CR LF after the last, no
// declaration, no indentation, every value of recordedRow() as it is (no escaping, no changes):
//   <tv-program-info>  (<tv-viewer-info>)
//   <program>
//   <station>station</station>
//   <tv-mode>mode</tv-mode>
//   <program-title>title</program-title>
//   <program-description>description</program-description>
//   <start-date>startdate</start-date>
//   <start-time>starttime</start-time>
//   <end-date>enddate</end-date>
//   <end-time>endtime</end-time>
//   <duration>duration</duration>
//   <rf-channel>channel</rf-channel>
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

// Marks the programme (programId in day table dayTable, the table its row was read from) with
// `action` and adds its recordedRow() to the `recorded` log. Values are stored as they are:
// apostrophes stay single. The row is added even when there was nothing to mark (the programme
// left its table, or the selection names no table); the result says whether a programme was
// marked. The mark and the row are stored together or not at all (ListingsStore::markAndLog).
// Throws StoreError when the database fails.
bool logRecording(ListingsStore& store, const SelectedProgramme& selected, Mark action);

} // namespace zarvo
