#include "app/commands.h"

#include "acquire/coverage.h"
#include "app/programfolder.h"
#include "app/settingsfile.h"
#include "store/listingsstore.h"

#include <functional>
#include <map>

namespace zarvo {
namespace {

constexpr int ExitOk = 0;
constexpr int ExitNo = 1;
constexpr int ExitError = 2;

const char* const Usage = "usage: zarvoguide-cli [--home DIR] COMMAND [ARGUMENTS]\n"
                          "commands:\n"
                          "  settings                 print the settings as the guide reads them\n"
                          "  present YYYY-MM-DD       exit 0 when that day's listings are stored\n";

struct Invocation
{
    CliContext& ctx;
    ProgramFolder home;
    QStringList args; // after the command name
};

std::optional<QDate> parseDay(const QString& text)
{
    const QDate d = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid())
        return std::nullopt;
    return d;
}

int usageError(CliContext& ctx, const QString& message)
{
    ctx.err << "zarvoguide-cli: " << message << "\n" << Usage;
    ctx.err.flush();
    return ExitError;
}

int cmdSettings(Invocation& inv)
{
    if (!inv.args.isEmpty())
        return usageError(inv.ctx, QStringLiteral("settings takes no arguments"));
    const SettingsRead read = readSettingsFile(inv.home.settingsFile());
    switch (read.outcome) {
    case SettingsRead::Outcome::ConversionError:
        inv.ctx.err << read.error << "\n";
        return ExitError;
    case SettingsRead::Outcome::Missing:
        inv.ctx.err << "config.txt not found in " << inv.home.path()
                    << ": first-run defaults (the settings screen opens on start)\n";
        break;
    case SettingsRead::Outcome::Read:
        if (read.valuesRead < 8)
            inv.ctx.err << "config.txt holds " << read.valuesRead
                        << " of 8 values: the rest are fixed up\n";
        break;
    }
    const Settings& s = read.settings;
    QTextStream& o = inv.ctx.out;
    o << "writeChannelMap=" << s.writeChannelMap << "\n"
      << "channelMapPath=" << s.channelMapPath << "\n"
      << "adjustDST=" << s.adjustDST << "\n"
      << "daysToDownload=" << s.daysToDownload << "\n"
      << "imagesFolder=" << s.imagesFolder << "\n"
      << "primeTime=" << s.primeTime << "\n"
      << "opacity=" << s.opacity << "\n"
      << "grabberName=" << s.grabberName << "\n";
    return ExitOk;
}

int cmdPresent(Invocation& inv)
{
    if (inv.args.size() != 1)
        return usageError(inv.ctx, QStringLiteral("present takes one date, YYYY-MM-DD"));
    const auto day = parseDay(inv.args.at(0));
    if (!day)
        return usageError(inv.ctx, QStringLiteral("not a date: %1").arg(inv.args.at(0)));
    ListingsStore store(inv.home.databaseFile());
    const bool present = checkForPrograms(store, *day);
    inv.ctx.out << (present ? "present" : "missing") << "\n";
    return present ? ExitOk : ExitNo;
}

using Command = std::function<int(Invocation&)>;

const std::map<QString, Command>& commands()
{
    static const std::map<QString, Command> table{
        {QStringLiteral("settings"), cmdSettings},
        {QStringLiteral("present"), cmdPresent},
    };
    return table;
}

} // namespace

int runCli(const QStringList& arguments, CliContext& ctx)
{
    QStringList args = arguments;
    QString home = ctx.defaultHome;
    if (!args.isEmpty() && args.first() == QLatin1String("--home")) {
        if (args.size() < 2)
            return usageError(ctx, QStringLiteral("--home needs a folder"));
        home = args.at(1);
        args = args.mid(2);
    }
    if (args.isEmpty())
        return usageError(ctx, QStringLiteral("no command given"));
    if (args.first() == QLatin1String("--help") || args.first() == QLatin1String("help")) {
        ctx.out << Usage;
        return ExitOk;
    }
    const auto it = commands().find(args.first());
    if (it == commands().end())
        return usageError(ctx, QStringLiteral("unknown command: %1").arg(args.first()));

    Invocation inv{ctx, ProgramFolder(home), args.mid(1)};
    int code = ExitError;
    try {
        code = it->second(inv);
    } catch (const StoreError& e) {
        ctx.err << "zarvoguide-cli: " << e.message() << "\n";
        code = ExitError;
    }
    ctx.out.flush();
    ctx.err.flush();
    return code;
}

} // namespace zarvo
