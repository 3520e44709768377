#include "guide/infoscreen.h"

#include "guide/genre.h"
#include "guide/showingtext.h"
#include "ui/genretint.h"
#include "ui/keycodes.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>
#include <QTextLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace zarvo {
namespace {

// A word-wrapped text drawn whole: in the label's font when it fits its room, else in the
// largest smaller size that does (down to half of it, and only then cut with "…"), so that a
// long description is read to its end rather than cut off.
class FittedLabel : public QLabel
{
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return QSize(0, fontMetrics().lineSpacing()); }
    QSize sizeHint() const override { return minimumSizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const QRectF room = contentsRect();
        QFont font = this->font();
        const double full = font.pointSizeF();
        QStringList lines;
        for (double size = full; size >= full / 2; size -= std::max(0.5, full / 20)) {
            font.setPointSizeF(size);
            lines = wrap(font, room, size - std::max(0.5, full / 20) < full / 2);
            if (!lines.isEmpty())
                break;
        }
        QPainter painter(this);
        painter.setFont(font);
        painter.setPen(palette().color(QPalette::WindowText));
        const QFontMetricsF metrics(font);
        for (int i = 0; i < lines.size(); ++i)
            painter.drawText(
                QPointF(room.left(), room.top() + i * metrics.lineSpacing() + metrics.ascent()),
                lines[i]);
    }

private:
    // The lines of the text in `font`; empty when it does not fit, unless `last`, when the
    // last line that fits ends in "…".
    QStringList wrap(const QFont& font, const QRectF& room, bool last) const
    {
        const QFontMetricsF metrics(font);
        const int maxLines = std::max(1, int(room.height() / metrics.lineSpacing()));
        const QString all = text();
        QStringList lines;
        QTextLayout layout(all, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(room.width());
            if (lines.size() == maxLines) {
                layout.endLayout();
                if (!last)
                    return {};
                lines.last() = metrics.elidedText(lines.last() + QStringLiteral(" …"),
                                                  Qt::ElideRight, room.width());
                return lines;
            }
            lines << all.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        return lines;
    }
};

} // namespace

InfoScreen::InfoScreen(const ProgramFolder& folder, const Clock& clock, StoreAccess store,
                       QWidget* parent)
    : OverlayScreen(parent), m_folder(folder), m_clock(clock), m_store(std::move(store))
{
    setObjectName(QStringLiteral("frmInfo"));
    m_title = label("lblTitle", 26, true);
    m_title->setWordWrap(true);
    m_subtitle = label("lblSubtitle", 18, false, Tone::Secondary);
    m_subtitle->setWordWrap(true);
    m_logo = label("picLogo", 18);
    m_channel = label("lblChannel", 20, true);
    m_when = label("lblWhen", 18);
    m_category = label("lblCategory", 16);
    m_category->setAutoFillBackground(true);
    m_rating = label("lblRating", 16, false, Tone::Secondary);
    m_repeat = label("lblRepeat", 16, false, Tone::Secondary);
    m_description = new FittedLabel(this);
    m_description->setObjectName(QStringLiteral("lblDescription"));
    m_description->setTextFormat(Qt::PlainText);
    scaleWith(m_description, 18);
    m_nextHeading = label("lblNextHeading", 16, true, Tone::Secondary);
    m_next = label("lblNext", 16);
    QLabel* hint = label("lblHint", 14, false, Tone::Secondary);
    hint->setText(QStringLiteral("Press Back, Escape or Info to return to the guide."));

    auto* box = new QVBoxLayout(this);
    box->addWidget(m_title);
    box->addWidget(m_subtitle);
    auto* channelLine = new QHBoxLayout;
    channelLine->addWidget(m_logo);
    channelLine->addWidget(m_channel, 1);
    box->addLayout(channelLine);
    box->addWidget(m_when);
    auto* kindLine = new QHBoxLayout;
    kindLine->setSpacing(24);
    kindLine->addWidget(m_category);
    kindLine->addWidget(m_rating);
    kindLine->addWidget(m_repeat);
    kindLine->addStretch(1);
    box->addLayout(kindLine);
    box->addWidget(m_description, 1);
    box->addWidget(m_nextHeading);
    box->addWidget(m_next);
    box->addWidget(hint);
}

void InfoScreen::showFor(const GridCell& cell, QWidget* guide)
{
    fill(cell);
    showOver(guide);
}

void InfoScreen::fill(const GridCell& cell)
{
    ListingsStore& store = m_store();
    // The row itself: the cell may hold less than the listings have.
    ProgrammeRow programme;
    if (std::optional<ProgrammeRow> row = store.programme(cell.dayTable, cell.programId);
        row && row->title == cell.title)
        programme = *row;
    else {
        programme.title = cell.title, programme.subtitle = cell.subtitle;
        programme.description = cell.description, programme.category = cell.category;
        programme.rating = cell.rating, programme.rerun = cell.rerun;
        programme.startdate = cell.startDate, programme.starttime = cell.startTime;
        programme.enddate = cell.endDate, programme.endtime = cell.endTime;
    }
    ChannelRow channel{QString(), cell.channelName, QString(), QString()};
    const Snapshot<ChannelRow> channels = store.channels();
    for (const ChannelRow& c : channels.rows())
        if (c.channelid == programme.channel) {
            channel = c;
            break;
        }

    m_title->setText(programme.title);
    m_subtitle->setText(programme.subtitle);
    m_subtitle->setVisible(!programme.subtitle.isEmpty());
    m_channel->setText(channel.channelname);
    m_logoPicture = channel.icon.isEmpty()
                        ? QPixmap()
                        : QPixmap(QDir(m_folder.logosFolder()).filePath(channel.icon));
    const QDateTime start(programme.startdate, programme.starttime);
    const QDateTime end(programme.enddate, programme.endtime);
    QString when = showingDayText(programme.startdate) + QStringLiteral("   ") +
                   showingTimeText(programme.starttime) + QStringLiteral(" – ") +
                   showingTimeText(programme.endtime);
    if (const QString length = durationText(start, end); !length.isEmpty())
        when += QStringLiteral("   (%1)").arg(length);
    m_when->setText(when);

    m_category->setText(QStringLiteral(" %1 ").arg(programme.category));
    m_category->setVisible(!programme.category.isEmpty());
    QPalette tint = m_category->palette();
    tint.setColor(QPalette::Window, ui::genreTint(genreOf(programme.category)));
    m_category->setPalette(tint);
    m_rating->setText(programme.rating.isEmpty() ? QString()
                                                 : QStringLiteral("Rating: ") + programme.rating);
    m_rating->setVisible(!programme.rating.isEmpty());
    m_repeat->setText(programme.rerun ? QStringLiteral("Repeat") : QString());
    m_repeat->setVisible(programme.rerun);
    m_description->setText(programme.description.isEmpty()
                               ? QStringLiteral("The listings give no description.")
                               : programme.description);

    QStringList next;
    for (const ListingRow& row : store.findShowings(
             programme.title, ListingsStore::TitleMatch::Same, m_clock.now().date())) {
        const ProgrammeRow& p = row.programme;
        // From this one's start on: the same title at the same time elsewhere is worth knowing.
        const QDateTime at(p.startdate, p.starttime);
        if (at < start || (at == start && p.channel == programme.channel))
            continue;
        next << showingDayText(p.startdate) + QStringLiteral("   ") + showingTimeText(p.starttime) +
                    QStringLiteral("   ") + row.channel.channelname;
        if (next.size() == MaxNextShowings)
            break;
    }
    m_nextHeading->setText(QStringLiteral("Next showings"));
    m_next->setText(next.isEmpty() ? QStringLiteral("No other showing in the listings stored.")
                                   : next.join(u'\n'));
    resizeLogo();
}

void InfoScreen::resizeLogo()
{
    const int side = m_channel->fontMetrics().height() * 3 / 2;
    m_logo->setPixmap(
        m_logoPicture.isNull()
            ? QPixmap()
            : m_logoPicture.scaled(side * 2, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_logo->setVisible(!m_logoPicture.isNull());
}

void InfoScreen::resizeEvent(QResizeEvent* event)
{
    OverlayScreen::resizeEvent(event);
    resizeLogo();
}

void InfoScreen::keyReleased(int code)
{
    if (code == 'I' || code == vk::Info)
        dismiss();
}

} // namespace zarvo
