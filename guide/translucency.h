#pragma once
// Drawing the guide's window translucent over whatever lies behind it, where the windowing
// system can: a compositing X11 or Wayland desktop. Elsewhere (the offscreen platform of the
// tests, a plain framebuffer) the calls report false and the window stays opaque.

class QWidget;

namespace zarvo {

// Whether the running platform plugin can draw a whole window translucent.
bool translucencySupported();

// The window that carries the translucency for a widget: its top-level window.
QWidget* topLevelWindow(QWidget* widget);

// Gives the widget's top-level window the opacity alpha / 255 (0 invisible, 255 opaque).
// Returns true when applied; false, changing nothing, when the platform cannot, the widget is
// null or alpha lies outside 0..255.
bool setWindowTranslucency(QWidget* widget, int alpha);

// Makes the widget's top-level window opaque again. False when the platform cannot draw
// translucency (the window is then opaque anyway) or the widget is null.
bool clearWindowTranslucency(QWidget* widget);

// The alpha for the opacity setting (percent): settings from 20 to 100 give opacity / 100 × 255
// rounded to the nearest whole number, halves to even (50 gives 128); anything outside that
// range gives 255, opaque.
int opacityAlpha(int opacitySetting);

// Applies the opacity setting to the widget's window: translucent with opacityAlpha, or cleared
// when that is 255. Returns the alpha.
int applyOpacitySetting(QWidget* widget, int opacitySetting);

} // namespace zarvo
