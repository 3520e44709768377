#pragma once
// zarvoguide-cli: the guide's work without a screen.
//
//   zarvoguide-cli [--home DIR] settings
//       Prints the settings record as the start-up step reads it, one name=value a line.
//       Exit 0 (a note on standard error when config.txt is missing or short), 2 on a read error.
//   zarvoguide-cli [--home DIR] present YYYY-MM-DD
//       Exit 0 when that day's listings are in the database, 1 when not, 2 on an error. Creates
//       the database when it is missing.
//   zarvoguide-cli [--home DIR] import DAY
//       Imports the day's XMLTV file as the guide does, fetching it first when it is missing (two
//       passes at most). Exit 0 when this run imported the day, else 1 with the message (the
//       detail report of a file that does not load goes once to standard error). A refused file
//       is moved aside, so the next run fetches the day again.
//   zarvoguide-cli [--home DIR] fetch DAY [--days N]
//       Writes and runs the grabber batch only. Exit 0 when it finished cleanly.
//   DAY is YYYY-MM-DD (that day at the present time of day) or "YYYY-MM-DD HH:MM", the moment
//   of a guide window, as the guide passes it to the fetch.
//   zarvoguide-cli [--home DIR] programmes YYYY-MM-DD
//       That day's stored rows as JSON lines with every column (dates 'YYYY-MM-DD', times
//       'HH:MM:SS'). Exit 1 when the day is not stored.
//   zarvoguide-cli [--home DIR] grid "YYYY-MM-DD HH:MM" [--page N]
//       The guide's page for that window as JSON (header, rows of channel, icon, merged, cells).
//   zarvoguide-cli [--home DIR] rule add TITLE season|all "CHANNEL NAME" | rule delete TITLE
//       Adds a standing recording rule (a second choice changes its type) or deletes every rule
//       for TITLE on every channel.
//   zarvoguide-cli [--home DIR] rules YYYY-MM-DD [--pause SECONDS]
//       Applies the rules to that day, handing each match to the recorder SECONDS apart (15),
//       and prints each programme an application took. Exit 1 when one was not taken.
//   zarvoguide-cli [--home DIR] rules list
//       The standing rules, one a line: title, type, channel, separated by tabs.
//   zarvoguide-cli [--home DIR] record YYYY-MM-DD PROGRAMID record|season|all|watch
//       What the action menu's items do for that programme (of that day's table), without a
//       screen. Exit 0 with the hand-off file's path when an application took it, 1 (and
//       nothing marked or logged) when none did.
//   zarvoguide-cli [--home DIR] recordings
//       The log of recordings, newest first, one a line: title, channel, local start, file
//       name, separated by tabs. Then the marked programmes (record, season, all) of the stored
//       days that have not ended yet, in time order, one a line: "upcoming", title, channel
//       name, start ("12/15/2003 8:00:00 PM"), mark, separated by tabs.
//   zarvoguide-cli [--home DIR] search TEXT
//       The showings of the stored days from today on whose titles contain TEXT (letter case
//       aside, "&" and "and" alike), in time order, as JSON lines: title, channel (name),
//       channelid, start and end ("YYYY-MM-DD HH:MM"), programid and day (the date whose table
//       holds it, as `record` takes it). Reads only; nothing found prints nothing, exit 0.
//   zarvoguide-cli [--home DIR] channel-map
//       Rewrites the recorder's channel map named by the settings now.
//   zarvoguide-cli [--home DIR] grabbers
//       The settings screen's grabber list, one a line: name, description, "installed" or
//       "not installed", "configured", "not configured", "needs no configuration" or
//       "unknown" (its --capabilities failed), tabs between them.
//
// The program folder is the folder of the executable unless --home names another one.

#include "base/clock.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace zarvo {

struct CliContext
{
    QTextStream& out;
    QTextStream& err;
    const Clock& clock;
    // The folder used when no --home is given (the executable's folder).
    QString defaultHome;
};

// Runs one command line (without the program name). Returns the process exit code.
int runCli(const QStringList& arguments, CliContext& context);

} // namespace zarvo
