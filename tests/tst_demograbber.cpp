// The demonstration grabber and the xmltv dispatcher script, run as the batch runs them: as
// separate processes, with the time zone set in their environment.
#include "store/timerules.h"
#include "support/support.h"

#include <QProcess>
#include <QSet>
#include <QTest>

#include <pugixml.hpp>

#include <map>

using namespace zarvo::test;

namespace {

// The wall-clock time a stamp is written with, when that is the zone's own reading of the
// moment it names; invalid otherwise.
QDateTime wall(const char* stamp, const QTimeZone& zone)
{
    const QString text = QString::fromLatin1(stamp);
    const auto read = zarvo::parseStamp(text, zone);
    const QDateTime written = QDateTime::fromString(text.left(14), "yyyyMMddHHmmss");
    return read && QDateTime(read->date, read->time) == written ? written : QDateTime();
}

} // namespace

class TestDemoGrabber : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;

private Q_SLOTS:
    void coversRequestedDays_data()
    {
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<QString>("today");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("days");
        QTest::newRow("spring forward") << QByteArray("America/New_York") << "2026-03-07" << 0 << 3;
        QTest::newRow("half-hour change")
            << QByteArray("Australia/Lord_Howe") << "2026-04-04" << 0 << 2;
    }
    // Written where the batch asks, well-formed, every stamp the zone's own reading; every
    // channel fills each requested local day without gap or overlap, only its last programme
    // open-ended.
    void coversRequestedDays()
    {
        QFETCH(QByteArray, tz);
        QFETCH(QString, today);
        QFETCH(int, offset);
        QFETCH(int, days);
        const QString file = m_tmp.filePath(QTest::currentDataTag());
        const Run r = run(TV_GRAB_DEMO_BIN,
                          {"--quiet", "--today", today, "--offset", QString::number(offset),
                           "--days", QString::number(days), "--output", file},
                          {"TZ=" + tz});
        QCOMPARE(r.code, 0);
        const QByteArray xml = readFile(file);
        pugi::xml_document doc;
        QVERIFY(doc.load_buffer(xml.constData(), size_t(xml.size())));
        const QTimeZone zone(tz);
        const QDate first = QDate::fromString(today, Qt::ISODate).addDays(offset);
        std::map<QString, QList<pugi::xml_node>> byChannel;
        for (pugi::xml_node n : doc.child("tv").children("programme"))
            byChannel[n.attribute("channel").value()] << n;
        QCOMPARE(int(byChannel.size()), 40);
        for (const auto& [channel, list] : byChannel) {
            QSet<QDate> daysSeen;
            for (int i = 0; i < list.size(); ++i) {
                const QDateTime start = wall(list[i].attribute("start").value(), zone);
                QVERIFY2(start.isValid() && start.date() >= first &&
                             start.date() < first.addDays(days),
                         list[i].attribute("start").value());
                daysSeen << start.date();
                const char* next =
                    i + 1 < list.size() ? list[i + 1].attribute("start").value() : "";
                QCOMPARE(list[i].attribute("stop").value(), next);
            }
            QCOMPARE(daysSeen.size(), days);
            // A channel starts at midnight or when the previous evening's film ends.
            QVERIFY(wall(list[0].attribute("start").value(), zone).time() <= QTime(1, 30));
        }
    }

    // The dispatcher runs a tool of the program folder (whose name the shell must not split,
    // expand or unquote) before one on PATH, passes its arguments as given and its exit status
    // on; run directly and by sh, as the batch does.
    void dispatcher_data()
    {
        const QString tools = m_tmp.filePath("prog $HOME 'q' \"dq\" `x` \\/xmltv");
        const QString path = m_tmp.filePath("bin");
        QVERIFY(QDir().mkpath(tools) && QDir().mkpath(path));
        QVERIFY(QFile::copy(ZARVO_SOURCE_DIR "/tools/xmltv", tools + "/xmltv"));
        QVERIFY(putFile(tools + "/hello", "#!/bin/sh\nprintf '[%s]' \"$@\"; echo\n", true));
        QVERIFY(putFile(tools + "/both", "#!/bin/sh\necho local\n", true));
        QVERIFY(putFile(tools + "/exit3", "#!/bin/sh\nexit 3\n", true));
        QVERIFY(putFile(path + "/both", "#!/bin/sh\necho path\n", true));
        QVERIFY(putFile(path + "/pathtool", "#!/bin/sh\nprintf 'path[%s]' \"$@\"; echo\n", true));

        QTest::addColumn<QString>("shell"); // empty: run the script itself
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString noSuch =
            "xmltv: nosuch: no such XMLTV tool in " + QDir(tools).canonicalPath() + " or on PATH\n";
        for (const QString& sh : {QString(), QString("/bin/sh")}) {
            const char* tag = sh.isEmpty() ? "direct" : "sh";
            const auto row = [&](const char* name, const QStringList& args, int code,
                                 const QString& out, const QString& err = {}) {
                QTest::addRow("%s: %s", tag, name)
                    << sh << tools + "/xmltv" << args << code << out << err;
            };
            row("tool in folder", {"hello", "a", "b c", "$x", "*", ""}, 0, "[a][b c][$x][*][]\n");
            row("tool on PATH", {"pathtool", "x y"}, 0, "path[x y]\n");
            row("folder before PATH", {"both"}, 0, "local\n");
            row("exit status", {"exit3"}, 3, "");
            row("unknown", {"nosuch", "x"}, 127, "", noSuch);
        }
    }
    void dispatcher()
    {
        QFETCH(QString, shell);
        QFETCH(QString, script);
        QFETCH(QStringList, args);
        const QStringList env{"PATH=" + m_tmp.filePath("bin") + ":/usr/bin:/bin"};
        const Run r =
            shell.isEmpty() ? run(script, args, env) : run(shell, QStringList{script} + args, env);
        QTEST(r.code, "code");
        QTEST(r.out, "out");
        QTEST(r.err, "err");
    }
};

QTEST_GUILESS_MAIN(TestDemoGrabber)
#include "tst_demograbber.moc"
