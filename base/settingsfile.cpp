#include "base/settingsfile.h"

#include "base/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <array>
#include <optional>

namespace zarvo {

namespace {

constexpr std::array<const char*, 8> fieldNames{
    "writeChannelMap", "channelMapPath", "adjustDST", "daysToDownload",
    "imagesFolder",    "primeTime",      "opacity",   "grabberName",
};

const QString defaultChannelMapPath = QStringLiteral(
    "C:\\Program Files\\Home Media Networks Limited\\ShowShifter\\Config\\channels.map");
const QString defaultImagesFolder = QStringLiteral("images");
const QString defaultPrimeTime = QStringLiteral("8:00 PM");
const QString defaultGrabberName = QStringLiteral("tv_grab_na_dd");

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool endsField(QChar c)
{
    return c == u',' || c == u'\r' || c == u'\n';
}

QStringView trimBlanks(QStringView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// Older files were written in a single-byte code page; a byte sequence that is not valid UTF-8
// can only be one of those, and Latin-1 maps every byte to a character, so nothing is lost.
QString decode(const QByteArray& bytes)
{
    // Stateless, so that a sequence cut off at the end of the file counts as invalid too.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

// Hands out the fields of the decoded file one after the other.
class FieldReader
{
public:
    explicit FieldReader(QStringView text) : m_text(text) {}

    // The next field, or nothing when only blanks are left.
    std::optional<QString> next()
    {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos]))
            ++m_pos;
        if (m_pos >= m_text.size())
            return std::nullopt;
        m_fieldStart = m_pos;

        QString field;
        if (m_text[m_pos] == u'"') {
            const qsizetype open = m_pos + 1;
            const qsizetype close = m_text.indexOf(u'"', open);
            if (close < 0) {
                field = m_text.sliced(open).toString();
                m_pos = m_text.size();
                return field;
            }
            field = m_text.sliced(open, close - open).toString();
            m_pos = close + 1;
            // Whatever follows the closing quote on its line is not part of the value.
            while (m_pos < m_text.size() && !endsField(m_text[m_pos]))
                ++m_pos;
        } else {
            const qsizetype start = m_pos;
            while (m_pos < m_text.size() && !endsField(m_text[m_pos]))
                ++m_pos;
            field = trimBlanks(m_text.sliced(start, m_pos - start)).toString();
        }
        skipSeparator();
        return field;
    }

    // The 1-based line the last field started on (CR LF, LF and CR each end a line).
    int fieldLine() const
    {
        int line = 1;
        for (qsizetype i = 0; i < m_fieldStart; ++i) {
            if (m_text[i] == u'\n' ||
                (m_text[i] == u'\r' && (i + 1 >= m_text.size() || m_text[i + 1] != u'\n')))
                ++line;
        }
        return line;
    }

private:
    void skipSeparator()
    {
        if (m_pos >= m_text.size())
            return;
        // CR LF is one line end, not a line end followed by an empty line.
        if (m_text[m_pos] == u'\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'\n')
            ++m_pos;
        ++m_pos;
    }

    QStringView m_text;
    qsizetype m_pos = 0;
    qsizetype m_fieldStart = 0;
};

std::optional<qint16> toInt16(QStringView text)
{
    text = trimBlanks(text);
    if (text.isEmpty())
        return qint16(0);
    bool negative = false;
    if (text.front() == u'+' || text.front() == u'-') {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        // Stop early so that a long run of digits cannot overflow the accumulator.
        if (value > 32768)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > 32767)
        return std::nullopt;
    return qint16(value);
}

// A whole line of junk would make an unreadable message box.
QString shownValue(const QString& text)
{
    constexpr qsizetype longest = 40;
    if (text.size() <= longest)
        return text;
    return text.left(longest) + QChar(0x2026);
}

SettingsRead parseSettingsNamed(const QByteArray& bytes, const QString& fileName)
{
    SettingsRead result;
    Settings& s = result.settings;
    qint16* const numbers[] = {&s.writeChannelMap, nullptr, &s.adjustDST,
                               &s.daysToDownload,  nullptr, nullptr,
                               &s.opacity,         nullptr};
    QString* const texts[] = {nullptr,         &s.channelMapPath, nullptr, nullptr,
                              &s.imagesFolder, &s.primeTime,      nullptr, &s.grabberName};

    const QString text = decode(bytes);
    FieldReader reader(text);
    int count = 0;
    for (; count < int(fieldNames.size()); ++count) {
        std::optional<QString> field = reader.next();
        if (!field)
            break;
        if (!numbers[count]) {
            *texts[count] = *field;
            continue;
        }
        const std::optional<qint16> number = toInt16(*field);
        if (!number) {
            result.outcome = SettingsRead::Outcome::ConversionError;
            result.valuesRead = count;
            result.error =
                QStringLiteral("%1, line %2, value %3 (%4): \"%5\" is not a whole number from "
                               "-32768 to 32767")
                    .arg(fileName)
                    .arg(reader.fieldLine())
                    .arg(count + 1)
                    .arg(QLatin1String(fieldNames[count]),
                         shownValue(trimBlanks(*field).toString()));
            return result;
        }
        *numbers[count] = *number;
    }
    result.outcome = SettingsRead::Outcome::Read;
    result.valuesRead = count;
    applyFixUps(s);
    return result;
}

} // namespace

Settings firstRunDefaults()
{
    Settings s;
    s.writeChannelMap = 0;
    s.channelMapPath = defaultChannelMapPath;
    s.adjustDST = 0;
    s.daysToDownload = 1;
    s.imagesFolder = defaultImagesFolder;
    s.primeTime = defaultPrimeTime;
    s.opacity = 100;
    s.grabberName = defaultGrabberName;
    return s;
}

void applyFixUps(Settings& settings)
{
    if (settings.channelMapPath.isEmpty())
        settings.channelMapPath = defaultChannelMapPath;
    if (settings.daysToDownload == 0)
        settings.daysToDownload = 1;
    if (settings.imagesFolder.isEmpty())
        settings.imagesFolder = defaultImagesFolder;
    if (settings.primeTime.isEmpty())
        settings.primeTime = defaultPrimeTime;
    if (settings.grabberName.isEmpty())
        settings.grabberName = defaultGrabberName;
}

SettingsRead parseSettings(const QByteArray& bytes)
{
    return parseSettingsNamed(bytes, QStringLiteral("config.txt"));
}

SettingsRead readSettingsFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        SettingsRead missing;
        missing.outcome = SettingsRead::Outcome::Missing;
        missing.settings = firstRunDefaults();
        return missing;
    }

    auto unreadable = [&](const QString& reason) {
        SettingsRead failed;
        failed.outcome = SettingsRead::Outcome::ConversionError;
        failed.error = QStringLiteral("Cannot read %1 (%2): %3.")
                           .arg(info.fileName(), QDir::toNativeSeparators(path), reason);
        return failed;
    };
    if (info.isDir())
        return unreadable(QStringLiteral("it is a folder, not a file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return unreadable(file.errorString());
    // The whole path: the message is all the viewer gets to find the file by.
    return parseSettingsNamed(bytes, QDir::toNativeSeparators(info.absoluteFilePath()));
}

QByteArray formatSettings(const Settings& settings)
{
    QByteArray out;
    auto number = [&out](qint16 value) {
        out += QByteArray::number(value);
        out += "\r\n";
    };
    auto text = [&out](const QString& value) {
        out += '"';
        out += value.toUtf8();
        out += "\"\r\n";
    };
    number(settings.writeChannelMap);
    text(settings.channelMapPath);
    number(settings.adjustDST);
    number(settings.daysToDownload);
    text(settings.imagesFolder);
    text(settings.primeTime);
    number(settings.opacity);
    text(settings.grabberName);
    return out;
}

void writeSettingsFile(const QString& path, const Settings& settings)
{
    try {
        replaceFileAtomically(path, formatSettings(settings));
    } catch (const FileError& e) {
        throw Error(QStringLiteral("Cannot save the settings to %1: %2.")
                        .arg(QDir::toNativeSeparators(path), e.reason()));
    }
}

} // namespace zarvo
