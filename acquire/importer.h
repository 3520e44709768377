#pragma once
// GetListings: loads one calendar day's XMLTV file into the listings database.
//
// The day file is xmltv/YYYYMMDD.xml in the program folder. Importing it replaces, in ONE
// transaction, the programme table of the day's weekday and the `channels` table, and records
// in `dates` that the weekday's table now holds that day. Any failure rolls the whole transaction
// back, so the previous listings stay whole (also when the process is killed half-way). When the
// file does not exist yet, the grabber is run for the day instead (through a hook) and the
// caller's next attempt imports what it wrote. A file that is there but cannot give the day's
// listings is moved aside (YYYYMMDD.xml.rejected), so that the next attempt fetches it again.
//
// The work is split in two so that benchmarks and fuzzers can drive the reading alone:
//   loadXmltv()     bytes -> document (encoding detection, strict well-formedness checks),
//   readListings()  document -> channel and programme rows (pure, no store),
// and getListings() puts them together with the store writes and the program-wide state.
//
// What is read from the document (everything else is ignored):
// - Root element: must be <tv>, the only element at the top level.
// - Each <channel> directly under the root gives one ChannelRow:
//     channelid   = attribute "id" (the first attribute when there is no "id"; else empty);
//     channelname = text of the first child node; channelnum = text of the third child node;
//     icon        = the first attribute of the third child node without its first 47
//                   characters (a text of exactly 47 gives an empty icon). When that attribute
//                   is missing or shorter than 47 characters, the file name of the first <icon>
//                   child's "src" is used instead, and "empty.jpg" when there is none.
//   Child nodes are elements and non-blank text; comments and blank text between elements do
//   not count. A channel with fewer children stores empty texts for what is missing.
//   Every non-empty icon is reduced to a plain file name: the part before any '?' or '#', then
//   the last segment after '/' or '\', control characters removed; what is then empty, "." or
//   ".." becomes "empty.jpg". So a logo name never leads out of the logos folder.
// - Each <programme> directly under the root gives one ProgrammeRow:
//     start, stop, channel = the attributes of those names, in any order;
//     the stamps are read with parseStamp() in the clock's zone, so a stamp carrying a zone
//     ("+0000", "BST") is stored as the local wall-clock time it stands for;
//     a programme whose start stamp is missing or unreadable is skipped and counted;
//     without a stop (or with an unreadable one, which is counted) it ends at 23:59:00 of its
//     start date;
//     title, subtitle ("sub-title"), description ("desc"), category: the text of the first
//     child element of that name; rating: the first "value" inside the first "rating";
//     rerun: true when a "previously-shown" child is present (also an empty one);
//     the description is cut to 255 characters (UTF-16 units, never splitting a surrogate
//     pair).
// - Element text: all the text inside the element (nested elements included), with runs of
//   white space collapsed to one blank and trimmed at both ends (XMLTV text has no significant
//   layout). Control characters are removed from every stored text.
//
// Documents are read safely: DOCTYPE declarations are skipped and entities they declare are
// never expanded (a reference such as "&lol9;" stays as that literal text), and nothing but the
// day file itself is read from the file system.
//
// Encodings: a byte order mark (UTF-8, UTF-16, UTF-32) or a UTF-16/32 layout decides; otherwise
// the encoding named in the XML declaration, UTF-8 when none is named. Every encoding the
// platform's converters know is read (ISO-8859-x, KOI8-R, windows-125x, Shift_JIS, ...; a
// "UTF-16" label on an 8-bit text is taken as UTF-8); a name they do not know is refused. The
// text must be valid in its encoding, and no encoding may carry a NUL character.
//
// Limits, so that no input can crash or hang the import: only a regular file is read (never a
// FIFO or a device), at most ImportLimits::maxFileBytes of it, counted on the bytes read; and
// elements nest at most XmltvMaxDepth levels.

#include "base/appstate.h"
#include "base/clock.h"
#include "base/programfolder.h"
#include "store/listingsstore.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace pugi {
class xml_document;
}

namespace zarvo {

// The deepest element nesting a document may have (the root element is level 1). Listings nest
// four or five levels; the limit keeps every walk of the tree shallow.
inline constexpr int XmltvMaxDepth = 256;

// Why a document could not be loaded, with where in the text it happened.
struct XmltvLoadError
{
    // The parser's status number (1..16) for a fault it found; the checks made around it use:
    enum Code {
        CannotRead = 101,           // not a regular file, too large, or a read failed
        InvalidEncodedText = 102,   // bytes that are not valid in the document's encoding
        UnsupportedEncoding = 103,  // the declaration names an encoding not listed above
        NulCharacter = 104,         // a NUL character
        NoRootElement = 105,        // no element at all (an empty file, only a declaration)
        ExtraTopLevelContent = 106, // a second top-level element or text outside the root
        NotListings = 107,          // the root element is not <tv>
        TooDeep = 108,              // elements nested more than XmltvMaxDepth levels
    };
    int code = 0;
    QString reason;
    int line = 0;            // 1-based; 0 when the fault has no place (CannotRead)
    int linePosition = 0;    // 1-based, in characters
    qint64 filePosition = 0; // 0-based character offset from the start of the text
    QString sourceText;      // the line of the fault (at most 200 characters around it)
    QString documentUrl;

    // The detail report: "Your XML Document failed to load due the following error." followed
    // by "Error #: ", "Line #: ", "Line Position: ", "Position In File: ", "Source Text: " and
    // "Document URL: " lines.
    QString report() const;
};

// A loaded document or the reason why there is none.
struct XmltvDocument
{
    std::unique_ptr<pugi::xml_document> document; // null when loading failed
    XmltvLoadError error;                         // meaningful when document is null
    bool ok() const { return document != nullptr; }

    XmltvDocument();
    XmltvDocument(XmltvDocument&&) noexcept;
    XmltvDocument& operator=(XmltvDocument&&) noexcept;
    ~XmltvDocument();
};

// Decodes and parses the bytes of an XMLTV file (see the encodings and safety rules above) and
// checks that the result is one <tv> document nested at most XmltvMaxDepth deep. `documentUrl` only
// goes into the error report.
XmltvDocument loadXmltv(const QByteArray& bytes, const QString& documentUrl = QString());

// The rows a document yields.
struct XmltvListings
{
    std::vector<ChannelRow> channels;
    std::vector<ProgrammeRow> programmes; // programid 0, action nullopt
    int skippedProgrammes = 0;            // no readable start stamp: not in `programmes`
    int unreadableStops = 0;              // stored as ending at 23:59:00 of the start date
};

// Reads the channel and programme rows of a loaded document (nothing else is touched). `tick`,
// when given, is called once per channel and per programme element; getListings uses it to keep
// the event loop alive during a long read.
XmltvListings readListings(const pugi::xml_document& document, const QTimeZone& zone,
                           const std::function<void()>& tick = {});

// Where streamListings() hands the rows it reads, one at a time and in document order. A
// ProgrammeText's texts live only until the call returns.
struct ListingsSink
{
    std::function<void(const ChannelRow&)> channel;
    std::function<void(const ProgrammeText&)> programme;
};

// What streamListings() read besides the rows it handed over.
struct StreamedListings
{
    int channels = 0;
    int programmes = 0;
    int skippedProgrammes = 0;
    int unreadableStops = 0;
};

// Reads the rows of a decoded (UTF-8) day file as readListings(loadXmltv(...)) does, the same
// rows in the same order, without ever holding the whole tree: the content of the listings root
// is parsed a megabyte of whole elements at a time, inside `text` itself (which is changed), so
// memory stays near the text's own size.
// Returns nullopt when it cannot vouch for the text: not well-formed, not one <tv> document,
// nested too deep, or laid out in a way the piecewise reading does not follow. Then the rows
// handed over so far must be dropped, and loadXmltv() tells what is wrong (or reads the file).
std::optional<StreamedListings> streamListings(QByteArray text, const QTimeZone& zone,
                                               const ListingsSink& sink);

// loadXmltv and readListings in one go; `error` (when given) receives the reason on failure.
std::optional<XmltvListings> parseXmltv(const QByteArray& bytes, const QTimeZone& zone,
                                        XmltvLoadError* error = nullptr);

// The caller-specific parts of an import. Every hook may be left empty.
struct ImportHooks
{
    // Called first, with theDate (the guide sets its windowStart from it). Not called when the
    // import is refused as Busy.
    std::function<void(const QDateTime& theDate)> started;
    // The grabber runner: called when the day file does not exist; it is expected to write
    // the file (blocking), which the caller's next attempt then imports.
    std::function<void(const QDateTime& theDate)> fetchMissingDay;
    // Called after every stored programme with the number stored so far (1, 2, ... total). The
    // first call (count 1) is where the start-up screen shows the guide; the guide shows
    // programsFoundText(count). Keep it cheap: it runs once per row.
    std::function<void(int count)> progress;
    // Lets pending events run. Called on a time budget (about every 30 ms of work), not per
    // row. While it runs the store holds the import's open write transaction: the store refuses
    // any write the events try (StoreError), and a read through it sees the half-written day. A
    // second import started from it is refused as Busy.
    std::function<void()> yield;
};

// How much of a day file is read at most; past it the file is refused.
struct ImportLimits
{
    qint64 maxFileBytes = qint64(512) * 1024 * 1024;
};

struct ImportResult
{
    // The three refusals (NotWellFormed, NoProgrammes, OtherDays) leave the store as it was and
    // move the day file aside.
    enum class Status {
        Imported,       // the day is stored, `dates` updated, fetchPending cleared
        FetchRequested, // the day file did not exist: fetchMissingDay ran; nothing changed
        NotWellFormed,  // the file cannot be read as a <tv> document (see XmltvLoadError)
        NoProgrammes,   // the document holds no programme with a readable start
        OtherDays,      // the document's programmes all start on other dates than the day's
        Busy,           // another import is running (importInProgress); nothing at all changed
        Failed,         // the store refused (StoreError) or theDate is invalid; rolled back
    };
    Status status = Status::Failed;
    QString file;       // the day file's path
    int channels = 0;   // channel rows stored (or read, when nothing was stored)
    int programmes = 0; // programme rows stored (or read)
    int skippedProgrammes = 0;
    int unreadableStops = 0;
    QDate recordedDate; // the date written to `dates` (Imported only): the day asked for
    QString message;    // what went to loadErrorText; empty when Imported or Busy
    QString report;     // NotWellFormed: the detail report (also written to stderr)
    QString setAside;   // a refusal: where the day file was moved; empty when it could not be
};

// GetListings for the day of `theDate` (a naive wall-clock value; only its date matters).
//
// - importInProgress already true: returns Busy at once and changes nothing.
// - Otherwise importInProgress is true for the whole call and false again on every way out.
// - Day file missing (nothing at all under its name): loadErrorText = "Program timed out.",
//   fetchMissingDay(theDate), FetchRequested. fetchPending is left as it is.
// - Refusals: the store is not touched, the file is renamed to YYYYMMDD.xml.rejected (replacing
//   an older one), and loadErrorText = "Program timed out." followed by a line with the reason
//   and where the file went. They are:
//   - not loadable: not a regular file, too large, undecodable, not well-formed, too deep, not
//     a <tv> document; the detail report goes to standard error (qWarning) and into the result;
//     NotWellFormed;
//   - no programme with a readable start (an empty grab must not pass for the day's listings):
//     NoProgrammes;
//   - no programme starting on the day (another day's file): "YYYYMMDD.xml holds the listings
//     of <its dates>, not of <the day>."; OtherDays.
// - Otherwise, in one unit of the store (ListingsStore::replaceDay): empty day table N (N =
//   dayNumber of the date) and `channels`, insert the channels, then all the programmes in
//   document order (those of other dates too), and set `dates` column N to the day. Then
//   fetchPending = false and Imported; and the day files of days before yesterday (by the clock;
//   the day just imported excepted), the set-aside ones of those days and every unsorted* copy
//   are removed from xmltv/.
// - A StoreError on the way rolls everything back: loadErrorText = its message, fetchPending
//   unchanged, the file left where it is, Failed.
ImportResult getListings(const QDateTime& theDate, ListingsStore& store, AppState& state,
                         const ProgramFolder& folder, const Clock& clock,
                         const ImportHooks& hooks = {}, const ImportLimits& limits = {});

// The guide's progress caption: "1 programs found.", "2 programs found.", ...
QString programsFoundText(int count);

// The text every load failure leaves in loadErrorText.
QString loadFailedText(); // "Program timed out."

// Reduces a logo reference (a URL, a path, a name) to a plain file name as described above.
// Empty stays empty.
QString plainLogoName(const QString& reference);

} // namespace zarvo
