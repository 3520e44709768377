// tv_grab_demo: an XMLTV grabber that needs no listings service. It makes up listings for the
// days asked, the same on every run, so the guide can be tried, tested and benchmarked on a
// machine without a subscription or a network.

#include "lineup.h"
#include "listings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

#include <cstdio>

#ifndef TV_GRAB_DEMO_VERSION
#define TV_GRAB_DEMO_VERSION "1.0.0"
#endif

namespace {

const char* const programName = "tv_grab_demo";

// The XMLTV convention allows a year ahead or behind; anything larger is a typing mistake.
constexpr int maxDays = 366;

void say(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

int fail(const QString& message)
{
    say(stderr, QLatin1String(programName) + QLatin1String(": ") + message);
    say(stderr, QLatin1String("Try '") + QLatin1String(programName) +
                    QLatin1String(" --help' for the options."));
    return 1;
}

// Reads an integer option within [low, high]; false (with `value` untouched) otherwise.
bool intOption(const QCommandLineParser& parser, const QString& name, int low, int high, int& value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int v = parser.value(name).toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    value = v;
    return true;
}

// The logo maker links the GUI library, which the grabber deliberately does not; it is installed
// beside the grabber.
int writeLogos(const QString& folder, int channels, bool quiet)
{
    const QString maker = QDir(QCoreApplication::applicationDirPath()).filePath("demo_logos");
    if (!QFileInfo(maker).isExecutable())
        return fail(QLatin1String("cannot find the logo maker ") + maker);
    QStringList arguments{QStringLiteral("--channels"), QString::number(channels)};
    if (quiet)
        arguments << QStringLiteral("--quiet");
    arguments << QStringLiteral("--") << folder;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(maker, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        return fail(QLatin1String("the logo maker failed: ") + process.errorString());
    return process.exitCode();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QLatin1String(programName));
    QCoreApplication::setApplicationVersion(QStringLiteral(TV_GRAB_DEMO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes made-up XMLTV listings; no listings service is needed."));
    const QList<QCommandLineOption> options{
        {QStringLiteral("days"), QStringLiteral("Grab N days (default 1)."), QStringLiteral("N")},
        {QStringLiteral("offset"), QStringLiteral("Start N days from today (may be negative)."),
         QStringLiteral("N")},
        {QStringLiteral("output"), QStringLiteral("Write to FILE instead of standard output."),
         QStringLiteral("FILE")},
        {QStringLiteral("quiet"), QStringLiteral("No progress messages.")},
        {QStringLiteral("channels"), QStringLiteral("Number of channels (default 40)."),
         QStringLiteral("N")},
        {QStringLiteral("today"), QStringLiteral("Take DATE as today (YYYY-MM-DD)."),
         QStringLiteral("DATE")},
        {QStringLiteral("configure"), QStringLiteral("Nothing to configure; says so.")},
        {QStringLiteral("config-file"),
         QStringLiteral("Ignored, except that --configure creates it when missing."),
         QStringLiteral("FILE")},
        {QStringLiteral("auto-config"), QStringLiteral("Accepted and ignored."),
         QStringLiteral("MODE")},
        {QStringLiteral("description"), QStringLiteral("Print what this grabber covers.")},
        {QStringLiteral("capabilities"), QStringLiteral("Print the XMLTV capabilities.")},
        {QStringLiteral("logos"),
         QStringLiteral("Write a PNG logo for each channel into DIR instead of listings."),
         QStringLiteral("DIR")},
        {QStringLiteral("version"), QStringLiteral("Print the version.")},
        {QStringLiteral("help"), QStringLiteral("Print this help.")},
    };
    parser.addOptions(options);

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(QLatin1String("unexpected argument '") + parser.positionalArguments().first() +
                    QLatin1Char('\''));

    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        say(stdout,
            QLatin1String(programName) + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return 0;
    }
    if (parser.isSet(QStringLiteral("description"))) {
        say(stdout, QStringLiteral("Demonstration listings (no listings service needed)"));
        return 0;
    }
    if (parser.isSet(QStringLiteral("capabilities"))) {
        // No manualconfig: the demonstration needs no configuration, so it runs unattended.
        say(stdout, QStringLiteral("baseline"));
        return 0;
    }
    // Configuration is usually run unattended from a batch, so it must never wait for input.
    if (parser.isSet(QStringLiteral("configure"))) {
        say(stdout, QLatin1String(programName) +
                        QLatin1String(": the demonstration listings need no configuration."));
        // Tools that drive grabbers check that configuring left a file where they asked for
        // one. An existing file is left alone: it may belong to another grabber.
        const QString config = parser.value(QStringLiteral("config-file"));
        if (!config.isEmpty() && !QFileInfo::exists(config)) {
            QSaveFile file(config);
            if (!file.open(QIODevice::WriteOnly) ||
                file.write("# tv_grab_demo needs no configuration.\n") < 0 || !file.commit())
                return fail(QLatin1String("cannot write ") + config + QLatin1String(": ") +
                            file.errorString());
        }
        return 0;
    }

    zarvo::demo::ListingsRequest request;
    int offset = 0;
    if (!intOption(parser, QStringLiteral("days"), 1, maxDays, request.days))
        return fail(QLatin1String("--days needs a whole number from 1 to ") +
                    QString::number(maxDays));
    if (!intOption(parser, QStringLiteral("offset"), -maxDays, maxDays, offset))
        return fail(QLatin1String("--offset needs a whole number from -") +
                    QString::number(maxDays) + QLatin1String(" to ") + QString::number(maxDays));
    if (!intOption(parser, QStringLiteral("channels"), 1, zarvo::demo::maxChannels,
                   request.channels))
        return fail(QLatin1String("--channels needs a whole number from 1 to ") +
                    QString::number(zarvo::demo::maxChannels));

    if (parser.isSet(QStringLiteral("logos")))
        return writeLogos(parser.value(QStringLiteral("logos")), request.channels,
                          parser.isSet(QStringLiteral("quiet")));

    QDate today = QDate::currentDate();
    if (parser.isSet(QStringLiteral("today"))) {
        const QString text = parser.value(QStringLiteral("today"));
        today = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        if (!today.isValid())
            return fail(QLatin1String("--today needs a date as YYYY-MM-DD, not '") + text +
                        QLatin1Char('\''));
    }
    request.firstDay = today.addDays(offset);

    qint64 programmes = -1;
    if (parser.isSet(QStringLiteral("output"))) {
        // Written aside and renamed into place, so a reader never sees half a day file.
        QSaveFile file(parser.value(QStringLiteral("output")));
        if (!file.open(QIODevice::WriteOnly))
            return fail(QLatin1String("cannot write ") + file.fileName() + QLatin1String(": ") +
                        file.errorString());
        programmes = zarvo::demo::writeListings(request, file);
        if (programmes < 0 || !file.commit())
            return fail(QLatin1String("cannot write ") + file.fileName() + QLatin1String(": ") +
                        file.errorString());
    } else {
        QFile out;
        if (!out.open(1, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            return fail(QLatin1String("cannot write to standard output"));
        programmes = zarvo::demo::writeListings(request, out);
        if (programmes < 0 || !out.flush())
            return fail(QLatin1String("cannot write to standard output: ") + out.errorString());
    }

    if (!parser.isSet(QStringLiteral("quiet")))
        say(stderr, QStringLiteral("%1: %2 channels, %3 programmes, %4 day(s) from %5")
                        .arg(QLatin1String(programName))
                        .arg(request.channels)
                        .arg(programmes)
                        .arg(request.days)
                        .arg(request.firstDay.toString(Qt::ISODate)));
    return 0;
}
