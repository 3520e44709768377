#include "settings/configlogic.h"

#include "base/keycodes.h"

#include <QFileInfo>
#include <QSet>

#include <limits>

namespace zarvo::config {
namespace {

constexpr int FirstPrimeHour = 5;
constexpr int LastPrimeHour = 10;
constexpr int DayCount = 7;

QString primeTimeText(int hour)
{
    return QString::number(hour) + QLatin1String(":00 PM");
}

} // namespace

QString grabberFromEntry(const QString& entry)
{
    // Counted as the list has always cut it: from just after the first "(" for
    // (length - p - 1) characters, p being the 1-based position of "(" or 0 without one.
    const qsizetype p = entry.indexOf(QLatin1Char('(')) + 1;
    const qsizetype length = entry.size() - p - 1;
    if (length <= 0)
        return QString();
    return entry.mid(p, length);
}

const QStringList& countryEntries()
{
    static const QStringList entries{
        QStringLiteral("USA and Canada (tv_grab_na_dd)"),
        QStringLiteral("United Kingdom (tv_grab_uk_rt)"),
        QStringLiteral("Germany (tv_grab_de_tvtoday)"),
        QStringLiteral("Sweden (tv_grab_se)"),
        QStringLiteral("New Zealand (tv_grab_nz)"),
        QStringLiteral("Finland (tv_grab_fi)"),
        QStringLiteral("Italy (tv_grab_it)"),
        QStringLiteral("Spain (tv_grab_es)"),
        QStringLiteral("Netherlands1 (tv_grab_nl)"),
        QStringLiteral("Netherlands2 (tv_grab_nl_wolf)"),
        QStringLiteral("Hungary and Romania (tv_grab_huro)"),
        QStringLiteral("France (tv_grab_fr)"),
        QStringLiteral("Norway (tv_grab_no)"),
        QStringLiteral("Portugal (tv_grab_pt)"),
        QStringLiteral("Denmark (tv_grab_dk)"),
    };
    return entries;
}

QString otherCountryEntry(const QString& grabberName)
{
    // grabberFromEntry cuts after the first "(" and drops the closing ")", so any name, even
    // one holding brackets itself, comes back whole.
    return QLatin1String("Other (") + grabberName + QLatin1Char(')');
}

QString grabberEntryText(const QString& name, const QString& description)
{
    return description.isEmpty() ? name : description + QLatin1String(" (") + name + u')';
}

QList<GrabberEntry> grabberEntries(const QList<InstalledGrabber>& installed,
                                   const QHash<QString, QString>& descriptions)
{
    QSet<QString> names;
    for (const InstalledGrabber& g : installed)
        names.insert(g.name);
    QList<GrabberEntry> entries;
    QSet<QString> countries;
    for (const QString& text : countryEntries()) {
        const QString grabber = grabberFromEntry(text);
        const bool present = names.contains(grabber);
        entries.append({present ? text : text + NotInstalledMark, grabber, present, true});
        countries.insert(grabber);
    }
    for (const InstalledGrabber& g : installed) {
        if (!countries.contains(g.name))
            entries.append(
                {grabberEntryText(g.name, descriptions.value(g.name)), g.name, true, false});
    }
    return entries;
}

QStringList daysEntries()
{
    QStringList entries;
    for (int day = 1; day <= DayCount; ++day)
        entries << QString::number(day);
    return entries;
}

QStringList primeTimeEntries()
{
    QStringList entries;
    for (int hour = FirstPrimeHour; hour <= LastPrimeHour; ++hour)
        entries << primeTimeText(hour);
    return entries;
}

int primeTimeIndex(const QString& primeTime)
{
    // The whole leading number, not just its first digit: "11:00 PM" is not "10:00 PM".
    qsizetype end = 0;
    while (end < primeTime.size() && primeTime.at(end) >= QLatin1Char('0') &&
           primeTime.at(end) <= QLatin1Char('9'))
        ++end;
    bool ok = false;
    const int hour = primeTime.left(end).toInt(&ok);
    if (!ok || hour < FirstPrimeHour || hour > LastPrimeHour)
        return DefaultPrimeTimeIndex;
    return hour - FirstPrimeHour;
}

bool isChannelMapFile(const QString& path)
{
    return QFileInfo(path).fileName().compare(ChannelMapFileName, Qt::CaseInsensitive) == 0;
}

std::optional<qint16> parseOpacity(const QString& text)
{
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < trimmed.size() &&
        (trimmed.at(i) == QLatin1Char('+') || trimmed.at(i) == QLatin1Char('-'))) {
        negative = trimmed.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == trimmed.size())
        return std::nullopt;
    // Built digit by digit so that only ASCII digits count and any length is checked for
    // overflow without a wider parse's own leniencies (hex, exponents, group separators).
    long value = 0;
    for (; i < trimmed.size(); ++i) {
        const char16_t c = trimmed.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > 32768)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(value);
}

ControlValues controlValuesFor(const Settings& settings, const QList<GrabberEntry>& entries)
{
    ControlValues c;
    if (entries.isEmpty()) {
        c.countries = countryEntries();
        for (const QString& text : c.countries)
            c.grabbers << grabberFromEntry(text);
    } else {
        for (const GrabberEntry& entry : entries) {
            c.countries << entry.text;
            c.grabbers << entry.grabber;
        }
    }
    if (settings.grabberName.isEmpty()) {
        c.countryIndex = 0;
    } else {
        c.countryIndex = int(c.grabbers.indexOf(settings.grabberName));
        if (c.countryIndex < 0) {
            c.countries << otherCountryEntry(settings.grabberName);
            c.grabbers << settings.grabberName;
            c.countryIndex = int(c.countries.size()) - 1;
        }
    }

    c.daysIndex = qBound(1, int(settings.daysToDownload), DayCount) - 1;
    c.channelMapPath = settings.channelMapPath;
    c.imagesFolder = settings.imagesFolder;
    c.adjustDST = settings.adjustDST == 1;
    c.writeChannelMap = settings.writeChannelMap == 1;
    c.opacityText = QString::number(settings.opacity);
    c.primeIndex = primeTimeIndex(settings.primeTime);
    return c;
}

SaveMapping settingsFrom(const ControlValues& controls)
{
    SaveMapping result;
    const std::optional<qint16> opacity = parseOpacity(controls.opacityText);
    if (!opacity || *opacity < MinOpacity || *opacity > MaxOpacity) {
        result.message = OpacityMessage;
        return result;
    }
    if (controls.channelMapPath.contains(QLatin1Char('"'))) {
        result.message = QuoteInPathMessage;
        return result;
    }
    if (controls.countryIndex < 0 || controls.countryIndex >= controls.countries.size()) {
        result.message = NoCountryMessage;
        return result;
    }
    // The entry's own grabber: a description may hold brackets of its own.
    const QString grabber = controls.countryIndex < controls.grabbers.size()
                                ? controls.grabbers.at(controls.countryIndex)
                                : grabberFromEntry(controls.countries.at(controls.countryIndex));
    if (grabber.isEmpty()) {
        result.message = NoCountryMessage;
        return result;
    }

    const Settings defaults = firstRunDefaults();
    Settings s;
    s.writeChannelMap = controls.writeChannelMap ? 1 : 0;
    s.channelMapPath = controls.channelMapPath;
    s.adjustDST = controls.adjustDST ? 1 : 0;
    s.daysToDownload = controls.daysIndex >= 0 && controls.daysIndex < DayCount
                           ? qint16(controls.daysIndex + 1)
                           : defaults.daysToDownload;
    s.imagesFolder = controls.imagesFolder;
    s.primeTime = controls.primeIndex >= 0 && controls.primeIndex <= LastPrimeHour - FirstPrimeHour
                      ? primeTimeText(controls.primeIndex + FirstPrimeHour)
                      : defaults.primeTime;
    s.opacity = *opacity;
    s.grabberName = grabber;
    result.settings = s;
    return result;
}

ConfigKeyboard::Action ConfigKeyboard::keyUp(int virtualKey)
{
    switch (virtualKey) {
    case vk::Return:
        if (m_selection == SaveSelection)
            return Action::WriteConfigBatch;
        if (m_selection == CancelSelection)
            return Action::Close;
        return Action::None;
    case vk::Left:
        m_selection = m_selection == 0 ? CancelSelection : qint16(m_selection - 1);
        break;
    case vk::Right:
        if (m_selection == CancelSelection)
            m_selection = 0;
        else if (m_selection < std::numeric_limits<qint16>::max())
            m_selection = qint16(m_selection + 1);
        break;
    case vk::Up:
        if (m_selection >= SaveSelection) {
            m_selection = qint16(m_selection - 1);
        } else {
            qint16& digit = m_digits[m_selection];
            digit = digit == 9 ? 0 : qint16(digit + 1);
        }
        break;
    case vk::Down:
        if (m_selection < SaveSelection) {
            qint16& digit = m_digits[m_selection];
            digit = digit == 0 ? 9 : qint16(digit - 1);
        } else if (m_selection < std::numeric_limits<qint16>::max()) {
            // Past Cancel nothing is highlighted; the count only stops short of overflowing.
            m_selection = qint16(m_selection + 1);
        }
        break;
    default:
        break;
    }
    return Action::None;
}

QString ConfigKeyboard::appendCode()
{
    for (int i = 0; i < 5; ++i)
        m_codeText += QString::number(m_digits[i]);
    m_storedDigit = m_digits[5];
    return m_codeText;
}

} // namespace zarvo::config
