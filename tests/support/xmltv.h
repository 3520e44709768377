#pragma once
// XMLTV snippets, written by hand so that each test says what the file holds.

#include "base/clock.h"

#include <QByteArray>
#include <QDate>

namespace zarvo::test::xmltv {

inline QByteArray tv(const QByteArray& body, const QByteArray& encoding = "UTF-8")
{
    return "<?xml version=\"1.0\" encoding=\"" + encoding +
           "\"?>\n<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n<tv generator-info-name=\"test\">\n" + body +
           "</tv>\n";
}

// A channel as the grabbers write it: its name, the name again and its number.
inline QByteArray channel(const QByteArray& id, const QByteArray& name, const QByteArray& number)
{
    return "  <channel id=\"" + id + "\">\n    <display-name>" + name +
           "</display-name>\n    <display-name>" + name + " fcc</display-name>\n" +
           "    <display-name>" + number + "</display-name>\n  </channel>\n";
}

inline QByteArray programme(const QByteArray& start, const QByteArray& stop, const QByteArray& chan,
                            const QByteArray& title, const QByteArray& extra = {})
{
    return "  <programme start=\"" + start + "\" stop=\"" + stop + "\" channel=\"" + chan +
           "\">\n    <title lang=\"en\">" + title + "</title>\n" + extra + "  </programme>\n";
}

// A day of half-hour programmes from midnight (UTC-5) on `channels` channels, titled after `tag`;
// every third a rerun.
inline QByteArray dayFile(QDate day, int channels, int perChannel, const QByteArray& tag)
{
    QByteArray body;
    for (int c = 0; c < channels; ++c)
        body += channel("c" + QByteArray::number(c), tag + " TV " + QByteArray::number(c),
                        QByteArray::number(c + 2));
    const QDateTime midnight = wallClock(day, QTime(0, 0));
    const auto stamp = [&](int i) {
        return midnight.addSecs(i * 1800).toString("yyyyMMddHHmmss").toLatin1() + " -0500";
    };
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < perChannel; ++i)
            body += programme(stamp(i), stamp(i + 1), "c" + QByteArray::number(c),
                              tag + " show " + QByteArray::number(i),
                              i % 3 ? QByteArray() : "    <previously-shown/>\n");
    return tv(body);
}

} // namespace zarvo::test::xmltv
