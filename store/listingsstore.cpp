#include "store/listingsstore.h"

#include "store/sqlite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QtEndian>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <utility>

// Titles of rules and listings compare with "&" and "and" alike: the menu stores a title as the
// hand-off file gives it ("Law and Order"), the listings and a rule typed by hand have "&".
// Compared, not rewritten, so that rules stored either way keep their text. The rules' title
// index holds this same form, so that rule lookups can use it.
#define ZARVO_TITLE_KEY(x) "replace(" x ", '&', 'and')"
#define ZARVO_SAME_TITLE(a, b) ZARVO_TITLE_KEY(a) " = " ZARVO_TITLE_KEY(b)

namespace zarvo {

// --- marks and rule types -----------------------------------------------------------------------
// The texts files of every version hold; " " rather than '' or NULL for Cleared, since NULL is
// what lets the rules take a programme.

namespace {

constexpr std::pair<Mark, const char*> MarkTexts[] = {
    {Mark::Cleared, " "}, {Mark::Record, "record"}, {Mark::Season, "season"}, {Mark::All, "all"}};
constexpr std::pair<RuleType, const char*> RuleTypeTexts[] = {{RuleType::Season, "season"},
                                                              {RuleType::All, "all"}};

template <typename Value, std::size_t N>
QString textOf(const std::pair<Value, const char*> (&texts)[N], Value value)
{
    for (const auto& [v, text] : texts)
        if (v == value)
            return QLatin1String(text);
    return QString();
}

template <typename Value, std::size_t N>
std::optional<Value> valueOf(const std::pair<Value, const char*> (&texts)[N], const QString& text)
{
    for (const auto& [v, t] : texts)
        if (text == QLatin1String(t))
            return v;
    return std::nullopt;
}

} // namespace

QString markText(Mark mark)
{
    return textOf(MarkTexts, mark);
}

std::optional<Mark> markFromText(const QString& text)
{
    return valueOf(MarkTexts, text);
}

QString ruleTypeText(RuleType type)
{
    return textOf(RuleTypeTexts, type);
}

std::optional<RuleType> ruleTypeFromText(const QString& text)
{
    return valueOf(RuleTypeTexts, text);
}

namespace {

// --- storage forms ----------------------------------------------------------------------------

QString dateText(QDate date)
{
    return date.toString(Qt::ISODate);
}

QString timeText(QTime time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

// The same forms written straight into bytes: an import binds four of them per programme, and
// Qt's general formatting would cost more than SQLite's insert.
void putDigits(char* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = char('0' + value % 10);
}

void bindDate(Statement& s, int index, QDate date)
{
    // A day's programmes start and end on two or three dates: the last two texts are kept.
    struct Known
    {
        bool used = false;
        qint64 day = 0;
        char text[10];
    };
    static thread_local std::array<Known, 2> known;
    static thread_local std::size_t next = 0;
    const qint64 julian = date.toJulianDay();
    for (const Known& k : known)
        if (k.used && k.day == julian) {
            s.bindUtf8(index, k.text, 10);
            return;
        }
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    if (year < 1 || year > 9999) {
        s.bind(index, dateText(date));
        return;
    }
    char text[10] = {0, 0, 0, 0, '-', 0, 0, '-', 0, 0};
    putDigits(text, year, 4);
    putDigits(text + 5, month, 2);
    putDigits(text + 8, day, 2);
    Known& slot = known[next++ % known.size()];
    slot.used = true;
    slot.day = julian;
    std::memcpy(slot.text, text, sizeof text);
    s.bindUtf8(index, text, 10);
}

void bindTime(Statement& s, int index, QTime time)
{
    char text[8] = {0, 0, ':', 0, 0, ':', 0, 0};
    putDigits(text, time.hour(), 2);
    putDigits(text + 3, time.minute(), 2);
    putDigits(text + 6, time.second(), 2);
    s.bindUtf8(index, text, 8);
}

// Dates are read leniently: a value written with a time of day after it (as a hand-edited file
// or another tool might leave it) still names its calendar day.
QDate readDate(const QString& text)
{
    if (text.size() > 10 && text.at(10) != QLatin1Char(' ') && text.at(10) != QLatin1Char('T'))
        return {};
    return QDate::fromString(text.left(10), Qt::ISODate);
}

QTime readTime(const QString& text)
{
    return QTime::fromString(text, Qt::ISODate);
}

// Texts that are "empty when none" are stored as '' so that readers never meet NULL there.
QString orEmpty(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

// The numeric part of the channel order: "9" < "10", "5.1" is 5.1. Anything else ("5-1",
// "A&E") has no number and sorts after all numbered channels, by its text.
std::optional<double> channelNumberValue(const QString& channelnum)
{
    // Most channel numbers are plain digits: read without the pattern, which costs more than
    // the channel's insert.
    if (!channelnum.isEmpty() && channelnum.size() < 10 &&
        std::all_of(channelnum.begin(), channelnum.end(),
                    [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return double(channelnum.toInt());
    static const QRegularExpression number(QStringLiteral("^\\s*([0-9]+(?:\\.[0-9]+)?)\\s*$"));
    const QRegularExpressionMatch match = number.match(channelnum);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = match.captured(1).toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

// Only the weekday number ever becomes part of SQL text, so it is checked before use.
void checkDay(int dayNumber)
{
    if (dayNumber < 1 || dayNumber > 7)
        throw StoreError(QStringLiteral("day number %1 is outside 1..7").arg(dayNumber));
}

QString dayTable(int dayNumber)
{
    checkDay(dayNumber);
    return QStringLiteral("day%1").arg(dayNumber);
}

// Adds the failing operation to the message, keeping SQLite's own text and code.
template <typename Body> auto guarded(const char* operation, Body&& body) -> decltype(body())
{
    try {
        return body();
    } catch (const StoreError& error) {
        throw StoreError(
            QStringLiteral("%1 failed: %2").arg(QLatin1String(operation), error.message()),
            error.sqliteCode());
    }
}

// Rewinds a cached statement however the reading ends, so that no half-read statement keeps a
// read lock on the file after the call.
class Rewind
{
public:
    explicit Rewind(Statement& statement) : m_statement(statement) {}
    ~Rewind() { m_statement.rewind(); }
    Rewind(const Rewind&) = delete;
    Rewind& operator=(const Rewind&) = delete;

private:
    Statement& m_statement;
};

// --- column lists and readers -----------------------------------------------------------------

// Column order of a programme read by readProgramme(); `p` is the day table's alias.
constexpr const char* ProgrammeColumns =
    "p.programid, p.startdate, p.starttime, p.enddate, p.endtime, p.channel, p.title, "
    "p.subtitle, p.description, p.category, p.rating, p.rerun, p.action";
constexpr int ProgrammeColumnCount = 13;
constexpr const char* ChannelColumns = "c.channelid, c.channelname, c.channelnum, c.icon";
constexpr int ChannelColumnCount = 4;
constexpr const char* RuleColumns = "s.programtitle, s.recordtype, s.recordchannel";

// The channel order; `c` is the channels alias. Numbered channels first, by number.
constexpr const char* ChannelOrder = "c.numkey IS NULL, c.numkey, c.channelnum, c.rowid";

ProgrammeRow readProgramme(const Statement& s, int first = 0)
{
    ProgrammeRow row;
    row.programid = qint32(s.integer(first + 0));
    row.startdate = readDate(s.text(first + 1));
    row.starttime = readTime(s.text(first + 2));
    row.enddate = readDate(s.text(first + 3));
    row.endtime = readTime(s.text(first + 4));
    row.channel = s.text(first + 5);
    row.title = s.text(first + 6);
    row.subtitle = s.text(first + 7);
    row.description = s.text(first + 8);
    row.category = s.text(first + 9);
    row.rating = s.text(first + 10);
    row.rerun = s.integer(first + 11) != 0;
    if (const std::optional<QString> action = s.optionalText(first + 12))
        row.action = markFromText(*action).value_or(Mark::Cleared);
    return row;
}

ChannelRow readChannel(const Statement& s, int first = 0)
{
    return ChannelRow{s.text(first), s.text(first + 1), s.text(first + 2), s.text(first + 3)};
}

// nullopt for a rule whose type names no RuleType.
std::optional<RuleRow> readRule(const Statement& s, int first = 0)
{
    const std::optional<RuleType> type = ruleTypeFromText(s.text(first + 1));
    if (!type)
        return std::nullopt;
    return RuleRow{s.text(first), *type, s.text(first + 2)};
}

// --- schema -----------------------------------------------------------------------------------

QString notOursMessage(const QString& path, const QString& why)
{
    return QStringLiteral("%1 is not a Zarvo Guide listings database (%2)").arg(path, why);
}

QString newerMessage(const QString& path, qint64 version)
{
    return QStringLiteral("%1 was written by a newer version of Zarvo Guide (schema %2, this "
                          "version reads schema %3)")
        .arg(path)
        .arg(version)
        .arg(ListingsStore::SchemaVersion);
}

qint64 pragmaValue(Database& db, const char* pragma)
{
    Statement s(db, pragma);
    return s.step() ? s.integer(0) : 0;
}

// The SQLite header fields, read straight from the file. Used only when SQLite itself will not
// read the file without first rolling back an interrupted transaction.
struct FileHeader
{
    bool sqlite = false;
    qint64 userVersion = 0;
    qint64 applicationId = 0;
};

FileHeader readFileHeader(const QString& path)
{
    FileHeader header;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return header;
    const QByteArray bytes = file.read(100);
    if (bytes.size() < 100 || !bytes.startsWith(QByteArray("SQLite format 3\0", 16)))
        return header;
    header.sqlite = true;
    header.userVersion = qFromBigEndian<qint32>(bytes.constData() + 60);
    header.applicationId = qFromBigEndian<qint32>(bytes.constData() + 68);
    return header;
}

// Decides, without the right to write, whether an existing file may be opened for writing.
// Throws for a foreign file or one of a newer schema; such files are never opened read-write.
void checkExistingFile(const QString& path)
{
    qint64 applicationId = 0;
    qint64 userVersion = 0;
    try {
        Database probe(path, Database::Mode::ReadOnly);
        applicationId = pragmaValue(probe, "PRAGMA application_id");
        userVersion = pragmaValue(probe, "PRAGMA user_version");
    } catch (const StoreError& error) {
        const int code = error.sqliteCode();
        if ((code & 0xff) == SQLITE_NOTADB)
            throw StoreError(notOursMessage(path, QStringLiteral("not an SQLite file")), code);
        if (code != SQLITE_READONLY_ROLLBACK)
            throw;
        // A transaction of ours was cut off (the program was killed during an import). Only a
        // read-write connection may roll it back, so judge the file by its header instead. Of
        // the two fields only a migration changes one after the file's creation; a migration
        // cut off may have left the version it was going to in the header, so at worst a file
        // whose newer program was killed while migrating it is refused until that one runs.
        const FileHeader header = readFileHeader(path);
        if (!header.sqlite)
            throw StoreError(notOursMessage(path, QStringLiteral("not an SQLite file")), code);
        applicationId = header.applicationId;
        userVersion = header.userVersion;
    }
    if (applicationId != ListingsStore::ApplicationId)
        throw StoreError(
            notOursMessage(path, QStringLiteral("its application id is %1").arg(applicationId)));
    if (userVersion > ListingsStore::SchemaVersion)
        throw StoreError(newerMessage(path, userVersion));
}

// Pragmas take no bound values; the numbers are compile-time constants of this program.
void setUserVersion(Database& db, int version)
{
    db.exec(QStringLiteral("PRAGMA user_version = %1").arg(version).toUtf8().constData());
}

// The current layout, for a new file.
void createSchema(Database& db)
{
    for (int day = 1; day <= 7; ++day) {
        const QString table = dayTable(day);
        const QString sql =
            QStringLiteral(
                "CREATE TABLE %1 ("
                "programid INTEGER PRIMARY KEY, "
                "startdate TEXT NOT NULL, starttime TEXT NOT NULL, "
                "enddate TEXT NOT NULL, endtime TEXT NOT NULL, "
                "channel TEXT NOT NULL, title TEXT NOT NULL, subtitle TEXT NOT NULL DEFAULT '', "
                "description TEXT NOT NULL DEFAULT '', category TEXT NOT NULL DEFAULT '', "
                "rating TEXT NOT NULL DEFAULT '', rerun INTEGER NOT NULL DEFAULT 0, "
                "action TEXT NULL DEFAULT NULL);")
                .arg(table);
        // No index but the programid: each one costs import time. The window queries test
        // start and end times under ORs, so they read the whole table (one day) whatever the
        // index; an index on channel and start would cost a third of an import's time. The rule
        // queries compare titles as ZARVO_TITLE_KEY, which an index on the title cannot serve;
        // an index on that form would slow every import by several per cent, for queries that
        // run a few times a night.
        db.exec(sql.toUtf8().constData());
    }
    // numkey: the channel number as a number, NULL when it does not read as one (see
    // channelNumberValue); it is filled on insert and only used for ordering.
    db.exec("CREATE TABLE channels (channelid TEXT NOT NULL, channelname TEXT NOT NULL, "
            "channelnum TEXT NOT NULL, icon TEXT NOT NULL, numkey REAL);"
            "CREATE INDEX channels_channelid ON channels(channelid);"
            "CREATE INDEX channels_order ON channels(numkey IS NULL, numkey, channelnum);"
            // Where each channel's rows lie in each day table (see ListingsStore::guidePage).
            "CREATE TABLE channelspan (day INTEGER NOT NULL, channel TEXT NOT NULL, "
            "firstid INTEGER NOT NULL, lastid INTEGER NOT NULL, PRIMARY KEY (day, channel));"
            // The highest programid each day table has handed out, kept across an emptied day.
            "CREATE TABLE lastprogramid (day INTEGER PRIMARY KEY, programid INTEGER NOT NULL);"
            "CREATE TABLE dates (day1 TEXT, day2 TEXT, day3 TEXT, day4 TEXT, day5 TEXT, "
            "day6 TEXT, day7 TEXT);"
            "CREATE TABLE scheduled (programtitle TEXT NOT NULL, recordtype TEXT NOT NULL, "
            "recordchannel TEXT NOT NULL);"
            "CREATE TABLE recorded (startdate TEXT, starttime TEXT, enddate TEXT, endtime TEXT, "
            "channel TEXT, title TEXT, subtitle TEXT, description TEXT, category TEXT, "
            "rating TEXT, filename TEXT, realdate TEXT, realtime TEXT, station TEXT, mode TEXT, "
            "duration TEXT);");
    const QString ruleIndex =
        QStringLiteral("CREATE INDEX scheduled_titlekey ON scheduled(%1, recordchannel);")
            .arg(QLatin1String(ZARVO_TITLE_KEY("programtitle")));
    db.exec(ruleIndex.toUtf8().constData());
    db.exec(QStringLiteral("PRAGMA application_id = %1")
                .arg(ListingsStore::ApplicationId)
                .toUtf8()
                .constData());
    setUserVersion(db, ListingsStore::SchemaVersion);
}

// --- migration --------------------------------------------------------------------------------
// Each step takes a file from its version to the next one. A step is written against the layout
// its version had, in literal SQL, and stays as it is when a later version changes the layout
// again: that version adds a step of its own. A migrated file ends up with the same schema as a
// new one (the tests compare them).

// Version 1 indexed the plain titles (dayN_title on title, scheduled_title on programtitle and
// recordchannel). Every title comparison has since been made on replace(title, '&', 'and'),
// which such an index cannot serve: the day tables' indexes only cost import time, and the
// rules' one was never used. Version 2 drops the former and keys the latter on that form; the
// rows stay as they are.
void migrateFrom1(Database& db)
{
    for (int day = 1; day <= 7; ++day)
        db.exec(QStringLiteral("DROP INDEX IF EXISTS day%1_title;").arg(day).toUtf8().constData());
    db.exec("DROP INDEX IF EXISTS scheduled_title;"
            "CREATE INDEX scheduled_titlekey ON scheduled(replace(programtitle, '&', 'and'), "
            "recordchannel);");
}

// Version 3 finds a page of the guide without reading the whole window: an index serves the
// channel order, and `channelspan` records, for each day table and channel, the range of
// programme ids that holds the channel's rows.
void migrateFrom2(Database& db)
{
    db.exec("CREATE INDEX channels_order ON channels(numkey IS NULL, numkey, channelnum);"
            "CREATE TABLE channelspan (day INTEGER NOT NULL, channel TEXT NOT NULL, "
            "firstid INTEGER NOT NULL, lastid INTEGER NOT NULL, PRIMARY KEY (day, channel));");
    for (int day = 1; day <= 7; ++day)
        db.exec(QStringLiteral("INSERT INTO channelspan (day, channel, firstid, lastid) SELECT %1, "
                               "channel, min(programid), max(programid) FROM day%1 GROUP BY "
                               "channel;")
                    .arg(day)
                    .toUtf8()
                    .constData());
}

// Brings a file of version `from` (1 <= from < SchemaVersion) to the current version, inside
// the caller's transaction: should a step fail, the rollback leaves the file at `from`.
void migrate(Database& db, qint64 from)
{
    using Step = void (*)(Database&);
    static constexpr Step steps[] = {migrateFrom1,
                                     migrateFrom2}; // steps[v - 1] takes version v to v + 1
    static_assert(std::size(steps) == std::size_t(ListingsStore::SchemaVersion - 1),
                  "one migration step per version before the current one");
    for (qint64 version = from; version < ListingsStore::SchemaVersion; ++version)
        steps[std::size_t(version - 1)](db);
    setUserVersion(db, ListingsStore::SchemaVersion);
}

} // namespace

// --- opening ----------------------------------------------------------------------------------

ListingsStore::ListingsStore(const QString& path, Access access)
{
    const QFileInfo info(path);
    const bool fresh = !info.exists() || info.size() == 0;
    if (access == Access::ReadOnly) {
        if (fresh)
            throw StoreError(QStringLiteral("No listings are stored yet: %1 does not exist.")
                                 .arg(QDir::toNativeSeparators(path)));
        checkExistingFile(path);
        m_db = std::make_unique<Database>(path, Database::Mode::ReadOnly);
        try {
            // Reading takes only a shared lock, so it goes on while another process imports. A
            // file of an older version is migrated below first: the queries expect the current
            // layout.
            if (pragmaValue(*m_db, "PRAGMA user_version") == SchemaVersion &&
                pragmaValue(*m_db, "SELECT count(*) FROM dates") > 0)
                return;
        } catch (const StoreError& error) {
            // An import was cut off: only a read-write connection may roll it back (below).
            if (error.sqliteCode() != SQLITE_READONLY_ROLLBACK)
                throw;
        }
        m_statements.clear();
        m_db.reset();
    }
    if (!fresh)
        checkExistingFile(path);
    m_db = std::make_unique<Database>(path, fresh ? Database::Mode::CreateIfMissing
                                                  : Database::Mode::OpenExisting);
    // A day's import touches a few thousand pages; a larger cache keeps its index updates in
    // memory until the commit.
    m_db->exec("PRAGMA cache_size = -32000");
    // Full syncs with the rollback journal: a commit is on disk before it returns, and a process
    // killed at any point leaves a journal from which the next open restores the last commit.
    m_db->exec("PRAGMA synchronous = FULL");

    // Everything below runs under the write lock, so two programs starting together cannot both
    // create or migrate the schema, and the checks see the file as it is after any interrupted
    // transaction was rolled back by this connection. A failed migration throws out of here and
    // the rollback leaves the file at its old version.
    Transaction transaction(*m_db);
    const qint64 applicationId = pragmaValue(*m_db, "PRAGMA application_id");
    const qint64 userVersion = pragmaValue(*m_db, "PRAGMA user_version");
    const qint64 objects = pragmaValue(*m_db, "SELECT count(*) FROM sqlite_master");
    if (applicationId == 0 && userVersion == 0 && objects == 0) {
        // A new file, or one whose creation was cut off and has just been rolled back.
        createSchema(*m_db);
    } else if (applicationId != ApplicationId) {
        throw StoreError(
            notOursMessage(path, QStringLiteral("its application id is %1").arg(applicationId)));
    } else if (userVersion > SchemaVersion) {
        throw StoreError(newerMessage(path, userVersion));
    } else if (userVersion < 1) {
        // Ours, but no version of the program has ever written this number.
        throw StoreError(QStringLiteral("%1 has an unknown listings schema version %2")
                             .arg(path)
                             .arg(userVersion));
    } else if (userVersion < SchemaVersion) {
        migrate(*m_db, userVersion);
    }

    // The dates row is never inserted or deleted in normal use. If it went missing anyway, put
    // the initial row back: its past dates only make every day count as missing, so the next
    // check fetches the listings again instead of failing on every start.
    if (pragmaValue(*m_db, "SELECT count(*) FROM dates") == 0) {
        Statement insert(*m_db, "INSERT INTO dates (day1, day2, day3, day4, day5, day6, day7) "
                                "VALUES (?1, ?1, ?1, ?1, ?1, ?1, ?1)");
        insert.bind(1, dateText(initialDate()));
        insert.run();
    }
    transaction.commit();
}

ListingsStore::~ListingsStore() = default;

Statement& ListingsStore::cached(const QString& sql)
{
    auto it = m_statements.find(sql);
    if (it == m_statements.end()) {
        const QByteArray utf8 = sql.toUtf8();
        it = m_statements.emplace(sql, std::make_unique<Statement>(*m_db, utf8.constData())).first;
    }
    // Rewound only: every operation binds all of its statement's parameters before running it.
    it->second->rewind();
    return *it->second;
}

ProgrammeRow programmeRow(const ProgrammeText& programme)
{
    const auto text = [](std::string_view utf8) {
        return textFromUtf8(utf8.data(), qsizetype(utf8.size()));
    };
    ProgrammeRow row;
    row.startdate = programme.startdate;
    row.starttime = programme.starttime;
    row.enddate = programme.enddate;
    row.endtime = programme.endtime;
    row.channel = text(programme.channel);
    row.title = text(programme.title);
    row.subtitle = text(programme.subtitle);
    row.description = text(programme.description);
    row.category = text(programme.category);
    row.rating = text(programme.rating);
    row.rerun = programme.rerun;
    return row;
}

namespace {

// Hands `programme` over as ProgrammeText, its texts in UTF-8 for as long as `use` runs.
template <typename Use> void asText(const ProgrammeRow& programme, Use&& use)
{
    const QByteArray texts[] = {programme.channel.toUtf8(),  programme.title.toUtf8(),
                                programme.subtitle.toUtf8(), programme.description.toUtf8(),
                                programme.category.toUtf8(), programme.rating.toUtf8()};
    const auto view = [](const QByteArray& bytes) {
        return std::string_view(bytes.constData(), std::size_t(bytes.size()));
    };
    use(ProgrammeText{programme.startdate, programme.starttime, programme.enddate,
                      programme.endtime, view(texts[0]), view(texts[1]), view(texts[2]),
                      view(texts[3]), view(texts[4]), view(texts[5]), programme.rerun});
}

} // namespace

// --- units of work -----------------------------------------------------------------------------

// One unit of work: the write transaction of one operation. While it is open the store refuses
// every other unit: that can only be a replaceDay() callback calling back into the store, and
// SQLite would fold the new work into the open transaction (so that the import's rollback took
// it along) or refuse a nested BEGIN half-way through.
class ListingsStore::Unit
{
public:
    Unit(ListingsStore& store, const char* operation) : m_store(store)
    {
        store.refuseInsideUnit(operation);
        m_transaction.emplace(*store.m_db);
        store.m_unitOpen = true;
    }
    // The transaction rolls back after this unless it was committed.
    ~Unit() { m_store.m_unitOpen = false; }
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;
    void commit() { m_transaction->commit(); }

private:
    ListingsStore& m_store;
    std::optional<Transaction> m_transaction;
};

void ListingsStore::refuseInsideUnit(const char* operation) const
{
    if (m_unitOpen)
        throw StoreError(QStringLiteral("%1 is not possible while an import is being stored; "
                                        "try again once it is done")
                             .arg(QLatin1String(operation)));
}

// One transaction for the whole day: it makes the day appear at once, keeps the old one whole
// on any failure (or kill), and keeps hundreds of thousands of inserts fast, each reusing the
// cached statement of its table.
void ListingsStore::replaceDay(int dayNumber, QDate date, const std::vector<ChannelRow>& channels,
                               const std::vector<ProgrammeRow>& programmes,
                               const RowStored& rowStored)
{
    replaceDay(dayNumber, date, [&](DayWriter& writer) {
        for (const ChannelRow& channel : channels) {
            writer.addChannel(channel);
            if (rowStored)
                rowStored(0);
        }
        for (const ProgrammeRow& programme : programmes) {
            asText(programme, [&](const ProgrammeText& text) { writer.addProgramme(text); });
            if (rowStored)
                rowStored(writer.programmesStored());
        }
    });
}

void ListingsStore::replaceDay(int dayNumber, QDate date,
                               const std::function<void(DayWriter&)>& fill)
{
    guarded("replaceDay", [&] {
        const QString table = dayTable(dayNumber);
        // Refused before any row is written rather than after all of them.
        if (!date.isValid())
            throw StoreError(QStringLiteral("no valid date to store in %1").arg(table));
        Unit unit(*this, "replaceDay");
        clearDay(dayNumber);
        cached(QStringLiteral("DELETE FROM channels")).run();
        DayWriter writer(*this, dayNumber);
        fill(writer);
        for (const auto& [channel, span] : writer.m_spans)
            addToSpan(dayNumber, channel, span.first, span.last);
        writeStoredDate(dayNumber, date);
        unit.commit();
    });
}

void ListingsStore::DayWriter::addChannel(const ChannelRow& channel)
{
    m_store.addChannel(channel);
}

void ListingsStore::DayWriter::addProgramme(const ProgrammeText& programme)
{
    const qint32 id = m_store.addProgramme(m_day, programme);
    ++m_programmes;
    if (!m_lastSpan || programme.channel != m_lastChannel) {
        const auto [at, added] = m_spans.try_emplace(std::string(programme.channel), Span{id, id});
        m_lastSpan = &at->second;
        m_lastChannel = at->first; // the map's own copy: the programme's text does not last
    }
    m_lastSpan->first = std::min(m_lastSpan->first, id);
    m_lastSpan->last = std::max(m_lastSpan->last, id);
}

void ListingsStore::addToSpan(int dayNumber, std::string_view channel, qint32 first, qint32 last)
{
    Statement& s = cached(QStringLiteral(
        "INSERT INTO channelspan (day, channel, firstid, lastid) VALUES (?1, ?2, ?3, ?4) ON "
        "CONFLICT (day, channel) DO UPDATE SET firstid = min(firstid, excluded.firstid), "
        "lastid = max(lastid, excluded.lastid)"));
    s.bind(1, dayNumber).bindInPlace(2, channel).bind(3, first).bind(4, last);
    s.run();
}

bool ListingsStore::markAndLog(int dayNumber, qint32 programid, Mark action, const RecordedRow& row)
{
    // Together: a programme marked without its log row, or logged without its mark, would tell
    // the viewer something that did not happen.
    return guarded("markAndLog", [&] {
        Unit unit(*this, "markAndLog");
        const bool marked =
            dayNumber >= 1 && dayNumber <= 7 && writeAction(dayNumber, programid, action);
        addRecorded(row);
        unit.commit();
        return marked;
    });
}

void ListingsStore::upsertRule(const RuleRow& rule)
{
    // One unit, so that two connections storing the same rule cannot both find none.
    guarded("upsertRule", [&] {
        Unit unit(*this, "upsertRule");
        if (!writeRuleType(rule.programtitle, rule.recordchannel, rule.recordtype))
            addRule(rule);
        unit.commit();
    });
}

// --- single rows ------------------------------------------------------------------------------
// Each in a unit of its own: the statement would commit at once anyway, and the unit refuses it
// inside an open import instead of folding it into the import's transaction.

void ListingsStore::insertChannel(const ChannelRow& channel)
{
    guarded("insertChannel", [&] {
        Unit unit(*this, "insertChannel");
        addChannel(channel);
        unit.commit();
    });
}

qint32 ListingsStore::insertProgramme(int dayNumber, const ProgrammeRow& programme)
{
    return guarded("insertProgramme", [&] {
        Unit unit(*this, "insertProgramme");
        const qint32 id = addProgramme(dayNumber, programme);
        addToSpan(dayNumber, programme.channel.toUtf8().toStdString(), id, id);
        unit.commit();
        return id;
    });
}

void ListingsStore::setStoredDate(int dayNumber, QDate date)
{
    guarded("setStoredDate", [&] {
        Unit unit(*this, "setStoredDate");
        writeStoredDate(dayNumber, date);
        unit.commit();
    });
}

bool ListingsStore::setAction(int dayNumber, qint32 programid, std::optional<Mark> action)
{
    return guarded("setAction", [&] {
        Unit unit(*this, "setAction");
        const bool changed = writeAction(dayNumber, programid, action);
        unit.commit();
        return changed;
    });
}

void ListingsStore::insertRule(const RuleRow& rule)
{
    guarded("insertRule", [&] {
        Unit unit(*this, "insertRule");
        addRule(rule);
        unit.commit();
    });
}

// --- steps ------------------------------------------------------------------------------------

// Programme ids are never handed out twice by a day table, so that an id the guide or a menu
// still holds after a re-import finds nothing instead of another programme. SQLite numbers new
// rows from the highest id present, which restarts at 1 once the table is emptied; so the
// highest id is noted before the table is emptied, and addProgramme() moves the first row of an
// empty table past it. (AUTOINCREMENT would do the same but costs a write per row.)
void ListingsStore::clearDay(int dayNumber)
{
    const QString table = dayTable(dayNumber);
    Statement& note =
        cached(QStringLiteral("INSERT OR REPLACE INTO lastprogramid (day, programid) VALUES (?1, "
                              "max(coalesce((SELECT max(programid) FROM %1), 0), "
                              "coalesce((SELECT programid FROM lastprogramid WHERE day = ?1), 0)))")
                   .arg(table));
    note.bind(1, dayNumber);
    note.run();
    cached(QStringLiteral("DELETE FROM %1").arg(table)).run();
    Statement& spans = cached(QStringLiteral("DELETE FROM channelspan WHERE day = ?1"));
    spans.bind(1, dayNumber);
    spans.run();
}

void ListingsStore::addChannel(const ChannelRow& channel)
{
    Statement& s =
        cached(QStringLiteral("INSERT INTO channels (channelid, channelname, channelnum, icon, "
                              "numkey) VALUES (?, ?, ?, ?, ?)"));
    s.bind(1, orEmpty(channel.channelid))
        .bind(2, orEmpty(channel.channelname))
        .bind(3, orEmpty(channel.channelnum))
        .bind(4, orEmpty(channel.icon));
    if (const auto number = channelNumberValue(channel.channelnum))
        s.bind(5, *number);
    else
        s.bindNull(5);
    s.run();
}

qint32 ListingsStore::addProgramme(int dayNumber, const ProgrammeRow& programme)
{
    qint32 id = 0;
    asText(programme, [&](const ProgrammeText& text) { id = addProgramme(dayNumber, text); });
    return id;
}

qint32 ListingsStore::addProgramme(int dayNumber, const ProgrammeText& programme)
{
    if (!programme.startdate.isValid() || !programme.starttime.isValid() ||
        !programme.enddate.isValid() || !programme.endtime.isValid())
        throw StoreError(
            QStringLiteral("programme \"%1\" has no valid start or end")
                .arg(QString::fromUtf8(programme.title.data(), qsizetype(programme.title.size()))));
    // The statement text depends only on the day; build each once.
    static const std::array<QString, 7> texts = [] {
        std::array<QString, 7> result;
        for (int day = 1; day <= 7; ++day)
            result[std::size_t(day - 1)] =
                QStringLiteral("INSERT INTO %1 (startdate, starttime, enddate, endtime, "
                               "channel, title, subtitle, description, category, rating, "
                               "rerun) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                    .arg(dayTable(day));
        return result;
    }();
    checkDay(dayNumber);
    Statement& s = cached(texts[std::size_t(dayNumber - 1)]);
    bindDate(s, 1, programme.startdate);
    bindTime(s, 2, programme.starttime);
    bindDate(s, 3, programme.enddate);
    bindTime(s, 4, programme.endtime);
    s.bindInPlace(5, programme.channel)
        .bindInPlace(6, programme.title)
        .bindInPlace(7, programme.subtitle)
        .bindInPlace(8, programme.description)
        .bindInPlace(9, programme.category)
        .bindInPlace(10, programme.rating)
        .bind(11, programme.rerun ? 1 : 0);
    s.run();
    qint64 id = m_db->lastInsertRowId();
    if (id == 1) // the table was empty: continue after the ids it handed out before
        id = moveFirstProgrammeId(dayNumber);
    if (id > std::numeric_limits<qint32>::max())
        throw StoreError(
            QStringLiteral("programme ids of %1 are exhausted").arg(dayTable(dayNumber)));
    return qint32(id);
}

qint64 ListingsStore::moveFirstProgrammeId(int dayNumber)
{
    Statement& last = cached(QStringLiteral("SELECT programid FROM lastprogramid WHERE day = ?"));
    qint64 lastId = 0;
    {
        Rewind rewind(last);
        last.bind(1, dayNumber);
        if (last.step())
            lastId = last.integer(0);
    }
    if (lastId < 1)
        return 1;
    Statement& move = cached(
        QStringLiteral("UPDATE %1 SET programid = ? WHERE programid = 1").arg(dayTable(dayNumber)));
    move.bind(1, lastId + 1);
    move.run();
    return lastId + 1;
}

void ListingsStore::writeStoredDate(int dayNumber, QDate date)
{
    const QString column = dayTable(dayNumber);
    if (!date.isValid())
        throw StoreError(QStringLiteral("no valid date to store in %1").arg(column));
    Statement& s = cached(QStringLiteral("UPDATE dates SET %1 = ?").arg(column));
    s.bind(1, dateText(date));
    s.run();
    if (m_db->changes() == 0)
        throw StoreError(QStringLiteral("the dates table has no row"));
}

bool ListingsStore::writeAction(int dayNumber, qint32 programid, std::optional<Mark> action)
{
    Statement& s = cached(
        QStringLiteral("UPDATE %1 SET action = ? WHERE programid = ?").arg(dayTable(dayNumber)));
    s.bind(1, action ? markText(*action) : QString()).bind(2, qint64(programid));
    s.run();
    return m_db->changes() > 0;
}

void ListingsStore::addRule(const RuleRow& rule)
{
    Statement& s = cached(QStringLiteral(
        "INSERT INTO scheduled (programtitle, recordtype, recordchannel) VALUES (?, ?, ?)"));
    s.bind(1, orEmpty(rule.programtitle))
        .bind(2, ruleTypeText(rule.recordtype))
        .bind(3, orEmpty(rule.recordchannel));
    s.run();
}

bool ListingsStore::writeRuleType(const QString& title, const QString& channelName, RuleType type)
{
    Statement& s = cached(
        QStringLiteral("UPDATE scheduled SET recordtype = ? "
                       "WHERE " ZARVO_SAME_TITLE("programtitle", "?") " AND recordchannel = ?"));
    s.bind(1, ruleTypeText(type)).bind(2, orEmpty(title)).bind(3, orEmpty(channelName));
    s.run();
    return m_db->changes() > 0;
}

void ListingsStore::addRecorded(const RecordedRow& row)
{
    Statement& s = cached(QStringLiteral(
        "INSERT INTO recorded (startdate, starttime, enddate, endtime, channel, title, "
        "subtitle, description, category, rating, filename, realdate, realtime, station, "
        "mode, duration) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QString* values[] = {&row.startdate, &row.starttime, &row.enddate,  &row.endtime,
                               &row.channel,   &row.title,     &row.subtitle, &row.description,
                               &row.category,  &row.rating,    &row.filename, &row.realdate,
                               &row.realtime,  &row.station,   &row.mode,     &row.duration};
    int index = 1;
    for (const QString* value : values)
        s.bind(index++, orEmpty(*value));
    s.run();
}

// --- dates ------------------------------------------------------------------------------------

std::optional<QDate> ListingsStore::storedDate(int dayNumber)
{
    return guarded("storedDate", [&]() -> std::optional<QDate> {
        const QString column = dayTable(dayNumber);
        Statement& s =
            cached(QStringLiteral("SELECT %1 FROM dates ORDER BY rowid LIMIT 1").arg(column));
        Rewind rewind(s);
        if (!s.step())
            throw StoreError(QStringLiteral("the dates table has no row"));
        if (s.isNull(0))
            return std::nullopt;
        const QString text = s.text(0);
        const QDate date = readDate(text);
        if (!date.isValid())
            throw StoreError(
                QStringLiteral("dates column %1 holds \"%2\", not a date").arg(column, text));
        return date;
    });
}

// --- the guide's queries ----------------------------------------------------------------------

namespace {

QString listingSelect(const QString& table)
{
    return QStringLiteral("SELECT %1, %2 FROM %3 AS p JOIN channels AS c ON p.channel = "
                          "c.channelid ")
        .arg(QLatin1String(ProgrammeColumns), QLatin1String(ChannelColumns), table);
}

QString listingOrder()
{
    return QStringLiteral(" ORDER BY %1, p.startdate, p.starttime, p.programid")
        .arg(QLatin1String(ChannelOrder));
}

std::vector<ListingRow> readListings(Statement& s, int dayNumber)
{
    Rewind rewind(s);
    std::vector<ListingRow> rows;
    while (s.step())
        rows.push_back(
            ListingRow{readProgramme(s), readChannel(s, ProgrammeColumnCount), dayNumber});
    return rows;
}

} // namespace

Snapshot<ChannelRow> ListingsStore::channels()
{
    return guarded("channels", [&] {
        Statement& s = cached(QStringLiteral("SELECT %1 FROM channels AS c ORDER BY %2")
                                  .arg(QLatin1String(ChannelColumns), QLatin1String(ChannelOrder)));
        Rewind rewind(s);
        std::vector<ChannelRow> rows;
        while (s.step())
            rows.push_back(readChannel(s));
        return Snapshot<ChannelRow>(std::move(rows));
    });
}

namespace {

// A moment of `date` as the day tables' start and end columns read when joined by a blank:
// "2026-12-07 20:00:00". These texts order as the moments do. An invalid date or time gives a
// null text, which binds NULL and so satisfies no comparison.
QString momentText(QDate date, QTime time)
{
    if (!date.isValid() || !time.isValid())
        return {};
    return dateText(date) + QLatin1Char(' ') + timeText(time);
}

constexpr const char* StartMoment = "(p.startdate || ' ' || p.starttime)";
constexpr const char* EndMoment = "(p.enddate || ' ' || p.endtime)";

} // namespace

namespace {

// A programme a window query read, with whether it is on in the first and in the second half.
using WindowRow = std::function<void(ProgrammeRow, bool first, bool second)>;

// The window query of a day table: ?1 is the window's date at t00, ?2 at t30, ?3 at t55 and ?4
// the date itself. The first half holds what starts in [?1, ?2) or runs at ?1, the second what
// starts in [?2, ?3) or runs at ?2. Every such programme starts on or before the window's date
// and ends on or after it; those two plain column tests turn most rows away cheaply. `join` and
// `channelTest` narrow it to the rows of one channel, `where` adds a condition.
QString windowSelect(int table, const QString& where, const QString& join = {},
                     const QString& channelTest = {})
{
    const QString first = QStringLiteral("((%1 >= ?1 AND %1 < ?2) OR (%1 <= ?1 AND %2 > ?1))")
                              .arg(QLatin1String(StartMoment), QLatin1String(EndMoment));
    const QString second = QStringLiteral("((%1 >= ?2 AND %1 < ?3) OR (%1 <= ?2 AND %2 > ?2))")
                               .arg(QLatin1String(StartMoment), QLatin1String(EndMoment));
    return QStringLiteral("SELECT %1, %2, %3 FROM %4 AS p%5 WHERE %6p.startdate <= ?4 AND "
                          "p.enddate >= ?4 %7 AND (%2 OR %3) "
                          "ORDER BY p.startdate, p.starttime, p.programid")
        .arg(QLatin1String(ProgrammeColumns), first, second, dayTable(table), join, channelTest,
             where);
}

void bindWindow(Statement& s, QTime t00, QTime t30, QTime t55, QDate windowDate)
{
    s.bind(1, momentText(windowDate, t00))
        .bind(2, momentText(windowDate, t30))
        .bind(3, momentText(windowDate, t55))
        .bind(4, windowDate.isValid() ? dateText(windowDate) : QString());
}

void readWindow(Statement& s, const WindowRow& found)
{
    Rewind rewind(s);
    while (s.step())
        found(readProgramme(s), s.integer(ProgrammeColumnCount) != 0,
              s.integer(ProgrammeColumnCount + 1) != 0);
}

} // namespace

ListingsStore::GuideWindow ListingsStore::guideWindow(int dayNumber, QTime t00, QTime t30,
                                                      QTime t55, QDate windowDate)
{
    Snapshot<ChannelRow> channelRows = channels();
    return guarded("guideWindow", [&] {
        return windowOf(std::move(channelRows), dayNumber, windowDate,
                        [&](int table, const QString& where, const WindowRow& found) {
                            Statement& s = cached(windowSelect(table, where));
                            bindWindow(s, t00, t30, t55, windowDate);
                            readWindow(s, found);
                        });
    });
}

ListingsStore::GuideWindow ListingsStore::guidePage(int dayNumber, QTime t00, QTime t30, QTime t55,
                                                    QDate windowDate, int first, int count)
{
    return guarded("guidePage", [&] {
        // The page's channels straight from the order's index.
        Statement& page =
            cached(QStringLiteral("SELECT %1 FROM channels AS c ORDER BY %2 LIMIT ?1 OFFSET ?2")
                       .arg(QLatin1String(ChannelColumns), QLatin1String(ChannelOrder)));
        page.bind(1, std::max(count, 0)).bind(2, std::max(first, 0));
        std::vector<ChannelRow> rows;
        {
            Rewind rewind(page);
            while (page.step())
                rows.push_back(readChannel(page));
        }
        QStringList ids;
        for (const ChannelRow& row : rows)
            if (!ids.contains(row.channelid))
                ids << row.channelid;
        // Each channel's programmes from the id range its rows take in the table; a file that
        // lists a channel's programmes together makes that range hold its rows alone.
        return windowOf(Snapshot<ChannelRow>(std::move(rows)), dayNumber, windowDate,
                        [&](int table, const QString& where, const WindowRow& found) {
                            Statement& s = cached(
                                windowSelect(table, where,
                                             QStringLiteral(" JOIN channelspan AS s ON s.day = ?5 "
                                                            "AND s.channel = ?6 AND p.programid "
                                                            "BETWEEN s.firstid AND s.lastid"),
                                             QStringLiteral("p.channel = ?6 AND ")));
                            for (const QString& id : ids) {
                                bindWindow(s, t00, t30, t55, windowDate);
                                s.bind(5, table).bind(6, id);
                                readWindow(s, found);
                            }
                        });
    });
}

int ListingsStore::channelCount()
{
    return guarded("channelCount", [&] {
        Statement& s = cached(QStringLiteral("SELECT count(*) FROM channels"));
        Rewind rewind(s);
        return s.step() ? int(s.integer(0)) : 0;
    });
}

ListingsStore::GuideWindow ListingsStore::windowOf(Snapshot<ChannelRow> channels, int dayNumber,
                                                   QDate windowDate, const WindowReader& read)
{
    GuideWindow window;
    window.channels = std::move(channels);
    struct Found
    {
        ProgrammeRow programme;
        int dayTable;
        bool first;
        bool second;
    };
    std::vector<Found> found;
    // `onlyEarlier` keeps the rows that start before the window's date: all that the table of
    // the day before may add to this day's windows.
    const auto readTable = [&](int table, bool onlyEarlier) {
        read(table, onlyEarlier ? QStringLiteral("AND p.startdate < ?4") : QString(),
             [&](ProgrammeRow programme, bool first, bool second) {
                 found.push_back(Found{std::move(programme), table, first, second});
             });
    };
    readTable(dayNumber, false);

    // A programme of the evening before that runs past midnight belongs to this day's first
    // windows. The day's own file usually holds it; when it does not, the table of the day
    // before does, provided that table holds the day before and not an older week.
    const int previous = dayNumber == 1 ? 7 : dayNumber - 1;
    if (windowDate.isValid() && storedDate(previous) == windowDate.addDays(-1)) {
        const std::size_t own = found.size();
        QSet<std::pair<QString, QString>> shown; // channel and start of the day's own rows
        for (std::size_t i = 0; i < own; ++i)
            shown.insert({found[i].programme.channel,
                          momentText(found[i].programme.startdate, found[i].programme.starttime)});
        readTable(previous, true);
        found.erase(std::remove_if(found.begin() + std::ptrdiff_t(own), found.end(),
                                   [&](const Found& f) {
                                       return shown.contains({f.programme.channel,
                                                              momentText(f.programme.startdate,
                                                                         f.programme.starttime)});
                                   }),
                    found.end());
        // By start; at the same start the day's own rows first, then by id.
        std::stable_sort(found.begin(), found.end(), [](const Found& x, const Found& y) {
            const auto key = [](const Found& f) {
                return std::pair(f.programme.startdate, f.programme.starttime);
            };
            return key(x) < key(y);
        });
    }

    // The join with `channels` in channel order, on the rows just read: a programme goes with
    // every channel row of its id (with none it is left out), in that row's place; within one
    // place the order of the reading (start, then id) stays.
    const std::vector<ChannelRow>& channelRows = window.channels.rows();
    QHash<QString, std::vector<std::size_t>> placesById;
    placesById.reserve(qsizetype(channelRows.size()));
    for (std::size_t i = 0; i < channelRows.size(); ++i)
        placesById[channelRows[i].channelid].push_back(i);
    std::vector<std::pair<std::size_t, std::size_t>> order; // (place, index into found)
    order.reserve(found.size());
    for (std::size_t j = 0; j < found.size(); ++j) {
        const auto places = placesById.constFind(found[j].programme.channel);
        if (places == placesById.constEnd())
            continue;
        for (const std::size_t place : *places)
            order.emplace_back(place, j);
    }
    std::sort(order.begin(), order.end());
    std::vector<ListingRow> firstRows;
    std::vector<ListingRow> secondRows;
    for (const auto& [place, j] : order) {
        const Found& f = found[j];
        if (f.first)
            firstRows.push_back(ListingRow{f.programme, channelRows[place], f.dayTable});
        if (f.second)
            secondRows.push_back(ListingRow{f.programme, channelRows[place], f.dayTable});
    }
    window.firstHalf = Snapshot<ListingRow>(std::move(firstRows));
    window.secondHalf = Snapshot<ListingRow>(std::move(secondRows));
    return window;
}

Snapshot<ListingRow> ListingsStore::channelMapWindow(QDate date, QTime t1, QTime t2)
{
    return guarded("channelMapWindow", [&] {
        const int table = date.dayOfWeek() % 7 + 1; // Sunday 1 ... Saturday 7
        Statement& s = cached(listingSelect(dayTable(table)) +
                              QStringLiteral("WHERE p.startdate <= ?3 AND p.enddate >= ?3 AND "
                                             "((%1 >= ?1 AND %1 < ?2) OR (%1 <= ?1 AND %2 > ?1))")
                                  .arg(QLatin1String(StartMoment), QLatin1String(EndMoment)) +
                              listingOrder());
        s.bind(1, momentText(date, t1))
            .bind(2, momentText(date, t2))
            .bind(3, date.isValid() ? dateText(date) : QString());
        return Snapshot<ListingRow>(readListings(s, table));
    });
}

Snapshot<ProgrammeRow> ListingsStore::dayProgrammes(int dayNumber)
{
    return guarded("dayProgrammes", [&] {
        // Each programme once, placed by the first (in channel order) channel row of its id;
        // programmes of channels missing from `channels` come last.
        Statement& s = cached(
            QStringLiteral("SELECT %1 FROM %2 AS p LEFT JOIN channels AS c ON c.rowid = "
                           "(SELECT c2.rowid FROM channels AS c2 WHERE c2.channelid = p.channel "
                           "ORDER BY c2.numkey IS NULL, c2.numkey, c2.channelnum, c2.rowid "
                           "LIMIT 1) "
                           "ORDER BY c.rowid IS NULL, %3, p.channel, p.startdate, p.starttime, "
                           "p.programid")
                .arg(QLatin1String(ProgrammeColumns), dayTable(dayNumber),
                     QLatin1String(ChannelOrder)));
        Rewind rewind(s);
        std::vector<ProgrammeRow> rows;
        while (s.step())
            rows.push_back(readProgramme(s));
        return Snapshot<ProgrammeRow>(std::move(rows));
    });
}

// --- recording rules and marks ----------------------------------------------------------------

namespace {

QString matchSelect(const QString& table)
{
    return QStringLiteral(
               "SELECT %1, %2, %3 FROM %4 AS p "
               "JOIN channels AS c ON p.channel = c.channelid "
               "JOIN scheduled AS s ON " ZARVO_SAME_TITLE("p.title", "s.programtitle") " ")
        .arg(QLatin1String(ProgrammeColumns), QLatin1String(ChannelColumns),
             QLatin1String(RuleColumns), table);
}

// Matches are handed to the recorder one by one with pauses between them, so they come in the
// order the programmes are on.
QString matchOrder()
{
    return QStringLiteral(" ORDER BY p.startdate, p.starttime, %1, p.programid, s.rowid")
        .arg(QLatin1String(ChannelOrder));
}

// The rule's type is bound as ?1: the queries pick rules of one type.
std::vector<RuleMatch> readMatches(Statement& s, RuleType type)
{
    Rewind rewind(s);
    s.bind(1, ruleTypeText(type));
    std::vector<RuleMatch> rows;
    while (s.step())
        rows.push_back(RuleMatch{readProgramme(s), readChannel(s, ProgrammeColumnCount),
                                 RuleRow{s.text(ProgrammeColumnCount + ChannelColumnCount), type,
                                         s.text(ProgrammeColumnCount + ChannelColumnCount + 2)}});
    return rows;
}

} // namespace

Snapshot<RuleMatch> ListingsStore::seasonMatches(int dayNumber)
{
    return guarded("seasonMatches", [&] {
        Statement& s = cached(matchSelect(dayTable(dayNumber)) +
                              QStringLiteral("WHERE s.recordtype = ?1 "
                                             "AND s.recordchannel = c.channelname "
                                             "AND p.action IS NULL AND p.rerun = 0") +
                              matchOrder());
        return Snapshot<RuleMatch>(readMatches(s, RuleType::Season));
    });
}

Snapshot<RuleMatch> ListingsStore::allMatches(int dayNumber)
{
    return guarded("allMatches", [&] {
        Statement& s =
            cached(matchSelect(dayTable(dayNumber)) +
                   QStringLiteral("WHERE s.recordtype = ?1 AND p.action IS NULL") + matchOrder());
        return Snapshot<RuleMatch>(readMatches(s, RuleType::All));
    });
}

std::optional<ProgrammeRow> ListingsStore::programme(int dayNumber, qint32 programid)
{
    return guarded("programme", [&]() -> std::optional<ProgrammeRow> {
        Statement& s = cached(QStringLiteral("SELECT %1 FROM %2 AS p WHERE p.programid = ?")
                                  .arg(QLatin1String(ProgrammeColumns), dayTable(dayNumber)));
        Rewind rewind(s);
        s.bind(1, qint64(programid));
        if (!s.step())
            return std::nullopt;
        return readProgramme(s);
    });
}

int ListingsStore::deleteRules(const QString& title)
{
    return guarded("deleteRules", [&] {
        Unit unit(*this, "deleteRules");
        Statement& s = cached(
            QStringLiteral("DELETE FROM scheduled WHERE " ZARVO_SAME_TITLE("programtitle", "?")));
        s.bind(1, orEmpty(title));
        s.run();
        const int deleted = m_db->changes();
        unit.commit();
        return deleted;
    });
}

std::optional<RuleRow> ListingsStore::rule(const QString& title, const QString& channelName)
{
    return guarded("rule", [&]() -> std::optional<RuleRow> {
        Statement& s =
            cached(QStringLiteral("SELECT %1 FROM scheduled AS s WHERE " ZARVO_SAME_TITLE(
                                      "s.programtitle", "?") " AND s.recordchannel = ? "
                                                             "ORDER BY s.rowid")
                       .arg(QLatin1String(RuleColumns)));
        Rewind rewind(s);
        s.bind(1, orEmpty(title)).bind(2, orEmpty(channelName));
        while (s.step())
            if (std::optional<RuleRow> rule = readRule(s))
                return rule;
        return std::nullopt;
    });
}

std::vector<RuleRow> ListingsStore::rules()
{
    return guarded("rules", [&] {
        Statement& s = cached(QStringLiteral("SELECT %1 FROM scheduled AS s ORDER BY s.rowid")
                                  .arg(QLatin1String(RuleColumns)));
        Rewind rewind(s);
        std::vector<RuleRow> rows;
        while (s.step())
            if (std::optional<RuleRow> rule = readRule(s))
                rows.push_back(std::move(*rule));
        return rows;
    });
}

std::vector<RecordedRow> ListingsStore::recordedLog()
{
    return guarded("recordedLog", [&] {
        Statement& s = cached(QStringLiteral(
            "SELECT startdate, starttime, enddate, endtime, channel, title, subtitle, "
            "description, category, rating, filename, realdate, realtime, station, mode, "
            "duration FROM recorded ORDER BY rowid DESC"));
        Rewind rewind(s);
        std::vector<RecordedRow> rows;
        while (s.step()) {
            RecordedRow r;
            QString* values[] = {&r.startdate, &r.starttime, &r.enddate,  &r.endtime,
                                 &r.channel,   &r.title,     &r.subtitle, &r.description,
                                 &r.category,  &r.rating,    &r.filename, &r.realdate,
                                 &r.realtime,  &r.station,   &r.mode,     &r.duration};
            int column = 0;
            for (QString* value : values)
                *value = s.text(column++);
            rows.push_back(std::move(r));
        }
        return rows;
    });
}

// --- the viewer's screens: finding showings, standing rules -----------------------------------

namespace {

// Letter case folded the Unicode way, which SQLite's lower() (ASCII only) does not do: a title
// search must find "Ärzte" by "ärzte".
void foldText(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int size = sqlite3_value_bytes(argv[0]);
    // A week of listings repeats a few thousand titles hundreds of thousands of times: each is
    // folded once. Bounded, so that a store of all-different titles does not grow it for ever.
    static QHash<QByteArray, QByteArray> known;
    auto found = known.constFind(QByteArray::fromRawData(bytes, size));
    if (found == known.constEnd()) {
        if (known.size() >= 8192)
            known.clear();
        found = known.insert(QByteArray(bytes, size),
                             QString::fromUtf8(bytes, size).toCaseFolded().toUtf8());
    }
    sqlite3_result_text(context, found->constData(), int(found->size()), SQLITE_TRANSIENT);
}

// Registers zarvo_fold() on the connection the first time a query needs it.
void ensureFoldFunction(Database& db)
{
    sqlite3_stmt* probe = nullptr;
    const int found = sqlite3_prepare_v2(db.handle(), "SELECT zarvo_fold('')", -1, &probe, nullptr);
    sqlite3_finalize(probe);
    if (found == SQLITE_OK)
        return;
    const int code =
        sqlite3_create_function_v2(db.handle(), "zarvo_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   nullptr, foldText, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        throw StoreError(QStringLiteral("the title search could not be prepared: %1")
                             .arg(QString::fromUtf8(sqlite3_errstr(code))),
                         code);
}

// The programmes of the stored days that satisfy `condition` (SQL on `p`, the day table, whose
// values ?1.. ?9 `bind` binds), from the days on or after `from` (every stored day when `from`
// is null), in time order and once each; see findShowings(). `prepare` gives the store's cached
// statement for an SQL text.
template <typename Prepare>
std::vector<ListingRow> storedShowings(ListingsStore& store, const Prepare& prepare,
                                       const QString& condition, QDate from,
                                       const std::function<void(Statement&)>& bind)
{
    // The tables that hold a stored day; each one's date is bound as ?11 .. ?17, so that a
    // programme held twice is taken from the table of its own start date.
    QStringList parts;
    std::vector<std::pair<int, QDate>> tables;
    for (int day = 1; day <= 7; ++day) {
        const std::optional<QDate> date = store.storedDate(day);
        if (!date || *date == ListingsStore::initialDate() || date->dayOfWeek() % 7 + 1 != day ||
            (from.isValid() && *date < from))
            continue;
        tables.emplace_back(day, *date);
        parts << QStringLiteral("SELECT %1, %2, %3 AS daytable, p.startdate = ?%4 AS own, "
                                "c.numkey IS NULL AS unnumbered, c.numkey AS numkey, "
                                "c.rowid AS channelrow FROM %5 AS p JOIN channels AS c ON "
                                "p.channel = c.channelid WHERE %6")
                     .arg(QLatin1String(ProgrammeColumns), QLatin1String(ChannelColumns))
                     .arg(day)
                     .arg(10 + day)
                     .arg(dayTable(day), condition);
    }
    if (parts.isEmpty())
        return {};
    Statement& s = prepare(parts.join(QStringLiteral(" UNION ALL ")) +
                           QStringLiteral(" ORDER BY startdate, starttime, unnumbered, numkey, "
                                          "channelnum, channelrow, own DESC, daytable"));
    Rewind rewind(s);
    for (const auto& [day, date] : tables)
        s.bind(10 + day, dateText(date));
    bind(s);
    std::vector<ListingRow> rows;
    QSet<std::pair<QString, QString>> taken; // channel and start
    while (s.step()) {
        ListingRow row{readProgramme(s), readChannel(s, ProgrammeColumnCount),
                       int(s.integer(ProgrammeColumnCount + ChannelColumnCount))};
        const std::pair<QString, QString> key{
            row.programme.channel, momentText(row.programme.startdate, row.programme.starttime)};
        if (taken.contains(key))
            continue;
        taken.insert(key);
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

std::vector<ListingRow> ListingsStore::findShowings(const QString& text, TitleMatch match,
                                                    QDate from)
{
    if (text.trimmed().isEmpty())
        return {};
    return guarded("findShowings", [&] {
        const auto prepare = [this](const QString& sql) -> Statement& { return cached(sql); };
        const auto bindText = [&text](Statement& s) { s.bind(1, text); };
        if (match == TitleMatch::Same)
            return storedShowings(*this, prepare, QStringLiteral(ZARVO_SAME_TITLE("p.title", "?1")),
                                  from, bindText);
        ensureFoldFunction(*m_db);
        return storedShowings(*this, prepare,
                              QStringLiteral("instr(zarvo_fold(" ZARVO_TITLE_KEY(
                                  "p.title") "), zarvo_fold(" ZARVO_TITLE_KEY("?1") ")) > 0"),
                              from, bindText);
    });
}

std::vector<ListingRow> ListingsStore::markedShowings(const QDateTime& now)
{
    QStringList marks;
    for (const Mark mark : {Mark::Record, Mark::Season, Mark::All})
        marks << QLatin1Char('\'') + markText(mark) + QLatin1Char('\'');
    return guarded("markedShowings", [&] {
        return storedShowings(
            *this, [this](const QString& sql) -> Statement& { return cached(sql); },
            QStringLiteral("p.action IN (%1) AND %2 > ?1")
                .arg(marks.join(u','), QLatin1String(EndMoment)),
            QDate(), [&](Statement& s) { s.bind(1, momentText(now.date(), now.time())); });
    });
}

int ListingsStore::deleteRule(const QString& title, const QString& channelName)
{
    return guarded("deleteRule", [&] {
        Unit unit(*this, "deleteRule");
        Statement& s = cached(QStringLiteral("DELETE FROM scheduled WHERE " ZARVO_SAME_TITLE(
            "programtitle", "?") " AND recordchannel = ?"));
        s.bind(1, orEmpty(title)).bind(2, orEmpty(channelName));
        s.run();
        const int deleted = m_db->changes();
        unit.commit();
        return deleted;
    });
}

} // namespace zarvo
