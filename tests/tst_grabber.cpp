#include "acquire/grabber.h"

#include "app/appstate.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <signal.h>

using namespace zarvo;
using namespace std::chrono_literals;

namespace {

const QTimeZone kZone("America/New_York");

QDateTime at(int y, int m, int d, int h, int min = 0)
{
    return wallClock(QDate(y, m, d), QTime(h, min));
}

QString quoted(const QString& text)
{
    QString out = text;
    return QLatin1Char('\'') + out.replace(QLatin1String("'"), QLatin1String("'\\''")) +
           QLatin1Char('\'');
}

// A fake xmltv dispatcher in <folder>/xmltv: the batch calls it exactly as it would the real one.
QString makeStub(const QString& folder, const QByteArray& body)
{
    QDir().mkpath(folder + QStringLiteral("/xmltv"));
    const QString path = folder + QStringLiteral("/xmltv/xmltv");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body + '\n') < 0)
        qFatal("cannot write the stub");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

// Logs where it runs and each argument on a line of its own.
const QByteArray kLoggingStub = "{ printf 'call %s\\n' \"$(pwd)\"; for a in \"$@\"; do "
                                "printf '%s\\n' \"$a\"; done; } >> \"$ZARVO_STUB_LOG\"";

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool processGone(qint64 pid)
{
    if (::kill(static_cast<pid_t>(pid), 0) != 0)
        return errno == ESRCH;
    // A zombie has ended; reaping it is its new parent's business.
    const QString stat = readText(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.section(QLatin1Char(')'), -1).trimmed().startsWith(QLatin1Char('Z'));
}

} // namespace

class Tst : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dayOffsetRounding_data();
    void dayOffsetRounding();
    void fetchBatchLines_data();
    void fetchBatchLines();
    void batchRunsIntendedCommands_data();
    void batchRunsIntendedCommands();
    void configBatchContent_data();
    void configBatchContent();
    void timeLimitEndsWholeGroup_data();
    void timeLimitEndsWholeGroup();
    void progressIsLastLine_data();
    void progressIsLastLine();
    void eventLoopKeepsRunning_data();
    void eventLoopKeepsRunning();
    void stdinIsEmpty();
    void exitStatus_data();
    void exitStatus();
    void writeFailures_data();
    void writeFailures();
    void secondBatchIsRefused();
    void deletingRunnerEndsBatch();
};

void Tst::dayOffsetRounding_data()
{
    QTest::addColumn<qint64>("msecs");
    QTest::addColumn<int>("expected");
    const qint64 day = 24LL * 3600 * 1000;
    QTest::newRow("same time tomorrow") << day << 1;
    QTest::newRow("midnight from 20:00") << 4 * 3600 * 1000LL << 0;
    QTest::newRow("half to even 0") << day / 2 << 0;
    QTest::newRow("one and a half to 2") << day * 3 / 2 << 2;
    QTest::newRow("two and a half to 2") << day * 5 / 2 << 2;
    QTest::newRow("minus half to 0") << -day / 2 << 0;
    QTest::newRow("minus one and a half to -2") << -day * 3 / 2 << -2;
    QTest::newRow("just over a half") << day / 2 + 1 << 1;
    QTest::newRow("yesterday") << -day << -1;
    QTest::newRow("0.6 days back") << -day * 6 / 10 << -1;
}

void Tst::dayOffsetRounding()
{
    QFETCH(qint64, msecs);
    QFETCH(int, expected);
    const QDateTime now = at(2024, 1, 10, 20);
    QCOMPARE(dayOffset(now.addMSecs(msecs), now), expected);
}

void Tst::fetchBatchLines_data()
{
    QTest::addColumn<int>("variant");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDateTime>("theDate");
    QTest::addColumn<int>("adjustDST");
    QTest::addColumn<QStringList>("expected");

    const QString cd = QStringLiteral("cd '/p/xmltv'");
    const QString x = QStringLiteral("'/p/xmltv/xmltv'");
    const auto grab = [&](const QString& day, int offset) {
        return QStringList{
            x + QStringLiteral(" tv_grab_na_dd --output unsorted%1.xml --days 1 --offset %2")
                    .arg(day)
                    .arg(offset),
            x + QStringLiteral(" tv_sort --by-channel --output %1.xml unsorted%1.xml").arg(day)};
    };
    const QString guideConfigure = x + QStringLiteral(" tv_grab_na_dd --configure");
    const QString startConfigure = guideConfigure + QStringLiteral(" --auto-config add");
    const int guide = int(FetchVariant::Guide);
    const int startUp = int(FetchVariant::StartUp);

    QTest::newRow("three days from tomorrow 20:00")
        << guide << at(2024, 1, 10, 20) << at(2024, 1, 11, 20) << 0
        << (QStringList{cd, guideConfigure} + grab(QStringLiteral("20240111"), 1) +
            grab(QStringLiteral("20240112"), 2) + grab(QStringLiteral("20240113"), 3) +
            QStringList{QStringLiteral("exit")});
    QTest::newRow("earlier than now")
        << guide << at(2024, 1, 10, 20) << at(2024, 1, 8, 12) << 0
        << (QStringList{cd, guideConfigure} + grab(QStringLiteral("20240108"), -2) +
            grab(QStringLiteral("20240109"), -1) + grab(QStringLiteral("20240110"), 0) +
            QStringList{QStringLiteral("exit")});
    QTest::newRow("daylight 00:30 takes the day before")
        << guide << at(2024, 7, 10, 20) << at(2024, 7, 11, 0, 30) << 1
        << (QStringList{cd, guideConfigure} + grab(QStringLiteral("20240710"), 0) +
            grab(QStringLiteral("20240711"), 1) + grab(QStringLiteral("20240712"), 2) +
            QStringList{QStringLiteral("exit")});
    QTest::newRow("daylight without adjustDST")
        << guide << at(2024, 7, 10, 20) << at(2024, 7, 11, 0, 30) << 0
        << (QStringList{cd, guideConfigure} + grab(QStringLiteral("20240711"), 0) +
            grab(QStringLiteral("20240712"), 1) + grab(QStringLiteral("20240713"), 2) +
            QStringList{QStringLiteral("exit")});
    QTest::newRow("winter 00:30 keeps its day")
        << guide << at(2024, 1, 10, 20) << at(2024, 1, 11, 0, 30) << 1
        << (QStringList{cd, guideConfigure} + grab(QStringLiteral("20240111"), 0) +
            grab(QStringLiteral("20240112"), 1) + grab(QStringLiteral("20240113"), 2) +
            QStringList{QStringLiteral("exit")});
    QTest::newRow("start-up: one day, auto-config, no daylight shift")
        << startUp << at(2024, 7, 10, 20) << at(2024, 7, 11, 0, 30) << 1
        << (QStringList{cd, startConfigure} + grab(QStringLiteral("20240711"), 0) +
            QStringList{QStringLiteral("exit")});
}

void Tst::fetchBatchLines()
{
    QFETCH(int, variant);
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, theDate);
    QFETCH(int, adjustDST);
    QFETCH(QStringList, expected);

    FakeClock clock(kZone, now);
    Settings settings = firstRunDefaults();
    settings.grabberName = QStringLiteral("tv_grab_na_dd");
    settings.adjustDST = qint16(adjustDST);
    settings.daysToDownload = 3;
    const QByteArray batch = fetchBatch(
        fetchRequest(FetchVariant(variant), QStringLiteral("/p"), settings, theDate, clock));
    // LF only: a CR would become part of the last word of every command.
    QCOMPARE(QString::fromUtf8(batch), expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void Tst::batchRunsIntendedCommands_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("grabber");
    const QString g = QStringLiteral("tv_grab_na_dd");
    QTest::newRow("blanks") << QStringLiteral("my tv guide") << g;
    QTest::newRow("single quotes") << QStringLiteral("it's 'here'") << g;
    QTest::newRow("double quotes") << QStringLiteral("say \"hi\"") << g;
    QTest::newRow("command substitution") << QStringLiteral("$(touch pwned)") << g;
    QTest::newRow("backticks") << QStringLiteral("`touch pwned`") << g;
    QTest::newRow("semicolons") << QStringLiteral("a;touch pwned;b") << g;
    QTest::newRow("line break") << QStringLiteral("two\nlines") << g;
    QTest::newRow("all at once")
        << QStringLiteral("a 'b' \"c\" $(touch pwned) `touch pwned`; touch pwned\n$HOME \\") << g;
    QTest::newRow("grabber with quote and ;")
        << QStringLiteral("plain") << QStringLiteral("tv'; touch pwned; echo '");
    QTest::newRow("grabber with blank") << QStringLiteral("plain") << QStringLiteral("tv grab");
    QTest::newRow("grabber substitution")
        << QStringLiteral("plain") << QStringLiteral("$(touch pwned)");
}

void Tst::batchRunsIntendedCommands()
{
    QFETCH(QString, folderName);
    QFETCH(QString, grabber);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString folder = root.filePath(folderName);
    makeStub(folder, kLoggingStub);
    const QString log = root.filePath(QStringLiteral("args.log"));
    qputenv("ZARVO_STUB_LOG", QFile::encodeName(log));

    FakeClock clock(kZone, at(2024, 1, 10, 20));
    Settings settings = firstRunDefaults();
    settings.grabberName = grabber;
    settings.adjustDST = 0;
    settings.daysToDownload = 2;
    GrabberRunner runner;
    runner.setTimeLimit(20s);
    const GrabberResult result =
        getPrograms(runner, FetchVariant::Guide, folder, settings, at(2024, 1, 11, 20), clock);
    QCOMPARE(result.outcome, GrabberResult::Outcome::Finished);
    QCOMPARE(result.exitCode, 0);

    const QString script = folder + QStringLiteral("/listings.sh");
    QVERIFY(QFileInfo(script).isExecutable());
    QCOMPARE(QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-n"), script}), 0);
    QCOMPARE(QProcess::execute(QStringLiteral("bash"), {QStringLiteral("-n"), script}), 0);

    const QString call = QStringLiteral("call ") + folder + QStringLiteral("/xmltv");
    QStringList expected{call, grabber, QStringLiteral("--configure")};
    for (const QString& day : {QStringLiteral("20240111.xml"), QStringLiteral("20240112.xml")}) {
        const QString offset =
            day.startsWith(QLatin1String("20240111")) ? QStringLiteral("1") : QStringLiteral("2");
        expected << call << grabber << QStringLiteral("--output")
                 << QStringLiteral("unsorted") + day << QStringLiteral("--days")
                 << QStringLiteral("1") << QStringLiteral("--offset") << offset;
        expected << call << QStringLiteral("tv_sort") << QStringLiteral("--by-channel")
                 << QStringLiteral("--output") << day << QStringLiteral("unsorted") + day;
    }
    QCOMPARE(readText(log), expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));

    QDirIterator it(root.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        QVERIFY2(it.next().section(QLatin1Char('/'), -1) != QLatin1String("pwned"),
                 "the batch ran a command hidden in a name");
}

void Tst::configBatchContent_data()
{
    QTest::addColumn<QString>("grabber");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("line2Tail");
    QTest::addColumn<QString>("line3");
    QTest::addColumn<QStringList>("stubArgs");
    QTest::newRow("digits") << QStringLiteral("tv_grab_na_dd") << QStringLiteral("12345")
                            << QStringLiteral(" tv_grab_na_dd --config")
                            << QStringLiteral("# 12345")
                            << QStringList{QStringLiteral("tv_grab_na_dd"),
                                           QStringLiteral("--config")};
    QTest::newRow("quote in grabber")
        << QStringLiteral("tv'x") << QStringLiteral("1234567890")
        << QStringLiteral(" 'tv'\\''x' --config") << QStringLiteral("# 1234567890")
        << QStringList{QStringLiteral("tv'x"), QStringLiteral("--config")};
    QTest::newRow("line break in code")
        << QStringLiteral("tv_grab_uk") << QStringLiteral("123\n45;echo")
        << QStringLiteral(" tv_grab_uk --config") << QStringLiteral("# 123 45;echo")
        << QStringList{QStringLiteral("tv_grab_uk"), QStringLiteral("--config")};
    QTest::newRow("empty code") << QStringLiteral("tv_grab_uk") << QString()
                                << QStringLiteral(" tv_grab_uk --config") << QStringLiteral("#")
                                << QStringList{QStringLiteral("tv_grab_uk"),
                                               QStringLiteral("--config")};
}

void Tst::configBatchContent()
{
    QFETCH(QString, grabber);
    QFETCH(QString, code);
    QFETCH(QString, line2Tail);
    QFETCH(QString, line3);
    QFETCH(QStringList, stubArgs);
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("my guide"));
    makeStub(folder, kLoggingStub);
    const QString log = root.filePath(QStringLiteral("args.log"));
    qputenv("ZARVO_STUB_LOG", QFile::encodeName(log));

    QString error;
    QVERIFY2(writeConfigBatch(folder, grabber, code, &error), qPrintable(error));
    const QString script = folder + QStringLiteral("/listings.sh");
    const QString xmltv = folder + QStringLiteral("/xmltv");
    QCOMPARE(readText(script),
             QStringLiteral("cd %1\n%2%3\n%4\nexit\n")
                 .arg(quoted(xmltv), quoted(xmltv + QStringLiteral("/xmltv")), line2Tail, line3));
    QVERIFY(QFileInfo(script).isExecutable());

    // Not run by the program, but it must do what it says when someone runs it; the exit status
    // of "exit" would show a code line that sh tried to run.
    QCOMPARE(QProcess::execute(QStringLiteral("/bin/sh"), {script}), 0);
    QCOMPARE(readText(log),
             (QStringList{QStringLiteral("call ") + xmltv} + stubArgs).join(QLatin1Char('\n')) +
                 QLatin1Char('\n'));
}

void Tst::timeLimitEndsWholeGroup_data()
{
    QTest::addColumn<bool>("batchIgnoresTerm");
    QTest::addColumn<bool>("grabberIgnoresTerm");
    QTest::newRow("everything obeys TERM") << false << false;
    QTest::newRow("grabber ignores TERM") << false << true;
    QTest::newRow("batch and grabber ignore TERM") << true << true;
}

void Tst::timeLimitEndsWholeGroup()
{
    QFETCH(bool, batchIgnoresTerm);
    QFETCH(bool, grabberIgnoresTerm);
    QTemporaryDir root;
    const QString folder = root.path();
    const QString pids = root.filePath(QStringLiteral("pids"));
    qputenv("ZARVO_STUB_PIDS", QFile::encodeName(pids));
    const QString stub = makeStub(folder, QByteArray(grabberIgnoresTerm ? "trap '' TERM\n" : "") +
                                              "sleep 60 &\necho $! > \"$ZARVO_STUB_PIDS\"\n"
                                              "sleep 60");
    const QByteArray batch =
        QByteArray(batchIgnoresTerm ? "trap '' TERM\n" : "") + quoted(stub).toUtf8() + "\nexit\n";

    AppState state;
    GrabberRunner runner(&state);
    runner.setTimeLimit(1s);
    runner.setGracePeriod(300ms);
    QElapsedTimer elapsed;
    elapsed.start();
    const GrabberResult result = runner.runAndWait(folder, batch);
    QCOMPARE(result.outcome, GrabberResult::Outcome::TimedOut);
    QVERIFY(result.message.isEmpty());
    QVERIFY2(elapsed.elapsed() < 15000, "the batch outlived its time limit");
    QVERIFY(!runner.isRunning());
    QVERIFY(!state.importInProgress);

    const qint64 grandchild = readText(pids).trimmed().toLongLong();
    QVERIFY(grandchild > 0);
    QTRY_VERIFY_WITH_TIMEOUT(processGone(grandchild), 5000);
}

void Tst::progressIsLastLine_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("expected");
    QTest::newRow("lines") << QByteArray("fetching 1\nfetching 2\n")
                           << QStringLiteral("fetching 2");
    QTest::newRow("progress bar redraws")
        << QByteArray("Grabbing\n 10% |##   \r 55% |#####\r 99% |#########\r")
        << QStringLiteral("99% |#########");
    QTest::newRow("blank lines at the end")
        << QByteArray("done\n\n  \r\n") << QStringLiteral("done");
    QTest::newRow("no final line end") << QByteArray("first\nlast") << QStringLiteral("last");
    QTest::newRow("CR LF") << QByteArray("one\r\ntwo\r\n") << QStringLiteral("two");
}

void Tst::progressIsLastLine()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, expected);
    QTemporaryDir root;
    const QString out = root.filePath(QStringLiteral("out"));
    QFile file(out);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(output);
    file.close();
    qputenv("ZARVO_STUB_OUT", QFile::encodeName(out));
    const QString stub = makeStub(root.path(), "cat \"$ZARVO_STUB_OUT\" >&2");

    GrabberRunner runner;
    runner.setTimeLimit(20s);
    QSignalSpy spy(&runner, &GrabberRunner::progress);
    const GrabberResult result = runner.runAndWait(root.path(), quoted(stub).toUtf8() + "\nexit\n");
    QCOMPARE(result.outcome, GrabberResult::Outcome::Finished);
    QVERIFY(!spy.isEmpty());
    QCOMPARE(spy.last().at(0).toString(), expected);
    QCOMPARE(runner.lastProgress(), expected);
}

void Tst::eventLoopKeepsRunning_data()
{
    QTest::addColumn<bool>("flagBefore");
    QTest::newRow("no import running") << false;
    QTest::newRow("called from an import") << true;
}

void Tst::eventLoopKeepsRunning()
{
    QFETCH(bool, flagBefore);
    QTemporaryDir root;
    const QString stub = makeStub(root.path(), "echo started >&2; sleep 1");
    AppState state;
    state.importInProgress = flagBefore;
    GrabberRunner runner(&state);
    runner.setTimeLimit(20s);

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
    const GrabberResult result = runner.runAndWait(root.path(), quoted(stub).toUtf8() + "\nexit\n");
    QCOMPARE(result.outcome, GrabberResult::Outcome::Finished);
    QVERIFY2(ticks >= 5, "timers did not run while the batch ran");
    QVERIFY2(!flagSeenFalse, "keys were not held off while the batch ran");
    QCOMPARE(progressSeen, QStringLiteral("started"));
    QCOMPARE(state.importInProgress, flagBefore);
}

void Tst::stdinIsEmpty()
{
    QTemporaryDir root;
    makeStub(root.path(), "read x; printf 'read %s\\n' \"$?\" >> \"$ZARVO_STUB_LOG\"");
    const QString log = root.filePath(QStringLiteral("read.log"));
    qputenv("ZARVO_STUB_LOG", QFile::encodeName(log));
    FakeClock clock(kZone, at(2024, 1, 10, 20));
    GrabberRunner runner;
    runner.setTimeLimit(20s);
    QElapsedTimer elapsed;
    elapsed.start();
    const GrabberResult result = getPrograms(runner, FetchVariant::StartUp, root.path(),
                                             firstRunDefaults(), at(2024, 1, 11, 20), clock);
    QCOMPARE(result.outcome, GrabberResult::Outcome::Finished);
    QVERIFY(elapsed.elapsed() < 10000);
    // End-of-file makes read fail at once: configure, grab and sort each saw it.
    QCOMPARE(readText(log), QStringLiteral("read 1\nread 1\nread 1\n"));
}

void Tst::exitStatus_data()
{
    QTest::addColumn<QByteArray>("batch");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("exit code") << QByteArray("exit 3\n") << int(GrabberResult::Outcome::Finished)
                               << 3;
    QTest::newRow("missing tools") << QByteArray("./xmltv/xmltv tv_grab_na_dd\nexit\n")
                                   << int(GrabberResult::Outcome::Finished) << 127;
    QTest::newRow("killed from outside")
        << QByteArray("kill -KILL $$\n") << int(GrabberResult::Outcome::Crashed) << -1;
}

void Tst::exitStatus()
{
    QFETCH(QByteArray, batch);
    QFETCH(int, outcome);
    QFETCH(int, exitCode);
    QTemporaryDir root;
    GrabberRunner runner;
    runner.setTimeLimit(20s);
    const GrabberResult result = runner.runAndWait(root.path(), batch);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(result.message.isEmpty());
}

void Tst::writeFailures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("grabber");
    QTest::newRow("missing folder") << QStringLiteral("missing") << QStringLiteral("tv_grab_na_dd");
    QTest::newRow("folder is a file") << QStringLiteral("file") << QStringLiteral("tv_grab_na_dd");
    QTest::newRow("listings.sh is a folder")
        << QStringLiteral("dir") << QStringLiteral("tv_grab_na_dd");
    QTest::newRow("NUL in grabber name") << QStringLiteral("ok") << QString::fromUtf8("tv\0x", 4);
}

void Tst::writeFailures()
{
    QFETCH(QString, setup);
    QFETCH(QString, grabber);
    QTemporaryDir root;
    QString folder = root.filePath(QStringLiteral("folder"));
    if (setup == QLatin1String("file")) {
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (setup == QLatin1String("dir")) {
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/listings.sh")));
    } else if (setup == QLatin1String("ok")) {
        QVERIFY(QDir().mkpath(folder));
    }
    FakeClock clock(kZone, at(2024, 1, 10, 20));
    Settings settings = firstRunDefaults();
    settings.grabberName = grabber;
    AppState state;
    GrabberRunner runner(&state);
    const GrabberResult result =
        getPrograms(runner, FetchVariant::Guide, folder, settings, at(2024, 1, 11, 20), clock);
    QCOMPARE(result.outcome, GrabberResult::Outcome::Failed);
    QCOMPARE(result.message, QStringLiteral("error"));
    QVERIFY(result.detail.contains(QStringLiteral("listings.sh")));
    QVERIFY(!runner.isRunning());
    QVERIFY(!state.importInProgress);

    QString error;
    QVERIFY(!writeConfigBatch(folder, grabber, QStringLiteral("12345"), &error));
    QVERIFY(error.contains(QStringLiteral("listings.sh")));
}

void Tst::secondBatchIsRefused()
{
    QTemporaryDir root;
    GrabberRunner runner;
    runner.setTimeLimit(20s);
    const QByteArray first("sleep 1\nexit\n");
    QVERIFY(runner.start(root.path(), first));
    GrabberResult refused;
    QVERIFY(!runner.start(root.path(), "exit 5\n", &refused));
    QCOMPARE(refused.outcome, GrabberResult::Outcome::Busy);
    QVERIFY(refused.message.isEmpty());
    QCOMPARE(readText(root.filePath(QStringLiteral("listings.sh"))).toUtf8(), first);
    QSignalSpy finished(&runner, &GrabberRunner::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).value<GrabberResult>().exitCode, 0);
}

void Tst::deletingRunnerEndsBatch()
{
    QTemporaryDir root;
    AppState state;
    auto* runner = new GrabberRunner(&state);
    QTimer::singleShot(200, runner, [runner] { delete runner; });
    QElapsedTimer elapsed;
    elapsed.start();
    const GrabberResult result = runner->runAndWait(root.path(), "sleep 60\nexit\n");
    QCOMPARE(result.outcome, GrabberResult::Outcome::Crashed);
    QVERIFY(elapsed.elapsed() < 10000);
    QVERIFY(!state.importInProgress);
}

QTEST_GUILESS_MAIN(Tst)
#include "tst_grabber.moc"
