#pragma once
// The guide grid without widgets: which channels and programmes one page of the guide shows for
// a time window, and the paging through the channels nine at a time.
//
// A page is one clock hour (two half-hour columns) of nine channel rows. The screen draws a
// GridPage as it is (cell texts, logos, markers, merged rows) and fills its detail labels with
// detailTexts(); the command-line tool prints it with gridPageJson() (guide/gridjson.h).
//
// All texts are fixed US-English forms, whatever the locale: weekday "Mon", time of day
// "8:00:00 PM", date "12/15".

#include "base/clock.h"
#include "store/listingsstore.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace zarvo {

// One placed programme: what its cell shows and what the detail panel and the action menu read.
struct GridCell
{
    QString title;
    QString description;
    QString subtitle;
    // "ddd MM/dd  h:mm:ss AP - h:mm:ss AP": "Mon 12/15  8:00:00 PM - 9:00:00 PM".
    QString timeText;
    QString rating;
    QString category;
    QString channelName; // the row's channel name, without the leading blanks
    QDate startDate;
    QTime startTime;
    QDate endDate;
    QTime endTime;
    bool rerun = false;
    qint32 programId = 0;
    // The weekday table (1..7) that holds the programme's row; programId is unique only there.
    int dayTable = 0;
    // The recording-state picture: the programme's mark when it is Record, Season or All;
    // none for an unmarked or cleared programme.
    std::optional<Mark> marker;
    bool operator==(const GridCell&) const = default;
};

struct GridRow
{
    QString channelText; // six blanks and the channel name, as the channel cell shows it
    QString channelName;
    QString channelId; // the XMLTV channel id
    QString icon;      // logo file name in the logos folder; may be empty or missing on disk
    // True when both cells hold a programme with the same start date and time: the screen draws
    // the two cells as one.
    bool merged = false;
    // Index 0 the first half hour (hh:00), 1 the second (hh:30); empty when nothing is on.
    std::array<std::optional<GridCell>, 2> cells;
    bool operator==(const GridRow&) const = default;
};

struct GridPage
{
    static constexpr int MaxRows = 9;
    // Weekday of the window ("Mon"), then the two half hours ("8:00:00 PM", "8:30:00 PM").
    // Empty before the first fill.
    std::array<QString, 3> header;
    // At most nine; fewer on the last page of channels. Rows beyond them are empty.
    std::vector<GridRow> rows;
    // The cell at row 0..8 and half hour 0..1; nullptr when empty or out of range.
    const GridCell* cell(int row, int halfHour) const;
    bool operator==(const GridPage&) const = default;
};

// What the screen sets before asking for a fill, and what the fill leaves behind.
struct GridState
{
    // Start of the window, a naive wall-clock value (app/clock.h). Only its date and hour are
    // used: minutes and seconds do not shift the half-hour columns.
    QDateTime windowStart;
    // 1-based page of channels.
    int channelPage = 1;
    // Run the window queries again (a new window).
    bool requeryNeeded = true;
    // Page up: page `channelPage` shown again (every page is found from its number).
    bool goingBack = false;
    bool operator==(const GridState&) const = default;
};

// The eight detail labels for one cell of the grid.
struct DetailTexts
{
    QString lbltitle;
    QString lbldesc; // description, followed by " (Repeat)" for a rerun
    QString lblsubtitle;
    QString lblRating; // "Rating: " and the rating
    QString lblcategory;
    QString lblTime; // the present time of day, "8:05:12 PM"
    QString lblChannel;
    QString lblTimes; // the cell's day and times text
    bool operator==(const DetailTexts&) const = default;
};

class GridBuilder
{
public:
    using Yield = std::function<void()>;

    GridBuilder() = default;
    GridBuilder(const GridBuilder&) = delete;
    GridBuilder& operator=(const GridBuilder&) = delete;

    GridState& state() { return m_state; }
    const GridState& state() const { return m_state; }

    // Fills page `channelPage` of the window `windowStart` (the DisplayListings step). The page
    // is read from the store on its own (ListingsStore::guidePage): its nine channels and their
    // programmes in the window, whatever page it is, so every command costs the same at any
    // number of channels. With requeryNeeded (a new window) the channels are counted again. A
    // page number past the last page becomes the last page; page up (goingBack) and page down
    // show the page their number names.
    // Every channel of the page gets a row even when nothing is on; the header is always set.
    // A complete fill clears requeryNeeded and goingBack and may correct channelPage.
    //
    // While it walks the first column the fill calls `yield` (to let the event loop run) each
    // time the yield interval has passed. A call made meanwhile (from inside `yield`) is refused:
    // it returns false at once and changes nothing; the caller should queue its request and ask
    // again when isFilling() is false. Until the fill ends page() and hasNextPage() still tell
    // the previous fill, and the state must not be changed. `yield` must not throw.
    //
    // Returns true after a complete fill. Throws StoreError when the queries fail (page, state
    // and positions are then unchanged) and std::invalid_argument for an invalid windowStart.
    bool displayListings(ListingsStore& store, const Yield& yield = {});

    bool isFilling() const { return m_filling; }
    // The page of the last complete fill.
    const GridPage& page() const { return m_page; }
    // True when channels remain after the page shown: page down has somewhere to go.
    bool hasNextPage() const { return m_hasNextPage; }

    // How long the first-column walk runs between calls of `yield`; 0 yields after every
    // programme of the first column.
    void setYieldInterval(std::chrono::milliseconds interval) { m_yieldInterval = interval; }

private:
    GridState m_state;
    GridPage m_page;
    // The channels counted at the last new window.
    int m_channelCount = 0;
    bool m_hasNextPage = false;
    bool m_filling = false;
    std::chrono::milliseconds m_yieldInterval{20};
};

// The detail labels for the cell at row 0..8 and half hour 0..1 of `page`. An empty cell gives
// empty texts (with "Rating: " alone); the time label shows the clock's present time.
DetailTexts detailTexts(const GridPage& page, int row, int halfHour, const Clock& clock);

// "8:00:00 PM": the standard time-of-day text of the guide.
QString standardTimeText(QTime time);

// The cell of `programme` on `channel`, read from day table `dayTable` (1..7).
GridCell gridCell(const ProgrammeRow& programme, const ChannelRow& channel, int dayTable);

// --- window moves of the guide's commands -------------------------------------------------------

// Hour back: one hour earlier, but never before 00:00 of the day (a window at 00:xx stays).
QDateTime hourBack(const QDateTime& windowStart);
// Hour forward: one hour later, but never past the day (a window at 23:xx stays).
QDateTime hourForward(const QDateTime& windowStart);
// Prime time: the window's date at the `primeTime` setting ("8:00 PM"). The setting is read
// leniently: "8:00 PM", "8 pm", "8:30PM", "20:00" and "20:00:00" all read; any time of day that
// reads is used as it is. An unreadable setting, or one naming no real time ("13:00 PM",
// "8:75 PM"), gives 8:00 PM.
QDateTime primeTime(const QDateTime& windowStart, const QString& primeTimeSetting);
// Day forward and back: the same time one day later (earlier), or nullopt when the window is
// already on the last day the guide shows (today + 6) or on today. Only month and day are
// compared, not the year.
std::optional<QDateTime> dayForward(const QDateTime& windowStart, QDate today);
std::optional<QDateTime> dayBack(const QDateTime& windowStart, QDate today);

// --- paging state of the guide's commands -------------------------------------------------------

// A new window (now, prime time): page 1, queried anew.
void showWindow(GridState& state, const QDateTime& windowStart);
// A new day (day back, day forward): queried anew on the same channel page.
void showDay(GridState& state, const QDateTime& windowStart);
// Page up: back one page, page 1 stays page 1 (and is shown again).
void pageUp(GridState& state);
// Page down: false, changing nothing, when there is no next page.
bool pageDown(GridState& state, bool hasNextPage);
// After an hour move: query the (already moved) window on page `page` (the last page when there
// are fewer). Returns false when a fill is running (nothing done).
bool restoreChannelPage(GridBuilder& builder, ListingsStore& store, int page,
                        const GridBuilder::Yield& yield = {});

} // namespace zarvo
