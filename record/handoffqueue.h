#pragma once
// The one queue every hand-off of the program goes through: the action menu's, the recording
// rules' and the command line's.
//
// The tuner application reads program.tvpi (or program.tvvi) some time after it is asked to
// open it, so a hand-off file must stand for a while before the next request replaces it. The
// queue keeps them apart: a file is written and opened only when at least `gap` (15 s) has
// passed, on the queue's clock and to the millisecond, since the same file was last opened
// (program.tvpi and program.tvvi each have their own), and only once the previous opener has
// given its answer. Requests wait their turn in the queue
// instead of in a loop of their own, so nothing overwrites a file another request has just
// written, and whoever asked is not kept waiting: the queue runs from timers.
//
// Order: first come, first served, except that a request of the viewer goes before the rule
// requests still waiting (a pass over a week of rules may queue many), after the viewer's
// earlier ones. The request being handed over is never overtaken.
//
// The opener: the file's absolute path is appended to the opener command (`xdg-open FILE` in
// the program), which runs as a process of its own. Exit code 0 means an application took the
// request. A command that cannot be started (xdg-open missing), that crashes or that exits with
// any other code means nobody took it. An opener still running after `timeoutMs` counts as
// taken: some handlers return only when the application they started ends. It is left running,
// also when the program ends.
//
// Each request ends with exactly one call of its `keep` and `told` and one `finished` signal,
// after which the queue forgets it. Nothing is written to the database here: the callers mark and
// log a programme only once its request was taken.

#include "base/clock.h"
#include "base/programfolder.h"
#include "record/handoff.h"
#include "record/selection.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

class QProcess;

namespace zarvo {

struct OpenerCommand
{
    QString program = QStringLiteral("xdg-open");
    QStringList arguments; // before the file's path
    int timeoutMs = 10000;
};

struct HandOffOutcome
{
    enum class Status {
        Taken,      // written and opened; the opener reported success (or did not answer in time)
        NotTaken,   // written, but no application took it
        NotWritten, // the file could not be written; the opener was not run
        Dropped,    // `take` said no: nothing was written
    };
    Status status = Status::Dropped;
    QString path;    // the hand-off file's absolute path (not for Dropped)
    QString message; // what to tell the viewer for NotTaken and NotWritten
    bool taken() const { return status == Status::Taken; }
};

struct HandOffRequest
{
    HandOffKind kind = HandOffKind::Recording;
    // The viewer asked (the menu, the command line): goes before waiting rule requests.
    bool fromViewer = false;
    // The programme, as the request was made. At the request's turn `take` (when set) is asked
    // for the programme to hand over instead; nullopt drops the request (a rule's programme the
    // viewer marked meanwhile).
    SelectedProgramme selected;
    std::function<std::optional<SelectedProgramme>()> take;
    // Called once with the programme handed over (or meant to be) and the outcome: `keep`
    // first, for the record-keeping a taken request needs (it may add to the outcome, for
    // `told`), then `told`, for whoever wants to hear of it. At the program's exit a rule
    // request's `told` is not called: those it would tell are gone.
    std::function<void(const SelectedProgramme&, HandOffOutcome&)> keep;
    std::function<void(const SelectedProgramme&, const HandOffOutcome&)> told;
};

class HandOffQueue : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 DefaultGapMs = 15000;

    // Hand-off files go to `folder`; the gap is measured on `clock`, which must outlive the
    // queue.
    HandOffQueue(const Clock& clock, ProgramFolder folder, QObject* parent = nullptr);
    ~HandOffQueue() override;

    void setFolder(ProgramFolder folder) { m_folder = std::move(folder); }
    void setOpener(OpenerCommand opener) { m_opener = std::move(opener); }
    void setGapMs(qint64 gapMs) { m_gapMs = gapMs; }
    // While this says false, no request starts and no outcome is given (the database is busy
    // with an import, say); it is asked again a little later.
    void setReady(std::function<bool()> ready) { m_ready = std::move(ready); }
    // While a request waits for its time, the clock is read again at least this often, so that
    // a clock that is set (or moved by a test) is followed. 1000 ms.
    void setRecheckMs(int ms) { m_recheckMs = ms; }

    // Queues a request; it starts from the event loop, never from inside this call.
    void enqueue(HandOffRequest request);
    // True while some request that `matches` is waiting or being handed over.
    bool holds(const std::function<bool(const SelectedProgramme&)>& matches) const;
    // Nothing waiting and nothing being handed over.
    bool idle() const { return m_waiting.empty() && !m_current; }

    // For the program's exit, before its screens go: the rule requests still waiting are
    // forgotten without a word (their programmes stay unmarked, so the next pass takes them),
    // and the one being handed over, if it is a rule's, will tell nobody.
    void dropRuleRequests();
    // After the screens went: runs the event loop until the viewer's requests have been handed
    // over (rule requests are dropped first), for at most `limitMs`. False when some were still
    // waiting then.
    bool finishViewerRequests(int limitMs);

Q_SIGNALS:
    // A request ended (after its `told`).
    void finished(const zarvo::SelectedProgramme& selected, const zarvo::HandOffOutcome& outcome,
                  bool fromViewer);
    // The last request ended and none waits.
    void drained();

private:
    struct Current
    {
        HandOffRequest request;
        SelectedProgramme selected;
        std::optional<HandOffOutcome> outcome; // set once the opener answered
        QPointer<QProcess> process;
    };
    struct Ended
    {
        HandOffRequest request;
        SelectedProgramme selected;
        HandOffOutcome outcome;
    };

    void schedule(qint64 inMs);
    void service();
    void start(HandOffRequest request);
    void settle(HandOffOutcome::Status status, const QString& detail);

    const Clock& m_clock;
    ProgramFolder m_folder;
    OpenerCommand m_opener;
    qint64 m_gapMs = DefaultGapMs;
    int m_recheckMs = 1000;
    std::function<bool()> m_ready;
    std::deque<HandOffRequest> m_waiting;
    std::optional<Current> m_current;
    std::vector<Ended> m_ended; // told once the queue is in order again
    // When each file was last opened: program.tvpi and program.tvvi stand their time apart.
    std::optional<qint64> m_lastOpenedMs[2];
    std::optional<qint64>& lastOpened(HandOffKind kind)
    {
        return m_lastOpenedMs[kind == HandOffKind::Recording ? 0 : 1];
    }
    QTimer m_timer;
    QTimer m_openerTimeout;
    bool m_servicing = false;
};

// The message for a request nobody took: no application took it, why, and where the README
// tells how to associate one.
QString notTakenMessage(HandOffKind kind, const QString& detail);

} // namespace zarvo
