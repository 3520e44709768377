#pragma once
// The minute tick the program runs for as long as its splash screen is loaded: a timer firing
// every 60000 ms (Timer1) that runs minuteTick() (app/startup.h) with the program's state and
// clock. It starts when made. What a tick has to report (a channel map that cannot be written,
// a batch that cannot be started, a rule's hand-off that failed) goes out as report(); the
// screens show it without waiting for an answer, so the next tick runs on time while it is up.

#include "app/startup.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace zarvo {

class Program;

class MinuteTick : public QObject
{
    Q_OBJECT
public:
    // The program must outlive the tick.
    explicit MinuteTick(Program& program, QObject* parent = nullptr);
    ~MinuteTick() override;

    // The tick's actions; by default ProgramTickActions on the program, their reports and the
    // guide they ask for given out as the signals below.
    TickActions& actions() { return *m_actions; }
    // Replaces them (null keeps them).
    void setActions(std::unique_ptr<TickActions> actions);
    // Timer1, for stopping it and for tests that shorten the minute.
    QTimer* timer() const { return m_timer; }

public Q_SLOTS:
    // One tick now. An exception (a store error) ends the tick and is logged; the timer goes on.
    void run();

Q_SIGNALS:
    // A failure the viewer has to see.
    void report(const QString& text);
    // The first programme of a day the tick fetched has been stored: the guide is to be shown,
    // loading it when it is not loaded.
    void guideRequested();

private:
    Program& m_program;
    QTimer* m_timer;
    std::unique_ptr<TickActions> m_actions;
};

} // namespace zarvo
