#include "cli/commands.h"

#include "acquire/coverage.h"
#include "acquire/dayloader.h"
#include "acquire/loadfailure.h"
#include "app/channelmap.h"
#include "app/program.h"
#include "base/programfolder.h"
#include "base/settingsfile.h"
#include "guide/gridbuilder.h"
#include "guide/gridjson.h"
#include "guide/guidesession.h"
#include "record/handoff.h"
#include "record/handoffqueue.h"
#include "record/rules.h"
#include "record/selection.h"
#include "settings/configlogic.h"
#include "store/listingsstore.h"
#include "store/timerules.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <functional>
#include <map>

namespace zarvo {
namespace {

constexpr int ExitOk = 0;
constexpr int ExitNo = 1;
constexpr int ExitError = 2;

const char* const Usage =
    "usage: zarvoguide-cli [--home DIR] COMMAND [ARGUMENTS]\n"
    "commands:\n"
    "  settings                      print the settings as the guide reads them\n"
    "  present YYYY-MM-DD            exit 0 when that day's listings are stored\n"
    "  import DAY                    import the day's file, fetching it first when missing\n"
    "  fetch DAY [--days N]          write and run the grabber batch only\n"
    "                                (DAY: YYYY-MM-DD, or \"YYYY-MM-DD HH:MM\" for a window)\n"
    "  programmes YYYY-MM-DD         print the day's stored programmes as JSON lines\n"
    "  grid \"YYYY-MM-DD HH:MM\" [--page N]\n"
    "                                print the guide's page for that window as JSON\n"
    "  rule add TITLE season|all \"CHANNEL NAME\"\n"
    "                                add a standing recording rule (or change its type)\n"
    "  rule delete TITLE             delete every rule for TITLE, on every channel\n"
    "  rules YYYY-MM-DD [--pause SECONDS]\n"
    "                                apply the rules to that day (15 s between hand-offs)\n"
    "  rules list                    print the standing rules: title, type, channel\n"
    "  record YYYY-MM-DD PROGRAMID record|season|all|watch\n"
    "                                what the action menu's items do for that programme\n"
    "  recordings                    print the log of recordings, newest first, then the\n"
    "                                marked programmes not yet ended\n"
    "  search TEXT                   print the stored showings whose titles contain TEXT\n"
    "  channel-map                   rewrite the recorder's channel map now\n"
    "  grabbers                      list the grabbers the settings screen offers\n";

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

// The store opened for reading only, so that a query works while another process imports;
// null when no database has been created yet (nothing is stored then).
std::unique_ptr<ListingsStore> storeForReading(Invocation& inv)
{
    if (!QFileInfo::exists(inv.home.databaseFile()))
        return nullptr;
    return std::make_unique<ListingsStore>(inv.home.databaseFile(),
                                           ListingsStore::Access::ReadOnly);
}

// Says on standard error that `day` is not stored; false.
bool notStored(Invocation& inv, QDate day)
{
    inv.ctx.err << "the listings of " << day.toString(Qt::ISODate) << " are not stored\n";
    return false;
}

// True when `day` is stored; otherwise says so on standard error.
bool holdsDay(Invocation& inv, ListingsStore* store, QDate day)
{
    return (store && checkForPrograms(*store, day)) || notStored(inv, day);
}

int cmdPresent(Invocation& inv)
{
    if (inv.args.size() != 1)
        return usageError(inv.ctx, QStringLiteral("present takes one date, YYYY-MM-DD"));
    const auto day = parseDay(inv.args.at(0));
    if (!day)
        return usageError(inv.ctx, QStringLiteral("not a date: %1").arg(inv.args.at(0)));
    const auto store = storeForReading(inv);
    const bool present = store && checkForPrograms(*store, *day);
    inv.ctx.out << (present ? "present" : "missing") << "\n";
    return present ? ExitOk : ExitNo;
}

// The settings as the guide would run with them; a read error is reported and ends the command.
std::optional<Settings> settingsFor(Invocation& inv)
{
    const SettingsRead read = readSettingsFile(inv.home.settingsFile());
    if (read.outcome == SettingsRead::Outcome::ConversionError) {
        inv.ctx.err << read.error << "\n";
        return std::nullopt;
    }
    return read.settings;
}

// A day argument and the options after it; false (with the usage shown) when they do not read.
// With `moment`, the argument may also be "YYYY-MM-DD HH:MM", a guide window's moment; a date
// alone stands for that day at the present time of day.
bool dayAndOptions(Invocation& inv, const QString& command, QDate* day,
                   std::map<QString, int>* options, int minimum = 1, QDateTime* moment = nullptr)
{
    auto refuse = [&inv](const QString& message) {
        usageError(inv.ctx, message);
        return false;
    };
    if (inv.args.isEmpty())
        return refuse(QStringLiteral("%1 takes a date, YYYY-MM-DD").arg(command));
    const QDateTime at =
        moment ? QDateTime::fromString(inv.args.at(0), QStringLiteral("yyyy-MM-dd HH:mm"))
               : QDateTime();
    const auto parsed = at.isValid() ? std::optional(at.date()) : parseDay(inv.args.at(0));
    if (!parsed)
        return refuse(QStringLiteral("not a date: %1").arg(inv.args.at(0)));
    *day = *parsed;
    if (moment)
        *moment = wallClock(*day, at.isValid() ? at.time() : inv.ctx.clock.now().time());
    for (int i = 1; i < inv.args.size(); i += 2) {
        const QString name = inv.args.at(i);
        bool ok = false;
        const int value = i + 1 < inv.args.size() ? inv.args.at(i + 1).toInt(&ok) : 0;
        if (!options || !options->count(name) || !ok || value < minimum)
            return refuse(QStringLiteral("%1: unexpected %2").arg(command, name));
        (*options)[name] = value;
    }
    return true;
}

void reportProgress(Invocation& inv, Program& program)
{
    QObject::connect(&program.grabber, &GrabberRunner::progress, [&inv](const QString& line) {
        inv.ctx.err << "grabber: " << line << "\n";
        inv.ctx.err.flush();
    });
}

// As the guide loads a day: a missing file is fetched and what the grabber wrote imported, in
// one call. Succeeds only when this run imported the day; a file refused is not read again (it
// has been moved aside, and the next run fetches the day anew).
int cmdImport(Invocation& inv)
{
    QDate day;
    QDateTime theDate;
    if (!dayAndOptions(inv, QStringLiteral("import"), &day, nullptr, 1, &theDate))
        return ExitError;
    const auto settings = settingsFor(inv);
    if (!settings)
        return ExitError;
    Program program(inv.home, inv.ctx.clock);
    program.state.settings = *settings;
    reportProgress(inv, program);
    ListingsStore* store = nullptr;
    try {
        store = &program.store();
    } catch (const StoreError& e) {
        // A database that cannot be opened now (locked by a long write) is a failed import.
        inv.ctx.err << e.message() << "\n";
        return ExitNo;
    }
    program.state.fetchPending = true;
    // A missing day file is fetched and imported by this one call.
    const DayLoad load = loadDay(program.loadContext(), *store, theDate, FetchVariant::Guide);
    const ImportResult& last = load.import;
    if (load.refused && last.status == ImportResult::Status::Imported)
        inv.ctx.err << load.refused->message << "\n";
    if (!load.grabberMessage().isEmpty())
        inv.ctx.err << load.grabberMessage() << ": " << load.grab->detail << "\n";
    if (last.skippedProgrammes > 0)
        inv.ctx.err << last.skippedProgrammes
                    << " programmes skipped: their start time could not be read\n";
    if (last.status != ImportResult::Status::Imported) {
        inv.ctx.err << (last.message.isEmpty() ? program.state.loadErrorText : last.message)
                    << "\n";
        const QString cause = loadFailureCause(settings->grabberName, day, load.grab, last);
        if (!cause.isEmpty())
            inv.ctx.err << cause << "\n";
        return ExitNo;
    }
    inv.ctx.out << last.channels << " channels, " << last.programmes << " programmes imported\n";
    return ExitOk;
}

int cmdFetch(Invocation& inv)
{
    QDate day;
    QDateTime theDate;
    std::map<QString, int> options{{QStringLiteral("--days"), 1}};
    if (!dayAndOptions(inv, QStringLiteral("fetch"), &day, &options, 1, &theDate))
        return ExitError;
    auto settings = settingsFor(inv);
    if (!settings)
        return ExitError;
    settings->daysToDownload = qint16(qMin(options[QStringLiteral("--days")], 7));
    Program program(inv.home, inv.ctx.clock);
    reportProgress(inv, program);
    const GrabberResult result = getPrograms(program.grabber, FetchVariant::Guide, inv.home.path(),
                                             *settings, theDate, inv.ctx.clock);
    if (result.succeeded())
        return ExitOk;
    ImportResult missing;
    missing.status = ImportResult::Status::FetchRequested;
    inv.ctx.err << "the grabber batch did not finish cleanly: "
                << loadFailureCause(settings->grabberName, day, result, missing) << "\n";
    return ExitNo;
}

int cmdProgrammes(Invocation& inv)
{
    QDate day;
    if (!dayAndOptions(inv, QStringLiteral("programmes"), &day, nullptr))
        return ExitError;
    const auto store = storeForReading(inv);
    if (!holdsDay(inv, store.get(), day))
        return ExitNo;
    const Snapshot<ProgrammeRow> rows = store->dayProgrammes(dayNumber(day));
    for (const ProgrammeRow& p : rows.rows()) {
        inv.ctx.out << QJsonDocument(programmeJson(p)).toJson(QJsonDocument::Compact) << "\n";
    }
    return ExitOk;
}

int cmdGrid(Invocation& inv)
{
    if (inv.args.isEmpty())
        return usageError(inv.ctx, QStringLiteral("grid takes a window, \"YYYY-MM-DD HH:MM\""));
    const QDateTime at = QDateTime::fromString(inv.args.at(0), QStringLiteral("yyyy-MM-dd HH:mm"));
    if (!at.isValid())
        return usageError(inv.ctx, QStringLiteral("not a window: %1").arg(inv.args.at(0)));
    int page = 1;
    if (inv.args.size() == 3 && inv.args.at(1) == QLatin1String("--page")) {
        bool ok = false;
        page = inv.args.at(2).toInt(&ok);
        if (!ok || page < 1)
            return usageError(inv.ctx, QStringLiteral("--page takes a number from 1"));
    } else if (inv.args.size() != 1) {
        return usageError(inv.ctx, QStringLiteral("grid: unexpected %1").arg(inv.args.at(1)));
    }
    // The command's own read-only connection, opened on first use (none while nothing is
    // stored).
    std::unique_ptr<ListingsStore> store;
    GuideSession guide([&]() -> ListingsStore* {
        if (!store)
            store = storeForReading(inv);
        return store.get();
    });
    if (!guide.holdsDay(at.date())) {
        notStored(inv, at.date());
        return ExitNo;
    }
    guide.showPage(wallClock(at.date(), at.time()), page);
    inv.ctx.out << QJsonDocument(gridPageJson(guide.page())).toJson(QJsonDocument::Indented);
    return ExitOk;
}

// The store of a program folder whose listings hold `day`; reports and returns null otherwise.
std::unique_ptr<ListingsStore> storeHolding(Invocation& inv, QDate day)
{
    auto store = std::make_unique<ListingsStore>(inv.home.databaseFile());
    return holdsDay(inv, store.get(), day) ? std::move(store) : nullptr;
}

int cmdRule(Invocation& inv)
{
    const QStringList& a = inv.args;
    const std::optional<RuleType> type =
        a.size() == 4 && a.at(0) == QLatin1String("add") ? ruleTypeFromText(a.at(2)) : std::nullopt;
    const bool add = type.has_value();
    const bool remove = a.size() == 2 && a.at(0) == QLatin1String("delete");
    if (!add && !remove)
        return usageError(inv.ctx, QStringLiteral("rule add TITLE season|all \"CHANNEL NAME\", "
                                                  "or rule delete TITLE"));
    ListingsStore store(inv.home.databaseFile());
    if (add) {
        addRule(store, a.at(1), *type, a.at(3));
        return ExitOk;
    }
    inv.ctx.out << deleteRules(store, a.at(1)) << " rules deleted\n";
    return ExitOk;
}

// Runs the queue until it has handed over everything queued.
void runQueue(HandOffQueue& queue)
{
    if (queue.idle())
        return;
    QEventLoop loop;
    QObject::connect(&queue, &HandOffQueue::drained, &loop, &QEventLoop::quit);
    loop.exec();
}

// The command's one store, for what its hand-offs do once taken; it outlives the queue.
StoreAccess storeAccess(ListingsStore& store)
{
    return [&store]() -> ListingsStore& { return store; };
}

int cmdRulesList(Invocation& inv)
{
    ListingsStore store(inv.home.databaseFile());
    for (const RuleRow& rule : store.rules())
        inv.ctx.out << rule.programtitle << "\t" << ruleTypeText(rule.recordtype) << "\t"
                    << rule.recordchannel << "\n";
    return ExitOk;
}

int cmdRules(Invocation& inv)
{
    if (inv.args.size() == 1 && inv.args.at(0) == QLatin1String("list"))
        return cmdRulesList(inv);
    QDate day;
    std::map<QString, int> options{{QStringLiteral("--pause"), 15}};
    if (!dayAndOptions(inv, QStringLiteral("rules"), &day, &options, 0))
        return ExitError;
    const auto settings = settingsFor(inv);
    if (!settings)
        return ExitError;
    const auto store = storeHolding(inv, day);
    if (!store)
        return ExitNo;
    HandOffQueue queue(inv.ctx.clock, inv.home);
    queue.setGapMs(qint64(options[QStringLiteral("--pause")]) * 1000);
    bool failed = false;
    checkForScheduled(*store, day, queue, storeAccess(*store), inv.ctx.clock,
                      [&inv, &failed](const SelectedProgramme& p, const HandOffOutcome& outcome) {
                          if (outcome.taken()) {
                              const RecordedRow r = recordedRow(p);
                              inv.ctx.out << r.realdate << " " << r.realtime << " " << r.title
                                          << " on " << r.channel << " " << r.station << "\n";
                          }
                          if (!outcome.message.isEmpty()) {
                              inv.ctx.err << outcome.message << "\n";
                              failed = true;
                          }
                          inv.ctx.out.flush();
                          inv.ctx.err.flush();
                      });
    runQueue(queue);
    return failed ? ExitNo : ExitOk;
}

int cmdRecord(Invocation& inv)
{
    static const QStringList actions{QStringLiteral("record"), QStringLiteral("season"),
                                     QStringLiteral("all"), QStringLiteral("watch")};
    bool idOk = false;
    const qint32 id = inv.args.size() == 3 ? inv.args.at(1).toInt(&idOk) : 0;
    const auto day = inv.args.isEmpty() ? std::nullopt : parseDay(inv.args.at(0));
    if (!day || !idOk || !actions.contains(inv.args.at(2)))
        return usageError(inv.ctx,
                          QStringLiteral("record YYYY-MM-DD PROGRAMID record|season|all|watch"));
    const auto settings = settingsFor(inv);
    if (!settings)
        return ExitError;
    const auto store = storeHolding(inv, *day);
    if (!store)
        return ExitNo;
    // The programme with its channel, as the guide's cell holds it: the day names the table.
    const int table = dayNumber(*day);
    std::optional<RuleMatch> found;
    if (const std::optional<ProgrammeRow> p = store->programme(table, id))
        found = RuleMatch{*p, {}, {}};
    const Snapshot<ChannelRow> channels = store->channels();
    if (found)
        for (const ChannelRow& c : channels.rows())
            if (c.channelid == found->programme.channel) {
                found->channel = c;
                break;
            }
    if (!found) {
        inv.ctx.err << "no programme " << id << " on " << day->toString(Qt::ISODate) << "\n";
        return ExitNo;
    }
    const SelectedProgramme selected = fromRuleMatch(*found, table, inv.ctx.clock);
    HandOffQueue queue(inv.ctx.clock, inv.home);
    HandOffOutcome result;
    const HandOffDone done = [&result](const SelectedProgramme&, const HandOffOutcome& outcome) {
        result = outcome;
    };
    const QString action = inv.args.at(2);
    AppState state;
    if (action == QLatin1String("record"))
        recordThisShowing(queue, storeAccess(*store), selected, done);
    else if (action == QLatin1String("season"))
        recordSeries(*store, queue, storeAccess(*store), selected, done);
    else if (action == QLatin1String("all"))
        recordEveryShowing(*store, queue, storeAccess(*store), state, selected, done);
    else
        watch(queue, selected, done);
    runQueue(queue);
    if (!result.message.isEmpty())
        inv.ctx.err << result.message << "\n";
    if (!result.taken())
        return ExitNo;
    inv.ctx.out << result.path << "\n";
    return ExitOk;
}

int cmdRecordings(Invocation& inv)
{
    if (!inv.args.isEmpty())
        return usageError(inv.ctx, QStringLiteral("recordings takes no arguments"));
    ListingsStore store(inv.home.databaseFile());
    for (const RecordedRow& r : store.recordedLog())
        inv.ctx.out << r.title << "\t" << r.channel << " " << r.station << "\t" << r.realdate << " "
                    << r.realtime << "\t" << r.filename << "\n";
    // After the log, so that its lines keep their places, each led by "upcoming" so that a
    // reader of the log can pass them by.
    for (const ListingRow& row : store.markedShowings(inv.ctx.clock.now())) {
        const ProgrammeRow& p = row.programme;
        inv.ctx.out << "upcoming\t" << p.title << "\t" << row.channel.channelname << "\t"
                    << dateText(p.startdate) << " " << standardTimeText(p.starttime) << "\t"
                    << (p.action ? markText(*p.action) : QString()) << "\n";
    }
    return ExitOk;
}

// The stored showings whose titles contain the text, as the guide's search finds them: one JSON
// object a line, in time order. "day" is the date whose table holds the row, as `record` takes it.
int cmdSearch(Invocation& inv)
{
    if (inv.args.size() != 1 || inv.args.at(0).trimmed().isEmpty())
        return usageError(inv.ctx, QStringLiteral("search takes one text, the title to look for"));
    const auto store = storeForReading(inv);
    if (!store)
        return ExitOk;
    const auto time = [](QDate d, QTime t) {
        return d.toString(Qt::ISODate) + QLatin1Char(' ') + t.toString(QStringLiteral("HH:mm"));
    };
    for (const ListingRow& row : store->findShowings(
             inv.args.at(0), ListingsStore::TitleMatch::Contains, inv.ctx.clock.now().date())) {
        const ProgrammeRow& p = row.programme;
        const std::optional<QDate> day = store->storedDate(row.dayTable);
        const QJsonObject line{
            {QStringLiteral("title"), p.title},
            {QStringLiteral("channel"), row.channel.channelname},
            {QStringLiteral("channelid"), p.channel},
            {QStringLiteral("start"), time(p.startdate, p.starttime)},
            {QStringLiteral("end"), time(p.enddate, p.endtime)},
            {QStringLiteral("programid"), p.programid},
            {QStringLiteral("day"), day ? day->toString(Qt::ISODate) : QString()}};
        inv.ctx.out << QJsonDocument(line).toJson(QJsonDocument::Compact) << "\n";
    }
    return ExitOk;
}

int cmdChannelMap(Invocation& inv)
{
    if (!inv.args.isEmpty())
        return usageError(inv.ctx, QStringLiteral("channel-map takes no arguments"));
    const auto settings = settingsFor(inv);
    if (!settings)
        return ExitError;
    ListingsStore store(inv.home.databaseFile());
    const ChannelMapResult result = writeToChannels(store, settings->channelMapPath, inv.ctx.clock);
    switch (result.outcome) {
    case ChannelMapResult::Outcome::Written:
        inv.ctx.out << result.renamed << " of " << result.lines << " channels renamed\n";
        return ExitOk;
    case ChannelMapResult::Outcome::TodayMissing:
        inv.ctx.err << "today's listings are not stored: the channel map is left as it is\n";
        return ExitNo;
    case ChannelMapResult::Outcome::TooLong:
        inv.ctx.err << "the channel map has more than " << ChannelMapMaxLines
                    << " lines: it is left as it is\n";
        return ExitNo;
    case ChannelMapResult::Outcome::Failed:
        break;
    }
    inv.ctx.err << result.message << "\n";
    return ExitNo;
}

// The settings screen's grabber list, one a line: name, description, installed or not,
// configured or not (or needing no configuration), separated by tabs.
int cmdGrabbers(Invocation& inv)
{
    if (!inv.args.isEmpty())
        return usageError(inv.ctx, QStringLiteral("grabbers takes no arguments"));
    const QList<InstalledGrabber> installed =
        installedGrabbers(inv.home.path(), QString::fromLocal8Bit(qgetenv("PATH")));
    QStringList programs;
    for (const InstalledGrabber& g : installed)
        programs << g.program;
    const QHash<QString, QString> descriptions =
        askGrabbers(programs, QStringLiteral("--description"));
    const QHash<QString, QString> capabilities =
        askGrabbers(programs, QStringLiteral("--capabilities"));
    QHash<QString, QString> byName;
    for (const InstalledGrabber& g : installed)
        byName.insert(g.name, descriptions.value(g.program).section(u'\n', 0, 0));
    const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
    for (const config::GrabberEntry& entry : config::grabberEntries(installed, byName)) {
        const auto program =
            std::find_if(installed.begin(), installed.end(),
                         [&](const InstalledGrabber& g) { return g.name == entry.grabber; });
        QString description = byName.value(entry.grabber);
        if (entry.country)
            description = entry.text.left(entry.text.indexOf(QLatin1String(" (") + entry.grabber));
        QString configured = QStringLiteral("not configured");
        if (program != installed.end()) {
            const QStringList listed = capabilities.value(program->program).split(u'\n');
            if (listed == QStringList{QString()})
                configured = QStringLiteral("unknown"); // --capabilities failed
            else if (!listed.contains(QStringLiteral("manualconfig")))
                configured = QStringLiteral("needs no configuration");
            else if (QFileInfo(grabberConfigFile(entry.grabber, home)).isFile())
                configured = QStringLiteral("configured");
        }
        inv.ctx.out << entry.grabber << '\t' << description << '\t'
                    << (entry.installed ? "installed" : "not installed") << '\t' << configured
                    << '\n';
    }
    return ExitOk;
}

using Command = std::function<int(Invocation&)>;

const std::map<QString, Command>& commands()
{
    static const std::map<QString, Command> table{
        {QStringLiteral("settings"), cmdSettings},
        {QStringLiteral("present"), cmdPresent},
        {QStringLiteral("import"), cmdImport},
        {QStringLiteral("fetch"), cmdFetch},
        {QStringLiteral("programmes"), cmdProgrammes},
        {QStringLiteral("grid"), cmdGrid},
        {QStringLiteral("rule"), cmdRule},
        {QStringLiteral("rules"), cmdRules},
        {QStringLiteral("record"), cmdRecord},
        {QStringLiteral("recordings"), cmdRecordings},
        {QStringLiteral("search"), cmdSearch},
        {QStringLiteral("channel-map"), cmdChannelMap},
        {QStringLiteral("grabbers"), cmdGrabbers},
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
    } catch (const Error& e) {
        // The one place a command's failure is told.
        ctx.err << "zarvoguide-cli: " << e.message() << "\n";
        code = ExitError;
    }
    ctx.out.flush();
    ctx.err.flush();
    return code;
}

} // namespace zarvo
