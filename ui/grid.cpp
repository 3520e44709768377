#include "ui/grid.h"

#include "ui/keycodes.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace zarvo::ui {

Qt::Alignment toQtAlignment(CellAlignment alignment)
{
    const int code = static_cast<int>(alignment);
    // The code counts down each horizontal place's three vertical places.
    static constexpr Qt::Alignment horizontal[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    static constexpr Qt::Alignment vertical[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
    if (code < 0 || code > 8)
        return Qt::AlignLeft | Qt::AlignVCenter;
    return horizontal[code / 3] | vertical[code % 3];
}

CellAlignment cellAlignmentFromCode(int code)
{
    if (code < 0 || code > 8)
        return CellAlignment::LeftCenter;
    return static_cast<CellAlignment>(code);
}

namespace {

constexpr int DefaultColumnWidth = 120;
constexpr int DefaultRowHeight = 40;
// Black lines between the cells make each one read as a separate tile from across the room;
// they thicken with the rows so that they still show on a large screen.
int cellGap(int rowHeight)
{
    return std::max(2, rowHeight / 24);
}

bool isLeft(CellAlignment a)
{
    return static_cast<int>(a) / 3 == 0;
}

bool isRight(CellAlignment a)
{
    return static_cast<int>(a) / 3 == 2;
}

QString singleLine(QString text)
{
    for (QChar& ch : text) {
        if (ch == u'\n' || ch == u'\r' || ch == u'\t' || ch == QChar::LineSeparator ||
            ch == QChar::ParagraphSeparator)
            ch = u' ';
    }
    return text;
}

// How far an ended programme's fill goes towards the background, and its text towards its fill.
constexpr double DimFill = 0.45;
constexpr double DimText = 0.45;

// `from` moved `by` (0..1) of the way to `to`.
QColor mixed(const QColor& from, const QColor& to, double by)
{
    const auto mix = [by](int a, int b) { return int(std::lround(a + (b - a) * by)); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()),
                  mix(from.blue(), to.blue()));
}

QString withoutLeadingBlanks(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return text.mid(i);
}

} // namespace

// Where the parts of one painted span go; shared by painting and shownText so that what the
// tests read is what the viewer sees.
struct Grid::SpanLayout
{
    QRect box;
    bool fixed = false;
    QFont font;
    QString text;
    QRect textRect;
    Qt::Alignment textAlignment;
    const Cell* pictureCell = nullptr;
    QRect pictureRect;
    CellLook look;
    QRect leftArrow;
    QRect rightArrow;

    QString elided() const
    {
        if (text.isEmpty() || textRect.width() <= 0)
            return {};
        // No cell shows more characters than it has pixels; cutting a huge text first keeps
        // the elision cheap whatever the listings hold.
        const qsizetype room = qsizetype(textRect.width()) + 1;
        const QString candidate = text.size() > room ? text.left(room) : text;
        return QFontMetrics(font).elidedText(candidate, Qt::ElideRight, textRect.width());
    }
};

Grid::Grid(int rows, int cols, QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setDimensions(rows, cols);
}

Grid::~Grid() = default;

void Grid::setDimensions(int rows, int cols)
{
    rows = std::max(rows, fixedRows() + 1);
    cols = std::max(cols, fixedColumns() + 1);
    QVector<Cell> cells(qsizetype(rows) * cols);
    for (int r = 0; r < std::min(rows, m_rows); ++r)
        for (int c = 0; c < std::min(cols, m_cols); ++c)
            cells[qsizetype(r) * cols + c] = m_cells[qsizetype(r) * m_cols + c];
    m_cells = std::move(cells);
    m_merged.resize(rows, false);
    m_colWidths.resize(cols, DefaultColumnWidth);
    m_rowHeights.resize(rows, DefaultRowHeight);
    m_rows = rows;
    m_cols = cols;
    m_currentRow = std::clamp(m_currentRow, fixedRows(), m_rows - 1);
    m_currentCol = std::clamp(m_currentCol, fixedColumns(), m_cols - 1);
    recomputeOffsets();
}

bool Grid::contains(int row, int col) const
{
    return row >= 0 && row < m_rows && col >= 0 && col < m_cols;
}

Grid::Cell* Grid::cellPtr(int row, int col)
{
    return contains(row, col) ? &m_cells[qsizetype(row) * m_cols + col] : nullptr;
}

const Grid::Cell* Grid::cellPtr(int row, int col) const
{
    return contains(row, col) ? &m_cells[qsizetype(row) * m_cols + col] : nullptr;
}

QString Grid::text(int row, int col) const
{
    const Cell* cell = cellPtr(row, col);
    return cell ? cell->text : QString();
}

void Grid::setText(int row, int col, const QString& text)
{
    Cell* cell = cellPtr(row, col);
    if (!cell || cell->text == text)
        return;
    cell->text = text;
    // A changed text can join or split a merged span anywhere in the row.
    updateRow(row);
}

CellAlignment Grid::alignment(int row, int col) const
{
    const Cell* cell = cellPtr(row, col);
    return cell ? cell->alignment : CellAlignment::LeftCenter;
}

void Grid::setAlignment(int row, int col, CellAlignment alignment)
{
    Cell* cell = cellPtr(row, col);
    if (!cell || cell->alignment == alignment)
        return;
    cell->alignment = alignment;
    updateRow(row);
}

QPixmap Grid::picture(int row, int col) const
{
    const Cell* cell = cellPtr(row, col);
    return cell ? cell->picture : QPixmap();
}

void Grid::setPicture(int row, int col, const QPixmap& picture)
{
    Cell* cell = cellPtr(row, col);
    if (!cell)
        return;
    if (cell->picture.isNull() && picture.isNull())
        return;
    cell->picture = picture;
    cell->fitted = QPixmap();
    cell->fittedFor = QSize();
    updateRow(row);
}

CellAlignment Grid::pictureAlignment(int row, int col) const
{
    const Cell* cell = cellPtr(row, col);
    return cell ? cell->pictureAlignment : CellAlignment::LeftCenter;
}

void Grid::setPictureAlignment(int row, int col, CellAlignment alignment)
{
    Cell* cell = cellPtr(row, col);
    if (!cell || cell->pictureAlignment == alignment)
        return;
    cell->pictureAlignment = alignment;
    updateRow(row);
}

void Grid::clearRow(int row)
{
    if (row < 0 || row >= m_rows)
        return;
    for (int c = 0; c < m_cols; ++c) {
        Cell& cell = m_cells[qsizetype(row) * m_cols + c];
        cell.text.clear();
        cell.picture = QPixmap();
        cell.fitted = QPixmap();
        cell.fittedFor = QSize();
        cell.look = CellLook();
    }
    updateRow(row);
}

Grid::CellLook Grid::look(int row, int col) const
{
    const Cell* cell = cellPtr(row, col);
    return cell ? cell->look : CellLook();
}

void Grid::setLook(int row, int col, const CellLook& look)
{
    Cell* cell = cellPtr(row, col);
    if (!cell || cell->look == look)
        return;
    cell->look = look;
    updateRow(row);
}

void Grid::setNowLine(std::optional<double> fraction)
{
    if (fraction)
        fraction = std::clamp(*fraction, 0.0, 1.0);
    if (fraction == m_nowLine)
        return;
    m_nowLine = fraction;
    update();
}

QRect Grid::nowLineRect() const
{
    if (!m_nowLine || m_cols <= fixedColumns() || m_rows <= fixedRows())
        return {};
    const int left = m_colX[fixedColumns()];
    const int width = m_colX.last() - left;
    const int thickness = std::max(2, m_rowHeights[fixedRows()] / 16);
    const int x = left + int(std::lround(*m_nowLine * width)) - thickness / 2;
    const int top = m_rowY[fixedRows()];
    return QRect(std::clamp(x, left, m_colX.last() - thickness), top, thickness,
                 m_rowY.last() - top);
}

bool Grid::isRowMerged(int row) const
{
    return row >= 0 && row < m_rows && m_merged[row];
}

void Grid::setRowMerged(int row, bool merged)
{
    if (row < 0 || row >= m_rows || m_merged[row] == merged)
        return;
    m_merged[row] = merged;
    updateRow(row);
}

ColumnSpan Grid::spanAt(int row, int col) const
{
    if (!contains(row, col))
        return {};
    ColumnSpan span{col, col};
    const QString& t = text(row, col);
    if (!m_merged[row] || t.isEmpty())
        return span;
    // Channel cells and programme cells are different things even when their texts agree.
    const int lowest = col < fixedColumns() ? 0 : fixedColumns();
    const int highest = col < fixedColumns() ? fixedColumns() - 1 : m_cols - 1;
    while (span.first > lowest && text(row, span.first - 1) == t)
        --span.first;
    while (span.last < highest && text(row, span.last + 1) == t)
        ++span.last;
    return span;
}

int Grid::columnWidth(int col) const
{
    return col >= 0 && col < m_cols ? m_colWidths[col] : 0;
}

void Grid::setColumnWidth(int col, int width)
{
    if (col < 0 || col >= m_cols)
        return;
    width = std::max(width, 0);
    if (m_colWidths[col] == width)
        return;
    m_colWidths[col] = width;
    recomputeOffsets();
}

int Grid::rowHeight(int row) const
{
    return row >= 0 && row < m_rows ? m_rowHeights[row] : 0;
}

void Grid::setRowHeight(int row, int height)
{
    if (row < 0 || row >= m_rows)
        return;
    height = std::max(height, 0);
    if (m_rowHeights[row] == height)
        return;
    m_rowHeights[row] = height;
    recomputeOffsets();
}

void Grid::recomputeOffsets()
{
    m_colX.resize(m_cols + 1);
    m_rowY.resize(m_rows + 1);
    m_colX[0] = 0;
    for (int c = 0; c < m_cols; ++c)
        m_colX[c + 1] = m_colX[c] + m_colWidths[c];
    m_rowY[0] = 0;
    for (int r = 0; r < m_rows; ++r)
        m_rowY[r + 1] = m_rowY[r] + m_rowHeights[r];
    updateGeometry();
    update();
}

QRect Grid::cellRect(int row, int col) const
{
    if (!contains(row, col))
        return {};
    return QRect(m_colX[col], m_rowY[row], m_colWidths[col], m_rowHeights[row]);
}

QRect Grid::spanRect(int row, int col) const
{
    const ColumnSpan span = spanAt(row, col);
    if (span.first < 0)
        return {};
    return QRect(QPoint(m_colX[span.first], m_rowY[row]),
                 QPoint(m_colX[span.last + 1] - 1, m_rowY[row + 1] - 1));
}

int Grid::rowAt(int y) const
{
    if (y < 0 || y >= m_rowY.last())
        return -1;
    // The first edge beyond y closes the row that holds it; zero-height rows are skipped.
    return int(std::upper_bound(m_rowY.cbegin(), m_rowY.cend(), y) - m_rowY.cbegin()) - 1;
}

int Grid::columnAt(int x) const
{
    if (x < 0 || x >= m_colX.last())
        return -1;
    return int(std::upper_bound(m_colX.cbegin(), m_colX.cend(), x) - m_colX.cbegin()) - 1;
}

void Grid::setCurrentCell(int row, int col, bool notify)
{
    moveCurrent(row, col, notify);
}

void Grid::moveCurrent(int row, int col, bool notify)
{
    row = std::clamp(row, fixedRows(), m_rows - 1);
    col = std::clamp(col, fixedColumns(), m_cols - 1);
    if (row == m_currentRow && col == m_currentCol)
        return;
    update(spanRect(m_currentRow, m_currentCol));
    m_currentRow = row;
    m_currentCol = col;
    update(spanRect(m_currentRow, m_currentCol));
    if (notify)
        Q_EMIT currentCellChanged(row, col);
}

void Grid::setFocusable(bool focusable)
{
    setFocusPolicy(focusable ? Qt::StrongFocus : Qt::NoFocus);
    if (!focusable && hasFocus())
        clearFocus();
}

void Grid::setColors(const Colors& colors)
{
    m_colors = colors;
    update();
}

QString Grid::shownText(int row, int col) const
{
    const ColumnSpan span = spanAt(row, col);
    if (span.first < 0 || span.first != col)
        return {};
    return layoutSpan(row, span).elided();
}

QSize Grid::sizeHint() const
{
    return QSize(m_colX.last(), m_rowY.last());
}

void Grid::updateRow(int row)
{
    update(QRect(0, m_rowY[row], width(), m_rowHeights[row]));
}

Grid::SpanLayout Grid::layoutSpan(int row, ColumnSpan span) const
{
    SpanLayout out;
    const QRect full(QPoint(m_colX[span.first], m_rowY[row]),
                     QPoint(m_colX[span.last + 1] - 1, m_rowY[row + 1] - 1));
    const int gap = cellGap(full.height());
    out.box = full.adjusted(0, 0, -gap, -gap);
    out.fixed = row < fixedRows() || span.first < fixedColumns();
    out.font = font();
    if (out.fixed)
        out.font.setBold(true);

    const Cell& first = m_cells[qsizetype(row) * m_cols + span.first];
    out.text = singleLine(first.text);
    out.textAlignment = toQtAlignment(first.alignment);

    // Breathing room proportional to the row, so the layout scales with the screen.
    const int hpad = std::max(4, out.box.height() / 5);
    const int vpad = std::max(2, out.box.height() / 8);
    out.textRect = out.box.adjusted(hpad, 0, -hpad, 0);
    QRect content = out.box;

    if (!out.fixed) {
        out.look = first.look;
        // Small, so that the title keeps its room, yet a clear shape from across the room.
        const int arrowWidth = std::max(6, out.box.height() / 5);
        const int arrowHeight = std::max(10, out.box.height() * 2 / 5);
        const int arrowTop = out.box.center().y() - arrowHeight / 2;
        const int margin = std::max(2, hpad / 3);
        if (out.look.arrowLeft) {
            out.leftArrow = QRect(out.box.left() + margin, arrowTop, arrowWidth, arrowHeight);
            content.setLeft(out.leftArrow.right() + 1);
            out.textRect.setLeft(content.left() + hpad / 2);
        }
        if (out.look.arrowRight) {
            out.rightArrow =
                QRect(out.box.right() + 1 - margin - arrowWidth, arrowTop, arrowWidth, arrowHeight);
            content.setRight(out.rightArrow.left() - 1);
            out.textRect.setRight(content.right() - hpad / 2);
        }
    }

    for (int c = span.first; c <= span.last; ++c) {
        const Cell& cell = m_cells[qsizetype(row) * m_cols + c];
        if (!cell.picture.isNull()) {
            out.pictureCell = &cell;
            break;
        }
    }
    if (!out.pictureCell)
        return out;

    const QRect room = content.adjusted(out.leftArrow.isNull() ? hpad / 2 : hpad / 4, vpad,
                                        out.rightArrow.isNull() ? -hpad * 2 / 3 : -hpad / 4, -vpad);
    if (room.width() <= 0 || room.height() <= 0) {
        out.pictureCell = nullptr;
        return out;
    }
    // A picture may take at most about half the cell, so a wide logo still leaves the name.
    const QSize limit(std::max(1, room.width() / 2), room.height());
    const QSize size = out.pictureCell->picture.size().scaled(limit, Qt::KeepAspectRatio);
    const CellAlignment where = out.pictureCell->pictureAlignment;
    const Qt::Alignment qt = toQtAlignment(where);
    int x = room.left() + (room.width() - size.width()) / 2;
    if (qt & Qt::AlignLeft)
        x = room.left();
    else if (qt & Qt::AlignRight)
        x = room.right() + 1 - size.width();
    int y = room.top() + (room.height() - size.height()) / 2;
    if (qt & Qt::AlignTop)
        y = room.top();
    else if (qt & Qt::AlignBottom)
        y = room.bottom() + 1 - size.height();
    out.pictureRect = QRect(QPoint(x, y), size);

    // Side pictures push the text aside; the leading blanks the channel names carry only made
    // room for the logo and are dropped once it has its own place.
    if (isLeft(where)) {
        out.textRect.setLeft(out.pictureRect.right() + 1 + hpad / 2);
        out.text = withoutLeadingBlanks(out.text);
    } else if (isRight(where)) {
        out.textRect.setRight(out.pictureRect.left() - 1 - hpad / 2);
    }
    return out;
}

void Grid::paintSpan(QPainter& painter, int row, ColumnSpan span) const
{
    const SpanLayout layout = layoutSpan(row, span);
    if (layout.box.width() <= 0 || layout.box.height() <= 0)
        return;
    const bool current = !layout.fixed && row == m_currentRow && span.contains(m_currentCol);

    const CellLook& look = layout.look;
    QColor fill = layout.fixed ? m_colors.fixedFill : m_colors.cellFill;
    if (!layout.fixed && look.fill.isValid())
        fill = look.fill;
    // An ended programme sinks towards the background; the current cell stays as bright as
    // ever, so that the viewer always finds it.
    if (look.dimmed && !current)
        fill = mixed(fill, m_colors.background, DimFill);
    if (current)
        fill = m_colors.currentFill;
    painter.fillRect(layout.box, fill);
    QColor text = layout.fixed ? m_colors.fixedText : m_colors.text;
    if (look.dimmed)
        text = mixed(text, fill, DimText);

    if (layout.pictureCell) {
        const Cell& cell = *layout.pictureCell;
        const qreal dpr = devicePixelRatioF();
        const QSize device = (QSizeF(layout.pictureRect.size()) * dpr).toSize();
        if (cell.fittedFor != device) {
            cell.fitted =
                cell.picture.scaled(device, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            cell.fitted.setDevicePixelRatio(dpr);
            cell.fittedFor = device;
        }
        painter.drawPixmap(layout.pictureRect.topLeft(), cell.fitted);
    }

    const QString shown = layout.elided();
    if (!shown.isEmpty()) {
        painter.setFont(layout.font);
        painter.setPen(text);
        painter.drawText(layout.textRect, int(layout.textAlignment) | Qt::TextSingleLine, shown);
    }

    painter.setPen(Qt::NoPen);
    for (const QRect& arrow : {layout.leftArrow, layout.rightArrow}) {
        if (arrow.isNull())
            continue;
        const bool left = arrow == layout.leftArrow;
        const QPointF tip(left ? arrow.left() : arrow.right() + 1, arrow.center().y() + 0.5);
        const qreal base = left ? arrow.right() + 1 : arrow.left();
        const QPointF shape[] = {tip, QPointF(base, arrow.top()),
                                 QPointF(base, arrow.bottom() + 1)};
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(look.dimmed ? mixed(m_colors.arrow, fill, DimText) : m_colors.arrow);
        painter.drawPolygon(shape, 3);
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    painter.setBrush(Qt::NoBrush);

    const int frame = std::max(3, layout.box.height() / 13);
    if (look.progress >= 0) {
        // Above the current cell's frame, so that the frame does not hide it.
        const int bar = std::max(3, layout.box.height() / 14);
        const QRect track(layout.box.left() + (current ? frame : 0),
                          layout.box.bottom() + 1 - bar - (current ? frame : 0),
                          layout.box.width() - (current ? 2 * frame : 0), bar);
        painter.fillRect(track, mixed(m_colors.progress, fill, 0.75));
        painter.fillRect(QRect(track.topLeft(),
                               QSize(int(std::lround(std::min(look.progress, 1.0) * track.width())),
                                     track.height())),
                         m_colors.progress);
    }

    if (current) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(hasFocus() ? m_colors.currentFrame : m_colors.inactiveFrame);
        // Drawn as four bars so the frame stays inside the tile at any width.
        const QRect b = layout.box;
        painter.drawRect(QRect(b.left(), b.top(), b.width(), frame));
        painter.drawRect(QRect(b.left(), b.bottom() + 1 - frame, b.width(), frame));
        painter.drawRect(QRect(b.left(), b.top(), frame, b.height()));
        painter.drawRect(QRect(b.right() + 1 - frame, b.top(), frame, b.height()));
        painter.setBrush(Qt::NoBrush);
    }
}

void Grid::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect dirty = event->rect();
    painter.fillRect(dirty, m_colors.background);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (int r = 0; r < m_rows; ++r) {
        if (m_rowHeights[r] == 0 || m_rowY[r] > dirty.bottom() || m_rowY[r + 1] <= dirty.top())
            continue;
        for (int c = 0; c < m_cols;) {
            const ColumnSpan span = spanAt(r, c);
            const QRect area(QPoint(m_colX[span.first], m_rowY[r]),
                             QPoint(m_colX[span.last + 1] - 1, m_rowY[r + 1] - 1));
            if (area.intersects(dirty))
                paintSpan(painter, r, span);
            c = span.last + 1;
        }
    }
    // Over the cells: the line crosses them.
    paintNowLine(painter);
}

void Grid::paintNowLine(QPainter& painter) const
{
    const QRect line = nowLineRect();
    if (line.isEmpty())
        return;
    painter.fillRect(line, m_colors.nowLine);
    // A small mark pointing down at the line from the header row, where the times are.
    const int header = m_rowHeights[0];
    const qreal half = std::max(4, header / 6);
    const qreal x = line.left() + line.width() / 2.0;
    const qreal bottom = m_rowY[fixedRows()];
    const QPointF mark[] = {QPointF(x - half, bottom - half * 1.2),
                            QPointF(x + half, bottom - half * 1.2), QPointF(x, bottom)};
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_colors.nowLine);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPolygon(mark, 3);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
}

void Grid::keyPressEvent(QKeyEvent* event)
{
    int row = m_currentRow;
    int col = m_currentCol;
    const ColumnSpan span = spanAt(row, col);
    switch (event->key()) {
    case Qt::Key_Up:
        row = std::max(fixedRows(), row - 1);
        break;
    case Qt::Key_Down:
        row = std::min(m_rows - 1, row + 1);
        break;
    // Sideways moves step over a merged span as a whole: the viewer sees one programme there,
    // so one press must leave it.
    case Qt::Key_Left:
        if (span.first - 1 >= fixedColumns())
            col = span.first - 1;
        break;
    case Qt::Key_Right:
        if (span.last + 1 < m_cols)
            col = span.last + 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (row == m_currentRow && col == m_currentCol) {
        Q_EMIT edgeReached(toVirtualKey(event->key()));
        return;
    }
    moveCurrent(row, col, true);
}

void Grid::keyReleaseEvent(QKeyEvent* event)
{
    // A held remote button repeats its press; the release that counts is the last one.
    const int code = event->isAutoRepeat() ? 0 : toVirtualKey(event->key());
    if (code == 0) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    event->accept();
    Q_EMIT keyReleased(code);
}

void Grid::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    const int row = rowAt(at.y());
    const int col = columnAt(at.x());
    if (row >= fixedRows() && col >= fixedColumns())
        moveCurrent(row, col, true);
    event->accept();
}

void Grid::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    Q_EMIT doubleClicked();
}

void Grid::focusInEvent(QFocusEvent* event)
{
    update(spanRect(m_currentRow, m_currentCol));
    QWidget::focusInEvent(event);
}

void Grid::focusOutEvent(QFocusEvent* event)
{
    update(spanRect(m_currentRow, m_currentCol));
    QWidget::focusOutEvent(event);
}

void Grid::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        update();
    QWidget::changeEvent(event);
}

} // namespace zarvo::ui
