#pragma once
// How failures travel in this program.
//
// An operation that cannot do what it was asked throws an Error whose message can be shown as
// it stands ("Cannot write /home/tv/guide/listings.sh: No space left on device"). Whoever began
// the action catches it once and shows the message in its own way: a screen in a message box,
// the minute tick in a notice, a zarvoguide-cli command on standard error with exit status 1.
// What a caller has to choose between (a day imported or refused, a grabber not installed, an
// application that did not take a recording) is not a failure: it comes back as an outcome in
// the operation's result.
//
// Subclasses add what a caller may need beyond the message: StoreError (store/storeerror.h) the
// SQLite code, FileError the file and the bare reason.

#include <QString>

#include <stdexcept>

namespace zarvo {

class Error : public std::runtime_error
{
public:
    explicit Error(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// A file that could not be written. The message is "Cannot write PATH: REASON"; `reason` alone
// is a phrase such as "it is a folder, not a file", for callers that word their own message.
class FileError : public Error
{
public:
    FileError(const QString& path, const QString& reason);
    const QString& path() const { return m_path; }
    const QString& reason() const { return m_reason; }

private:
    QString m_path;
    QString m_reason;
};

} // namespace zarvo
