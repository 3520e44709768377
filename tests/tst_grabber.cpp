// The grabber batch: what it asks for, that the shell runs it as written, how a run ends, the
// check before a grab, the log, and the cause a viewer is told.
#include "acquire/grabber.h"
#include "acquire/loadfailure.h"
#include "base/appstate.h"
#include "support/support.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <signal.h>
#include <unistd.h>

using namespace zarvo;
using namespace zarvo::test;
using namespace std::chrono_literals;
using Outcome = GrabberResult::Outcome;

namespace {

const QTimeZone kZone("America/New_York");
const QDate Jan10(2024, 1, 10);

QString quoted(QString text)
{
    return '\'' + text.replace("'", "'\\''") + '\'';
}

QString readText(const QString& path)
{
    return QFile::exists(path) ? QString::fromUtf8(readFile(path)) : QString();
}

// A fake xmltv dispatcher in <folder>/xmltv: the batch calls it exactly as it would the real one.
QString makeStub(const QString& folder, const QByteArray& body)
{
    const QString path = folder + "/xmltv/xmltv";
    if (!QDir().mkpath(folder + "/xmltv") || !putFile(path, "#!/bin/sh\n" + body + '\n', true))
        qFatal("cannot write the stub");
    return path;
}

// The stub that logs where it runs and each argument on a line of its own to `log`.
void makeLoggingStub(const QString& folder, const QString& log)
{
    qputenv("ZARVO_STUB_LOG", QFile::encodeName(log));
    makeStub(folder, "{ printf 'call %s\\n' \"$(pwd)\"; for a in \"$@\"; do "
                     "printf '%s\\n' \"$a\"; done; } >> \"$ZARVO_STUB_LOG\"");
}

// A grabber that behaves like the XMLTV ones: it prints its capabilities, and a manualconfig
// grabber refuses to grab without its configuration file. A real grab leaves "ran" beside it.
QString makeGrabber(const QString& path, const QByteArray& capabilities,
                    const QByteArray& grab = {})
{
    const QByteArray name = QFileInfo(path).fileName().toLocal8Bit();
    QByteArray body = "#!/bin/sh\ncase \"$1\" in --capabilities) printf '" + capabilities +
                      "\\n'; exit 0;; --description) echo 'Stub listings'; exit 0;; esac\n";
    if (capabilities.contains("manualconfig"))
        body +=
            "conf=\"$HOME/.xmltv/" + name +
            ".conf\"\n[ -f \"$conf\" ] || { echo \"can't open configuration file '$conf'\" >&2; "
            "exit 2; }\n";
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) ||
        !putFile(path, body + "touch \"$0.ran\"\n" + grab, true))
        qFatal("cannot write the stub grabber");
    return path;
}

Settings settings(const QString& grabber, int adjustDST, int days)
{
    Settings s = firstRunDefaults();
    s.grabberName = grabber;
    s.adjustDST = qint16(adjustDST);
    s.daysToDownload = qint16(days);
    return s;
}

// A guide fetch of one window, run to its end.
GrabberResult grab(const QString& folder, const QString& grabber, int days, QDateTime theDate,
                   AppState* state = nullptr)
{
    const FakeClock clock(kZone, at(Jan10, 20));
    GrabberRunner runner(state);
    runner.setTimeLimit(20s);
    return getPrograms(runner, FetchVariant::Guide, folder, settings(grabber, 0, days), theDate,
                       clock);
}

bool processGone(qint64 pid)
{
    if (::kill(static_cast<pid_t>(pid), 0) != 0)
        return errno == ESRCH;
    // A zombie has ended; reaping it is its new parent's business.
    return readText(QString("/proc/%1/stat").arg(pid)).section(')', -1).trimmed().startsWith('Z');
}

} // namespace

class Tst : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The offset and the file name both name the window's calendar day, whatever the time of
    // day of the window and of now, across both change-overs and with either adjustDST.
    void fetchRequestNamesTheWindowsDay_data()
    {
        QTest::addColumn<QDateTime>("now");
        for (const QDate day : {QDate(2026, 3, 7), QDate(2026, 3, 8), QDate(2026, 10, 31),
                                QDate(2026, 11, 1), QDate(2026, 12, 6)})
            for (const QTime time :
                 {QTime(0, 30), QTime(7, 0), QTime(12, 0), QTime(20, 5), QTime(23, 30)})
                QTest::addRow("%s %s", qPrintable(day.toString(Qt::ISODate)),
                              qPrintable(time.toString("hh:mm")))
                    << wallClock(day, time);
    }
    void fetchRequestNamesTheWindowsDay()
    {
        QFETCH(QDateTime, now);
        const FakeClock clock(kZone, now);
        for (const FetchVariant variant : {FetchVariant::Guide, FetchVariant::StartUp})
            for (const int days : {1, 3})
                for (const int adjustDST : {0, 1})
                    for (int ahead = -1; ahead <= 6; ++ahead)
                        for (int hour = 0; hour < 24; ++hour) {
                            const QDateTime theDate = at(now.date().addDays(ahead), hour, 30);
                            const FetchRequest request = fetchRequest(
                                variant, "/p", settings("g", adjustDST, days), theDate, clock);
                            const QString where = QString("variant %1, %2 days, adjustDST %3, %4")
                                                      .arg(int(variant))
                                                      .arg(days)
                                                      .arg(adjustDST)
                                                      .arg(theDate.toString(Qt::ISODate));
                            QVERIFY2(request.firstDay == theDate.date() &&
                                         request.firstOffset == ahead &&
                                         request.days ==
                                             (variant == FetchVariant::Guide ? days : 1),
                                     qPrintable(where));
                        }
    }

    void fetchBatchLines_data()
    {
        QTest::addColumn<FetchVariant>("variant");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("theDate");
        QTest::addColumn<int>("adjustDST");
        QTest::addColumn<QDate>("firstDay");
        QTest::addColumn<int>("firstOffset");
        const FetchVariant guide = FetchVariant::Guide;
        const QDateTime jan = at(Jan10, 20), jul = at(QDate(2024, 7, 10), 20);
        QTest::newRow("tomorrow 20:00")
            << guide << jan << at(QDate(2024, 1, 11), 20) << 0 << QDate(2024, 1, 11) << 1;
        QTest::newRow("earlier than now")
            << guide << jan << at(QDate(2024, 1, 8), 12) << 0 << QDate(2024, 1, 8) << -2;
        QTest::newRow("tomorrow 00:30, asked at 20:00")
            << guide << jul << at(QDate(2024, 7, 11), 0, 30) << 1 << QDate(2024, 7, 11) << 1;
        QTest::newRow("start-up, tomorrow 00:30")
            << FetchVariant::StartUp << jul << at(QDate(2024, 7, 11), 0, 30) << 1
            << QDate(2024, 7, 11) << 1;
    }
    void fetchBatchLines()
    {
        QFETCH(FetchVariant, variant);
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, theDate);
        QFETCH(int, adjustDST);
        QFETCH(QDate, firstDay);
        QFETCH(int, firstOffset);
        const FakeClock clock(kZone, now);
        // LF only: a CR would become part of the last word of every command. Nothing is
        // configured, and a failing command ends the batch with its status.
        QString expected = "cd '/p/xmltv'\n";
        for (int k = 0; k < (variant == FetchVariant::StartUp ? 1 : 3); ++k) {
            const QString day = firstDay.addDays(k).toString("yyyyMMdd");
            expected += QString("'/p/xmltv/xmltv' tv_grab_na_dd --output unsorted%1.xml --days 1 "
                                "--offset %2 || exit\n"
                                "'/p/xmltv/xmltv' tv_sort --by-channel --output %1.xml "
                                "unsorted%1.xml || exit\n")
                            .arg(day)
                            .arg(firstOffset + k);
        }
        QCOMPARE(QString::fromUtf8(fetchBatch(fetchRequest(
                     variant, "/p", settings("tv_grab_na_dd", adjustDST, 3), theDate, clock))),
                 expected + "exit\n");
    }

    // A stub dispatcher logs the arguments it gets: names that the shell would split, expand or
    // run must reach it as written, and nothing hidden in them may run.
    void batchRunsIntendedCommands_data()
    {
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<QString>("grabber");
        QTest::newRow("folder name")
            << "a 'b' \"c\" $(touch pwned) `touch pwned`; touch pwned\n$HOME \\"
            << "tv_grab_na_dd";
        QTest::newRow("grabber with quote and ;") << "plain"
                                                  << "tv'; touch pwned; echo '";
        QTest::newRow("grabber with blank") << "plain"
                                            << "tv grab";
    }
    void batchRunsIntendedCommands()
    {
        QFETCH(QString, folderName);
        QFETCH(QString, grabber);
        QTemporaryDir root;
        const QString folder = root.filePath(folderName);
        makeLoggingStub(folder, root.filePath("args.log"));
        makeGrabber(folder + "/xmltv/" + grabber, "baseline"); // installed, or nothing runs
        const GrabberResult result = grab(folder, grabber, 2, at(QDate(2024, 1, 11), 20));
        QCOMPARE(result.outcome, Outcome::Finished);
        QCOMPARE(result.exitCode, 0);
        const QString script = folder + "/listings.sh";
        QVERIFY(QFileInfo(script).isExecutable());
        QCOMPARE(QProcess::execute("/bin/sh", {"-n", script}), 0);
        QCOMPARE(QProcess::execute("bash", {"-n", script}), 0);
        const QString call = "call " + folder + "/xmltv";
        QStringList expected;
        for (const QString day : {"20240111", "20240112"})
            expected += QStringList{call,           grabber,
                                    "--output",     "unsorted" + day + ".xml",
                                    "--days",       "1",
                                    "--offset",     day.endsWith('1') ? "1" : "2",
                                    call,           "tv_sort",
                                    "--by-channel", "--output",
                                    day + ".xml",   "unsorted" + day + ".xml"};
        QCOMPARE(readText(root.filePath("args.log")), expected.join('\n') + '\n');
        QDirIterator it(root.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            QVERIFY2(it.next().section('/', -1) != "pwned", "a command hidden in a name ran");
    }

    void configBatchContent_data()
    {
        QTest::addColumn<QStringList>("args"); // grabber, code, line 2's end, line 3
        QTest::newRow("digits") << QStringList{"tv_grab_na_dd", "12345",
                                               " tv_grab_na_dd --configure", "# 12345"};
        QTest::newRow("quote in grabber")
            << QStringList{"tv'x", "1234567890", " 'tv'\\''x' --configure", "# 1234567890"};
        QTest::newRow("line break in code") << QStringList{
            "tv_grab_uk", "123\n45;echo", " tv_grab_uk --configure", "# 123 45;echo"};
    }
    void configBatchContent()
    {
        QFETCH(QStringList, args);
        const QString grabber = args[0];
        QTemporaryDir root;
        const QString folder = root.filePath("my guide"), xmltv = folder + "/xmltv";
        makeLoggingStub(folder, root.filePath("args.log"));
        const QString error = errorOf([&] { writeConfigBatch(folder, grabber, args[1]); });
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QString script = folder + "/listings.sh";
        QCOMPARE(readText(script),
                 QString("cd %1\n%2%3\n%4\nexit\n")
                     .arg(quoted(xmltv), quoted(xmltv + "/xmltv"), args[2], args[3]));
        QVERIFY(QFileInfo(script).isExecutable());
        // Not run by the program, but it must do what it says when someone runs it; the exit
        // status of "exit" would show a code line that sh tried to run.
        QCOMPARE(QProcess::execute("/bin/sh", {script}), 0);
        QCOMPARE(readText(root.filePath("args.log")),
                 (QStringList{"call " + xmltv, grabber, "--configure"}).join('\n') + '\n');
    }

    // The batch runs in the event loop, with the guide's keys held off; at its time limit its
    // whole process group ends, a grandchild that ignores TERM too.
    void timeLimitEndsWholeGroup_data()
    {
        QTest::addColumn<bool>("batchIgnoresTerm"); // and an import called the grabber
        QTest::newRow("grabber ignores TERM") << false;
        QTest::newRow("batch and grabber ignore TERM, from an import") << true;
    }
    void timeLimitEndsWholeGroup()
    {
        QFETCH(bool, batchIgnoresTerm);
        QTemporaryDir root;
        qputenv("ZARVO_STUB_PIDS", QFile::encodeName(root.filePath("pids")));
        const QString stub = makeStub(root.path(), "trap '' TERM\necho started >&2\nsleep 60 &\n"
                                                   "echo $! > \"$ZARVO_STUB_PIDS\"\nsleep 60");
        AppState state;
        state.importInProgress = batchIgnoresTerm;
        GrabberRunner runner(&state);
        runner.setTimeLimit(1s);
        runner.setGracePeriod(300ms);
        int ticks = 0;
        bool flagSeenFalse = false;
        QString progressSeen;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] {
            ++ticks;
            flagSeenFalse = flagSeenFalse || !state.importInProgress;
            progressSeen = runner.lastProgress();
        });
        timer.start(20);
        QElapsedTimer elapsed;
        elapsed.start();
        const GrabberResult result =
            runner.runAndWait(root.path(), (batchIgnoresTerm ? "trap '' TERM\n" : "") +
                                               quoted(stub).toUtf8() + "\nexit\n");
        QCOMPARE(result.outcome, Outcome::TimedOut);
        QVERIFY(result.message.isEmpty());
        QVERIFY2(elapsed.elapsed() < 15000, "the batch outlived its time limit");
        QVERIFY(!runner.isRunning());
        QVERIFY2(ticks >= 5, "timers did not run while the batch ran");
        QVERIFY2(!flagSeenFalse, "keys were not held off while the batch ran");
        QCOMPARE(progressSeen, "started");
        QCOMPARE(state.importInProgress, batchIgnoresTerm);
        const qint64 grandchild = readText(root.filePath("pids")).trimmed().toLongLong();
        QVERIFY(grandchild > 0);
        QTRY_VERIFY_WITH_TIMEOUT(processGone(grandchild), 5000);
    }

    // How a batch ends, and the progress line: the last non-empty line of its output.
    void runAndWait_data()
    {
        QTest::addColumn<QByteArray>("batch");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("progress");
        QTest::newRow("killed from outside")
            << QByteArray("kill -KILL $$\n") << Outcome::Crashed << -1 << "";
        // A grabber asking a question must read end-of-file, not wait for an answer.
        QTest::newRow("stdin is empty") << QByteArray("read x; echo \"read $?\" >&2\nexit\n")
                                        << Outcome::Finished << 0 << "read 1";
        QTest::newRow("progress bar redraws")
            << QByteArray("printf 'Grabbing\\n 10%% |##  \\r 99%% |####\\r\\n\\n' >&2\n")
            << Outcome::Finished << 0 << "99% |####";
    }
    void runAndWait()
    {
        QFETCH(QByteArray, batch);
        QFETCH(QString, progress);
        QTemporaryDir root;
        // The test's own standard input is a pipe nobody writes to: a batch that inherited it
        // would wait there until its time limit.
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        const int savedStdin = ::dup(0);
        ::dup2(fds[0], 0);
        const auto restore = qScopeGuard([&] {
            ::dup2(savedStdin, 0);
            for (int fd : {savedStdin, fds[0], fds[1]})
                ::close(fd);
        });
        GrabberRunner runner;
        runner.setTimeLimit(10s);
        QSignalSpy spy(&runner, &GrabberRunner::progress);
        const GrabberResult result = runner.runAndWait(root.path(), batch);
        QTEST(result.outcome, "outcome");
        QTEST(result.exitCode, "exitCode");
        QVERIFY(result.message.isEmpty());
        QCOMPARE(runner.lastProgress(), progress);
        QCOMPARE(spy.isEmpty() ? QString() : spy.last().at(0).toString(), progress);
    }

    // Before a grab: installed (program folder first, then PATH) and, for a manualconfig
    // grabber, configured. Otherwise nothing runs and the viewer is told the one command.
    void grabberCheck_data()
    {
        QTest::addColumn<QString>("where"); // "none", "xmltv", "path"
        QTest::addColumn<QByteArray>("capabilities");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "none" << QByteArray() << false << Outcome::NotInstalled
                                 << "tv_grab_zz is not installed.";
        QTest::newRow("manualconfig, no config file")
            << "path" << QByteArray("baseline\\nmanualconfig") << false << Outcome::NotConfigured
            << "tv_grab_zz is not configured: run tv_grab_zz --configure in a terminal";
        QTest::newRow("manualconfig, configured")
            << "path" << QByteArray("baseline\\nmanualconfig\\ncache") << true << Outcome::Finished
            << "";
        QTest::newRow("needs no configuration")
            << "xmltv" << QByteArray("baseline") << false << Outcome::Finished << "";
    }
    void grabberCheck()
    {
        QFETCH(QString, where);
        QFETCH(QByteArray, capabilities);
        QFETCH(bool, configured);
        QFETCH(QString, message);
        QTemporaryDir root;
        const QString folder = root.filePath("guide"), home = root.filePath("home");
        const QString conf = home + "/.xmltv/tv_grab_zz.conf";
        const EnvScope path("PATH", QFile::encodeName(root.filePath("bin")) + ":/usr/bin:/bin");
        const EnvScope homeScope("HOME", QFile::encodeName(home));
        // The real dispatcher, so the batch reaches the grabber as it would in the field.
        QVERIFY(layOutProgramFolder(folder, "tv_grab_zz"));
        const QString grabber =
            where == "none"
                ? QString()
                : makeGrabber((where == "xmltv" ? folder + "/xmltv" : root.filePath("bin")) +
                                  "/tv_grab_zz",
                              capabilities);
        if (configured)
            QVERIFY(QDir().mkpath(home + "/.xmltv") && putFile(conf, {}));

        const GrabberCheck check = checkGrabber(folder, "tv_grab_zz");
        QCOMPARE(check.program, grabber);
        QCOMPARE(check.configFile, where == "none" ? QString() : conf);

        const GrabberResult result = grab(folder, "tv_grab_zz", 1, at(Jan10, 20));
        QTEST(result.outcome, "outcome");
        QCOMPARE(result.message, message);
        // Refused: nothing ran and nothing was configured; the log says why.
        const bool refused = !message.isEmpty();
        QCOMPARE(QFile::exists(grabber + ".ran"), !refused && !grabber.isEmpty());
        QCOMPARE(QFile::exists(conf), configured);
        const QString log = readText(folder + "/grabber.log");
        QVERIFY2(log.contains("tv_grab_zz --output unsorted20240110.xml") &&
                     log.contains(refused ? "---- not run: " + message : QString("---- output\n")),
                 qPrintable(log));
    }

    // The exit status is the grabber's, with its last lines, also in the log.
    void failingGrabberReported()
    {
        QTemporaryDir root;
        const QString folder = root.filePath("guide");
        const EnvScope home("HOME", QFile::encodeName(root.filePath("home")));
        QVERIFY(layOutProgramFolder(folder, "tv_grab_zz"));
        makeGrabber(folder + "/xmltv/tv_grab_zz", "baseline",
                    "echo 'Fetching channel 1' >&2\necho 'at XMLTV.pm line 605.' >&2\nexit 3\n");
        const GrabberResult result = grab(folder, "tv_grab_zz", 2, at(Jan10, 20));
        QCOMPARE(result.outcome, Outcome::Finished);
        QCOMPARE(result.exitCode, 3);
        QCOMPARE(result.lastLines, (QStringList{"Fetching channel 1", "at XMLTV.pm line 605."}));
        const QString log = readText(folder + "/grabber.log");
        QVERIFY2(log.contains("at XMLTV.pm line 605.\n---- exit status 3 after "), qPrintable(log));
        QCOMPARE(log.count("Fetching channel 1"), 1); // the batch ended at the failed grab
    }

    void logTrimmed_data()
    {
        QTest::addColumn<int>("before");
        QTest::newRow("small") << 1000;
        QTest::newRow("past the limit") << 1500 * 1024;
    }
    void logTrimmed()
    {
        QFETCH(int, before);
        QTemporaryDir root;
        const QString path = root.filePath("grabber.log");
        QByteArray old;
        for (int i = 0; old.size() < before; ++i)
            old += "old line " + QByteArray::number(i) + '\n';
        QVERIFY(putFile(path, old));
        QVERIFY(appendGrabberLog(path, "==== new run\n"));
        const QByteArray log = readFile(path);
        QVERIFY(log.endsWith("==== new run\n"));
        QVERIFY(log.size() <= kGrabberLogLimit);
        QVERIFY(log.size() > kGrabberLogLimit - 100 || log.size() == old.size() + 13);
        QVERIFY(log.startsWith("old line "));
    }

    // The cause under "Program timed out." when the first day cannot be loaded.
    void failureCauses_data()
    {
        QTest::addColumn<int>("grab"); // an Outcome, or -1 for no grab
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("import"); // an ImportResult::Status
        QTest::addColumn<QString>("cause");
        using S = ImportResult::Status;
        const int missing = int(S::FetchRequested);
        QTest::newRow("not installed") << int(Outcome::NotInstalled) << -1 << missing
                                       << "tv_grab_xx is not installed.\nIt is neither in /p/xmltv "
                                          "nor on the PATH.";
        QTest::newRow("not configured")
            << int(Outcome::NotConfigured) << -1 << missing
            << "tv_grab_xx is not configured: run tv_grab_xx --configure in a terminal\nAs the "
               "user who runs the guide; it then keeps its answers in /h/.xmltv/tv_grab_xx.conf.";
        QTest::newRow("exit status") << int(Outcome::Finished) << 2 << missing
                                     << "tv_grab_xx exited with status 2.\ncan't open "
                                        "configuration file\nat XMLTV.pm line 605.";
        QTest::newRow("no file") << int(Outcome::Finished) << 0 << missing
                                 << "tv_grab_xx wrote no file 20261206.xml.";
        QTest::newRow("time limit")
            << int(Outcome::TimedOut) << -1 << missing
            << "tv_grab_xx was still running after 30 minutes and was stopped.";
        QTest::newRow("no programme of the day")
            << int(Outcome::Finished) << 0 << int(S::NoProgrammes)
            << "tv_grab_xx wrote no programme of Sun 12/06 into 20261206.xml.";
        QTest::newRow("unreadable file")
            << -1 << -1 << int(S::NotWellFormed) << "20261206.xml cannot be read: %1 (line 2)";
        QTest::newRow("database message only") << -1 << -1 << int(S::Failed) << "";
    }
    void failureCauses()
    {
        QFETCH(int, grab);
        QFETCH(int, exitCode);
        QFETCH(int, import);
        QFETCH(QString, cause);
        std::optional<GrabberResult> ran;
        if (grab >= 0) {
            ran = GrabberResult{};
            ran->outcome = Outcome(grab);
            ran->exitCode = exitCode;
            ran->lastLines = QStringList{"can't open configuration file", "at XMLTV.pm line 605."};
            if (ran->outcome == Outcome::NotInstalled) {
                ran->message = "tv_grab_xx is not installed.";
                ran->detail = "It is neither in /p/xmltv nor on the PATH.";
            } else if (ran->outcome == Outcome::NotConfigured) {
                ran->message =
                    "tv_grab_xx is not configured: run tv_grab_xx --configure in a terminal";
                ran->detail = "As the user who runs the guide; it then keeps its answers in "
                              "/h/.xmltv/tv_grab_xx.conf.";
            }
        }
        ImportResult result;
        result.status = ImportResult::Status(import);
        result.file = "/p/xmltv/20261206.xml";
        if (result.status == ImportResult::Status::NotWellFormed) {
            // The parser's own report of a broken file.
            const XmltvDocument doc = loadXmltv("<tv>\n<programme></tv>\n");
            QVERIFY(!doc.ok());
            result.report = doc.error.report();
            cause = cause.arg(doc.error.reason);
        }
        QCOMPARE(loadFailureCause("tv_grab_xx", QDate(2026, 12, 6), ran, result), cause);
    }
};

QTEST_GUILESS_MAIN(Tst)
#include "tst_grabber.moc"
