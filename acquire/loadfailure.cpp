#include "acquire/loadfailure.h"

#include "store/timerules.h"

#include <QFileInfo>
#include <QLocale>
#include <QStringList>

namespace zarvo {
namespace {

// "Error #: 5: reason" of the parser's report, without the number; the report itself when it
// does not read that way.
QString parserReason(const QString& report)
{
    QString reason;
    QString line;
    for (const QString& row : report.split(u'\n')) {
        if (row.startsWith(QLatin1String("Error #: ")))
            reason = row.mid(9).section(QLatin1String(": "), 1);
        else if (row.startsWith(QLatin1String("Line #: ")) && row.mid(8) != QLatin1String("0"))
            line = row.mid(8);
    }
    if (reason.isEmpty())
        return report.trimmed();
    return line.isEmpty() ? reason : QStringLiteral("%1 (line %2)").arg(reason, line);
}

QString grabCause(const QString& grabber, const GrabberResult& grab)
{
    using Outcome = GrabberResult::Outcome;
    switch (grab.outcome) {
    case Outcome::NotInstalled:
    case Outcome::NotConfigured:
        return grab.detail.isEmpty() ? grab.message : grab.message + u'\n' + grab.detail;
    case Outcome::Failed:
        return QStringLiteral("The grabber could not be started. %1").arg(grab.detail);
    case Outcome::Busy:
        return QStringLiteral("Another grabber run had not finished yet.");
    case Outcome::TimedOut:
        return QStringLiteral("%1 was still running after 30 minutes and was stopped.")
            .arg(grabber);
    case Outcome::Crashed:
        return QStringLiteral("%1 was ended by a signal.").arg(grabber);
    case Outcome::Finished:
        break;
    }
    if (grab.exitCode == 0)
        return {};
    QString text = QStringLiteral("%1 exited with status %2.").arg(grabber).arg(grab.exitCode);
    if (!grab.lastLines.isEmpty())
        text += u'\n' + grab.lastLines.join(u'\n');
    return text;
}

} // namespace

QString shortDayText(QDate day)
{
    return QLocale::c().toString(day, QStringLiteral("ddd MM/dd"));
}

QString loadFailureCause(const QString& grabberName, QDate day,
                         const std::optional<GrabberResult>& grab, const ImportResult& import)
{
    const QString file =
        import.file.isEmpty() ? dayFileName(day) : QFileInfo(import.file).fileName();
    switch (import.status) {
    case ImportResult::Status::NotWellFormed:
        return QStringLiteral("%1 cannot be read: %2").arg(file, parserReason(import.report));
    case ImportResult::Status::NoProgrammes:
        return QStringLiteral("%1 wrote no programme of %2 into %3.")
            .arg(grabberName, shortDayText(day), file);
    case ImportResult::Status::OtherDays:
        // The importer's own line names the dates the file holds and where it went.
        return import.message.section(u'\n', 1).trimmed();
    case ImportResult::Status::FetchRequested:
        break;
    case ImportResult::Status::Busy:
        return QStringLiteral("Another import was still running.");
    case ImportResult::Status::Imported:
    case ImportResult::Status::Failed:
        return {};
    }
    if (!grab)
        return QStringLiteral("There is no file %1.").arg(file);
    const QString cause = grabCause(grabberName, *grab);
    if (!cause.isEmpty())
        return cause;
    return QStringLiteral("%1 wrote no file %2.").arg(grabberName, file);
}

} // namespace zarvo
