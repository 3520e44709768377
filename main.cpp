// zarvoguide: the full-screen programme guide.
#include "app/splash.h"
#include "ui/forms.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(zarvo::ui::applicationTitle());
    zarvo::ui::SingleInstance<zarvo::SplashScreen>::instance().show();
    return app.exec();
}
