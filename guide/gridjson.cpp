#include "guide/gridjson.h"

#include <QJsonArray>

namespace zarvo {

namespace {

// Minutes are enough for the guide's half hours, and the ISO order sorts as text.
QString dateTimeText(QDate date, QTime time)
{
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
           time.toString(QStringLiteral("HH:mm"));
}

QJsonValue cellJson(const std::optional<GridCell>& cell)
{
    if (!cell)
        return QJsonValue(QJsonValue::Null);
    return QJsonObject{
        {QStringLiteral("title"), cell->title},
        {QStringLiteral("marker"), cell->marker ? markText(*cell->marker) : QString()},
        {QStringLiteral("programid"), cell->programId},
        {QStringLiteral("start"), dateTimeText(cell->startDate, cell->startTime)},
        {QStringLiteral("end"), dateTimeText(cell->endDate, cell->endTime)}};
}

} // namespace

QJsonObject gridPageJson(const GridPage& page)
{
    QJsonArray header;
    for (const QString& text : page.header)
        header.append(text);
    QJsonArray rows;
    for (const GridRow& row : page.rows) {
        rows.append(QJsonObject{
            {QStringLiteral("channel"), row.channelName},
            {QStringLiteral("icon"), row.icon},
            {QStringLiteral("merged"), row.merged},
            {QStringLiteral("cells"), QJsonArray{cellJson(row.cells[0]), cellJson(row.cells[1])}}});
    }
    return QJsonObject{{QStringLiteral("header"), header}, {QStringLiteral("rows"), rows}};
}

QJsonObject programmeJson(const ProgrammeRow& p)
{
    const auto time = [](QTime t) { return t.toString(QStringLiteral("HH:mm:ss")); };
    return QJsonObject{
        {QStringLiteral("programid"), p.programid},
        {QStringLiteral("startdate"), p.startdate.toString(Qt::ISODate)},
        {QStringLiteral("starttime"), time(p.starttime)},
        {QStringLiteral("enddate"), p.enddate.toString(Qt::ISODate)},
        {QStringLiteral("endtime"), time(p.endtime)},
        {QStringLiteral("channel"), p.channel},
        {QStringLiteral("title"), p.title},
        {QStringLiteral("subtitle"), p.subtitle},
        {QStringLiteral("description"), p.description},
        {QStringLiteral("category"), p.category},
        {QStringLiteral("rating"), p.rating},
        {QStringLiteral("rerun"), p.rerun},
        {QStringLiteral("action"), p.action ? QJsonValue(markText(*p.action)) : QJsonValue()},
    };
}

} // namespace zarvo
