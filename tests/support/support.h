#pragma once
// What several tests need: wall-clock times, files, program folders and stores with channels.

#include "base/clock.h"
#include "base/error.h"
#include "base/programfolder.h"
#include "base/settingsfile.h"
#include "store/listingsstore.h"
#include "store/timerules.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

namespace zarvo::test {

// The wall-clock time of `date` (naive, as the guide's windows are).
inline QDateTime at(QDate date, int hour, int minute = 0, int second = 0)
{
    return wallClock(date, QTime(hour, minute, second));
}

// The message of the Error that `run` throws; empty when it throws none.
template <typename F> QString errorOf(F&& run)
{
    try {
        run();
    } catch (const Error& e) {
        return e.message();
    }
    return {};
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline bool putFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() &&
           (!executable || f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner));
}

// Every file and folder below `root` with the bytes of the files: nothing changed and nothing
// left behind. A file named `except` is left out.
inline QMap<QString, QByteArray> snapshot(const QString& root, const QString& except = {})
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName() != except)
            entries.insert(QDir(root).relativeFilePath(path),
                           it.fileInfo().isDir() ? QByteArray("<folder>") : readFile(path));
    }
    return entries;
}

// Sets an environment variable for the scope.
class EnvScope
{
public:
    EnvScope(const char* name, const QByteArray& value) : m_name(name), m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~EnvScope() { qputenv(m_name, m_old); }
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

private:
    const char* m_name;
    QByteArray m_old;
};

struct Run
{
    int code = -1; // -1: killed, crashed or hung
    QString out;
    QString err;
};

// Runs `program` to its end, a minute at most, with `env` ("NAME=value") added to its
// environment. Its standard input stays open: a program that waited for input would time out.
inline Run run(const QString& program, const QStringList& args, const QStringList& env = {})
{
    QProcess p;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& e : env)
        environment.insert(e.section('=', 0, 0), e.section('=', 1));
    p.setProcessEnvironment(environment);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("did not finish: ");
    }
    if (p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err += QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// config.txt as the settings screen saves it, the first-run values but these.
inline QByteArray settingsText(const QString& grabber, int adjustDST = 0)
{
    Settings s = firstRunDefaults();
    s.grabberName = grabber;
    s.adjustDST = qint16(adjustDST);
    return formatSettings(s);
}

// A program folder laid out as the install does: the real dispatcher in xmltv/, a copy of
// `grabberProgram` there (when given) and config.txt naming `grabber`.
inline bool layOutProgramFolder(const QString& home, const QString& grabber,
                                const QString& grabberProgram = {})
{
    return QDir(home).mkpath("xmltv") &&
           QFile::copy(ZARVO_SOURCE_DIR "/tools/xmltv", home + "/xmltv/xmltv") &&
           (grabberProgram.isEmpty() || QFile::copy(grabberProgram, home + "/xmltv/" + grabber)) &&
           putFile(home + "/config.txt", settingsText(grabber));
}

// A programme from `start` to `end`; the texts but the title empty.
inline ProgrammeRow programme(const QString& channel, const QDateTime& start, const QDateTime& end,
                              const QString& title = "Show")
{
    ProgrammeRow p;
    p.channel = channel, p.title = title;
    p.startdate = start.date(), p.starttime = start.time();
    p.enddate = end.date(), p.endtime = end.time();
    return p;
}

// Stores `p` in the day table of its start date, or in `table`; its id.
inline qint32 add(ListingsStore& store, const ProgrammeRow& p, int table = 0)
{
    return store.insertProgramme(table ? table : dayNumber(p.startdate), p);
}

// Channels named "NUMBER LETTERS", with the id "C" + NUMBER and the icon letters.png.
inline void addChannels(ListingsStore& store, const QStringList& names)
{
    for (const QString& name : names)
        store.insertChannel({"C" + name.section(' ', 0, 0), name, name.section(' ', 0, 0),
                             name.section(' ', 1).toLower() + ".png"});
}

// A store in a folder of its own, with channels as addChannels() makes them.
struct StoreFile
{
    QTemporaryDir dir;
    ListingsStore store{dir.filePath("xmltv97.db")};
    explicit StoreFile(const QStringList& channels = {}) { addChannels(store, channels); }
    QString path() const { return dir.filePath("xmltv97.db"); }
};

} // namespace zarvo::test
