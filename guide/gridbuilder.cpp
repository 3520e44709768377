#include "guide/gridbuilder.h"

#include "store/timerules.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <stdexcept>

namespace zarvo {

namespace {

// The guide's texts are US-English on every machine; the C locale gives exactly those names.
QString usText(QDate date, const QString& format)
{
    return QLocale::c().toString(date, format);
}

QString dayAndTimesText(const ProgrammeRow& programme)
{
    return usText(programme.startdate, QStringLiteral("ddd MM/dd")) + QStringLiteral("  ") +
           standardTimeText(programme.starttime) + QStringLiteral(" - ") +
           standardTimeText(programme.endtime);
}

std::optional<Mark> markerOf(std::optional<Mark> action)
{
    return action == Mark::Cleared ? std::nullopt : action;
}

// Clears the flag however the fill ends, so that an exception from the store does not leave
// the builder refusing every later fill.
class FillingFlag
{
public:
    explicit FillingFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FillingFlag() { m_flag = false; }
    FillingFlag(const FillingFlag&) = delete;
    FillingFlag& operator=(const FillingFlag&) = delete;

private:
    bool& m_flag;
};

// Reads a time of day such as "8:00 PM", "8 pm", "8:30PM" or "20:00"; a bare number is not
// taken, since it could be either half of the day.
std::optional<QTime> readTimeOfDay(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{1,2})(?::(\\d{2})(?::(\\d{2}))?)?\\s*(?:([ap])\\.?m?\\.?)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString marker = match.captured(4).toLower();
    if (marker.isEmpty() && match.captured(2).isEmpty())
        return std::nullopt;
    int hour = match.captured(1).toInt();
    const int minute = match.captured(2).toInt();
    const int second = match.captured(3).toInt();
    if (!marker.isEmpty()) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (marker == QLatin1String("p") ? 12 : 0);
    }
    if (!QTime::isValid(hour, minute, second))
        return std::nullopt;
    return QTime(hour, minute, second);
}

bool sameMonthAndDay(QDate a, QDate b)
{
    return a.month() == b.month() && a.day() == b.day();
}

} // namespace

const GridCell* GridPage::cell(int row, int halfHour) const
{
    if (row < 0 || row >= int(rows.size()) || halfHour < 0 || halfHour > 1)
        return nullptr;
    const std::optional<GridCell>& cell = rows[std::size_t(row)].cells[std::size_t(halfHour)];
    return cell ? &*cell : nullptr;
}

QString standardTimeText(QTime time)
{
    return QLocale::c().toString(time, QStringLiteral("h:mm:ss AP"));
}

bool GridBuilder::displayListings(ListingsStore& store, const Yield& yield)
{
    if (m_filling)
        return false;
    const QDateTime windowStart = m_state.windowStart;
    if (!windowStart.isValid())
        throw std::invalid_argument("the guide window has no valid start");
    const FillingFlag filling(m_filling);

    // A new window counts the channels again (an import may have changed them); every page is
    // then found from its number, whichever way the viewer came to it.
    const int channelCount = m_state.requeryNeeded ? store.channelCount() : m_channelCount;
    const int lastPage = channelCount == 0 ? 1 : (channelCount - 1) / GridPage::MaxRows + 1;
    const int page = std::clamp(m_state.channelPage, 1, lastPage);

    const QDate date = windowStart.date();
    const int hour = windowStart.time().hour();
    ListingsStore::GuideWindow window =
        store.guidePage(dayNumber(date), QTime(hour, 0), QTime(hour, 30), QTime(hour, 55), date,
                        (page - 1) * GridPage::MaxRows, GridPage::MaxRows);
    const std::vector<ChannelRow>& channels = window.channels.rows();

    // The programmes come in the page's channel order, so each programme's row only grows along
    // a result; the walk compares rows, not ids, to pass over a programme whose channel lies
    // before the current one. A channel id listed twice is told apart by the joined channel row.
    QHash<QString, std::vector<qsizetype>> positionsById;
    for (std::size_t i = 0; i < channels.size(); ++i)
        positionsById[channels[i].channelid].push_back(qsizetype(i));
    const auto positionsOf = [&](const Snapshot<ListingRow>& listings) {
        std::vector<qsizetype> positions;
        positions.reserve(listings.size());
        for (const ListingRow& listing : listings.rows()) {
            const auto found = positionsById.constFind(listing.channel.channelid);
            if (found == positionsById.constEnd()) {
                positions.push_back(-1);
                continue;
            }
            const auto same = std::find_if(found->begin(), found->end(), [&](qsizetype p) {
                return channels[std::size_t(p)] == listing.channel;
            });
            positions.push_back(same != found->end() ? *same : found->front());
        }
        return positions;
    };
    const std::vector<qsizetype> firstHalfChannel = positionsOf(window.firstHalf);
    const std::vector<qsizetype> secondHalfChannel = positionsOf(window.secondHalf);

    GridPage result;
    result.header = {usText(windowStart.date(), QStringLiteral("ddd")),
                     standardTimeText(QTime(windowStart.time().hour(), 0)),
                     standardTimeText(QTime(windowStart.time().hour(), 30))};

    // Placing a programme: while it belongs to the current channel. Programmes of channels
    // before the current one are passed over (they cannot be placed any more); the walk goes on
    // while channels remain, whether or not programmes do.
    const auto place = [](Snapshot<ListingRow>& listings, const std::vector<qsizetype>& channelOf,
                          qsizetype position, const ChannelRow& channel,
                          std::optional<GridCell>& cell, const auto& afterEach) {
        while (!listings.atEnd()) {
            const qsizetype at = channelOf[listings.bookmark()];
            if (at > position)
                break;
            // Several programmes in one half hour: the last one in order stays in the cell.
            if (at == position)
                cell = gridCell(listings.current().programme, channel, listings.current().dayTable);
            listings.next();
            afterEach();
        }
    };

    QElapsedTimer sinceYield;
    sinceYield.start();
    const auto maybeYield = [&] {
        if (yield && sinceYield.elapsed() >= m_yieldInterval.count()) {
            yield();
            sinceYield.restart();
        }
    };
    const auto nothing = [] {};

    for (std::size_t k = 0; k < channels.size(); ++k) {
        const ChannelRow& channel = channels[k];
        GridRow row;
        row.channelName = channel.channelname;
        row.channelId = channel.channelid;
        row.channelText = QStringLiteral("      ") + channel.channelname;
        row.icon = channel.icon;
        place(window.firstHalf, firstHalfChannel, qsizetype(k), channel, row.cells[0], maybeYield);
        place(window.secondHalf, secondHalfChannel, qsizetype(k), channel, row.cells[1], nothing);
        // The date counts too: a programme that began at this clock time on an earlier day is
        // another showing.
        row.merged = row.cells[0] && row.cells[1] &&
                     row.cells[0]->startDate == row.cells[1]->startDate &&
                     row.cells[0]->startTime == row.cells[1]->startTime;
        result.rows.push_back(std::move(row));
    }

    m_page = std::move(result);
    m_channelCount = channelCount;
    m_hasNextPage = page < lastPage;
    m_state.channelPage = page;
    m_state.requeryNeeded = false;
    m_state.goingBack = false;
    return true;
}

DetailTexts detailTexts(const GridPage& page, int row, int halfHour, const Clock& clock)
{
    DetailTexts texts;
    const GridCell* cell = page.cell(row, halfHour);
    if (cell) {
        texts.lbltitle = cell->title;
        texts.lbldesc = cell->description;
        texts.lblsubtitle = cell->subtitle;
        texts.lblcategory = cell->category;
        texts.lblChannel = cell->channelName;
        texts.lblTimes = cell->timeText;
        if (cell->rerun)
            texts.lbldesc += QStringLiteral(" (Repeat)");
    }
    texts.lblRating = QStringLiteral("Rating: ") + (cell ? cell->rating : QString());
    texts.lblTime = standardTimeText(clock.now().time());
    return texts;
}

QDateTime hourBack(const QDateTime& windowStart)
{
    return windowStart.time().hour() == 0 ? windowStart : windowStart.addSecs(-3600);
}

QDateTime hourForward(const QDateTime& windowStart)
{
    return windowStart.time().hour() == 23 ? windowStart : windowStart.addSecs(3600);
}

QDateTime primeTime(const QDateTime& windowStart, const QString& primeTimeSetting)
{
    const QTime time = readTimeOfDay(primeTimeSetting).value_or(QTime(20, 0));
    return wallClock(windowStart.date(), time);
}

std::optional<QDateTime> dayForward(const QDateTime& windowStart, QDate today)
{
    if (sameMonthAndDay(windowStart.date(), today.addDays(6)))
        return std::nullopt;
    return windowStart.addDays(1);
}

std::optional<QDateTime> dayBack(const QDateTime& windowStart, QDate today)
{
    if (sameMonthAndDay(windowStart.date(), today))
        return std::nullopt;
    return windowStart.addDays(-1);
}

void showWindow(GridState& state, const QDateTime& windowStart)
{
    state.windowStart = windowStart;
    state.goingBack = false;
    state.channelPage = 1;
    state.requeryNeeded = true;
}

void showDay(GridState& state, const QDateTime& windowStart)
{
    state.windowStart = windowStart;
    state.goingBack = false;
    state.requeryNeeded = true;
}

void pageUp(GridState& state)
{
    state.goingBack = true;
    state.channelPage = std::max(1, state.channelPage - 1);
}

bool pageDown(GridState& state, bool hasNextPage)
{
    if (!hasNextPage)
        return false;
    ++state.channelPage;
    state.goingBack = false;
    return true;
}

bool restoreChannelPage(GridBuilder& builder, ListingsStore& store, int page,
                        const GridBuilder::Yield& yield)
{
    if (builder.isFilling())
        return false;
    GridState& state = builder.state();
    state.goingBack = false;
    state.channelPage = page;
    state.requeryNeeded = true;
    return builder.displayListings(store, yield);
}

GridCell gridCell(const ProgrammeRow& programme, const ChannelRow& channel, int dayTable)
{
    GridCell cell;
    cell.title = programme.title;
    cell.description = programme.description;
    cell.subtitle = programme.subtitle;
    cell.timeText = dayAndTimesText(programme);
    cell.rating = programme.rating;
    cell.category = programme.category;
    cell.channelName = channel.channelname;
    cell.startDate = programme.startdate;
    cell.startTime = programme.starttime;
    cell.endDate = programme.enddate;
    cell.endTime = programme.endtime;
    cell.rerun = programme.rerun;
    cell.programId = programme.programid;
    cell.dayTable = dayTable;
    cell.marker = markerOf(programme.action);
    return cell;
}

} // namespace zarvo
