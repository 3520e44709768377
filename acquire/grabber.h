#pragma once
// The grabber runner: writes listings.sh, the shell batch that fetches listings through the
// XMLTV tools in the program folder's xmltv/ folder, and runs it; and writes the grabber's
// configuration batch for the settings screen.
//
// Every batch is a POSIX sh script in the program folder, one command a line, each line ended
// by a line feed, the last line "exit". Paths and the grabber name are single-quoted for sh, so
// a program folder holding blanks, quotes, `$`, backticks, semicolons or line breaks still runs
// exactly the intended commands and a grabber name always reaches the xmltv dispatcher as one
// argument. With X = '<folder>/xmltv/xmltv' and G the (quoted) grabber name:
//
//   fetch batch                                                         configuration batch
//   cd '<folder>/xmltv'                                                 cd '<folder>/xmltv'
//   X G --output unsorted<D> --days 1 --offset <O> || exit   } per day  X G --configure
//   X tv_sort --by-channel --output <D> unsorted<D> || exit  }          # <code text>
//   exit                                                                exit
//
// D is a day file name (20031215.xml), O a whole day offset ("-1" for yesterday). Because of the
// cd, the grabber's files land in xmltv/, where the importer reads them. A failing command ends
// the batch with its own exit status, so the status reported is the grabber's.
//
// The fetch batch configures nothing: real grabbers are configured once, by a person, in a
// terminal (their --configure asks questions that nobody answers here). Before a fetch,
// getPrograms checks that the grabber is installed and, when its --capabilities list
// "manualconfig", that its configuration file exists; otherwise nothing runs and the result
// names the command to run.
//
// Every run and every refusal is appended to grabber.log in the program folder: the time, the
// commands, the output and the exit status, the file trimmed to about its last megabyte.

#include "base/clock.h"
#include "base/error.h"
#include "base/settingsfile.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QLatin1String>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>

class QProcess;
class QTimer;

namespace zarvo {

struct AppState;

// The text of the message box a caller shows when a batch cannot be written or started.
inline constexpr QLatin1String kGrabberErrorText("error");

// What a fetch batch asks for.
struct FetchRequest
{
    QString folder;      // the program folder (made absolute against the current folder)
    QString grabberName; // the grabber, as the grabberName setting names it
    QDate firstDay;      // the day of the first grab line
    int firstOffset = 0; // its day offset; day k (from 0) gets firstOffset + k
    int days = 1;        // number of grab/sort line pairs; 0 or less writes none
};

enum class FetchVariant {
    StartUp, // one day (the minute tick)
    Guide,   // settings.daysToDownload days
};

// The grabber's --offset for `theDate`: whole calendar days from the date of `now` to the date
// of `theDate` (both naive wall-clock values); the times of day play no part. Tomorrow is 1
// at 00:05 and at 23:55 alike; yesterday is -1.
int dayOffset(const QDateTime& theDate, const QDateTime& now);

// The request getPrograms makes for `theDate` (naive wall clock) as of clock.now(): the first
// grab line is theDate's calendar day under its own file name, with dayOffset() as its offset;
// the guide asks for settings.daysToDownload days from there, the start-up step for one.
FetchRequest fetchRequest(FetchVariant variant, const QString& folder, const Settings& settings,
                          const QDateTime& theDate, const Clock& clock);

// The bytes of the fetch batch (UTF-8 paths). Pure: touches no file.
QByteArray fetchBatch(const FetchRequest& request);

// The bytes of the configuration batch. `codeText` becomes a shell comment (line breaks in it
// are turned into blanks) so that its digits are never run as a command.
QByteArray configBatch(const QString& folder, const QString& grabberName, const QString& codeText);

// Replaces `folder`/listings.sh atomically with `batch`, mode 0755. On failure throws FileError
// and leaves any earlier listings.sh as it was. A batch holding a NUL byte (a NUL in the grabber
// name) is refused: sh cannot carry it.
void writeBatchFile(const QString& folder, const QByteArray& batch);

// Writes the configuration batch as listings.sh in `folder`; it is not run. Throws as
// writeBatchFile does.
void writeConfigBatch(const QString& folder, const QString& grabberName, const QString& codeText);

// Whether a grabber can run unattended, found the way the xmltv dispatcher finds it.
struct GrabberCheck
{
    enum class Status {
        Ready,         // installed, and configured or needing no configuration
        NotInstalled,  // neither in the program folder's xmltv/ nor on PATH
        NotConfigured, // --capabilities lists manualconfig and its configuration file is missing
    };
    Status status = Status::NotInstalled;
    QString program;    // the file that runs (empty when not installed)
    QString configFile; // the file a manualconfig grabber reads: $HOME/.xmltv/<name>.conf
    bool manualConfig = false;
    // NotInstalled, NotConfigured: one sentence for the viewer, such as "tv_grab_fi is not
    // configured: run tv_grab_fi --configure in a terminal"; `detail` says where was looked.
    QString message;
    QString detail;
};

// The file `name` runs as: <folder>/xmltv/<name> when it is an executable file there, else the
// first executable <entry>/<name> of the colon-separated `searchPath`; empty when none (or when
// the name is empty or holds "/").
QString findGrabber(const QString& folder, const QString& name, const QString& searchPath);
// The lines `program --capabilities` prints (empty when it fails or takes over `timeoutMs`).
QStringList grabberCapabilities(const QString& program, int timeoutMs = 15000);
// Where a grabber reads its configuration when no --config-file is given: <home>/.xmltv/
// <name>.conf.
QString grabberConfigFile(const QString& name, const QString& home);
// The check before a fetch, with this process's PATH and HOME.
GrabberCheck checkGrabber(const QString& folder, const QString& name);

// A grabber the dispatcher can run.
struct InstalledGrabber
{
    QString name;    // tv_grab_...
    QString program; // the file findGrabber gives for the name
    bool operator==(const InstalledGrabber&) const = default;
};
// Every executable tv_grab_* the dispatcher would find: those in <folder>/xmltv first, then
// each `searchPath` entry in order; a name found twice counts once, where it is found first.
// Sorted by name.
QList<InstalledGrabber> installedGrabbers(const QString& folder, const QString& searchPath);
// Runs `program argument` for every program side by side and gives each program's output
// (trimmed; empty when it failed or took over `timeoutMs`).
QHash<QString, QString> askGrabbers(const QStringList& programs, const QString& argument,
                                    int timeoutMs = 15000);

// How a run ended.
struct GrabberResult
{
    enum class Outcome {
        Finished,      // the batch ended by itself; exitCode is sh's exit status
        Crashed,       // sh was ended by a signal that did not come from the runner
        TimedOut,      // still running at the time limit; the runner ended its process group
        Failed,        // listings.sh could not be written or sh could not be started; nothing ran
        Busy,          // another batch of this runner is still running; nothing written or run
        NotInstalled,  // the grabber is not installed; nothing written or run
        NotConfigured, // the grabber needs a configuration it lacks; nothing written or run
    };
    Outcome outcome = Outcome::Failed;
    int exitCode = -1; // Finished only; -1 otherwise
    // Failed: kGrabberErrorText, for the message box. NotInstalled, NotConfigured: the check's
    // sentence. Empty for every other outcome.
    QString message;
    // Failed and Busy: the reason in detail (the path and the system's error text).
    // NotInstalled, NotConfigured: the check's detail.
    QString detail;
    // The last few non-blank lines of the batch's output (carriage returns end lines too), made
    // readable (readableLine).
    QStringList lastLines;

    bool failed() const { return outcome == Outcome::Failed; }
    // True when the grabber ran to its end with exit status 0.
    bool succeeded() const { return outcome == Outcome::Finished && exitCode == 0; }
};

// A line of grabber output as a viewer can read it: terminal escapes and control characters
// gone, blanks collapsed.
QString readableLine(QString line);

// The name of the run log in the program folder.
inline constexpr QLatin1String kGrabberLogName("grabber.log");
inline constexpr qint64 kGrabberLogLimit = 1024 * 1024;
// Appends `record` to the log at `path` and, when the file has grown past `limit` bytes, keeps
// only its last lines that fit in `limit` (cut at a line start). False when it cannot be
// written.
bool appendGrabberLog(const QString& path, const QByteArray& record,
                      qint64 limit = kGrabberLogLimit);

// Runs a batch as `/bin/sh <folder>/listings.sh` with the program folder as working folder, the
// caller's environment, standard input from /dev/null (so a grabber asking a question reads
// end-of-file instead of hanging) and standard output and error merged and read by the runner.
// The batch runs in a process group of its own; at the time limit the whole group gets SIGTERM,
// and SIGKILL after the grace period or as soon as sh has gone, so grandchildren end too.
//
// While a batch runs, AppState::importInProgress is held true (its earlier value comes back at
// the end): the guide ignores keys and no import, and so no second fetch, starts meanwhile.
//
// One batch at a time per runner. The runner must live on a thread with an event loop.
class GrabberRunner : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kDefaultTimeLimit = std::chrono::minutes(30);
    static constexpr std::chrono::milliseconds kDefaultGracePeriod = std::chrono::seconds(10);

    // `state` may be null (no flag is kept then); it must outlive the runner.
    explicit GrabberRunner(AppState* state = nullptr, QObject* parent = nullptr);
    // Kills a batch still running (its whole process group) and reports it as Crashed, so a
    // runAndWait waiting on it returns.
    ~GrabberRunner() override;

    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }
    std::chrono::milliseconds timeLimit() const { return m_timeLimit; }
    void setGracePeriod(std::chrono::milliseconds grace) { m_gracePeriod = grace; }

    // Writes `batch` as listings.sh in `folder` and starts it. Returns false when it could not
    // (outcome Failed or Busy in `failure`); finished() is emitted only for a started batch.
    bool start(const QString& folder, const QByteArray& batch, GrabberResult* failure = nullptr);
    // start() and then run a local event loop until the batch has ended: timers, repaints and
    // progress() keep going meanwhile.
    GrabberResult runAndWait(const QString& folder, const QByteArray& batch);

    bool isRunning() const;
    // The last non-empty line the running (or last) batch has printed, trimmed.
    QString lastProgress() const { return m_lastProgress; }

Q_SIGNALS:
    // A batch has started.
    void started();
    // A new last line of output: the grabbers report progress on standard error, redrawing
    // progress bars with carriage returns; each CR or LF ends a line.
    void progress(const QString& line);
    void finished(const zarvo::GrabberResult& result);

private:
    void readOutput(bool atEnd);
    void onTimeLimit();
    void onProcessFinished(int exitCode, int exitStatus);
    void signalGroup(int signalNumber);
    void releaseFlag();

    AppState* m_state;
    QProcess* m_process;
    QTimer* m_limitTimer;
    QTimer* m_graceTimer;
    std::chrono::milliseconds m_timeLimit = kDefaultTimeLimit;
    std::chrono::milliseconds m_gracePeriod = kDefaultGracePeriod;
    qint64 m_group = 0;
    bool m_timedOut = false;
    bool m_holdsFlag = false;
    bool m_flagBefore = false;
    QByteArray m_pending;
    QByteArray m_output; // the tail of everything the batch printed, for the log
    QString m_lastProgress;
    QString m_folder;
    QByteArray m_batch;
    QDateTime m_startedAt;
};

// getPrograms: checks the grabber (checkGrabber), then writes the fetch batch for `theDate` (see
// fetchRequest) into `folder` and runs it with `runner`, returning when it has ended. A result
// with a non-empty message is for the caller to show; otherwise the importer's next look for
// the day file decides.
GrabberResult getPrograms(GrabberRunner& runner, FetchVariant variant, const QString& folder,
                          const Settings& settings, const QDateTime& theDate, const Clock& clock);

} // namespace zarvo

Q_DECLARE_METATYPE(zarvo::GrabberResult)
