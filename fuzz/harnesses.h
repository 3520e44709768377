#pragma once
// Checks that feed one arbitrary input to a reader of outside data and test what its contract
// promises for every input, not only for well-formed ones. They are shared by the libFuzzer
// executables (fuzz_entry.cpp) and by the regression test that replays the kept inputs
// (tests/tst_fuzzregress.cpp), so a fixed crash stays fixed in the ordinary test run.
//
// Each check returns an empty text when every invariant held and otherwise a description of the
// first one that broke. Memory faults and undefined behaviour are left to the sanitizers.

#include <QByteArray>
#include <QString>

#include <array>

namespace zarvo::fuzz {

// An XMLTV day file: loadXmltv, parseXmltv and readListings, then the whole import through
// getListings (file bytes, decoding, parsing, rows, store) of the input written as a Monday's
// day file. Their results agree; a failure carries a sensible code and position; the rows are
// one per <channel> and one per readable <programme>, with the stamps parseStamp gives for the
// element's own attributes, valid dates and times, texts free of control characters and
// collapsed, a description of at most 255 units, and a logo name that is a plain file name. The
// import stores exactly those rows and records the day, or (for a document that does not load,
// holds no programme, or none of that Monday) moves the file aside and changes nothing. Stamps
// are read in America/New_York.
QString checkXmltv(const QByteArray& input);

// An XMLTV stamp, the input taken as UTF-8 and as Latin-1 text: parseStamp in two zones with
// daylight time (America/New_York, Australia/Adelaide), in UTC and with an invalid zone. Every
// valid zone accepts the same stamps; a result has a valid date and time; a stamp without a zone
// reads the same everywhere (and exactly as its digits say when it has fourteen); a stamp with a
// zone names one moment, seen on each zone's wall clock.
QString checkStamp(const QByteArray& input);

// A config.txt: parseSettings never reports a missing file, fills in the fix-ups and counts at
// most eight values; a record read successfully whose texts hold no double quote is written
// with formatSettings and read back as the same record from eight values.
QString checkSettings(const QByteArray& input);

// A channel map: parseChannelMapLine on every line (the parts put back together give the line,
// the key is the start of the key text), and rewriteChannelMap with a small fixed window: the
// same number of lines in the same order, each ended by CR LF, every line the window does not
// rename byte for byte as it was, and every renamed one holding the expected new name (in the
// map's code page) in front of its untouched rest. A map of more than 151 lines stays untouched.
QString checkChannelMap(const QByteArray& input);

struct Harness
{
    const char* name; // the executable is fuzz_<name>, its inputs are in fuzz/corpus/<name>/
    QString (*check)(const QByteArray& input);
};

inline constexpr std::array<Harness, 4> harnesses{{
    {"xmltv", checkXmltv},
    {"stamp", checkStamp},
    {"settings", checkSettings},
    {"channelmap", checkChannelMap},
}};

} // namespace zarvo::fuzz
