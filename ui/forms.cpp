#include "ui/forms.h"

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

void messageBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

QMessageBox* notice(QWidget* parent, const QString& text)
{
    auto* box =
        new QMessageBox(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("notice"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

} // namespace zarvo::ui
