#include "ui/forms.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTimer>

#include <cmath>
#include <limits>

namespace zarvo::ui {

int roundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    if (value <= lowest)
        return std::numeric_limits<int>::min();
    if (value >= highest)
        return std::numeric_limits<int>::max();
    // Done by hand rather than with the floating-point environment's rounding mode, which any
    // library loaded into the process could have changed.
    const double floor = std::floor(value);
    const double rest = value - floor;
    double result = floor;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(floor, 2.0) != 0.0))
        result = floor + 1.0;
    return static_cast<int>(result);
}

double scaledPointSize(double basePointSize, double factor)
{
    return basePointSize * factor;
}

bool scaleFont(QWidget* widget, double basePointSize, double factor)
{
    const double size = scaledPointSize(basePointSize, factor);
    if (!widget || !std::isfinite(size) || size <= 0.0)
        return false;
    QFont font = widget->font();
    font.setPointSizeF(size);
    widget->setFont(font);
    return true;
}

void LayoutTable::record(const QList<QWidget*>& widgets)
{
    for (QWidget* w : widgets)
        record(w);
}

void LayoutTable::record(QWidget* widget)
{
    if (widget)
        m_entries.append({widget, widget->geometry()});
}

QWidget* LayoutTable::widget(int index) const
{
    return index >= 0 && index < size() ? m_entries[index].widget.data() : nullptr;
}

QRect LayoutTable::designGeometry(int index) const
{
    return index >= 0 && index < size() ? m_entries[index].design : QRect();
}

QRect LayoutTable::designTwips(int index) const
{
    const QRect r = designGeometry(index);
    return QRect(r.x() * TwipsPerPixel, r.y() * TwipsPerPixel, r.width() * TwipsPerPixel,
                 r.height() * TwipsPerPixel);
}

void LayoutTable::apply(double xFactor, double yFactor) const
{
    if (!std::isfinite(xFactor) || !std::isfinite(yFactor) || xFactor < 0.0 || yFactor < 0.0)
        return;
    for (const Entry& e : m_entries) {
        if (!e.widget)
            continue;
        const QRect d = e.design;
        e.widget->setGeometry(roundHalfEven(d.x() * xFactor), roundHalfEven(d.y() * yFactor),
                              roundHalfEven(d.width() * xFactor),
                              roundHalfEven(d.height() * yFactor));
    }
}

QString applicationTitle()
{
    return QStringLiteral("Zarvo Guide");
}

namespace {

// Read from across the room: the box's text in a size taken from the screen's height (24 pixels
// at 720 lines), and wide enough that a long message is not wrapped into a narrow column.
void sizeForTv(QMessageBox& box, const QWidget* parent)
{
    const QScreen* screen =
        parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize area = screen ? screen->size() : QSize(1280, 720);
    QFont font = box.font();
    font.setPixelSize(std::max(16, area.height() / 30));
    box.setFont(font);
    box.setStyleSheet(QStringLiteral("QLabel { min-width: %1px; } QPushButton { min-width: %2px; "
                                     "padding: 6px 18px; font-size: %3px; }")
                          .arg(area.width() / 2)
                          .arg(font.pixelSize() * 4)
                          .arg(font.pixelSize()));
}

// A box closed by a key press leaves that key's release to whichever window is active next:
// the guide would take the OK that closed a message for a new command. This filter notes the
// keys pressed while a box is up and swallows each one's release once the box has gone.
class StrayReleaseFilter final : public QObject
{
public:
    // Owned by the application, so that a filter still waiting at exit goes with it.
    StrayReleaseFilter() : QObject(qApp) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat()) {
                if (event->type() == QEvent::KeyPress && m_boxUp)
                    m_pressed.insert(key->key());
                else if (event->type() == QEvent::KeyRelease && m_pressed.remove(key->key())) {
                    if (m_boxUp)
                        return false; // the box's own release goes to the box
                    if (m_pressed.isEmpty())
                        deleteLater();
                    return true;
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }
    void boxClosed()
    {
        m_boxUp = false;
        if (m_pressed.isEmpty())
            deleteLater();
        else // a release that never comes (the key was let go elsewhere) is not waited for
            QTimer::singleShot(3000, this, &QObject::deleteLater);
    }

private:
    bool m_boxUp = true;
    QSet<int> m_pressed;
};

} // namespace

void messageBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    sizeForTv(box, parent);
    auto* filter = new StrayReleaseFilter;
    qApp->installEventFilter(filter);
    box.exec();
    filter->boxClosed();
}

bool confirm(QWidget* parent, const QString& text, const QString& yes, const QString& no)
{
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("confirm"));
    QPushButton* yesButton = box.addButton(yes, QMessageBox::YesRole);
    QPushButton* noButton = box.addButton(no, QMessageBox::NoRole);
    box.setDefaultButton(noButton);
    box.setEscapeButton(noButton);
    sizeForTv(box, parent);
    auto* filter = new StrayReleaseFilter;
    qApp->installEventFilter(filter);
    box.exec();
    filter->boxClosed();
    return box.clickedButton() == yesButton;
}

QMessageBox* notice(QWidget* parent, const QString& text)
{
    auto* box =
        new QMessageBox(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    sizeForTv(*box, parent);
    box->setObjectName(QStringLiteral("notice"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

} // namespace zarvo::ui
