// import_bench: one measurement of the listings import per process, so that the peak memory it
// reports belongs to that measurement alone. bench/run drives it and the outside tools it is
// compared with.
//
//   import_bench import --date YYYY-MM-DD FILE
//       Lays FILE out as xmltv/YYYYMMDD.xml of a fresh program folder and times getListings()
//       into that folder's new xmltv97.db.
//   import_bench parse FILE
//       Times reading FILE and parseXmltv() on it (no store).
//   import_bench schema DB
//       Creates an empty listings database at DB (the store's own tables and indexes), for a
//       bulk load by another program to compare with.
//   import_bench export FILE DIR
//       Writes the rows parseXmltv() reads as DIR/channels.csv and DIR/programmes.csv (RFC 4180,
//       every column of the store's `channels` and day tables, in their order), for a bulk load
//       by another program.
//
// Every mode but schema prints one line of key=value pairs on standard output:
//   seconds= programmes= channels= peak_rss_kb=
// peak_rss_kb is the process's high-water mark of resident memory (VmHWM) at the end.

#include "acquire/importer.h"
#include "base/appstate.h"
#include "base/clock.h"
#include "base/programfolder.h"
#include "peakrss.h"
#include "store/listingsstore.h"
#include "store/timerules.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

using namespace zarvo;

int usage()
{
    std::fputs("usage: import_bench import --date YYYY-MM-DD FILE\n"
               "       import_bench parse FILE\n"
               "       import_bench schema DB\n"
               "       import_bench export FILE DIR\n",
               stderr);
    return 2;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "import_bench: %s\n", message.toLocal8Bit().constData());
    return 1;
}

void report(double seconds, qint64 programmes, qint64 channels)
{
    std::printf("seconds=%.4f programmes=%lld channels=%lld peak_rss_kb=%lld\n", seconds,
                static_cast<long long>(programmes), static_cast<long long>(channels),
                static_cast<long long>(peakRssKb()));
}

std::optional<QByteArray> readWhole(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

int runImport(const QString& path, const QDate& date)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return fail(QStringLiteral("cannot make a temporary program folder"));
    const ProgramFolder folder(dir.path());
    if (!QDir().mkpath(folder.xmltvFolder()))
        return fail(QStringLiteral("cannot make %1").arg(folder.xmltvFolder()));
    const QString dayFile = QDir(folder.xmltvFolder()).filePath(dayFileName(date));
    // A hard link costs no memory and no time; a copy is the fallback across file systems.
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(dayFile).constData()) != 0 &&
        !QFile::copy(path, dayFile))
        return fail(QStringLiteral("cannot place %1 as %2").arg(path, dayFile));

    SystemClock clock;
    AppState state;
    ListingsStore store(folder.databaseFile());
    QElapsedTimer timer;
    timer.start();
    const ImportResult result =
        getListings(wallClock(date, QTime(0, 0)), store, state, folder, clock);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (result.status != ImportResult::Status::Imported)
        return fail(QStringLiteral("the import failed: %1 %2").arg(result.message, result.report));
    report(seconds, result.programmes, result.channels);
    return 0;
}

int runParse(const QString& path)
{
    SystemClock clock;
    QElapsedTimer timer;
    timer.start();
    const std::optional<QByteArray> bytes = readWhole(path);
    if (!bytes)
        return fail(QStringLiteral("cannot read %1").arg(path));
    XmltvLoadError error;
    const std::optional<XmltvListings> listings = parseXmltv(*bytes, clock.zone(), &error);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!listings)
        return fail(error.report());
    report(seconds, qint64(listings->programmes.size()), qint64(listings->channels.size()));
    return 0;
}

// One CSV field: always quoted, quotes doubled, so texts with commas, quotes or line breaks
// arrive intact.
void field(QTextStream& out, const QString& text, bool last = false)
{
    out << '"' << QString(text).replace(QLatin1Char('"'), QLatin1String("\"\"")) << '"'
        << (last ? '\n' : ',');
}

int runExport(const QString& path, const QString& outDir)
{
    SystemClock clock;
    const std::optional<QByteArray> bytes = readWhole(path);
    if (!bytes)
        return fail(QStringLiteral("cannot read %1").arg(path));
    XmltvLoadError error;
    const std::optional<XmltvListings> listings = parseXmltv(*bytes, clock.zone(), &error);
    if (!listings)
        return fail(error.report());

    QFile channels(QDir(outDir).filePath(QStringLiteral("channels.csv")));
    QFile programmes(QDir(outDir).filePath(QStringLiteral("programmes.csv")));
    if (!channels.open(QIODevice::WriteOnly) || !programmes.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write into %1").arg(outDir));
    // numkey: the channel number as a number, as the store keeps it for ordering.
    static const QRegularExpression number(QStringLiteral("^\\s*([0-9]+(?:\\.[0-9]+)?)\\s*$"));
    QTextStream c(&channels);
    for (const ChannelRow& row : listings->channels) {
        field(c, row.channelid);
        field(c, row.channelname);
        field(c, row.channelnum);
        field(c, row.icon);
        const QRegularExpressionMatch m = number.match(row.channelnum);
        c << (m.hasMatch() ? m.captured(1) : QString()) << '\n';
    }
    // The same storage forms and columns as the store: ISO dates, HH:MM:SS times, rerun as 0/1;
    // the ids numbered as the store hands them out in a fresh table.
    QTextStream p(&programmes);
    qint64 id = 0;
    for (const ProgrammeRow& row : listings->programmes) {
        p << ++id << ',';
        field(p, row.startdate.toString(Qt::ISODate));
        field(p, row.starttime.toString(QStringLiteral("HH:mm:ss")));
        field(p, row.enddate.toString(Qt::ISODate));
        field(p, row.endtime.toString(QStringLiteral("HH:mm:ss")));
        field(p, row.channel);
        field(p, row.title);
        field(p, row.subtitle);
        field(p, row.description);
        field(p, row.category);
        field(p, row.rating);
        // The shell's import cannot write NULL: `action` arrives as an empty text.
        p << (row.rerun ? 1 : 0) << ",\n";
    }
    c.flush();
    p.flush();
    if (channels.error() != QFile::NoError || programmes.error() != QFile::NoError)
        return fail(QStringLiteral("cannot write into %1").arg(outDir));
    report(0, qint64(listings->programmes.size()), qint64(listings->channels.size()));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    try {
        if (args.size() == 4 && args[0] == QLatin1String("import") &&
            args[1] == QLatin1String("--date")) {
            const QDate date = QDate::fromString(args[2], Qt::ISODate);
            if (!date.isValid())
                return usage();
            return runImport(args[3], date);
        }
        if (args.size() == 2 && args[0] == QLatin1String("parse"))
            return runParse(args[1]);
        if (args.size() == 2 && args[0] == QLatin1String("schema")) {
            ListingsStore store(args[1]);
            return 0;
        }
        if (args.size() == 3 && args[0] == QLatin1String("export"))
            return runExport(args[1], args[2]);
    } catch (const StoreError& e) {
        return fail(e.message());
    }
    return usage();
}
