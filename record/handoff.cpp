#include "record/handoff.h"

#include "base/atomicfile.h"
#include "guide/gridbuilder.h"
#include "store/timerules.h"

#include <QDir>

namespace zarvo {
namespace {

// "hh:mm" of a span in seconds: hours as many as it takes (at least two digits), negative spans
// as "00:00". Seconds are dropped.
QString durationText(qint64 seconds)
{
    const qint64 minutes = qMax<qint64>(seconds, 0) / 60;
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString handOffFileName(HandOffKind kind)
{
    return kind == HandOffKind::Recording ? QStringLiteral("program.tvpi")
                                          : QStringLiteral("program.tvvi");
}

QString handOffTitle(const SelectedProgramme& selected)
{
    return QString(selected.title).replace(QLatin1Char('&'), QLatin1String("and"));
}

RecordedRow recordedRow(const SelectedProgramme& s)
{
    RecordedRow r;
    const qsizetype blank = s.channelName.indexOf(QLatin1Char(' '));
    r.channel = blank < 0 ? QString() : s.channelName.left(blank);
    r.station = blank < 0 ? s.channelName : s.channelName.mid(blank + 1);
    r.title = handOffTitle(s);
    r.subtitle = s.subtitle;
    r.description = s.description;
    r.category = s.category;
    r.rating = s.rating;
    if (s.start.isValid()) {
        r.startdate = recordDate(s.start.date());
        r.starttime = s.start.time().toString(QStringLiteral("hh:mm"));
    }
    if (s.end.isValid()) {
        r.enddate = recordDate(s.end.date());
        r.endtime = s.end.time().toString(QStringLiteral("hh:mm"));
    }
    r.duration = durationText(s.start.isValid() && s.end.isValid() ? s.start.secsTo(s.end) : 0);
    r.filename = r.title + QStringLiteral(" on ") + s.channelName;
    if (s.localDate.isValid())
        r.realdate = dateText(s.localDate);
    if (s.localTime.isValid())
        r.realtime = standardTimeText(s.localTime);
    r.mode = QStringLiteral("cable");
    return r;
}

QByteArray handOffFile(const SelectedProgramme& selected, HandOffKind kind)
{
    const RecordedRow r = recordedRow(selected);
    const QString root = kind == HandOffKind::Recording ? QStringLiteral("tv-program-info")
                                                        : QStringLiteral("tv-viewer-info");
    const auto element = [](const char* name, const QString& value) {
        return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(name), value);
    };
    // Values go in untouched: the tuner applications that read these files expect the text as
    // the guide shows it, and the title's "&" is already "and".
    const QStringList lines = {
        QLatin1Char('<') + root + QLatin1Char('>'),
        QStringLiteral("<program>"),
        element("station", r.station),
        element("tv-mode", r.mode),
        element("program-title", r.title),
        element("program-description", r.description),
        element("start-date", r.startdate),
        element("start-time", r.starttime),
        element("end-date", r.enddate),
        element("end-time", r.endtime),
        element("duration", r.duration),
        element("rf-channel", r.channel),
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

bool logRecording(ListingsStore& store, const SelectedProgramme& selected, Mark action)
{
    // Marked and logged in one unit of the store: both or neither.
    return store.markAndLog(selected.dayTable, selected.programId, action, recordedRow(selected));
}

} // namespace zarvo
