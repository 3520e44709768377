#include "app/minutetick.h"

#include "app/program.h"

#include <QDebug>

#include <exception>

namespace zarvo {
namespace {
constexpr int TickIntervalMs = 60000;
}

MinuteTick::MinuteTick(Program& program, QObject* parent)
    : QObject(parent), m_program(program), m_timer(new QTimer(this))
{
    auto actions = std::make_unique<ProgramTickActions>(program);
    actions->showGuide = [this] { Q_EMIT guideRequested(); };
    // Never an answer waited for: a tick still inside its handler would hold off every later one.
    actions->showMessage = [this](const QString& text) { Q_EMIT report(text); };
    m_actions = std::move(actions);

    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(TickIntervalMs);
    // A coarse timer may wander by seconds either way, which could put two ticks into one
    // minute (two nightly checks in one hour) as easily as skip one.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &MinuteTick::run);
    m_timer->start();
}

MinuteTick::~MinuteTick() = default;

void MinuteTick::setActions(std::unique_ptr<TickActions> actions)
{
    if (actions)
        m_actions = std::move(actions);
}

void MinuteTick::run()
{
    try {
        minuteTick(m_program.state, m_program.clock, *m_actions);
    } catch (const std::exception& e) {
        // Nothing above the timer could handle it; the next tick tries again.
        qWarning().noquote() << "Minute tick failed:" << QString::fromUtf8(e.what());
    }
}

} // namespace zarvo
