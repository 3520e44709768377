#include "record/menuscreen.h"

#include "store/listingsstore.h"
#include "ui/keycodes.h"
#include "ui/picturebutton.h"
#include "ui/pictures.h"

#include <QCloseEvent>
#include <QDebug>
#include <QKeyEvent>
#include <QPainter>

#include <cmath>

namespace zarvo {
namespace {

// Item i's place at design size, in twips: a column of equal rows with a margin all round.
constexpr int Margin = 300;
constexpr int ItemWidth = 6000;
constexpr int ItemHeight = 840;
constexpr int ItemGap = 90;
static_assert(2 * Margin + ItemWidth == MenuScreen::DesignWidth);
static_assert(2 * Margin + menuitem::Count * ItemHeight + (menuitem::Count - 1) * ItemGap ==
              MenuScreen::DesignHeight);

constexpr double pixelsOf(int twips)
{
    return double(twips) / ui::TwipsPerPixel;
}

// The frame of the guide's title strip, so that the menu reads as part of the same screen.
const QColor FrameColour(0x2a, 0x4d, 0xa8);

} // namespace

MenuScreen::MenuScreen(const ProgramFolder& programFolder, AppState& state, const Clock& clock,
                       HandOffQueue& handOffs, StoreOpener openStore, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmMenu"));
    setWindowTitle(ui::applicationTitle());
    setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);

    const QString folder = programFolder.path();
    for (int i = 0; i < menuitem::Count; ++i) {
        const QString name = ui::pictures::MenuItems[std::size_t(i)];
        const QPixmap plain(ui::picturePath(folder, name));
        const QPixmap selected(ui::picturePath(folder, ui::selectedPicture(name)));
        if (plain.isNull() || selected.isNull())
            qWarning().noquote() << "Menu picture missing:" << ui::picturePath(folder, name);
        auto* item = new ui::PictureButton(plain, selected, this);
        item->setObjectName(QStringLiteral("picMenu%1").arg(i));
        item->setGeometry(
            ui::twipRect(Margin, Margin + i * (ItemHeight + ItemGap), ItemWidth, ItemHeight));
        connect(item, &ui::PictureButton::clicked, this, [this, i] { m_logic->itemClicked(i); });
        m_items[std::size_t(i)] = item;
        m_layout.record(item);
    }
    resize(ui::pixels(DesignWidth), ui::pixels(DesignHeight));

    m_logic = std::make_unique<MenuLogic>(static_cast<MenuView&>(*this), state, clock, handOffs,
                                          std::move(openStore));
    m_logic->load();
}

MenuScreen::~MenuScreen() = default;

void MenuScreen::setMessageHandler(MessageHandler handler)
{
    m_message = std::move(handler);
}

void MenuScreen::showFor(const SelectedProgramme& selection, QWidget* guide)
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    m_logic->setSelection(selection);
    m_guide = guide;
    // A window of the guide's own: the window manager keeps it above the guide, and it goes
    // when the guide goes.
    if (guide && parentWidget() != guide->window())
        setParent(guide->window(), windowFlags());
    scaleTo(guide);
    if (guide) {
        const QPoint centre = guide->mapToGlobal(guide->rect().center());
        move(centre - QPoint(width() / 2, height() / 2));
    }
    setFocus();
    // Nothing of the menu may be touched after this: the title item unloads it on its way out.
    exec();
}

void MenuScreen::scaleTo(const QWidget* guide)
{
    double factor = 1.0;
    if (guide && guide->width() > 0 && guide->height() > 0)
        factor = std::min(guide->width() / pixelsOf(GuideDesignWidth),
                          guide->height() / pixelsOf(GuideDesignHeight));
    if (!std::isfinite(factor) || factor <= 0)
        factor = 1.0;
    resize(ui::roundHalfEven(pixelsOf(DesignWidth) * factor),
           ui::roundHalfEven(pixelsOf(DesignHeight) * factor));
}

void MenuScreen::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    m_layout.apply(width() / pixelsOf(DesignWidth), height() / pixelsOf(DesignHeight));
}

void MenuScreen::paintEvent(QPaintEvent*)
{
    // Square, like the window itself: a rounded frame would leave black corners outside it.
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const int pen = std::max(2, ui::roundHalfEven(height() / 200.0));
    painter.fillRect(QRect(0, 0, width(), pen), FrameColour);
    painter.fillRect(QRect(0, height() - pen, width(), pen), FrameColour);
    painter.fillRect(QRect(0, 0, pen, height()), FrameColour);
    painter.fillRect(QRect(width() - pen, 0, pen, height()), FrameColour);
}

void MenuScreen::keyPressEvent(QKeyEvent* event)
{
    // The dialog's own keys (Escape hides it, Enter presses a default button) would act on the
    // press; the menu acts on releases only.
    if (ui::toVirtualKey(event->key()) != 0) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MenuScreen::keyReleaseEvent(QKeyEvent* event)
{
    // A held remote button repeats its press; the release that counts is the last one.
    const int code = event->isAutoRepeat() ? 0 : ui::toVirtualKey(event->key());
    if (code == 0) {
        QDialog::keyReleaseEvent(event);
        return;
    }
    event->accept();
    m_logic->keyReleased(code);
}

void MenuScreen::closeEvent(QCloseEvent* event)
{
    // Closed by the window manager, not by an item. Hidden already (an unload hides before it
    // goes) there is nothing left to do.
    event->accept();
    if (isVisible())
        m_logic->dismiss();
}

// --- MenuView ------------------------------------------------------------------------------

void MenuScreen::showItemSelected(int item, bool selected)
{
    if (item >= 0 && item < menuitem::Count)
        m_items[std::size_t(item)]->setSelected(selected);
}

void MenuScreen::hideMenu()
{
    hide(); // ends exec()
}

void MenuScreen::unloadMenu()
{
    hide();
    deleteLater();
    Q_EMIT returnedToButtons();
}

void MenuScreen::minimizeGuide()
{
    Q_EMIT minimizeGuideRequested();
    if (m_guide)
        m_guide->window()->showMinimized();
}

void MenuScreen::reportFailure(const QString& text)
{
    qWarning().noquote() << "Action menu:" << text;
    // The menu is hidden by now; the message belongs over the guide. Shown from the event loop,
    // not from inside the menu's item or the hand-off queue's answer that asked for it.
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            QWidget* parent = m_guide ? m_guide->window() : nullptr;
            if (m_message)
                m_message(parent, text);
            else
                ui::messageBox(parent, text);
        },
        Qt::QueuedConnection);
}

} // namespace zarvo
