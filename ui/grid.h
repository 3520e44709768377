#pragma once
// A custom-painted listings grid for a television screen: fixed header row and channel column,
// per-cell text and picture, rows whose equal neighbouring cells are drawn as one, and a current
// cell that the viewer moves from the sofa with the arrow keys or the mouse.

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QVector>
#include <QWidget>

#include <optional>

namespace zarvo::ui {

// Cell alignment codes as the screen layouts number them: the first digit of the name is the
// horizontal place, the second the vertical one. The guide uses LeftCenter (1) for titles and
// channel names, CenterCenter (4) for the header times and RightCenter (7) for the day name and
// the recording markers.
enum class CellAlignment {
    LeftTop = 0,
    LeftCenter = 1,
    LeftBottom = 2,
    CenterTop = 3,
    CenterCenter = 4,
    CenterBottom = 5,
    RightTop = 6,
    RightCenter = 7,
    RightBottom = 8,
};

// The Qt alignment flags of a code.
Qt::Alignment toQtAlignment(CellAlignment alignment);
// The code of a raw number, or LeftCenter when the number is not a code (0 to 8).
CellAlignment cellAlignmentFromCode(int code);

// The columns one painted cell covers in a row: first == last for an ordinary cell, a wider
// range where a merged row draws equal neighbours as one.
struct ColumnSpan
{
    int first = -1;
    int last = -1;
    int count() const { return last - first + 1; }
    bool contains(int col) const { return col >= first && col <= last; }
    friend bool operator==(const ColumnSpan&, const ColumnSpan&) = default;
};

class Grid : public QWidget
{
    Q_OBJECT
public:
    // The colours the grid paints with; the defaults are the guide's television look.
    struct Colors
    {
        QColor background{0, 0, 0};          // behind and between the cells
        QColor fixedFill{22, 38, 74};        // header row and channel column
        QColor cellFill{22, 26, 36};         // programme cells
        QColor currentFill{46, 70, 128};     // the current cell (or its merged span)
        QColor currentFrame{255, 196, 0};    // frame of the current cell while focused
        QColor inactiveFrame{150, 150, 150}; // the same frame while focus is elsewhere
        QColor text{255, 255, 255};          // all cell text
        QColor fixedText{220, 228, 245};     // header and channel text
        QColor nowLine{255, 72, 56};         // the line at the present minute
        QColor progress{120, 200, 255};      // a running programme's bar
        QColor arrow{220, 228, 245};         // the arrows of a programme cut by the window
    };

    // How a programme cell stands to the present and to the window, painted with its text:
    // its fill (a genre's tint), dimmed when the programme has ended, a thin bar along its
    // bottom showing how far it has run, and a small arrow at the left (it began before the
    // window) or at the right (it goes on after it), which takes room from the text. A merged
    // span is painted with its first cell's look. The current cell keeps currentFill.
    struct CellLook
    {
        QColor fill; // invalid: Colors::cellFill
        bool dimmed = false;
        double progress = -1; // 0..1 while the programme runs; below 0: no bar
        bool arrowLeft = false;
        bool arrowRight = false;
        bool operator==(const CellLook&) const = default;
    };

    // The grid has one fixed row and one fixed column; it has at least 2 rows and 2 columns.
    explicit Grid(int rows = 10, int cols = 3, QWidget* parent = nullptr);
    ~Grid() override;

    int rowCount() const { return m_rows; }
    int columnCount() const { return m_cols; }
    static constexpr int fixedRows() { return 1; }
    static constexpr int fixedColumns() { return 1; }
    // Changes the dimensions, keeping the cells that remain; the current cell is pulled back
    // inside silently (no signal).
    void setDimensions(int rows, int cols);

    // Cell contents. Reads outside the grid give empty values; writes outside it are ignored.
    QString text(int row, int col) const;
    void setText(int row, int col, const QString& text);
    CellAlignment alignment(int row, int col) const;
    void setAlignment(int row, int col, CellAlignment alignment);
    QPixmap picture(int row, int col) const;
    // A null pixmap removes the picture. Pictures are fitted into the cell's height (and at most
    // half its width), keeping their aspect; one at the left or right pushes the text aside, and
    // a left one also drops the text's leading blanks, which only made room for it.
    void setPicture(int row, int col, const QPixmap& picture);
    CellAlignment pictureAlignment(int row, int col) const;
    void setPictureAlignment(int row, int col, CellAlignment alignment);
    CellLook look(int row, int col) const;
    void setLook(int row, int col, const CellLook& look);
    // Removes text, picture and look of every cell of a row; alignments and the merge flag stay.
    void clearRow(int row);

    // The now line: a thin vertical line down the programme rows at `fraction` (0 to 1) of the
    // programme columns' width, with a small mark in the header row; nullopt shows none.
    std::optional<double> nowLine() const { return m_nowLine; }
    void setNowLine(std::optional<double> fraction);
    // Where it is painted; empty when none is shown.
    QRect nowLineRect() const;

    // A merged row draws neighbouring cells with the same non-empty text as one cell; the fixed
    // column never merges with programme cells. Text, alignment and the first picture of the
    // span's cells are drawn across the whole span.
    bool isRowMerged(int row) const;
    void setRowMerged(int row, bool merged);
    ColumnSpan spanAt(int row, int col) const;

    // Geometry in pixels. Cells lie edge to edge from the top-left corner; space beyond the
    // last row and column shows the background. The fixed cells' text is drawn in bold.
    int columnWidth(int col) const;
    void setColumnWidth(int col, int width);
    int rowHeight(int row) const;
    void setRowHeight(int row, int height);
    QRect cellRect(int row, int col) const;
    // The painted rectangle of the span the cell belongs to.
    QRect spanRect(int row, int col) const;
    // The row or column under a point of the widget, or -1.
    int rowAt(int y) const;
    int columnAt(int x) const;

    // The current cell is always a programme cell (never in the fixed row or column). Arrow
    // keys move it one cell up or down, and sideways out of the span it is in: in a merged row
    // Left and Right step over the whole span, so one press always reaches the next programme.
    // An arrow that cannot move it (Up in the first programme row, Down in the last, Left from
    // the first programme column, Right from the last) is reported by edgeReached instead.
    // It is framed in currentFrame while the grid has the focus, in inactiveFrame otherwise.
    int currentRow() const { return m_currentRow; }
    int currentColumn() const { return m_currentCol; }
    // Moves the current cell, pulled inside the programme cells. With notify, emits
    // currentCellChanged when the cell actually changes; without, the move is silent (used
    // while a hidden grid is being filled).
    void setCurrentCell(int row, int col, bool notify = true);

    // Whether the grid can take the input focus; switching it off also takes the focus away.
    void setFocusable(bool focusable);
    bool isFocusable() const { return focusPolicy() != Qt::NoFocus; }

    const Colors& colors() const { return m_colors; }
    void setColors(const Colors& colors);

    // The text as painted in the current geometry and font: elided with "…" when it does not
    // fit; empty for cells covered by a span they do not start.
    QString shownText(int row, int col) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    // The viewer moved the current cell (arrow key, mouse), or setCurrentCell with notify.
    void currentCellChanged(int row, int col);
    // A key was let go while the grid had the keyboard: its virtual-key code (ui/keycodes).
    // Auto-repeat releases and keys without a code are not reported; reported releases do not
    // travel on to the parent.
    void keyReleased(int virtualKey);
    // An arrow key pressed (held ones too) where the current cell cannot go that way: its
    // virtual-key code (Up, Down, Left or Right).
    void edgeReached(int virtualKey);
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Cell
    {
        QString text;
        QPixmap picture;
        CellAlignment alignment = CellAlignment::LeftCenter;
        CellAlignment pictureAlignment = CellAlignment::LeftCenter;
        CellLook look;
        // The picture fitted to the size it was last painted at.
        mutable QPixmap fitted;
        mutable QSize fittedFor;
    };
    struct SpanLayout;

    bool contains(int row, int col) const;
    Cell* cellPtr(int row, int col);
    const Cell* cellPtr(int row, int col) const;
    void recomputeOffsets();
    SpanLayout layoutSpan(int row, ColumnSpan span) const;
    void paintSpan(QPainter& painter, int row, ColumnSpan span) const;
    void paintNowLine(QPainter& painter) const;
    void moveCurrent(int row, int col, bool notify);
    void updateRow(int row);

    int m_rows = 0;
    int m_cols = 0;
    QVector<Cell> m_cells; // row-major
    QVector<bool> m_merged;
    QVector<int> m_colWidths;
    QVector<int> m_rowHeights;
    QVector<int> m_colX; // left edge of each column, plus the right edge of the last
    QVector<int> m_rowY;
    int m_currentRow = 1;
    int m_currentCol = 1;
    std::optional<double> m_nowLine;
    Colors m_colors;
};

} // namespace zarvo::ui
