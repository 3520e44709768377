// The demonstration grabber and the xmltv dispatcher script, run as the batch runs them: as
// separate processes, with the time zone set in their environment.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <pugixml.hpp>

#include <map>
#include <memory>
#include <optional>

namespace {

const QString grabber = QStringLiteral(TV_GRAB_DEMO_BIN);
const QString dispatcherScript = QStringLiteral(ZARVO_SOURCE_DIR "/tools/xmltv");
const QByteArray newYork = "America/New_York";

struct Run
{
    bool finished = false;
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// Standard input stays open while the process runs: a program that waited for input would time
// out instead of passing.
Run run(const QString& program, const QStringList& args, const QByteArray& tz = newYork,
        const QString& path = QString(), int timeoutMs = 60000)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QString::fromLatin1(tz));
    if (!path.isNull())
        env.insert(QStringLiteral("PATH"), path);
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted())
        return r;
    r.finished = p.waitForFinished(timeoutMs);
    if (!r.finished) {
        p.kill();
        p.waitForFinished();
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

Run grab(const QStringList& args, const QByteArray& tz = newYork)
{
    return run(grabber, QStringList{QStringLiteral("--quiet")} + args, tz);
}

// "YYYYMMDDhhmmss +HHMM": the wall-clock time as written and the instant it names.
struct Stamp
{
    QDateTime wall; // as written, without zone
    int offset = 0; // seconds east of UTC
    qint64 utc = 0;
};

std::optional<Stamp> parseStamp(const char* text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{14}) ([+-])(\\d\\d)(\\d\\d)$"));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(text));
    if (!m.hasMatch())
        return std::nullopt;
    Stamp s;
    s.wall = QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMddHHmmss"));
    s.wall.setTimeSpec(Qt::UTC);
    s.offset = (m.captured(3).toInt() * 3600 + m.captured(4).toInt() * 60) *
               (m.captured(2) == QLatin1String("-") ? -1 : 1);
    s.utc = s.wall.toSecsSinceEpoch() - s.offset;
    return s.wall.isValid() ? std::optional(s) : std::nullopt;
}

struct Programme
{
    pugi::xml_node node;
    QString channel;
    Stamp start;
    std::optional<Stamp> stop;
    QString title() const { return QString::fromUtf8(node.child_value("title")); }
    bool rerun() const { return node.child("previously-shown"); }
};

struct Listings
{
    pugi::xml_document doc;
    QList<pugi::xml_node> channels;
    QList<Programme> programmes;
    // Programmes by channel id, in document order.
    std::map<QString, QList<Programme>> byChannel;
};

// Parses and checks what every programme must satisfy; fails the test on the first fault.
std::unique_ptr<Listings> parse(const QByteArray& xml)
{
    auto l = std::make_unique<Listings>();
    const pugi::xml_parse_result res =
        l->doc.load_buffer(xml.constData(), static_cast<size_t>(xml.size()),
                           pugi::parse_default | pugi::parse_ws_pcdata | pugi::parse_declaration |
                               pugi::parse_doctype);
    if (!res) {
        qWarning("not well-formed: %s at %lld", res.description(),
                 static_cast<long long>(res.offset));
        return nullptr;
    }
    const pugi::xml_node tv = l->doc.child("tv");
    for (pugi::xml_node n : tv.children("channel"))
        l->channels << n;
    for (pugi::xml_node n : tv.children("programme")) {
        Programme p;
        p.node = n;
        const pugi::xml_attribute first = n.first_attribute();
        const pugi::xml_attribute second = first.next_attribute();
        const bool hasStop = QByteArray(second.name()) == "stop";
        const pugi::xml_attribute channel = hasStop ? second.next_attribute() : second;
        if (QByteArray(first.name()) != "start" || QByteArray(channel.name()) != "channel" ||
            channel.next_attribute()) {
            qWarning("programme attributes not start, stop, channel");
            return nullptr;
        }
        const auto start = parseStamp(first.value());
        const auto stop = hasStop ? parseStamp(second.value()) : std::nullopt;
        if (!start || (hasStop && !stop)) {
            qWarning("bad stamp %s / %s", first.value(), second.value());
            return nullptr;
        }
        p.channel = QString::fromUtf8(channel.value());
        p.start = *start;
        p.stop = stop;
        l->programmes << p;
        l->byChannel[p.channel] << p;
    }
    return l;
}

QDateTime localMidnight(QDate day, const QByteArray& tz)
{
    return day.startOfDay(QTimeZone(tz));
}

bool writeFile(const QString& path, const QByteArray& text, bool executable = false)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() &&
           (!executable || f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
}

pugi::xml_node firstElement(pugi::xml_node parent)
{
    pugi::xml_node n = parent.first_child();
    while (n && n.type() != pugi::node_element)
        n = n.next_sibling();
    return n;
}

} // namespace

class TestDemoGrabber : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void documentHeader();
    void sameArgumentsSameBytes();
    void coversRequestedDays_data();
    void coversRequestedDays();
    void dayByDayMatchesOneRun();
    void channelElements();
    void programmeElements();
    void thousandChannelsForAWeek();
    void outputFile();
    void options_data();
    void options();
    void configureLeavesConfigFile();
    void logosMatchIcons();
    void dispatcher_data();
    void dispatcher();

private:
    QTemporaryDir m_tmp;
    QString m_tools; // the program folder's xmltv/, with an awkward name
    QString m_oddTools;
    QString m_pathDir;
    QString m_linkDir;
};

void TestDemoGrabber::initTestCase()
{
    QVERIFY(QFileInfo(grabber).isExecutable());
    QVERIFY(m_tmp.isValid());
}

void TestDemoGrabber::documentHeader()
{
    const Run r = grab({"--today", "2026-03-10"});
    QVERIFY(r.finished);
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n"));
    const auto l = parse(r.out);
    QVERIFY(l);
    const pugi::xml_node tv = l->doc.document_element();
    QCOMPARE(QByteArray(tv.name()), QByteArray("tv"));
    QCOMPARE(QByteArray(tv.attribute("generator-info-name").value()), QByteArray("tv_grab_demo"));
    QVERIFY(!QByteArray(tv.attribute("source-info-name").value()).isEmpty());
    QCOMPARE(l->channels.size(), 40); // the default
    // pugixml lets a bare "&" through; other readers do not.
    const QRegularExpression bareAmpersand(QStringLiteral("&(?!(amp|lt|gt|quot|apos);)"));
    QVERIFY(!bareAmpersand.match(QString::fromUtf8(r.out)).hasMatch());
    QVERIFY(r.out.contains("Law &amp; Order: Demo"));
    // The non-ASCII text is UTF-8 as declared.
    QVERIFY(r.out.contains("caf\xc3\xa9"));
}

void TestDemoGrabber::sameArgumentsSameBytes()
{
    const QStringList args{"--today", "2026-10-30", "--days", "3", "--channels", "25"};
    const Run a = grab(args);
    const Run b = grab(args);
    QCOMPARE(a.code, 0);
    QVERIFY(a.out.size() > 10000);
    QVERIFY(a.out == b.out);
    QVERIFY(grab({"--today", "2026-10-31", "--days", "3", "--channels", "25"}).out != a.out);
}

void TestDemoGrabber::coversRequestedDays_data()
{
    QTest::addColumn<QByteArray>("tz");
    QTest::addColumn<QString>("today");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("offsetsSeen"); // distinct UTC offsets in the run

    QTest::newRow("one day") << newYork << "2026-03-10" << 0 << 1 << 1;
    QTest::newRow("ahead") << newYork << "2026-03-10" << 2 << 3 << 1;
    QTest::newRow("behind") << newYork << "2026-03-10" << -6 << 2 << 1;
    QTest::newRow("spring forward") << newYork << "2026-03-07" << 0 << 3 << 2;
    QTest::newRow("fall back") << newYork << "2026-10-31" << 0 << 3 << 2;
    QTest::newRow("fall back, offset") << newYork << "2026-10-29" << 3 << 1 << 2;
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin") << "2026-03-28" << 0 << 2 << 2;
    QTest::newRow("half-hour change")
        << QByteArray("Australia/Lord_Howe") << "2026-04-04" << 0 << 2 << 2;
    QTest::newRow("UTC") << QByteArray("UTC") << "2026-01-01" << 0 << 2 << 1;
}

void TestDemoGrabber::coversRequestedDays()
{
    QFETCH(QByteArray, tz);
    QFETCH(QString, today);
    QFETCH(int, offset);
    QFETCH(int, days);
    QFETCH(int, offsetsSeen);

    const Run r = grab(
        {"--today", today, "--offset", QString::number(offset), "--days", QString::number(days)},
        tz);
    QCOMPARE(r.code, 0);
    const auto l = parse(r.out);
    QVERIFY(l);
    const QTimeZone zone(tz);
    const QDate first = QDate::fromString(today, Qt::ISODate).addDays(offset);
    const qint64 from = localMidnight(first, tz).toSecsSinceEpoch();
    const qint64 to = localMidnight(first.addDays(days), tz).toSecsSinceEpoch();

    QSet<int> offsets;
    int startingAtMidnight = 0;
    for (const auto& [channel, list] : l->byChannel) {
        QSet<QDate> daysSeen;
        for (int i = 0; i < list.size(); ++i) {
            const Programme& p = list[i];
            QVERIFY2(p.start.utc >= from && p.start.utc < to, qPrintable(p.title()));
            daysSeen << p.start.wall.date();
            // Each stamp is the zone's own reading of its instant.
            for (const Stamp* s : {&p.start, p.stop ? &*p.stop : nullptr}) {
                if (!s)
                    continue;
                const QDateTime inZone = QDateTime::fromSecsSinceEpoch(s->utc, zone);
                QCOMPARE(s->offset, inZone.offsetFromUtc());
                QCOMPARE(s->wall.date(), inZone.date());
                QCOMPARE(s->wall.time(), inZone.time());
                offsets << s->offset;
            }
            // A channel's programmes follow one another without gap or overlap; only the last
            // is open-ended.
            if (i + 1 < list.size()) {
                QVERIFY(p.stop);
                QCOMPARE(p.stop->utc, list[i + 1].start.utc);
            } else {
                QVERIFY(!p.stop);
            }
        }
        QCOMPARE(daysSeen.size(), days);
        // A channel starts at midnight or when the previous evening's film ends.
        const qint64 lead = list.first().start.utc - from;
        QVERIFY(lead >= 0 && lead <= 90 * 60);
        startingAtMidnight += lead == 0;
    }
    QCOMPARE(int(l->byChannel.size()), 40);
    QVERIFY(startingAtMidnight > 0);
    QCOMPARE(offsets.size(), offsetsSeen);
}

// The guide fetches one day per file; those files must hold what a longer run does.
void TestDemoGrabber::dayByDayMatchesOneRun()
{
    const auto key = [](const Programme& p) {
        return p.channel + ' ' + QString::number(p.start.utc) + ' ' + p.title() + ' ' +
               QString::fromUtf8(p.node.child_value("sub-title")) + (p.rerun() ? " R" : " N");
    };
    const auto whole = parse(grab({"--today", "2026-10-31", "--days", "3"}).out);
    QVERIFY(whole);
    QHash<QString, std::optional<Stamp>> stops;
    QStringList expected, actual;
    for (const Programme& p : whole->programmes) {
        expected << key(p);
        stops.insert(key(p), p.stop);
    }
    int open = 0;
    for (int d = 0; d < 3; ++d) {
        const auto day = parse(grab({"--today", "2026-10-31", "--offset", QString::number(d)}).out);
        QVERIFY(day);
        for (const Programme& p : day->programmes) {
            actual << key(p);
            QVERIFY(stops.contains(key(p)));
            const std::optional<Stamp> stop = stops.value(key(p));
            if (p.stop)
                QCOMPARE(p.stop->utc, stop->utc);
            else if (d < 2)
                ++open; // a day file's last programme, which the longer run continues
            else
                QVERIFY(!stop);
        }
    }
    QCOMPARE(open, 2 * 40);
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);
}

void TestDemoGrabber::channelElements()
{
    const Run r = grab({"--today", "2026-03-10", "--channels", "1000"});
    QCOMPARE(r.code, 0);
    const auto l = parse(r.out);
    QVERIFY(l);
    QCOMPARE(l->channels.size(), 1000);
    static const QRegularExpression callRe(QStringLiteral("^[A-Z]{4}$"));
    QSet<QString> ids, calls;
    QString folderUrl;
    for (int i = 0; i < l->channels.size(); ++i) {
        const pugi::xml_node c = l->channels[i];
        // The importer reads by position: name, call letters, number, icon, with no text
        // nodes in between.
        QList<pugi::xml_node> kids;
        for (pugi::xml_node k : c.children())
            kids << k;
        QCOMPARE(kids.size(), 4);
        for (int k = 0; k < 3; ++k)
            QCOMPARE(QByteArray(kids[k].name()), QByteArray("display-name"));
        QCOMPARE(QByteArray(kids[3].name()), QByteArray("icon"));
        const QString number = QString::number(i + 2);
        const QString call = QString::fromUtf8(kids[1].child_value());
        QVERIFY2(callRe.match(call).hasMatch(), qPrintable(call));
        QCOMPARE(QString::fromUtf8(kids[0].child_value()), number + ' ' + call);
        QCOMPARE(QString::fromUtf8(kids[2].child_value()), number);
        const QString src = QString::fromUtf8(kids[3].first_attribute().value());
        QCOMPARE(QByteArray(kids[3].first_attribute().name()), QByteArray("src"));
        // Both ways of taking the file name give the logo's name.
        QCOMPARE(src.section('/', -1), call + ".png");
        QCOMPARE(src.mid(47), call + ".png");
        if (i == 0)
            folderUrl = src.left(47);
        QCOMPARE(src.left(47), folderUrl);
        ids << QString::fromUtf8(c.attribute("id").value());
        calls << call;
    }
    QCOMPARE(ids.size(), 1000);
    QCOMPARE(calls.size(), 1000);
    for (const Programme& p : l->programmes)
        QVERIFY(ids.contains(p.channel));
    QCOMPARE(int(l->byChannel.size()), 1000);
}

void TestDemoGrabber::programmeElements()
{
    const auto l = parse(grab({"--today", "2026-03-10", "--days", "2"}).out);
    QVERIFY(l);
    QSet<QString> seriesTitles;
    int reruns = 0, firstShowings = 0, pastMidnight = 0, quarterHours = 0;
    bool ampersand = false, apostrophe = false, less = false, greater = false, quote = false;
    QSet<qint64> lengths;
    for (const Programme& p : l->programmes) {
        const pugi::xml_node title = firstElement(p.node);
        QCOMPARE(QByteArray(title.name()), QByteArray("title"));
        QCOMPARE(QByteArray(title.attribute("lang").value()), QByteArray("en"));
        QVERIFY(!p.title().isEmpty());
        ampersand |= p.title().contains('&');
        apostrophe |= p.title().contains('\'');
        const QString desc = QString::fromUtf8(p.node.child_value("desc"));
        less |= desc.contains('<');
        greater |= desc.contains('>');
        quote |= desc.contains('"');
        if (const pugi::xml_node rating = p.node.child("rating")) {
            QCOMPARE(QByteArray(rating.attribute("system").value()), QByteArray("VCHIP"));
            QVERIFY(QByteArray(rating.child_value("value")).startsWith("TV-"));
        }
        if (p.node.child("sub-title"))
            p.rerun() ? ++reruns : ++firstShowings;
        QVERIFY(p.node.child("sub-title") || !p.rerun());
        const QString category = QString::fromUtf8(p.node.child_value("category"));
        if (p.stop) {
            lengths << (p.stop->utc - p.start.utc) / 60;
            if (category == "Movie" && p.stop->wall.date() > p.start.wall.date())
                ++pastMidnight;
        }
        quarterHours += p.start.wall.time().minute() % 15 == 0;
    }
    QVERIFY(reruns > 0);
    QVERIFY(firstShowings > 0);
    QVERIFY(pastMidnight > 0);
    QVERIFY(ampersand);
    QVERIFY(apostrophe);
    QVERIFY(less && greater && quote);
    for (qint64 minutes : {15, 30, 60, 90, 120})
        QVERIFY2(lengths.contains(minutes), qPrintable(QString::number(minutes)));
    QVERIFY(quarterHours * 10 >= l->programmes.size() * 9);
}

void TestDemoGrabber::thousandChannelsForAWeek()
{
    const QString file = m_tmp.filePath("week.xml");
    QElapsedTimer timer;
    timer.start();
    const Run r = grab({"--channels", "1000", "--days", "7", "--output", file});
    // Benchmarks need a few seconds at most; a generous bound still catches a slow algorithm
    // on a loaded or instrumented build.
    QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(r.code, 0);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.endsWith("</tv>\n"));
    QCOMPARE(bytes.count("<channel "), qsizetype(1000));
    QVERIFY(bytes.count("<programme ") > 1000 * 7 * 20);
    QCOMPARE(bytes.count("<programme ") - bytes.count(" stop=\""), qsizetype(1000));
}

void TestDemoGrabber::outputFile()
{
    const QString file = m_tmp.filePath("day.xml");
    const QStringList args{"--today", "2026-03-10", "--channels", "5"};
    const Run toFile = grab(args + QStringList{"--output", file});
    QCOMPARE(toFile.code, 0);
    QVERIFY(toFile.out.isEmpty());
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll() == grab(args).out);

    const Run bad = grab(args + QStringList{"--output", m_tmp.filePath("no/such/dir/x.xml")});
    QCOMPARE(bad.code, 1);
    QVERIFY(!bad.err.isEmpty());
}

void TestDemoGrabber::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out"); // pattern for standard output

    QTest::newRow("description") << QStringList{"--description"} << 0
                                 << "^Demonstration listings \\(no listings service needed\\)\n$";
    QTest::newRow("capabilities") << QStringList{"--capabilities"} << 0
                                  << "^baseline\nmanualconfig\n$";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "^tv_grab_demo \\d+\\.\\d+";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--offset";
    QTest::newRow("configure") << QStringList{"--configure"} << 0 << "no configuration";
    QTest::newRow("configure, batch form")
        << QStringList{"--configure", "--auto-config", "add"} << 0 << "no configuration";
    QTest::newRow("configure, other mode")
        << QStringList{"--configure", "--auto-config", "ignore", "--config-file", "/dev/null"} << 0
        << "no configuration";
    QTest::newRow("config file while grabbing")
        << QStringList{"--config-file", "/no/such", "--channels", "1", "--today", "2026-03-10"} << 0
        << "^<\\?xml";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 1 << "^$";
    QTest::newRow("single dash") << QStringList{"-days", "2"} << 1 << "^$";
    QTest::newRow("days not a number") << QStringList{"--days", "x"} << 1 << "^$";
    QTest::newRow("no days") << QStringList{"--days", "0"} << 1 << "^$";
    QTest::newRow("offset not a number") << QStringList{"--offset", "1.5"} << 1 << "^$";
    QTest::newRow("too many channels") << QStringList{"--channels", "10001"} << 1 << "^$";
    QTest::newRow("no such date") << QStringList{"--today", "2026-02-30"} << 1 << "^$";
    QTest::newRow("argument") << QStringList{"listings.xml"} << 1 << "^$";
}

void TestDemoGrabber::options()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, out);
    const Run r = run(grabber, args, newYork, QString(), 20000);
    QVERIFY2(r.finished, "waited for input or hung");
    QCOMPARE(r.code, code);
    QVERIFY2(QRegularExpression(out).match(QString::fromUtf8(r.out)).hasMatch(),
             r.out.left(200).constData());
    if (code != 0)
        QVERIFY(r.err.contains("tv_grab_demo"));
}

void TestDemoGrabber::configureLeavesConfigFile()
{
    const QString fresh = m_tmp.filePath("fresh.conf");
    QCOMPARE(run(grabber, {"--configure", "--config-file", fresh}).code, 0);
    QVERIFY(QFileInfo::exists(fresh));

    // Someone else's configuration is not overwritten.
    const QString other = m_tmp.filePath("other.conf");
    QVERIFY(writeFile(other, "channel 1\n"));
    QCOMPARE(run(grabber, {"--configure", "--config-file", other}).code, 0);
    QFile f(other);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("channel 1\n"));
}

void TestDemoGrabber::logosMatchIcons()
{
    const QString dir = m_tmp.filePath("logos");
    const Run r = grab({"--logos", dir, "--channels", "5"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.isEmpty());
    const auto l = parse(grab({"--channels", "5", "--today", "2026-03-10"}).out);
    QVERIFY(l);
    QStringList icons;
    for (pugi::xml_node c : l->channels)
        icons << QString::fromUtf8(c.child("icon").attribute("src").value()).section('/', -1);
    icons.sort();
    QCOMPARE(QDir(dir).entryList(QDir::Files, QDir::Name), icons);
    for (const QString& name : icons) {
        QFile f(QDir(dir).filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray png = f.readAll();
        QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
        // IHDR: width and height, big-endian, at bytes 16 and 20.
        QCOMPARE(png.mid(12, 4), QByteArray("IHDR"));
        QCOMPARE(png.mid(16, 8), QByteArray("\0\0\0\x60\0\0\0\x40", 8));
    }
}

void TestDemoGrabber::dispatcher_data()
{
    // A program folder whose name the shell must not split, expand or unquote.
    QVERIFY(QDir(m_tmp.path()).mkpath("prog $HOME 'q' \"dq\" `x` \\/xmltv"));
    m_tools = m_tmp.filePath("prog $HOME 'q' \"dq\" `x` \\/xmltv");
    m_oddTools = m_tmp.filePath("ends in a newline\n");
    m_pathDir = m_tmp.filePath("bin");
    m_linkDir = m_tmp.filePath("links");
    for (const QString& d : {m_oddTools, m_pathDir, m_linkDir})
        QVERIFY(QDir().mkpath(d));
    for (const QString& d : {m_tools, m_oddTools}) {
        QFile::remove(d + "/xmltv");
        QVERIFY(QFile::copy(dispatcherScript, d + "/xmltv"));
        QVERIFY(writeFile(d + "/hello", "#!/bin/sh\nprintf '[%s]' \"$@\"; echo\n", true));
    }
    QVERIFY(writeFile(m_tools + "/both", "#!/bin/sh\necho local\n", true));
    QVERIFY(writeFile(m_tools + "/exit3", "#!/bin/sh\nexit 3\n", true));
    QFile::remove(m_tools + "/tv_grab_demo");
    QVERIFY(QFile::copy(grabber, m_tools + "/tv_grab_demo"));
    // Neither a folder nor a plain file without execute permission is a tool: PATH's runs.
    QVERIFY(QDir(m_tools).mkpath("pathtool"));
    QFile skipped(m_tools + "/skipme");
    QVERIFY(skipped.open(QIODevice::WriteOnly));
    QVERIFY(writeFile(m_pathDir + "/both", "#!/bin/sh\necho path\n", true));
    QVERIFY(writeFile(m_pathDir + "/skipme", "#!/bin/sh\necho path\n", true));
    QVERIFY(
        writeFile(m_pathDir + "/pathtool", "#!/bin/sh\nprintf 'path[%s]' \"$@\"; echo\n", true));
    QFile::remove(m_linkDir + "/xmltv");
    QVERIFY(
        QFile::link(QDir(m_linkDir).relativeFilePath(m_tools + "/xmltv"), m_linkDir + "/xmltv"));

    QTest::addColumn<QString>("shell"); // empty: run the script itself
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err"); // exact, or a prefix ending in "..."

    const QString script = m_tools + "/xmltv";
    const QString noSuch =
        "xmltv: nosuch: no such XMLTV tool in " + QDir(m_tools).canonicalPath() + " or on PATH\n";
    QStringList shells{QString()};
    for (const char* name : {"sh", "dash", "bash"}) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty())
            shells << found;
    }
    for (const QString& sh : shells) {
        const QByteArray tag =
            (sh.isEmpty() ? QString("direct") : QFileInfo(sh).fileName()).toUtf8();
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", tag.constData(), name);
        };
        row("tool in folder") << sh << script << QStringList{"hello", "a", "b c", "$x", "*", ""}
                              << 0 << "[a][b c][$x][*][]\n"
                              << "";
        row("tool on PATH") << sh << script << QStringList{"pathtool", "x y"} << 0 << "path[x y]\n"
                            << "";
        row("folder before PATH") << sh << script << QStringList{"both"} << 0 << "local\n"
                                  << "";
        row("not executable") << sh << script << QStringList{"skipme"} << 0 << "path\n"
                              << "";
        row("exit status") << sh << script << QStringList{"exit3"} << 3 << ""
                           << "";
        row("grabber") << sh << script << QStringList{"tv_grab_demo", "--capabilities"} << 0
                       << "baseline\nmanualconfig\n"
                       << "";
        row("unknown") << sh << script << QStringList{"nosuch", "x"} << 127 << "" << noSuch;
        row("slash") << sh << script << QStringList{"../xmltv/hello"} << 127 << ""
                     << "xmltv: ../xmltv/hello: ...";
        row("dot dot") << sh << script << QStringList{".."} << 127 << ""
                       << "xmltv: ..: ...";
        row("no name") << sh << script << QStringList{} << 2 << ""
                       << "usage: xmltv NAME ...";
        row("via link") << sh << m_linkDir + "/xmltv" << QStringList{"hello", "l"} << 0 << "[l]\n"
                        << "";
        row("newline in folder") << sh << m_oddTools + "/xmltv" << QStringList{"hello", "n"} << 0
                                 << "[n]\n"
                                 << "";
    }
}

void TestDemoGrabber::dispatcher()
{
    QFETCH(QString, shell);
    QFETCH(QString, script);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Run r = shell.isEmpty() ? run(script, args, newYork, m_pathDir + ":/usr/bin:/bin")
                                  : run(shell, QStringList{script} + args, newYork,
                                        m_pathDir + ":/usr/bin:/bin");
    QVERIFY(r.finished);
    QCOMPARE(r.code, code);
    QCOMPARE(QString::fromUtf8(r.out), out);
    const QString stderrText = QString::fromUtf8(r.err);
    if (err.endsWith("..."))
        QVERIFY2(stderrText.startsWith(err.chopped(3)), qPrintable(stderrText));
    else
        QCOMPARE(stderrText, err);
}

QTEST_GUILESS_MAIN(TestDemoGrabber)
#include "tst_demograbber.moc"
