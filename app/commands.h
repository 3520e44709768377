#pragma once
// zarvoguide-cli: the guide's work without a screen.
//
//   zarvoguide-cli [--home DIR] settings
//       Prints the settings record as the start-up step reads it, one name=value a line.
//       Exit 0 (a note on standard error when config.txt is missing or short), 2 on a read error.
//   zarvoguide-cli [--home DIR] present YYYY-MM-DD
//       Exit 0 when that day's listings are in the database, 1 when not, 2 on an error. Creates
//       the database when it is missing.
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
