#pragma once
// The thin layer the screens stand on: twip geometry, the layout table that rescales a screen
// with its window, and message boxes with the application's title.

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QVector>
#include <QWidget>

namespace zarvo::ui {

// Screen layouts are recorded in twips, 15 to a pixel at 96 dots per inch.
constexpr int TwipsPerPixel = 15;
constexpr int pixels(int twips)
{
    return twips / TwipsPerPixel;
}
constexpr QRect twipRect(int left, int top, int width, int height)
{
    return QRect(pixels(left), pixels(top), pixels(width), pixels(height));
}

// Rounds to the nearest whole number with halves going to the even neighbour (2.5 gives 2,
// 3.5 gives 4, -2.5 gives -2), as the screens' sizes and opacity have always been rounded.
// Values beyond the range of int are clamped; NaN gives 0.
int roundHalfEven(double value);

// A design point size at a window scale factor: base × factor.
double scaledPointSize(double basePointSize, double factor);
// Gives the widget's font the scaled size. Returns false, leaving the font as it was, when the
// result is no usable size (zero, negative, not finite) or the widget is null.
bool scaleFont(QWidget* widget, double basePointSize, double factor);

// A screen's controls at design size, so that any window size can be laid out afresh from the
// design rather than from the last, already rounded, layout.
class LayoutTable
{
public:
    // Records the widgets' present geometry (relative to their parents) as their design
    // geometry, after those already recorded.
    void record(const QList<QWidget*>& widgets);
    void record(QWidget* widget);
    void clear() { m_entries.clear(); }
    int size() const { return int(m_entries.size()); }
    QWidget* widget(int index) const;
    // Design geometry in pixels, and in twips as the layouts are written.
    QRect designGeometry(int index) const;
    QRect designTwips(int index) const;

    // Lays every recorded control out at the scale: width and left × xFactor, height and top ×
    // yFactor, each rounded half to even. Controls destroyed since recording are skipped, and so
    // is the whole step when a factor is negative or not finite.
    void apply(double xFactor, double yFactor) const;

private:
    struct Entry
    {
        QPointer<QWidget> widget;
        QRect design;
    };
    QVector<Entry> m_entries;
};

// The title every message box carries.
QString applicationTitle();

// An OK message box with the application's title; returns when it is closed.
void messageBox(QWidget* parent, const QString& text);
// The same box asking a question, with two buttons: `yes` and `no` (which has the focus, so
// that a second OK does not do it by mistake; Left and Right move between them). True when
// `yes` was pressed; closing the box any other way (Escape) answers no.
bool confirm(QWidget* parent, const QString& text, const QString& yes, const QString& no);
// The same box, shown without waiting for it: it stays up until OK and blocks nothing, so
// timers and other windows go on meanwhile. It deletes itself when closed.
QMessageBox* notice(QWidget* parent, const QString& text);

} // namespace zarvo::ui
