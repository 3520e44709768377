// The settings screen's logic without widgets: country entries, list placement, the opacity
// text, the record-to-controls round trip and the keyboard highlight with its hidden digits.

#include "settings/configlogic.h"
#include "ui/keycodes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace zarvo;
using namespace zarvo::config;
using Action = ConfigKeyboard::Action;

Q_DECLARE_METATYPE(zarvo::Settings)
Q_DECLARE_METATYPE(zarvo::config::ConfigKeyboard::Action)

namespace {

// One letter per key: L, R, U, D for the arrows, E for Enter, anything else an unused key.
void press(ConfigKeyboard& keyboard, QChar key)
{
    const int codes[] = {ui::vk::Left, ui::vk::Right, ui::vk::Up, ui::vk::Down, ui::vk::Return};
    const qsizetype i = QStringLiteral("LRUDE").indexOf(key);
    keyboard.keyUp(i < 0 ? 'A' : codes[i]);
}

void press(ConfigKeyboard& keyboard, const QString& keys)
{
    for (QChar c : keys)
        press(keyboard, c);
}

// A record loaded into the controls; countryIndex 15 is an entry of its own after the fifteen.
struct Load
{
    QString grabber;
    int days, flag, countryIndex, daysIndex;
};

Settings someSettings()
{
    return Settings{1, "/srv/ss/channels.map", 1, 7, "pics", "10:00 PM", 80, "tv_grab_fi"};
}

} // namespace

Q_DECLARE_METATYPE(Load)

class TestConfigLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The grabber named in a list entry: the text in its first brackets; the entry kept for an
    // unknown grabber gives any name back whole.
    void grabberFromEntry()
    {
        QCOMPARE(config::grabberFromEntry(countryEntries().at(14)), "tv_grab_dk");
        for (auto [entry, grabber] : {std::pair{"tv_grab_xx", "tv_grab_x"},
                                      {"x()", ""},
                                      {"(", ""},
                                      {"Other (a(b))", "a(b)"}})
            QCOMPARE(config::grabberFromEntry(entry), grabber);
        for (const char* name : {"tv_grab_demo", "grab(er)", "grabber)", "my grabber"})
            QCOMPARE(config::grabberFromEntry(otherCountryEntry(name)), name);
    }

    // Browse takes only a file named channels.map, in any letter case.
    void channelMapFile()
    {
        for (const char* path : {"/srv/ss/channels.map", "/srv/CHANNELS.MAP", "Channels.Map"})
            QVERIFY2(isChannelMapFile(path), path);
        for (const char* path : {"/srv/channels.map.bak", "/srv/mychannels.map", ""})
            QVERIFY2(!isChannelMapFile(path), path);
    }

    // The prime-time entry of a setting (8 PM when none matches) and the opacity of a text:
    // a whole number of 16 bits, in ASCII digits.
    void textValues()
    {
        for (auto [text, index] : {std::pair{"5:00 PM", 0},
                                   {"06:00 PM", 1},
                                   {"10:00 PM", 5},
                                   {"11:00 PM", 3},
                                   {"", 3},
                                   {"99999999999999:00 PM", 3}})
            QCOMPARE(primeTimeIndex(text), index);
        for (auto [text, value] :
             {std::pair{"150", 150}, {" +20 ", 20}, {"-32768", -32768}, {"000000000000080", 80}})
            QCOMPARE(parseOpacity(text), std::optional<qint16>(value));
        for (const QString& text : {QString("32768"), QString(""), QString("-"), QString("4.5"),
                                    QString("1 0"), QString::fromUtf8("\xd9\xa8\xd9\xa0")})
            QVERIFY2(!parseOpacity(text), qPrintable(text));
    }

    void loadCorrections_data()
    {
        QTest::addColumn<Load>("load");
        QTest::newRow("last country") << Load{"tv_grab_dk", 7, 1, 14, 6};
        QTest::newRow("case matters") << Load{"TV_GRAB_DK", 1, 0, 15, 0};
        QTest::newRow("empty grabber: first") << Load{"", 2, 1, 0, 1};
        QTest::newRow("too many days") << Load{"tv_grab_se", 9, 2, 3, 6};
        QTest::newRow("no days") << Load{"tv_grab_se", 0, -1, 3, 0};
    }
    void loadCorrections()
    {
        QFETCH(Load, load);
        Settings s = firstRunDefaults();
        s.grabberName = load.grabber;
        s.daysToDownload = qint16(load.days);
        s.writeChannelMap = s.adjustDST = qint16(load.flag);
        const ControlValues c = controlValuesFor(s);
        const bool other = load.countryIndex == 15;
        QCOMPARE(c.countries.size(), other ? 16 : 15);
        QCOMPARE(c.countryIndex, load.countryIndex);
        QCOMPARE(c.daysIndex, load.daysIndex);
        QCOMPARE(c.writeChannelMap, load.flag == 1); // ticked only for the value acted on
        QCOMPARE(c.adjustDST, load.flag == 1);
        if (other)
            QCOMPARE(c.countries.last(), otherCountryEntry(load.grabber));
    }

    // The list on a machine with a fake PATH: the fifteen countries, marked when missing, then
    // every other installed grabber (program folder first, a name once) with its description,
    // whose own brackets do not confuse the saved name.
    void grabberList()
    {
        QTemporaryDir root;
        const auto put = [&](const QString& path, bool executable, const QByteArray& description) {
            QDir().mkpath(QFileInfo(root.filePath(path)).absolutePath());
            QFile f(root.filePath(path));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\n[ \"$1\" = --description ] && echo '" + description + "'\n");
            f.setPermissions(executable ? QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                        : QFileDevice::ReadOwner);
        };
        put("guide/xmltv/tv_grab_demo", true, "Demonstration listings");
        put("bin1/tv_grab_fi", true, "Finland (iltapulu.fi)");
        put("bin1/tv_grab_eu_epgdata", true, "Parts of Europe (commercial) (www.epgdata.com)");
        put("bin2/tv_grab_fi", true, "another copy");
        put("bin2/tv_grab_off", false, "not executable");
        put("bin2/tv_sort", true, "not a grabber");
        const QString path = root.filePath("bin1") + ':' + root.filePath("bin2");
        const QList<InstalledGrabber> installed = installedGrabbers(root.filePath("guide"), path);
        QCOMPARE(installed, (QList<InstalledGrabber>{
                                {"tv_grab_demo", root.filePath("guide/xmltv/tv_grab_demo")},
                                {"tv_grab_eu_epgdata", root.filePath("bin1/tv_grab_eu_epgdata")},
                                {"tv_grab_fi", root.filePath("bin1/tv_grab_fi")}}));
        QStringList programs;
        for (const InstalledGrabber& g : installed)
            programs << g.program;
        const QHash<QString, QString> answers = askGrabbers(programs, "--description");
        QHash<QString, QString> descriptions;
        for (const InstalledGrabber& g : installed)
            descriptions.insert(g.name, answers.value(g.program));

        const QList<GrabberEntry> entries = grabberEntries(installed, descriptions);
        QCOMPARE(entries.size(), 17);
        QCOMPARE(entries[0].text, "USA and Canada (tv_grab_na_dd) (not installed)");
        QCOMPARE(entries[5], (GrabberEntry{"Finland (tv_grab_fi)", "tv_grab_fi", true, true}));
        QCOMPARE(entries[14].text, "Denmark (tv_grab_dk) (not installed)");
        QCOMPARE(entries[15].text, "Demonstration listings (tv_grab_demo)");
        QCOMPARE(entries[16].text,
                 "Parts of Europe (commercial) (www.epgdata.com) (tv_grab_eu_epgdata)");

        Settings s = firstRunDefaults();
        for (const QString& grabber :
             QStringList{"tv_grab_eu_epgdata", "tv_grab_uk_rt", "tv_grab_gone"}) {
            s.grabberName = grabber;
            const ControlValues c = controlValuesFor(s, entries);
            QCOMPARE(c.countries.size(), grabber == QString("tv_grab_gone") ? 18 : 17);
            QCOMPARE(settingsFrom(c).settings->grabberName, grabber);
        }
    }

    // Whatever the screen shows without being touched saves back as it was loaded.
    void roundTrip_data()
    {
        QTest::addColumn<Settings>("settings");
        QTest::newRow("every value changed") << someSettings();
        QTest::newRow("odd values") << Settings{0, "", 1, 1, "", "5:00 PM", 20, "tv_grab_demo"};
    }
    void roundTrip()
    {
        QFETCH(Settings, settings);
        const SaveMapping saved = settingsFrom(controlValuesFor(settings));
        QVERIFY2(saved.settings.has_value(), qPrintable(saved.message));
        QCOMPARE(*saved.settings, settings);
    }

    // Controls that cannot be saved give a message; indices outside the lists (which the screen
    // never has) give the first-run day count and prime time.
    void saveMapping_data()
    {
        QTest::addColumn<QString>("opacity");
        QTest::addColumn<int>("countryIndex");
        QTest::addColumn<int>("listIndex");
        QTest::addColumn<QString>("message");
        QTest::newRow("opacity not a number") << "abc" << 0 << 0 << QString(OpacityMessage);
        QTest::newRow("opacity 150") << "150" << 0 << 0 << QString(OpacityMessage);
        QTest::newRow("opacity 19") << "19" << 0 << 0 << QString(OpacityMessage);
        QTest::newRow("opacity 20") << " 20" << 0 << 7 << QString();
        QTest::newRow("opacity 100") << "100 " << 0 << -1 << QString();
        QTest::newRow("quote in the map path") << "100" << 0 << 0 << QString(QuoteInPathMessage);
        QTest::newRow("no country") << "100" << -1 << 0 << QString(NoCountryMessage);
        QTest::newRow("country past the list") << "100" << 15 << 0 << QString(NoCountryMessage);
    }
    void saveMapping()
    {
        QFETCH(QString, opacity);
        QFETCH(int, countryIndex);
        QFETCH(int, listIndex);
        QFETCH(QString, message);
        ControlValues c = controlValuesFor(someSettings());
        c.opacityText = opacity;
        c.countryIndex = countryIndex;
        if (message == QuoteInPathMessage)
            c.channelMapPath = "/srv/a\"b/channels.map";
        if (listIndex)
            c.daysIndex = c.primeIndex = listIndex;
        const SaveMapping saved = settingsFrom(c);
        QCOMPARE(saved.message, message);
        QCOMPARE(saved.settings.has_value(), message.isEmpty());
        if (saved.settings) {
            QCOMPARE(saved.settings->daysToDownload, qint16(1));
            QCOMPARE(saved.settings->primeTime, QStringLiteral("8:00 PM"));
        }
    }

    // The selection after each key (in hex; Save is highlighted at 6, Cancel at 7), the six
    // hidden digits at the end and what an Enter then asks for.
    void keyboard_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("selections");
        QTest::addColumn<QString>("digits");
        QTest::addColumn<Action>("enter");
        const auto row = [](const char* name, const char* keys, const char* selections,
                            const char* digits, Action enter) {
            QTest::newRow(name) << QString(keys) << QString(selections) << QString(digits) << enter;
        };
        const Action none = Action::None, close = Action::Close, write = Action::WriteConfigBatch;
        row("untouched", "", "", "000000", none);
        row("left wraps to Cancel", "L", "7", "000000", close);
        row("right from Save round to Save", "LLRRRRRRRR", "7670123456", "000000", write);
        row("down keeps counting", "LDDR", "789a", "000000", none);
        row("Enter, other keys", "LEXE", "7777", "000000", close);
        row("down from 0 wraps to 9", "D", "0", "900000", none);
        row("digit 5 from the left", "LLLUU", "76555", "000002", none);
        row("each digit its own", "URUURUUURDRDDLLLLLU", "0111222233444321076", "123980", write);
    }
    void keyboard()
    {
        QFETCH(QString, keys);
        QFETCH(QString, selections);
        QFETCH(QString, digits);
        QFETCH(Action, enter);
        ConfigKeyboard keyboard;
        QString seen, seenDigits;
        for (QChar c : keys) {
            press(keyboard, c);
            seen += QString::number(keyboard.selection(), 16);
            QCOMPARE(keyboard.saveHighlighted(), keyboard.selection() == 6);
            QCOMPARE(keyboard.cancelHighlighted(), keyboard.selection() == 7);
        }
        QCOMPARE(seen, selections);
        for (qint16 d : keyboard.digitValues())
            seenDigits += QString::number(d);
        QCOMPARE(seenDigits, digits);
        QCOMPARE(keyboard.keyUp(ui::vk::Return), enter);
        QCOMPARE(keyboard.keyUp(ui::vk::Left), Action::None);
    }

    void codeTextGrowsByFiveDigits()
    {
        ConfigKeyboard keyboard;
        // Digits 4, 0, 2, 0, 9 and a sixth of 7; then Save.
        press(keyboard, QStringLiteral("UUUURRUURRDRDDDR"));
        QCOMPARE(keyboard.selection(), qint16(6));
        QCOMPARE(keyboard.codeText(), QString());
        QCOMPARE(keyboard.appendCode(), QStringLiteral("40209"));
        QCOMPARE(keyboard.storedDigit(), qint16(7));
        // A change in between shows up in the next five only.
        press(keyboard, QStringLiteral("RRULL"));
        QCOMPARE(keyboard.appendCode(), QStringLiteral("4020950209"));
        QCOMPARE(keyboard.codeText(), QStringLiteral("4020950209"));
    }
};

QTEST_GUILESS_MAIN(TestConfigLogic)
#include "tst_configlogic.moc"
