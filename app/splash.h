#pragma once
// frmSplash: the small black window with the logo and the version that the program opens with.
//
// It is more than a picture: it owns the program's two timers.
// - Timer2 fires once, 3000 ms after load, and runs the start-up step (app/startup.h): read
//   config.txt, then hide and ask for the guide, or (no config.txt) ask for the settings screen,
//   or (a value that cannot be read) ask for the error to be shown, naming the file and the
//   line, and then for the program's end (which releases the single-instance lock).
// - Timer1 is the minute tick (app/minutetick.h), which runs for as long as the splash screen is
//   loaded. What the tick has to report is shown as a notice that does not wait for an answer:
//   the next tick runs on time while it is up. One notice at a time: a night of failing ticks
//   shows the latest failure, not a pile.
// After the start-up step the splash screen hides itself whenever it would repaint, and stays
// loaded (hidden) so that the minute tick keeps running behind the other screens.
//
// Closing it (the window's close button during the first seconds) asks for the program's end.
// Unloading it (app/screens.h) does not close it and so does not come back here.

#include "app/minutetick.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QMessageBox;

namespace zarvo {

class Program;

class SplashScreen : public QWidget
{
    Q_OBJECT
public:
    // The program (its folder for the logo, its state and clock) must outlive the screen.
    explicit SplashScreen(Program& program, QWidget* parent = nullptr);
    ~SplashScreen() override;

    // The program's version: major, minor and revision joined by points ("1.0.12").
    QString versionText() const;

    MinuteTick& minuteTick() { return *m_tick; }

    // True once Timer2 is disabled: the start-up step has run (or is running).
    bool startupStepDone() const { return !m_timer2->isActive(); }

public Q_SLOTS:
    // Timer2: the start-up step. Runs once; later calls do nothing.
    void runStartupStep();

Q_SIGNALS:
    // The start-up step read config.txt (and has hidden the splash), or the minute tick stored
    // the first programme of a day it fetched.
    void guideRequested();
    // The start-up step found no config.txt.
    void settingsRequested();
    // The start-up step could not read a value of config.txt: `message` is to be shown, and
    // waited for, before exitRequested follows.
    void startupFailed(const QString& message);
    // The program is to end: the window was closed, or the settings could not be read.
    void exitRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showNotice(const QString& text);

    Program& m_program;
    QLabel* m_logo;
    QLabel* m_version;
    MinuteTick* m_tick;
    QTimer* m_timer2;
    QPointer<QMessageBox> m_notice;
    bool m_stepRan = false;
    bool m_unloading = false;
};

} // namespace zarvo
