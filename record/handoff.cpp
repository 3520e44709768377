#include "record/handoff.h"

#include "base/atomicfile.h"
#include "store/timerules.h"

#include <QDir>

namespace zarvo {

QString handOffFileName(HandOffKind kind)
{
    return kind == HandOffKind::Recording ? QStringLiteral("program.tvpi")
                                          : QStringLiteral("program.tvvi");
}

QByteArray handOffFile(const SelectedProgramme& s, HandOffKind kind)
{
    const QString root = kind == HandOffKind::Recording ? QStringLiteral("tv-program-info")
                                                        : QStringLiteral("tv-viewer-info");
    const auto element = [](const char* name, const QString& value) {
        return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(name), value);
    };
    // Values go in untouched: the tuner applications that read these files expect the text as
    // the guide shows it, and the title's "&" was already made "and" on selection.
    const QStringList lines = {
        QLatin1Char('<') + root + QLatin1Char('>'),
        QStringLiteral("<program>"),
        element("station", s.progStation),
        element("tv-mode", s.progMode),
        element("program-title", s.progTitle),
        element("program-description", s.progDescription),
        element("start-date", s.progStartDate),
        element("start-time", s.progStartTime),
        element("end-date", s.progEndDate),
        element("end-time", s.progEndTime),
        element("duration", s.progDuration),
        element("rf-channel", s.progChannelNumber),
        QStringLiteral("</program>"),
        QStringLiteral("</") + root + QLatin1Char('>'),
    };
    // Lone CRs between lines and CR LF at the end: the layout those readers have always been
    // given.
    return (lines.join(QLatin1Char('\r')) + QStringLiteral("\r\n")).toUtf8();
}

HandOffResult writeHandOffFile(const ProgramFolder& folder, const SelectedProgramme& selected,
                               HandOffKind kind)
{
    HandOffResult result;
    result.path = folder.file(handOffFileName(kind));
    // Atomic so that a tuner still reading the previous hand-off never sees half of this one.
    try {
        replaceFileAtomically(result.path, handOffFile(selected, kind));
    } catch (const FileError& e) {
        result.error = e.message();
    }
    return result;
}

bool logRecording(ListingsStore& store, SelectedProgramme& s, const QString& action)
{
    s.progFileName = s.progTitle + QStringLiteral(" on ") + channelText(s);

    // Marked and logged in one unit of the store: both or neither.
    return store.markAndLog(s.dayTable, s.progId, action,
                            {s.progStartDate, s.progStartTime, s.progEndDate, s.progEndTime,
                             s.progChannelNumber, s.progTitle, s.progSubtitle, s.progDescription,
                             s.progCategory, s.progRating, s.progFileName, s.progLocalDate,
                             s.progLocalTime, s.progStation, s.progMode, s.progDuration});
}

} // namespace zarvo
