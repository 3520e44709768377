#include "acquire/grabber.h"

#include "app/appstate.h"
#include "app/atomicfile.h"
#include "store/timerules.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

namespace zarvo {

namespace {

// A progress bar without any line end would otherwise grow the buffer without bound.
constexpr qsizetype kMaxPendingOutput = 64 * 1024;

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

int dayOffset(const QDateTime& theDate, const QDateTime& now)
{
    // Grabbers count --offset in calendar days from today, whatever the time of day: offset 1
    // is tomorrow from 00:00 to 24:00. Counting from the present moment instead would fetch the
    // day after tomorrow for tomorrow's evening when asked in the morning.
    return static_cast<int>(now.date().daysTo(theDate.date()));
}

FetchRequest fetchRequest(FetchVariant variant, const QString& folder, const Settings& settings,
                          const QDateTime& theDate, const Clock& clock)
{
    FetchRequest request;
    request.folder = folder;
    request.grabberName = settings.grabberName;
    const bool guide = variant == FetchVariant::Guide;
    request.autoConfig = !guide;
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
    batch += cmd.dispatcher + ' ' + grabber + " --configure";
    if (request.autoConfig)
        batch += " --auto-config add";
    batch += '\n';
    for (int k = 0; k < request.days; ++k) {
        const QByteArray file = dayFileName(request.firstDay.addDays(k)).toLatin1();
        const QByteArray offset = QByteArray::number(request.firstOffset + k);
        batch += cmd.dispatcher + ' ' + grabber + " --output unsorted" + file +
                 " --days 1 --offset " + offset + '\n';
        batch +=
            cmd.dispatcher + " tv_sort --by-channel --output " + file + " unsorted" + file + '\n';
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
    batch += cmd.dispatcher + ' ' + shellWord(grabberName.toLocal8Bit()) + " --config\n";
    batch += comment.isEmpty() ? QByteArray("#\n") : "# " + comment.toLocal8Bit() + '\n';
    batch += "exit\n";
    return batch;
}

bool writeBatchFile(const QString& folder, const QByteArray& batch, QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QString path = QDir(folder).absoluteFilePath(QStringLiteral("listings.sh"));
    if (batch.contains('\0'))
        return fail(
            QStringLiteral("Cannot write %1: the grabber name holds a NUL character.").arg(path));

    // Written aside and renamed into place: a half-written batch is never run, and a batch that
    // sh is still reading keeps its old file.
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                      QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                      QFileDevice::ExeOther;
    QString reason;
    if (!replaceFileAtomically(path, batch, &reason, mode))
        return fail(QStringLiteral("Cannot write %1: %2").arg(path, reason));
    return true;
}

bool writeConfigBatch(const QString& folder, const QString& grabberName, const QString& codeText,
                      QString* error)
{
    return writeBatchFile(folder, configBatch(folder, grabberName, codeText), error);
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

    QString error;
    if (!writeBatchFile(folder, batch, &error))
        return fail(GrabberResult::Outcome::Failed, error);

    const QDir dir(QDir(folder).absolutePath());
    m_pending.clear();
    m_lastProgress.clear();
    m_timedOut = false;
    m_group = 0;
    m_process->setWorkingDirectory(dir.absolutePath());
    m_process->start(QStringLiteral("/bin/sh"),
                     {dir.absoluteFilePath(QStringLiteral("listings.sh"))});
    if (!m_process->waitForStarted())
        return fail(GrabberResult::Outcome::Failed,
                    QStringLiteral("Cannot start /bin/sh: %1").arg(m_process->errorString()));

    // The child made itself a group leader before exec, so its pid names the group.
    m_group = m_process->processId();
    if (m_state) {
        m_flagBefore = m_state->importInProgress;
        m_state->importInProgress = true;
        m_holdsFlag = true;
    }
    m_limitTimer->start(m_timeLimit);
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
    m_pending += m_process->readAll();
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
    return runner.runAndWait(folder,
                             fetchBatch(fetchRequest(variant, folder, settings, theDate, clock)));
}

} // namespace zarvo
