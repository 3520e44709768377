#pragma once
// The settings record and its file, config.txt.
//
// Eight values, one a line, in this order: writeChannelMap, channelMapPath, adjustDST,
// daysToDownload, imagesFolder, primeTime, opacity, grabberName. Numbers are plain decimal
// (16-bit signed), texts stand in double quotes. The reader is lenient the way the file has
// always been read: leading blanks and tabs are skipped, a quoted field runs to the next quote
// and whatever follows it up to the next comma or line end is dropped, an unquoted field runs to
// the next comma or line end, fields may share a line separated by commas, an empty number is 0.
// A file that ends early keeps what was read; the remaining fields stay empty or zero and the
// fix-ups below fill some of them.
//
// Reading in detail:
// - A line ends with CR LF, LF or CR; every line end and every comma ends one field. An empty
//   line is therefore an empty field, and blanks and tabs up to the end of the file are not.
// - A quoted field runs to the next double quote even across line ends (so a text holding a
//   comma or a line break reads back as written); without a closing quote it runs to the end
//   of the file. Inside quotes nothing is trimmed.
// - An unquoted field loses its trailing blanks and tabs.
// - A number is an optional '+' or '-' followed by the digits 0 to 9, with blanks and tabs
//   around it ignored (also inside quotes); anything else, or a value outside -32768..32767,
//   is a conversion error.
// - Values after the eighth are ignored.
//
// Code page: the file is meant to be plain ASCII, but an older file may hold a path in a
// single-byte code page. The bytes are taken as UTF-8 when they are valid UTF-8 (a leading
// byte order mark is dropped) and as ISO-8859-1 (Latin-1) otherwise. The writer always writes
// UTF-8, without a byte order mark.

#include "base/error.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace zarvo {

struct Settings
{
    qint16 writeChannelMap = 0;
    QString channelMapPath;
    // "Adjust for Daylight Savings:". Kept, shown and saved as it always was; no time depends on
    // it any more: hand-off times are the true UTC from the zone's rules (record/selection.h).
    qint16 adjustDST = 0;
    qint16 daysToDownload = 0;
    QString imagesFolder;
    QString primeTime;
    qint16 opacity = 0;
    QString grabberName;

    bool operator==(const Settings&) const = default;
};

// What a fresh installation uses when there is no config.txt at all.
Settings firstRunDefaults();

// The fix-ups applied after reading an existing file: an empty channelMapPath, imagesFolder,
// primeTime or grabberName takes its first-run value, a daysToDownload of 0 becomes 1. Nothing
// else is touched (an empty opacity stays 0; out-of-range values stay as read).
void applyFixUps(Settings& settings);

struct SettingsRead
{
    enum class Outcome {
        Missing,         // no config.txt: `settings` holds the first-run defaults
        Read,            // read (possibly short) and fixed up
        ConversionError, // a value could not be converted: `error` describes it
    };
    Outcome outcome = Outcome::Missing;
    Settings settings;
    // Read only: how many of the eight values the file held (8 for a complete file).
    int valuesRead = 0;
    // ConversionError (and unreadable files): a description fit for a message box, naming the
    // file (its full path when read from a file) and, for a bad value, its line, its position,
    // its field and the text found.
    QString error;
};

// Parses the bytes of a config.txt. Never fails on short input; a number field that is not a
// whole number in the 16-bit range gives ConversionError. Applies the fix-ups on success.
SettingsRead parseSettings(const QByteArray& bytes);

// Reads config.txt at `path`: Missing when the file does not exist, ConversionError (with the
// reason) when it exists but cannot be read, otherwise parseSettings of its contents.
SettingsRead readSettingsFile(const QString& path);

// The eight lines of the file, each ended by CR LF: numbers plain, texts in double quotes.
QByteArray formatSettings(const Settings& settings);

// Replaces `path` atomically with formatSettings(settings). On failure throws Error ("Cannot
// save the settings to PATH: REASON.") and leaves any existing file exactly as it was.
void writeSettingsFile(const QString& path, const Settings& settings);

} // namespace zarvo
