// zarvoguide: the full-screen programme guide.
#include "app/program.h"
#include "app/screens.h"
#include "app/singleinstance.h"
#include "ui/forms.h"

#include <QApplication>
#include <QDebug>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(zarvo::ui::applicationTitle());
    // The program's life is not tied to its visible windows: the splash screen hides yet keeps
    // the minute tick going, and the guide hides while other screens are up. It ends through
    // the guide's exit (Screens::exitProgram).
    QApplication::setQuitOnLastWindowClosed(false);

    zarvo::ProgramFolder folder = zarvo::ProgramFolder::ofExecutable();

    // One guide per program folder; a second copy goes away without a trace.
    zarvo::SingleInstanceLock lock(folder.file(zarvo::singleInstanceLockName()));
    switch (lock.tryAcquire()) {
    case zarvo::SingleInstanceLock::Result::Acquired:
        break;
    case zarvo::SingleInstanceLock::Result::HeldByAnother:
        return 0;
    case zarvo::SingleInstanceLock::Result::Unavailable:
        // Refusing to start would be worse than the small chance of a second copy.
        qWarning().noquote() << "Cannot check for a running copy:" << lock.errorText();
        break;
    }

    zarvo::SystemClock clock;
    zarvo::Program program(std::move(folder), clock);
    // The screens refer to the program: they go before it does (those still loaded with
    // `screens`, those unloaded on the way out just before).
    zarvo::Screens screens(program);

    screens.showSplash();
    const int status = app.exec();
    // A recording chosen just before the exit still reaches the recorder in its turn.
    if (!program.handOffs.finishViewerRequests(40000))
        qWarning().noquote() << "Recording requests not handed over at exit";

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}
