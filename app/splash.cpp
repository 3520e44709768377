#include "app/splash.h"

#include "ui/forms.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

namespace zarvo {
namespace {

// A stand-in logo until the drawn pictures arrive: a white screen shape on black.
QPixmap drawLogo(QSize size)
{
    QPixmap pix(size);
    pix.fill(Qt::black);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 4));
    p.setBrush(QColor(20, 40, 120));
    const QRect screen = QRect(QPoint(0, 0), size).adjusted(8, 8, -8, -24);
    p.drawRoundedRect(screen, 10, 10);
    p.drawLine(size.width() / 2 - 20, size.height() - 8, size.width() / 2 + 20, size.height() - 8);
    p.setFont(QFont(QStringLiteral("Arial"), 28, QFont::Bold));
    p.drawText(screen, Qt::AlignCenter, QStringLiteral("Z"));
    return pix;
}

} // namespace

SplashScreen::SplashScreen(QWidget* parent)
    : QWidget(parent), m_logo(new QLabel(this)), m_version(new QLabel(this))
{
    setWindowTitle(ui::applicationTitle());
    setFixedSize(ui::pixels(4680), ui::pixels(3195));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);

    m_logo->setGeometry(ui::twipRect(1320, 600, 1935, 1455));
    m_logo->setPixmap(drawLogo(m_logo->size()));
    m_version->setGeometry(ui::twipRect(2040, 2160, 615, 375));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    font.setBold(true);
    m_version->setFont(font);
    m_version->setText(versionText());

    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

QString SplashScreen::versionText() const
{
    return QStringLiteral(ZARVO_VERSION_TEXT);
}

} // namespace zarvo
