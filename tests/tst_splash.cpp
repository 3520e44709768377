// The splash screen on the offscreen platform: the start-up step it runs and where that leads,
// hiding once the step has run, the minute tick's reports shown as notices, and the lock that
// keeps a second copy of the program from starting.

#include "app/program.h"
#include "app/singleinstance.h"
#include "app/splash.h"
#include "support/support.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace zarvo;
using namespace zarvo::test;

namespace {

// A program in a folder of its own, standing at 00:30, with the built pictures and, unless null,
// `settings` as its config.txt.
struct Fixture
{
    QTemporaryDir dir;
    FakeClock clock{QTimeZone("America/New_York"), at(QDate(2003, 12, 14), 0, 30)};
    Program program{ProgramFolder(dir.path()), clock};

    explicit Fixture(const QByteArray& settings = {})
    {
        QVERIFY(QFile::link(ZARVO_BINARY_DIR "/pictures", dir.filePath("pictures")));
        QVERIFY(settings.isNull() || putFile(program.folder.settingsFile(), settings));
    }
};

// Where the splash screen sent the program: "guide", "settings", "exit" and messages, in order.
struct Visits
{
    QStringList seen;
    void watch(SplashScreen& splash)
    {
        QObject::connect(&splash, &SplashScreen::guideRequested, [this] { seen << "guide"; });
        QObject::connect(&splash, &SplashScreen::settingsRequested, [this] { seen << "settings"; });
        QObject::connect(&splash, &SplashScreen::startupFailed,
                         [this](const QString& text) { seen << "message: " + text; });
        QObject::connect(&splash, &SplashScreen::exitRequested, [this] { seen << "exit"; });
    }
};

const QByteArray
    completeFile("0\r\n\"m\"\r\n0\r\n1\r\n\"images\"\r\n\"8:00 PM\"\r\n80\r\n\"g\"\r\n");

QString lockPath(const QTemporaryDir& dir, const QString& name = singleInstanceLockName())
{
    return QDir(dir.path()).filePath(name);
}

} // namespace

class TestSplash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A short file is fixed up (opacity 0, not 100); without one the first-run defaults lead
    // to the settings screen and the splash hides only at its next repaint; a bad value shows
    // the error and opens nothing.
    void startupStepLeadsOn_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: no file
        QTest::addColumn<QString>("visits");
        QTest::addColumn<bool>("hiddenByStep");
        QTest::addColumn<qint16>("opacity");
        QTest::newRow("complete file") << completeFile << "guide" << true << qint16(80);
        QTest::newRow("three values")
            << QByteArray("0\r\n\"m\"\r\n0\r\n") << "guide" << true << qint16(0);
        QTest::newRow("no file") << QByteArray() << "settings" << false << qint16(100);
        QTest::newRow("letter on line 1")
            << QByteArray("a\r\n") << "message: config.txt line 1|exit" << false << qint16(0);
    }
    void startupStepLeadsOn()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, visits);
        QFETCH(bool, hiddenByStep);
        QFETCH(qint16, opacity);
        Fixture f(contents);
        Visits v;
        SplashScreen splash(f.program);
        v.watch(splash);
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        splash.repaint(); // before the step a repaint does not hide it
        QCoreApplication::processEvents();
        QVERIFY(splash.isVisible());
        splash.runStartupStep();
        // The message tells which file (its whole path) and which line is wrong; the rest of it
        // is the reader's. Then the program ends.
        QString seen = v.seen.join(u'|');
        const QString error = v.seen.value(0);
        if (error.startsWith(QLatin1String("message: ")))
            seen.replace(error,
                         error.contains(f.program.folder.settingsFile() + ", line 1, value 1")
                             ? "message: config.txt line 1"
                             : "message: ?");
        QCOMPARE(seen, visits);
        QCOMPARE(f.program.state.settings.opacity, opacity);
        QCOMPARE(splash.isVisible(), !hiddenByStep);
        // Either way the splash is gone at its next repaint; the minute timer runs on unless
        // the program ends.
        QTRY_VERIFY(!splash.isVisible());
        QCOMPARE(splash.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive(),
                 !visits.endsWith("exit"));
        QCOMPARE(QFile::exists(f.program.folder.settingsFile()), !contents.isNull());
        splash.runStartupStep(); // the step runs once only
        QCOMPARE(v.seen.size(), visits.count(u'|') + 1);
        // Whatever brings it back into view, its first repaint sends it away again.
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        splash.repaint();
        QTRY_VERIFY(!splash.isVisible());
    }

    // The tick's reports are notices that wait for nobody, one at a time.
    void tickReportsAreNotices()
    {
        Fixture f;
        f.program.state.settings = firstRunDefaults();
        f.program.state.settings.grabberName = "tv_grab_missing";
        f.clock.setNow(wallClock(QDate(2003, 12, 14), QTime(3, 1)));
        SplashScreen splash(f.program);
        const auto notices = [] {
            int count = 0;
            for (QWidget* w : QApplication::topLevelWidgets())
                count += w->objectName() == QLatin1String("notice") && w->isVisible();
            return count;
        };
        splash.minuteTick().run(); // 03:01: the night's fetch finds no grabber
        QCOMPARE(notices(), 1);
        QVERIFY(!QApplication::activeModalWidget());
        splash.minuteTick().run(); // and again: the one notice shows it
        QCOMPARE(notices(), 1);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("notice"))
                w->close();
    }

    void lockKeepsSecondOut()
    {
        using R = SingleInstanceLock::Result;
        QTemporaryDir dir;
        const QString path = lockPath(dir);
        {
            SingleInstanceLock first(path), second(path);
            QCOMPARE(first.tryAcquire(), R::Acquired);
            QVERIFY(first.isHeld());
            QCOMPARE(second.tryAcquire(), R::HeldByAnother);
            QVERIFY(!second.isHeld());
            // However long the first copy has been running, its lock stays good.
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                     QFileDevice::FileModificationTime));
            file.close();
            QCOMPARE(second.tryAcquire(), R::HeldByAnother);
        }
        QVERIFY(!QFile::exists(path));
        QCOMPARE(SingleInstanceLock(path).tryAcquire(), R::Acquired);
        // A folder that cannot hold the lock is told apart from a running copy.
        SingleInstanceLock nowhere(lockPath(dir, "no-such-folder/" + singleInstanceLockName()));
        QCOMPARE(nowhere.tryAcquire(), R::Unavailable);
        QVERIFY(!nowhere.errorText().isEmpty());
    }

    // The lock file a crashed copy leaves (this process's format, with the id of a process
    // that has ended) does not keep the program out, and is this process's lock afterwards.
    void staleLockDoesNotBlock()
    {
        QTemporaryDir dir;
        QByteArray contents;
        {
            SingleInstanceLock model(lockPath(dir, "model.lock"));
            QCOMPARE(model.tryAcquire(), SingleInstanceLock::Result::Acquired);
            QFile f(lockPath(dir, "model.lock"));
            QVERIFY(f.open(QIODevice::ReadOnly));
            contents = f.readAll();
        }
        QProcess ended;
        ended.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exit 0")});
        QVERIFY(ended.waitForStarted());
        const qint64 deadPid = ended.processId();
        QVERIFY(ended.waitForFinished());
        const qsizetype firstLineEnd = contents.indexOf('\n');
        QCOMPARE(contents.left(firstLineEnd),
                 QByteArray::number(QCoreApplication::applicationPid()));
        contents.replace(0, firstLineEnd, QByteArray::number(deadPid));
        QFile f(lockPath(dir));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(contents) == contents.size());
        f.close();
        SingleInstanceLock lock(lockPath(dir)), other(lockPath(dir));
        QCOMPARE(lock.tryAcquire(), SingleInstanceLock::Result::Acquired);
        QCOMPARE(other.tryAcquire(), SingleInstanceLock::Result::HeldByAnother);
    }
};

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
