// zarvoguide-cli: see app/commands.h.
#include "cli/commands.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    zarvo::SystemClock clock;
    zarvo::CliContext ctx{out, err, clock, QCoreApplication::applicationDirPath()};
    return zarvo::runCli(app.arguments().mid(1), ctx);
}
