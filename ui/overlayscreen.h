#pragma once
// The frame of the viewer's screens over the guide (the programme's info, the search, the
// recordings): a frameless window of the guide's own that covers the guide's window, on black
// with the guide's blue frame, its texts in Arial (Liberation Sans where Arial is missing)
// scaled from design point sizes to the window's height as the guide scales its own (the
// guide's design height of 8670 twips).
//
// showOver() shows it without waiting; the guide's window gets no input while it is up. Keys
// are taken on release as virtual-key codes (ui::toVirtualKey), auto-repeated releases skipped,
// and go to keyReleased(); Escape and the remote's Back close the screen, and so does Backspace
// unless the screen takes it (backspaceCloses()). Closing hides the screen and emits closed();
// the screen stays loaded for its next showing.

#include <QDialog>
#include <QFont>
#include <QPointer>
#include <QVector>

class QLabel;
class QTableWidget;

namespace zarvo::ui {

class OverlayScreen : public QDialog
{
    Q_OBJECT
public:
    // The guide's design height in pixels, against which the fonts are scaled.
    static constexpr double DesignHeightPixels = 8670.0 / 15;

    explicit OverlayScreen(QWidget* parent = nullptr);

    // Shows the screen over `guide`'s window (its own size when `guide` is null) and returns at
    // once; brings it to the front when it is up already.
    void showOver(QWidget* guide);
    // Hides the screen and emits closed() (once, when it was showing).
    void dismiss();
    // The height / design height factor the fonts are scaled by.
    double scale() const;

Q_SIGNALS:
    void closed();

protected:
    // A key let go, as a virtual-key code; the close keys come here only when they do not close.
    virtual void keyReleased(int code) = 0;
    // Whether Backspace closes the screen now; true unless a subclass has a text to edit.
    virtual bool backspaceCloses() const { return true; }

    // A label of the screen's look whose font follows the window's size: `points` at design
    // size, bold or not, white or the secondary light blue.
    enum class Tone { Plain, Secondary };
    QLabel* label(const char* name, double points, bool bold = false, Tone tone = Tone::Plain);
    // Gives any widget the screen's font at `points` design size, kept scaled like the labels.
    void scaleWith(QWidget* widget, double points, bool bold = false);
    // A list of rows in the screen's look, with column headings: read-only, one row chosen at a
    // time (drawn in the guide's blue), never taking the focus (the screen moves it), rows as
    // high as their text. Every column as wide as its texts but `stretchColumn`, which takes
    // the rest.
    QTableWidget* list(const char* name, const QStringList& columns, int stretchColumn,
                       double points);
    static QFont tvFont(double pointSize, bool bold);
    // Handles a key release as the screen's own (see the header comment); false for a key that
    // has no virtual-key code or repeats. For a control that keeps its releases to itself.
    bool takeRelease(QKeyEvent* event);

    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Scaled
    {
        QPointer<QWidget> widget;
        double points;
        bool bold;
    };
    void applyFonts();
    void styleList(QTableWidget* table) const;

    QVector<Scaled> m_scaled;
    QVector<QPointer<QTableWidget>> m_lists;
};

} // namespace zarvo::ui
