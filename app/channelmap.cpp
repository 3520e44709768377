#include "app/channelmap.h"

#include "base/atomicfile.h"
#include "store/timerules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <array>
#include <exception>
#include <map>

namespace zarvo {
namespace {

const QByteArray Utf8Bom("\xEF\xBB\xBF");

// The characters Windows-1252 puts at 0x80..0x9F, where Latin-1 has control codes. Titles from
// XMLTV sources are full of curly quotes and dashes; without this table they would all turn
// into '?'. Zero marks the five bytes the code page leaves unassigned.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QByteArray toCp1252(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += char(c);
            continue;
        }
        char byte = '?';
        for (std::size_t k = 0; k < Cp1252High.size(); ++k) {
            if (Cp1252High[k] != 0 && Cp1252High[k] == c)
                byte = char(0x80 + k);
        }
        // A character outside the basic plane is one '?', not one per surrogate.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        out += byte;
    }
    return out;
}

QString fromCp1252(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        const char16_t high = u >= 0x80 && u < 0xA0 ? Cp1252High[u - 0x80] : 0;
        out += QChar(high != 0 ? high : char16_t(u));
    }
    return out;
}

bool isValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

bool hasNonAscii(const QByteArray& bytes)
{
    for (const char b : bytes) {
        if (static_cast<unsigned char>(b) >= 0x80)
            return true;
    }
    return false;
}

// The map's lines without their line ends (CR LF, LF or a lone CR). Stops counting once the
// map is known to be too long.
std::vector<QByteArray> splitLines(const QByteArray& bytes, qsizetype from)
{
    std::vector<QByteArray> lines;
    qsizetype pos = from;
    while (pos < bytes.size() && lines.size() <= std::size_t(ChannelMapMaxLines)) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes.at(end) != '\n' && bytes.at(end) != '\r')
            ++end;
        lines.push_back(bytes.mid(pos, end - pos));
        if (end < bytes.size() && bytes.at(end) == '\r' && end + 1 < bytes.size() &&
            bytes.at(end + 1) == '\n')
            pos = end + 2;
        else
            pos = end + 1;
    }
    return lines;
}

// A name that stays one quoted field on one line whatever the listings hold.
QString fieldSafe(QString name)
{
    for (QChar& c : name) {
        if (c == u'"')
            c = u'\'';
        else if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
                 c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return name;
}

} // namespace

ChannelMapLine parseChannelMapLine(const QByteArray& line)
{
    ChannelMapLine parsed;
    qsizetype searchFrom = 0;
    if (line.startsWith('"')) {
        const qsizetype close = line.indexOf('"', 1);
        if (close >= 0) {
            parsed.hasName = true;
            parsed.name = line.mid(1, close - 1);
            parsed.rest = line.mid(close + 1);
            // The pair is looked for behind the name: a name ending in '|' (a title may) would
            // otherwise make its own closing quote the pair.
            searchFrom = close;
        }
    }
    const qsizetype pair = line.indexOf("|\"", searchFrom);
    if (pair >= 0) {
        parsed.keyText = line.mid(pair + 3, 3);
        const qsizetype space = parsed.keyText.indexOf(' ');
        // An empty key (the key text starts with a space) would name no channel at all.
        if (space > 0)
            parsed.key = parsed.keyText.left(space);
    }
    return parsed;
}

std::optional<QString> guideChannelKey(const QString& channelName)
{
    const qsizetype space = channelName.indexOf(u' ');
    if (space <= 0)
        return std::nullopt;
    return channelName.left(space);
}

ChannelMapWindow channelMapWindowAt(QTime wallTime)
{
    const int h = wallTime.hour();
    if (wallTime.minute() < 29)
        return {QTime(h, 0), QTime(h, 30)};
    // The next hour on the wall clock, not an hour later in real time: on the night the clocks
    // go back, 1:30 plus a real hour is 1:30 again, which would give an empty window.
    return {QTime(h, 30), QTime((h + 1) % 24, 0)};
}

ChannelMapRewrite rewriteChannelMap(const QByteArray& map, const std::vector<ListingRow>& window,
                                    const std::function<void()>& yield)
{
    ChannelMapRewrite result;
    const bool bom = map.startsWith(Utf8Bom);
    const std::vector<QByteArray> lines = splitLines(map, bom ? Utf8Bom.size() : 0);
    if (lines.size() > std::size_t(ChannelMapMaxLines)) {
        result.tooLong = true;
        return result;
    }
    result.lines = int(lines.size());

    // A map that already holds UTF-8 text stays UTF-8; anything else is taken to be in the
    // recorder's single-byte code page, which a plain ASCII map is too.
    const bool utf8 = bom || (hasNonAscii(map) && isValidUtf8(map));

    // Maps list their channels in any order and the store orders by channel number as a
    // number, so a forward-only merge of the two would miss channels; each line looks its key
    // up instead. The first row of a key is the one the window lists first: the programme
    // already running.
    std::map<QString, const ListingRow*> byKey;
    for (const ListingRow& row : window) {
        if (const auto key = guideChannelKey(row.channel.channelname))
            byKey.try_emplace(*key, &row);
    }

    QByteArray& out = result.bytes;
    out.reserve(map.size() + 64 * qsizetype(lines.size()));
    if (bom)
        out += Utf8Bom;
    for (const QByteArray& line : lines) {
        const ChannelMapLine parsed = parseChannelMapLine(line);
        const ListingRow* row = nullptr;
        if (parsed.hasName && parsed.key) {
            const QString key = utf8 ? QString::fromUtf8(*parsed.key) : fromCp1252(*parsed.key);
            if (const auto it = byKey.find(key); it != byKey.end())
                row = it->second;
        }
        if (row) {
            const QString name = fieldSafe(row->channel.channelname + u' ' + row->programme.title);
            out += '"';
            out += utf8 ? name.toUtf8() : toCp1252(name);
            out += '"';
            out += parsed.rest;
            ++result.renamed;
        } else {
            out += line;
        }
        out += "\r\n";
        if (yield)
            yield();
    }
    return result;
}

ChannelMapResult writeToChannels(ListingsStore& store, const QString& mapPath, const Clock& clock,
                                 const std::function<void()>& yield)
{
    ChannelMapResult result;
    const auto fail = [&result](const QString& message) {
        result.outcome = ChannelMapResult::Outcome::Failed;
        result.message = message;
        return result;
    };
    const QString shownPath = QDir::toNativeSeparators(mapPath);

    try {
        const QDateTime now = clock.now();
        const QDate today = now.date();
        const int day = dayNumber(today);
        // The weekday table holds another week's listings (or none): naming channels after
        // them would show last week's programmes.
        if (store.storedDate(day) != today) {
            result.outcome = ChannelMapResult::Outcome::TodayMissing;
            return result;
        }

        if (mapPath.isEmpty())
            return fail(QStringLiteral("No channel map file is set."));
        const QFileInfo info(mapPath);
        if (!info.exists())
            return fail(QStringLiteral("Cannot read the channel map %1: the file does not exist.")
                            .arg(shownPath));
        if (info.isDir())
            return fail(
                QStringLiteral("Cannot read the channel map %1: it is a folder, not a file.")
                    .arg(shownPath));
        QFile file(mapPath);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("Cannot read the channel map %1: %2")
                            .arg(shownPath, file.errorString()));
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return fail(QStringLiteral("Cannot read the channel map %1: %2")
                            .arg(shownPath, file.errorString()));
        file.close();

        const ChannelMapWindow window = channelMapWindowAt(now.time());
        const Snapshot<ListingRow> rows = store.channelMapWindow(today, window.t1, window.t2);
        const ChannelMapRewrite rewrite = rewriteChannelMap(bytes, rows.rows(), yield);
        if (rewrite.tooLong) {
            result.outcome = ChannelMapResult::Outcome::TooLong;
            return result;
        }

        // Written beside the map and renamed over it: the recorder's channel list must survive
        // a crash or a full disk halfway through, which rewriting the file in place would not.
        try {
            replaceFileAtomically(mapPath, rewrite.bytes);
        } catch (const FileError& e) {
            return fail(QStringLiteral("Cannot write %1: %2").arg(shownPath, e.reason()));
        }
        result.outcome = ChannelMapResult::Outcome::Written;
        result.lines = rewrite.lines;
        result.renamed = rewrite.renamed;
        return result;
    } catch (const Error& e) {
        // The store's errors end the run like a failed file would: with a message for the user
        // and the map as it was.
        return fail(e.message());
    }
}

} // namespace zarvo
