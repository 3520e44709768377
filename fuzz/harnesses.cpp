#include "fuzz/harnesses.h"

#include "acquire/importer.h"
#include "app/channelmap.h"
#include "base/clock.h"
#include "base/settingsfile.h"
#include "store/timerules.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTimeZone>

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace zarvo::fuzz {

namespace {

// ---- XMLTV ----------------------------------------------------------------------------------

bool isControl(char16_t u)
{
    return u < 0x20 || u == 0x7F;
}

bool hasControl(const QString& text)
{
    for (const QChar c : text)
        if (isControl(c.unicode()))
            return true;
    return false;
}

bool isText(const pugi::xml_node& n)
{
    return n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata;
}

QString attributeValue(const pugi::xml_attribute& a)
{
    QString s = QString::fromUtf8(a.value());
    s.removeIf([](QChar c) { return isControl(c.unicode()); });
    return s;
}

// The element text the way the contract describes it, without the importer's shortcuts: every
// text node below the element, control characters other than white space dropped, white space
// collapsed. pugixml's traverse() is not recursive, so deeply nested input is fine here too.
QString referenceText(pugi::xml_node node)
{
    if (!node)
        return {};
    QByteArray raw;
    if (isText(node)) {
        raw = node.value();
    } else {
        struct Collector : pugi::xml_tree_walker
        {
            QByteArray* raw = nullptr;
            bool for_each(pugi::xml_node& n) override
            {
                if (isText(n))
                    *raw += n.value();
                return true;
            }
        } collector;
        collector.raw = &raw;
        node.traverse(collector);
    }
    QString s = QString::fromUtf8(raw);
    s.removeIf(
        [](QChar c) { return isControl(c.unicode()) && c != u'\t' && c != u'\n' && c != u'\r'; });
    return s.simplified();
}

QString referenceDescription(pugi::xml_node node)
{
    QString s = referenceText(node);
    if (s.size() > 255)
        s.truncate(s.at(254).isHighSurrogate() ? 254 : 255);
    return s;
}

std::optional<StampParts> referenceStamp(const pugi::xml_attribute& a, const QTimeZone& zone)
{
    return parseStamp(attributeValue(a).trimmed(), zone);
}

bool sameStamp(const std::optional<StampParts>& a, const std::optional<StampParts>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || (a->date == b->date && a->time == b->time);
}

QString moment(QDate date, QTime time)
{
    return dateText(date) + u' ' + timeText(time);
}

QString describeStamp(const std::optional<StampParts>& s)
{
    return s ? moment(s->date, s->time) : QStringLiteral("(none)");
}

QString checkLoadError(const XmltvLoadError& e, const XmltvLoadError& again)
{
    const bool parserCode = e.code >= 1 && e.code <= 16;
    const bool checkCode =
        e.code >= XmltvLoadError::InvalidEncodedText && e.code <= XmltvLoadError::TooDeep;
    if (!parserCode && !checkCode)
        return QStringLiteral("load error with unexpected code %1").arg(e.code);
    if (e.reason.isEmpty())
        return QStringLiteral("load error %1 without a reason").arg(e.code);
    if (e.line < 1 || e.linePosition < 1 || e.filePosition < e.linePosition - 1)
        return QStringLiteral("load error %1 at impossible place line %2, position %3, offset %4")
            .arg(e.code)
            .arg(e.line)
            .arg(e.linePosition)
            .arg(e.filePosition);
    if (e.sourceText.size() > 200)
        return QStringLiteral("source text of %1 characters").arg(e.sourceText.size());
    if (e.code != again.code || e.reason != again.reason || e.line != again.line ||
        e.linePosition != again.linePosition || e.filePosition != again.filePosition ||
        e.sourceText != again.sourceText)
        return QStringLiteral("parseXmltv and loadXmltv report different errors");
    if (!e.report().contains(e.documentUrl))
        return QStringLiteral("report does not name the document");
    return {};
}

// Empty is allowed: an icon attribute of exactly the prefix's length leaves nothing.
bool isPlainLogoName(const QString& icon)
{
    return icon != QLatin1String(".") && icon != QLatin1String("..") && !icon.contains(u'/') &&
           !icon.contains(u'\\') && !icon.contains(u'?') && !icon.contains(u'#') &&
           !hasControl(icon);
}

QString checkChannelRow(const ChannelRow& row, const pugi::xml_node& element)
{
    pugi::xml_attribute id = element.attribute("id");
    if (!id)
        id = element.first_attribute();
    if (row.channelid != attributeValue(id))
        return QStringLiteral("channel id \"%1\" is not its attribute").arg(row.channelid);
    for (const QString* text : {&row.channelname, &row.channelnum}) {
        if (hasControl(*text) || *text != text->simplified())
            return QStringLiteral("channel text \"%1\" not cleaned up").arg(*text);
    }
    if (!isPlainLogoName(row.icon))
        return QStringLiteral("logo name \"%1\" is not a plain file name").arg(row.icon);
    return {};
}

QString checkListings(const XmltvListings& listings, const pugi::xml_node& root,
                      const QTimeZone& zone)
{
    std::size_t channel = 0;
    std::size_t programme = 0;
    int skipped = 0;
    int unreadableStops = 0;
    for (pugi::xml_node n = root.first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element)
            continue;
        if (std::strcmp(n.name(), "channel") == 0) {
            if (channel >= listings.channels.size())
                return QStringLiteral("fewer channel rows than <channel> elements");
            if (QString problem = checkChannelRow(listings.channels[channel], n);
                !problem.isEmpty())
                return problem;
            ++channel;
            continue;
        }
        if (std::strcmp(n.name(), "programme") != 0)
            continue;

        const std::optional<StampParts> start = referenceStamp(n.attribute("start"), zone);
        if (!start) {
            ++skipped;
            continue;
        }
        if (programme >= listings.programmes.size())
            return QStringLiteral("fewer programme rows than readable <programme> elements");
        ProgrammeRow expected;
        expected.startdate = start->date;
        expected.starttime = start->time;
        expected.enddate = start->date;
        expected.endtime = QTime(23, 59, 0);
        if (const pugi::xml_attribute stop = n.attribute("stop")) {
            if (const std::optional<StampParts> end = referenceStamp(stop, zone)) {
                expected.enddate = end->date;
                expected.endtime = end->time;
            } else {
                ++unreadableStops;
            }
        }
        expected.channel = attributeValue(n.attribute("channel"));
        expected.title = referenceText(n.child("title"));
        expected.subtitle = referenceText(n.child("sub-title"));
        expected.description = referenceDescription(n.child("desc"));
        expected.category = referenceText(n.child("category"));
        expected.rating = referenceText(n.child("rating").child("value"));
        expected.rerun = bool(n.child("previously-shown"));

        const ProgrammeRow& row = listings.programmes[programme];
        if (!(row == expected))
            return QStringLiteral("programme %1 differs from its element: start %2 / %3, stop %4 "
                                  "/ %5, title \"%6\" / \"%7\"")
                .arg(QString::number(programme), moment(row.startdate, row.starttime),
                     moment(expected.startdate, expected.starttime),
                     moment(row.enddate, row.endtime), moment(expected.enddate, expected.endtime),
                     row.title, expected.title);
        if (!row.startdate.isValid() || !row.starttime.isValid() || !row.enddate.isValid() ||
            !row.endtime.isValid())
            return QStringLiteral("programme %1 with an invalid date or time").arg(programme);
        ++programme;
    }
    if (channel != listings.channels.size())
        return QStringLiteral("%1 channel rows for %2 <channel> elements")
            .arg(listings.channels.size())
            .arg(channel);
    if (programme != listings.programmes.size())
        return QStringLiteral("%1 programme rows for %2 readable <programme> elements")
            .arg(listings.programmes.size())
            .arg(programme);
    if (skipped != listings.skippedProgrammes || unreadableStops != listings.unreadableStops)
        return QStringLiteral("counted %1 skipped and %2 unreadable stops, expected %3 and %4")
            .arg(listings.skippedProgrammes)
            .arg(listings.unreadableStops)
            .arg(skipped)
            .arg(unreadableStops);
    return {};
}

bool sameListings(const XmltvListings& a, const XmltvListings& b)
{
    return a.channels == b.channels && a.programmes == b.programmes &&
           a.skippedProgrammes == b.skippedProgrammes && a.unreadableStops == b.unreadableStops;
}

// ---- the whole import ---------------------------------------------------------------------

// The day every input is imported as: a Monday, weekday table 2.
const QDate ImportDay(2024, 3, 4);

QString rowText(const ProgrammeRow& p)
{
    return QStringList{moment(p.startdate, p.starttime),
                       moment(p.enddate, p.endtime),
                       p.channel,
                       p.title,
                       p.subtitle,
                       p.description,
                       p.category,
                       p.rating,
                       QString::number(p.rerun),
                       p.action ? markText(*p.action) : QStringLiteral("NULL")}
        .join(u'|');
}

QString channelText(const ChannelRow& c)
{
    return QStringList{c.channelid, c.channelname, c.channelnum, c.icon}.join(u'|');
}

// What an import may change: the day's table, `channels` and the day's `dates` column, each
// as a sorted list (the store gives rows in channel order, the document in its own).
QStringList storedDay(ListingsStore& store)
{
    QStringList rows;
    const Snapshot<ProgrammeRow> programmes = store.dayProgrammes(dayNumber(ImportDay));
    for (const ProgrammeRow& p : programmes.rows())
        rows << QStringLiteral("programme|") + rowText(p);
    const Snapshot<ChannelRow> channels = store.channels();
    for (const ChannelRow& c : channels.rows())
        rows << QStringLiteral("channel|") + channelText(c);
    rows.sort();
    rows.prepend(dateText(store.storedDate(dayNumber(ImportDay)).value_or(QDate())));
    return rows;
}

QStringList expectedDay(const XmltvListings& listings)
{
    QStringList rows;
    for (ProgrammeRow p : listings.programmes) {
        p.action.reset();
        rows << QStringLiteral("programme|") + rowText(p);
    }
    for (const ChannelRow& c : listings.channels)
        rows << QStringLiteral("channel|") + channelText(c);
    rows.sort();
    rows.prepend(dateText(ImportDay));
    return rows;
}

// A program folder of its own for the whole run (in memory when /dev/shm is there, so that the
// store's syncs cost nothing), with a store that starts out holding an older Monday.
struct ImportBench
{
    QTemporaryDir dir{QDir(QStringLiteral("/dev/shm")).exists()
                          ? QStringLiteral("/dev/shm/zarvo-fuzz-XXXXXX")
                          : QDir::tempPath() + QStringLiteral("/zarvo-fuzz-XXXXXX")};
    ProgramFolder folder{dir.path()};
    FakeClock clock{QTimeZone("America/New_York"), wallClock(ImportDay, QTime(7, 0))};
    std::unique_ptr<ListingsStore> store;
    QString file;

    ImportBench()
    {
        QDir(dir.path()).mkpath(QStringLiteral("xmltv"));
        file = QDir(folder.xmltvFolder()).filePath(dayFileName(ImportDay));
        store = std::make_unique<ListingsStore>(folder.databaseFile());
        store->insertChannel({QStringLiteral("old"), QStringLiteral("Old TV"), QStringLiteral("2"),
                              QStringLiteral("empty.jpg")});
        ProgrammeRow old;
        old.startdate = old.enddate = ImportDay.addDays(-7);
        old.starttime = QTime(20, 0);
        old.endtime = QTime(21, 0);
        old.channel = QStringLiteral("old");
        old.title = QStringLiteral("Last week");
        store->insertProgramme(dayNumber(ImportDay), old);
        store->setStoredDate(dayNumber(ImportDay), old.startdate);
    }
};

// getListings on the bytes as the day's file: it refuses exactly what loadXmltv refuses, a
// document without programmes and one without a programme of the day, and then moves the file
// aside and leaves the store as it was; otherwise it stores exactly the document's rows and
// records the day.
QString checkImport(const QByteArray& input, const std::optional<XmltvListings>& parsed)
{
    static ImportBench bench;
    {
        QFile f(bench.file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(input) != input.size())
            return QStringLiteral("cannot write the day file: ") + f.errorString();
    }
    QFile::remove(bench.file + QStringLiteral(".rejected"));
    const QStringList before = storedDay(*bench.store);
    AppState state;
    state.fetchPending = true;
    int fetches = 0;
    ImportHooks hooks;
    hooks.fetchMissingDay = [&fetches](const QDateTime&) { ++fetches; };
    // The report of a file that does not load goes to qWarning; the fuzzer need not print it.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const ImportResult r = getListings(wallClock(ImportDay, QTime(20, 0)), *bench.store, state,
                                       bench.folder, bench.clock, hooks);
    qInstallMessageHandler(previous);

    using Status = ImportResult::Status;
    Status expected = Status::Imported;
    if (!parsed)
        expected = Status::NotWellFormed;
    else if (parsed->programmes.empty())
        expected = Status::NoProgrammes;
    else if (std::none_of(parsed->programmes.cbegin(), parsed->programmes.cend(),
                          [](const ProgrammeRow& p) { return p.startdate == ImportDay; }))
        expected = Status::OtherDays;
    if (r.status != expected)
        return QStringLiteral("import status %1, expected %2: %3")
            .arg(int(r.status))
            .arg(int(expected))
            .arg(r.message);
    if (fetches != 0 || state.importInProgress || state.loadErrorText != r.message)
        return QStringLiteral("import left fetches %1, importInProgress %2, loadErrorText \"%3\"")
            .arg(fetches)
            .arg(state.importInProgress)
            .arg(state.loadErrorText);

    if (r.status == Status::Imported) {
        if (state.fetchPending || !r.message.isEmpty() || r.recordedDate != ImportDay)
            return QStringLiteral("an import that went through left fetchPending or a message");
        if (storedDay(*bench.store) != expectedDay(*parsed))
            return QStringLiteral("the stored day is not the document's rows");
        if (!QFile::exists(bench.file))
            return QStringLiteral("the imported day's file was removed");
        return {};
    }
    if (!state.fetchPending || !r.message.startsWith(loadFailedText() + u'\n'))
        return QStringLiteral("a refusal without its message: \"%1\"").arg(r.message);
    if (storedDay(*bench.store) != before)
        return QStringLiteral("a refused import changed the store");
    QFile aside(r.setAside);
    if (QFile::exists(bench.file) || r.setAside != bench.file + QStringLiteral(".rejected") ||
        !aside.open(QIODevice::ReadOnly) || aside.readAll() != input)
        return QStringLiteral("the refused file was not moved aside whole");
    return {};
}

// ---- stamps -----------------------------------------------------------------------------------

// Fourteen digits completed from 8, 10 or 12 ASCII digits; empty for anything else.
QString plainDigits(const QString& text)
{
    const qsizetype n = text.size();
    if (n != 8 && n != 10 && n != 12 && n != 14)
        return {};
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return {};
    return text.leftJustified(14, u'0');
}

// What a stamp reads as in UTC, worked out from the forms the contract spells out: 8 to 14
// digits, blanks, then nothing, a numeric offset or one of a few well-known zone names. The
// outer nullopt means "no opinion" (a zone name this table does not know); the inner one that
// the stamp must be refused.
std::optional<std::optional<StampParts>> expectedInUtc(QStringView t)
{
    const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    const auto isSpace = [](QChar c) {
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
    };
    const std::optional<StampParts> refused;
    qsizetype n = 0;
    while (n < t.size() && isDigit(t[n]))
        ++n;
    if (n != 8 && n != 10 && n != 12 && n != 14)
        return refused;
    const QString digits = t.first(n).toString().leftJustified(14, u'0');
    const auto part = [&digits](int from, int length) {
        return QStringView(digits).mid(from, length).toInt();
    };
    const QDate date(part(0, 4), part(4, 2), part(6, 2));
    const QTime time(part(8, 2), part(10, 2), part(12, 2));
    qsizetype z = n;
    while (z < t.size() && isSpace(t[z]))
        ++z;
    const QStringView zone = t.sliced(z);

    int offset = 0;
    if (zone.isEmpty()) {
        offset = 0;
    } else if (zone[0] == u'+' || zone[0] == u'-') {
        // "+HHMM" or "+HH:MM".
        const QString plain = zone.size() == 6 && zone[3] == u':'
                                  ? zone.mid(1, 2).toString() + zone.mid(4, 2).toString()
                                  : zone.sliced(1).toString();
        if (plain.size() != 4 || !std::all_of(plain.cbegin(), plain.cend(), isDigit))
            return refused;
        const int hours = QStringView(plain).first(2).toInt();
        const int minutes = QStringView(plain).last(2).toInt();
        if (minutes > 59 || hours * 60 + minutes > 14 * 60)
            return refused;
        offset = (zone[0] == u'-' ? -1 : 1) * (hours * 60 + minutes);
    } else {
        const bool letters = zone.size() <= 5 && std::all_of(zone.begin(), zone.end(), [](QChar c) {
                                 return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
                             });
        if (!letters)
            return refused;
        static const QHash<QString, int> known = {
            {QStringLiteral("UTC"), 0},    {QStringLiteral("GMT"), 0},
            {QStringLiteral("Z"), 0},      {QStringLiteral("BST"), 60},
            {QStringLiteral("CEST"), 120}, {QStringLiteral("EST"), -300},
            {QStringLiteral("EDT"), -240}, {QStringLiteral("PST"), -480},
            {QStringLiteral("NST"), -210}, {QStringLiteral("ACST"), 570},
            {QStringLiteral("AEDT"), 660},
        };
        const auto it = known.constFind(zone.toString().toUpper());
        if (it == known.cend())
            return std::nullopt;
        offset = *it;
    }
    if (!date.isValid() || !time.isValid())
        return refused;
    const QDateTime utc = wallClock(date, time).addSecs(-qint64(offset) * 60);
    return std::optional(StampParts{utc.date(), utc.time()});
}

QString checkStampText(const QString& text)
{
    static const QTimeZone newYork("America/New_York");
    static const QTimeZone adelaide("Australia/Adelaide");
    static const QTimeZone utc = QTimeZone::utc();
    if (!newYork.isValid() || !adelaide.isValid())
        return QStringLiteral("the time zone database is missing");

    const auto ny = parseStamp(text, newYork);
    const auto adl = parseStamp(text, adelaide);
    const auto inUtc = parseStamp(text, utc);
    const auto noZone = parseStamp(text, QTimeZone());

    if (ny.has_value() != adl.has_value() || ny.has_value() != inUtc.has_value())
        return QStringLiteral("read in one zone but not in another");
    if (noZone && !ny)
        return QStringLiteral("read only without a zone");
    for (const auto* r : {&ny, &adl, &inUtc, &noZone}) {
        if (*r && (!(*r)->date.isValid() || !(*r)->time.isValid()))
            return QStringLiteral("result with an invalid date or time");
    }

    if (const auto expected = expectedInUtc(QStringView(text).trimmed());
        expected && !sameStamp(inUtc, *expected))
        return QStringLiteral("read as %1 UTC, expected %2")
            .arg(describeStamp(inUtc), describeStamp(*expected));

    const QString digits = plainDigits(text.trimmed());
    if (!digits.isEmpty()) {
        const auto part = [&digits](int from, int length) {
            return QStringView(digits).mid(from, length).toInt();
        };
        const QDate date(part(0, 4), part(4, 2), part(6, 2));
        const QTime time(part(8, 2), part(10, 2), part(12, 2));
        const std::optional<StampParts> expected =
            date.isValid() && time.isValid() ? std::optional(StampParts{date, time}) : std::nullopt;
        if (!sameStamp(noZone, expected))
            return QStringLiteral("digits read as %1, expected %2")
                .arg(describeStamp(noZone), describeStamp(expected));
    }

    if (noZone) {
        // No zone in the stamp: the wall-clock time stands as written, whatever the zone.
        if (!sameStamp(ny, noZone) || !sameStamp(adl, noZone) || !sameStamp(inUtc, noZone))
            return QStringLiteral("a stamp without a zone moved: %1, %2, %3, %4")
                .arg(describeStamp(noZone), describeStamp(ny), describeStamp(adl),
                     describeStamp(inUtc));
    } else if (inUtc) {
        // A zone in the stamp: one moment, shown on each zone's wall clock.
        const QDateTime moment = wallClock(inUtc->date, inUtc->time);
        for (const auto& [zone, read] : {std::pair(&newYork, &ny), std::pair(&adelaide, &adl)}) {
            const QDateTime local = moment.toTimeZone(*zone);
            if (!sameStamp(*read, StampParts{local.date(), local.time()}))
                return QStringLiteral("%1 in UTC is %2 in %3, not %4")
                    .arg(describeStamp(inUtc),
                         describeStamp(StampParts{local.date(), local.time()}),
                         QString::fromUtf8(zone->id()), describeStamp(*read));
        }
    }
    return {};
}

// ---- settings -------------------------------------------------------------------------------

QString describe(const Settings& s)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8")
        .arg(QString::number(s.writeChannelMap), s.channelMapPath, QString::number(s.adjustDST),
             QString::number(s.daysToDownload), s.imagesFolder, s.primeTime,
             QString::number(s.opacity), s.grabberName);
}

// ---- channel map ----------------------------------------------------------------------------

// The window every map is rewritten with: keys that must match exactly ("5" not "05", "10" not
// "1"), a key given twice (the first row wins), names and titles with quotes, line breaks and
// characters outside Windows-1252, and rows that give no key at all.
struct WindowRow
{
    const char* channelname;
    const char* title;
};
constexpr WindowRow WindowRows[] = {
    {"5 ABC", "News at \"Five\""},
    {"5 DEF", "Never shown"},
    {"10 TEN", "Line1\nLine2\tEnd\xE2\x80\xA8!"},
    {"9 NINE", "Caf\xC3\xA9 \xE2\x80\x93 Soir"},
    {"\xC3\x89 Cha\xC3\xAEne", "\xCE\xA9mega \xF0\x9F\x98\x80"},
    {"05 ZERO", "Zero"},
    {"NoSpace", "no key"},
    {" 7 Lead", "no key either"},
};

// What each key renames its lines to, in both code pages a map can be in.
struct Renaming
{
    QByteArray utf8Key;
    QByteArray cp1252Key;
    QByteArray utf8Name;
    QByteArray cp1252Name;
};

const std::vector<Renaming>& renamings()
{
    static const std::vector<Renaming> table = {
        {"5", "5", "5 ABC News at 'Five'", "5 ABC News at 'Five'"},
        {"10", "10", "10 TEN Line1 Line2 End !", "10 TEN Line1 Line2 End !"},
        {"9", "9", "9 NINE Caf\xC3\xA9 \xE2\x80\x93 Soir", "9 NINE Caf\xE9 \x96 Soir"},
        {"\xC3\x89", "\xC9", "\xC3\x89 Cha\xC3\xAEne \xCE\xA9mega \xF0\x9F\x98\x80",
         "\xC9 Cha\xEEne ?mega ?"},
        {"05", "05", "05 ZERO Zero", "05 ZERO Zero"},
    };
    return table;
}

const std::vector<ListingRow>& window()
{
    static const std::vector<ListingRow> rows = [] {
        std::vector<ListingRow> out;
        for (const WindowRow& w : WindowRows) {
            ListingRow row;
            row.channel.channelname = QString::fromUtf8(w.channelname);
            row.programme.title = QString::fromUtf8(w.title);
            out.push_back(row);
        }
        return out;
    }();
    return rows;
}

// The lines of a map as its contract cuts them: ended by CR LF, LF or a lone CR; a last line
// without an end counts, an end at the very end of the text does not start another.
std::vector<QByteArray> mapLines(const QByteArray& text)
{
    std::vector<QByteArray> lines;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.mid(begin, i - begin));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        begin = i + 1;
    }
    if (begin < text.size())
        lines.push_back(text.mid(begin));
    return lines;
}

QString checkMapLine(const QByteArray& line, const ChannelMapLine& parsed)
{
    const qsizetype close = line.startsWith('"') ? line.indexOf('"', 1) : -1;
    if (parsed.hasName != (close > 0))
        return QStringLiteral("name field misread");
    if (parsed.hasName) {
        if (parsed.name != line.mid(1, close - 1) || '"' + parsed.name + '"' + parsed.rest != line)
            return QStringLiteral("name and rest do not give the line back");
    } else if (!parsed.name.isEmpty() || !parsed.rest.isEmpty()) {
        return QStringLiteral("name or rest set without a name field");
    }
    const QByteArray searched = parsed.hasName ? parsed.rest : line;
    const qsizetype pair = searched.indexOf("|\"");
    const QByteArray keyText = pair >= 0 ? searched.mid(pair + 3, 3) : QByteArray();
    if (parsed.keyText != keyText)
        return QStringLiteral("key text \"%1\", expected \"%2\"")
            .arg(QString::fromLatin1(parsed.keyText), QString::fromLatin1(keyText));
    const qsizetype space = keyText.indexOf(' ');
    const std::optional<QByteArray> key =
        space > 0 ? std::optional(keyText.left(space)) : std::nullopt;
    if (parsed.key != key)
        return QStringLiteral("key misread from key text \"%1\"").arg(QString::fromLatin1(keyText));
    return {};
}

bool validUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

QString checkXmltv(const QByteArray& input)
{
    static const QTimeZone zone("America/New_York");
    const QString url = QStringLiteral("file:///fuzz/20240304.xml");

    XmltvLoadError parseError;
    const std::optional<XmltvListings> parsed = parseXmltv(input, zone, &parseError);
    const XmltvDocument doc = loadXmltv(input, url);
    if (parsed.has_value() != doc.ok())
        return QStringLiteral("parseXmltv and loadXmltv disagree on whether the input loads");
    if (!doc.ok()) {
        parseError.documentUrl = url;
        if (QString problem = checkLoadError(doc.error, parseError); !problem.isEmpty())
            return problem;
        return checkImport(input, parsed);
    }

    const pugi::xml_node root = doc.document->document_element();
    if (std::strcmp(root.name(), "tv") != 0)
        return QStringLiteral("loaded a document whose root is <%1>")
            .arg(QString::fromUtf8(root.name()));
    const XmltvListings listings = readListings(*doc.document, zone);
    if (!sameListings(listings, *parsed))
        return QStringLiteral("readListings and parseXmltv give different rows");
    if (QString problem = checkListings(listings, root, zone); !problem.isEmpty())
        return problem;
    return checkImport(input, parsed);
}

QString checkStamp(const QByteArray& input)
{
    if (QString problem = checkStampText(QString::fromUtf8(input)); !problem.isEmpty())
        return QStringLiteral("as UTF-8: ") + problem;
    if (QString problem = checkStampText(QString::fromLatin1(input)); !problem.isEmpty())
        return QStringLiteral("as Latin-1: ") + problem;
    return {};
}

QString checkSettings(const QByteArray& input)
{
    const SettingsRead first = parseSettings(input);
    switch (first.outcome) {
    case SettingsRead::Outcome::Missing:
        return QStringLiteral("bytes read as a missing file");
    case SettingsRead::Outcome::ConversionError:
        if (first.error.isEmpty())
            return QStringLiteral("conversion error without a message");
        if (first.valuesRead < 0 || first.valuesRead > 7)
            return QStringLiteral("conversion error after %1 values").arg(first.valuesRead);
        return {};
    case SettingsRead::Outcome::Read:
        break;
    }
    const Settings& s = first.settings;
    if (first.valuesRead < 0 || first.valuesRead > 8)
        return QStringLiteral("read %1 values").arg(first.valuesRead);
    if (s.channelMapPath.isEmpty() || s.imagesFolder.isEmpty() || s.primeTime.isEmpty() ||
        s.grabberName.isEmpty() || s.daysToDownload == 0)
        return QStringLiteral("fix-ups missing: %1").arg(describe(s));

    // A double quote ends a quoted text early, so such a value cannot survive a round trip.
    for (const QString* text : {&s.channelMapPath, &s.imagesFolder, &s.primeTime, &s.grabberName})
        if (text->contains(u'"'))
            return {};
    const QByteArray written = formatSettings(s);
    const SettingsRead second = parseSettings(written);
    if (second.outcome != SettingsRead::Outcome::Read || second.valuesRead != 8)
        return QStringLiteral("own file read back with outcome %1 after %2 values: %3")
            .arg(int(second.outcome))
            .arg(second.valuesRead)
            .arg(second.error);
    if (!(second.settings == s))
        return QStringLiteral("round trip changed the record: %1 became %2")
            .arg(describe(s), describe(second.settings));
    return {};
}

QString checkChannelMap(const QByteArray& input)
{
    static const QByteArray bom("\xEF\xBB\xBF");
    const bool hasBom = input.startsWith(bom);
    const std::vector<QByteArray> lines = mapLines(hasBom ? input.mid(bom.size()) : input);

    std::vector<ChannelMapLine> parsed;
    parsed.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        parsed.push_back(parseChannelMapLine(lines[i]));
        if (QString problem = checkMapLine(lines[i], parsed.back()); !problem.isEmpty())
            return QStringLiteral("line %1: %2").arg(i + 1).arg(problem);
    }

    const ChannelMapRewrite rewrite = rewriteChannelMap(input, window());
    if (lines.size() > std::size_t(ChannelMapMaxLines)) {
        if (!rewrite.tooLong || !rewrite.bytes.isEmpty() || rewrite.renamed != 0)
            return QStringLiteral("a map of %1 lines was rewritten").arg(lines.size());
        return {};
    }
    if (rewrite.tooLong)
        return QStringLiteral("a map of %1 lines taken as too long").arg(lines.size());

    bool nonAscii = false;
    for (const char c : input)
        nonAscii = nonAscii || static_cast<unsigned char>(c) >= 0x80;
    const bool utf8 = hasBom || (nonAscii && validUtf8(input));

    QByteArray expected = hasBom ? bom : QByteArray();
    int renamed = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ChannelMapLine& p = parsed[i];
        const Renaming* renaming = nullptr;
        if (p.hasName && p.key) {
            for (const Renaming& r : renamings())
                if (*p.key == (utf8 ? r.utf8Key : r.cp1252Key)) {
                    renaming = &r;
                    break;
                }
        }
        if (renaming) {
            expected += '"' + (utf8 ? renaming->utf8Name : renaming->cp1252Name) + '"' + p.rest;
            ++renamed;
        } else {
            expected += lines[i];
        }
        expected += "\r\n";
    }
    if (rewrite.lines != int(lines.size()) || rewrite.renamed != renamed)
        return QStringLiteral("%1 lines, %2 renamed; expected %3 and %4")
            .arg(rewrite.lines)
            .arg(rewrite.renamed)
            .arg(lines.size())
            .arg(renamed);
    if (rewrite.bytes != expected) {
        const std::vector<QByteArray> got = mapLines(rewrite.bytes);
        const std::vector<QByteArray> want = mapLines(expected);
        std::size_t i = 0;
        while (i < got.size() && i < want.size() && got[i] == want[i])
            ++i;
        return QStringLiteral("rewritten map differs at line %1 (%2 lines, expected %3): \"%4\" "
                              "instead of \"%5\"")
            .arg(i + 1)
            .arg(got.size())
            .arg(want.size())
            .arg(QString::fromLatin1(i < got.size() ? got[i] : QByteArray()),
                 QString::fromLatin1(i < want.size() ? want[i] : QByteArray()));
    }
    return {};
}

} // namespace zarvo::fuzz
