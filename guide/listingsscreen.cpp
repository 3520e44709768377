#include "guide/listingsscreen.h"

#include "acquire/loadfailure.h"
#include "guide/timeline.h"
#include "guide/translucency.h"
#include "ui/genretint.h"
#include "ui/grid.h"
#include "ui/keycodes.h"
#include "ui/picturebutton.h"
#include "ui/pictures.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace zarvo {

namespace {

namespace pics = ui::pictures;

// Design sizes in pixels (twips / 15); the scale factors are taken against these.
constexpr double DesignWidthPixels = double(ListingsScreen::DesignWidth) / ui::TwipsPerPixel;
constexpr double DesignHeightPixels = double(ListingsScreen::DesignHeight) / ui::TwipsPerPixel;
constexpr double GridPointSize = 18;

const QColor White(255, 255, 255);
// What detailTexts() puts after a rerun's description; it stays in sight when the text is cut.
const QString RepeatSuffix = QStringLiteral(" (Repeat)");
// The secondary lines of the detail panel: the light blue of the picture captions.
const QColor Secondary(0xdc, 0xe8, 0xff);

// A label whose word-wrapped text ends in "…" where it runs out of room, instead of being cut
// through the middle of a line. A kept suffix (" (Repeat)") at the end of the text stays whole
// when the text is cut: the "…" goes before it. text() stays the whole text.
class WrappedLabel : public QLabel
{
public:
    using QLabel::QLabel;

    void setKeptSuffix(const QString& suffix)
    {
        m_keptSuffix = suffix;
        update();
    }

    // The lines as painted in the present size and font.
    QStringList shownLines() const
    {
        const QRectF room = contentsRect();
        const QFontMetricsF metrics(font());
        const int maxLines = std::max(1, int(room.height() / metrics.lineSpacing()));
        const QString all = text();
        const bool keeps = !m_keptSuffix.isEmpty() && all.endsWith(m_keptSuffix);
        const QString body = keeps ? all.left(all.size() - m_keptSuffix.size()) : all;

        QStringList lines;
        QTextLayout layout(all, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        while (lines.size() < maxLines) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(room.width());
            const int end = line.textStart() + line.textLength();
            if (lines.size() == maxLines - 1 && end < all.size()) {
                // The last line that fits takes the rest of the text, cut with an ellipsis;
                // the kept suffix after it.
                const QString rest = body.mid(line.textStart()).simplified();
                if (!keeps) {
                    lines << metrics.elidedText(rest, Qt::ElideRight, room.width());
                    break;
                }
                const qreal suffixWidth = metrics.horizontalAdvance(m_keptSuffix);
                lines << (metrics.elidedText(rest, Qt::ElideRight, room.width() - suffixWidth) +
                          m_keptSuffix)
                             .trimmed();
                break;
            }
            lines << all.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        return lines;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const QRectF room = contentsRect();
        const QFontMetricsF metrics(font());
        const QStringList lines = shownLines();
        QPainter painter(this);
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::WindowText));
        for (int i = 0; i < lines.size(); ++i)
            painter.drawText(
                QPointF(room.left(), room.top() + i * metrics.lineSpacing() + metrics.ascent()),
                lines[i]);
    }

private:
    QString m_keptSuffix;
};

// A one-line label whose text ends in "…" where it runs out of room.
class ElidedLabel : public QLabel
{
public:
    using QLabel::QLabel;

    QString shownText() const
    {
        return fontMetrics().elidedText(text().simplified(), Qt::ElideRight,
                                        contentsRect().width());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(contentsRect(), int(alignment()), shownText());
    }
};

// The title strip: its ends keep their proportions at any width, and the plain middle of the
// strip stretches between them, so a wide screen gets a wider strip rather than stretched
// letters.
class BannerPicture : public QWidget
{
public:
    explicit BannerPicture(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    void setPicture(const QPixmap& picture)
    {
        m_picture = picture;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (m_picture.isNull() || width() <= 0 || height() <= 0)
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QSizeF source = m_picture.deviceIndependentSize();
        const qreal scale = height() / source.height();
        const qreal natural = source.width() * scale;
        if (natural >= width()) {
            const QSizeF fitted = source.scaled(size(), Qt::KeepAspectRatio);
            painter.drawPixmap(QRectF(QPointF(0, (height() - fitted.height()) / 2), fitted),
                               m_picture, QRectF(QPointF(0, 0), source));
            return;
        }
        // Where the strip holds only its gradient: between the title and the tag at the right.
        const qreal leftEnd = source.width() * 0.42;
        const qreal rightStart = source.width() * 0.74;
        const qreal leftWidth = leftEnd * scale;
        const qreal rightWidth = (source.width() - rightStart) * scale;
        const qreal h = height();
        painter.drawPixmap(QRectF(0, 0, leftWidth, h), m_picture,
                           QRectF(0, 0, leftEnd, source.height()));
        painter.drawPixmap(QRectF(leftWidth, 0, width() - leftWidth - rightWidth, h), m_picture,
                           QRectF(leftEnd, 0, rightStart - leftEnd, source.height()));
        painter.drawPixmap(QRectF(width() - rightWidth, 0, rightWidth, h), m_picture,
                           QRectF(rightStart, 0, source.width() - rightStart, source.height()));
    }

private:
    QPixmap m_picture;
};

QLabel* detailLabel(QLabel* label, QWidget* parent, const char* name, const QString& caption,
                    const QRect& twips, double pointSize, bool bold, const QColor& colour,
                    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    label->setParent(parent);
    label->setObjectName(QLatin1String(name));
    label->setText(caption);
    label->setGeometry(twips);
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
    label->setAlignment(alignment);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// Design positions in twips. The grid fills the lower two thirds; above it the banner spans
// the width, the detail panel reads from the left, and the buttons sit at the right: the
// column of five down the right edge, the row of six beside the column's last button, with
// the hour and day captions over their pairs of arrows.
constexpr int Margin = 360;
constexpr int BannerTop = 90;
constexpr int BannerHeight = 630;
constexpr int PanelTop = 780;
constexpr int GridTop = 3120;
constexpr int GridWidth = 11400;
constexpr int GridHeight = 7800 / 10 * 7; // 5460
constexpr int ButtonSize = 450;
constexpr int ColumnLeft = Margin + GridWidth - ButtonSize;
constexpr int ColumnTop = 780;
// The pictures carry their own margin: the buttons can touch.
constexpr int ColumnPitch = ButtonSize;
constexpr int RowTop = ColumnTop + 4 * ColumnPitch;
constexpr int RowRight = ColumnLeft - 180;
constexpr int PairGap = 60;
constexpr int GroupGap = 180;
constexpr int WordGap = 120;
constexpr int CaptionHeight = 270;
// The failure panel's texts: the title's size for what failed, the description's for why.
constexpr double FailureHeadlinePoints = 20;
constexpr double FailureCausePoints = 16;
constexpr double FailureHintPoints = 14;

} // namespace

ListingsScreen::ListingsScreen(const LoadContext& program, GuideSession::StoreSource store,
                               QWidget* parent)
    : QWidget(parent), m_state(program.state), m_folder(program.folder), m_clock(program.clock),
      m_session(std::move(store), program), m_navigator(*this, m_state, m_clock)
{
    setWindowTitle(ui::applicationTitle());
    setObjectName(QStringLiteral("frmListings"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, White);
    setPalette(pal);
    // The screen takes the keys itself while a button is selected; the buttons never do.
    setFocusPolicy(Qt::StrongFocus);

    buildControls();
    connectSession();

    m_clockTimer = new QTimer(this);
    m_clockTimer->setInterval(1000);
    connect(m_clockTimer, &QTimer::timeout, this, &ListingsScreen::updateClock);
    m_clockTimer->start();

    // Not maximized, the window leaves a margin of the screen free.
    resize(ui::pixels(DesignWidth), ui::pixels(DesignHeight));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize available = screen->availableSize();
        resize(available.width() - available.width() / 20,
               available.height() - available.height() / 10);
    }
}

ListingsScreen::~ListingsScreen() = default;

void ListingsScreen::buildControls()
{
    auto* banner = new BannerPicture(this);
    banner->setObjectName(QStringLiteral("piclistings11"));
    banner->setPicture(picture(pics::Banner));
    banner->setGeometry(ui::twipRect(Margin, BannerTop, GridWidth, BannerHeight));
    m_banner = banner;

    // The button column, top to bottom.
    for (int i = guidebutton::PageUp; i <= guidebutton::Settings; ++i) {
        auto* button = new ui::PictureButton(this);
        button->setGeometry(
            ui::twipRect(ColumnLeft, ColumnTop + i * ColumnPitch, ButtonSize, ButtonSize));
        m_buttons[std::size_t(i)] = button;
    }
    // The button row, laid out from the right: day pair, hour pair, prime time, now.
    int right = RowRight;
    const auto place = [&](int index, int width, int gapBefore) {
        right -= width;
        auto* button = new ui::PictureButton(this);
        button->setGeometry(ui::twipRect(right, RowTop, width, ButtonSize));
        m_buttons[std::size_t(index)] = button;
        right -= gapBefore;
    };
    place(guidebutton::DayForward, ButtonSize, PairGap);
    place(guidebutton::DayBack, ButtonSize, GroupGap);
    const int dayLeft = m_buttons[guidebutton::DayBack]->x() * ui::TwipsPerPixel;
    place(guidebutton::HourForward, ButtonSize, PairGap);
    place(guidebutton::HourBack, ButtonSize, GroupGap);
    const int hourLeft = m_buttons[guidebutton::HourBack]->x() * ui::TwipsPerPixel;
    place(guidebutton::PrimeTime, 2 * ButtonSize, WordGap);
    place(guidebutton::Now, 2 * ButtonSize, 0);
    const int pairWidth = 2 * ButtonSize + PairGap;
    for (int i = 0; i < guidebutton::Count; ++i) {
        ui::PictureButton* button = m_buttons[std::size_t(i)];
        button->setObjectName(QStringLiteral("piclistings%1").arg(i));
        const QString name = pics::GuideButtons[std::size_t(i)];
        button->setPictures(picture(name), picture(ui::selectedPicture(name)));
        connect(button, &ui::PictureButton::clicked, this,
                [this, i] { m_navigator.buttonClicked(i); });
    }
    const auto caption = [&](const char* name, const QString& file, int left) {
        auto* c = new ui::PictureButton(this);
        c->setObjectName(QLatin1String(name));
        const QPixmap pix = picture(file);
        c->setPictures(pix, pix);
        c->setAttribute(Qt::WA_TransparentForMouseEvents);
        c->setGeometry(ui::twipRect(left, RowTop - CaptionHeight - 15, pairWidth, CaptionHeight));
        return c;
    };
    m_hourCaption = caption("pichour", pics::HourCaption, hourLeft);
    m_dayCaption = caption("picday", pics::DayCaption, dayLeft);

    // The detail panel. The title gets the panel's first line; channel and times the second;
    // subtitle and description below, the description as long as the room allows. Clock,
    // rating and category are kept at the right, above the button row.
    const int panelRight = m_buttons[guidebutton::Now]->x() * ui::TwipsPerPixel - 240;
    const int infoLeft = RowRight - 2400;
    const int infoWidth = RowRight - infoLeft;
    m_lbltitle =
        detailLabel(new ElidedLabel, this, "lbltitle", QString(),
                    ui::twipRect(Margin, PanelTop, infoLeft - 240 - Margin, 480), 18, true, White);
    m_lblTime = detailLabel(new ElidedLabel, this, "lblTime", QString(),
                            ui::twipRect(infoLeft, PanelTop, infoWidth, 480), 14, false, Secondary,
                            Qt::AlignRight | Qt::AlignVCenter);
    m_lblChannel = detailLabel(new ElidedLabel, this, "lblChannel", QString(),
                               ui::twipRect(Margin, PanelTop + 510, 2700, 360), 14, true, White);
    m_lblTimes = detailLabel(
        new ElidedLabel, this, "lblTimes", QString(),
        ui::twipRect(Margin + 2760, PanelTop + 510, infoLeft - 240 - Margin - 2760, 360), 14, false,
        Secondary);
    m_lblRating = detailLabel(new ElidedLabel, this, "lblRating", QString(),
                              ui::twipRect(infoLeft, PanelTop + 510, infoWidth, 360), 14, false,
                              Secondary, Qt::AlignRight | Qt::AlignVCenter);
    m_lblcategory = detailLabel(new ElidedLabel, this, "lblcategory", QString(),
                                ui::twipRect(infoLeft, PanelTop + 900, infoWidth, 360), 14, false,
                                Secondary, Qt::AlignRight | Qt::AlignVCenter);
    m_lblsubtitle = detailLabel(new ElidedLabel, this, "lblsubtitle", QString(),
                                ui::twipRect(Margin, PanelTop + 900, panelRight - Margin, 390), 16,
                                false, White);
    m_lbldesc = detailLabel(new WrappedLabel, this, "lbldesc", QString(),
                            ui::twipRect(Margin, PanelTop + 1320, panelRight - Margin,
                                         GridTop - 90 - (PanelTop + 1320)),
                            16, false, White, Qt::AlignLeft | Qt::AlignTop);
    m_lbldesc->setWordWrap(true);
    static_cast<WrappedLabel*>(m_lbldesc)->setKeptSuffix(RepeatSuffix);
    for (QLabel* label : {m_lbltitle, m_lblTime, m_lblChannel, m_lblTimes, m_lblRating,
                          m_lblcategory, m_lblsubtitle, m_lbldesc})
        label->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_grid = new ui::Grid(10, 3, this);
    m_grid->setObjectName(QStringLiteral("theGrid"));
    m_grid->setGeometry(ui::twipRect(Margin, GridTop, GridWidth, GridHeight));
    QFont gridFont(QStringLiteral("Arial"));
    gridFont.setStyleHint(QFont::SansSerif);
    gridFont.setPointSizeF(GridPointSize);
    m_grid->setFont(gridFont);
    // Button mode first: the grid takes the focus only when the viewer goes to it.
    m_grid->setFocusable(false);
    layoutGridCells();
    connect(m_grid, &ui::Grid::currentCellChanged, this,
            [this](int row, int column) { fillDetail(row, column); });
    connect(m_grid, &ui::Grid::keyReleased, this, [this](int code) {
        if (code == ui::vk::Return)
            chooseProgram();
        m_navigator.keyReleased(code, KeySource::Grid);
    });
    connect(m_grid, &ui::Grid::edgeReached, this,
            [this](int code) { m_navigator.keyReleased(code, KeySource::GridEdge); });

    // The load's failure, over the grid: what failed and why, in the detail panel's sizes.
    m_failurePanel = new QFrame(this);
    m_failurePanel->setObjectName(QStringLiteral("loadFailure"));
    m_failurePanel->setStyleSheet(
        QStringLiteral("QFrame#loadFailure { background: #0c1c48; border: 3px solid #dce8ff; "
                       "border-radius: 12px; }"));
    m_failurePanel->setGeometry(ui::twipRect(Margin, GridTop, GridWidth, GridHeight));
    auto* failureLayout = new QVBoxLayout(m_failurePanel);
    failureLayout->setContentsMargins(36, 24, 36, 24);
    failureLayout->setSpacing(16);
    m_failureHeadline = detailLabel(new QLabel, m_failurePanel, "loadFailureText", QString(), {},
                                    FailureHeadlinePoints, true, White);
    m_failureCause =
        detailLabel(new WrappedLabel, m_failurePanel, "loadFailureCause", QString(), {},
                    FailureCausePoints, false, White, Qt::AlignLeft | Qt::AlignTop);
    m_failureCause->setWordWrap(true);
    m_failureHint = detailLabel(new QLabel, m_failurePanel, "loadFailureHint", QString(), {},
                                FailureHintPoints, false, Secondary);
    m_failureHint->setWordWrap(true);
    failureLayout->addWidget(m_failureHeadline);
    failureLayout->addWidget(m_failureCause, 1);
    failureLayout->addWidget(m_failureHint);
    m_failurePanel->hide();

    m_markers = {{Mark::Record, picture(pics::RecordOnceMarker)},
                 {Mark::Season, picture(pics::SeasonMarker)},
                 {Mark::All, picture(pics::AllMarker)}};
}

QPixmap ListingsScreen::picture(const QString& name) const
{
    return QPixmap(ui::picturePath(m_folder.path(), name));
}

// --- lifecycle -------------------------------------------------------------------------------

void ListingsScreen::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_grid->hasFocus())
        setFocus();
    if (m_loadStarted)
        return;
    m_loadStarted = true;
    // Shown first and loaded after, so that the viewer sees the window (and lbltitle telling
    // what the fetch is doing) while the listings are fetched.
    QTimer::singleShot(0, this, &ListingsScreen::load);
}

void ListingsScreen::load()
{
    m_alpha = applyOpacitySetting(this, m_state.settings.opacity);

    // The design layout, recorded before anything has been scaled.
    m_layout.clear();
    m_layout.record(m_banner);
    for (ui::PictureButton* button : m_buttons)
        m_layout.record(button);
    m_layout.record({m_hourCaption, m_dayCaption, m_lbltitle, m_lbldesc, m_lblsubtitle, m_lblRating,
                     m_lblcategory, m_lblTime, m_lblChannel, m_lblTimes, m_grid, m_failurePanel});

    // Laid out at full size before the fetch, which can take minutes: the viewer sees what is
    // going on, in the screen's own sizes.
    m_layoutRecorded = true;
    showMaximized();
    formatPics(width() / DesignWidthPixels, height() / DesignHeightPixels);
    m_lbltitle->setText(
        QStringLiteral("Loading the listings of %1 ...").arg(shortDayText(m_clock.now().date())));

    const bool loaded = m_session.startUp(m_navigator);

    m_loadComplete = true;
    showMaximized();
    // A window that was already at its final size gets no resize event to scale it.
    formatPics(width() / DesignWidthPixels, height() / DesignHeightPixels);

    if (loaded) {
        Q_EMIT loadFinished(true);
        return;
    }
    showLoadFailure();
    Q_EMIT loadFinished(false);
}

void ListingsScreen::showLoadFailure()
{
    const QDate day = m_session.gridState().windowStart.date();
    for (QLabel* label : {m_lbldesc, m_lblsubtitle, m_lblRating, m_lblcategory, m_lblTime,
                          m_lblChannel, m_lblTimes})
        label->clear();
    m_lbltitle->setText(
        QStringLiteral("The listings of %1 could not be loaded.").arg(shortDayText(day)));
    // The headline is the load's own text; the lines an import adds to it say what the cause
    // below says in the viewer's words.
    m_failureHeadline->setText(m_state.loadErrorText.section(u'\n', 0, 0));
    // Its lines break where the cause breaks them (and where they run out of room); what does
    // not fit ends in "…".
    m_failureCause->setText(m_session.failureCause(day).replace(u'\n', QChar::LineSeparator));
    m_failureHint->setText(
        QStringLiteral(
            "Press OK (Enter) to choose another grabber in the settings. The commands run are kept "
            "in %1.")
            .arg(m_folder.file(kGrabberLogName)));
    m_grid->hide();
    // Nothing is loaded for the buttons to work on.
    for (ui::PictureButton* button : m_buttons)
        button->setEnabled(false);
    m_failurePanel->show();
    m_failurePanel->raise();
    setFocus();
}

void ListingsScreen::acknowledgeLoadFailure()
{
    if (!m_failurePanel->isVisible())
        return;
    m_failurePanel->hide();
    if (isSignalConnected(QMetaMethod::fromSignal(&ListingsScreen::loadFailureAcknowledged)))
        Q_EMIT loadFailureAcknowledged();
    else
        endProgram(false);
}

bool ListingsScreen::isShowingLoadFailure() const
{
    return m_failurePanel->isVisible();
}

QString ListingsScreen::loadFailureText() const
{
    return m_failureHeadline->text() + u'\n' +
           QString(m_failureCause->text()).replace(QChar::LineSeparator, u'\n');
}

void ListingsScreen::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Until the load has recorded the layout there is nothing to scale from.
    if (!m_layoutRecorded)
        return;
    formatPics(width() / DesignWidthPixels, height() / DesignHeightPixels);
}

void ListingsScreen::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // A changed opacity setting takes effect whenever the guide becomes active again.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_alpha = applyOpacitySetting(this, m_state.settings.opacity);
}

void ListingsScreen::closeEvent(QCloseEvent* event)
{
    event->accept();
    endProgram(false);
}

void ListingsScreen::endProgram(bool immediately)
{
    // Once: what ends the program may close this window on its way.
    if (m_ending)
        return;
    m_ending = true;
    if (immediately)
        Q_EMIT endNowRequested();
    else
        Q_EMIT exitRequested();
    m_ending = false;
}

void ListingsScreen::formatPics(double xratio, double yratio)
{
    m_layout.apply(xratio, yratio);
    layoutGridCells();
    ui::scaleFont(m_lbldesc, 16, yratio);
    ui::scaleFont(m_lbltitle, 18, yratio);
    ui::scaleFont(m_lblTime, 14, yratio);
    ui::scaleFont(m_lblChannel, 14, yratio);
    ui::scaleFont(m_lblTimes, 14, yratio);
    ui::scaleFont(m_lblsubtitle, 16, yratio);
    ui::scaleFont(m_lblRating, 14, yratio);
    ui::scaleFont(m_lblcategory, 14, yratio);
    ui::scaleFont(m_grid, GridPointSize, yratio);
    ui::scaleFont(m_failureHeadline, FailureHeadlinePoints, yratio);
    ui::scaleFont(m_failureCause, FailureCausePoints, yratio);
    ui::scaleFont(m_failureHint, FailureHintPoints, yratio);
}

void ListingsScreen::layoutGridCells()
{
    const double w = m_grid->width();
    const double h = m_grid->height();
    m_grid->setColumnWidth(0, ui::roundHalfEven(w / 5));
    m_grid->setColumnWidth(1, ui::roundHalfEven((w + w) / 5));
    m_grid->setColumnWidth(2, ui::roundHalfEven((w + w) / 5));
    for (int row = 0; row < m_grid->rowCount(); ++row)
        m_grid->setRowHeight(row, ui::roundHalfEven(h / 10));
}

void ListingsScreen::initForm()
{
    layoutGridCells();
    m_grid->setText(9, 0, QString());
}

// --- keys and mouse --------------------------------------------------------------------------

void ListingsScreen::keyReleaseEvent(QKeyEvent* event)
{
    // A held remote button repeats its press; the release that counts is the last one.
    const int code = event->isAutoRepeat() ? 0 : ui::toVirtualKey(event->key());
    if (code == 0) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    event->accept();
    if (m_failurePanel->isVisible()) {
        // Nothing is loaded to move through; OK leads on.
        if (code == ui::vk::Return || event->key() == Qt::Key_Escape ||
            event->key() == Qt::Key_Space)
            acknowledgeLoadFailure();
        return;
    }
    m_navigator.keyReleased(code, KeySource::Form);
}

void ListingsScreen::wheelEvent(QWheelEvent* event)
{
    event->accept();
    if (m_failurePanel->isVisible())
        return;
    // One page a notch (120 eighths of a degree); a touchpad's small steps add up to one.
    constexpr int Notch = 120;
    m_wheelAngle += event->angleDelta().y();
    while (std::abs(m_wheelAngle) >= Notch) {
        const bool down = m_wheelAngle < 0;
        m_wheelAngle += down ? Notch : -Notch;
        m_navigator.keyReleased(down ? 'B' : 'V', KeySource::Form);
    }
}

void ListingsScreen::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    endProgram(true);
}

void ListingsScreen::chooseProgram()
{
    if (m_state.importInProgress || m_navigator.isBusy())
        return;
    const int row = m_grid->currentRow();
    const int column = m_grid->currentColumn();
    if (m_session.page().cell(row - 1, column - 1))
        Q_EMIT programChosen(row, column);
}

void ListingsScreen::showButtonSelected(int button, bool selected)
{
    if (button >= 0 && button < guidebutton::Count)
        m_buttons[std::size_t(button)]->setSelected(selected);
}

void ListingsScreen::setGridFocus(bool focused)
{
    m_grid->setFocusable(focused);
    if (focused)
        m_grid->setFocus();
    else
        setFocus();
}

void ListingsScreen::setWindowState(GuideWindowState state)
{
    if (state == GuideWindowState::Minimized)
        showMinimized();
    else
        showMaximized();
}

void ListingsScreen::showSettings()
{
    hide();
    Q_EMIT settingsRequested();
    if (!isSignalConnected(QMetaMethod::fromSignal(&ListingsScreen::settingsRequested)))
        show();
}

void ListingsScreen::exitProgram()
{
    endProgram(false);
}

void ListingsScreen::showInfo()
{
    Q_EMIT infoRequested();
}

void ListingsScreen::showSearch()
{
    Q_EMIT searchRequested();
}

void ListingsScreen::showRecordings()
{
    Q_EMIT recordingsRequested();
}

void ListingsScreen::recordCurrentProgramme()
{
    const int row = m_grid->currentRow();
    const int column = m_grid->currentColumn();
    if (m_session.page().cell(row - 1, column - 1))
        Q_EMIT recordRequested(row, column);
}

GridPosition ListingsScreen::currentPosition() const
{
    return {m_grid->currentRow(), m_grid->currentColumn()};
}

void ListingsScreen::setCurrentPosition(GridPosition position)
{
    const int rows = std::max(1, int(m_session.page().rows.size()));
    const int row = std::clamp(position.row, 1, rows);
    const int column = std::clamp(position.column, 1, 2);
    m_grid->setCurrentCell(row, column, false);
    fillDetail(row, column);
}

const GridCell* ListingsScreen::currentCell() const
{
    return m_session.page().cell(m_grid->currentRow() - 1, m_grid->currentColumn() - 1);
}

bool ListingsScreen::showProgramme(const QString& channelid, const QDateTime& start)
{
    if (m_state.importInProgress || m_navigator.isBusy() || !start.isValid())
        return false;
    std::optional<int> page;
    try {
        page = m_session.pageOfChannel(channelid);
    } catch (const StoreError&) {
    }
    if (!page)
        return false;
    // A showing that began yesterday evening runs into today's first hour; the guide shows
    // nothing before today. One that starts in an hour's last five minutes is first shown in
    // the next hour.
    const QDate today = m_clock.now().date();
    const QDateTime shownFrom = wallClock(start.date(), start.time()).addSecs(5 * 60);
    const QDateTime windowStart =
        start.date() < today ? wallClock(today, QTime(0, 0))
                             : wallClock(shownFrom.date(), QTime(shownFrom.time().hour(), 0));
    if (!m_navigator.showWindowPage(windowStart, *page))
        return false;
    // The channel's row, and on it the showing's cell (the first column when the window shows
    // it in neither).
    const GridPage& shown = m_session.page();
    for (std::size_t row = 0; row < shown.rows.size(); ++row) {
        if (shown.rows[row].channelId != channelid)
            continue;
        int column = 1;
        for (int half = 1; half >= 0; --half) {
            const GridCell* cell = shown.cell(int(row), half);
            if (cell && cell->startDate == start.date() && cell->startTime == start.time())
                column = half + 1;
        }
        m_grid->setCurrentCell(int(row) + 1, column, false);
        fillDetail(int(row) + 1, column);
        break;
    }
    return true;
}

// --- listings --------------------------------------------------------------------------------

void ListingsScreen::connectSession()
{
    // While the grabber runs: what is fetched on the title line, its progress on the status
    // line below, readable and cut to the room; never raw output on the title line.
    connect(&m_session, &GuideSession::fetchStarted, this,
            [this](const QString& grabber, QDate day) {
                for (QLabel* label :
                     {m_lbldesc, m_lblRating, m_lblcategory, m_lblTime, m_lblChannel, m_lblTimes})
                    label->clear();
                m_lbltitle->setText(
                    QStringLiteral("Fetching the listings of %1 ...").arg(shortDayText(day)));
                m_lblsubtitle->setText(QStringLiteral("%1 is running.").arg(grabber));
            });
    connect(&m_session, &GuideSession::grabberProgress, this,
            [this](const QString& grabber, const QString& line) {
                m_lblsubtitle->setText(grabber + QLatin1String(": ") + line);
            });
    connect(&m_session, &GuideSession::programmesFound, this,
            [this](int count) { m_lbltitle->setText(programsFoundText(count)); });
    connect(&m_session, &GuideSession::dayImported, this, [this](int programmes) {
        m_lbltitle->setText(programsFoundText(programmes));
        // New listings may name logos that were missing before.
        m_logos.clear();
    });
}

void ListingsScreen::getListings(const QDateTime& day)
{
    try {
        m_session.getListings(day);
        // A failure is told by showLoadFailure: on the screen at the first load, in a message
        // for a day command.
    } catch (const Error& error) {
        ui::messageBox(this, error.message());
    }
}

void ListingsScreen::showLoadFailure(const QString& message)
{
    QString text = message.section(u'\n', 0, 0);
    const QString cause = m_session.failureCause(m_session.gridState().windowStart.date());
    if (!cause.isEmpty())
        text += QLatin1String("\n\n") + cause;
    ui::messageBox(this, text);
}

bool ListingsScreen::displayListings()
{
    try {
        // A fill lets the event loop run now and then; keys arriving meanwhile wait in the
        // navigator, so no second fill starts under this one.
        if (!m_session.fill([] { QCoreApplication::processEvents(); }))
            return false;
    } catch (const Error& error) {
        ui::messageBox(this, error.message());
        return false;
    } catch (const std::invalid_argument& error) {
        ui::messageBox(this, QString::fromUtf8(error.what()));
        return false;
    }
    paintPage();
    return true;
}

void ListingsScreen::beginRefill()
{
    if (m_refillDepth++ == 0)
        m_grid->setUpdatesEnabled(false);
}

void ListingsScreen::endRefill()
{
    if (--m_refillDepth == 0)
        m_grid->setUpdatesEnabled(true);
}

QPixmap ListingsScreen::logo(const QString& icon)
{
    if (icon.isEmpty())
        return QPixmap();
    const auto cached = m_logos.constFind(icon);
    if (cached != m_logos.constEnd())
        return *cached;
    const QPixmap loaded(QDir(m_folder.logosFolder()).filePath(icon));
    m_logos.insert(icon, loaded);
    return loaded;
}

void ListingsScreen::paintPage()
{
    const GridPage& page = m_session.page();
    for (int row = 1; row < m_grid->rowCount(); ++row) {
        m_grid->clearRow(row);
        m_grid->setRowMerged(row, false);
    }
    for (std::size_t k = 0; k < page.rows.size() && int(k) + 1 < m_grid->rowCount(); ++k) {
        const GridRow& channel = page.rows[k];
        const int row = int(k) + 1;
        m_grid->setText(row, 0, channel.channelText);
        m_grid->setAlignment(row, 0, ui::CellAlignment::LeftCenter);
        m_grid->setPicture(row, 0, logo(channel.icon));
        m_grid->setPictureAlignment(row, 0, ui::CellAlignment::LeftCenter);
        for (int half = 0; half < 2; ++half) {
            const GridCell* cell = page.cell(int(k), half);
            if (!cell)
                continue;
            m_grid->setText(row, half + 1, cell->title);
            m_grid->setAlignment(row, half + 1, ui::CellAlignment::LeftCenter);
            const auto marker = cell->marker ? m_markers.find(*cell->marker) : m_markers.end();
            m_grid->setPicture(row, half + 1,
                               marker == m_markers.end() ? QPixmap() : marker->second);
            m_grid->setPictureAlignment(row, half + 1, ui::CellAlignment::RightCenter);
        }
        m_grid->setRowMerged(row, channel.merged);
    }
    m_grid->setText(0, 0, page.header[0]);
    m_grid->setAlignment(0, 0, ui::CellAlignment::RightCenter);
    for (int column = 1; column <= 2; ++column) {
        m_grid->setText(0, column, page.header[std::size_t(column)]);
        m_grid->setAlignment(0, column, ui::CellAlignment::CenterCenter);
    }
    m_paintedWindow = m_session.gridState().windowStart;
    markTimes(m_clock.now());
    m_grid->setCurrentCell(1, 1, false);
    fillDetail(1, 1);
}

void ListingsScreen::markTimes(const QDateTime& now)
{
    const GridPage& page = m_session.page();
    for (std::size_t k = 0; k < page.rows.size() && int(k) + 1 < m_grid->rowCount(); ++k) {
        for (int half = 0; half < 2; ++half) {
            const GridCell* cell = page.cell(int(k), half);
            if (!cell)
                continue;
            const CellTiming timing = cellTiming(*cell, m_paintedWindow, now);
            ui::Grid::CellLook look;
            look.fill = ui::genreTint(genreOf(cell->category));
            look.dimmed = timing.ended;
            look.progress = timing.progress.value_or(-1);
            look.arrowLeft = timing.startedBefore;
            look.arrowRight = timing.goesOn;
            m_grid->setLook(int(k) + 1, half + 1, look);
        }
    }
    m_grid->setNowLine(nowLineFraction(m_paintedWindow, now));
    m_markedMinute = now.addSecs(-now.time().second());
}

void ListingsScreen::updateClock()
{
    if (!m_loadComplete || !m_paintedWindow.isValid() || m_failurePanel->isVisible())
        return;
    const QDateTime now = m_clock.now();
    m_lblTime->setText(standardTimeText(now.time()));
    if (now.addSecs(-now.time().second()) != m_markedMinute)
        markTimes(now);
}

QStringList ListingsScreen::shownLines(const QString& labelName) const
{
    const QLabel* label = findChild<QLabel*>(labelName);
    if (const auto* wrapped = dynamic_cast<const WrappedLabel*>(label))
        return wrapped->shownLines();
    if (const auto* elided = dynamic_cast<const ElidedLabel*>(label))
        return {elided->shownText()};
    return {};
}

void ListingsScreen::refreshMarks()
{
    const int row = m_grid->currentRow();
    const int column = m_grid->currentColumn();
    m_navigator.requeryShownPage();
    m_grid->setCurrentCell(row, column, false);
    fillDetail(m_grid->currentRow(), m_grid->currentColumn());
}

void ListingsScreen::fillDetail(int row, int column)
{
    const DetailTexts texts = detailTexts(m_session.page(), row - 1, column - 1, m_clock);
    m_lbltitle->setText(texts.lbltitle);
    m_lbldesc->setText(texts.lbldesc);
    m_lblsubtitle->setText(texts.lblsubtitle);
    m_lblRating->setText(texts.lblRating);
    m_lblcategory->setText(texts.lblcategory);
    m_lblTime->setText(texts.lblTime);
    m_lblChannel->setText(texts.lblChannel);
    m_lblTimes->setText(texts.lblTimes);
}

} // namespace zarvo
