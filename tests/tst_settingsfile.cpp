// config.txt: the lenient reader with its fix-ups, the errors it names, and the atomic writer.
#include "base/settingsfile.h"
#include "support/filesizelimit.h"
#include "support/support.h"

#include <QTest>

using namespace zarvo;
using namespace zarvo::test;
using Outcome = SettingsRead::Outcome;

namespace zarvo {
char* toString(const Settings& s)
{
    return QTest::toString(QStringLiteral("{%1|%2|%3|%4|%5|%6|%7|%8}")
                               .arg(s.writeChannelMap)
                               .arg(s.channelMapPath)
                               .arg(s.adjustDST)
                               .arg(s.daysToDownload)
                               .arg(s.imagesFolder, s.primeTime)
                               .arg(s.opacity)
                               .arg(s.grabberName));
}
} // namespace zarvo

namespace {

const QString firstRunPath =
    "C:\\Program Files\\Home Media Networks Limited\\ShowShifter\\Config\\channels.map";
// What the settings screen saves when nothing has been changed on a first run.
const QByteArray firstRunFile = "0\r\n\"" + firstRunPath.toLatin1() +
                                "\"\r\n0\r\n1\r\n\"images\"\r\n\"8:00 PM\"\r\n100\r\n"
                                "\"tv_grab_na_dd\"\r\n";

// The eight fields written "a|b|...", so that a table row fits on a line.
Settings S(const QString& text)
{
    const QStringList f = text.split('|');
    return {qint16(f[0].toShort()), f[1], qint16(f[2].toShort()),
            qint16(f[3].toShort()), f[4], f[5],
            qint16(f[6].toShort()), f[7]};
}
// Unlike the defaults in every field, so that a default leaking in shows.
const QString sample = "1|D:\\m.map|1|3|pics|9:00 PM|80|tv_uk";
const QByteArray sampleLines = "1\r\n\"D:\\m.map\"\r\n1\r\n3\r\n\"pics\"\r\n\"9:00 PM\"\r\n80\r\n"
                               "\"tv_uk\"\r\n";
// A file read with nothing in it: the fix-ups fill the texts and days, opacity stays 0.
const QString fixedUp = "0|" + firstRunPath + "|0|1|images|8:00 PM|0|tv_grab_na_dd";

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("valuesRead");
        const auto row = [](const char* name, const QByteArray& bytes, const QString& expected,
                            int values = 8) { QTest::newRow(name) << bytes << expected << values; };
        const auto with = [](const char* from, const char* to) {
            return QByteArray(sampleLines).replace(from, to);
        };
        row("eight lines", sampleLines, sample);
        row("one line, commas", "1,\"D:\\m.map\",1,3,\"pics\",\"9:00 PM\",80,\"tv_uk\"", sample);
        row("junk after quotes",
            "1\r\n\"D:\\m.map\" old\r\n1,3,\"pics\"xyz,\"9:00 PM\"  \"x\",80,\"tv_uk\";\r\n",
            sample);
        row("unquoted texts, blanks",
            " 1\r\n D:\\m.map \t\r\n\t1\r\n3\r\npics\r\n9:00 PM  \r\n80\r\ntv_uk", sample);
        row("first four lines", "1\r\n\"D:\\m.map\"\r\n1\r\n3\r\n",
            "1|D:\\m.map|1|3|images|8:00 PM|0|tv_grab_na_dd", 4);
        row("empty file", "", fixedUp, 0);
        row("line 4 is 0", with("\r\n3\r\n", "\r\n0\r\n"), "1|D:\\m.map|1|1|pics|9:00 PM|80|tv_uk");
        row("out of range stays", with("80", "300"), "1|D:\\m.map|1|3|pics|9:00 PM|300|tv_uk");
        row("unterminated takes the rest", "1\r\n\"D:\\m\r\n1\r\n3\r\n",
            "1|D:\\m\r\n1\r\n3\r\n|0|1|images|8:00 PM|0|tv_grab_na_dd", 2);
        // Latin-1 unless the whole file is valid UTF-8.
        row("UTF-8", with("D:\\m", "\xe2\x82\xac\xc3\xa9"),
            "1|\u20ac\u00e9.map|1|3|pics|9:00 PM|80|tv_uk");
        row("Latin-1 byte later", with("D:\\m", "\xc3\xa9") + "\xe9",
            "1|\u00c3\u00a9.map|1|3|pics|9:00 PM|80|tv_uk");
    }
    void parse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        const SettingsRead read = parseSettings(bytes);
        QCOMPARE(read.outcome, Outcome::Read);
        QCOMPARE(read.settings, S(expected));
        QTEST(read.valuesRead, "valuesRead");
        QVERIFY(read.error.isEmpty());
    }

    // A missing file is a first run: the defaults, and no file until the settings are saved.
    void firstRun()
    {
        QCOMPARE(parseSettings(firstRunFile).settings, firstRunDefaults());
        QCOMPARE(formatSettings(firstRunDefaults()), firstRunFile);
        QTemporaryDir dir;
        const SettingsRead missing = readSettingsFile(dir.filePath("config.txt"));
        QCOMPARE(missing.outcome, Outcome::Missing);
        QCOMPARE(missing.settings, firstRunDefaults());
        QVERIFY(!QFile::exists(dir.filePath("config.txt")));
    }

    // The line, the value's number and name and the text found; the whole path when read from
    // a file; a folder in the file's place is an error, not a first run.
    void conversionError()
    {
        const auto error = [](const QByteArray& bytes) {
            const SettingsRead read = parseSettings(bytes);
            return read.outcome == Outcome::ConversionError ? read.error : QString("read");
        };
        const QString tail = " is not a whole number from -32768 to 32767";
        QCOMPARE(error("x" + sampleLines.mid(1)),
                 "config.txt, line 1, value 1 (writeChannelMap): \"x\"" + tail);
        QCOMPARE(error(QByteArray(sampleLines).replace("\r\n1\r\n", "\r\n32768\r\n")),
                 "config.txt, line 3, value 3 (adjustDST): \"32768\"" + tail);
        QCOMPARE(error(QByteArray(sampleLines).replace("80", "\xd9\xa1")),
                 "config.txt, line 7, value 7 (opacity): \"\u0661\"" + tail);
        QCOMPARE(error(QByteArray(60, 'a') + sampleLines.mid(1)),
                 "config.txt, line 1, value 1 (writeChannelMap): \"" + QString(40, u'a') +
                     QChar(0x2026) + "\"" + tail);
        QTemporaryDir dir;
        QVERIFY(putFile(dir.filePath("other.txt"), "1\r\n\"p\"\r\nyes\r\n"));
        QCOMPARE(readSettingsFile(dir.filePath("other.txt")).error,
                 dir.filePath("other.txt") + ", line 3, value 3 (adjustDST): \"yes\"" + tail);
        QVERIFY(QDir(dir.path()).mkdir("config.txt"));
        const SettingsRead folder = readSettingsFile(dir.filePath("config.txt"));
        QCOMPARE(folder.outcome, Outcome::ConversionError);
        QVERIFY2(folder.error.contains(dir.filePath("config.txt")) &&
                     folder.error.contains("folder"),
                 qPrintable(folder.error));
    }

    // Written and read back; an older, longer file is replaced, not overwritten in part.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::newRow("sample") << sample;
        QTest::newRow("separators") << "1|D:\\a, b\\c.map|0|2|  padded\t|two\r\nlines|50|x\ry\nz,";
        QTest::newRow("empty comes back fixed up") << "0||0|0|||0|";
    }
    void roundTrip()
    {
        QFETCH(QString, settings);
        QTemporaryDir dir;
        const QString path = dir.filePath("config.txt");
        QVERIFY(putFile(path, QByteArray(4096, '9')));
        const QString error = errorOf([&] { writeSettingsFile(path, S(settings)); });
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"config.txt"});
        Settings expected = S(settings);
        applyFixUps(expected);
        const SettingsRead read = readSettingsFile(path);
        QCOMPARE(read.valuesRead, 8);
        QCOMPARE(read.settings, expected);
    }

    // A write that cannot be done names the file and leaves everything as it was.
    void failedWrite_data()
    {
        QTest::addColumn<QString>("obstacle");
        for (const char* name : {"target is a folder", "parent is a file", "write cut short"})
            QTest::newRow(name) << name;
    }
    void failedWrite()
    {
        QFETCH(QString, obstacle);
        QTemporaryDir dir;
        QString path = dir.filePath("config.txt");
        if (obstacle == "target is a folder")
            QVERIFY(QDir(dir.path()).mkdir("config.txt") && putFile(path + "/inside", sampleLines));
        else if (obstacle == "parent is a file")
            QVERIFY(putFile(dir.filePath("parent"), sampleLines));
        else
            QVERIFY(putFile(path, sampleLines));
        if (obstacle.startsWith("parent"))
            path = dir.filePath("parent/config.txt");
        const auto before = snapshot(dir.path());
        QString error;
        {
            // Well below the size of the new file, so no write of it gets through whole.
            FileSizeLimit limit(obstacle == "write cut short" ? 16 : RLIM_INFINITY);
            QVERIFY(limit.ok);
            error = errorOf([&] { writeSettingsFile(path, firstRunDefaults()); });
        }
        QVERIFY2(error.contains(path), qPrintable(error));
        QCOMPARE(snapshot(dir.path()), before);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
