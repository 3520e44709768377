// guide_bench: how quickly the guide screen answers the remote and how quickly it first shows
// its grid, over a program folder holding a week of demo listings of 1000 channels (or
// --channels N). bench/run drives it.
//
//   guide_bench prepare --today YYYY-MM-DD [--channels N] DIR
//       Makes DIR a program folder: the built pictures, a logo for every channel, and the seven
//       days from `today` written by tv_grab_demo one day file at a time (--days 1 --offset k,
//       as the guide's own fetch asks for them) and imported with getListings(), one day each.
//   guide_bench start --today YYYY-MM-DD DIR
//       One start of the guide in this (fresh) process: constructs the screen, shows it, waits
//       for loadFinished and paints it. Today is present, so nothing is fetched.
//   guide_bench keys --today YYYY-MM-DD [--presses N] [--channels N] DIR
//       Opens the guide once, then times N key releases of each command from the release to
//       the refilled screen painted (--channels: those the folder was prepared with).
//   guide_bench page --today YYYY-MM-DD [--presses N] DIR
//       Times N fills of page 50 of a new window, each at another hour, without a screen: the
//       store's part of every window command.
//
// The clock stands at 8:05 PM of `today` in UTC, the zone of the demo listings' stamps.
//
// Output, key=value pairs on one line each:
//   prepare: seconds= programmes= channels= qt= (the Qt version run with)
//   start:   load_ms= construct_ms= loaded_ms= paint_ms= peak_rss_kb=
//   page:    page= median_ms= p95_ms= max_ms=
//   keys:    command=NAME presses= median_ms= p95_ms= max_ms= handle_median_ms= handle_p95_ms=
//            cpu_median_ms= cpu_p95_ms= (one line per command), then peak_rss_kb=
// handle_*: from the release until the command has run (the grid refilled, nothing drawn yet);
// cpu_*: this thread's CPU time from the release to painted, which on a busy machine tells the
// guide's own work from waiting for a core. peak_rss_kb is the process's high-water mark of
// resident memory (VmHWM) at the end.
//
// What "painted" means here: the screen runs on Qt's offscreen platform, which has no display,
// on a screen of 1920 x 1080 (unless QT_QPA_PLATFORM is set). Every control of the window is
// marked for repainting and the window repainted at once: all paint events run synchronously
// into the window's backing store, a raster image in memory, which is then flushed to the
// platform, which shows it nowhere. So the figures include all of the guide's own drawing (text
// layout, logo scaling, pixmaps) but no compositor, no copy to a display and no wait for the
// screen's refresh. Repainting the whole window rather than only what a key changed makes them
// an upper bound of the drawing the event loop would do.

#include "acquire/importer.h"
#include "app/program.h"
#include "base/appstate.h"
#include "base/clock.h"
#include "base/programfolder.h"
#include "base/settingsfile.h"
#include "guide/listingsscreen.h"
#include "peakrss.h"
#include "store/listingsstore.h"
#include "store/timerules.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <time.h>
#include <vector>

namespace {

using namespace zarvo;

// The channels of the demo listings (--channels; 1000 unless told).
int Channels = 1000;
constexpr int Days = 7;
// A full-HD television: the guide is maximized on it.
constexpr int ScreenWidth = 1920;
constexpr int ScreenHeight = 1080;

int usage()
{
    std::fputs("usage: guide_bench prepare --today YYYY-MM-DD [--channels N] DIR\n"
               "       guide_bench start --today YYYY-MM-DD DIR\n"
               "       guide_bench keys --today YYYY-MM-DD [--presses N] [--channels N] DIR\n"
               "       guide_bench page --today YYYY-MM-DD [--presses N] DIR\n",
               stderr);
    return 2;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "guide_bench: %s\n", message.toLocal8Bit().constData());
    return 1;
}

double ms(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

// CPU time of this thread: next to the wall-clock figures it tells the guide's own work from
// time spent waiting for a busy machine's cores.
qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

QTimeZone listingsZone()
{
    return QTimeZone(QByteArrayLiteral("UTC"));
}

// --- prepare ---------------------------------------------------------------------------------

bool runGrabber(const QStringList& arguments, QString* error)
{
    QProcess grabber;
    grabber.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    grabber.start(QStringLiteral(TV_GRAB_DEMO_BIN), arguments);
    if (!grabber.waitForFinished(-1) || grabber.exitStatus() != QProcess::NormalExit ||
        grabber.exitCode() != 0) {
        *error = QStringLiteral("tv_grab_demo %1 failed: %2")
                     .arg(arguments.join(QLatin1Char(' ')), grabber.errorString());
        return false;
    }
    return true;
}

int runPrepare(const QString& dir, QDate today)
{
    const ProgramFolder folder(dir);
    if (!QDir().mkpath(folder.xmltvFolder()))
        return fail(QStringLiteral("cannot make %1").arg(folder.xmltvFolder()));
    const QString pictures = QDir(dir).filePath(QStringLiteral("pictures"));
    if (!QFile::exists(pictures) && !QFile::link(QStringLiteral(ZARVO_PICTURES_DIR), pictures))
        return fail(QStringLiteral("cannot link the pictures into %1").arg(dir));

    QString error;
    if (!runGrabber({QStringLiteral("--quiet"), QStringLiteral("--channels"),
                     QString::number(Channels), QStringLiteral("--logos"), folder.logosFolder()},
                    &error))
        return fail(error);
    for (int k = 0; k < Days; ++k) {
        const QString file = QDir(folder.xmltvFolder()).filePath(dayFileName(today.addDays(k)));
        if (!runGrabber({QStringLiteral("--quiet"), QStringLiteral("--channels"),
                         QString::number(Channels), QStringLiteral("--days"), QStringLiteral("1"),
                         QStringLiteral("--offset"), QString::number(k), QStringLiteral("--today"),
                         today.toString(Qt::ISODate), QStringLiteral("--output"), file},
                        &error))
            return fail(error);
    }

    FakeClock clock(listingsZone(), wallClock(today, QTime(20, 5)));
    AppState state;
    ListingsStore store(folder.databaseFile());
    qint64 programmes = 0;
    int channels = 0;
    QElapsedTimer timer;
    timer.start();
    for (int k = 0; k < Days; ++k) {
        const QDate date = today.addDays(k);
        const ImportResult result =
            getListings(wallClock(date, QTime(0, 0)), store, state, folder, clock);
        if (result.status != ImportResult::Status::Imported)
            return fail(QStringLiteral("the import of %1 failed: %2 %3")
                            .arg(date.toString(Qt::ISODate), result.message, result.report));
        programmes += result.programmes;
        channels = result.channels;
    }
    std::printf("seconds=%.4f programmes=%lld channels=%d qt=%s\n",
                double(timer.nsecsElapsed()) / 1e9, static_cast<long long>(programmes), channels,
                qVersion());
    return 0;
}

// --- the screen ------------------------------------------------------------------------------

// A program around the folder, as main() sets it up after the start-up step.
struct Guide
{
    Guide(const QString& dir, QDate today)
        : clock(listingsZone(), wallClock(today, QTime(20, 5))), program(ProgramFolder(dir), clock)
    {
        program.state.settings = firstRunDefaults();
    }

    // The program's guide screen; asking for the program's end fails the bench.
    std::unique_ptr<ListingsScreen> screen()
    {
        auto screen = std::make_unique<ListingsScreen>(program.loadContext(),
                                                       [this] { return &program.store(); });
        for (auto end : {&ListingsScreen::exitRequested, &ListingsScreen::endNowRequested})
            QObject::connect(screen.get(), end, [] {
                std::fputs("guide_bench: the guide asked to end the program\n", stderr);
                std::exit(1);
            });
        return screen;
    }

    FakeClock clock;
    Program program;
};

// Shows the screen and runs the event loop until its load has finished; false when it did not
// load within a minute.
bool showAndLoad(ListingsScreen& screen)
{
    bool loaded = false;
    QEventLoop loop;
    QObject::connect(&screen, &ListingsScreen::loadFinished, &loop, [&](bool ok) {
        loaded = ok;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    screen.show();
    if (!screen.isLoadComplete())
        loop.exec();
    return loaded;
}

// Counts the paint events of one control.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// Paints the whole window at once, in one pass as the event loop paints: every control is marked
// for repainting, then the window is repainted, which draws and flushes all that is marked. (A
// repaint of the window alone would leave out the grid, which draws itself opaque and is only
// painted when it is marked itself.)
void paintWholeScreen(QWidget& screen)
{
    for (QWidget* child : screen.findChildren<QWidget*>())
        child->update();
    screen.repaint();
}

int runStart(const QString& dir, QDate today)
{
    Guide guide(dir, today);
    QElapsedTimer timer;
    timer.start();
    const auto guideScreen = guide.screen();
    ListingsScreen& screen = *guideScreen;
    const qint64 constructed = timer.nsecsElapsed();
    if (!showAndLoad(screen))
        return fail(
            QStringLiteral("the guide did not load: %1").arg(guide.program.state.loadErrorText));
    const qint64 loaded = timer.nsecsElapsed();
    PaintCounter gridPaints(screen.findChild<QWidget*>(QStringLiteral("theGrid")));
    paintWholeScreen(screen);
    const qint64 painted = timer.nsecsElapsed();
    if (screen.page().rows.empty())
        return fail(QStringLiteral("the guide loaded an empty grid"));
    if (gridPaints.count == 0)
        return fail(QStringLiteral("the grid was not painted"));
    std::printf("load_ms=%.3f construct_ms=%.3f loaded_ms=%.3f paint_ms=%.3f peak_rss_kb=%lld\n",
                ms(painted), ms(constructed), ms(loaded - constructed), ms(painted - loaded),
                static_cast<long long>(peakRssKb()));
    return 0;
}

// --- keys ------------------------------------------------------------------------------------

struct Timing
{
    std::vector<double> total;  // key release to painted
    std::vector<double> handle; // key release handled (the grid refilled, nothing drawn yet)
    std::vector<double> cpu;    // this thread's CPU time from the release to painted
};

double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least q of the values at or below it.
    const auto rank = std::size_t(std::ceil(q * double(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

class KeyBench
{
public:
    explicit KeyBench(ListingsScreen& screen)
        : m_screen(screen), m_gridPaints(screen.findChild<QWidget*>(QStringLiteral("theGrid")))
    {
    }
    // Presses whose grid was not painted (there should be none).
    int unpainted = 0;

    // A key press and release as the remote sends them, to the control that has the keyboard
    // (the screen while a button is selected, the grid once a command has ended in it).
    void send(Qt::Key key)
    {
        QTest::keyPress(target(), key);
        QTest::keyRelease(target(), key);
        settle();
    }

    // The same, timed from the release to the whole screen painted.
    void timed(Qt::Key key, Timing& timing)
    {
        QWidget* to = target();
        QTest::keyPress(to, key);
        settle();
        to = target();
        const int paintsBefore = m_gridPaints.count;
        const qint64 cpuStart = threadCpuNs();
        QElapsedTimer timer;
        timer.start();
        QTest::keyRelease(to, key);
        const qint64 handled = timer.nsecsElapsed();
        paintWholeScreen(m_screen);
        const qint64 painted = timer.nsecsElapsed();
        timing.cpu.push_back(ms(threadCpuNs() - cpuStart));
        timing.handle.push_back(ms(handled));
        timing.total.push_back(ms(painted));
        if (m_gridPaints.count == paintsBefore)
            ++unpainted;
        settle();
    }

private:
    QWidget* target()
    {
        QWidget* focus = m_screen.focusWidget();
        return focus ? focus : &m_screen;
    }
    // Between two presses the event loop runs idle, as it does between a viewer's presses.
    static void settle() { QCoreApplication::processEvents(); }

    ListingsScreen& m_screen;
    PaintCounter m_gridPaints;
};

// Stops the run when a press did not do what it should: a key that never arrived would
// otherwise be timed as a very fast command.
struct Checked
{
    const char* command;
    int press;
};

int runKeys(const QString& dir, QDate today, int presses)
{
    Guide guide(dir, today);
    const auto guideScreen = guide.screen();
    ListingsScreen& screen = *guideScreen;
    if (!showAndLoad(screen))
        return fail(
            QStringLiteral("the guide did not load: %1").arg(guide.program.state.loadErrorText));
    screen.activateWindow();
    if (!QTest::qWaitForWindowActive(&screen))
        return fail(QStringLiteral("the guide window did not become active"));
    paintWholeScreen(screen);

    KeyBench keys(screen);
    std::optional<Checked> failed;
    const auto check = [&](const char* command, int press, bool ok) {
        if (!ok && !failed)
            failed = Checked{command, press};
    };
    const GridState& grid = screen.gridModel();
    const int channelPages = (Channels + GridPage::MaxRows - 1) / GridPage::MaxRows;
    const auto goToPage = [&](int page) {
        keys.send(Qt::Key_Z); // now: page 1 of the present hour
        while (grid.channelPage < page)
            keys.send(Qt::Key_B);
    };

    struct Command
    {
        const char* name;
        Timing timing;
    };
    Command pageDown{"page down", {}}, pageUp{"page up", {}}, hourForward{"hour forward", {}},
        hourBack{"hour back", {}}, dayForward{"day forward", {}}, dayBack{"day back", {}},
        now{"now", {}}, prime{"prime time", {}};

    // Paging: runs of down then up through most of the channels, until each has `presses`.
    const int run = std::min(100, channelPages - 1);
    goToPage(1);
    for (int done = 0; done < presses;) {
        const int n = std::min(run, presses - done);
        for (int i = 0; i < n; ++i) {
            const int before = grid.channelPage;
            keys.timed(Qt::Key_B, pageDown.timing);
            check(pageDown.name, done + i, grid.channelPage == before + 1);
        }
        for (int i = 0; i < n; ++i) {
            const int before = grid.channelPage;
            keys.timed(Qt::Key_V, pageUp.timing);
            check(pageUp.name, done + i, grid.channelPage == before - 1);
        }
        done += n;
    }

    // Hours: fifteen back and fifteen forward from 8 PM, each run on another channel page
    // (an hour move pages down again to the page that was shown).
    for (int done = 0, cycle = 0; done < presses; ++cycle) {
        goToPage(1 + (cycle * 5) % channelPages);
        const int page = grid.channelPage;
        const int n = std::min(15, presses - done);
        for (int i = 0; i < n; ++i) {
            const int hour = grid.windowStart.time().hour();
            keys.timed(Qt::Key_N, hourBack.timing);
            check(hourBack.name, done + i,
                  grid.windowStart.time().hour() == hour - 1 && grid.channelPage == page);
        }
        for (int i = 0; i < n; ++i) {
            const int hour = grid.windowStart.time().hour();
            keys.timed(Qt::Key_M, hourForward.timing);
            check(hourForward.name, done + i,
                  grid.windowStart.time().hour() == hour + 1 && grid.channelPage == page);
        }
        done += n;
    }

    // Days: from today to the last day the guide shows and back, on changing channel pages.
    for (int done = 0, cycle = 0; done < presses; ++cycle) {
        goToPage(1 + (cycle * 7) % channelPages);
        const int n = std::min(Days - 1, presses - done);
        for (int i = 0; i < n; ++i) {
            const QDate date = grid.windowStart.date();
            keys.timed(Qt::Key_K, dayForward.timing);
            check(dayForward.name, done + i, grid.windowStart.date() == date.addDays(1));
        }
        for (int i = 0; i < n; ++i) {
            const QDate date = grid.windowStart.date();
            keys.timed(Qt::Key_J, dayBack.timing);
            check(dayBack.name, done + i, grid.windowStart.date() == date.addDays(-1));
        }
        done += n;
    }

    // Now: back to page 1 of the present hour, each time from somewhere else.
    for (int i = 0; i < presses; ++i) {
        keys.send(Qt::Key_N);
        for (int k = 0; k <= i % 10; ++k)
            keys.send(Qt::Key_B);
        keys.timed(Qt::Key_Z, now.timing);
        check(now.name, i,
              grid.channelPage == 1 && grid.windowStart.time().hour() == 20 &&
                  grid.windowStart.date() == today);
    }

    // Prime time: back to page 1 of 8 PM of the day shown, from another hour and page.
    for (int i = 0; i < presses; ++i) {
        for (int k = 0; k <= i % 4; ++k)
            keys.send(Qt::Key_N);
        for (int k = 0; k <= i % 10; ++k)
            keys.send(Qt::Key_B);
        keys.timed(Qt::Key_C, prime.timing);
        check(prime.name, i, grid.channelPage == 1 && grid.windowStart.time().hour() == 20);
    }

    if (keys.unpainted > 0)
        return fail(
            QStringLiteral("the grid was not painted after %1 presses").arg(keys.unpainted));
    if (failed)
        return fail(QStringLiteral("press %1 of %2 did not do its command")
                        .arg(failed->press + 1)
                        .arg(QLatin1String(failed->command)));
    for (const Command* c :
         {&pageDown, &pageUp, &hourForward, &hourBack, &dayForward, &dayBack, &now, &prime})
        std::printf("command=%s presses=%zu median_ms=%.3f p95_ms=%.3f max_ms=%.3f "
                    "handle_median_ms=%.3f handle_p95_ms=%.3f cpu_median_ms=%.3f cpu_p95_ms=%.3f\n",
                    QByteArray(c->name).replace(' ', '_').constData(), c->timing.total.size(),
                    quantile(c->timing.total, 0.5), quantile(c->timing.total, 0.95),
                    quantile(c->timing.total, 1.0), quantile(c->timing.handle, 0.5),
                    quantile(c->timing.handle, 0.95), quantile(c->timing.cpu, 0.5),
                    quantile(c->timing.cpu, 0.95));
    std::printf("peak_rss_kb=%lld\n", static_cast<long long>(peakRssKb()));
    return 0;
}

// The offscreen platform, on a screen the size of a television's, unless the caller chose one.
void chooseOffscreenPlatform(const QString& dir)
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    const QString config = QDir(dir).filePath(QStringLiteral("offscreen.json"));
    QFile file(config);
    if (file.open(QIODevice::WriteOnly))
        file.write(QStringLiteral("{\"screens\": [{\"name\": \"tv\", \"x\": 0, \"y\": 0, "
                                  "\"width\": %1, \"height\": %2, \"logicalDpi\": 96, "
                                  "\"logicalBaseDpi\": 96, \"dpr\": 1}]}\n")
                       .arg(ScreenWidth)
                       .arg(ScreenHeight)
                       .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM",
            (file.error() == QFile::NoError ? QStringLiteral("offscreen:configfile=") + config
                                            : QStringLiteral("offscreen"))
                .toLocal8Bit());
}

// One page of a new window, as the guide fills it after a window command: the channels
// counted, the page's channels and programmes read, the cells built. In this process, so the
// process's start and the store's opening are not part of it.
int runPage(const QString& dir, QDate today, int presses)
{
    const ProgramFolder folder(dir);
    ListingsStore store(folder.databaseFile(), ListingsStore::Access::ReadOnly);
    GridBuilder builder;
    std::vector<double> ms;
    for (int i = 0; i < presses; ++i) {
        // Another hour each time, page 50 (the last page when there are fewer).
        showWindow(builder.state(), wallClock(today, QTime(16 + i % 8, 0)));
        builder.state().channelPage = 50;
        QElapsedTimer timer;
        timer.start();
        builder.displayListings(store);
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (builder.page().rows.empty())
            return fail(QStringLiteral("page 50 of the window showed no channel"));
    }
    std::printf("page=%d median_ms=%.3f p95_ms=%.3f max_ms=%.3f\n", builder.state().channelPage,
                quantile(ms, 0.5), quantile(ms, 0.95), quantile(ms, 1.0));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    // Arguments are read before the application exists: the platform is chosen from them.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.size() < 4 || args[1] != QLatin1String("--today"))
        return usage();
    const QString mode = args[0];
    const QDate today = QDate::fromString(args[2], Qt::ISODate);
    const QString dir = args.last();
    int presses = 300;
    // Options between the date and the folder.
    for (qsizetype i = 3; i + 1 < args.size(); i += 2) {
        bool ok = false;
        const int value = args[i + 1].toInt(&ok);
        if (i + 2 >= args.size() || !ok || value < 1)
            return usage();
        if (args[i] == QLatin1String("--presses") && mode != QLatin1String("prepare"))
            presses = value;
        else if (args[i] == QLatin1String("--channels"))
            Channels = value;
        else
            return usage();
    }
    if (!today.isValid())
        return usage();

    if (mode == QLatin1String("prepare") || mode == QLatin1String("page")) {
        QCoreApplication app(argc, argv);
        try {
            return mode == QLatin1String("page") ? runPage(dir, today, presses)
                                                 : runPrepare(dir, today);
        } catch (const StoreError& e) {
            return fail(e.message());
        }
    }
    if (mode != QLatin1String("start") && mode != QLatin1String("keys"))
        return usage();
    if (!QDir(dir).exists())
        return fail(QStringLiteral("%1 is not a program folder; run prepare first").arg(dir));
    chooseOffscreenPlatform(dir);
    QApplication app(argc, argv);
    try {
        return mode == QLatin1String("start") ? runStart(dir, today) : runKeys(dir, today, presses);
    } catch (const StoreError& e) {
        return fail(e.message());
    }
}
