#include "app/splash.h"

#include "app/program.h"
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

namespace zarvo {
namespace {

constexpr int StartupDelayMs = 3000;

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

} // namespace

SplashScreen::SplashScreen(Program& program, QWidget* parent)
    : QWidget(parent), m_program(program), m_logo(new QLabel(this)), m_version(new QLabel(this)),
      m_tick(nullptr), m_timer2(new QTimer(this))
{
    m_program.state.rescheduleRequested = false;

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
        fittedLogo(ui::picturePath(m_program.folder.path(), ui::pictures::Logo), m_logo->size()));

    m_version->setObjectName(QStringLiteral("Label2"));
    m_version->setGeometry(ui::twipRect(2040, 2160, 615, 375));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    font.setBold(true);
    m_version->setFont(font);
    m_version->setText(versionText());

    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());

    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setSingleShot(true);
    m_timer2->setInterval(StartupDelayMs);
    connect(m_timer2, &QTimer::timeout, this, &SplashScreen::runStartupStep);
    m_timer2->start();

    m_tick = new MinuteTick(m_program, this);
    connect(m_tick, &MinuteTick::report, this, &SplashScreen::showNotice);
    connect(m_tick, &MinuteTick::guideRequested, this, &SplashScreen::guideRequested);
}

SplashScreen::~SplashScreen() = default;

QString SplashScreen::versionText() const
{
    return QStringLiteral(ZARVO_VERSION_TEXT);
}

void SplashScreen::showNotice(const QString& text)
{
    if (m_notice)
        m_notice->setText(text);
    else
        m_notice = ui::notice(nullptr, text);
}

void SplashScreen::runStartupStep()
{
    m_timer2->stop();
    if (m_stepRan)
        return;
    m_stepRan = true;

    const StartupOutcome outcome = zarvo::runStartupStep(m_program.folder, m_program.state);
    switch (outcome.next) {
    case StartupOutcome::Next::ShowGuide:
        hide();
        Q_EMIT guideRequested();
        return;
    case StartupOutcome::Next::ShowSettingsScreen:
        Q_EMIT settingsRequested();
        break;
    case StartupOutcome::Next::Stop:
        Q_EMIT startupFailed(outcome.message);
        // Nothing can be opened without the settings: after OK the program ends, and with it
        // the lock, so the next start reads the corrected file.
        m_tick->timer()->stop();
        update();
        Q_EMIT exitRequested();
        return;
    }
    // The step itself leaves the splash up in these cases; it goes at its next repaint, which
    // is asked for here rather than left to whether the window system happens to send one.
    update();
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
    m_tick->timer()->stop();
    m_timer2->stop();
    Q_EMIT exitRequested();
}

} // namespace zarvo
