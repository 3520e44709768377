#include "record/handoffqueue.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <vector>

namespace zarvo {
namespace {

// Openers still running when their queue goes: they are left to finish on their own (killing
// one could take the recorder with it). Held here so that they are not counted as lost.
std::vector<QProcess*>& leftRunning()
{
    static auto* processes = new std::vector<QProcess*>;
    return *processes;
}

void letRun(QProcess* process)
{
    process->disconnect();
    process->setParent(nullptr);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    leftRunning().push_back(process);
    QObject::connect(process, &QProcess::finished, [process] {
        std::erase(leftRunning(), process);
        process->deleteLater();
    });
}

// The opener as the viewer knows it: its program's name.
QString openerText(const OpenerCommand& opener)
{
    return QFileInfo(opener.program).fileName();
}

} // namespace

QString notTakenMessage(HandOffKind kind, const QString& detail)
{
    const QString what = kind == HandOffKind::Recording ? QStringLiteral("recording request")
                                                        : QStringLiteral("viewing request");
    const QString type = kind == HandOffKind::Recording
                             ? QStringLiteral("application/x-tv-program-info")
                             : QStringLiteral("application/x-tv-viewer-info");
    return QStringLiteral("No application took the %1 (%2).\n\n"
                          "Associate your recorder with %3 files (%4) as the README's section "
                          "\"Associating a recorder\" describes, for example:\n"
                          "xdg-mime default recorder.desktop %4")
        .arg(what, detail, handOffFileName(kind), type);
}

HandOffQueue::HandOffQueue(const Clock& clock, ProgramFolder folder, QObject* parent)
    : QObject(parent), m_clock(clock), m_folder(std::move(folder))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &HandOffQueue::service);
    m_openerTimeout.setSingleShot(true);
    connect(&m_openerTimeout, &QTimer::timeout, this,
            [this] { settle(HandOffOutcome::Status::Taken, {}); });
}

HandOffQueue::~HandOffQueue()
{
    if (m_current && m_current->process)
        letRun(m_current->process);
}

void HandOffQueue::enqueue(HandOffRequest request)
{
    if (request.fromViewer) {
        auto it = m_waiting.begin();
        while (it != m_waiting.end() && it->fromViewer)
            ++it;
        m_waiting.insert(it, std::move(request));
    } else {
        m_waiting.push_back(std::move(request));
    }
    schedule(0);
}

void HandOffQueue::dropRuleRequests()
{
    std::erase_if(m_waiting, [](const HandOffRequest& r) { return !r.fromViewer; });
    if (m_current && !m_current->request.fromViewer)
        m_current->request.told = nullptr;
}

bool HandOffQueue::finishViewerRequests(int limitMs)
{
    dropRuleRequests();
    if (idle())
        return true;
    QEventLoop loop;
    connect(this, &HandOffQueue::drained, &loop, &QEventLoop::quit);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    schedule(0);
    loop.exec();
    return idle();
}

bool HandOffQueue::holds(const std::function<bool(const SelectedProgramme&)>& matches) const
{
    if (m_current && matches(m_current->selected))
        return true;
    for (const HandOffRequest& r : m_waiting)
        if (matches(r.selected))
            return true;
    return false;
}

void HandOffQueue::schedule(qint64 inMs)
{
    const int ms = int(std::clamp<qint64>(inMs, 0, m_recheckMs));
    if (!m_timer.isActive() || m_timer.remainingTime() > ms)
        m_timer.start(ms);
}

void HandOffQueue::service()
{
    if (m_servicing)
        return; // the loop below is running; it looks at the queue again before it stops
    m_servicing = true;
    const auto ready = [this] { return !m_ready || m_ready(); };
    for (;;) {
        if (m_current) {
            if (!m_current->outcome)
                break; // the opener answers through its signals
            if (!ready()) {
                schedule(m_recheckMs);
                break;
            }
            Current current = std::move(*m_current);
            m_current.reset();
            m_ended.push_back(
                {std::move(current.request), std::move(current.selected), *current.outcome});
            continue;
        }
        if (m_waiting.empty())
            break;
        if (!ready()) {
            schedule(m_recheckMs);
            break;
        }
        const qint64 now = m_clock.currentInstant().toMSecsSinceEpoch();
        // A clock set back (by hand, or by a time service) would otherwise hold the queue for
        // as long as it went back: the gap counts from the moment that was noticed.
        std::optional<qint64>& last = lastOpened(m_waiting.front().kind);
        if (last && now < *last)
            last = now;
        if (last && now < *last + m_gapMs) {
            schedule(*last + m_gapMs - now);
            break;
        }
        HandOffRequest request = std::move(m_waiting.front());
        m_waiting.pop_front();
        start(std::move(request));
    }
    m_servicing = false;

    // Told only now, with the queue in order: a receiver may run an event loop of its own (a
    // message box), during which the queue goes on.
    std::vector<Ended> ended;
    ended.swap(m_ended);
    for (Ended& e : ended) {
        if (e.request.keep)
            e.request.keep(e.selected, e.outcome);
        if (e.request.told)
            e.request.told(e.selected, e.outcome);
        Q_EMIT finished(e.selected, e.outcome, e.request.fromViewer);
    }
    if (!ended.empty() && idle() && m_ended.empty())
        Q_EMIT drained();
}

void HandOffQueue::start(HandOffRequest request)
{
    std::optional<SelectedProgramme> selected =
        request.take ? request.take() : std::optional(request.selected);
    if (!selected) {
        SelectedProgramme asked = request.selected;
        m_ended.push_back({std::move(request), std::move(asked), HandOffOutcome{}});
        return;
    }
    const HandOffResult file = writeHandOffFile(m_folder, *selected, request.kind);
    if (!file.ok()) {
        // The old file was left as it was, so the gap since it was opened still runs.
        m_ended.push_back({std::move(request),
                           std::move(*selected),
                           {HandOffOutcome::Status::NotWritten, file.path, file.error}});
        return;
    }
    lastOpened(request.kind) = m_clock.currentInstant().toMSecsSinceEpoch();
    m_current = Current{std::move(request), std::move(*selected), std::nullopt, nullptr};

    auto* process = new QProcess(this);
    m_current->process = process;
    process->setProgram(m_opener.program);
    process->setArguments(m_opener.arguments + QStringList(file.path));
    // The opener's own chatter is of no use to the viewer; its exit code says what happened.
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart && m_current && m_current->process == process)
            settle(HandOffOutcome::Status::NotTaken,
                   QStringLiteral("%1 could not be started: %2")
                       .arg(openerText(m_opener), process->errorString()));
    });
    connect(process, &QProcess::finished, this,
            [this, process](int code, QProcess::ExitStatus status) {
                if (!m_current || m_current->process != process)
                    return;
                if (status == QProcess::NormalExit && code == 0)
                    settle(HandOffOutcome::Status::Taken, {});
                else if (status == QProcess::NormalExit)
                    settle(HandOffOutcome::Status::NotTaken,
                           QStringLiteral("%1 exited with %2").arg(openerText(m_opener)).arg(code));
                else
                    settle(HandOffOutcome::Status::NotTaken,
                           QStringLiteral("%1 crashed").arg(openerText(m_opener)));
            });
    m_openerTimeout.start(m_opener.timeoutMs);
    process->start();
}

void HandOffQueue::settle(HandOffOutcome::Status status, const QString& detail)
{
    if (!m_current || m_current->outcome)
        return;
    m_openerTimeout.stop();
    HandOffOutcome outcome{status, {}, {}};
    outcome.path = m_folder.file(handOffFileName(m_current->request.kind));
    if (status == HandOffOutcome::Status::NotTaken)
        outcome.message = notTakenMessage(m_current->request.kind, detail);
    m_current->outcome = outcome;
    if (QProcess* process = m_current->process) {
        m_current->process = nullptr;
        letRun(process);
    }
    schedule(0);
}

} // namespace zarvo
