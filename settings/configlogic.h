#pragma once
// What the settings screen (settings/configscreen.h) does, apart from its widgets: the lists it
// offers, how the settings record becomes control values and back, and its keyboard state.
//
// Corrections this screen makes to values it cannot show (the record itself is never changed
// by loading; only a save writes what the controls then hold):
// - A grabberName that no country entry carries gets an entry of its own after the fifteen,
//   "Other (<name>)", which is selected, so that saving writes the name back unchanged. An
//   empty grabberName selects the first entry (tv_grab_na_dd), as reading config.txt would.
// - A primeTime is placed by its hour, the number it starts with ("10:00 PM" -> 10, "8:00 PM"
//   -> 8). An hour outside 5 to 10, or a text that does not start with a digit ("11:00 PM", "",
//   "x"), selects "8:00 PM". (Going by the first character alone would show "11:00 PM" as
//   "10:00 PM", a time the guide does not jump to.)
// - A daysToDownload below 1 selects "1", above 7 selects "7".
// - A check box is ticked exactly when its value is 1, the value the program acts on.
//
// Saving refuses, with a message and without writing anything:
// - an opacity text that is not a whole number from 20 to 100 (blanks around it and a leading
//   sign are allowed), the range the label names;
// - a channel map path holding a double quote, which config.txt cannot carry (a quoted text
//   ends at the next quote);
// - no country selected.

#include "acquire/grabber.h"
#include "base/settingsfile.h"

#include <QHash>
#include <QList>

#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <optional>

namespace zarvo::config {

inline constexpr QLatin1String OpacityMessage{"Opacity must be a whole number from 20 to 100."};
inline constexpr QLatin1String NoCountryMessage{"Choose a country from the list."};
inline constexpr QLatin1String QuoteInPathMessage{
    "The channels map file path cannot contain a double quote (\")."};
inline constexpr int MinOpacity = 20;
inline constexpr int MaxOpacity = 100;

// The name of the recorder's channel map; Browse accepts no other file name (in any case).
inline constexpr QLatin1String ChannelMapFileName{"channels.map"};

// The grabber name in a country entry: everything after the first "(" except the last
// character. "USA and Canada (tv_grab_na_dd)" gives "tv_grab_na_dd"; a text without "(" gives
// the text without its last character; an empty text gives "".
QString grabberFromEntry(const QString& entry);

// The fifteen country entries, "USA and Canada (tv_grab_na_dd)" first, "Denmark (tv_grab_dk)"
// last.
const QStringList& countryEntries();
// The entry that keeps a grabber name no country carries: "Other (<name>)".
QString otherCountryEntry(const QString& grabberName);

// One entry of the grabber list and the grabber it stands for.
struct GrabberEntry
{
    QString text;
    QString grabber;
    bool installed = false;
    bool country = false; // one of the fifteen
    bool operator==(const GrabberEntry&) const = default;
};
inline constexpr QLatin1String NotInstalledMark{" (not installed)"};
// The grabber list: the fifteen country entries in their order, each followed by
// " (not installed)" when its grabber is not among `installed`; then every other installed
// grabber as "<description> (<name>)", or "<name>" while its description is unknown (empty).
// `descriptions` maps grabber names to their --description.
QList<GrabberEntry> grabberEntries(const QList<InstalledGrabber>& installed,
                                   const QHash<QString, QString>& descriptions);
// The text of a grabber that is not a country: "<description> (<name>)", or the name alone.
QString grabberEntryText(const QString& name, const QString& description);

// "1" to "7".
QStringList daysEntries();
// "5:00 PM" to "10:00 PM".
QStringList primeTimeEntries();
// The prime-time entry index for a primeTime text (see the corrections above).
int primeTimeIndex(const QString& primeTime);
inline constexpr int DefaultPrimeTimeIndex = 3; // "8:00 PM"

// True when the file name of `path` (without its folder) is channels.map in any letter case.
bool isChannelMapFile(const QString& path);

// A whole number in 16 signed bits, blanks around it and one leading '+' or '-' allowed;
// nothing otherwise (empty text, fractions, letters, overflow).
std::optional<qint16> parseOpacity(const QString& text);

// What the screen's controls hold.
struct ControlValues
{
    bool writeChannelMap = false;           // chkSS ticked
    QString channelMapPath;                 // txtSS
    bool adjustDST = false;                 // chkDST ticked
    int daysIndex = 0;                      // cbxDays selection: entry "1" is 0
    QString imagesFolder;                   // txtImages (hidden)
    int primeIndex = DefaultPrimeTimeIndex; // cbxPrime selection: "5:00 PM" is 0
    QString opacityText;                    // txtOpacity
    QStringList countries;                  // Combo4's entries
    QStringList grabbers;                   // the grabber of each entry (may be shorter)
    int countryIndex = -1;                  // Combo4's selection, -1 for none

    bool operator==(const ControlValues&) const = default;
};

// The controls for a settings record, with the corrections above. The list is the fifteen
// countries, or `entries` when given.
ControlValues controlValuesFor(const Settings& settings, const QList<GrabberEntry>& entries = {});

struct SaveMapping
{
    std::optional<Settings> settings; // set when the controls can be saved
    QString message;                  // otherwise: why not, for a message box
};

// The record the controls stand for. Indices outside their lists (which the screen never has)
// give the first-run day count and prime time.
SaveMapping settingsFrom(const ControlValues& controls);

// The keyboard state: a highlight moved between Save (6) and Cancel (7) and six digits (0 to
// 9) chosen with up and down while the selection is 0 to 5; the digits are never shown and
// only feed the code text that Enter on Save puts into the grabber's configuration batch.
class ConfigKeyboard
{
public:
    static constexpr qint16 SaveSelection = 6;
    static constexpr qint16 CancelSelection = 7;

    // What a key release asks the screen to do besides moving the highlight.
    enum class Action {
        None,
        WriteConfigBatch, // Enter with Save highlighted: appendCode(), show it, write the batch
        Close,            // Enter with Cancel highlighted: as Cancel
    };

    // Handles one key release (a virtual-key code, base/keycodes.h):
    // - Enter: the action for the selection (None for anything but 6 and 7);
    // - Left: selection - 1, from 0 to 7;
    // - Right: selection + 1, from 7 to 0;
    // - Up: from 6 on, selection - 1; below 6, the selected digit + 1, from 9 to 0;
    // - Down: below 6, the selected digit - 1, from 0 to 9; from 6 on, selection + 1 without
    //   wrapping (7 becomes 8, which highlights nothing; Left brings it back to 7);
    // - any other key: nothing.
    // Counting up past Cancel stops at 32767 rather than overflowing.
    Action keyUp(int virtualKey);

    qint16 selection() const { return m_selection; }
    const std::array<qint16, 6>& digitValues() const { return m_digits; }
    bool saveHighlighted() const { return m_selection == SaveSelection; }
    bool cancelHighlighted() const { return m_selection == CancelSelection; }

    // Appends the first five digits to the code text and keeps the sixth; returns the code
    // text, which grows by five digits on every call.
    QString appendCode();
    QString codeText() const { return m_codeText; }
    qint16 storedDigit() const { return m_storedDigit; }

private:
    qint16 m_selection = 0;
    std::array<qint16, 6> m_digits{};
    QString m_codeText;
    qint16 m_storedDigit = 0;
};

} // namespace zarvo::config
