#include "app/settingsfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using zarvo::Settings;
using zarvo::SettingsRead;

namespace zarvo {

char* toString(const Settings& s)
{
    return QTest::toString(QStringLiteral("{%1, \"%2\", %3, %4, \"%5\", \"%6\", %7, \"%8\"}")
                               .arg(s.writeChannelMap)
                               .arg(s.channelMapPath)
                               .arg(s.adjustDST)
                               .arg(s.daysToDownload)
                               .arg(s.imagesFolder, s.primeTime)
                               .arg(s.opacity)
                               .arg(s.grabberName));
}

char* toString(SettingsRead::Outcome outcome)
{
    switch (outcome) {
    case SettingsRead::Outcome::Missing:
        return qstrdup("Missing");
    case SettingsRead::Outcome::Read:
        return qstrdup("Read");
    case SettingsRead::Outcome::ConversionError:
        return qstrdup("ConversionError");
    }
    return qstrdup("?");
}

} // namespace zarvo

namespace {

const QString firstRunPath =
    QStringLiteral("C:\\Program Files\\Home Media Networks Limited\\ShowShifter\\Config\\"
                   "channels.map");

// What the settings screen saves when nothing has been changed on a first run.
const QByteArray firstRunFile =
    "0\r\n"
    "\"C:\\Program Files\\Home Media Networks Limited\\ShowShifter\\Config\\channels.map\"\r\n"
    "0\r\n"
    "1\r\n"
    "\"images\"\r\n"
    "\"8:00 PM\"\r\n"
    "100\r\n"
    "\"tv_grab_na_dd\"\r\n";

// A record unlike the defaults in every field, so that a default leaking in shows.
Settings sample()
{
    return {1,
            QStringLiteral("D:\\maps\\channels.map"),
            1,
            3,
            QStringLiteral("pics"),
            QStringLiteral("9:00 PM"),
            80,
            QStringLiteral("tv_grab_uk_rt")};
}

QByteArray sampleLines(const QByteArray& lineEnd = "\r\n")
{
    const char* lines[] = {"1",  "\"D:\\maps\\channels.map\"", "1", "3", "\"pics\"", "\"9:00 PM\"",
                           "80", "\"tv_grab_uk_rt\""};
    QByteArray out;
    for (const char* line : lines)
        out += QByteArray(line) + lineEnd;
    return out;
}

Settings with(Settings s, auto change)
{
    change(s);
    return s;
}

// Every file and folder below `root`, with the contents of the files.
QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString path = it.next();
        QByteArray content = "<folder>";
        if (!it.fileInfo().isDir()) {
            QFile file(path);
            content = file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
        }
        entries.insert(base.relativeFilePath(path), content);
    }
    return entries;
}

bool putFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Caps the size of any file this process writes, so that writing the new settings fails part
// way through while the old file (never written) stays as it is. Permissions cannot provoke a
// failed write here because the tests run as root; a file size limit binds root as well.
// SIGXFSZ is ignored meanwhile so that the write fails with EFBIG instead of ending the test.
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

class TestSettingsFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void decoding_data();
    void decoding();
    void conversionError_data();
    void conversionError();
    void missingFile();
    void unreadableFile();
    void errorNamesTheFile();
    void firstRunBytes();
    void roundTrip_data();
    void roundTrip();
    void failedWrite_data();
    void failedWrite();
};

void TestSettingsFile::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Settings>("expected");
    QTest::addColumn<int>("valuesRead");

    const Settings defaults = zarvo::firstRunDefaults();
    const Settings s = sample();

    QTest::newRow("first-run file") << firstRunFile << defaults << 8;
    QTest::newRow("eight lines") << sampleLines() << s << 8;
    QTest::newRow("one line, commas")
        << QByteArray("1,\"D:\\maps\\channels.map\",1,3,\"pics\",\"9:00 PM\",80,\"tv_grab_uk_rt\"")
        << s << 8;
    QTest::newRow("LF only") << sampleLines("\n") << s << 8;
    QTest::newRow("CR only") << sampleLines("\r") << s << 8;
    QTest::newRow("lines and commas mixed")
        << QByteArray("1,\"D:\\maps\\channels.map\"\n1\r3\r\n\"pics\",\"9:00 PM\"\r80,"
                      "\"tv_grab_uk_rt\"")
        << s << 8;
    QTest::newRow("leading blanks and tabs")
        << QByteArray(" 1\r\n\t\"D:\\maps\\channels.map\"\r\n \t 1\r\n\t\t3\r\n   \"pics\"\r\n"
                      "\t\"9:00 PM\"\r\n 80\r\n \"tv_grab_uk_rt\"\r\n")
        << s << 8;
    QTest::newRow("trailing blanks after numbers")
        << QByteArray("1 \t\r\n\"D:\\maps\\channels.map\"\r\n1\t,3  ,\"pics\"\r\n\"9:00 PM\"\r\n"
                      "80 \r\n\"tv_grab_uk_rt\"\r\n")
        << s << 8;
    QTest::newRow("junk after a quoted field")
        << QByteArray("1\r\n\"D:\\maps\\channels.map\" old path\r\n1,3,\"pics\"xyz,\"9:00 PM\"  "
                      "\"x\",80,\"tv_grab_uk_rt\";\r\n")
        << s << 8;
    QTest::newRow("first four lines only")
        << QByteArray("1\r\n\"D:\\maps\\channels.map\"\r\n1\r\n3\r\n")
        << Settings{1,
                    QStringLiteral("D:\\maps\\channels.map"),
                    1,
                    3,
                    QStringLiteral("images"),
                    QStringLiteral("8:00 PM"),
                    0,
                    QStringLiteral("tv_grab_na_dd")}
        << 4;
    QTest::newRow("empty file") << QByteArray()
                                << with(defaults, [](Settings& x) { x.opacity = 0; }) << 0;
    QTest::newRow("line 4 is 0") << sampleLines().replace("\r\n3\r\n", "\r\n0\r\n")
                                 << with(s, [](Settings& x) { x.daysToDownload = 1; }) << 8;
    QTest::newRow("empty grabber")
        << sampleLines().replace("\"tv_grab_uk_rt\"", "\"\"")
        << with(s, [](Settings& x) { x.grabberName = "tv_grab_na_dd"; }) << 8;
    QTest::newRow("empty lines") << QByteArray("\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n")
                                 << with(defaults, [](Settings& x) { x.opacity = 0; }) << 8;
    QTest::newRow("empty quoted numbers")
        << QByteArray("\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"")
        << with(defaults, [](Settings& x) { x.opacity = 0; }) << 8;
    QTest::newRow("blanks only after the last value") << QByteArray("1\r\n \t ")
                                                      << with(defaults,
                                                              [](Settings& x) {
                                                                  x.writeChannelMap = 1;
                                                                  x.opacity = 0;
                                                              })
                                                      << 1;
    QTest::newRow("comma at the end of the file") << QByteArray("1,")
                                                  << with(defaults,
                                                          [](Settings& x) {
                                                              x.writeChannelMap = 1;
                                                              x.opacity = 0;
                                                          })
                                                  << 1;
    QTest::newRow("number edges") << QByteArray("-32768,\"p\",32767,+5,\"i\",\"t\",-0007,\"g\"")
                                  << Settings{-32768, "p", 32767, 5, "i", "t", -7, "g"} << 8;
    QTest::newRow("numbers in quotes")
        << QByteArray("\"1\",\"p\",\" -2 \",\"\t3\",\"i\",\"t\",\"80\",\"g\"")
        << Settings{1, "p", -2, 3, "i", "t", 80, "g"} << 8;
    QTest::newRow("out-of-range values stay") << sampleLines()
                                                     .replace("\r\n3\r\n", "\r\n9\r\n")
                                                     .replace("80", "300")
                                                     .replace("9:00", "11:00")
                                              << with(s,
                                                      [](Settings& x) {
                                                          x.daysToDownload = 9;
                                                          x.opacity = 300;
                                                          x.primeTime = "11:00 PM";
                                                      })
                                              << 8;
    QTest::newRow("negative days stay") << sampleLines().replace("\r\n3\r\n", "\r\n-2\r\n")
                                        << with(s, [](Settings& x) { x.daysToDownload = -2; }) << 8;
    QTest::newRow("unquoted texts")
        << QByteArray("1\r\n D:\\maps\\channels.map \t\r\n1\r\n3\r\npics\r\n9:00 PM  \r\n80\r\n"
                      "tv_grab_uk_rt")
        << s << 8;
    QTest::newRow("quoted text keeps its blanks")
        << sampleLines().replace("\"pics\"", "\" pics\t \"")
        << with(s, [](Settings& x) { x.imagesFolder = " pics\t "; }) << 8;
    QTest::newRow("quoted text spans lines")
        << sampleLines().replace("\"pics\"", "\"pi\r\ncs, too\"")
        << with(s, [](Settings& x) { x.imagesFolder = "pi\r\ncs, too"; }) << 8;
    QTest::newRow("unterminated quote on the last line")
        << sampleLines().replace("\"tv_grab_uk_rt\"\r\n", "\"tv_grab_uk_rt\r\n")
        << with(s, [](Settings& x) { x.grabberName = "tv_grab_uk_rt\r\n"; }) << 8;
    QTest::newRow("unterminated quote takes the rest of the file")
        << QByteArray("1\r\n\"D:\\maps\r\n1\r\n3\r\n")
        << with(defaults,
                [](Settings& x) {
                    x.writeChannelMap = 1;
                    x.channelMapPath = "D:\\maps\r\n1\r\n3\r\n";
                    x.opacity = 0;
                })
        << 2;
    QTest::newRow("values after the eighth ignored") << sampleLines() + "junk\r\n\"more\"\r\n5\r\n"
                                                     << s << 8;
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + sampleLines() << s << 8;
}

void TestSettingsFile::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Settings, expected);
    QFETCH(int, valuesRead);

    const SettingsRead read = zarvo::parseSettings(bytes);
    QCOMPARE(read.outcome, SettingsRead::Outcome::Read);
    QCOMPARE(read.settings, expected);
    QCOMPARE(read.valuesRead, valuesRead);
    QVERIFY(read.error.isEmpty());
}

void TestSettingsFile::decoding_data()
{
    QTest::addColumn<QByteArray>("path");
    // Bytes after the eighth value: not read as a value, but part of the file's encoding.
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QString>("expected");

    const QString tele = QStringLiteral("C:\\T\u00e9l\u00e9\\channels.map");
    const QByteArray teleUtf8 = "C:\\T\xc3\xa9l\xc3\xa9\\channels.map";
    const QString teleMisread = QStringLiteral("C:\\T\u00c3\u00a9l\u00c3\u00a9\\channels.map");
    QTest::newRow("Latin-1") << QByteArray("C:\\T\xe9l\xe9\\channels.map") << QByteArray() << tele;
    QTest::newRow("UTF-8") << teleUtf8 << QByteArray() << tele;
    QTest::newRow("UTF-8 beyond Latin-1")
        << QByteArray("C:\\\xe2\x82\xac\\\xe6\x97\xa5.map") << QByteArray()
        << QStringLiteral("C:\\\u20ac\\\u65e5.map");
    // One byte that is not UTF-8 anywhere in the file makes the whole file Latin-1.
    QTest::newRow("Latin-1 byte elsewhere") << teleUtf8 << QByteArray("\xe9") << teleMisread;
    QTest::newRow("sequence cut off at the end") << teleUtf8 << QByteArray("\xc3") << teleMisread;
}

void TestSettingsFile::decoding()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, tail);
    QFETCH(QString, expected);

    const QByteArray bytes =
        "0\r\n\"" + path + "\"\r\n0\r\n1\r\n\"i\"\r\n\"t\"\r\n100\r\n\"g\"\r\n" + tail;
    const SettingsRead read = zarvo::parseSettings(bytes);
    QCOMPARE(read.outcome, SettingsRead::Outcome::Read);
    QCOMPARE(read.settings.channelMapPath, expected);
}

void TestSettingsFile::conversionError_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const QString tail = QStringLiteral(" is not a whole number from -32768 to 32767");
    QTest::newRow("letter on line 1") << sampleLines().replace(0, 1, "x")
                                      << "config.txt, value 1 (writeChannelMap): \"x\"" + tail;
    QTest::newRow("32768") << sampleLines().replace("\r\n1\r\n3\r\n", "\r\n32768\r\n3\r\n")
                           << "config.txt, value 3 (adjustDST): \"32768\"" + tail;
    QTest::newRow("-32769") << sampleLines().replace("\r\n3\r\n", "\r\n-32769\r\n")
                            << "config.txt, value 4 (daysToDownload): \"-32769\"" + tail;
    QTest::newRow("many digits") << sampleLines().replace("80", "99999999999999999999")
                                 << "config.txt, value 7 (opacity): \"99999999999999999999\"" +
                                        tail;
    QTest::newRow("decimal point")
        << sampleLines().replace("80", "1.5") << "config.txt, value 7 (opacity): \"1.5\"" + tail;
    QTest::newRow("sign alone") << sampleLines().replace("80", " - ")
                                << "config.txt, value 7 (opacity): \"-\"" + tail;
    QTest::newRow("two signs") << sampleLines().replace("80", "+-8")
                               << "config.txt, value 7 (opacity): \"+-8\"" + tail;
    QTest::newRow("blank inside") << sampleLines().replace("80", "8 0")
                                  << "config.txt, value 7 (opacity): \"8 0\"" + tail;
    QTest::newRow("hex") << sampleLines().replace("80", "0x50")
                         << "config.txt, value 7 (opacity): \"0x50\"" + tail;
    QTest::newRow("full-width digit")
        << sampleLines().replace("80", "\xef\xbc\x98") // U+FF18
        << QStringLiteral("config.txt, value 7 (opacity): \"\uff18\"") + tail;
    QTest::newRow("quoted letters") << sampleLines().replace(0, 1, "\"on\"")
                                    << "config.txt, value 1 (writeChannelMap): \"on\"" + tail;
    QTest::newRow("letter on a comma line") << QByteArray("1,\"p\",1,3,\"i\",\"t\",8O,\"g\"")
                                            << "config.txt, value 7 (opacity): \"8O\"" + tail;
    QTest::newRow("long junk shortened") << sampleLines().replace(0, 1, QByteArray(60, 'a'))
                                         << "config.txt, value 1 (writeChannelMap): \"" +
                                                QString(40, u'a') + QChar(0x2026) + "\"" + tail;
}

void TestSettingsFile::conversionError()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);

    const SettingsRead read = zarvo::parseSettings(bytes);
    QCOMPARE(read.outcome, SettingsRead::Outcome::ConversionError);
    QCOMPARE(read.error, message);
}

void TestSettingsFile::missingFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("config.txt");

    const SettingsRead read = zarvo::readSettingsFile(path);
    QCOMPARE(read.outcome, SettingsRead::Outcome::Missing);
    QCOMPARE(read.settings, zarvo::firstRunDefaults());
    QVERIFY(!QFile::exists(path));
}

void TestSettingsFile::unreadableFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("config.txt");
    QVERIFY(QDir(dir.path()).mkdir("config.txt"));

    const SettingsRead read = zarvo::readSettingsFile(path);
    QCOMPARE(read.outcome, SettingsRead::Outcome::ConversionError);
    QVERIFY2(read.error.contains(path) && read.error.contains("folder"), qPrintable(read.error));
}

void TestSettingsFile::errorNamesTheFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("other.txt");
    QVERIFY(putFile(path, "1\r\n\"p\"\r\nyes\r\n"));

    const SettingsRead read = zarvo::readSettingsFile(path);
    QCOMPARE(read.outcome, SettingsRead::Outcome::ConversionError);
    QCOMPARE(read.error, QStringLiteral("other.txt, value 3 (adjustDST): \"yes\" is not a whole "
                                        "number from -32768 to 32767"));
}

void TestSettingsFile::firstRunBytes()
{
    QCOMPARE(zarvo::formatSettings(zarvo::firstRunDefaults()), firstRunFile);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("config.txt");
    QString error;
    QVERIFY2(zarvo::writeSettingsFile(path, zarvo::firstRunDefaults(), &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), firstRunFile);
}

void TestSettingsFile::roundTrip_data()
{
    QTest::addColumn<Settings>("settings");

    QTest::newRow("first-run defaults") << zarvo::firstRunDefaults();
    QTest::newRow("sample") << sample();
    QTest::newRow("number edges") << Settings{-32768, "p", 32767, -1, "i", "t", -32768, "g"};
    QTest::newRow("separators in texts")
        << Settings{1, "D:\\a, b\\c.map", 0, 2, "  padded\t", "two\r\nlines", 50, "x\ry\nz,"};
    QTest::newRow("beyond ASCII") << Settings{
        0,
        QStringLiteral("C:\\T\u00e9l\u00e9\\cha\u00eenes.map"),
        1,
        7,
        QStringLiteral("\u20ac"),
        QStringLiteral("\u65e5"),
        20,
        QStringLiteral("tv_grab_fr")};
    // These come back fixed up, as any saved empty value does.
    QTest::newRow("empty texts, zero days") << Settings{};
}

void TestSettingsFile::roundTrip()
{
    QFETCH(Settings, settings);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("config.txt");
    // An older, longer file must be replaced, not overwritten in part.
    QVERIFY(putFile(path, QByteArray(4096, '9')));

    QString error;
    QVERIFY2(zarvo::writeSettingsFile(path, settings, &error), qPrintable(error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"config.txt"});

    Settings expected = settings;
    zarvo::applyFixUps(expected);
    const SettingsRead read = zarvo::readSettingsFile(path);
    QCOMPARE(read.outcome, SettingsRead::Outcome::Read);
    QCOMPARE(read.valuesRead, 8);
    QCOMPARE(read.settings, expected);
}

enum class Obstacle { TargetIsFolder, ParentIsFile, ParentMissing, FileSizeLimit };

void TestSettingsFile::failedWrite_data()
{
    QTest::addColumn<Obstacle>("obstacle");

    QTest::newRow("target is a folder") << Obstacle::TargetIsFolder;
    QTest::newRow("parent is a file") << Obstacle::ParentIsFile;
    QTest::newRow("parent missing") << Obstacle::ParentMissing;
    QTest::newRow("write cut short") << Obstacle::FileSizeLimit;
}

void TestSettingsFile::failedWrite()
{
    QFETCH(Obstacle, obstacle);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath("config.txt");
    const QByteArray oldBytes = sampleLines();
    switch (obstacle) {
    case Obstacle::TargetIsFolder:
        QVERIFY(QDir(dir.path()).mkdir("config.txt"));
        QVERIFY(putFile(dir.filePath("config.txt/inside"), oldBytes));
        break;
    case Obstacle::ParentIsFile:
        QVERIFY(putFile(dir.filePath("parent"), oldBytes));
        path = dir.filePath("parent/config.txt");
        break;
    case Obstacle::ParentMissing:
        path = dir.filePath("none/config.txt");
        break;
    case Obstacle::FileSizeLimit:
        QVERIFY(putFile(path, oldBytes));
        break;
    }
    const QMap<QString, QByteArray> before = snapshot(dir.path());

    QString error;
    bool written = false;
    if (obstacle == Obstacle::FileSizeLimit) {
        // Well below the size of the new file, so no write of it can get through whole.
        FileSizeLimit limit(16);
        QVERIFY(limit.ok());
        written = zarvo::writeSettingsFile(path, zarvo::firstRunDefaults(), &error);
    } else {
        written = zarvo::writeSettingsFile(path, zarvo::firstRunDefaults(), &error);
    }

    QVERIFY(!written);
    QVERIFY2(error.contains(path), qPrintable(error));
    QCOMPARE(snapshot(dir.path()), before);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
