#pragma once
// frmSplash: the small black window with the logo and the version that the program opens with.
//
// It is more than a picture: it owns the program's two timers.
// - Timer2 fires once, 3000 ms after load, and runs the start-up step (app/startup.h): read
//   config.txt, then hide and show the guide, or (no config.txt) lead to the settings screen, or
//   (a value that cannot be read) show the error, naming the file and the line, and after OK
//   end the program (which releases the single-instance lock).
// - Timer1 fires every 60000 ms for as long as the splash screen is loaded and runs the minute
//   tick (app/startup.h) with the program's state and clock. What the tick has to report
//   (a channel map that cannot be written, a batch that cannot be started) is shown as a
//   notice that does not wait for an answer: the next tick runs on time while it is up.
// After the start-up step the splash screen hides itself whenever it would repaint, and stays
// loaded (hidden) so that Timer1 keeps running behind the other screens.
//
// Closing it (the window's close button during the first seconds) unloads it and the guide and
// ends the program (screens::exitProgram). Unloading it through ui::SingleInstance does not
// close it and so does not come back here.
//
// Needs a ProgramScope: the program's folder (for the logo), state and clock are used.

#include "app/startup.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace zarvo {

class SplashScreen : public QWidget
{
    Q_OBJECT
public:
    // Where the start-up step and the unload lead. The defaults are the program's screens
    // (app/screens.h), ui::messageBox (waits for OK) and ui::notice (does not wait).
    struct Navigation
    {
        std::function<void()> showGuide;
        std::function<void()> showSettingsScreen;
        std::function<void(const QString& text)> showMessage;
        std::function<void()> exitProgram;
        // The minute tick's reports; an empty one uses showMessage.
        std::function<void(const QString& text)> showNotice;
    };

    explicit SplashScreen(QWidget* parent = nullptr);
    ~SplashScreen() override;

    // The program's version: major, minor and revision joined by points ("1.0.12").
    QString versionText() const;

    void setNavigation(Navigation navigation);
    // The minute tick's actions; by default ProgramTickActions on the program, with the guide
    // and message boxes hooked up.
    TickActions& tickActions() { return *m_tickActions; }
    void setTickActions(std::unique_ptr<TickActions> actions);

    // True once Timer2 is disabled: the start-up step has run (or is running).
    bool startupStepDone() const { return !m_timer2->isActive(); }
    // Timer1, for tests that shorten the minute.
    QTimer* minuteTimer() const { return m_timer1; }

public Q_SLOTS:
    // Timer2: the start-up step. Runs once; later calls do nothing.
    void runStartupStep();
    // Timer1: the minute tick. A store error ends the tick and is logged; the timer goes on.
    void runMinuteTick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_logo;
    QLabel* m_version;
    QTimer* m_timer1;
    QTimer* m_timer2;
    bool m_stepRan = false;
    bool m_unloading = false;
    Navigation m_navigation;
    std::unique_ptr<TickActions> m_tickActions;
};

} // namespace zarvo
