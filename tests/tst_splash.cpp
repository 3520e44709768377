// The splash screen on the offscreen platform: its window, logo and version, the start-up step
// it runs and where that leads, hiding once the step has run, the minute tick it drives, and
// the lock that keeps a second copy of the program from starting.

#include "app/program.h"
#include "app/singleinstance.h"
#include "app/splash.h"
#include "ui/pictures.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <stdexcept>

using namespace zarvo;

namespace {

// A program in a folder of its own, standing at a fixed time.
struct Fixture
{
    QTemporaryDir dir;
    FakeClock clock{QTimeZone("America/New_York"), wallClock(QDate(2003, 12, 14), QTime(0, 30))};
    Program program{ProgramFolder(dir.path()), clock};
    ProgramScope scope{program};

    explicit Fixture(bool withLogo = true)
    {
        if (withLogo)
            writeLogo(QColor(Qt::red), QColor(Qt::blue));
    }

    // A 128 x 128 logo, one colour on the left half and another on the right.
    void writeLogo(const QColor& left, const QColor& right) const
    {
        QImage logo(128, 128, QImage::Format_RGB32);
        logo.fill(left);
        QPainter(&logo).fillRect(64, 0, 64, 128, right);
        const QString path = ui::picturePath(program.folder.path(), ui::pictures::Logo);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(logo.save(path));
    }

    void writeSettings(const QByteArray& bytes) const
    {
        QFile f(program.folder.settingsFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

// Where the splash screen sent the program.
struct Visits
{
    int guide = 0;
    int settingsScreen = 0;
    int exits = 0;
    QStringList messages;

    SplashScreen::Navigation navigation()
    {
        return {[this] { ++guide; }, [this] { ++settingsScreen; },
                [this](const QString& text) { messages << text; }, [this] { ++exits; }};
    }
};

class MapOnlyActions : public TickActions
{
public:
    int maps = 0;
    bool failChecks = false;
    void writeChannelMap() override { ++maps; }
    bool checkForPrograms(const QDateTime&) override
    {
        if (failChecks)
            throw std::runtime_error("dates row missing");
        return true;
    }
    void checkForScheduled(const QDateTime&) override {}
    void getListings(const QDateTime&) override {}
};

const QByteArray
    completeFile("0\r\n\"m\"\r\n0\r\n1\r\n\"images\"\r\n\"8:00 PM\"\r\n80\r\n\"g\"\r\n");

QColor pixel(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

} // namespace

class TestSplash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void window();
    void versionLabel();
    void logoScaledAndCentred();
    void missingLogoLeavesBlackBox();

    void startupStepLeadsOn_data();
    void startupStepLeadsOn();
    void startupStepFiresAfterThreeSeconds();
    void hidesOnRepaintOnlyAfterStep();
    void closingExitsOnce();

    void minuteTick();

    void lockKeepsSecondOut();
    void staleLockDoesNotBlock();
    void lockInMissingFolderIsUnavailable();
    void secondProgramEndsSilently();
};

void TestSplash::window()
{
    Fixture f;
    f.program.state.rescheduleRequested = true;
    SplashScreen splash;
    QVERIFY(!f.program.state.rescheduleRequested); // cleared at load
    QCOMPARE(splash.size(), QSize(4680 / 15, 3195 / 15));
    QCOMPARE(splash.windowTitle(), QStringLiteral("Zarvo Guide"));
    const QImage shot = splash.grab().toImage();
    QCOMPARE(pixel(shot, 2, 2), QColor(Qt::black));
    QCOMPARE(pixel(shot, shot.width() - 3, shot.height() - 3), QColor(Qt::black));
}

void TestSplash::versionLabel()
{
    Fixture f;
    SplashScreen splash;
    const auto* label = splash.findChild<QLabel*>(QStringLiteral("Label2"));
    QVERIFY(label);
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(label->text()).hasMatch(),
        qPrintable(label->text()));
    QCOMPARE(label->text(), QStringLiteral(ZARVO_VERSION_TEXT));
    // Three numbers of up to two digits must fit the label, or the revision is cut off.
    QVERIFY(label->fontMetrics().horizontalAdvance(QStringLiteral("1.0.12")) <= label->width());
    QVERIFY(label->font().bold());
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::white));
}

void TestSplash::logoScaledAndCentred()
{
    Fixture f; // red left, blue right
    SplashScreen splash;
    auto* box = splash.findChild<QLabel*>(QStringLiteral("Picture1"));
    QVERIFY(box);
    QCOMPARE(box->geometry(), QRect(88, 40, 129, 97));
    QCOMPARE(box->pixmap().size(), QSize(97, 97));

    // 97 wide in a box of 129: 16 pixels of black on either side, no stretching.
    const QImage shot = box->grab().toImage();
    const int mid = 48;
    QCOMPARE(pixel(shot, 8, mid), QColor(Qt::black));
    QCOMPARE(pixel(shot, 20, mid), QColor(Qt::red));
    QCOMPARE(pixel(shot, 108, mid), QColor(Qt::blue));
    QCOMPARE(pixel(shot, 120, mid), QColor(Qt::black));
    QCOMPARE(pixel(shot, 20, 2), QColor(Qt::red)); // full height used
}

void TestSplash::missingLogoLeavesBlackBox()
{
    Fixture f(false);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("logo not found")));
    SplashScreen splash;
    const QImage shot = splash.grab().toImage();
    QCOMPARE(pixel(shot, 88 + 64, 40 + 48), QColor(Qt::black));
}

void TestSplash::startupStepLeadsOn_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("guide");
    QTest::addColumn<int>("settingsScreen");
    QTest::addColumn<bool>("message");
    QTest::addColumn<bool>("hiddenByStep");
    QTest::addColumn<qint16>("opacity");

    QTest::newRow("complete file") << true << completeFile << 1 << 0 << false << true << qint16(80);
    QTest::newRow("three values") << true << QByteArray("0\r\n\"m\"\r\n0\r\n") << 1 << 0 << false
                                  << true << qint16(0);
    QTest::newRow("no file") << false << QByteArray() << 0 << 1 << false << false << qint16(100);
    QTest::newRow("letter on line 1")
        << true << QByteArray("a\r\n") << 0 << 0 << true << false << qint16(0);
}

void TestSplash::startupStepLeadsOn()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, contents);
    QFETCH(int, guide);
    QFETCH(int, settingsScreen);
    QFETCH(bool, message);
    QFETCH(bool, hiddenByStep);
    QFETCH(qint16, opacity);

    Fixture f;
    if (exists)
        f.writeSettings(contents);
    Visits visits;
    SplashScreen splash;
    splash.setNavigation(visits.navigation());
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));

    splash.runStartupStep();

    QCOMPARE(visits.guide, guide);
    QCOMPARE(visits.settingsScreen, settingsScreen);
    QCOMPARE(visits.messages.size(), message ? 1 : 0);
    if (message)
        QVERIFY2(visits.messages.first().contains(QStringLiteral("config.txt")),
                 qPrintable(visits.messages.first()));
    QCOMPARE(f.program.state.settings.opacity, opacity);
    QCOMPARE(splash.isVisible(), !hiddenByStep);
    // Either way the splash is gone at its next repaint, and the minute timer runs on.
    QTRY_VERIFY(!splash.isVisible());
    QVERIFY(splash.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
    QCOMPARE(visits.exits, 0);
}

void TestSplash::startupStepFiresAfterThreeSeconds()
{
    Fixture f;
    f.writeSettings(completeFile);
    Visits visits;
    QElapsedTimer elapsed;
    elapsed.start();
    SplashScreen splash;
    splash.setNavigation(visits.navigation());
    splash.show();

    QTRY_COMPARE_WITH_TIMEOUT(visits.guide, 1, 6000);
    // A coarse timer may fire up to 5 % early.
    QVERIFY2(elapsed.elapsed() >= 2850, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY(!splash.isVisible());
    QTest::qWait(200);
    QCOMPARE(visits.guide, 1);
}

void TestSplash::hidesOnRepaintOnlyAfterStep()
{
    Fixture f;
    f.writeSettings(completeFile);
    Visits visits;
    SplashScreen splash;
    splash.setNavigation(visits.navigation());
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));

    splash.repaint();
    QCoreApplication::processEvents();
    QVERIFY(splash.isVisible());

    splash.runStartupStep();
    QVERIFY(!splash.isVisible());
    splash.runStartupStep(); // the step runs once only
    QCOMPARE(visits.guide, 1);

    // Whatever brings it back into view, its first repaint sends it away again.
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    splash.repaint();
    QTRY_VERIFY(!splash.isVisible());
}

void TestSplash::closingExitsOnce()
{
    Fixture f;
    Visits visits;
    SplashScreen splash;
    splash.setNavigation(visits.navigation());
    splash.show();
    QVERIFY(splash.close());
    // A second close (the program's exit closing what is left) does not come back.
    splash.show();
    splash.close();
    QCOMPARE(visits.exits, 1);
    // Unloading stops both timers: no start-up step follows the close.
    QVERIFY(!splash.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
    QTest::qWait(50);
    QCOMPARE(visits.guide + visits.settingsScreen, 0);
}

void TestSplash::minuteTick()
{
    Fixture f;
    f.program.state.settings.writeChannelMap = 1;
    SplashScreen splash;
    auto actions = std::make_unique<MapOnlyActions>();
    MapOnlyActions* seen = actions.get();
    splash.setTickActions(std::move(actions));

    splash.runMinuteTick(); // the fixture's clock stands at 00:30
    QCOMPARE(seen->maps, 1);
    f.clock.setNow(wallClock(QDate(2003, 12, 14), QTime(0, 31)));
    splash.runMinuteTick();
    QCOMPARE(seen->maps, 1);

    // A store error ends the tick, not the program, and the request is still used up.
    seen->failChecks = true;
    f.program.state.rescheduleRequested = true;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("dates row missing")));
    splash.runMinuteTick();
    QVERIFY(!f.program.state.rescheduleRequested);
}

void TestSplash::lockKeepsSecondOut()
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(singleInstanceLockName());
    {
        SingleInstanceLock first(path);
        QCOMPARE(first.tryAcquire(), SingleInstanceLock::Result::Acquired);
        QVERIFY(first.isHeld());

        SingleInstanceLock second(path);
        QCOMPARE(second.tryAcquire(), SingleInstanceLock::Result::HeldByAnother);
        QVERIFY(!second.isHeld());
        // However long the first copy has been running, its lock stays good.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                 QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(second.tryAcquire(), SingleInstanceLock::Result::HeldByAnother);
    }
    QVERIFY(!QFile::exists(path));
    SingleInstanceLock next(path);
    QCOMPARE(next.tryAcquire(), SingleInstanceLock::Result::Acquired);
}

void TestSplash::staleLockDoesNotBlock()
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(singleInstanceLockName());

    // The lock file a crashed copy leaves: the format this process writes, with the process id
    // of a process that has ended.
    QByteArray contents;
    {
        SingleInstanceLock model(QDir(dir.path()).filePath(QStringLiteral("model.lock")));
        QCOMPARE(model.tryAcquire(), SingleInstanceLock::Result::Acquired);
        QFile f(QDir(dir.path()).filePath(QStringLiteral("model.lock")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        contents = f.readAll();
    }
    QProcess ended;
    ended.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exit 0")});
    QVERIFY(ended.waitForStarted());
    const qint64 deadPid = ended.processId();
    QVERIFY(ended.waitForFinished());
    const qsizetype firstLineEnd = contents.indexOf('\n');
    QVERIFY(firstLineEnd > 0);
    QCOMPARE(contents.left(firstLineEnd), QByteArray::number(QCoreApplication::applicationPid()));
    contents.replace(0, firstLineEnd, QByteArray::number(deadPid));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contents);
    }

    SingleInstanceLock lock(path);
    QCOMPARE(lock.tryAcquire(), SingleInstanceLock::Result::Acquired);
    // And it is this process's lock now.
    SingleInstanceLock other(path);
    QCOMPARE(other.tryAcquire(), SingleInstanceLock::Result::HeldByAnother);
}

void TestSplash::lockInMissingFolderIsUnavailable()
{
    QTemporaryDir dir;
    SingleInstanceLock lock(
        QDir(dir.path()).filePath(QStringLiteral("no-such-folder/") + singleInstanceLockName()));
    QCOMPARE(lock.tryAcquire(), SingleInstanceLock::Result::Unavailable);
    QVERIFY(!lock.errorText().isEmpty());
}

void TestSplash::secondProgramEndsSilently()
{
#ifndef ZARVO_GUIDE_BIN
    QSKIP("the program's path is not known to this build");
#else
    const QString program = QStringLiteral(ZARVO_GUIDE_BIN);
    SingleInstanceLock running(
        QDir(QFileInfo(program).absolutePath()).filePath(singleInstanceLockName()));
    if (running.tryAcquire() != SingleInstanceLock::Result::Acquired)
        QSKIP("a copy of the program is running from the build folder");

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Without a runtime folder Qt itself would say so on standard error.
    QTemporaryDir runtime;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    second.setProcessEnvironment(env);
    second.start(program, {});
    QVERIFY(second.waitForStarted());
    // A copy that did not notice the first one would sit in its event loop until killed.
    const bool ended = second.waitForFinished(15000);
    if (!ended) {
        second.kill();
        second.waitForFinished();
    }
    QVERIFY(ended);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(second.readAllStandardOutput(), QByteArray());
    QCOMPARE(second.readAllStandardError(), QByteArray());
#endif
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
