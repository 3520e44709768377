#pragma once
// A button that is nothing but a picture: one look when it is not selected and another when it
// is. The guide's button column and row are made of these and are driven from the keyboard, so
// selection is set by the screen, never by the button itself.

#include <QPixmap>
#include <QWidget>

namespace zarvo::ui {

class PictureButton : public QWidget
{
    Q_OBJECT
public:
    explicit PictureButton(QWidget* parent = nullptr);
    PictureButton(const QPixmap& unselected, const QPixmap& selected, QWidget* parent = nullptr);

    void setPictures(const QPixmap& unselected, const QPixmap& selected);
    void setUnselectedPicture(const QPixmap& picture);
    void setSelectedPicture(const QPixmap& picture);
    QPixmap unselectedPicture() const { return m_unselectedPicture; }
    QPixmap selectedPicture() const { return m_selectedPicture; }

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    // The picture the button shows now.
    QPixmap currentPicture() const { return m_selected ? m_selectedPicture : m_unselectedPicture; }

    QSize sizeHint() const override;

Q_SIGNALS:
    // A left button press and release both on the button.
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void pictureChanged();

    QPixmap m_unselectedPicture;
    QPixmap m_selectedPicture;
    bool m_selected = false;
    bool m_pressed = false;
    // The shown picture fitted to the button, rebuilt only when the size or picture changes.
    QPixmap m_fitted;
    QSize m_fittedFor;
};

} // namespace zarvo::ui
