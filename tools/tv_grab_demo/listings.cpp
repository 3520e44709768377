#include "listings.h"

#include "lineup.h"

#include <QDateTime>
#include <QIODevice>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace zarvo::demo {

namespace {

// Parts of the broadcast day by local wall-clock hour; each show lists the parts it airs in.
enum DayPart : unsigned {
    Night = 1,     // 00-06
    Morning = 2,   // 06-09
    Daytime = 4,   // 09-16
    Afternoon = 8, // 16-19
    Prime = 16,    // 19-23: new episodes
    Late = 32,     // 23-24
    AnyPart = 63,
};

unsigned dayPartAt(int wallMinute)
{
    const int hour = wallMinute / 60;
    if (hour < 6)
        return Night;
    if (hour < 9)
        return Morning;
    if (hour < 16)
        return Daytime;
    if (hour < 19)
        return Afternoon;
    if (hour < 23)
        return Prime;
    return Late;
}

enum class Kind { Series, Single };

struct Show
{
    const char* title;
    const char* category;
    const char* rating; // nullptr: unrated, as news and shopping are
    int minutes;
    Kind kind;
    unsigned parts;
    bool weatherAfter; // a 25-minute bulletin followed by the five-minute weather
    const char* desc;
};

struct Film
{
    const char* title;
    const char* genre;
    const char* rating;
    int year;
    const char* desc;
};

// The texts deliberately include every character XML must escape, and apostrophes, which the
// guide's database statements have to cope with.
constexpr std::array shows{
    Show{"Grey's Hospital", "Drama", "TV-14", 60, Kind::Series, Night | Daytime | Prime, false,
         "Surgeons at Demo City General juggle emergencies and each other's secrets."},
    Show{"Law & Order: Demo", "Crime drama", "TV-14", 60, Kind::Series,
         Night | Daytime | Afternoon | Prime, false,
         "Detectives follow a lead from the \"Harbor & Main\" shooting while the D.A. weighs a "
         "plea deal."},
    Show{"Fish & Chips", "Sitcom", "TV-PG", 30, Kind::Series, Night | Daytime | Afternoon | Prime,
         false, "Two brothers run a seaside caf\u00e9 that's always one bad review from closing."},
    Show{"The Neighbours' Garden", "Reality", "TV-G", 30, Kind::Series, Daytime | Prime, false,
         "Rival neighbours race to finish a garden makeover before the first frost."},
    Show{"Harbour Lights", "Drama", "TV-PG", 60, Kind::Series, Night | Prime, false,
         "The harbour master keeps the peace, and the lighthouse, running in a small fishing "
         "town."},
    Show{"Starship Odyssey", "Science fiction", "TV-PG", 60, Kind::Series,
         Night | Afternoon | Prime, false,
         "The crew answers a distress call from a world where 2 + 2 > 4 and 3 < 1."},
    Show{"Mom & Pop's Diner", "Sitcom", "TV-PG", 30, Kind::Series, Night | Afternoon | Prime, false,
         "The breakfast rush meets a health inspector with <very> high standards."},
    Show{"Kitchen Rescue", "Reality", "TV-PG", 60, Kind::Series, Daytime | Prime, false,
         "A celebrity chef gives a failing restaurant one week to turn things around."},
    Show{"Planet Backyard", "Documentary", "TV-G", 60, Kind::Series, Night | Daytime | Prime, false,
         "Hidden wildlife in the most ordinary garden, filmed over a year."},
    Show{"The Late Talk with Sam O'Neil", "Talk", "TV-14", 60, Kind::Series, Night | Late, false,
         "Sam's guests: a chef, a comedian and a dog that \"sings\"."},
    Show{"Robo Pals", "Children", "TV-Y7", 30, Kind::Series, Morning | Afternoon, false,
         "Bolt and Sprocket build a rocket out of cardboard & tape."},
    Show{"Tiny Tales", "Children", "TV-Y", 15, Kind::Single, Morning | Afternoon, false,
         "Short stories for the very young, read aloud with puppets."},
    Show{"Wake Up & Stretch", "Exercise", "TV-G", 15, Kind::Single, Morning, false,
         "Fifteen gentle minutes to start the day."},
    Show{"First Edition", "News", nullptr, 60, Kind::Single, Night | Morning, false,
         "The overnight headlines from home and abroad."},
    Show{"Midday with Rosa", "Talk", "TV-PG", 60, Kind::Single, Daytime, false,
         "Rosa talks money, health and family with guests and the studio audience."},
    Show{"Wheel of Demos", "Game show", "TV-G", 30, Kind::Single, Daytime | Afternoon | Prime,
         false, "Tonight's puzzle category is \"Before & After\"."},
    Show{"Price Is Close", "Game show", "TV-G", 30, Kind::Single, Daytime, false,
         "Contestants guess prices to win what's behind the curtain."},
    Show{"Championship Bowling", "Sports", "TV-G", 90, Kind::Single, Daytime | Afternoon, false,
         "The regional finals, live from Demo Lanes."},
    Show{"Sports Tonight", "Sports", nullptr, 30, Kind::Single, Night | Late, false,
         "Scores, highlights and the day's talking points."},
    Show{"Paid Programming", "Shopping", nullptr, 30, Kind::Single, Night, false,
         "Call now: two for the price of one."},
    Show{"Weather Now", "Weather", nullptr, 15, Kind::Single, AnyPart, false,
         "Forecasts for Demo City and the region."},
};

constexpr Show weatherMinute{
    "Weather Minute", "Weather", nullptr, 5,
    Kind::Single,     0,         false,   "The forecast in a minute, or five."};

// Bulletins at fixed local times on the channels that carry news.
constexpr Show goodMorning{"Good Morning, Demo City",
                           "News",
                           nullptr,
                           120,
                           Kind::Single,
                           0,
                           false,
                           "News, traffic and weather, with the headlines every half hour."};
constexpr Show newsAtNoon{"News at Noon", "News", nullptr, 25,
                          Kind::Single,   0,      true,    "The midday headlines."};
constexpr Show eveningNews{
    "Evening News", "News", nullptr, 25,
    Kind::Single,   0,      true,    "The day's news from Demo City and the world."};
constexpr Show lateNews{
    "Late News",  "News", nullptr, 30,
    Kind::Single, 0,      false,   "The day's stories, sport and tomorrow's weather."};

struct Anchor
{
    int hour;
    const Show* show;
};
constexpr std::array anchors{Anchor{6, &goodMorning}, Anchor{12, &newsAtNoon},
                             Anchor{18, &eveningNews}, Anchor{23, &lateNews}};

// Fills a gap no show fits, which only a zone whose day is not a whole number of quarter hours
// can leave.
constexpr Show stationBreak{"Station Break", "Announcements",
                            nullptr,         0,
                            Kind::Single,    0,
                            false,           "Coming up next on this channel."};

constexpr std::array films{
    Film{"The Lighthouse Keeper's Daughter", "Drama", "TV-PG", 1987,
         "A widower and his daughter keep the light burning through the storm of the century."},
    Film{"Rivers & Roads", "Western", "TV-PG", 1962,
         "Two drifters drive a herd north and fall out over a girl, a map and a mule."},
    Film{"Midnight at the Depot", "Thriller", "TV-PG", 1949,
         "A night porter sees a murder from the last train; nobody believes him."},
    Film{"A Quiet Harbour", "Romance", "TV-PG", 2004,
         "A city architect inherits a boatyard, and its stubborn foreman."},
    Film{"Dust and Thunder", "Western", "TV-14", 1971,
         "The town's new marshal has until sundown to find out who hired the gunmen."},
    Film{"The Clockmaker's Secret", "Mystery", "TV-PG", 1995,
         "Every clock in the village stops at 3:17; the clockmaker's apprentice wants to know "
         "why."},
    Film{"Planet of the Tin Men", "Science fiction", "TV-G", 1958,
         "Astronauts land on a world ruled by robots who have never heard of rust."},
    Film{"Big Trouble at Little Falls", "Comedy", "TV-14", 1999,
         "Two rival scout troops, one campsite and a bear called \"Mr. Whiskers\"."},
};

constexpr std::array episodes{
    "Pilot",          "Crossed Wires",  "Old Friends",         "Snow Day",        "The Wedding",
    "Blackout",       "Second Chances", "Moving Day",          "The Audit",       "Homecoming",
    "Secrets & Lies", "Trial by Fire",  "The Long Goodbye",    "Best-Laid Plans", "Fool's Errand",
    "Out of Time",    "Double Shift",   "The Inspector Calls", "Lost and Found",  "Open House",
    "Thin Ice",       "Full Circle",    "Rock & Roll",         "Nobody's Fault",
};

constexpr int minFilmMinutes = 90;

// A late film starts at 23:00 and runs this many minutes past midnight; 0 means the channel
// closes the day with ordinary programmes. Half the channel-days end with a film.
constexpr std::array lateFilmOverruns{0, 0, 0, 0, 30, 45, 60, 75};

// splitmix64: a cheap, well-mixed hash, so that nearby channels, days and times give unrelated
// choices while the same inputs always give the same ones.
std::uint64_t mix(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t hashOf(int channel, qint64 julianDay, int minute, int salt)
{
    return mix(
        mix(mix(static_cast<std::uint64_t>(julianDay)) ^ static_cast<std::uint64_t>(channel)) ^
        (static_cast<std::uint64_t>(minute) << 8 | static_cast<std::uint64_t>(salt)));
}

int lateFilmOverrun(int channel, qint64 julianDay)
{
    return lateFilmOverruns[hashOf(channel, julianDay, -1, 1) % lateFilmOverruns.size()];
}

struct Slot
{
    int start = 0;  // minutes after the start of the day, elapsed (not wall-clock)
    int length = 0; // minutes
    const Show* show = nullptr;
    const Film* film = nullptr;
    const char* episode = nullptr;
    bool rerun = false;
};

// "YYYYMMDDhhmmss +HHMM" and the local time of day for each instant used; the few hundred
// distinct quarter hours of a run are converted once, not once per channel.
struct Stamp
{
    char text[21];
    int wallMinute;
};

class StampCache
{
public:
    const Stamp& at(qint64 secsSinceEpoch)
    {
        auto [it, inserted] = m_stamps.try_emplace(secsSinceEpoch);
        if (inserted) {
            const QDateTime local = QDateTime::fromSecsSinceEpoch(secsSinceEpoch);
            const QDate d = local.date();
            const QTime t = local.time();
            const int offset = local.offsetFromUtc() / 60;
            const int absOffset = offset < 0 ? -offset : offset;
            // Formatted into a roomy buffer: the compiler cannot tell that every field fits.
            char text[64];
            std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d %c%02d%02d", d.year(),
                          d.month(), d.day(), t.hour(), t.minute(), t.second(),
                          offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
            std::memcpy(it->second.text, text, sizeof it->second.text);
            it->second.text[sizeof it->second.text - 1] = '\0';
            it->second.wallMinute = t.hour() * 60 + t.minute();
        }
        return it->second;
    }

private:
    std::unordered_map<qint64, Stamp> m_stamps;
};

void appendEscaped(std::string& out, const char* text)
{
    for (; *text; ++text) {
        switch (*text) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += *text;
        }
    }
}

void appendElement(std::string& out, const char* indentedOpenTag, const char* text,
                   const char* closeTag)
{
    out += indentedOpenTag;
    appendEscaped(out, text);
    out += closeTag;
}

// One local day: where it starts, how long it is (23 or 25 hours across a daylight-saving
// change) and, in minutes from its start, when the fixed bulletins fall.
struct Day
{
    qint64 julianDay = 0;
    qint64 start = 0; // seconds since the epoch
    int minutes = 0;
    std::array<int, anchors.size()> anchorAt{};

    explicit Day(QDate date) : julianDay(date.toJulianDay())
    {
        start = date.startOfDay().toSecsSinceEpoch();
        minutes = static_cast<int>((date.addDays(1).startOfDay().toSecsSinceEpoch() - start) / 60);
        for (std::size_t i = 0; i < anchors.size(); ++i) {
            const QDateTime at(date, QTime(anchors[i].hour, 0));
            // An hour skipped by a clock change has no bulletin.
            anchorAt[i] = at.isValid() && at.time().hour() == anchors[i].hour
                              ? static_cast<int>((at.toSecsSinceEpoch() - start) / 60)
                              : -1;
        }
    }
};

class Planner
{
public:
    explicit Planner(StampCache& stamps) : m_stamps(stamps) {}

    // The channel's programmes starting within one day. The day begins where the previous
    // day's late film ended and ends with this day's late film, if it has one.
    const std::vector<Slot>& plan(int channel, const Day& day)
    {
        m_slots.clear();
        const int overrun = lateFilmOverrun(channel, day.julianDay);
        const int fillEnd = overrun > 0 ? day.minutes - 60 : day.minutes;
        const bool carriesNews = hashOf(channel, 0, -2, 3) % 5 < 3;
        int t = lateFilmOverrun(channel, day.julianDay - 1);
        while (t < fillEnd) {
            int until = fillEnd;
            const Show* anchored = nullptr;
            for (std::size_t i = 0; carriesNews && i < anchors.size(); ++i) {
                const int at = day.anchorAt[i];
                if (at == t && anchors[i].show->minutes <= fillEnd - t)
                    anchored = anchors[i].show;
                else if (at > t && at < until)
                    until = at;
            }
            if (anchored) {
                t = place(*anchored, t, false, channel, day.julianDay);
                continue;
            }
            const std::uint64_t h = hashOf(channel, day.julianDay, t, 0);
            const int wallMinute = m_stamps.at(day.start + t * 60LL).wallMinute;
            t = pick(channel, day.julianDay, t, until - t, wallMinute, h);
        }
        if (overrun > 0) {
            Slot film;
            film.start = fillEnd;
            film.length = day.minutes - fillEnd + overrun;
            film.film = &films[hashOf(channel, day.julianDay, fillEnd, 2) % films.size()];
            m_slots.push_back(film);
        }
        return m_slots;
    }

private:
    // Appends a programme from the free pool (a film, a show, or a break when nothing fits the
    // `room` minutes) starting at `t`; returns its end.
    int pick(int channel, qint64 julianDay, int t, int room, int wallMinute, std::uint64_t h)
    {
        const unsigned part = dayPartAt(wallMinute);
        // After a film that ended at a quarter past or a quarter to, a short item brings the
        // channel back to the half-hour grid the guide is drawn on.
        const int toHalfHour = (30 - wallMinute % 30) % 30;
        m_candidates.clear();
        for (int pass = 0; pass < 2 && m_candidates.empty(); ++pass) {
            for (const Show& s : shows) {
                if ((s.parts & part) && s.minutes <= room &&
                    (pass == 1 || s.minutes % 30 == toHalfHour))
                    m_candidates.push_back(&s);
            }
        }
        const Slot* previous = m_slots.empty() ? nullptr : &m_slots.back();
        // The same show twice in a row only when nothing else fits.
        if (m_candidates.size() > 1 && previous)
            std::erase(m_candidates, previous->show);
        const bool filmFits =
            (part & (Night | Daytime | Prime)) && room >= minFilmMinutes && toHalfHour == 0;
        const std::size_t choices = m_candidates.size() + (filmFits ? 1 : 0);
        if (choices == 0) {
            Slot slot;
            slot.start = t;
            slot.length = room;
            slot.show = &stationBreak;
            m_slots.push_back(slot);
            return t + room;
        }
        const std::size_t choice = h % choices;
        if (choice < m_candidates.size())
            return place(*m_candidates[choice], t, !(part & (Prime | Late)) || (h >> 24) % 5 == 0,
                         channel, julianDay, h >> 32);
        Slot slot;
        slot.start = t;
        slot.length = room >= 120 && (h >> 40) % 2 ? 120 : minFilmMinutes;
        std::size_t film = (h >> 16) % films.size();
        if (previous && previous->film == &films[film])
            film = (film + 1) % films.size();
        slot.film = &films[film];
        m_slots.push_back(slot);
        return t + slot.length;
    }

    // Appends `show` at `t` (and the weather after a bulletin); returns where it ends. Series get
    // an episode: a repeat picks one by `h`, a first showing the one due that day, so a channel's
    // new episodes differ from day to day.
    int place(const Show& show, int t, bool repeat, int channel, qint64 julianDay,
              std::uint64_t h = 0)
    {
        Slot slot;
        slot.start = t;
        slot.length = show.minutes;
        slot.show = &show;
        if (show.kind == Kind::Series) {
            slot.rerun = repeat;
            const auto showIndex = static_cast<std::uint64_t>(&show - shows.data());
            const std::uint64_t episode = repeat ? h
                                                 : static_cast<std::uint64_t>(julianDay) +
                                                       showIndex * 7 +
                                                       static_cast<std::uint64_t>(channel) * 13;
            slot.episode = episodes[episode % episodes.size()];
        }
        m_slots.push_back(slot);
        t += slot.length;
        if (show.weatherAfter) {
            Slot weather;
            weather.start = t;
            weather.length = weatherMinute.minutes;
            weather.show = &weatherMinute;
            m_slots.push_back(weather);
            t += weather.length;
        }
        return t;
    }

    StampCache& m_stamps;
    std::vector<Slot> m_slots;
    std::vector<const Show*> m_candidates;
};

void appendProgramme(std::string& out, const Slot& slot, const std::string& channelId,
                     const Stamp& start, const Stamp* stop)
{
    out += "  <programme start=\"";
    out.append(start.text, sizeof start.text - 1);
    if (stop) {
        out += "\" stop=\"";
        out.append(stop->text, sizeof stop->text - 1);
    }
    out += "\" channel=\"";
    out += channelId;
    out += "\">\n";
    const char* rating = nullptr;
    if (slot.film) {
        const Film& f = *slot.film;
        appendElement(out, "    <title lang=\"en\">", f.title, "</title>\n");
        appendElement(out, "    <desc lang=\"en\">", f.desc, "</desc>\n");
        out += "    <date>" + std::to_string(f.year) + "</date>\n";
        out += "    <category lang=\"en\">Movie</category>\n";
        appendElement(out, "    <category lang=\"en\">", f.genre, "</category>\n");
        rating = f.rating;
    } else {
        const Show& s = *slot.show;
        appendElement(out, "    <title lang=\"en\">", s.title, "</title>\n");
        if (slot.episode)
            appendElement(out, "    <sub-title lang=\"en\">", slot.episode, "</sub-title>\n");
        appendElement(out, "    <desc lang=\"en\">", s.desc, "</desc>\n");
        appendElement(out, "    <category lang=\"en\">", s.category, "</category>\n");
        if (slot.rerun)
            out += "    <previously-shown/>\n";
        rating = s.rating;
    }
    if (rating)
        appendElement(out, "    <rating system=\"VCHIP\">\n      <value>", rating,
                      "</value>\n    </rating>\n");
    out += "  </programme>\n";
}

void appendChannel(std::string& out, int index)
{
    const QByteArray number = QByteArray::number(channelNumber(index));
    const QByteArray call = callLetters(index).toUtf8();
    out += "  <channel id=\"";
    appendEscaped(out, channelId(index).toUtf8().constData());
    out += "\"><display-name>";
    out += number.constData();
    out += ' ';
    out += call.constData();
    out += "</display-name><display-name>";
    out += call.constData();
    out += "</display-name><display-name>";
    out += number.constData();
    out += "</display-name><icon src=\"";
    appendEscaped(out, logoSource(index).toUtf8().constData());
    out += "\"/></channel>\n";
}

class Sink
{
public:
    explicit Sink(QIODevice& device) : m_device(device) { buffer.reserve(chunk + chunk / 4); }

    std::string buffer;

    // Hands the buffer to the device once it holds a chunk (or always, when `force`).
    bool flush(bool force = false)
    {
        if (!force && buffer.size() < chunk)
            return true;
        const qint64 size = static_cast<qint64>(buffer.size());
        const bool ok = m_device.write(buffer.data(), size) == size;
        buffer.clear();
        return ok;
    }

private:
    static constexpr std::size_t chunk = 1 << 20;
    QIODevice& m_device;
};

} // namespace

qint64 writeListings(const ListingsRequest& request, QIODevice& out)
{
    Sink sink(out);
    std::string& buf = sink.buffer;
    buf += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n"
           "<tv source-info-name=\"Zarvo Guide demonstration listings\" "
           "generator-info-name=\"tv_grab_demo\">\n";

    std::vector<std::string> ids;
    ids.reserve(static_cast<std::size_t>(request.channels));
    for (int c = 0; c < request.channels; ++c) {
        appendChannel(buf, c);
        ids.push_back(channelId(c).toStdString());
        if (!sink.flush())
            return -1;
    }

    StampCache stamps;
    Planner planner(stamps);
    qint64 count = 0;
    for (int d = 0; d < request.days; ++d) {
        const Day day(request.firstDay.addDays(d));
        const bool lastDay = d == request.days - 1;
        for (int c = 0; c < request.channels; ++c) {
            const std::vector<Slot>& slots = planner.plan(c, day);
            for (std::size_t i = 0; i < slots.size(); ++i) {
                const Slot& s = slots[i];
                const qint64 start = day.start + s.start * 60LL;
                // Nothing follows the run's last programme, so its end is not known.
                const bool open = lastDay && i + 1 == slots.size();
                const Stamp* stop = open ? nullptr : &stamps.at(start + s.length * 60LL);
                appendProgramme(buf, s, ids[static_cast<std::size_t>(c)], stamps.at(start), stop);
            }
            count += static_cast<qint64>(slots.size());
            if (!sink.flush())
                return -1;
        }
    }
    buf += "</tv>\n";
    return sink.flush(true) ? count : -1;
}

} // namespace zarvo::demo
