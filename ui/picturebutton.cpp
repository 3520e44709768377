#include "ui/picturebutton.h"

#include <QMouseEvent>
#include <QPainter>

namespace zarvo::ui {

PictureButton::PictureButton(QWidget* parent) : QWidget(parent)
{
    // The screens move the selection with the arrow keys themselves; a focus frame or a tab
    // stop on each picture would fight with that.
    setFocusPolicy(Qt::NoFocus);
}

PictureButton::PictureButton(const QPixmap& unselected, const QPixmap& selected, QWidget* parent)
    : PictureButton(parent)
{
    setPictures(unselected, selected);
}

void PictureButton::setPictures(const QPixmap& unselected, const QPixmap& selected)
{
    m_unselectedPicture = unselected;
    m_selectedPicture = selected;
    pictureChanged();
}

void PictureButton::setUnselectedPicture(const QPixmap& picture)
{
    m_unselectedPicture = picture;
    pictureChanged();
}

void PictureButton::setSelectedPicture(const QPixmap& picture)
{
    m_selectedPicture = picture;
    pictureChanged();
}

void PictureButton::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    pictureChanged();
}

void PictureButton::pictureChanged()
{
    m_fittedFor = QSize();
    updateGeometry();
    update();
}

QSize PictureButton::sizeHint() const
{
    const QPixmap shown = currentPicture();
    return shown.isNull() ? QSize(32, 32) : shown.deviceIndependentSize().toSize();
}

void PictureButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Pictures may be drawn on transparency; what lies behind the button shows through.
    const QPixmap shown = currentPicture();
    if (shown.isNull() || width() <= 0 || height() <= 0)
        return;
    const qreal dpr = devicePixelRatioF();
    const QSize device = (QSizeF(size()) * dpr).toSize();
    if (m_fittedFor != device) {
        m_fitted = shown.scaled(device, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        m_fitted.setDevicePixelRatio(dpr);
        m_fittedFor = device;
    }
    const QSizeF drawn = m_fitted.deviceIndependentSize();
    const QPointF at((width() - drawn.width()) / 2.0, (height() - drawn.height()) / 2.0);
    painter.drawPixmap(at, m_fitted);
}

void PictureButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    event->accept();
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const bool click = m_pressed && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        Q_EMIT clicked();
}

} // namespace zarvo::ui
