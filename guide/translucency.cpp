#include "guide/translucency.h"

#include "ui/forms.h"

#include <QGuiApplication>
#include <QWidget>

namespace zarvo {

bool translucencySupported()
{
    // Only these two plugins pass a window's opacity on to a compositor; the others accept
    // setWindowOpacity() and silently draw the window opaque.
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform == QLatin1String("wayland");
}

QWidget* topLevelWindow(QWidget* widget)
{
    return widget ? widget->window() : nullptr;
}

bool setWindowTranslucency(QWidget* widget, int alpha)
{
    QWidget* window = topLevelWindow(widget);
    if (!window || alpha < 0 || alpha > 255 || !translucencySupported())
        return false;
    window->setWindowOpacity(alpha / 255.0);
    return true;
}

bool clearWindowTranslucency(QWidget* widget)
{
    QWidget* window = topLevelWindow(widget);
    if (!window || !translucencySupported())
        return false;
    window->setWindowOpacity(1.0);
    return true;
}

int opacityAlpha(int opacitySetting)
{
    if (opacitySetting < 20 || opacitySetting > 100)
        return 255;
    return ui::roundHalfEven(opacitySetting / 100.0 * 255.0);
}

int applyOpacitySetting(QWidget* widget, int opacitySetting)
{
    const int alpha = opacityAlpha(opacitySetting);
    if (alpha == 255)
        clearWindowTranslucency(widget);
    else
        setWindowTranslucency(widget, alpha);
    return alpha;
}

} // namespace zarvo
