#include "acquire/grabber.h"

#include "base/appstate.h"
#include "base/atomicfile.h"
#include "store/timerules.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

namespace zarvo {

namespace {

// A progress bar without any line end would otherwise grow the buffer without bound.
constexpr qsizetype kMaxPendingOutput = 64 * 1024;
// What of a batch's output goes into the log and its last lines: the tail of this size.
constexpr qsizetype kMaxKeptOutput = 256 * 1024;
constexpr int kLastLines = 3;

// Single quotes keep every byte literal in sh, line breaks included; only the quote itself
// needs the close-escape-reopen dance.
QByteArray shellQuoted(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '\'';
    for (const char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    out += '\'';
    return out;
}

// The grabber name is usually a plain word; keeping it bare then makes the batch read the way
// people expect when they open it to see what went wrong.
QByteArray shellWord(const QByteArray& text)
{
    static const QByteArray plain = QByteArrayLiteral("abcdefghijklmnopqrstuvwxyz"
                                                      "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                      "0123456789_./+=:,@%-");
    if (text.isEmpty())
        return shellQuoted(text);
    for (const char c : text) {
        if (!plain.contains(c))
            return shellQuoted(text);
    }
    return text;
}

struct Commands
{
    QByteArray cd;         // cd '<F>/xmltv'
    QByteArray dispatcher; // '<F>/xmltv/xmltv'
};

Commands commandsFor(const QString& folder)
{
    const QDir xmltv(QDir(folder).absoluteFilePath(QStringLiteral("xmltv")));
    const QString path = xmltv.absolutePath();
    return {QByteArrayLiteral("cd ") + shellQuoted(QFile::encodeName(path)),
            shellQuoted(QFile::encodeName(xmltv.absoluteFilePath(QStringLiteral("xmltv"))))};
}

// The last non-blank line of `bytes`, where CR and LF both end a line.
QString lastLine(const QByteArray& bytes)
{
    qsizetype end = bytes.size();
    while (end > 0) {
        qsizetype start = end - 1;
        while (start >= 0 && bytes.at(start) != '\n' && bytes.at(start) != '\r')
            --start;
        const QByteArray line = bytes.mid(start + 1, end - start - 1).trimmed();
        if (!line.isEmpty())
            return QString::fromLocal8Bit(line);
        end = start;
    }
    return {};
}

// The last `count` non-blank lines of `bytes`, in order.
QStringList lastLines(const QByteArray& bytes, int count)
{
    QStringList lines;
    qsizetype end = bytes.size();
    while (end > 0 && lines.size() < count) {
        qsizetype start = end - 1;
        while (start >= 0 && bytes.at(start) != '\n' && bytes.at(start) != '\r')
            --start;
        const QString line =
            readableLine(QString::fromLocal8Bit(bytes.mid(start + 1, end - start - 1)));
        if (!line.isEmpty())
            lines.prepend(line);
        end = start;
    }
    return lines;
}

QByteArray logStamp()
{
    return QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8();
}

void logRecord(const QString& folder, const QByteArray& record)
{
    if (folder.isEmpty())
        return;
    appendGrabberLog(QDir(folder).absoluteFilePath(kGrabberLogName), record);
}

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

GrabberResult failure(GrabberResult::Outcome outcome, const QString& detail)
{
    GrabberResult result;
    result.outcome = outcome;
    if (outcome == GrabberResult::Outcome::Failed)
        result.message = kGrabberErrorText;
    result.detail = detail;
    return result;
}

} // namespace

QString readableLine(QString line)
{
    static const QRegularExpression escapes(QStringLiteral("\x1b\\[[0-9;?]*[A-Za-z]"));
    line.remove(escapes);
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return line.simplified();
}

int dayOffset(const QDateTime& theDate, const QDateTime& now)
{
    // Grabbers count --offset in calendar days from today, whatever the time of day: offset 1
    // is tomorrow from 00:00 to 24:00. Counting from the present moment instead would fetch the
    // day after tomorrow for tomorrow's evening when asked in the morning.
    return static_cast<int>(now.date().daysTo(theDate.date()));
}

QString findGrabber(const QString& folder, const QString& name, const QString& searchPath)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QChar(0)) ||
        name == QLatin1String(".") || name == QLatin1String(".."))
        return {};
    const QString own = QDir(QDir(folder).absoluteFilePath(QStringLiteral("xmltv"))).filePath(name);
    if (isExecutableFile(own))
        return own;
    // As the dispatcher searches: an empty entry is the current folder.
    for (QString entry : searchPath.split(QLatin1Char(':'))) {
        if (entry.isEmpty())
            entry = QStringLiteral(".");
        const QString candidate = QDir(entry).filePath(name);
        if (isExecutableFile(candidate))
            return QFileInfo(candidate).absoluteFilePath();
    }
    return {};
}

QStringList grabberCapabilities(const QString& program, int timeoutMs)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, {QStringLiteral("--capabilities")});
    if (!process.waitForStarted(timeoutMs) || !process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    QStringList lines;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const QByteArray word = line.trimmed();
        if (!word.isEmpty())
            lines << QString::fromLocal8Bit(word);
    }
    return lines;
}

QString grabberConfigFile(const QString& name, const QString& home)
{
    // What the XMLTV grabbers use without --config-file; without HOME they look in ".".
    const QString base = home.isEmpty() ? QStringLiteral(".") : home;
    return QDir(base).filePath(QStringLiteral(".xmltv/") + name + QStringLiteral(".conf"));
}

GrabberCheck checkGrabber(const QString& folder, const QString& name)
{
    GrabberCheck check;
    const QString searchPath = QString::fromLocal8Bit(qgetenv("PATH"));
    check.program = findGrabber(folder, name, searchPath);
    if (check.program.isEmpty()) {
        check.status = GrabberCheck::Status::NotInstalled;
        check.message = name.isEmpty() ? QStringLiteral("No grabber is named in the settings.")
                                       : QStringLiteral("%1 is not installed.").arg(name);
        check.detail = QStringLiteral("It is neither in %1 nor on the PATH.")
                           .arg(QDir(folder).absoluteFilePath(QStringLiteral("xmltv")));
        return check;
    }
    // Without HOME a grabber looks in its working folder, which the batch makes xmltv/.
    QString home = QString::fromLocal8Bit(qgetenv("HOME"));
    if (home.isEmpty())
        home = QDir(folder).absoluteFilePath(QStringLiteral("xmltv"));
    check.configFile = grabberConfigFile(name, home);
    check.manualConfig =
        grabberCapabilities(check.program).contains(QStringLiteral("manualconfig"));
    if (check.manualConfig && !QFileInfo(check.configFile).isFile()) {
        check.status = GrabberCheck::Status::NotConfigured;
        check.message =
            QStringLiteral("%1 is not configured: run %1 --configure in a terminal").arg(name);
        check.detail =
            QStringLiteral("As the user who runs the guide; it then keeps its answers in "
                           "%1.")
                .arg(check.configFile);
        return check;
    }
    check.status = GrabberCheck::Status::Ready;
    return check;
}

QList<InstalledGrabber> installedGrabbers(const QString& folder, const QString& searchPath)
{
    QStringList folders{QDir(folder).absoluteFilePath(QStringLiteral("xmltv"))};
    for (const QString& entry : searchPath.split(QLatin1Char(':')))
        folders << (entry.isEmpty() ? QStringLiteral(".") : entry);
    QList<InstalledGrabber> found;
    QSet<QString> names;
    for (const QString& dir : folders) {
        const QFileInfoList files =
            QDir(dir).entryInfoList({QStringLiteral("tv_grab_*")}, QDir::Files, QDir::Name);
        for (const QFileInfo& file : files) {
            if (!file.isExecutable() || names.contains(file.fileName()))
                continue;
            names.insert(file.fileName());
            found.append({file.fileName(), file.absoluteFilePath()});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const InstalledGrabber& a, const InstalledGrabber& b) { return a.name < b.name; });
    return found;
}

QHash<QString, QString> askGrabbers(const QStringList& programs, const QString& argument,
                                    int timeoutMs)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QString& program : programs) {
        auto process = std::make_unique<QProcess>();
        process->setStandardInputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        process->start(program, {argument});
        processes.push_back(std::move(process));
    }
    // All run at once; the waits overlap.
    QElapsedTimer elapsed;
    elapsed.start();
    QHash<QString, QString> answers;
    for (std::size_t i = 0; i < processes.size(); ++i) {
        QProcess& process = *processes[i];
        const int left = int(qMax<qint64>(0, timeoutMs - elapsed.elapsed()));
        QString answer;
        if (process.waitForFinished(left) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            answer = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(1000);
        }
        answers.insert(programs.at(qsizetype(i)), answer);
    }
    return answers;
}

bool appendGrabberLog(const QString& path, const QByteArray& record, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::Append))
        return false;
    const bool written = file.write(record) == record.size();
    const qint64 size = file.size();
    file.close();
    if (!written)
        return false;
    if (size <= limit)
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    file.seek(size - limit);
    QByteArray tail = file.readAll();
    file.close();
    // Starts at a whole line, so the log never begins in the middle of one.
    const qsizetype lineStart = tail.indexOf('\n');
    tail.remove(0, lineStart < 0 ? tail.size() : lineStart + 1);
    try {
        replaceFileAtomically(path, tail);
    } catch (const FileError&) {
        return false;
    }
    return true;
}

FetchRequest fetchRequest(FetchVariant variant, const QString& folder, const Settings& settings,
                          const QDateTime& theDate, const Clock& clock)
{
    FetchRequest request;
    request.folder = folder;
    request.grabberName = settings.grabberName;
    const bool guide = variant == FetchVariant::Guide;
    // The file name and the offset both name theDate's own calendar day. No daylight shift: a
    // window at 00:30 is that day's, and moving it an hour would name the day before.
    request.firstDay = theDate.date();
    request.firstOffset = dayOffset(theDate, clock.now());
    request.days = guide ? settings.daysToDownload : 1;
    return request;
}

QByteArray fetchBatch(const FetchRequest& request)
{
    const Commands cmd = commandsFor(request.folder);
    const QByteArray grabber = shellWord(request.grabberName.toLocal8Bit());

    QByteArray batch;
    batch += cmd.cd + '\n';
    for (int k = 0; k < request.days; ++k) {
        const QByteArray file = dayFileName(request.firstDay.addDays(k)).toLatin1();
        const QByteArray offset = QByteArray::number(request.firstOffset + k);
        batch += cmd.dispatcher + ' ' + grabber + " --output unsorted" + file +
                 " --days 1 --offset " + offset + " || exit\n";
        batch += cmd.dispatcher + " tv_sort --by-channel --output " + file + " unsorted" + file +
                 " || exit\n";
    }
    batch += "exit\n";
    return batch;
}

QByteArray configBatch(const QString& folder, const QString& grabberName, const QString& codeText)
{
    const Commands cmd = commandsFor(folder);
    // The code text is for the person reading the batch; as a command sh would try to run the
    // digits as a program.
    QString comment = codeText;
    comment.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));

    QByteArray batch;
    batch += cmd.cd + '\n';
    batch += cmd.dispatcher + ' ' + shellWord(grabberName.toLocal8Bit()) + " --configure\n";
    batch += comment.isEmpty() ? QByteArray("#\n") : "# " + comment.toLocal8Bit() + '\n';
    batch += "exit\n";
    return batch;
}

void writeBatchFile(const QString& folder, const QByteArray& batch)
{
    const QString path = QDir(folder).absoluteFilePath(QStringLiteral("listings.sh"));
    if (batch.contains('\0'))
        throw FileError(path, QStringLiteral("the grabber name holds a NUL character."));

    // Written aside and renamed into place: a half-written batch is never run, and a batch that
    // sh is still reading keeps its old file.
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                      QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                      QFileDevice::ExeOther;
    replaceFileAtomically(path, batch, mode);
}

void writeConfigBatch(const QString& folder, const QString& grabberName, const QString& codeText)
{
    writeBatchFile(folder, configBatch(folder, grabberName, codeText));
}

GrabberRunner::GrabberRunner(AppState* state, QObject* parent)
    : QObject(parent), m_state(state), m_process(new QProcess(this)),
      m_limitTimer(new QTimer(this)), m_graceTimer(new QTimer(this))
{
    qRegisterMetaType<GrabberResult>();
    m_limitTimer->setSingleShot(true);
    m_graceTimer->setSingleShot(true);
    connect(m_limitTimer, &QTimer::timeout, this, &GrabberRunner::onTimeLimit);
    connect(m_graceTimer, &QTimer::timeout, this, [this] {
        signalGroup(SIGKILL);
        // sh itself as well, should it somehow not lead a group of its own.
        m_process->kill();
    });

    // A configure step that asks a question must read end-of-file, not wait for a keyboard that
    // nobody watches.
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    // A group of its own, so that the time limit reaches the grabber and whatever it started,
    // not just sh. setpgid is async-signal-safe, as the code between fork and exec must be.
    m_process->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(m_process, &QProcess::readyReadStandardOutput, this, [this] { readOutput(false); });
    connect(m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                onProcessFinished(exitCode, static_cast<int>(status));
            });
}

GrabberRunner::~GrabberRunner()
{
    // Reported here, not through the process's own signal, which would reach a half-destroyed
    // runner; a runAndWait still waiting on this runner needs it to return at all.
    m_process->disconnect(this);
    if (!isRunning())
        return;
    signalGroup(SIGKILL);
    m_process->waitForFinished(5000);
    releaseFlag();
    GrabberResult result;
    result.outcome = GrabberResult::Outcome::Crashed;
    Q_EMIT finished(result);
}

bool GrabberRunner::isRunning() const
{
    return m_process->state() != QProcess::NotRunning;
}

bool GrabberRunner::start(const QString& folder, const QByteArray& batch, GrabberResult* failed)
{
    const auto fail = [failed](GrabberResult::Outcome outcome, const QString& detail) {
        if (failed)
            *failed = failure(outcome, detail);
        return false;
    };
    // Checked before writing: the batch that is running must not be replaced under it.
    if (isRunning())
        return fail(GrabberResult::Outcome::Busy,
                    QStringLiteral("A grabber batch is already running."));

    try {
        writeBatchFile(folder, batch);
    } catch (const Error& error) {
        return fail(GrabberResult::Outcome::Failed, error.message());
    }

    const QDir dir(QDir(folder).absolutePath());
    m_pending.clear();
    m_output.clear();
    m_lastProgress.clear();
    m_folder = dir.absolutePath();
    m_batch = batch;
    m_startedAt = QDateTime::currentDateTime();
    m_timedOut = false;
    m_group = 0;
    m_process->setWorkingDirectory(dir.absolutePath());
    m_process->start(QStringLiteral("/bin/sh"),
                     {dir.absoluteFilePath(QStringLiteral("listings.sh"))});
    if (!m_process->waitForStarted()) {
        const QString reason =
            QStringLiteral("Cannot start /bin/sh: %1").arg(m_process->errorString());
        logRecord(m_folder, "==== " + logStamp() + '\n' + batch +
                                "---- not run: " + reason.toLocal8Bit() + "\n\n");
        return fail(GrabberResult::Outcome::Failed, reason);
    }

    // The child made itself a group leader before exec, so its pid names the group.
    m_group = m_process->processId();
    if (m_state) {
        m_flagBefore = m_state->importInProgress;
        m_state->importInProgress = true;
        m_holdsFlag = true;
    }
    m_limitTimer->start(m_timeLimit);
    Q_EMIT started();
    return true;
}

GrabberResult GrabberRunner::runAndWait(const QString& folder, const QByteArray& batch)
{
    GrabberResult result;
    bool done = false;
    QEventLoop loop;
    const auto connection =
        connect(this, &GrabberRunner::finished, &loop, [&](const GrabberResult& ended) {
            result = ended;
            done = true;
            loop.quit();
        });
    if (start(folder, batch, &result) && !done)
        loop.exec();
    disconnect(connection);
    return result;
}

void GrabberRunner::readOutput(bool atEnd)
{
    const QByteArray bytes = m_process->readAll();
    m_output += bytes;
    if (m_output.size() > kMaxKeptOutput)
        m_output.remove(0, m_output.size() - kMaxKeptOutput);
    m_pending += bytes;
    QByteArray complete;
    if (atEnd) {
        // The batch is over: whatever it printed last is as complete as it will get.
        complete.swap(m_pending);
    } else {
        const qsizetype end = qMax(m_pending.lastIndexOf('\n'), m_pending.lastIndexOf('\r'));
        if (end >= 0) {
            complete = m_pending.left(end);
            m_pending.remove(0, end + 1);
        } else if (m_pending.size() > kMaxPendingOutput) {
            m_pending.clear();
        }
    }
    const QString line = lastLine(complete);
    if (line.isEmpty())
        return;
    m_lastProgress = line;
    Q_EMIT progress(line);
}

void GrabberRunner::onTimeLimit()
{
    m_timedOut = true;
    signalGroup(SIGTERM);
    m_graceTimer->start(m_gracePeriod);
}

void GrabberRunner::onProcessFinished(int exitCode, int exitStatus)
{
    m_limitTimer->stop();
    m_graceTimer->stop();
    // sh may go on SIGTERM while a grabber that catches it keeps running: an overdue batch
    // leaves nothing behind. While any member lives the group id cannot be reused.
    if (m_timedOut)
        signalGroup(SIGKILL);
    m_group = 0;
    readOutput(true);

    GrabberResult result;
    if (m_timedOut) {
        result.outcome = GrabberResult::Outcome::TimedOut;
    } else if (exitStatus == QProcess::CrashExit) {
        result.outcome = GrabberResult::Outcome::Crashed;
    } else {
        result.outcome = GrabberResult::Outcome::Finished;
        result.exitCode = exitCode;
    }
    result.lastLines = lastLines(m_output, kLastLines);

    QByteArray ending;
    if (result.outcome == GrabberResult::Outcome::TimedOut)
        ending = "stopped at the time limit";
    else if (result.outcome == GrabberResult::Outcome::Crashed)
        ending = "ended by a signal";
    else
        ending = "exit status " + QByteArray::number(exitCode);
    QByteArray output = m_output;
    if (!output.isEmpty() && !output.endsWith('\n'))
        output += '\n';
    logRecord(m_folder, "==== " + m_startedAt.toString(Qt::ISODate).toUtf8() + '\n' + m_batch +
                            "---- output\n" + output + "---- " + ending + " after " +
                            QByteArray::number(m_startedAt.secsTo(QDateTime::currentDateTime())) +
                            " s\n\n");
    releaseFlag();
    Q_EMIT finished(result);
}

void GrabberRunner::signalGroup(int signalNumber)
{
    if (m_group > 0)
        ::kill(-static_cast<pid_t>(m_group), signalNumber);
}

void GrabberRunner::releaseFlag()
{
    if (m_holdsFlag && m_state)
        m_state->importInProgress = m_flagBefore;
    m_holdsFlag = false;
}

GrabberResult getPrograms(GrabberRunner& runner, FetchVariant variant, const QString& folder,
                          const Settings& settings, const QDateTime& theDate, const Clock& clock)
{
    const QByteArray batch = fetchBatch(fetchRequest(variant, folder, settings, theDate, clock));
    // Written first, as always, so listings.sh shows what would run; but never over a batch
    // that is still running.
    if (runner.isRunning())
        return failure(GrabberResult::Outcome::Busy,
                       QStringLiteral("A grabber batch is already running."));
    try {
        writeBatchFile(folder, batch);
    } catch (const Error& error) {
        return failure(GrabberResult::Outcome::Failed, error.message());
    }
    const GrabberCheck check = checkGrabber(folder, settings.grabberName);
    if (check.status == GrabberCheck::Status::Ready)
        return runner.runAndWait(folder, batch);

    // Nothing is run, and nothing configured behind the viewer's back.
    GrabberResult refused;
    refused.outcome = check.status == GrabberCheck::Status::NotInstalled
                          ? GrabberResult::Outcome::NotInstalled
                          : GrabberResult::Outcome::NotConfigured;
    refused.message = check.message;
    refused.detail = check.detail;
    logRecord(QDir(folder).absolutePath(), "==== " + logStamp() + '\n' + batch +
                                               "---- not run: " + check.message.toLocal8Bit() +
                                               ". " + check.detail.toLocal8Bit() + "\n\n");
    return refused;
}

} // namespace zarvo
