// The demonstration grabber and the xmltv dispatcher script, run as the batch runs them: as
// separate processes, with the time zone set in their environment.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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

const QString grabber = TV_GRAB_DEMO_BIN;
const QByteArray newYork = "America/New_York";

struct Run
{
    bool finished = false;
    int code = -1;
    QByteArray out, err;
};

// Standard input stays open while the process runs: a program that waited for input would time
// out instead of passing.
Run run(const QString& program, const QStringList& args, const QByteArray& tz = newYork,
        const QString& path = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", tz);
    if (!path.isEmpty())
        env.insert("PATH", path);
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted())
        return r;
    r.finished = p.waitForFinished(60000);
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
    return run(grabber, QStringList{"--quiet"} + args, tz);
}

// "YYYYMMDDhhmmss +HHMM": the wall-clock time as written, its offset and the instant it names.
struct Stamp
{
    QDateTime wall; // as written, without zone
    int offset = 0; // seconds east of UTC
    qint64 utc = 0;
};

std::optional<Stamp> parseStamp(const char* text)
{
    static const QRegularExpression re("^(\\d{14}) ([+-])(\\d\\d)(\\d\\d)$");
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(text));
    if (!m.hasMatch())
        return std::nullopt;
    Stamp s{QDateTime::fromString(m.captured(1), "yyyyMMddHHmmss")};
    s.wall.setTimeSpec(Qt::UTC);
    s.offset = (m.captured(3).toInt() * 3600 + m.captured(4).toInt() * 60) *
               (m.captured(2) == "-" ? -1 : 1);
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
    std::map<QString, QList<Programme>> byChannel; // in document order
};

// Parses the document and checks what every programme must satisfy: attributes start, stop (but
// not on the last of a channel) and channel, in that order, with valid stamps. Null on a fault.
std::unique_ptr<Listings> parse(const QByteArray& xml)
{
    auto l = std::make_unique<Listings>();
    const pugi::xml_parse_result res = l->doc.load_buffer(
        xml.constData(), size_t(xml.size()), pugi::parse_default | pugi::parse_ws_pcdata);
    if (!res) {
        qWarning("not well-formed: %s at %lld", res.description(), (long long)res.offset);
        return nullptr;
    }
    for (pugi::xml_node n : l->doc.child("tv").children("channel"))
        l->channels << n;
    for (pugi::xml_node n : l->doc.child("tv").children("programme")) {
        const pugi::xml_attribute start = n.first_attribute(), second = start.next_attribute();
        const bool hasStop = QByteArray(second.name()) == "stop";
        const pugi::xml_attribute channel = hasStop ? second.next_attribute() : second;
        const auto startStamp = parseStamp(start.value());
        const auto stopStamp = hasStop ? parseStamp(second.value()) : std::nullopt;
        if (QByteArray(start.name()) != "start" || QByteArray(channel.name()) != "channel" ||
            channel.next_attribute() || !startStamp || (hasStop && !stopStamp)) {
            qWarning("bad programme attributes");
            return nullptr;
        }
        const Programme p{n, QString::fromUtf8(channel.value()), *startStamp, stopStamp};
        l->programmes << p;
        l->byChannel[p.channel] << p;
    }
    return l;
}

bool writeFile(const QString& path, const QByteArray& text, bool executable = false)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() &&
           (!executable || f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestDemoGrabber : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_tools; // the program folder's xmltv/, with an awkward name
    QString m_oddTools, m_pathDir, m_linkDir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(QFileInfo(grabber).isExecutable()); }

    void coversRequestedDays_data()
    {
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<QString>("today");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("offsetsSeen"); // distinct UTC offsets in the run
        QTest::newRow("behind") << newYork << "2026-03-10" << -6 << 2 << 1;
        QTest::newRow("spring forward") << newYork << "2026-03-07" << 0 << 3 << 2;
        QTest::newRow("half-hour change")
            << QByteArray("Australia/Lord_Howe") << "2026-04-04" << 0 << 2 << 2;
    }
    // Every channel fills each requested local day without gap or overlap; each stamp is the
    // zone's own reading of its instant.
    void coversRequestedDays()
    {
        QFETCH(QByteArray, tz);
        QFETCH(QString, today);
        QFETCH(int, offset);
        QFETCH(int, days);
        const Run r = grab({"--today", today, "--offset", QString::number(offset), "--days",
                            QString::number(days)},
                           tz);
        const auto l = parse(r.out);
        QVERIFY(l);
        const QTimeZone zone(tz);
        const QDate first = QDate::fromString(today, Qt::ISODate).addDays(offset);
        const qint64 from = first.startOfDay(zone).toSecsSinceEpoch();
        const qint64 to = first.addDays(days).startOfDay(zone).toSecsSinceEpoch();
        QSet<int> offsets;
        int startingAtMidnight = 0;
        for (const auto& [channel, list] : l->byChannel) {
            QSet<QDate> daysSeen;
            for (int i = 0; i < list.size(); ++i) {
                const Programme& p = list[i];
                QVERIFY2(p.start.utc >= from && p.start.utc < to, qPrintable(p.title()));
                daysSeen << p.start.wall.date();
                for (const Stamp& s : p.stop ? QList{p.start, *p.stop} : QList{p.start}) {
                    const QDateTime inZone = QDateTime::fromSecsSinceEpoch(s.utc, zone);
                    QCOMPARE(s.offset, inZone.offsetFromUtc());
                    QCOMPARE(s.wall.toString("yyyyMMddHHmm"), inZone.toString("yyyyMMddHHmm"));
                    offsets << s.offset;
                }
                // Only the last programme of a channel is open-ended.
                QCOMPARE(bool(p.stop), i + 1 < list.size());
                if (p.stop && i + 1 < list.size())
                    QCOMPARE(p.stop->utc, list[i + 1].start.utc);
            }
            QCOMPARE(daysSeen.size(), days);
            // A channel starts at midnight or when the previous evening's film ends.
            const qint64 lead = list.first().start.utc - from;
            QVERIFY(lead >= 0 && lead <= 90 * 60);
            startingAtMidnight += lead == 0;
        }
        QCOMPARE(int(l->byChannel.size()), 40);
        QVERIFY(startingAtMidnight > 0);
        QTEST(int(offsets.size()), "offsetsSeen");
    }

    void files()
    {
        const QStringList args{"--today", "2026-03-10", "--channels", "5"};
        const QString day = m_tmp.filePath("day.xml");
        const Run toFile = grab(args + QStringList{"--output", day});
        QCOMPARE(toFile.code, 0);
        QVERIFY(toFile.out.isEmpty());
        QVERIFY(readFile(day) == grab(args).out);
        const Run bad = grab(args + QStringList{"--output", m_tmp.filePath("no/such/dir/x.xml")});
        QCOMPARE(bad.code, 1);
        QVERIFY(!bad.err.isEmpty());

        // Configuring leaves a configuration file, but never overwrites someone else's.
        const QString fresh = m_tmp.filePath("fresh.conf"), other = m_tmp.filePath("other.conf");
        QCOMPARE(run(grabber, {"--configure", "--config-file", fresh}).code, 0);
        QVERIFY(QFileInfo::exists(fresh));
        QVERIFY(writeFile(other, "channel 1\n"));
        QCOMPARE(run(grabber, {"--configure", "--config-file", other}).code, 0);
        QCOMPARE(readFile(other), "channel 1\n");

        // One 96 x 64 PNG logo per channel icon.
        const QString logos = m_tmp.filePath("logos");
        QVERIFY(grab({"--logos", logos, "--channels", "5"}).out.isEmpty());
        QStringList icons;
        const auto l = parse(grab(args).out);
        QVERIFY(l);
        for (pugi::xml_node c : l->channels)
            icons << QString(c.child("icon").attribute("src").value()).section('/', -1);
        icons.sort();
        QCOMPARE(QDir(logos).entryList(QDir::Files, QDir::Name), icons);
        for (const QString& name : icons) {
            const QByteArray png = readFile(QDir(logos).filePath(name));
            QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
            QCOMPARE(png.mid(12, 12), QByteArray("IHDR\0\0\0\x60\0\0\0\x40", 12));
        }
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // pattern for standard output
        QTest::newRow("description")
            << QStringList{"--description"} << 0
            << "^Demonstration listings \\(no listings service needed\\)\n$";
        QTest::newRow("capabilities") << QStringList{"--capabilities"} << 0 << "^baseline\n$";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "^tv_grab_demo \\d+\\.\\d+";
        QTest::newRow("configure, batch form")
            << QStringList{"--configure", "--auto-config", "add"} << 0 << "no configuration";
        QTest::newRow("config file while grabbing")
            << QStringList{"--config-file", "/no/such", "--channels", "1"} << 0 << "^<\\?xml";
        for (const QStringList& bad : QList<QStringList>{{"--bogus"},
                                                         {"-days", "2"},
                                                         {"--days", "0"},
                                                         {"--offset", "1.5"},
                                                         {"--channels", "10001"},
                                                         {"--today", "2026-02-30"},
                                                         {"listings.xml"}})
            QTest::newRow(qPrintable(bad.join(' '))) << bad << 1 << "^$";
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        const Run r = run(grabber, args);
        QVERIFY2(r.finished, "waited for input or hung");
        QCOMPARE(r.code, code);
        QVERIFY2(QRegularExpression(out).match(r.out).hasMatch(), r.out.left(200).constData());
        QVERIFY(code == 0 || r.err.contains("tv_grab_demo"));
    }

    void dispatcher_data()
    {
        // A program folder whose name the shell must not split, expand or unquote.
        m_tools = m_tmp.filePath("prog $HOME 'q' \"dq\" `x` \\/xmltv");
        m_oddTools = m_tmp.filePath("ends in a newline\n");
        m_pathDir = m_tmp.filePath("bin");
        m_linkDir = m_tmp.filePath("links");
        for (const QString& d : {m_tools, m_oddTools, m_pathDir, m_linkDir})
            QVERIFY(QDir().mkpath(d));
        for (const QString& d : {m_tools, m_oddTools}) {
            QFile::remove(d + "/xmltv");
            QVERIFY(QFile::copy(ZARVO_SOURCE_DIR "/tools/xmltv", d + "/xmltv"));
            QVERIFY(writeFile(d + "/hello", "#!/bin/sh\nprintf '[%s]' \"$@\"; echo\n", true));
        }
        QVERIFY(writeFile(m_tools + "/both", "#!/bin/sh\necho local\n", true));
        QVERIFY(writeFile(m_tools + "/exit3", "#!/bin/sh\nexit 3\n", true));
        // Neither a folder nor a file without execute permission is a tool: PATH's runs.
        QVERIFY(QDir(m_tools).mkpath("pathtool"));
        QVERIFY(writeFile(m_tools + "/skipme", ""));
        QVERIFY(writeFile(m_pathDir + "/both", "#!/bin/sh\necho path\n", true));
        QVERIFY(writeFile(m_pathDir + "/skipme", "#!/bin/sh\necho path\n", true));
        QVERIFY(writeFile(m_pathDir + "/pathtool", "#!/bin/sh\nprintf 'path[%s]' \"$@\"; echo\n",
                          true));
        QFile::remove(m_linkDir + "/xmltv");
        QVERIFY(QFile::link(QDir(m_linkDir).relativeFilePath(m_tools + "/xmltv"),
                            m_linkDir + "/xmltv"));

        QTest::addColumn<QString>("shell"); // empty: run the script itself
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("output"); // standard output; error, or its start and "..."
        const QString script = m_tools + "/xmltv";
        const QString noSuch = "xmltv: nosuch: no such XMLTV tool in " +
                               QDir(m_tools).canonicalPath() + " or on PATH\n";
        QStringList shells{QString()};
        for (const char* name : {"sh", "dash", "bash"})
            if (const QString found = QStandardPaths::findExecutable(name); !found.isEmpty())
                shells << found;
        for (const QString& sh : shells) {
            const QByteArray tag = (sh.isEmpty() ? "direct" : QFileInfo(sh).fileName()).toUtf8();
            const auto row = [&](const char* name, const QString& s, const QStringList& args,
                                 int code, const QStringList& output) {
                QTest::addRow("%s: %s", tag.constData(), name) << sh << s << args << code << output;
            };
            row("tool in folder", script, {"hello", "a", "b c", "$x", "*", ""}, 0,
                {"[a][b c][$x][*][]\n", ""});
            row("tool on PATH", script, {"pathtool", "x y"}, 0, {"path[x y]\n", ""});
            row("folder before PATH", script, {"both"}, 0, {"local\n", ""});
            row("not executable", script, {"skipme"}, 0, {"path\n", ""});
            row("exit status", script, {"exit3"}, 3, {"", ""});
            row("unknown", script, {"nosuch", "x"}, 127, {"", noSuch});
            row("slash", script, {"../xmltv/hello"}, 127, {"", "xmltv: ../xmltv/hello: ..."});
            row("no name", script, {}, 2, {"", "usage: xmltv NAME ..."});
            row("via link", m_linkDir + "/xmltv", {"hello", "l"}, 0, {"[l]\n", ""});
            row("newline in folder", m_oddTools + "/xmltv", {"hello", "n"}, 0, {"[n]\n", ""});
        }
    }
    void dispatcher()
    {
        QFETCH(QString, shell);
        QFETCH(QString, script);
        QFETCH(QStringList, args);
        QFETCH(QStringList, output);
        const QString path = m_pathDir + ":/usr/bin:/bin";
        const Run r = shell.isEmpty() ? run(script, args, newYork, path)
                                      : run(shell, QStringList{script} + args, newYork, path);
        QVERIFY(r.finished);
        QTEST(r.code, "code");
        QCOMPARE(QString::fromUtf8(r.out), output[0]);
        if (output[1].endsWith("..."))
            QVERIFY2(r.err.startsWith(output[1].chopped(3).toUtf8()), r.err.constData());
        else
            QCOMPARE(QString::fromUtf8(r.err), output[1]);
    }
};

QTEST_GUILESS_MAIN(TestDemoGrabber)
#include "tst_demograbber.moc"
