// Faults met the way a user meets them: through the real programs, in a program folder of their
// own. Each fault must give a clear message (or none, where none is due) and lose nothing that
// was already stored or written.
//
// The tests run as root, whom permissions do not stop, so a read-only folder and a full disk are
// made with mounts. The test moves into a mount namespace of its own for them: whatever it mounts
// is seen by nothing outside it and goes when the test does.

#include "app/channelmap.h"
#include "app/singleinstance.h"
#include "base/settingsfile.h"
#include "record/handoff.h"
#include "store/sqlite.h"
#include "support/support.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zarvo;
using namespace zarvo::test;

namespace {

// Two Mondays: both fill weekday table day2, the later one replacing the earlier.
const QDate LastMonday(2024, 2, 26);
const QDate Monday(2024, 3, 4);

QString dayArg(QDate day)
{
    return day.toString(Qt::ISODate);
}

Run cli(const QString& home, const QStringList& args)
{
    return run(QStringLiteral(ZARVO_CLI_BIN), QStringList{QStringLiteral("--home"), home} + args);
}

// A program folder as a user has it: the day files of both Mondays from the demo grabber, last
// Monday's imported. Returns what went wrong, or nothing. (Monday's file is written after the
// import, which removes the files of days long past.)
QString layOutFolder(const QString& home, int channels)
{
    QDir(home).mkpath(QStringLiteral("xmltv"));
    for (const QDate day : {LastMonday, Monday}) {
        const Run g = run(QStringLiteral(TV_GRAB_DEMO_BIN),
                          {"--quiet", "--channels", QString::number(channels), "--today",
                           dayArg(day), "--output", home + "/xmltv/" + dayFileName(day)});
        if (g.code != 0)
            return QStringLiteral("the demo grabber failed: ") + g.err;
        if (day == LastMonday) {
            const Run imported = cli(home, {"import", dayArg(LastMonday)});
            if (imported.code != 0)
                return QStringLiteral("the first import failed: ") + imported.err;
        }
    }
    return {};
}

// The Mondays' table as a user would notice a change in it, one "what value" an entry.
QStringList dayState(const QString& db)
{
    Database raw(db, Database::Mode::OpenExisting);
    const std::pair<const char*, const char*> queries[] = {
        {"integrity", "PRAGMA integrity_check"}, // first: it rolls back a killed writer's journal
        {"dates rows", "SELECT count(*) FROM dates"},
        {"day2", "SELECT day2 FROM dates"},
        {"rows", "SELECT count(*) FROM day2"},
        {"on Monday", "SELECT count(*) FROM day2 WHERE startdate = ?"},
        {"channels", "SELECT count(*) FROM channels"},
    };
    QStringList state;
    for (const auto& [what, sql] : queries) {
        Statement s = raw.prepare(sql);
        if (std::strchr(sql, '?'))
            s.bind(1, dayArg(Monday));
        state << QStringLiteral("%1 %2").arg(what, s.step() ? s.text(0) : QString("none"));
    }
    return state;
}

// A RAM disk on a folder, or the folder over itself made read-only, in the test's namespace;
// taken down when the object goes. `error` is empty once mounted.
struct Mount
{
    enum Kind { RamDisk, ReadOnly };
    QByteArray target;
    QString error;
    Mount(const QString& folder, Kind kind) : target(QFile::encodeName(folder))
    {
        const char* t = target.constData();
        const bool ok =
            kind == RamDisk
                ? ::mount("tmpfs", t, "tmpfs", 0, "size=4m") == 0
                : ::mount(t, t, nullptr, MS_BIND, nullptr) == 0 &&
                      ::mount(nullptr, t, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
        if (!ok)
            error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~Mount() { ::umount2(target.constData(), MNT_DETACH); }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
};

// Writes `path` until the disk has no room left; false when it never filled.
bool fillDisk(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0)
        return false;
    const QByteArray block(65536, 'x');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    const bool full = errno == ENOSPC && ::write(fd, "x", 1) < 0;
    ::close(fd);
    return full;
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
    QString m_noMounts; // why the mount faults cannot be staged here; empty when they can

private Q_SLOTS:
    void initTestCase()
    {
        // Private propagation first: without it a mount made here would show on the machine.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            m_noMounts = QStringLiteral("no mount namespace of our own here: ") +
                         QString::fromLocal8Bit(std::strerror(errno));
    }

    // kill -9 at a random moment of an import: the database is whole and holds last Monday or
    // the new Monday, never a mix; the next import goes through.
    void killedImport()
    {
        QTemporaryDir dir;
        const QString home = dir.path(), db = home + "/xmltv97.db";
        const QString failure = layOutFolder(home, 1000);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const QStringList old = dayState(db);
        QVERIFY2(old.contains("day2 " + dayArg(LastMonday)) && old.contains("on Monday 0"),
                 qPrintable(old.join(", ")));
        QVERIFY(QFile::copy(db, home + "/lastmonday.db"));
        // One whole import first, to know the new Monday and how long an import takes.
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(cli(home, {"import", dayArg(Monday)}).code, 0);
        const qint64 duration = timer.elapsed();
        const QStringList fresh = dayState(db);
        QVERIFY2(fresh.contains("day2 " + dayArg(Monday)) && fresh.contains("channels 1000") &&
                     !fresh.contains("on Monday 0"),
                 qPrintable(fresh.join(", ")));
        QVERIFY(QFile::remove(db) && QFile::copy(home + "/lastmonday.db", db));

        int killed = 0, whileWriting = 0;
        for (int i = 0; i < 5; ++i) {
            QProcess p;
            p.start(QStringLiteral(ZARVO_CLI_BIN), {"--home", home, "import", dayArg(Monday)});
            QVERIFY(p.waitForStarted());
            QThread::usleep(QRandomGenerator::global()->bounded(quint64(duration) * 1200));
            p.kill();
            p.waitForFinished();
            killed += p.exitStatus() == QProcess::CrashExit;
            whileWriting += QFile::exists(db + "-journal");
            const QStringList now = dayState(db);
            QVERIFY2(now == old || now == fresh, qPrintable(now.join(", ")));
        }
        qInfo("import took %lld ms; %d of 5 killed, %d of them while writing", duration, killed,
              whileWriting);
        const Run last = cli(home, {"import", dayArg(Monday)});
        QVERIFY2(last.code == 0 && last.out.startsWith("1000 channels"), qPrintable(last.err));
        QCOMPARE(dayState(db), fresh);
    }

    // A second guide started while one runs in the same folder ends at once, saying nothing;
    // the first goes on with its lock.
    void secondGuideEndsSilently()
    {
        // The guide's program folder is its executable's: a copy of its own in a folder.
        QTemporaryDir dir, runtime;
        const QString guide = dir.filePath("zarvoguide");
        QVERIFY(QFile::copy(QStringLiteral(ZARVO_GUIDE_BIN), guide));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path()); // else Qt itself complains on stderr
        QProcess first, second;
        first.setProcessEnvironment(env);
        second.setProcessEnvironment(env);
        first.start(guide, QStringList());
        QVERIFY(first.waitForStarted());
        const QString lock = dir.filePath(singleInstanceLockName());
        const QByteArray holder = QByteArray::number(first.processId()) + '\n';
        QTRY_VERIFY_WITH_TIMEOUT(readFile(lock).startsWith(holder), 15000);

        second.start(guide, QStringList());
        QVERIFY2(second.waitForFinished(15000), "the second copy kept running");
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput() + second.readAllStandardError(), QByteArray());
        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(readFile(lock).startsWith(holder));
        first.kill();
        first.waitForFinished();
    }

    void readOnlyProgramFolder_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QString>("fileAtFault");
        QTest::addColumn<QString>("reason");
        // The day file is there: the database refuses the import's writes.
        QTest::newRow("import") << Monday << "xmltv97.db"
                                << "attempt to write a readonly database";
        // No day file: the grabber batch cannot be written.
        QTest::newRow("fetch") << Monday.addDays(1) << "listings.sh"
                               << "Read-only file system";
    }
    void readOnlyProgramFolder()
    {
        QFETCH(QDate, day);
        QFETCH(QString, fileAtFault);
        QFETCH(QString, reason);
        if (!m_noMounts.isEmpty())
            QSKIP(qPrintable(m_noMounts));
        QTemporaryDir dir;
        const QString home = dir.path();
        const QString failure = layOutFolder(home, 40);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const auto before = snapshot(home);
        {
            Mount readOnly(home, Mount::ReadOnly);
            QVERIFY2(readOnly.error.isEmpty(), qPrintable(readOnly.error));
            const Run r = cli(home, {"import", dayArg(day)});
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.contains(home + '/' + fileAtFault) && r.err.contains(reason),
                     qPrintable(r.err));
            // What is stored can still be read.
            QCOMPARE(cli(home, {"present", dayArg(LastMonday)}).code, 0);
        }
        QCOMPARE(snapshot(home), before);
    }

    // Each writer on a disk with no room left: a message naming the file and the reason, the old
    // file byte for byte as it was, no temporary file left.
    void fullDisk_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("reason");
        const QString noSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));
        QTest::newRow("settings") << "settings" << noSpace;
        QTest::newRow("channel map") << "channel map" << noSpace;
        QTest::newRow("hand-off file") << "hand-off" << noSpace;
        QTest::newRow("listings import") << "import"
                                         << "database or disk is full";
    }
    void fullDisk()
    {
        QFETCH(QString, writer);
        QFETCH(QString, reason);
        if (!m_noMounts.isEmpty())
            QSKIP(qPrintable(m_noMounts));
        QTemporaryDir dir;
        const QString home = dir.filePath("home");
        QVERIFY(QDir().mkpath(home));
        Mount disk(home, Mount::RamDisk);
        QVERIFY2(disk.error.isEmpty(), qPrintable(disk.error));
        // The store the map is named from stays off the disk: at 20:00 on Monday channel 5 has
        // News on, so every line of the map would get a new name.
        StoreFile stored({"5 ABC"});
        ListingsStore& store = stored.store;
        add(store, programme("C5", at(Monday, 20), at(Monday, 21), "News"));
        store.setStoredDate(2, Monday);
        const FakeClock clock(QTimeZone("America/New_York"), at(Monday, 20));

        // The old file, and the write that must fail; what it returns is its message.
        QString target;
        std::function<QString()> attempt;
        if (writer == "settings") {
            target = home + "/config.txt";
            QVERIFY(putFile(target, formatSettings(firstRunDefaults())));
            attempt = [&] {
                Settings s = firstRunDefaults();
                s.opacity = 50;
                return errorOf([&] { writeSettingsFile(target, s); });
            };
        } else if (writer == "channel map") {
            target = home + "/channels.map";
            QVERIFY(putFile(target, QByteArray("\"Old\"|\"c5 A\"|\"tuner 1\"\r\n").repeated(20)));
            attempt = [&] { return writeToChannels(store, target, clock).message; };
        } else if (writer == "hand-off") {
            target = home + "/program.tvpi";
            QVERIFY(putFile(target, "old"));
            attempt = [&] {
                return writeHandOffFile(ProgramFolder(home), SelectedProgramme(),
                                        HandOffKind::Recording)
                    .error;
            };
        } else {
            target = home + "/xmltv97.db";
            const QString failure = layOutFolder(home, 40);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            attempt = [&] {
                const Run r = cli(home, {"import", dayArg(Monday)});
                return r.code == 1 ? r.err : QStringLiteral("exit %1: %2").arg(r.code).arg(r.err);
            };
        }
        QVERIFY2(fillDisk(home + "/filler"), "the disk did not fill");
        const auto before = snapshot(home, "filler");
        const QString message = attempt();
        QVERIFY2(!message.isEmpty(), "the write went through on a full disk");
        QVERIFY2(message.contains(target) && message.contains(reason), qPrintable(message));
        QCOMPARE(snapshot(home, "filler"), before);
    }

    // A day file that cannot be used is reported once and moved aside, and the day is fetched
    // afresh by the same import: nothing stays stuck on it.
    void unusableDayFileFetchedAgain_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("truncated") << "truncated"
                                   << "Error parsing start element tag.";
        QTest::newRow("FIFO") << "fifo"
                              << "It is not a regular file.";
    }
    void unusableDayFileFetchedAgain()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString home = dir.path();
        QVERIFY(layOutProgramFolder(home, "tv_grab_demo", TV_GRAB_DEMO_BIN));
        // The demo grabber's today is the machine's.
        const QDate today = QDate::currentDate();
        const QString file = home + "/xmltv/" + dayFileName(today);
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        else
            QVERIFY(putFile(file, "<?xml version=\"1.0\"?>\n<tv>\n<programme start=\"" +
                                      today.toString("yyyyMMdd").toLatin1() + "200000\" "));
        const Run refetched = cli(home, {"import", dayArg(today) + " 20:00"});
        QVERIFY2(refetched.code == 0 && refetched.out.contains(" programmes imported"),
                 qPrintable(refetched.err));
        QVERIFY2(refetched.err.contains(reason) && refetched.err.contains("moved aside"),
                 qPrintable(refetched.err));
        QCOMPARE(refetched.err.count("Your XML Document failed to load"), 1);
        QVERIFY(QFileInfo(file).isFile());
        QVERIFY(QFileInfo(file + ".rejected").exists());
        QCOMPARE(cli(home, {"present", dayArg(today)}).code, 0);
    }

    // Someone else's file where the database belongs: refused by name, left as it is.
    void databaseNotOurs_data()
    {
        QTest::addColumn<bool>("sqlite");
        QTest::newRow("random bytes") << false;
        QTest::newRow("foreign SQLite database") << true;
    }
    void databaseNotOurs()
    {
        QFETCH(bool, sqlite);
        QTemporaryDir dir;
        const QString db = dir.filePath("xmltv97.db");
        if (sqlite) {
            Database foreign(db, Database::Mode::CreateIfMissing);
            foreign.exec("CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('keep me')");
        } else {
            QVERIFY(putFile(db, QByteArray("\x93not SQLite\0", 12).repeated(300)));
        }
        const auto before = snapshot(dir.path());
        const Run r = cli(dir.path(), {"present", dayArg(Monday)});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(db) && r.err.contains("not a Zarvo Guide listings database"),
                 qPrintable(r.err));
        QCOMPARE(snapshot(dir.path()), before);
    }

    // The `dates` row gone: the day counts as missing, the row comes back, the listings stay.
    void datesRowMissing()
    {
        QTemporaryDir dir;
        const QString home = dir.path(), db = home + "/xmltv97.db";
        const QString failure = layOutFolder(home, 40);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const QStringList before = dayState(db);
        Database(db, Database::Mode::OpenExisting).exec("DELETE FROM dates");
        const Run r = cli(home, {"present", dayArg(LastMonday)});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString("missing\n"));
        QStringList expected = before;
        expected.replaceInStrings("day2 " + dayArg(LastMonday),
                                  "day2 " + dayArg(ListingsStore::initialDate()));
        QCOMPARE(dayState(db), expected);
        QCOMPARE(cli(home, {"import", dayArg(LastMonday)}).code, 0);
        QCOMPARE(dayState(db), before);
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
