#pragma once
// The listings database, xmltv97.db in the program folder: seven per-weekday programme tables
// day1 (Sunday) .. day7 (Saturday), `channels`, the one-row `dates` table recording which
// calendar day each weekday table holds, the standing recording rules `scheduled`, and the log
// of recordings handed to the recorder, `recorded`.
//
// Storage forms: dates as 'YYYY-MM-DD' and times of day as 'HH:MM:SS' text, so that they compare
// correctly as text; `rerun` as 0/1; `action` NULL until a programme is marked, then the text of
// its Mark; a rule's `recordtype` the text of its RuleType (markText(), ruleTypeText()). Every
// value is bound, never pasted into SQL; only the weekday number (checked to be 1..7) names a
// table.
//
// Texts compare exactly, letter case included: channel ids with `channelid`, rule channels with
// `channelname`, and titles with rule titles, except that there "&" and "and" count alike.
//
// Channel order: wherever channels or their programmes come in channel order, the channels
// whose `channelnum` reads as a number ("9", "10", "5.1", " 11 ") come first, by that number
// (9 before 10); the others ("5-1", "ABC") follow by `channelnum` as text; equal ones keep the
// order in which they were inserted. Within a channel, programmes come by start date, start
// time, then programid.
//
// Result sets that the guide walks with positions and bookmarks are snapshots (Snapshot<Row>):
// the rows are read at once, and a position can be saved and restored.
//
// Errors: every operation throws StoreError when SQLite reports a failure, naming the operation;
// so does a day number outside 1..7. Opening refuses, without touching the file, a file that is
// not a listings database or that a newer version of the program wrote.
//
// Units of work: every operation that writes is one unit, committed as a whole when it returns
// and rolled back as a whole when it throws: the single-row ones below, and the three that
// change several things together, replaceDay() (an import), markAndLog() (a recording handed
// over) and upsertRule(). Nobody outside the store opens a transaction. The file uses SQLite's
// rollback journal with full syncs: a process killed at any moment leaves the last committed
// state, which the next open restores.
//
// Schema versions: the file's user_version says which layout it has. Opening a file of an older
// version of ours brings it to the current one in one transaction (its rows are kept); a second
// open finds nothing to do.
//
// Several ListingsStore objects (in one process or several) may use the same file; a writer
// waits up to five seconds for another one's lock. The program itself keeps one (Program::store())
// and does all its work through it.

#include "store/storeerror.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zarvo {

class Database;
class Statement;

// What became of a programme: a recording of it was handed over (Record: this showing; Season,
// All: also by a rule of that type), or the viewer chose not to record it (Cleared). A
// programme never marked has no Mark (std::nullopt); only those are taken by the rules.
enum class Mark { Cleared, Record, Season, All };
// A standing rule: Season takes the first showings of its title on its channel, All every
// showing of the title on any channel.
enum class RuleType { Season, All };

// The texts by which the file stores them, the command line and the grid's JSON print them and
// the command line reads them: " ", "record", "season", "all"; "season", "all". The readers
// give nullopt for any other text.
QString markText(Mark mark);
std::optional<Mark> markFromText(const QString& text);
QString ruleTypeText(RuleType type);
std::optional<RuleType> ruleTypeFromText(const QString& text);

struct ChannelRow
{
    QString channelid;
    QString channelname;
    QString channelnum;
    QString icon;
    bool operator==(const ChannelRow&) const = default;
};

struct ProgrammeRow
{
    qint32 programid = 0; // assigned by the store
    QDate startdate;
    QTime starttime;
    QDate enddate;
    QTime endtime;
    QString channel; // the XMLTV channel id
    QString title;
    QString subtitle;
    QString description;
    QString category;
    QString rating;
    bool rerun = false;
    // NULL in the file is nullopt; a text that names no Mark reads as Cleared (the rules leave
    // it, as they leave every programme whose action is not NULL).
    std::optional<Mark> action;
    bool operator==(const ProgrammeRow&) const = default;
};

// A programme as an import hands it over: its texts as UTF-8 that may point into the day file's
// own bytes, since they need to live only until DayWriter::addProgramme() returns.
struct ProgrammeText
{
    QDate startdate;
    QTime starttime;
    QDate enddate;
    QTime endtime;
    std::string_view channel;
    std::string_view title;
    std::string_view subtitle;
    std::string_view description;
    std::string_view category;
    std::string_view rating;
    bool rerun = false;
};

// The row of a programme handed over as texts (programid 0, no action).
ProgrammeRow programmeRow(const ProgrammeText& programme);

// A programme joined with its channel.
struct ListingRow
{
    ProgrammeRow programme;
    ChannelRow channel;
    // The weekday table (1..7) the programme row was read from: its programid is unique only
    // there, and a day file's rows all live in the table of the file's day, whatever date each
    // programme starts on.
    int dayTable = 0;
    bool operator==(const ListingRow&) const = default;
};

struct RuleRow
{
    QString programtitle;
    RuleType recordtype = RuleType::Season;
    QString recordchannel;
    bool operator==(const RuleRow&) const = default;
};

// A programme that a standing rule matches, with the channel and the rule.
struct RuleMatch
{
    ProgrammeRow programme;
    ChannelRow channel;
    RuleRow rule;
};

// One row of the `recorded` log: sixteen texts.
struct RecordedRow
{
    QString startdate, starttime, enddate, endtime, channel, title, subtitle, description, category,
        rating, filename, realdate, realtime, station, mode, duration;
};

// A result read whole, with a current position like a static cursor.
template <typename Row> class Snapshot
{
public:
    using Bookmark = std::size_t;
    Snapshot() = default;
    explicit Snapshot(std::vector<Row> rows) : m_rows(std::move(rows)) {}

    bool atEnd() const { return m_pos >= m_rows.size(); }
    bool isEmpty() const { return m_rows.empty(); }
    std::size_t size() const { return m_rows.size(); }
    const Row& current() const { return m_rows.at(m_pos); }
    void next()
    {
        if (m_pos < m_rows.size())
            ++m_pos;
    }
    void moveFirst() { m_pos = 0; }
    void moveLast() { m_pos = m_rows.empty() ? 0 : m_rows.size() - 1; }
    Bookmark bookmark() const { return m_pos; }
    void moveTo(Bookmark b) { m_pos = b < m_rows.size() ? b : m_rows.size(); }
    const std::vector<Row>& rows() const { return m_rows; }

private:
    std::vector<Row> m_rows;
    std::size_t m_pos = 0;
};

class ListingsStore
{
public:
    // 1: the first layout. 2: the day tables lose their title indexes and the rules' title
    // index holds the form in which titles compare, replace(title, '&', 'and'); version 1
    // indexed the plain titles, which no query can use since "&" and "and" count alike.
    // 3: `channelspan` and the channel order's index, which let the guide read one page of a
    // window.
    static constexpr int SchemaVersion = 3;
    // Written to the file's application_id so that a foreign SQLite file is recognised.
    static constexpr qint32 ApplicationId = 0x5A52564C;
    // The value every `dates` column starts with in a new database: a past day, so that every
    // day counts as missing.
    static QDate initialDate() { return QDate(2000, 1, 1); }

    // Opens the database at `path`, creating it with its schema and its `dates` row when the
    // file does not exist (or is empty). A file of an older schema version of ours is migrated
    // to the current one in one transaction, keeping its rows; should a step fail, the file is
    // left as it was and StoreError is thrown. A `dates` table that lost its row gets the
    // initial row back. Throws StoreError with a clear message for a file that is not a
    // listings database, one of a newer schema, or one that cannot be opened; such a file is
    // left untouched.
    //
    // ReadOnly opens an existing file for reading only: no write lock is taken, so it works
    // while another process imports. A missing file throws StoreError; a file whose import was
    // cut off, whose `dates` row is gone or whose schema is older is opened read-write once to
    // be mended.
    enum class Access { ReadWrite, ReadOnly };
    explicit ListingsStore(const QString& path, Access access = Access::ReadWrite);
    ~ListingsStore();
    ListingsStore(const ListingsStore&) = delete;
    ListingsStore& operator=(const ListingsStore&) = delete;

    // --- units of work of several steps -------------------------------------------------
    // Told after every row replaceDay() stored, with the number of programmes stored so far:
    // 0 after each channel, then 1, 2, ... after the programmes.
    using RowStored = std::function<void(int programmesStored)>;
    // An import, as one unit: empties day table `dayNumber` and `channels`, inserts `channels`
    // and then `programmes` in their order (their programid and action are ignored: the store
    // assigns ids, and new rows are unmarked), and records `date` in the day's `dates` column.
    // A day table never hands out the same programme id twice, not even once it was emptied.
    //
    // `rowStored` runs inside the unit, while its transaction is open, so that the caller can
    // show progress and let events run. Meanwhile this store reads what the unit has stored so
    // far and refuses (StoreError) any write and any other unit; an exception it throws rolls
    // the unit back and is passed on.
    //
    // Throws StoreError, with everything rolled back and the old day, channels and date left as
    // they were, for a day number outside 1..7, an invalid date, a programme without valid
    // dates and times, and any failure of SQLite.
    void replaceDay(int dayNumber, QDate date, const std::vector<ChannelRow>& channels,
                    const std::vector<ProgrammeRow>& programmes, const RowStored& rowStored = {});
    // The same unit with the rows handed over one at a time, as an import reads them, so that
    // a day never has to be held whole in memory: `fill` adds the channels and programmes
    // through the writer (in any order). Once it returns, `date` is recorded and the unit
    // committed; whatever it throws rolls the unit back (the old day, channels and date stay)
    // and is passed on. While it runs the store behaves as during rowStored above.
    class DayWriter;
    void replaceDay(int dayNumber, QDate date, const std::function<void(DayWriter&)>& fill);
    // A recording handed over, as one unit: sets the action of programme `programid` of day
    // table `dayNumber` to `action` and adds `row` to the `recorded` log; both or neither are
    // stored. The row is added also when there is no such programme or when `dayNumber` is
    // outside 1..7 (a selection that names no table); returns whether a programme was marked.
    bool markAndLog(int dayNumber, qint32 programid, Mark action, const RecordedRow& row);
    // Stores a rule as one unit: when its title ("&" and "and" alike) already has a rule on its
    // channel, that rule's type becomes rule.recordtype (season <-> all); otherwise the rule is
    // added. Since the lookup and the write are one unit, two connections storing the same rule
    // at once leave one row.
    void upsertRule(const RuleRow& rule);

    // --- single rows --------------------------------------------------------------------
    // Each of these is a unit of its own, committed at once: meant for small changes, not for
    // loading a day (which is replaceDay()).
    void insertChannel(const ChannelRow& channel);
    // Inserts a programme into day table `dayNumber` (its programid and action are ignored, as
    // in replaceDay()). Returns the new programid. Throws StoreError for a programme without
    // valid dates and times.
    qint32 insertProgramme(int dayNumber, const ProgrammeRow& programme);

    // --- dates --------------------------------------------------------------------------
    // The calendar day weekday table `dayNumber` holds; nullopt when the column is NULL.
    // Throws StoreError when the `dates` row is missing or the column holds something that is
    // not a date.
    std::optional<QDate> storedDate(int dayNumber);
    // Throws StoreError when the `dates` row is missing or `date` is invalid.
    void setStoredDate(int dayNumber, QDate date);

    // --- the guide's queries ------------------------------------------------------------
    // Every channel, in channel order (the order the window queries give their programmes).
    Snapshot<ChannelRow> channels();
    // The guide's window of `windowDate` (whose weekday table is `dayNumber`) at t00, read on
    // real dates and times, with the channels: the first half holds the programmes that start
    // in [t00, t30) of that date or run at its t00, the second those that start in [t30, t55)
    // or run at t30. Rows of other dates never show, except a programme of the evening before
    // that runs into the window: the day's own table gives it, or else the table of the day
    // before when that holds the day before (a row of that table is left out when the day's
    // own table has one of the same channel and start). Each half in channel order, then by
    // start, then by id; every row carries the table it was read from.
    struct GuideWindow
    {
        Snapshot<ChannelRow> channels;
        Snapshot<ListingRow> firstHalf;
        Snapshot<ListingRow> secondHalf;
    };
    GuideWindow guideWindow(int dayNumber, QTime t00, QTime t30, QTime t55, QDate windowDate);
    // One page of that window: the channels at places [first, first + count) of the channel
    // order, and exactly the rows guideWindow() gives for them. It reads the page's channels
    // and their programmes only, so its cost does not grow with the channels before or after.
    GuideWindow guidePage(int dayNumber, QTime t00, QTime t30, QTime t55, QDate windowDate,
                          int first, int count);
    int channelCount();
    // The channel map's window of `date`: starting in [t1, t2) of that date or running at t1,
    // from the date's own table. In channel order.
    Snapshot<ListingRow> channelMapWindow(QDate date, QTime t1, QTime t2);
    // Every programme of a day table once, in channel order; programmes whose channel is not
    // in `channels` come last.
    Snapshot<ProgrammeRow> dayProgrammes(int dayNumber);

    // --- recording rules and marks ------------------------------------------------------
    // Both rule queries give one row per programme and matching rule, in the order the
    // programmes are on (start date, start time, then channel order).
    // Unmarked (action NULL) first showings (rerun false) whose title has a Season rule
    // naming their channel's name.
    Snapshot<RuleMatch> seasonMatches(int dayNumber);
    // Unmarked showings on any channel whose title has an All rule.
    Snapshot<RuleMatch> allMatches(int dayNumber);
    std::optional<ProgrammeRow> programme(int dayNumber, qint32 programid);
    // Sets (or with nullopt clears) the action of a programme; false when there is no such row.
    bool setAction(int dayNumber, qint32 programid, std::optional<Mark> action);
    // Deletes every rule for `title` ("&" and "and" alike), on every channel; returns how many.
    int deleteRules(const QString& title);
    // The rule for `title` on `channelName` (the first one, should there be several). Here and
    // in rules(), a row whose recordtype names no RuleType (no version of the program writes
    // one) is left out: it takes nothing either.
    std::optional<RuleRow> rule(const QString& title, const QString& channelName);
    // Adds a row as it is, even beside a rule of the same title and channel (upsertRule() keeps
    // one per title and channel).
    void insertRule(const RuleRow& rule);
    // Every rule, in the order they were added.
    std::vector<RuleRow> rules();
    // The `recorded` log, newest first.
    std::vector<RecordedRow> recordedLog();

    // --- the viewer's screens: finding showings, standing rules -------------------------
    // How findShowings() compares a title with the text it is given: both with "&" and "and"
    // alike; Contains also ignores letter case (Unicode case folding, so "Ä" finds "ä").
    enum class TitleMatch { Same, Contains };
    // The showings of the stored days from `from` on whose titles match `text`: every day table
    // whose `dates` column holds a day of its weekday on or after `from`, in one bound query.
    // In time order (start, then channel order); a programme that two tables hold (the evening
    // before, in the next day's file too) comes once, from the table of its start date when
    // that table has it. Every row carries its table. A blank `text` finds nothing.
    std::vector<ListingRow> findShowings(const QString& text, TitleMatch match, QDate from);
    // The marked programmes (Record, Season or All) of the stored days that end after `now`
    // (a naive wall-clock value), in the order of findShowings().
    std::vector<ListingRow> markedShowings(const QDateTime& now);
    // Deletes the rule for `title` ("&" and "and" alike, as upsertRule() matches it) on
    // `channelName`, leaving its rules on other channels; returns how many rows went (0 when
    // there was none, more only where insertRule() stored duplicates).
    int deleteRule(const QString& title, const QString& channelName);

    // Adds the rows of a replaceDay() unit; it exists only while the unit is open.
    class DayWriter
    {
    public:
        void addChannel(const ChannelRow& channel);
        // Throws StoreError for a programme without valid dates and times.
        void addProgramme(const ProgrammeText& programme);
        int programmesStored() const { return m_programmes; }

    private:
        friend class ListingsStore;
        // The range of programme ids a channel's rows take.
        struct Span
        {
            qint32 first;
            qint32 last;
        };
        DayWriter(ListingsStore& store, int dayNumber) : m_store(store), m_day(dayNumber) {}
        ListingsStore& m_store;
        int m_day;
        int m_programmes = 0;
        // Each channel's span; a day file lists a channel's programmes together, so the span of
        // the previous row is looked at first.
        std::unordered_map<std::string, Span> m_spans;
        Span* m_lastSpan = nullptr;
        std::string_view m_lastChannel;
    };

private:
    // The transaction of one unit of work (see the .cpp).
    class Unit;

    // Reads a window's programmes of one day table for windowOf(): the table, a condition to add
    // to the query, and where the rows go.
    using WindowReader = std::function<void(
        int table, const QString& where,
        const std::function<void(ProgrammeRow, bool first, bool second)>& found)>;
    // The window of `windowDate` for `channels`, from the rows `read` gives (see guideWindow()).
    GuideWindow windowOf(Snapshot<ChannelRow> channels, int dayNumber, QDate windowDate,
                         const WindowReader& read);

    // Throws StoreError naming `operation` while a unit is open on this store (only a
    // replaceDay() callback can get here then).
    void refuseInsideUnit(const char* operation) const;
    // The prepared statement for `sql`, prepared on first use and kept, so that bulk imports do
    // not prepare a statement per row. It comes rewound; the caller binds every parameter.
    Statement& cached(const QString& sql);
    // The steps the units are made of; they run inside whatever transaction is open.
    void clearDay(int dayNumber);
    void addChannel(const ChannelRow& channel);
    qint32 addProgramme(int dayNumber, const ProgrammeRow& programme);
    qint32 addProgramme(int dayNumber, const ProgrammeText& programme);
    void writeStoredDate(int dayNumber, QDate date);
    bool writeAction(int dayNumber, qint32 programid, std::optional<Mark> action);
    void addRule(const RuleRow& rule);
    bool writeRuleType(const QString& title, const QString& channelName, RuleType type);
    void addRecorded(const RecordedRow& row);
    // Widens the span of `channel` in day table `dayNumber` to take programme `id`.
    void addToSpan(int dayNumber, std::string_view channel, qint32 first, qint32 last);
    // Gives the just-inserted row 1 of an emptied day table the id after the last one the table
    // handed out before; returns the row's id.
    qint64 moveFirstProgrammeId(int dayNumber);

    std::unique_ptr<Database> m_db;
    std::map<QString, std::unique_ptr<Statement>> m_statements;
    bool m_unitOpen = false;
};

} // namespace zarvo
