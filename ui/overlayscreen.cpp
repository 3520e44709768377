#include "ui/overlayscreen.h"

#include "ui/forms.h"
#include "ui/keycodes.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QScreen>
#include <QTableWidget>

#include <cmath>

namespace zarvo::ui {
namespace {

// The guide's title strip frame and the light blue of its secondary lines.
const QColor FrameColour(0x2a, 0x4d, 0xa8);
const QColor Secondary(0xdc, 0xe8, 0xff);

} // namespace

OverlayScreen::OverlayScreen(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setWindowTitle(applicationTitle());
    setFocusPolicy(Qt::StrongFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::white);
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, Qt::white);
    pal.setColor(QPalette::Highlight, FrameColour);
    pal.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(pal);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        resize(screen->availableSize());
}

QFont OverlayScreen::tvFont(double pointSize, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize > 0 && std::isfinite(pointSize) ? pointSize : 12);
    font.setBold(bold);
    return font;
}

QLabel* OverlayScreen::label(const char* name, double points, bool bold, Tone tone)
{
    auto* label = new QLabel(this);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, tone == Tone::Plain ? QColor(Qt::white) : Secondary);
    label->setPalette(pal);
    scaleWith(label, points, bold);
    return label;
}

void OverlayScreen::scaleWith(QWidget* widget, double points, bool bold)
{
    m_scaled.append({widget, points, bold});
    widget->setFont(tvFont(points * scale(), bold));
}

QTableWidget* OverlayScreen::list(const char* name, const QStringList& columns, int stretchColumn,
                                  double points)
{
    auto* table = new QTableWidget(0, int(columns.size()), this);
    table->setObjectName(QLatin1String(name));
    table->setHorizontalHeaderLabels(columns);
    table->setFocusPolicy(Qt::NoFocus);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QHeaderView* header = table->horizontalHeader();
    for (int column = 0; column < columns.size(); ++column)
        header->setSectionResizeMode(
            column, column == stretchColumn ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    scaleWith(table, points);
    m_lists.append(table);
    styleList(table);
    return table;
}

double OverlayScreen::scale() const
{
    const double factor = height() / DesignHeightPixels;
    return std::isfinite(factor) && factor > 0 ? factor : 1.0;
}

// The headings' size goes into the style sheet: a font set on the header is overridden by
// the style sheet's own.
void OverlayScreen::styleList(QTableWidget* table) const
{
    const double heading = table->font().pointSizeF() * 0.8;
    table->setStyleSheet(
        QStringLiteral("QTableWidget { background: black; color: white; border: none; }"
                       "QTableWidget::item { padding-right: 18px; }"
                       "QTableWidget::item:selected { background: #2a4da8; color: white; }"
                       "QHeaderView::section { background: #0c1c48; color: #dce8ff; border: none; "
                       "padding: 2px 8px; font-family: Arial, 'Liberation Sans', sans-serif; "
                       "font-weight: bold; font-size: %1pt; }")
            .arg(heading, 0, 'f', 1));
}

void OverlayScreen::applyFonts()
{
    for (const Scaled& s : m_scaled)
        if (s.widget)
            s.widget->setFont(tvFont(s.points * scale(), s.bold));
    for (QTableWidget* table : m_lists)
        if (table)
            styleList(table);
    if (QLayout* box = layout()) {
        const int margin = roundHalfEven(height() / 24.0);
        box->setContentsMargins(margin, margin * 2 / 3, margin, margin * 2 / 3);
        box->setSpacing(roundHalfEven(height() / 90.0));
    }
}

void OverlayScreen::showOver(QWidget* guide)
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    // A window of the guide's own: kept above it, and gone when the guide goes.
    if (guide && parentWidget() != guide->window())
        setParent(guide->window(), windowFlags());
    setWindowModality(Qt::ApplicationModal);
    if (guide)
        setGeometry(guide->window()->geometry());
    applyFonts();
    show();
    raise();
    activateWindow();
    setFocus();
}

void OverlayScreen::dismiss()
{
    if (!isVisible())
        return;
    hide();
    Q_EMIT closed();
}

void OverlayScreen::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    applyFonts();
}

void OverlayScreen::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const int pen = std::max(2, roundHalfEven(height() / 200.0));
    painter.fillRect(QRect(0, 0, width(), pen), FrameColour);
    painter.fillRect(QRect(0, height() - pen, width(), pen), FrameColour);
    painter.fillRect(QRect(0, 0, pen, height()), FrameColour);
    painter.fillRect(QRect(width() - pen, 0, pen, height()), FrameColour);
}

void OverlayScreen::keyPressEvent(QKeyEvent* event)
{
    // The dialog's own keys (Escape hides it, Enter presses a default button) would act on the
    // press; these screens act on releases only.
    if (toVirtualKey(event->key()) != 0) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void OverlayScreen::keyReleaseEvent(QKeyEvent* event)
{
    if (!takeRelease(event))
        QDialog::keyReleaseEvent(event);
}

bool OverlayScreen::takeRelease(QKeyEvent* event)
{
    // A held remote button repeats its press; the release that counts is the last one.
    const int code = event->isAutoRepeat() ? 0 : toVirtualKey(event->key());
    if (code == 0)
        return false;
    event->accept();
    if (code == vk::Escape || code == vk::BrowserBack || (code == vk::Back && backspaceCloses()))
        dismiss();
    else
        keyReleased(code);
    return true;
}

void OverlayScreen::closeEvent(QCloseEvent* event)
{
    event->accept();
    dismiss();
}

} // namespace zarvo::ui
