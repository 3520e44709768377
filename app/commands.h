#pragma once
// zarvoguide-cli: the guide's work without a screen.
//
//   zarvoguide-cli [--home DIR] settings
//       Prints the settings record as the start-up step reads it, one name=value a line.
//       Exit 0 (a note on standard error when config.txt is missing or short), 2 on a read error.
//   zarvoguide-cli [--home DIR] present YYYY-MM-DD
//       Exit 0 when that day's listings are in the database, 1 when not, 2 on an error. Creates
//       the database when it is missing.
//   zarvoguide-cli [--home DIR] import YYYY-MM-DD
//       Imports the day's XMLTV file as the guide does, fetching it first when it is missing (two
//       passes at most). Exit 0 when the day is present afterwards, else 1 with the message.
//   zarvoguide-cli [--home DIR] fetch YYYY-MM-DD [--days N]
//       Writes and runs the grabber batch only. Exit 0 when it finished cleanly.
//   zarvoguide-cli [--home DIR] programmes YYYY-MM-DD
//       That day's stored rows as JSON lines with every column (dates 'YYYY-MM-DD', times
//       'HH:MM:SS'). Exit 1 when the day is not stored.
//   zarvoguide-cli [--home DIR] grid "YYYY-MM-DD HH:MM" [--page N]
//       The guide's page for that window as JSON (header, rows of channel, icon, merged, cells).
//   zarvoguide-cli [--home DIR] rule add TITLE season|all "CHANNEL NAME" | rule delete TITLE
//       Adds a standing recording rule (a second choice changes its type) or deletes every rule
//       for TITLE on every channel.
//   zarvoguide-cli [--home DIR] rules YYYY-MM-DD [--pause SECONDS]
//       Applies the rules to that day, handing each match to the recorder SECONDS apart (15).
//   zarvoguide-cli [--home DIR] record YYYY-MM-DD PROGRAMID record|season|all|watch
//       What the action menu's items do for that programme, without a screen.
//   zarvoguide-cli [--home DIR] channel-map
//       Rewrites the recorder's channel map named by the settings now.
//   zarvoguide-cli [--home DIR] grabbers
//       The settings screen's grabber list, one a line: name, description, "installed" or
//       "not installed", "configured", "not configured", "needs no configuration" or
//       "unknown" (its --capabilities failed), tabs between them.
//
// The program folder is the folder of the executable unless --home names another one.

#include "app/clock.h"

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
