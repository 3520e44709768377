#include "acquire/importer.h"

#include "store/timerules.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarvo {

namespace {

constexpr int IconPrefixLength = 47;
constexpr qsizetype DescriptionLength = 255;
constexpr int SourceTextLength = 200;

// ---- decoding -----------------------------------------------------------------------------

// How a UTF-16 or UTF-32 text begins: with a byte order mark, or with "<?" laid out wide.
// Longer marks come first, since FF FE also starts the UTF-32 little-endian mark.
struct WideLayout
{
    std::array<char, 4> mark;
    qsizetype markLength;
    QStringConverter::Encoding encoding;
    qsizetype bomLength;
};
constexpr WideLayout WideLayouts[] = {
    {{'\x00', '\x00', '\xFE', '\xFF'}, 4, QStringConverter::Utf32BE, 4},
    {{'\xFF', '\xFE', '\x00', '\x00'}, 4, QStringConverter::Utf32LE, 4},
    {{'\xFE', '\xFF'}, 2, QStringConverter::Utf16BE, 2},
    {{'\xFF', '\xFE'}, 2, QStringConverter::Utf16LE, 2},
    {{'\x00', '\x00', '\x00', '<'}, 4, QStringConverter::Utf32BE, 0},
    {{'<', '\x00', '\x00', '\x00'}, 4, QStringConverter::Utf32LE, 0},
    {{'\x00', '<', '\x00', '?'}, 4, QStringConverter::Utf16BE, 0},
    {{'<', '\x00', '?', '\x00'}, 4, QStringConverter::Utf16LE, 0},
};

// The offset of the first byte that does not belong to a well-formed UTF-8 sequence (overlong
// forms, surrogates and values above U+10FFFF included), or -1.
qsizetype firstInvalidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            // Listings are mostly ASCII: pass over it eight bytes at a time.
            std::uint64_t word = 0;
            while (i + 8 <= n) {
                std::memcpy(&word, p + i, 8);
                if (word & 0x8080808080808080ULL)
                    break;
                i += 8;
            }
            while (i < n && p[i] < 0x80)
                ++i;
            continue;
        }
        int extra = 0;
        unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            if (b == 0xE0)
                lo = 0xA0;
            else if (b == 0xED)
                hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F;
        } else {
            return i;
        }
        if (i + extra >= n)
            return i;
        if (p[i + 1] < lo || p[i + 1] > hi)
            return i;
        for (int k = 2; k <= extra; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return i;
        i += extra + 1;
    }
    return -1;
}

// The encoding named in an XML declaration at the start of an ASCII-compatible text; empty when
// there is no declaration or it names none.
QString declaredEncoding(const QByteArray& bytes)
{
    if (!bytes.startsWith("<?xml"))
        return {};
    const qsizetype end = bytes.indexOf("?>");
    if (end < 0)
        return {};
    static const QRegularExpression re(
        QStringLiteral(R"(\sencoding\s*=\s*(["'])([A-Za-z][A-Za-z0-9._-]*)\1)"));
    const auto m = re.match(QString::fromLatin1(bytes.left(end)));
    return m.hasMatch() ? m.captured(2).toLower() : QString();
}

struct Decoded
{
    QByteArray utf8;      // the whole text as UTF-8, without byte order mark
    XmltvLoadError error; // code 0 when decoding went well
};

// Where `offset` (a byte offset into the UTF-8 text) lies, for the report.
void locate(XmltvLoadError& e, const QByteArray& utf8, qsizetype offset)
{
    offset = qBound(qsizetype(0), offset, utf8.size());
    // (lastIndexOf would take a start of -1 to mean the end of the text.)
    const qsizetype lineStart = offset > 0 ? utf8.lastIndexOf('\n', offset - 1) + 1 : 0;
    qsizetype lineEnd = utf8.indexOf('\n', offset);
    if (lineEnd < 0)
        lineEnd = utf8.size();
    e.line = int(utf8.left(lineStart).count('\n')) + 1;
    const QString before = QString::fromUtf8(utf8.mid(lineStart, offset - lineStart));
    e.linePosition = int(before.size()) + 1;
    e.filePosition = QString::fromUtf8(utf8.left(lineStart)).size() + before.size();
    // A minified file is one long line: show the neighbourhood of the fault only.
    QString line = QString::fromUtf8(utf8.mid(lineStart, lineEnd - lineStart));
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (line.size() > SourceTextLength) {
        const qsizetype from = qMax(qsizetype(0), qsizetype(before.size()) - SourceTextLength / 2);
        line = line.mid(from, SourceTextLength);
    }
    e.sourceText = line;
}

XmltvLoadError makeError(int code, const QString& reason)
{
    XmltvLoadError e;
    e.code = code;
    e.reason = reason;
    return e;
}

// The decoders stop nowhere: every byte sequence that is not valid in the encoding becomes a NUL
// (and the decoder reports an error), so that where the first one lies can be shown.
constexpr QStringConverter::Flags DecoderFlags =
    QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInvalidToNull;

// The error for a text that a decoder for `encoding` refused: the first NUL it left marks the
// place (a text cut inside a character has none, and ends there).
void invalidText(Decoded& d, const QString& text, const QString& encoding)
{
    qsizetype at = text.indexOf(QChar(0));
    if (at < 0)
        at = text.size();
    d.utf8 = text.toUtf8();
    d.error = makeError(XmltvLoadError::InvalidEncodedText,
                        QStringLiteral("The text is not valid %1.").arg(encoding));
    locate(d.error, d.utf8, text.first(at).toUtf8().size());
}

// The parser would take a NUL for the end of the text and accept what came before it.
Decoded& withoutNul(Decoded& d)
{
    if (const qsizetype nul = d.utf8.indexOf('\0'); nul >= 0) {
        d.error = makeError(XmltvLoadError::NulCharacter,
                            QStringLiteral("The text contains a NUL character."));
        locate(d.error, d.utf8, nul);
    }
    return d;
}

Decoded decode(const QByteArray& bytes)
{
    Decoded d;
    const WideLayout* wide = nullptr;
    for (const WideLayout& layout : WideLayouts)
        if (bytes.startsWith(QByteArrayView(layout.mark.data(), layout.markLength))) {
            wide = &layout;
            break;
        }
    if (wide) {
        QStringDecoder decoder(wide->encoding, DecoderFlags);
        const QString text = decoder.decode(bytes.mid(wide->bomLength));
        if (decoder.hasError()) {
            invalidText(d, text, QString::fromLatin1(decoder.name()));
            return d;
        }
        d.utf8 = text.toUtf8();
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        d.utf8 = bytes.mid(3);
    } else {
        const QString name = declaredEncoding(bytes);
        if (!name.isEmpty() && name != QLatin1String("utf-8") && name != QLatin1String("utf8")) {
            QStringDecoder decoder(name.toLatin1().constData(), DecoderFlags);
            if (!decoder.isValid()) {
                d.error =
                    makeError(XmltvLoadError::UnsupportedEncoding,
                              QStringLiteral("The encoding \"%1\" is not supported.").arg(name));
                locate(d.error, bytes.left(bytes.indexOf("?>") + 2), 0);
                return d;
            }
            // A "UTF-16" or "UTF-32" label on bytes laid out as an 8-bit text (the wide layouts
            // are recognised above) is a mislabelled UTF-8 file.
            const QString known = QString::fromLatin1(decoder.name());
            if (!known.startsWith(QLatin1String("UTF-16"), Qt::CaseInsensitive) &&
                !known.startsWith(QLatin1String("UTF-32"), Qt::CaseInsensitive)) {
                const QString text = decoder.decode(bytes);
                if (decoder.hasError()) {
                    invalidText(d, text, known);
                    return d;
                }
                d.utf8 = text.toUtf8();
                return withoutNul(d);
            }
        }
        d.utf8 = bytes;
    }

    if (const qsizetype bad = firstInvalidUtf8(d.utf8); bad >= 0) {
        d.error = makeError(
            XmltvLoadError::InvalidEncodedText,
            QStringLiteral("The text is not valid UTF-8 (byte 0x%1).")
                .arg(uint(static_cast<unsigned char>(d.utf8[bad])), 2, 16, QLatin1Char('0')));
        locate(d.error, d.utf8, bad);
        return d;
    }
    return withoutNul(d);
}

// ---- text of nodes --------------------------------------------------------------------------

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7F;
}

QString withoutControls(QString s)
{
    s.removeIf([](QChar c) { return isControl(c) && c != u'\t' && c != u'\n' && c != u'\r'; });
    return s;
}

QString attributeText(const pugi::xml_attribute& a)
{
    QString s = QString::fromUtf8(a.value());
    s.removeIf(isControl);
    return s;
}

bool isText(const pugi::xml_node& n)
{
    return n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata;
}

// Printable ASCII, not empty, without blanks at either end or two blanks in a row: a text that
// removing control characters and collapsing white space leave as it is.
bool isPlainAscii(const char* text, std::size_t length)
{
    if (length == 0 || text[0] == ' ' || text[length - 1] == ' ')
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c > 0x7E || (c == ' ' && text[i + 1] == ' '))
            return false;
    }
    return true;
}

// All the text inside a node, nested elements included, with white space collapsed. Walked
// without recursion: a hostile file may nest elements very deeply.
QString nodeText(const pugi::xml_node& node)
{
    if (!node)
        return {};
    // Nearly every element holds one run of printable ASCII with single blanks between words:
    // there is nothing to remove or collapse, so it is taken as it stands.
    const pugi::xml_node single =
        isText(node)
            ? node
            : (isText(node.first_child()) && !node.first_child().next_sibling() ? node.first_child()
                                                                                : pugi::xml_node());
    if (single) {
        const char* value = single.value();
        const std::size_t length = std::strlen(value);
        if (isPlainAscii(value, length))
            return QString::fromLatin1(value, qsizetype(length));
    }
    QByteArray raw;
    if (isText(node)) {
        raw = node.value();
    } else {
        pugi::xml_node cur = node.first_child();
        while (cur) {
            if (isText(cur))
                raw += cur.value();
            if (cur.first_child()) {
                cur = cur.first_child();
                continue;
            }
            while (cur != node && !cur.next_sibling())
                cur = cur.parent();
            if (cur == node)
                break;
            cur = cur.next_sibling();
        }
    }
    return withoutControls(QString::fromUtf8(raw)).simplified();
}

// The first three child nodes the way a DOM without blank text nodes sees them: elements and
// text (comments and processing instructions are not parsed at all).
std::array<pugi::xml_node, 3> firstThreeChildNodes(const pugi::xml_node& element)
{
    std::array<pugi::xml_node, 3> nodes{};
    std::size_t i = 0;
    for (pugi::xml_node c = element.first_child(); c && i < nodes.size(); c = c.next_sibling())
        if (c.type() == pugi::node_element || isText(c))
            nodes[i++] = c;
    return nodes;
}

ChannelRow readChannel(const pugi::xml_node& element)
{
    ChannelRow row;
    pugi::xml_attribute id = element.attribute("id");
    if (!id)
        id = element.first_attribute();
    row.channelid = attributeText(id);
    const auto nodes = firstThreeChildNodes(element);
    row.channelname = nodeText(nodes[0]);
    row.channelnum = nodeText(nodes[2]);

    const pugi::xml_attribute source = nodes[2].first_attribute();
    const QString sourceText = attributeText(source);
    if (source && sourceText.size() >= IconPrefixLength) {
        row.icon = plainLogoName(sourceText.mid(IconPrefixLength));
    } else {
        // Most files carry the logo as <icon src="...">; its file name is the logo's name.
        const QString name = plainLogoName(attributeText(element.child("icon").attribute("src")));
        row.icon = name.isEmpty() ? QStringLiteral("empty.jpg") : name;
    }
    return row;
}

// Reads stamp attributes with parseStamp(), remembering the results: a day file repeats the same
// few hundred stamps across all of its channels, and reading one costs more than the rest of the
// row. Bounded, so that a file of all-different stamps does not make it grow without end.
class StampReader
{
public:
    explicit StampReader(const QTimeZone& zone) : m_zone(zone) {}

    std::optional<StampParts> read(const pugi::xml_attribute& attribute)
    {
        const char* value = attribute.value();
        const auto length = qsizetype(std::strlen(value));
        const auto known = m_known.constFind(QByteArray::fromRawData(value, length));
        if (known != m_known.cend())
            return *known;
        const std::optional<StampParts> parts =
            parseStamp(attributeText(attribute).trimmed(), m_zone);
        if (m_known.size() >= MaxKnown)
            m_known.clear();
        m_known.insert(QByteArray(value, length), parts);
        return parts;
    }

private:
    static constexpr qsizetype MaxKnown = 4096;
    const QTimeZone& m_zone;
    QHash<QByteArray, std::optional<StampParts>> m_known;
};

// ---- reading without the whole tree ----------------------------------------------------------
//
// The tree of a large day file takes more than twice the file's size, and building it costs more
// than reading its rows. So an import reads the listings root's content in pieces: the file's top
// level is outlined here (the prolog, the root's start tag, each element directly under the root,
// the root's end tag and what follows it) without parsing, and the parser builds the tree of about
// a megabyte of whole elements at a time. The parser still checks every byte: the prolog with the
// root's start tag (closed at once), each piece, and the end. Where the outline does not follow the
// text (anything it does not expect), it gives up, and the whole-tree reading decides.

constexpr std::size_t NotFound = std::string_view::npos;
// U+FEFF in UTF-8, which QString::fromUtf8() drops at the start of a text.
constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t PieceBytes = std::size_t(1) << 20;

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameStart(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u >= 0x80;
}

// The index just after the first `end` at or after `from`, or NotFound.
std::size_t after(std::string_view text, std::size_t from, std::string_view end)
{
    const std::size_t at = text.find(end, from);
    return at == NotFound ? NotFound : at + end.size();
}

// The index just after the '>' of the start tag at `at`, quoted values passed over; NotFound when
// the tag does not end (or holds a '<' outside quotes, which the parser refuses anyway).
std::size_t startTagEnd(std::string_view text, std::size_t at, bool& empty)
{
    char quote = 0;
    for (std::size_t k = at + 1; k < text.size(); ++k) {
        const char c = text[k];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            empty = text[k - 1] == '/';
            return k + 1;
        } else if (c == '<') {
            return NotFound;
        }
    }
    return NotFound;
}

// The index just after what starts with "<!--", "<![CDATA[" or "<?" at `at`; `at` itself when
// none of them starts there; NotFound when it does not end.
std::size_t skipMarkup(std::string_view text, std::size_t at)
{
    const std::string_view rest = text.substr(at);
    if (rest.starts_with("<!--"))
        return after(text, at + 4, "-->");
    if (rest.starts_with("<![CDATA["))
        return after(text, at + 9, "]]>");
    if (rest.starts_with("<?"))
        return after(text, at + 2, "?>");
    return at;
}

// The index just after the DOCTYPE declaration at `at`, its internal subset included.
std::size_t doctypeEnd(std::string_view text, std::size_t at)
{
    char quote = 0;
    int brackets = 0;
    for (std::size_t k = at + 9; k < text.size(); ++k) {
        const char c = text[k];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '<' && brackets > 0) {
            const std::size_t skipped = skipMarkup(text, k);
            if (skipped == NotFound)
                return NotFound;
            if (skipped != k)
                k = skipped - 1;
        } else if (c == '[') {
            ++brackets;
        } else if (c == ']') {
            --brackets;
        } else if (c == '>' && brackets == 0) {
            return k + 1;
        }
    }
    return NotFound;
}

// The first element nested more than `limit` levels deep under `top` (whose children are level
// 1), or null; walked without recursion.
pugi::xml_node deeperThan(const pugi::xml_node& top, int limit)
{
    int depth = 0;
    pugi::xml_node cur = top;
    for (;;) {
        if (const pugi::xml_node child = cur.first_child()) {
            cur = child;
            ++depth;
        } else {
            while (cur != top && !cur.next_sibling()) {
                cur = cur.parent();
                --depth;
            }
            if (cur == top)
                return {};
            cur = cur.next_sibling();
        }
        if (depth > limit && cur.type() == pugi::node_element)
            return cur;
    }
}

// Parses `text` as a fragment into `document`, through `buffer` (the parser writes into the text
// it parses). False when the parser refuses it.
bool parsePiece(std::string_view text, pugi::xml_document& document, std::vector<char>& buffer)
{
    buffer.assign(text.begin(), text.end());
    buffer.push_back('\0');
    return bool(document.load_buffer_inplace(buffer.data(), buffer.size(),
                                             pugi::parse_default | pugi::parse_fragment,
                                             pugi::encoding_utf8));
}

// A text that the whole-tree reading gives back as it stands: not empty, no control character,
// no white space at either end and none but single blanks inside (Unicode spaces included, which
// it collapses too).
bool isPlainText(std::string_view text)
{
    // A leading U+FEFF is read as a byte-order mark and dropped: not a text taken as it stands.
    if (text.empty() || text.front() == ' ' || text.back() == ' ' || text.starts_with(Utf8Bom))
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    constexpr std::uint64_t High = 0x8080808080808080ULL;
    constexpr std::uint64_t Low = 0x7F7F7F7F7F7F7F7FULL;
    constexpr std::uint64_t Blanks = 0x2020202020202020ULL;
    std::size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time: every byte a printable character (no byte below 0x20,
        // none 0x7F) and no two blanks in a row, within the word or across its end. Each byte's
        // sum stays below 0x100, so no byte carries into the next.
        std::uint64_t w = 0;
        if (i + 8 <= n && (std::memcpy(&w, p + i, 8), (w & High) == 0)) {
            if ((~(w + 0x6060606060606060ULL) & High) || ((w + 0x0101010101010101ULL) & High))
                return false;
            const std::uint64_t t = w ^ Blanks;
            const std::uint64_t blanks = ~(((t & Low) + Low) | t | Low); // 0x80 at each blank
            if ((blanks & (blanks << 8)) || ((blanks >> 63) && p[i + 8] == ' '))
                return false;
            i += 8;
            continue;
        }
        const std::size_t end = std::min(n, i + 8);
        for (; i < end; ++i) {
            const unsigned char c = p[i];
            if (c < 0x80) {
                if (c < 0x20 || c == 0x7F || (c == ' ' && p[i + 1] == ' '))
                    return false;
                continue;
            }
            // U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
            const unsigned char c1 = i + 1 < n ? p[i + 1] : 0;
            const unsigned char c2 = i + 2 < n ? p[i + 2] : 0;
            if ((c == 0xC2 && (c1 == 0x85 || c1 == 0xA0)) ||
                (c == 0xE1 && c1 == 0x9A && c2 == 0x80) ||
                (c == 0xE2 && c1 == 0x80 &&
                 (c2 <= 0x8A || c2 == 0xA8 || c2 == 0xA9 || c2 == 0xAF)) ||
                (c == 0xE2 && c1 == 0x81 && c2 == 0x9F) || (c == 0xE3 && c1 == 0x80 && c2 == 0x80))
                return false;
        }
    }
    return true;
}

// nodeText() in UTF-8: the node's own text when it is plain, else the collapsed text kept in
// `buffer`.
std::string_view nodeUtf8(const pugi::xml_node& node, std::string& buffer)
{
    if (!node)
        return {};
    const pugi::xml_node single =
        isText(node)
            ? node
            : (isText(node.first_child()) && !node.first_child().next_sibling() ? node.first_child()
                                                                                : pugi::xml_node());
    if (single) {
        const std::string_view value = single.value();
        if (isPlainText(value))
            return value;
    }
    buffer = nodeText(node).toStdString();
    return buffer;
}

// attributeText() in UTF-8.
std::string_view attributeUtf8(const pugi::xml_attribute& attribute, std::string& buffer)
{
    const std::string_view value = attribute.value();
    if (!value.starts_with(Utf8Bom) && std::none_of(value.begin(), value.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        }))
        return value;
    buffer = attributeText(attribute).toStdString();
    return buffer;
}

// The description's cut: at most 255 UTF-16 units, never half a surrogate pair.
std::string_view cutUtf8(std::string_view text)
{
    if (text.size() <= std::size_t(DescriptionLength))
        return text;
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        const std::size_t width = length == 4 ? 2 : 1;
        if (units + width > std::size_t(DescriptionLength))
            break;
        units += width;
        i += length;
    }
    return text.substr(0, i);
}

// The texts of one programme element as ProgrammeText takes them, with the buffers behind them.
class ProgrammeReader
{
public:
    explicit ProgrammeReader(const QTimeZone& zone) : m_stamps(zone) {}

    // Fills `row` from a programme element; false when its start cannot be read. The texts live
    // until the next call.
    bool read(const pugi::xml_node& element, ProgrammeText& row, bool& unreadableStop)
    {
        unreadableStop = false;
        pugi::xml_attribute start, stop, channel;
        for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
            const char* name = a.name();
            if (!start && std::strcmp(name, "start") == 0)
                start = a;
            else if (!stop && std::strcmp(name, "stop") == 0)
                stop = a;
            else if (!channel && std::strcmp(name, "channel") == 0)
                channel = a;
        }
        const auto begins = m_stamps.read(start);
        if (!begins)
            return false;
        row.startdate = begins->date;
        row.starttime = begins->time;
        row.enddate = begins->date;
        row.endtime = QTime(23, 59, 0);
        if (stop) {
            if (const auto ends = m_stamps.read(stop)) {
                row.enddate = ends->date;
                row.endtime = ends->time;
            } else {
                unreadableStop = true;
            }
        }
        // The first child element of each name, in one pass over the children.
        pugi::xml_node title, subtitle, desc, category, rating;
        bool rerun = false;
        for (pugi::xml_node c = element.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element)
                continue;
            const char* name = c.name();
            const auto take = [&](pugi::xml_node& slot, const char* wanted) {
                if (!slot && std::strcmp(name, wanted) == 0)
                    slot = c;
            };
            switch (name[0]) {
            case 't':
                take(title, "title");
                break;
            case 's':
                take(subtitle, "sub-title");
                break;
            case 'd':
                take(desc, "desc");
                break;
            case 'c':
                take(category, "category");
                break;
            case 'r':
                take(rating, "rating");
                break;
            case 'p':
                rerun = rerun || std::strcmp(name, "previously-shown") == 0;
                break;
            default:
                break;
            }
        }
        row.channel = attributeUtf8(channel, m_buffers[0]);
        row.title = nodeUtf8(title, m_buffers[1]);
        row.subtitle = nodeUtf8(subtitle, m_buffers[2]);
        row.description = cutUtf8(nodeUtf8(desc, m_buffers[3]));
        row.category = nodeUtf8(category, m_buffers[4]);
        row.rating = nodeUtf8(rating.child("value"), m_buffers[5]);
        row.rerun = rerun;
        return true;
    }

private:
    StampReader m_stamps;
    std::array<std::string, 6> m_buffers;
};

// Reads each channel and programme element directly under `top` into `sink`, in document order,
// counting them into `counts`; `tick` (when given) runs after each. With `consume`, each node is
// removed from the tree once read: every row reads only its own element, and the tree of a week
// of listings is several times the size of its rows, so handing its memory back as the rows
// grow keeps the peak near the tree alone instead of the tree plus all the rows.
void readElements(pugi::xml_node top, ProgrammeReader& programmes, const ListingsSink& sink,
                  StreamedListings& counts, const std::function<void()>& tick, bool consume)
{
    ProgrammeText row;
    pugi::xml_node next;
    for (pugi::xml_node n = top.first_child(); n; n = next) {
        next = n.next_sibling();
        const bool element = n.type() == pugi::node_element;
        if (element && std::strcmp(n.name(), "channel") == 0) {
            ++counts.channels;
            sink.channel(readChannel(n));
        } else if (element && std::strcmp(n.name(), "programme") == 0) {
            bool unreadableStop = false;
            if (programmes.read(n, row, unreadableStop)) {
                ++counts.programmes;
                sink.programme(row);
            } else {
                ++counts.skippedProgrammes;
            }
            if (unreadableStop)
                ++counts.unreadableStops;
        } else {
            if (consume)
                top.remove_child(n);
            continue;
        }
        if (consume)
            top.remove_child(n);
        if (tick)
            tick();
    }
}

// Reads the pieces of the listings root's content in turn; see streamListings().
class PieceReader
{
public:
    PieceReader(const QTimeZone& zone, const ListingsSink& sink, StreamedListings& counts)
        : m_programmes(zone), m_sink(sink), m_counts(counts)
    {
    }

    // Reads the piece text[from, to), which must hold whole elements (and what lies between them)
    // of the root's content. The parser works inside the text, which it changes; the byte at `to`
    // is lent to it as its end mark meanwhile. False when the parser refuses the piece or it
    // nests too deep.
    bool read(char* text, std::size_t from, std::size_t to)
    {
        if (to <= from)
            return true;
        // The parser takes a DOCTYPE at a piece's top level, which inside the root it refuses:
        // such a piece is left to the whole tree, which says so.
        if (std::string_view(text + from, to - from).find("<!DOCTYPE") != NotFound)
            return false;
        const char lent = text[to];
        text[to] = '\0';
        const bool parsed = bool(m_document.load_buffer_inplace(
            text + from, to - from + 1, pugi::parse_default | pugi::parse_fragment,
            pugi::encoding_utf8));
        // The piece's top level is the root's children: level 2 of the document.
        const bool ok = parsed && !deeperThan(m_document, XmltvMaxDepth - 1);
        if (ok)
            readElements(m_document, m_programmes, m_sink, m_counts, {}, false);
        m_document.reset();
        text[to] = lent;
        return ok;
    }

private:
    ProgrammeReader m_programmes;
    const ListingsSink& m_sink;
    StreamedListings& m_counts;
    pugi::xml_document m_document;
};

// Lets the event loop run about every 30 ms of work; the clock is only looked at every 256
// steps, so the per-row cost stays a counter increment.
class Yielder
{
public:
    explicit Yielder(const std::function<void()>& yield) : m_yield(yield) { m_timer.start(); }
    void tick()
    {
        if (!m_yield || (++m_steps & 0xFF) != 0)
            return;
        if (m_timer.elapsed() >= 30) {
            m_yield();
            m_timer.restart();
        }
    }

private:
    const std::function<void()>& m_yield;
    QElapsedTimer m_timer;
    unsigned m_steps = 0;
};

// The rows of the listings root (see readElements()).
XmltvListings readRows(pugi::xml_node root, const QTimeZone& zone,
                       const std::function<void()>& tick, bool consume)
{
    XmltvListings out;
    std::size_t programmeElements = 0;
    for (pugi::xml_node n = root.child("programme"); n; n = n.next_sibling("programme"))
        ++programmeElements;
    out.programmes.reserve(programmeElements);
    ProgrammeReader programmes(zone);
    StreamedListings counts;
    const ListingsSink sink{
        [&](const ChannelRow& channel) { out.channels.push_back(channel); },
        [&](const ProgrammeText& programme) { out.programmes.push_back(programmeRow(programme)); }};
    readElements(root, programmes, sink, counts, tick, consume);
    out.skippedProgrammes = counts.skippedProgrammes;
    out.unreadableStops = counts.unreadableStops;
    return out;
}

// The first element nested more than XmltvMaxDepth levels deep (the root element is level 1),
// or null. Walked without recursion; the parser builds its tree without recursion too, and the
// whole tree is freed page by page. Only taking single elements out of the tree (as readRows()
// does) recurses into their content, which this limit keeps shallow.
pugi::xml_node tooDeep(const pugi::xml_document& document)
{
    return deeperThan(document, XmltvMaxDepth);
}

// The same checks of the top level as loadXmltv(), answering only whether all is well.
bool isListingsDocument(const pugi::xml_document& document)
{
    pugi::xml_node root;
    for (pugi::xml_node n = document.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element && !root)
            root = n;
        else if (n.type() == pugi::node_element || isText(n))
            return false;
    }
    return root && std::strcmp(root.name(), "tv") == 0 && !tooDeep(document);
}

// Why a file that loads is no day's listings, in the viewer's words.
struct DayRefusal
{
    ImportResult::Status status;
    QString problem;
};

// Loads a decoded day file like loadXmltv(), but lets the parser work inside the text instead of
// a copy of it, so that a large file is not held twice while its tree is built. The tree points
// into `text`, which must outlive it. Gives no document when anything is wrong: the parser has
// then changed the text, which can no longer show where the fault is, so the caller loads the
// file again the ordinary way for the report.
std::unique_ptr<pugi::xml_document> loadInPlace(Decoded decoded, QByteArray& text)
{
    if (decoded.error.code != 0)
        return nullptr;
    text = std::move(decoded.utf8);
    // Nothing to parse (a byte-order mark alone): an empty text may live in read-only memory,
    // where the parser's end mark cannot go. The ordinary load tells what is wrong.
    if (text.isEmpty())
        return nullptr;
    auto doc = std::make_unique<pugi::xml_document>();
    // The parser takes the last byte of its buffer for its own end mark: the text's terminating
    // NUL goes with it, or a last character of text after the root would be lost unseen.
    if (!doc->load_buffer_inplace(text.data(), std::size_t(text.size()) + 1,
                                  pugi::parse_default | pugi::parse_fragment,
                                  pugi::encoding_utf8) ||
        !isListingsDocument(*doc))
        return nullptr;
    return doc;
}

XmltvLoadError cannotRead(const QString& reason)
{
    return makeError(XmltvLoadError::CannotRead, reason);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A day file opened for reading. Only a regular file is read: a FIFO or a device under the day
// file's name would block the read or never end. It is opened without blocking (it may have
// been replaced by a FIFO since it was looked at) and checked again once open.
class DayFile
{
public:
    explicit DayFile(const QString& path)
    {
        const QByteArray name = QFile::encodeName(path);
        struct stat info = {};
        if (::stat(name.constData(), &info) != 0) {
            m_error =
                cannotRead(QStringLiteral("Cannot read the file: %1").arg(systemError(errno)));
            return;
        }
        if (!S_ISREG(info.st_mode)) {
            m_error = notRegular();
            return;
        }
        m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0) {
            m_error =
                cannotRead(QStringLiteral("Cannot read the file: %1").arg(systemError(errno)));
            return;
        }
        if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode))
            m_error = notRegular();
        else
            m_sizeHint = info.st_size;
    }
    ~DayFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    DayFile(const DayFile&) = delete;
    DayFile& operator=(const DayFile&) = delete;

    // The whole file from its start. What counts is what is read, not the size the file had
    // when it was opened: it may still be growing.
    XmltvLoadError read(qint64 maxBytes, QByteArray& bytes) const
    {
        bytes = QByteArray();
        if (m_error.code != 0)
            return m_error;
        constexpr qint64 Chunk = qint64(1) << 20;
        bytes.reserve(qsizetype(qBound(qint64(0), m_sizeHint, maxBytes) + 1));
        for (;;) {
            const qsizetype at = bytes.size();
            const qint64 want = qMin(Chunk, maxBytes + 1 - at);
            bytes.resize(at + qsizetype(want));
            const ssize_t got = ::pread(m_fd, bytes.data() + at, std::size_t(want), off_t(at));
            const int error = errno;
            bytes.resize(at + qMax(ssize_t(0), got));
            if (got < 0 && error == EINTR)
                continue;
            if (got < 0) {
                bytes = QByteArray();
                return cannotRead(
                    QStringLiteral("Cannot read the file: %1").arg(systemError(error)));
            }
            if (got == 0)
                return {};
            if (bytes.size() > maxBytes) {
                bytes = QByteArray();
                return cannotRead(
                    QStringLiteral("The file holds more than %1 bytes.").arg(maxBytes));
            }
        }
    }

private:
    static XmltvLoadError notRegular()
    {
        return cannotRead(QStringLiteral("It is not a regular file."));
    }

    int m_fd = -1;
    qint64 m_sizeHint = 0;
    XmltvLoadError m_error;
};

// Renames `path` to `path`.rejected, replacing an older one. Returns the reason when that fails.
QString setAside(const QString& path, QString* aside)
{
    *aside = path + QStringLiteral(".rejected");
    const QByteArray to = QFile::encodeName(*aside);
    struct stat old = {};
    if (::lstat(to.constData(), &old) == 0)
        S_ISDIR(old.st_mode) ? ::rmdir(to.constData()) : ::unlink(to.constData());
    if (::rename(QFile::encodeName(path).constData(), to.constData()) != 0)
        return QStringLiteral("%1: %2").arg(*aside, systemError(errno));
    return {};
}

// "2026-12-08, 2026-12-09"; a long list is cut after a week's worth.
QString dateList(const std::set<QDate>& dates)
{
    QStringList texts;
    for (const QDate date : dates) {
        if (texts.size() == 7) {
            texts << QStringLiteral("...");
            break;
        }
        texts << date.toString(Qt::ISODate);
    }
    return texts.join(QStringLiteral(", "));
}

// After an import, the grabber's leftovers go: day files (and set-aside ones) of days before
// yesterday, except the day just imported, and every unsorted copy. They take tens of
// megabytes a day with many channels.
void removeOldDayFiles(const QString& xmltvFolder, QDate today, QDate imported)
{
    static const QRegularExpression dayFile(QStringLiteral(R"(^(\d{8})\.xml(\.rejected)?$)"));
    const QDir dir(xmltvFolder);
    const QDate yesterday = today.addDays(-1);
    for (const QString& entry : dir.entryList(QDir::Files | QDir::System | QDir::Hidden)) {
        bool old = entry.startsWith(QLatin1String("unsorted"));
        if (const auto m = dayFile.match(entry); m.hasMatch()) {
            const QDate date = QDate::fromString(m.captured(1), QStringLiteral("yyyyMMdd"));
            old = date.isValid() && date < yesterday &&
                  (date != imported || !m.captured(2).isEmpty());
        }
        if (old)
            QFile::remove(dir.filePath(entry));
    }
}

// importInProgress is true from the start of an import to every way out of it.
class InProgress
{
public:
    explicit InProgress(AppState& state) : m_state(state) { m_state.importInProgress = true; }
    ~InProgress() { m_state.importInProgress = false; }
    InProgress(const InProgress&) = delete;
    InProgress& operator=(const InProgress&) = delete;

private:
    AppState& m_state;
};

} // namespace

// ---- public --------------------------------------------------------------------------------

QString XmltvLoadError::report() const
{
    return QStringLiteral("Your XML Document failed to load due the following error.\n"
                          "Error #: %1: %2\n"
                          "Line #: %3\n"
                          "Line Position: %4\n"
                          "Position In File: %5\n"
                          "Source Text: %6\n"
                          "Document URL: %7")
        .arg(QString::number(code), reason, QString::number(line), QString::number(linePosition),
             QString::number(filePosition), sourceText, documentUrl);
}

XmltvDocument::XmltvDocument() = default;
XmltvDocument::XmltvDocument(XmltvDocument&&) noexcept = default;
XmltvDocument& XmltvDocument::operator=(XmltvDocument&&) noexcept = default;
XmltvDocument::~XmltvDocument() = default;

XmltvDocument loadXmltv(const QByteArray& bytes, const QString& documentUrl)
{
    XmltvDocument result;
    Decoded decoded = decode(bytes);
    if (decoded.error.code != 0) {
        result.error = decoded.error;
        result.error.documentUrl = documentUrl;
        return result;
    }
    const QByteArray& text = decoded.utf8;

    auto doc = std::make_unique<pugi::xml_document>();
    // The default options leave DOCTYPE content unparsed and entities other than the five
    // predefined ones unexpanded. As a fragment the parser keeps text outside the root, so that
    // it can be refused below instead of being dropped silently.
    const pugi::xml_parse_result parsed =
        doc->load_buffer(text.constData(), std::size_t(text.size()),
                         pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
    XmltvLoadError& e = result.error;
    e.documentUrl = documentUrl;
    if (!parsed) {
        e.code = int(parsed.status);
        e.reason = QString::fromUtf8(parsed.description());
        locate(e, text, qsizetype(parsed.offset));
        return result;
    }

    pugi::xml_node root;
    for (pugi::xml_node n = doc->first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element && !root) {
            root = n;
            continue;
        }
        if (n.type() == pugi::node_element || isText(n)) {
            e.code = XmltvLoadError::ExtraTopLevelContent;
            e.reason = n.type() == pugi::node_element
                           ? QStringLiteral("Only one top level element is allowed.")
                           : QStringLiteral("Text is not allowed outside the root element.");
            // Text nodes start with the line break before the text; point at the text.
            qsizetype at = qMax(qsizetype(0), qsizetype(n.offset_debug()));
            while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
                ++at;
            locate(e, text, at);
            return result;
        }
    }
    if (!root) {
        e.code = XmltvLoadError::NoRootElement;
        e.reason = QStringLiteral("No document element found.");
        locate(e, text, text.size());
        return result;
    }
    if (std::strcmp(root.name(), "tv") != 0) {
        e.code = XmltvLoadError::NotListings;
        e.reason = QStringLiteral("The root element is <%1>, not <tv>.")
                       .arg(QString::fromUtf8(root.name()));
        locate(e, text, qMax(qsizetype(0), qsizetype(root.offset_debug())));
        return result;
    }
    if (const pugi::xml_node deep = tooDeep(*doc)) {
        e.code = XmltvLoadError::TooDeep;
        e.reason =
            QStringLiteral("Elements are nested more than %1 levels deep.").arg(XmltvMaxDepth);
        // The offset of an element is that of its name, just after the '<'.
        locate(e, text, qMax(qsizetype(0), qsizetype(deep.offset_debug()) - 1));
        return result;
    }
    result.document = std::move(doc);
    result.error = XmltvLoadError{};
    return result;
}

XmltvListings readListings(const pugi::xml_document& document, const QTimeZone& zone,
                           const std::function<void()>& tick)
{
    return readRows(document.document_element(), zone, tick, false);
}

std::optional<XmltvListings> parseXmltv(const QByteArray& bytes, const QTimeZone& zone,
                                        XmltvLoadError* error)
{
    XmltvDocument doc = loadXmltv(bytes);
    if (!doc.ok()) {
        if (error)
            *error = doc.error;
        return std::nullopt;
    }
    return readListings(*doc.document, zone);
}

std::optional<StreamedListings> streamListings(QByteArray bytes, const QTimeZone& zone,
                                               const ListingsSink& sink)
{
    char* data = bytes.data();
    const std::string_view text(data, std::size_t(bytes.size()));
    StreamedListings counts;
    pugi::xml_document check;
    std::vector<char> buffer;

    // The prolog: declaration, comments, processing instructions, the DOCTYPE; then the root.
    std::size_t at = 0;
    for (;;) {
        while (at < text.size() && isXmlSpace(text[at]))
            ++at;
        if (at >= text.size() || text[at] != '<')
            return std::nullopt;
        if (const std::size_t skipped = skipMarkup(text, at); skipped != at) {
            if (skipped == NotFound)
                return std::nullopt;
            at = skipped;
        } else if (text.substr(at).starts_with("<!DOCTYPE")) {
            at = doctypeEnd(text, at);
            if (at == NotFound)
                return std::nullopt;
        } else if (at + 1 < text.size() && isNameStart(text[at + 1])) {
            break;
        } else {
            return std::nullopt;
        }
    }
    std::size_t nameEnd = at + 1;
    while (nameEnd < text.size() && !isXmlSpace(text[nameEnd]) && text[nameEnd] != '>' &&
           text[nameEnd] != '/')
        ++nameEnd;
    const std::string rootName(text.substr(at + 1, nameEnd - at - 1));
    bool empty = false;
    const std::size_t contentStart = startTagEnd(text, at, empty);
    if (contentStart == NotFound)
        return std::nullopt;
    // The prolog and the root's start tag, closed at once, must make a listings document.
    {
        std::string head(text.substr(0, contentStart));
        if (!empty)
            head += "</" + rootName + ">";
        if (!parsePiece(head, check, buffer) || !isListingsDocument(check))
            return std::nullopt;
        check.reset();
    }

    // The root's end tag is its name's last end tag: whatever the text holds after it must be
    // comments, processing instructions and white space, which the parser checks.
    std::size_t contentEnd = contentStart; // where the root's end tag starts
    std::size_t end = contentStart;        // just after it
    if (!empty) {
        contentEnd = text.rfind("</" + rootName);
        if (contentEnd == NotFound || contentEnd < contentStart)
            return std::nullopt;
        end = contentEnd + 2 + rootName.size();
        while (end < text.size() && isXmlSpace(text[end]))
            ++end;
        if (end >= text.size() || text[end] != '>')
            return std::nullopt;
        ++end;
    }
    if (end < text.size()) {
        if (!parsePiece(text.substr(end), check, buffer))
            return std::nullopt;
        for (pugi::xml_node n = check.first_child(); n; n = n.next_sibling())
            if (n.type() == pugi::node_element || isText(n))
                return std::nullopt;
        check.reset();
    }

    // The content in pieces of about a megabyte, each ending just after a programme's end tag.
    // Should such a tag not end an element directly under the root (it closes a deeper one, or
    // lies in a comment, a CDATA section or a value), the pieces on either side of it hold an
    // element or a construct that does not end, which the parser refuses.
    PieceReader pieces(zone, sink, counts);
    static constexpr std::string_view ProgrammeEnd = "</programme>";
    std::size_t piece = contentStart;
    while (piece < contentEnd) {
        std::size_t to = contentEnd;
        if (contentEnd - piece > PieceBytes) {
            const std::size_t found = text.find(ProgrammeEnd, piece + PieceBytes);
            if (found != NotFound && found + ProgrammeEnd.size() < contentEnd)
                to = found + ProgrammeEnd.size();
        }
        if (!pieces.read(data, piece, to))
            return std::nullopt;
        piece = to;
    }
    return counts;
}

QString programsFoundText(int count)
{
    return QString::number(count) + QStringLiteral(" programs found.");
}

QString loadFailedText()
{
    return QStringLiteral("Program timed out.");
}

QString plainLogoName(const QString& reference)
{
    if (reference.isEmpty())
        return {};
    QString s = reference;
    static const QRegularExpression queryOrFragment(QStringLiteral("[?#]"));
    const qsizetype cut = s.indexOf(queryOrFragment);
    if (cut >= 0)
        s.truncate(cut);
    s = s.mid(qMax(s.lastIndexOf(QLatin1Char('/')), s.lastIndexOf(QLatin1Char('\\'))) + 1);
    s.removeIf(isControl);
    s = s.trimmed();
    if (s.isEmpty() || s == QLatin1String(".") || s == QLatin1String(".."))
        return QStringLiteral("empty.jpg");
    return s;
}

ImportResult getListings(const QDateTime& theDate, ListingsStore& store, AppState& state,
                         const ProgramFolder& folder, const Clock& clock, const ImportHooks& hooks,
                         const ImportLimits& limits)
{
    ImportResult r;
    if (state.importInProgress) {
        r.status = ImportResult::Status::Busy;
        return r;
    }
    const InProgress inProgress(state);
    if (hooks.started)
        hooks.started(theDate);

    auto fail = [&](ImportResult::Status status, const QString& message) {
        r.status = status;
        r.message = message;
        state.loadErrorText = message;
        return r;
    };
    // A file that cannot give the day's listings is moved aside, so that the next attempt finds
    // the day file missing and fetches it again instead of failing on the same file for good.
    auto refuse = [&](ImportResult::Status status, const QString& problem) {
        QString aside;
        const QString error = setAside(r.file, &aside);
        if (error.isEmpty()) {
            r.setAside = aside;
            return fail(status,
                        QStringLiteral("%1\n%2 It was moved aside to %3; the day will be fetched "
                                       "again.")
                            .arg(loadFailedText(), problem, QFileInfo(aside).fileName()));
        }
        return fail(status, QStringLiteral("%1\n%2 It could not be moved aside: %3")
                                .arg(loadFailedText(), problem, error));
    };

    if (!theDate.isValid())
        return fail(ImportResult::Status::Failed, QStringLiteral("No valid date to import."));
    const QDate day = theDate.date();
    const auto imported = [&] {
        r.status = ImportResult::Status::Imported;
        r.recordedDate = day;
        state.fetchPending = false;
        removeOldDayFiles(folder.xmltvFolder(), clock.now().date(), day);
        return r;
    };
    const int n = dayNumber(day);
    const QString name = dayFileName(day);
    r.file = QDir(folder.xmltvFolder()).filePath(name);

    // Only a file that is not there at all asks for the grabber. Anything else under that name
    // (a dangling link, a folder, a FIFO) is a file that cannot be used.
    struct stat entry = {};
    if (::lstat(QFile::encodeName(r.file).constData(), &entry) != 0 && errno == ENOENT) {
        fail(ImportResult::Status::FetchRequested, loadFailedText());
        if (hooks.fetchMissingDay)
            hooks.fetchMissingDay(theDate);
        return r;
    }

    const QString url = QUrl::fromLocalFile(r.file).toString();
    Yielder yielder(hooks.yield);
    const auto tick = [&yielder] { yielder.tick(); };
    // The file must hold the day it is named after (an empty grab or another day's file must not
    // pass for the day's listings); its other rows (a grabber that pads the day or cuts it at
    // another zone's midnight) are stored along with them.
    const auto refusal = [&](int programmes,
                             const std::set<QDate>& dates) -> std::optional<DayRefusal> {
        if (programmes == 0)
            return DayRefusal{
                ImportResult::Status::NoProgrammes,
                QStringLiteral("%1 holds no programme with a readable start time.").arg(name)};
        if (!dates.count(day))
            return DayRefusal{ImportResult::Status::OtherDays,
                              QStringLiteral("%1 holds the listings of %2, not of %3.")
                                  .arg(name, dateList(dates), day.toString(Qt::ISODate))};
        return std::nullopt;
    };

    DayFile file(r.file);
    XmltvDocument doc;
    QByteArray text; // the tree's texts when it was parsed in place
    {
        QByteArray bytes;
        doc.error = file.read(limits.maxFileBytes, bytes);
        Decoded decoded;
        if (doc.error.code == 0) {
            decoded = decode(bytes);
            bytes = QByteArray(); // for UTF-8 the decoded text shares these bytes
        }
        // The usual way: the rows go into the store as the file is read, a piece at a time, in
        // one unit of the store that a refusal rolls back. A file that this reading cannot vouch
        // for is read again whole below, which tells what is wrong with it.
        if (doc.error.code == 0 && decoded.error.code == 0 && !decoded.utf8.isEmpty()) {
            struct NotPiecewise
            {
            };
            StreamedListings counts;
            try {
                std::set<QDate> dates;
                store.replaceDay(n, day, [&](ListingsStore::DayWriter& writer) {
                    QDate lastDate;
                    const ListingsSink sink{[&](const ChannelRow& channel) {
                                                writer.addChannel(channel);
                                                yielder.tick();
                                            },
                                            [&](const ProgrammeText& programme) {
                                                writer.addProgramme(programme);
                                                if (programme.startdate != lastDate) {
                                                    lastDate = programme.startdate;
                                                    dates.insert(lastDate);
                                                }
                                                if (hooks.progress)
                                                    hooks.progress(writer.programmesStored());
                                                yielder.tick();
                                            }};
                    const std::optional<StreamedListings> read =
                        streamListings(std::move(decoded.utf8), clock.zone(), sink);
                    if (!read)
                        throw NotPiecewise{};
                    counts = *read;
                    if (std::optional<DayRefusal> refused = refusal(counts.programmes, dates))
                        throw *refused;
                });
                r.channels = counts.channels;
                r.programmes = counts.programmes;
                r.skippedProgrammes = counts.skippedProgrammes;
                r.unreadableStops = counts.unreadableStops;
                return imported();
            } catch (const NotPiecewise&) {
                // The pieces were read inside the text; the whole tree needs it afresh.
                doc.error = file.read(limits.maxFileBytes, bytes);
                if (doc.error.code == 0) {
                    decoded = decode(bytes);
                    bytes = QByteArray();
                }
            } catch (const DayRefusal& refused) {
                r.channels = counts.channels;
                r.programmes = counts.programmes;
                r.skippedProgrammes = counts.skippedProgrammes;
                r.unreadableStops = counts.unreadableStops;
                return refuse(refused.status, refused.problem);
            } catch (const StoreError& e) {
                return fail(ImportResult::Status::Failed, e.message());
            }
        }
        if (doc.error.code == 0) {
            doc.document = loadInPlace(std::move(decoded), text);
            // A faulty file is read again through the open file (the same file, even if the
            // grabber has meanwhile renamed a new one into place) for the exact report.
            if (!doc.document) {
                text = QByteArray();
                doc.error = file.read(limits.maxFileBytes, bytes);
                if (doc.error.code == 0)
                    doc = loadXmltv(bytes, url);
            }
        }
    }
    doc.error.documentUrl = url;
    if (!doc.ok()) {
        r.report = doc.error.report();
        qWarning().noquote() << r.report;
        const QString where = doc.error.line > 0 ? QStringLiteral(" (line %1, position %2)")
                                                       .arg(doc.error.line)
                                                       .arg(doc.error.linePosition)
                                                 : QString();
        QString reason = doc.error.reason;
        if (!reason.endsWith(QLatin1Char('.')))
            reason += QLatin1Char('.'); // the parser's own texts have no full stop
        return refuse(ImportResult::Status::NotWellFormed,
                      QStringLiteral("%1 cannot be used%2: %3").arg(name, where, reason));
    }

    const XmltvListings listings =
        readRows(doc.document->document_element(), clock.zone(), tick, true);
    // The rows hold everything now; free the tree and its text before the writes.
    doc.document.reset();
    text = QByteArray();
    r.channels = int(listings.channels.size());
    r.programmes = int(listings.programmes.size());
    r.skippedProgrammes = listings.skippedProgrammes;
    r.unreadableStops = listings.unreadableStops;
    std::set<QDate> dates;
    for (const ProgrammeRow& programme : listings.programmes)
        dates.insert(programme.startdate);
    if (std::optional<DayRefusal> refused = refusal(r.programmes, dates))
        return refuse(refused->status, refused->problem);

    try {
        // One unit of the store: the whole day or, on any failure, the old one untouched. The
        // events keep running on the time budget while the rows go in.
        store.replaceDay(n, day, listings.channels, listings.programmes, [&](int stored) {
            if (stored > 0 && hooks.progress)
                hooks.progress(stored);
            yielder.tick();
        });
    } catch (const StoreError& e) {
        return fail(ImportResult::Status::Failed, e.message());
    }
    return imported();
}

} // namespace zarvo
