#pragma once
// The recorder's channel map, rewritten every half hour so that the recorder's own channel list
// shows what is on: each channel of the map is renamed to the guide's channel name, a space and
// the title of the programme on that channel in the current half hour.
//
// The map belongs to the recorder application. It is a text file of at most 151 lines in a
// single-byte code page; only the first field of each line (the name, in double quotes) is ours
// to change, and every other byte of every line is carried through as it was read:
//
//   "NAME"REST            NAME: from the second byte up to the next double quote
//   ...|"xKEY...          key text: the three bytes that start three bytes after the first
//                         `|"` of REST (of the whole line when it has no name field), so
//                         a name ending in `|` is never taken for the pair
//
// Keys. A line's key is its key text up to its first space; the guide's key is a channel's
// `channelname` up to its first space (the channel number that starts the guide's names). Keys
// compare as text, exactly ("10" is not "9", "5" is not "05"). A key text without a space, or
// one that starts with a space, gives no key; so does a channelname without a space.
//
// Which lines change. A line is renamed when it starts with a double quote, its name field is
// closed, it has a key, and the half hour's programmes hold a channel with that key. When
// several programmes of the window carry the key (one running at the start of the half hour,
// another starting in it), the first in the window's channel order wins, which is the one
// already running. Every other line (no name field, no `|"`, no key, no programme) is written
// back with its bytes unchanged, so a channel with nothing on keeps the name it had, including a
// title written half an hour earlier. The lines stay in their order and none is dropped.
//
// Line ends. A line ends at CR LF, LF or a lone CR. Every line is written back ended by CR LF,
// the line end the recorder writes, also a last line that had none; so the map never loses a
// line or a byte outside the names, and it only ever gets shorter by a name getting shorter.
//
// Code page of the new names. The map keeps the code page it is in: when it already holds
// non-ASCII text that is valid UTF-8 (or begins with a UTF-8 byte order mark), names are written
// in UTF-8; otherwise (plain ASCII, or bytes that are not UTF-8) in Windows-1252, the recorder's
// single-byte code page, with '?' for each character it cannot show. A double quote in a channel
// name or title becomes an apostrophe and a control character (a line break) a space, so that a
// new name can neither end the name field early nor split the line.

#include "base/clock.h"
#include "store/listingsstore.h"

#include <QByteArray>
#include <QString>
#include <QTime>

#include <functional>
#include <optional>
#include <vector>

namespace zarvo {

// The most lines a map may have; a longer map is left untouched.
inline constexpr int ChannelMapMaxLines = 151;

// One line of the map (without its line end), cut into its parts.
struct ChannelMapLine
{
    // True when the line starts with a double quote and has a closing one; only then are `name`
    // and `rest` set and may the line be renamed.
    bool hasName = false;
    QByteArray name; // between the two quotes
    QByteArray rest; // everything after the closing quote
    // The up-to-three bytes of key text (fewer when the line ends sooner); empty without `|"`.
    QByteArray keyText;
    // The key text up to its first space; nullopt when there is none (see above).
    std::optional<QByteArray> key;
};

ChannelMapLine parseChannelMapLine(const QByteArray& line);

// The guide's key of a channel name: the text before its first space; nullopt when the name
// has no space or starts with one.
std::optional<QString> guideChannelKey(const QString& channelName);

// The half hour whose programmes name the channels, from the wall-clock time of day (seconds
// ignored): before minute 29, H:00 to H:30; from minute 29 on, H:30 to the next hour's :00
// (0:00 after 23:30, so that late window holds only programmes already running at 23:30).
struct ChannelMapWindow
{
    QTime t1;
    QTime t2;
    bool operator==(const ChannelMapWindow&) const = default;
};
ChannelMapWindow channelMapWindowAt(QTime wallTime);

// What rewriting the map's bytes gives.
struct ChannelMapRewrite
{
    bool tooLong = false; // more than ChannelMapMaxLines lines: `bytes` is empty
    QByteArray bytes;     // the new content of the map
    int lines = 0;        // lines read
    int renamed = 0;      // lines whose name was replaced
};

// Rewrites the map's bytes with the window's programmes (in the order the store gives them).
// Calls `yield` (when set) after each line so that pending events can run.
ChannelMapRewrite rewriteChannelMap(const QByteArray& map, const std::vector<ListingRow>& window,
                                    const std::function<void()>& yield = {});

struct ChannelMapResult
{
    enum class Outcome {
        Written,      // the map was replaced with the renamed one
        TodayMissing, // today's listings are not stored: the map was not touched
        TooLong,      // more than ChannelMapMaxLines lines: the map was not touched
        Failed,       // see `message`; the map was not touched
    };
    Outcome outcome = Outcome::Failed;
    int lines = 0;   // Written: lines in the map
    int renamed = 0; // Written: lines renamed
    // Failed: the reason, fit for a message box (names the file where a file is at fault).
    QString message;
};

// WriteToChannels: renames the channels of the map at `mapPath` after the programmes of the
// current half hour of the clock's today. Today must be stored in its weekday table, otherwise
// nothing is read or written. The map is read whole and replaced atomically: a crash, a full
// disk or a file size limit leaves the old map as it was, and a missing or unreadable map is
// reported, never created. Store errors are reported as Failed, not thrown. `yield` runs after
// each line; the map is written only once all lines are done, so whatever runs meanwhile sees
// the old map.
ChannelMapResult writeToChannels(ListingsStore& store, const QString& mapPath, const Clock& clock,
                                 const std::function<void()>& yield = {});

} // namespace zarvo
