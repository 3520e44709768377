#include "app/splash.h"

#include "app/program.h"
#include "app/screens.h"
#include "ui/forms.h"
#include "ui/pictures.h"

#include <QCloseEvent>
#include <QDebug>
#include <QFont>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QScreen>

#include <exception>

namespace zarvo {
namespace {

constexpr int StartupDelayMs = 3000;
constexpr int TickIntervalMs = 60000;

// The logo is square and its box is not: it is scaled to fit whole and centred, never stretched.
QPixmap fittedLogo(const QString& path, QSize box)
{
    QPixmap logo(path);
    if (logo.isNull()) {
        qWarning().noquote() << "Splash logo not found:" << path;
        return logo;
    }
    return logo.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

SplashScreen::Navigation programScreens()
{
    SplashScreen::Navigation nav;
    nav.showGuide = &screens::showGuide;
    nav.showSettingsScreen = &screens::showSettings;
    nav.showMessage = [](const QString& text) { ui::messageBox(nullptr, text); };
    nav.exitProgram = &screens::exitProgram;
    // One notice at a time: a night of failing ticks shows the latest failure, not a pile.
    nav.showNotice = [](const QString& text) {
        static QPointer<QMessageBox> shown;
        if (shown)
            shown->setText(text);
        else
            shown = ui::notice(nullptr, text);
    };
    return nav;
}

} // namespace

SplashScreen::SplashScreen(QWidget* parent)
    : QWidget(parent), m_logo(new QLabel(this)), m_version(new QLabel(this)),
      m_timer1(new QTimer(this)), m_timer2(new QTimer(this)), m_navigation(programScreens())
{
    Program& prog = program();
    prog.state.rescheduleRequested = false;

    setWindowTitle(ui::applicationTitle());
    setFixedSize(ui::pixels(4680), ui::pixels(3195));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);

    m_logo->setObjectName(QStringLiteral("Picture1"));
    m_logo->setGeometry(ui::twipRect(1320, 600, 1935, 1455));
    m_logo->setAlignment(Qt::AlignCenter);
    m_logo->setPixmap(
        fittedLogo(ui::picturePath(prog.folder.path(), ui::pictures::Logo), m_logo->size()));

    m_version->setObjectName(QStringLiteral("Label2"));
    m_version->setGeometry(ui::twipRect(2040, 2160, 615, 375));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    font.setBold(true);
    m_version->setFont(font);
    m_version->setText(versionText());

    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());

    // Looked up when called, so that a later setNavigation() reaches the tick too.
    auto actions = std::make_unique<ProgramTickActions>(prog);
    actions->showGuide = [this] {
        if (m_navigation.showGuide)
            m_navigation.showGuide();
    };
    // Never a box that waits: a tick still inside its handler would hold off every later one.
    actions->showMessage = [this](const QString& text) {
        if (m_navigation.showNotice)
            m_navigation.showNotice(text);
        else if (m_navigation.showMessage)
            m_navigation.showMessage(text);
    };
    m_tickActions = std::move(actions);

    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setSingleShot(true);
    m_timer2->setInterval(StartupDelayMs);
    connect(m_timer2, &QTimer::timeout, this, &SplashScreen::runStartupStep);
    m_timer2->start();

    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(TickIntervalMs);
    // A coarse timer may wander by seconds either way, which could put two ticks into one
    // minute (two nightly checks in one hour) as easily as skip one.
    m_timer1->setTimerType(Qt::PreciseTimer);
    connect(m_timer1, &QTimer::timeout, this, &SplashScreen::runMinuteTick);
    m_timer1->start();
}

SplashScreen::~SplashScreen() = default;

QString SplashScreen::versionText() const
{
    return QStringLiteral(ZARVO_VERSION_TEXT);
}

void SplashScreen::setNavigation(Navigation navigation)
{
    m_navigation = std::move(navigation);
}

void SplashScreen::setTickActions(std::unique_ptr<TickActions> actions)
{
    if (actions)
        m_tickActions = std::move(actions);
}

void SplashScreen::runStartupStep()
{
    m_timer2->stop();
    if (m_stepRan)
        return;
    m_stepRan = true;

    const StartupOutcome outcome = zarvo::runStartupStep(program().folder, program().state);
    switch (outcome.next) {
    case StartupOutcome::Next::ShowGuide:
        hide();
        if (m_navigation.showGuide)
            m_navigation.showGuide();
        return;
    case StartupOutcome::Next::ShowSettingsScreen:
        if (m_navigation.showSettingsScreen)
            m_navigation.showSettingsScreen();
        break;
    case StartupOutcome::Next::Stop:
        if (m_navigation.showMessage)
            m_navigation.showMessage(outcome.message);
        // Nothing can be opened without the settings: after OK the program ends, and with it
        // the lock, so the next start reads the corrected file.
        m_timer1->stop();
        update();
        if (m_navigation.exitProgram)
            m_navigation.exitProgram();
        return;
    }
    // The step itself leaves the splash up in these cases; it goes at its next repaint, which
    // is asked for here rather than left to whether the window system happens to send one.
    update();
}

void SplashScreen::runMinuteTick()
{
    try {
        minuteTick(program().state, program().clock, *m_tickActions);
    } catch (const std::exception& e) {
        // Nothing above the timer could handle it; the next tick tries again.
        qWarning().noquote() << "Minute tick failed:" << QString::fromUtf8(e.what());
    }
}

void SplashScreen::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    // Once the step has run the splash must never come back into view. Hidden after the paint
    // has finished, not from inside it.
    if (startupStepDone())
        QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
}

void SplashScreen::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (m_unloading)
        return;
    m_unloading = true;
    m_timer1->stop();
    m_timer2->stop();
    if (m_navigation.exitProgram)
        m_navigation.exitProgram();
}

} // namespace zarvo
