// The channel map writer: each line finds its channel by key and is named after what runs now;
// the map is replaced whole or not at all.
#include "app/channelmap.h"
#include "support/filesizelimit.h"
#include "support/support.h"

#include <QTest>

#include <memory>

using namespace zarvo;
using namespace zarvo::test;
using Outcome = ChannelMapResult::Outcome;

namespace {

const QDate Monday(2003, 12, 15); // weekday table day2

// A map line: the name field, the pair `|"`, one byte, the key text, then recorder fields.
QByteArray line(const QByteArray& name, const QByteArray& keyText)
{
    return '"' + name + "\"|\"c" + keyText + "\"|\"tuner 1\"";
}

QByteArray crlf(const QByteArrayList& lines)
{
    return lines.join("\r\n") + "\r\n";
}

} // namespace

class TestChannelMap : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ListingsStore> m_store;
    QString m_map;
    FakeClock m_clock{QTimeZone("America/New_York"), wallClock(Monday, QTime(20, 0))};

    void add(const QString& channel, QTime start, QTime end, const QString& title,
             QDate endDate = Monday)
    {
        m_store->insertProgramme(
            2, programme(channel, wallClock(Monday, start), wallClock(endDate, end), title));
    }
    // The usual evening: channel 5 shows "Five" from 20:00 to 21:00.
    void addFive() { add("c5", QTime(20, 0), QTime(21, 0), "Five"); }
    ChannelMapResult runAt(QTime time, const std::function<void()>& yield = {})
    {
        m_clock.setNow(wallClock(Monday, time));
        return writeToChannels(*m_store, m_map, m_clock, yield);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_map = m_dir->filePath("channels.map");
        m_store = std::make_unique<ListingsStore>(m_dir->filePath("listings.db"));
        m_store->setStoredDate(2, Monday);
        // In the store's channel order; "NOSPACE" has no key.
        for (const ChannelRow& c : std::vector<ChannelRow>{{"c5", "5 ABC", "5", ""},
                                                           {"c9", "9 NBC", "9", ""},
                                                           {"c10", "10 CBS", "10", ""},
                                                           {"c11", "NOSPACE", "11", ""},
                                                           {"c12", "12 UNI", "12", ""},
                                                           {"c13", "13 Q", "13", ""}})
            m_store->insertChannel(c);
    }
    void cleanup()
    {
        m_store.reset();
        m_dir.reset();
    }

    // Each row: the time, the map before and after; the times test the half-hour window. The lines
    // stand in any order; each finds its channel by key, compared as text; lines that cannot be
    // matched keep their bytes.
    void rewrite_data()
    {
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("renamed");
        // Lines named "Old" with these keys, and the names they get ("" keeps "Old").
        const auto row = [](const char* tag, QTime now, const QByteArrayList& keys,
                            const QByteArrayList& names) {
            QByteArrayList before, after;
            for (int i = 0; i < keys.size(); ++i) {
                before << line("Old", keys[i]);
                after << line(names[i].isEmpty() ? "Old" : names[i], keys[i]);
            }
            QTest::newRow(tag) << now << crlf(before) << crlf(after)
                               << int(names.size() - names.count(""));
        };
        const QByteArray five = "5 ABC Five", later = "5 ABC Five later", nine = "9 NBC Nine early",
                         ten = "10 CBS Ten";
        // Five runs at 20:00 and comes first in the window, so it names channel 5 until 20:29.
        row("20:00", {20, 0}, {"5 A", "9 B", "10 "}, {five, nine, ten});
        row("20:29", {20, 29}, {"5 A", "9 B", "10 "}, {later, "", ten});
        // Only what runs at 23:30 counts: nothing starts between then and midnight.
        row("23:30", {23, 30}, {"5 A", "9 B", "10 "}, {"5 ABC Late", "", ""});
        row("channel without a key", {20, 0}, {"5 A", "11 ", "9 B"}, {five, "", nine});

        // A line between two renamed ones, before and after.
        const QByteArray a = line("Old", "5 A"), a2 = line(five, "5 A"), b = line("Old", "7 B");
        const auto between = [&](const char* tag, const QByteArray& text, QByteArray after = {}) {
            QTest::newRow(tag) << QTime(20, 0) << crlf({a, text, a})
                               << crlf({a2, after.isNull() ? text : after, a2})
                               << (after.isNull() ? 2 : 3);
        };
        between("name ends in a bar", "\"Show|\"|\"c5 B\"", "\"5 ABC Five\"|\"c5 B\"");

        // Every line goes back ended by CR LF, none is lost.
        QTest::newRow("LF") << QTime(20, 0) << a + "\n" + b + "\n" << a2 + "\r\n" + b + "\r\n" << 1;
        QTest::newRow("lone CR, blank line")
            << QTime(20, 0) << b + "\r\r\n" + a + "\r" << b + "\r\n\r\n" + a2 + "\r\n"
            << 1;

        // New names keep the map's code page; channel 12's title is "Caf\u00e9 \u2019Live\u2019
        // \u2013 \u20ac \u65e5 \U0001f4fa", channel 13's holds a quote and a line break.
        const QByteArray u = line("Old", "12 ");
        const QByteArray cafe = "12 UNI Caf\xE9 \x92Live\x92 \x96 \x80 ? ?";
        const QByteArray cafeUtf8 =
            "12 UNI Caf\xC3\xA9 \xE2\x80\x99Live\xE2\x80\x99 \xE2\x80\x93 \xE2\x82\xAC "
            "\xE6\x97\xA5 \xF0\x9F\x93\xBA";
        QTest::newRow("ASCII map: Windows-1252")
            << QTime(20, 0) << crlf({b, u}) << crlf({b, line(cafe, "12 ")}) << 1;
        QTest::newRow("map already UTF-8")
            << QTime(20, 0) << crlf({line("\xC3\xA9", "7 Z"), u})
            << crlf({line("\xC3\xA9", "7 Z"), line(cafeUtf8, "12 ")}) << 1;
        QTest::newRow("byte order mark") << QTime(20, 0) << "\xEF\xBB\xBF" + crlf({u})
                                         << "\xEF\xBB\xBF" + crlf({line(cafeUtf8, "12 ")}) << 1;
        QTest::newRow("quotes and line breaks") << QTime(20, 0) << crlf({line("Old", "13 ")})
                                                << crlf({line("13 Q Say 'Hi'  now !", "13 ")}) << 1;
    }
    void rewrite()
    {
        QFETCH(QTime, now);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const QDate tue = Monday.addDays(1);
        add("c5", QTime(19, 0), QTime(20, 15), "Five");
        add("c5", QTime(20, 15), QTime(21, 0), "Five later");
        add("c5", QTime(23, 0), QTime(0, 30), "Late", tue);
        add("c9", QTime(19, 30), QTime(20, 0), "Nine before");
        add("c9", QTime(20, 0), QTime(20, 30), "Nine early");
        add("c9", QTime(23, 45), QTime(0, 15), "Nine at midnight", tue);
        add("c10", QTime(20, 0), QTime(21, 0), "Ten");
        add("c10", QTime(21, 0), QTime(22, 0), "Ten next");
        add("c11", QTime(20, 0), QTime(21, 0), "Eleven");
        add("c12", QTime(20, 0), QTime(21, 0),
            "Caf\u00e9 \u2019Live\u2019 \u2013 \u20ac \u65e5 \U0001f4fa");
        add("c13", QTime(20, 0), QTime(21, 0), "Say \"Hi\"\r\nnow\t!");
        QVERIFY(putFile(m_map, before));
        // Meanwhile the old map stays: it is replaced only when every line is done.
        int yields = 0;
        const ChannelMapResult result = runAt(now, [&] {
            ++yields;
            QCOMPARE(readFile(m_map), before);
        });
        QCOMPARE(result.outcome, Outcome::Written);
        QTEST(result.renamed, "renamed");
        QCOMPARE(yields, result.lines);
        QCOMPARE(readFile(m_map), after);
    }

    // A name written half an hour ago stays when the channel then has nothing on.
    void nameKeptWithoutProgramme()
    {
        add("c9", QTime(20, 0), QTime(20, 30), "Nine early");
        QVERIFY(putFile(m_map, crlf({line("Old", "9 B")})));
        QCOMPARE(runAt(QTime(20, 0)).renamed, 1);
        QCOMPARE(runAt(QTime(20, 30)).renamed, 0);
        QCOMPARE(readFile(m_map), crlf({line("9 NBC Nine early", "9 B")}));
    }

    void untouched_data()
    {
        QTest::addColumn<QDate>("stored"); // in day2
        QTest::addColumn<int>("lines");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<int>("outcome");
        const auto today = int(Outcome::TodayMissing), tooLong = int(Outcome::TooLong);
        QTest::newRow("last week") << Monday.addDays(-7) << 2 << QByteArray("\n\xE9") << today;
        QTest::newRow("152") << Monday << 152 << QByteArray() << tooLong;
        QTest::newRow("151") << Monday << 151 << QByteArray() << int(Outcome::Written);
    }
    // Today not loaded or a map too long: the map keeps its exact bytes.
    void untouched()
    {
        QFETCH(QDate, stored);
        QFETCH(int, lines);
        QFETCH(QByteArray, tail);
        QFETCH(int, outcome);
        m_store->setStoredDate(2, stored);
        addFive();
        const QByteArray before = crlf(QByteArrayList(lines, line("Old", "5 A"))) + tail;
        QVERIFY(putFile(m_map, before));
        QCOMPARE(int(runAt(QTime(20, 0)).outcome), outcome);
        QCOMPARE(readFile(m_map), outcome == int(Outcome::Written)
                                      ? crlf(QByteArrayList(lines, line("5 ABC Five", "5 A")))
                                      : before);
    }

    void failedSaveKeepsTheOldMap()
    {
        add("c5", QTime(20, 0), QTime(21, 0), "A rather long title for five");
        const QByteArray before = crlf(QByteArrayList(100, line("Old", "5 A")));
        QVERIFY(putFile(m_map, before));
        ChannelMapResult result;
        {
            FileSizeLimit limit(1024);
            QVERIFY(limit.ok);
            result = runAt(QTime(20, 0));
        }
        QCOMPARE(result.outcome, Outcome::Failed);
        QVERIFY2(result.message.startsWith("Cannot write " + m_map + ": "),
                 qPrintable(result.message));
        QCOMPARE(readFile(m_map), before);
        QCOMPARE(QDir(m_dir->path()).entryList({"channels*"}, QDir::Files | QDir::Hidden),
                 QStringList{"channels.map"});
    }
};

QTEST_GUILESS_MAIN(TestChannelMap)
#include "tst_channelmap.moc"
