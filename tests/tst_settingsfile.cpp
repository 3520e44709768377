#include "app/settingsfile.h"
#include "support/filesizelimit.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace zarvo;
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
// A file read with nothing in it: the fix-ups fill the texts and days, opacity stays 0.
const QString fixedUp = "0|" + firstRunPath + "|0|1|images|8:00 PM|0|tv_grab_na_dd";

QByteArray sampleLines(const QByteArray& end = "\r\n")
{
    return QByteArrayList{"1",        "\"D:\\m.map\"", "1",  "3",
                          "\"pics\"", "\"9:00 PM\"",   "80", "\"tv_uk\""}
               .join(end) +
           end;
}

bool putFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Every file and folder below `root`, with the contents of the files.
QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        entries.insert(QDir(root).relativeFilePath(it.filePath()),
                       it.fileInfo().isDir() || !file.open(QIODevice::ReadOnly) ? "<folder>"
                                                                                : file.readAll());
    }
    return entries;
}

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
        const QByteArray s = sampleLines();
        QTest::newRow("eight lines") << s << sample << 8;
        QTest::newRow("one line, commas")
            << QByteArray("1,\"D:\\m.map\",1,3,\"pics\",\"9:00 PM\",80,\"tv_uk\"") << sample << 8;
        QTest::newRow("LF") << sampleLines("\n") << sample << 8;
        QTest::newRow("CR") << sampleLines("\r") << sample << 8;
        QTest::newRow("leading blanks, tabs")
            << QByteArray(" 1\r\n\t\"D:\\m.map\"\r\n \t 1\r\n\t3\r\n \"pics\"\r\n\t\"9:00 PM\"\r\n"
                          " 80\r\n \"tv_uk\"\r\n")
            << sample << 8;
        QTest::newRow("junk after quotes")
            << QByteArray("1\r\n\"D:\\m.map\" old\r\n1,3,\"pics\"xyz,\"9:00 PM\"  \"x\",80,"
                          "\"tv_uk\";\r\n")
            << sample << 8;
        QTest::newRow("unquoted texts")
            << QByteArray("1\r\n D:\\m.map \t\r\n1\r\n3\r\npics\r\n9:00 PM  \r\n80\r\ntv_uk")
            << sample << 8;
        QTest::newRow("more than eight") << s + "junk\r\n\"more\"\r\n5\r\n" << sample << 8;
        QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + s << sample << 8;
        QTest::newRow("first four lines") << QByteArray("1\r\n\"D:\\m.map\"\r\n1\r\n3\r\n")
                                          << "1|D:\\m.map|1|3|images|8:00 PM|0|tv_grab_na_dd" << 4;
        QTest::newRow("empty file") << QByteArray() << fixedUp << 0;
        QTest::newRow("empty lines")
            << QByteArray("\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n") << fixedUp << 8;
        QTest::newRow("blanks after last") << QByteArray("1\r\n \t ") << "1" + fixedUp.mid(1) << 1;
        QTest::newRow("line 4 is 0") << sampleLines().replace("\r\n3\r\n", "\r\n0\r\n")
                                     << "1|D:\\m.map|1|1|pics|9:00 PM|80|tv_uk" << 8;
        QTest::newRow("empty grabber") << sampleLines().replace("\"tv_uk\"", "\"\"")
                                       << "1|D:\\m.map|1|3|pics|9:00 PM|80|tv_grab_na_dd" << 8;
        QTest::newRow("out of range stays") << sampleLines()
                                                   .replace("\r\n3\r\n", "\r\n9\r\n")
                                                   .replace("80", "300")
                                                   .replace("9:", "11:")
                                            << "1|D:\\m.map|1|9|pics|11:00 PM|300|tv_uk" << 8;
        QTest::newRow("number edges")
            << QByteArray("-32768,\"p\",+32767,-2,\"i\",\"t\",-0007,\"g\"")
            << "-32768|p|32767|-2|i|t|-7|g" << 8;
        QTest::newRow("numbers in quotes")
            << QByteArray("\"1\",\"p\",\" -2 \",\"\t3\",\"i\",\"t\",\"80\",\"g\"")
            << "1|p|-2|3|i|t|80|g" << 8;
        QTest::newRow("quoted blanks kept") << sampleLines().replace("\"pics\"", "\" pi\t \"")
                                            << "1|D:\\m.map|1|3| pi\t |9:00 PM|80|tv_uk" << 8;
        QTest::newRow("quotes span lines") << sampleLines().replace("\"pics\"", "\"p\r\ni, x\"")
                                           << "1|D:\\m.map|1|3|p\r\ni, x|9:00 PM|80|tv_uk" << 8;
        QTest::newRow("unterminated takes the rest")
            << QByteArray("1\r\n\"D:\\m\r\n1\r\n3\r\n")
            << "1|D:\\m\r\n1\r\n3\r\n|0|1|images|8:00 PM|0|tv_grab_na_dd" << 2;
        // Latin-1 unless the whole file is valid UTF-8.
        QTest::newRow("UTF-8") << sampleLines().replace("D:\\m", "\xe2\x82\xac\xc3\xa9")
                               << "1|\u20ac\u00e9.map|1|3|pics|9:00 PM|80|tv_uk" << 8;
        QTest::newRow("Latin-1 byte later") << sampleLines().replace("D:\\m", "\xc3\xa9") + "\xe9"
                                            << "1|\u00c3\u00a9.map|1|3|pics|9:00 PM|80|tv_uk" << 8;
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

    void firstRun()
    {
        QCOMPARE(parseSettings(firstRunFile).settings, firstRunDefaults());
        QCOMPARE(formatSettings(firstRunDefaults()), firstRunFile);
        QTemporaryDir dir;
        const SettingsRead missing = readSettingsFile(dir.filePath("config.txt"));
        QCOMPARE(missing.outcome, Outcome::Missing);
        QCOMPARE(missing.settings, firstRunDefaults());
        QVERIFY(!QFile::exists(dir.filePath("config.txt")));
        QString error;
        QVERIFY2(writeSettingsFile(dir.filePath("config.txt"), firstRunDefaults(), &error),
                 qPrintable(error));
        QCOMPARE(snapshot(dir.path()), (QMap<QString, QByteArray>{{"config.txt", firstRunFile}}));
    }

    void conversionError_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message"); // line, value number, field, text found
        const QByteArray s = sampleLines();
        QTest::newRow("letter on line 1")
            << "x" + s.mid(1) << "1, value 1 (writeChannelMap): \"x\"";
        QTest::newRow("quoted letters")
            << "\"on\"" + s.mid(1) << "1, value 1 (writeChannelMap): \"on\"";
        QTest::newRow("32768") << QByteArray(s).replace("\r\n1\r\n", "\r\n32768\r\n")
                               << "3, value 3 (adjustDST): \"32768\"";
        QTest::newRow("-32769") << QByteArray(s).replace("\r\n3\r\n", "\r\n-32769\r\n")
                                << "4, value 4 (daysToDownload): \"-32769\"";
        QTest::newRow("decimal") << QByteArray(s).replace("80", "1.5")
                                 << "7, value 7 (opacity): \"1.5\"";
        QTest::newRow("LF and CR lines")
            << sampleLines("\n").replace("80", "8 0").replace("\n\"pics", "\r\"pics")
            << "7, value 7 (opacity): \"8 0\"";
        QTest::newRow("hex") << QByteArray(s).replace("80", "0x50")
                             << "7, value 7 (opacity): \"0x50\"";
        QTest::newRow("Arabic-Indic digit")
            << QByteArray(s).replace("80", "\xd9\xa1") << "7, value 7 (opacity): \"\u0661\"";
        QTest::newRow("comma line")
            << QByteArray("1,\"p\",1,3,\"i\",\"t\",8O,\"g\"") << "1, value 7 (opacity): \"8O\"";
        QTest::newRow("long junk shortened")
            << QByteArray(60, 'a') + s.mid(1)
            << "1, value 1 (writeChannelMap): \"" + QString(40, u'a') + QChar(0x2026) + "\"";
    }
    void conversionError()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const SettingsRead read = parseSettings(bytes);
        QCOMPARE(read.outcome, Outcome::ConversionError);
        QCOMPARE(read.error,
                 "config.txt, line " + message + " is not a whole number from -32768 to 32767");
    }

    void unreadableFile()
    {
        QTemporaryDir dir;
        // A folder in the file's place is an error, not a first run.
        QVERIFY(QDir(dir.path()).mkdir("config.txt"));
        const SettingsRead folder = readSettingsFile(dir.filePath("config.txt"));
        QCOMPARE(folder.outcome, Outcome::ConversionError);
        QVERIFY2(folder.error.contains(dir.filePath("config.txt")) &&
                     folder.error.contains("folder"),
                 qPrintable(folder.error));
        // A bad value is reported under the full path of the file read.
        QVERIFY(putFile(dir.filePath("other.txt"), "1\r\n\"p\"\r\nyes\r\n"));
        QCOMPARE(readSettingsFile(dir.filePath("other.txt")).error,
                 dir.filePath("other.txt") +
                     ", line 3, value 3 (adjustDST): \"yes\" is not a whole number from -32768 "
                     "to 32767");
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::newRow("sample") << sample;
        QTest::newRow("number edges") << "-32768|p|32767|-1|i|t|-32768|g";
        QTest::newRow("separators") << "1|D:\\a, b\\c.map|0|2|  padded\t|two\r\nlines|50|x\ry\nz,";
        QTest::newRow("beyond ASCII") << "0|C:\\T\u00e9l\u00e9.map|1|7|\u20ac|\u65e5|20|g";
        // Saved empty values come back fixed up.
        QTest::newRow("empty") << "0||0|0|||0|";
    }
    void roundTrip()
    {
        QFETCH(QString, settings);
        QTemporaryDir dir;
        const QString path = dir.filePath("config.txt");
        // An older, longer file must be replaced, not overwritten in part.
        QVERIFY(putFile(path, QByteArray(4096, '9')));
        QString error;
        QVERIFY2(writeSettingsFile(path, S(settings), &error), qPrintable(error));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"config.txt"});
        Settings expected = S(settings);
        applyFixUps(expected);
        const SettingsRead read = readSettingsFile(path);
        QCOMPARE(read.valuesRead, 8);
        QCOMPARE(read.settings, expected);
    }

    void failedWrite_data()
    {
        QTest::addColumn<QString>("obstacle");
        for (const char* name :
             {"target is a folder", "parent is a file", "parent missing", "write cut short"})
            QTest::newRow(name) << name;
    }
    void failedWrite()
    {
        QFETCH(QString, obstacle);
        QTemporaryDir dir;
        QString path = dir.filePath("config.txt");
        if (obstacle == "target is a folder")
            QVERIFY(QDir(dir.path()).mkdir("config.txt") &&
                    putFile(path + "/inside", sampleLines()));
        else if (obstacle == "parent is a file")
            QVERIFY(putFile(dir.filePath("parent"), sampleLines()));
        else if (obstacle == "write cut short")
            QVERIFY(putFile(path, sampleLines()));
        if (obstacle.startsWith("parent"))
            path = dir.filePath("parent/config.txt");
        const QMap<QString, QByteArray> before = snapshot(dir.path());
        QString error;
        bool written;
        {
            // Well below the size of the new file, so no write of it gets through whole.
            FileSizeLimit limit(obstacle == "write cut short" ? 16 : RLIM_INFINITY);
            QVERIFY(limit.ok);
            written = writeSettingsFile(path, firstRunDefaults(), &error);
        }
        QVERIFY(!written);
        QVERIFY2(error.contains(path), qPrintable(error));
        QCOMPARE(snapshot(dir.path()), before);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
