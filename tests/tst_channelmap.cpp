#include "app/channelmap.h"
#include "store/listingsstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace zarvo;
using Outcome = ChannelMapResult::Outcome;

namespace {

const QDate Monday(2003, 12, 15); // weekday table day2
const QDate Tuesday = Monday.addDays(1);

// A map line: the name field, the pair `|"`, one byte, the key text, then recorder fields.
QByteArray line(const QByteArray& name, const QByteArray& keyText)
{
    return '"' + name + "\"|\"c" + keyText + "\"|\"tuner 1\"";
}

QByteArray crlf(const QList<QByteArray>& lines)
{
    QByteArray out;
    for (const QByteArray& l : lines)
        out += l + "\r\n";
    return out;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool putFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Caps the size of files this process writes, so that saving the new map fails part way (the
// tests run as root, so permissions would not stop the write). SIGXFSZ is ignored meanwhile so
// that the write fails with EFBIG instead of ending the test.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        m_ok = getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        rlimit low = m_saved;
        low.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &low) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

} // namespace

class TestChannelMap : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ListingsStore> m_store;
    QString m_map;
    FakeClock m_clock{QTimeZone("America/New_York"), wallClock(Monday, QTime(20, 0))};

    void addProgramme(const QString& channel, QTime start, QDate endDate, QTime end,
                      const QString& title)
    {
        ProgrammeRow row;
        row.startdate = Monday;
        row.starttime = start;
        row.enddate = endDate;
        row.endtime = end;
        row.channel = channel;
        row.title = title;
        m_store->insertProgramme(2, row);
    }
    ChannelMapResult runAt(QTime time, const std::function<void()>& yield = {})
    {
        m_clock.setNow(wallClock(Monday, time));
        return writeToChannels(*m_store, m_map, m_clock, yield);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_map = m_dir->filePath("channels.map");
        m_store = std::make_unique<ListingsStore>(m_dir->filePath("listings.db"));
        m_store->setStoredDate(2, Monday);
        // Inserted in the store's channel order; "NOSPACE" has no key.
        for (const ChannelRow& c : std::vector<ChannelRow>{{"c5", "5 ABC", "5", ""},
                                                           {"c9", "9 NBC", "9", ""},
                                                           {"c10", "10 CBS", "10", ""},
                                                           {"c11", "NOSPACE", "11", ""}})
            m_store->insertChannel(c);
    }
    void cleanup()
    {
        m_store.reset();
        m_dir.reset();
    }

    void parseLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("hasName");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("rest");
        QTest::addColumn<QByteArray>("keyText");
        QTest::addColumn<QByteArray>("key"); // "-" for none

        QTest::newRow("plain") << line("Old", "5 A") << true << QByteArray("Old")
                               << QByteArray("|\"c5 A\"|\"tuner 1\"") << QByteArray("5 A")
                               << QByteArray("5");
        QTest::newRow("two digits")
            << QByteArray("\"N\"|\"c10 \"") << true << QByteArray("N") << QByteArray("|\"c10 \"")
            << QByteArray("10 ") << QByteArray("10");
        QTest::newRow("no space in key text")
            << QByteArray("\"N\"|\"c100\"") << true << QByteArray("N") << QByteArray("|\"c100\"")
            << QByteArray("100") << QByteArray("-");
        QTest::newRow("key text starts with a space")
            << QByteArray("\"N\"|\"c 5A\"") << true << QByteArray("N") << QByteArray("|\"c 5A\"")
            << QByteArray(" 5A") << QByteArray("-");
        QTest::newRow("line ends inside key text")
            << QByteArray("\"\"|\"c5 ") << true << QByteArray() << QByteArray("|\"c5 ")
            << QByteArray("5 ") << QByteArray("5");
        QTest::newRow("no pair") << QByteArray("\"N\" c5 A") << true << QByteArray("N")
                                 << QByteArray(" c5 A") << QByteArray() << QByteArray("-");
        QTest::newRow("not quoted") << QByteArray("N\"|\"c5 A") << false << QByteArray()
                                    << QByteArray() << QByteArray("5 A") << QByteArray("5");
        QTest::newRow("name never closed") << QByteArray("\"N|xc5 A") << false << QByteArray()
                                           << QByteArray() << QByteArray() << QByteArray("-");
        QTest::newRow("name ends in a bar")
            << QByteArray("\"Show|\"|\"c9 B\"") << true << QByteArray("Show|")
            << QByteArray("|\"c9 B\"") << QByteArray("9 B") << QByteArray("9");
        QTest::newRow("empty") << QByteArray() << false << QByteArray() << QByteArray()
                               << QByteArray() << QByteArray("-");
    }
    void parseLine()
    {
        QFETCH(QByteArray, text);
        const ChannelMapLine parsed = parseChannelMapLine(text);
        QTEST(parsed.hasName, "hasName");
        QTEST(parsed.name, "name");
        QTEST(parsed.rest, "rest");
        QTEST(parsed.keyText, "keyText");
        QTEST(parsed.key.value_or("-"), "key");
    }

    void guideKey_data()
    {
        QTest::addColumn<QString>("channelName");
        QTest::addColumn<QString>("key"); // "-" for none
        QTest::newRow("number") << "5 ABC"
                                << "5";
        QTest::newRow("two digits") << "10 CBS"
                                    << "10";
        QTest::newRow("sub-channel") << "5.1 SUB"
                                     << "5.1";
        QTest::newRow("no space") << "ABC"
                                  << "-";
        QTest::newRow("leading space") << " 5 ABC"
                                       << "-";
    }
    void guideKey()
    {
        QFETCH(QString, channelName);
        QTEST(guideChannelKey(channelName).value_or("-"), "key");
    }

    void window_data()
    {
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QTime>("t1");
        QTest::addColumn<QTime>("t2");
        QTest::newRow("20:00") << QTime(20, 0) << QTime(20, 0) << QTime(20, 30);
        QTest::newRow("20:28:59") << QTime(20, 28, 59) << QTime(20, 0) << QTime(20, 30);
        QTest::newRow("20:29") << QTime(20, 29) << QTime(20, 30) << QTime(21, 0);
        QTest::newRow("20:30") << QTime(20, 30) << QTime(20, 30) << QTime(21, 0);
        QTest::newRow("20:59") << QTime(20, 59) << QTime(20, 30) << QTime(21, 0);
        QTest::newRow("0:00") << QTime(0, 0) << QTime(0, 0) << QTime(0, 30);
        QTest::newRow("23:30") << QTime(23, 30) << QTime(23, 30) << QTime(0, 0);
    }
    void window()
    {
        QFETCH(QTime, now);
        QFETCH(QTime, t1);
        QFETCH(QTime, t2);
        QCOMPARE(channelMapWindowAt(now), (ChannelMapWindow{t1, t2}));
    }

    // Which programme names channel 5 at a given minute.
    void windowFromTheClock_data()
    {
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QDate>("endDate");
        QTest::addColumn<QTime>("end");
        QTest::addColumn<bool>("found");
        QTest::newRow("20:00 running")
            << QTime(20, 0) << QTime(19, 30) << Monday << QTime(20, 10) << true;
        QTest::newRow("20:00 just ended")
            << QTime(20, 0) << QTime(19, 30) << Monday << QTime(20, 0) << false;
        QTest::newRow("20:28 starts 20:29")
            << QTime(20, 28) << QTime(20, 29) << Monday << QTime(21, 0) << true;
        QTest::newRow("20:29 ends 20:30")
            << QTime(20, 29) << QTime(20, 15) << Monday << QTime(20, 30) << false;
        QTest::newRow("20:29 starts 20:45")
            << QTime(20, 29) << QTime(20, 45) << Monday << QTime(21, 0) << true;
        QTest::newRow("20:30 starts 21:00")
            << QTime(20, 30) << QTime(21, 0) << Monday << QTime(22, 0) << false;
        QTest::newRow("23:30 running to midnight")
            << QTime(23, 30) << QTime(23, 0) << Monday << QTime(23, 59) << true;
        QTest::newRow("23:30 running past midnight")
            << QTime(23, 30) << QTime(23, 0) << Tuesday << QTime(0, 30) << true;
        QTest::newRow("23:30 starts 23:45")
            << QTime(23, 30) << QTime(23, 45) << Monday << QTime(23, 59) << false;
        QTest::newRow("23:30 starts 23:45 past midnight")
            << QTime(23, 30) << QTime(23, 45) << Tuesday << QTime(0, 15) << false;
    }
    void windowFromTheClock()
    {
        QFETCH(QTime, now);
        QFETCH(QTime, start);
        QFETCH(QDate, endDate);
        QFETCH(QTime, end);
        QFETCH(bool, found);
        addProgramme("c5", start, endDate, end, "Target");
        QVERIFY(putFile(m_map, crlf({line("Old", "5 A")})));
        const ChannelMapResult result = runAt(now);
        QCOMPARE(result.outcome, Outcome::Written);
        QCOMPARE(fileBytes(m_map), crlf({line(found ? "5 ABC Target" : "Old", "5 A")}));
    }

    // Lines stand in any order; each finds its channel by key, compared as text.
    void keys_data()
    {
        QTest::addColumn<QByteArrayList>("keys");
        QTest::newRow("store order") << QByteArrayList{"5 A", "9 B", "10 "};
        QTest::newRow("text order") << QByteArrayList{"10 ", "5 A", "9 B"};
        QTest::newRow("9 before 10") << QByteArrayList{"9 B", "10 ", "5 A"};
        QTest::newRow("any third byte") << QByteArrayList{"5 Z", "5 ", "9 x"};
        QTest::newRow("same key twice") << QByteArrayList{"10 ", "5 A", "10 "};
    }
    void keys()
    {
        QFETCH(QByteArrayList, keys);
        const std::map<QByteArray, QByteArray> names = {
            {"5", "5 ABC Five"}, {"9", "9 NBC Nine"}, {"10", "10 CBS Ten"}};
        // Channel 5 has a running programme and one starting in the half hour: the running
        // one comes first in the window and names the channel.
        addProgramme("c5", QTime(19, 0), Monday, QTime(20, 15), "Five");
        addProgramme("c5", QTime(20, 15), Monday, QTime(21, 0), "Five later");
        addProgramme("c9", QTime(20, 0), Monday, QTime(21, 0), "Nine");
        addProgramme("c10", QTime(20, 0), Monday, QTime(21, 0), "Ten");
        QByteArrayList before, after;
        for (const QByteArray& key : keys) {
            before << line("Old " + key, key);
            after << line(names.at(key.left(key.indexOf(' '))), key);
        }
        QVERIFY(putFile(m_map, crlf(before)));
        // Meanwhile the old map stays in place: it is replaced only when every line is done.
        int yields = 0;
        const ChannelMapResult result = runAt(QTime(20, 0), [&] {
            ++yields;
            QCOMPARE(fileBytes(m_map), crlf(before));
        });
        QCOMPARE(result.outcome, Outcome::Written);
        QCOMPARE(result.renamed, int(keys.size()));
        QCOMPARE(yields, int(keys.size()));
        QCOMPARE(fileBytes(m_map), crlf(after));
    }

    // Lines that cannot be matched are written back unchanged between lines that are renamed.
    void passedOver_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("no pair") << QByteArray("\"Old\" c5 A \"tuner\"");
        QTest::newRow("no space in key text") << line("Old", "555");
        QTest::newRow("name not quoted") << QByteArray("Old\"|\"c5 A\"");
        QTest::newRow("channel without a key") << line("NOSPACE", "11 ");
        QTest::newRow("channel not in the guide") << line("Old", "7 Z");
        QTest::newRow("empty line") << QByteArray();
        QTest::newRow("other code page") << QByteArray("\"Caf\xE9\"\xFF|\xA0");
    }
    void passedOver()
    {
        QFETCH(QByteArray, text);
        addProgramme("c5", QTime(20, 0), Monday, QTime(21, 0), "Five");
        addProgramme("c11", QTime(20, 0), Monday, QTime(21, 0), "Eleven");
        QVERIFY(putFile(m_map, crlf({line("Old", "5 A"), text, line("Older", "5 B")})));
        QCOMPARE(runAt(QTime(20, 0)).outcome, Outcome::Written);
        QCOMPARE(fileBytes(m_map),
                 crlf({line("5 ABC Five", "5 A"), text, line("5 ABC Five", "5 B")}));
    }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QByteArray a = line("Old", "5 A"), b = line("Old", "7 B");
        const QByteArray a2 = line("5 ABC Five", "5 A");
        QTest::newRow("CR LF") << a + "\r\n" + b + "\r\n" << a2 + "\r\n" + b + "\r\n";
        QTest::newRow("LF") << a + "\n" + b + "\n" << a2 + "\r\n" + b + "\r\n";
        QTest::newRow("lone CR") << a + "\r" + b + "\r" << a2 + "\r\n" + b + "\r\n";
        QTest::newRow("mixed, blank line") << b + "\n\r\n" + a + "\r\n"
                                           << b + "\r\n\r\n" + a2 + "\r\n";
        QTest::newRow("last line unended") << b + "\r\n" + a << b + "\r\n" + a2 + "\r\n";
        QTest::newRow("unended, passed over") << a + "\n" + b << a2 + "\r\n" + b + "\r\n";
        QTest::newRow("blank lines at the end") << a + "\r\n\r\n\n" << a2 + "\r\n\r\n\r\n";
    }
    void lineEnds()
    {
        QFETCH(QByteArray, before);
        addProgramme("c5", QTime(20, 0), Monday, QTime(21, 0), "Five");
        QVERIFY(putFile(m_map, before));
        QCOMPARE(runAt(QTime(20, 0)).outcome, Outcome::Written);
        QTEST(fileBytes(m_map), "after");
    }

    void codePage_data()
    {
        QTest::addColumn<QByteArray>("otherLine");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("name");
        const QByteArray ascii = line("Plain", "7 Z");
        QTest::newRow("ASCII map: Windows-1252")
            << ascii << QString::fromUtf8("Caf\u00E9 \u2019Live\u2019 \u2013 \u20AC")
            << QByteArray("5 ABC Caf\xE9 \x92Live\x92 \x96 \x80");
        QTest::newRow("unrepresentable")
            << ascii << QString::fromUtf8("\u65E5\u672C \U0001F4FA!") << QByteArray("5 ABC ?? ?!");
        QTest::newRow("map already UTF-8")
            << line("Caf\xC3\xA9", "7 Z") << QString::fromUtf8("N\u00E9 \u65E5")
            << QByteArray("5 ABC N\xC3\xA9 \xE6\x97\xA5");
        QTest::newRow("map in a code page")
            << line("Caf\xE9", "7 Z") << QString::fromUtf8("N\u00E9") << QByteArray("5 ABC N\xE9");
        QTest::newRow("quotes and line breaks")
            << ascii << QString("Say \"Hi\"\r\nnow\t!") << QByteArray("5 ABC Say 'Hi'  now !");
    }
    void codePage()
    {
        QFETCH(QByteArray, otherLine);
        QFETCH(QString, title);
        QFETCH(QByteArray, name);
        addProgramme("c5", QTime(20, 0), Monday, QTime(21, 0), title);
        QVERIFY(putFile(m_map, crlf({otherLine, line("Old", "5 A")})));
        QCOMPARE(runAt(QTime(20, 0)).outcome, Outcome::Written);
        QCOMPARE(fileBytes(m_map), crlf({otherLine, line(name, "5 A")}));
    }

    void byteOrderMarkKept()
    {
        addProgramme("c5", QTime(20, 0), Monday, QTime(21, 0), QString::fromUtf8("N\u00E9"));
        QVERIFY(putFile(m_map, "\xEF\xBB\xBF" + line("Old", "5 A")));
        QCOMPARE(runAt(QTime(20, 0)).outcome, Outcome::Written);
        QCOMPARE(fileBytes(m_map), "\xEF\xBB\xBF" + crlf({line("5 ABC N\xC3\xA9", "5 A")}));
    }

    // A channel with nothing on keeps its name, even the one written half an hour ago.
    void nameKeptWithoutProgramme()
    {
        addProgramme("c5", QTime(20, 0), Monday, QTime(21, 0), "Five");
        addProgramme("c9", QTime(20, 0), Monday, QTime(20, 30), "Nine early");
        QVERIFY(putFile(m_map, crlf({line("Old", "5 A"), line("Old", "9 B")})));
        QCOMPARE(runAt(QTime(20, 0)).outcome, Outcome::Written);
        QCOMPARE(fileBytes(m_map),
                 crlf({line("5 ABC Five", "5 A"), line("9 NBC Nine early", "9 B")}));
        const ChannelMapResult later = runAt(QTime(20, 30));
        QCOMPARE(later.outcome, Outcome::Written);
        QCOMPARE(later.renamed, 1);
        QCOMPARE(fileBytes(m_map),
                 crlf({line("5 ABC Five", "5 A"), line("9 NBC Nine early", "9 B")}));
    }

    void todayMissing_data()
    {
        QTest::addColumn<QDate>("stored");
        QTest::newRow("last week") << Monday.addDays(-7);
        QTest::newRow("next week") << Monday.addDays(7);
        QTest::newRow("never loaded") << ListingsStore::initialDate();
    }
    void todayMissing()
    {
        QFETCH(QDate, stored);
        m_store->setStoredDate(2, stored);
        addProgramme("c5", QTime(20, 0), Monday, QTime(21, 0), "Five");
        const QByteArray before = line("Old", "5 A") + "\n\xE9" + line("Old", "9 B");
        QVERIFY(putFile(m_map, before));
        QCOMPARE(runAt(QTime(20, 0)).outcome, Outcome::TodayMissing);
        QCOMPARE(fileBytes(m_map), before);
    }

    void lineLimit_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<bool>("written");
        QTest::newRow("151") << 151 << QByteArray() << true;
        QTest::newRow("151 and a blank line") << 151 << QByteArray("\r\n") << false;
        QTest::newRow("152") << 152 << QByteArray() << false;
    }
    void lineLimit()
    {
        QFETCH(int, lines);
        QFETCH(QByteArray, tail);
        QFETCH(bool, written);
        addProgramme("c5", QTime(20, 0), Monday, QTime(21, 0), "Five");
        QByteArrayList before, after;
        for (int i = 0; i < lines; ++i) {
            before << line("Old", "5 A");
            after << line("5 ABC Five", "5 A");
        }
        QVERIFY(putFile(m_map, crlf(before) + tail));
        const ChannelMapResult result = runAt(QTime(20, 0));
        QCOMPARE(result.outcome, written ? Outcome::Written : Outcome::TooLong);
        QCOMPARE(fileBytes(m_map), written ? crlf(after) : crlf(before) + tail);
    }

    void failedSaveKeepsTheOldMap()
    {
        addProgramme("c5", QTime(20, 0), Monday, QTime(21, 0), "A rather long title for five");
        QByteArrayList lines;
        for (int i = 0; i < 100; ++i)
            lines << line("Old", "5 A");
        const QByteArray before = crlf(lines);
        QVERIFY(putFile(m_map, before));
        ChannelMapResult result;
        {
            FileSizeLimit limit(1024);
            QVERIFY(limit.ok());
            result = runAt(QTime(20, 0));
        }
        QCOMPARE(result.outcome, Outcome::Failed);
        QVERIFY2(result.message.startsWith("Cannot write " + m_map + ": "),
                 qPrintable(result.message));
        QCOMPARE(fileBytes(m_map), before);
        QCOMPARE(QDir(m_dir->path()).entryList({"channels*"}, QDir::Files | QDir::Hidden),
                 QStringList{"channels.map"});
    }

    void unreadableMap_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "missing.map"
                                 << "Cannot read the channel map %1: the file does "
                                    "not exist.";
        QTest::newRow("folder") << "folder.map"
                                << "Cannot read the channel map %1: it is a folder, not a file.";
        QTest::newRow("not set") << ""
                                 << "No channel map file is set.";
    }
    void unreadableMap()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        QVERIFY(QDir(m_dir->path()).mkdir("folder.map"));
        addProgramme("c5", QTime(20, 0), Monday, QTime(21, 0), "Five");
        m_map = name.isEmpty() ? QString() : m_dir->filePath(name);
        const ChannelMapResult result = runAt(QTime(20, 0));
        QCOMPARE(result.outcome, Outcome::Failed);
        QCOMPARE(result.message, message.contains("%1") ? message.arg(m_map) : message);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"listings.db"});
    }

    void storeErrorReported()
    {
        QVERIFY(putFile(m_map, crlf({line("Old", "5 A")})));
        m_store->database().exec("DELETE FROM dates");
        const ChannelMapResult result = runAt(QTime(20, 0));
        QCOMPARE(result.outcome, Outcome::Failed);
        QVERIFY(!result.message.isEmpty());
        QCOMPARE(fileBytes(m_map), crlf({line("Old", "5 A")}));
    }
};

QTEST_GUILESS_MAIN(TestChannelMap)
#include "tst_channelmap.moc"
