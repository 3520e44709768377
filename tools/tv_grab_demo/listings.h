#pragma once
// Demonstration listings in XMLTV form: a made-up but plausible schedule for any number of
// channels, the same for the same day on every run.

#include <QDate>
#include <QtGlobal>

class QIODevice;

namespace zarvo::demo {

struct ListingsRequest
{
    QDate firstDay;    // listings start at local midnight of this day
    int days = 1;      // 1 or more
    int channels = 40; // 1 to maxChannels (lineup.h)
};

// Writes one complete XMLTV document (UTF-8) to `out`, streaming, and returns the number of
// programmes written, or -1 when writing to `out` fails.
//
// Every programme starts within the requested days, counted in local time from midnight of
// firstDay; its time stamps carry the local UTC offset at that moment, so a run across a
// daylight-saving change shows both offsets. A day's programmes do not depend on which other
// days are asked for: fetching day by day gives the same programmes as fetching a week at once,
// except that the last programme of each channel in a run has no stop time. A late film may run
// past midnight; the next day then starts when it ends.
//
// Channel elements keep their children on one line with no text in between, because readers
// take a channel's name, number and icon by child position.
qint64 writeListings(const ListingsRequest& request, QIODevice& out);

} // namespace zarvo::demo
