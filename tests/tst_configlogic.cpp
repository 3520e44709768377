// The settings screen's logic without widgets: the country entries and the grabber name in
// them, placing prime time and the day count in their lists, the opacity text, the round trip
// from the record to the controls and back, and the keyboard highlight with its hidden digits.

#include "settings/configlogic.h"
#include "ui/keycodes.h"

#include <QTest>

using namespace zarvo;
using namespace zarvo::config;

Q_DECLARE_METATYPE(zarvo::Settings)

namespace {

// One key per letter: L, R, U, D for the arrows, E for Enter, anything else an unused key.
int virtualKey(QChar c)
{
    switch (c.unicode()) {
    case 'L':
        return ui::vk::Left;
    case 'R':
        return ui::vk::Right;
    case 'U':
        return ui::vk::Up;
    case 'D':
        return ui::vk::Down;
    case 'E':
        return ui::vk::Return;
    default:
        return 'A';
    }
}

void press(ConfigKeyboard& keyboard, const QString& keys)
{
    for (QChar c : keys)
        keyboard.keyUp(virtualKey(c));
}

Settings someSettings()
{
    Settings s;
    s.writeChannelMap = 1;
    s.channelMapPath = QStringLiteral("/srv/showshifter/channels.map");
    s.adjustDST = 1;
    s.daysToDownload = 7;
    s.imagesFolder = QStringLiteral("pics");
    s.primeTime = QStringLiteral("10:00 PM");
    s.opacity = 150;
    s.grabberName = QStringLiteral("tv_grab_fi");
    return s;
}

} // namespace

class TestConfigLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void grabberFromEntry_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("grabber");
        const QStringList names{
            "tv_grab_na_dd", "tv_grab_uk_rt", "tv_grab_de_tvtoday", "tv_grab_se", "tv_grab_nz",
            "tv_grab_fi",    "tv_grab_it",    "tv_grab_es",         "tv_grab_nl", "tv_grab_nl_wolf",
            "tv_grab_huro",  "tv_grab_fr",    "tv_grab_no",         "tv_grab_pt", "tv_grab_dk"};
        QCOMPARE(countryEntries().size(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QTest::addRow("entry %d", i) << countryEntries().at(i) << names.at(i);
        QTest::newRow("no bracket: last character dropped") << "tv_grab_xx"
                                                            << "tv_grab_x";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("bracket only") << "("
                                      << "";
        QTest::newRow("empty brackets") << "x()"
                                        << "";
        QTest::newRow("first bracket counts") << "Other (a(b))"
                                              << "a(b)";
    }
    void grabberFromEntry()
    {
        QFETCH(QString, entry);
        QFETCH(QString, grabber);
        QCOMPARE(config::grabberFromEntry(entry), grabber);
    }

    void lists()
    {
        QCOMPARE(countryEntries().first(), QStringLiteral("USA and Canada (tv_grab_na_dd)"));
        QCOMPARE(countryEntries().last(), QStringLiteral("Denmark (tv_grab_dk)"));
        QCOMPARE(daysEntries(), QStringList({"1", "2", "3", "4", "5", "6", "7"}));
        QCOMPARE(primeTimeEntries(),
                 QStringList({"5:00 PM", "6:00 PM", "7:00 PM", "8:00 PM", "9:00 PM", "10:00 PM"}));
    }

    void otherEntryKeepsAnyName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "tv_grab_demo";
        QTest::newRow("brackets") << "grab(er)";
        QTest::newRow("closing bracket last") << "grabber)";
        QTest::newRow("blank") << "my grabber";
    }
    void otherEntryKeepsAnyName()
    {
        QFETCH(QString, name);
        QCOMPARE(config::grabberFromEntry(otherCountryEntry(name)), name);
    }

    void primeTimeIndex_data()
    {
        QTest::addColumn<QString>("primeTime");
        QTest::addColumn<int>("index");
        QTest::newRow("5 PM") << "5:00 PM" << 0;
        QTest::newRow("8 PM, the fourth") << "8:00 PM" << 3;
        QTest::newRow("10 PM, the last") << "10:00 PM" << 5;
        QTest::newRow("leading zero") << "06:00 PM" << 1;
        QTest::newRow("11 PM is not 10") << "11:00 PM" << 3;
        QTest::newRow("1 PM is not 10") << "1:00 PM" << 3;
        QTest::newRow("empty") << "" << 3;
        QTest::newRow("letter") << "x" << 3;
        QTest::newRow("blank first") << " 9:00 PM" << 3;
        QTest::newRow("huge number") << "99999999999999:00 PM" << 3;
    }
    void primeTimeIndex()
    {
        QFETCH(QString, primeTime);
        QFETCH(int, index);
        QCOMPARE(config::primeTimeIndex(primeTime), index);
    }

    void opacity_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("100") << "100" << true << 100;
        QTest::newRow("above the label's range") << "150" << true << 150;
        QTest::newRow("plus") << "+20" << true << 20;
        QTest::newRow("negative") << "-5" << true << -5;
        QTest::newRow("leading zeros") << "000000000000080" << true << 80;
        QTest::newRow("one too large") << "32768" << false << 0;
        QTest::newRow("far too large") << "99999999999999999999" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("sign only") << "-" << false << 0;
        QTest::newRow("letters") << "abc" << false << 0;
        QTest::newRow("fraction") << "4.5" << false << 0;
        QTest::newRow("inner blank") << "1 0" << false << 0;
        QTest::newRow("non-ASCII digits") << QString::fromUtf8("\xd9\xa8\xd9\xa0") << false << 0;
    }
    void opacity()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        const std::optional<qint16> parsed = parseOpacity(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(int(*parsed), value);
    }

    void loadCorrections_data()
    {
        QTest::addColumn<QString>("grabber");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("flag");
        QTest::addColumn<int>("countryCount");
        QTest::addColumn<int>("countryIndex");
        QTest::addColumn<int>("daysIndex");
        QTest::addColumn<bool>("ticked");
        QTest::newRow("last country") << "tv_grab_dk" << 7 << 1 << 15 << 14 << 6 << true;
        QTest::newRow("unknown grabber gets its own entry")
            << "tv_grab_demo" << 4 << 0 << 16 << 15 << 3 << false;
        QTest::newRow("case matters") << "TV_GRAB_DK" << 1 << 0 << 16 << 15 << 0 << false;
        QTest::newRow("empty grabber takes the first") << "" << 2 << 1 << 15 << 0 << 1 << true;
        QTest::newRow("too many days") << "tv_grab_se" << 9 << 2 << 15 << 3 << 6 << false;
        QTest::newRow("no days") << "tv_grab_se" << 0 << -1 << 15 << 3 << 0 << false;
        QTest::newRow("negative days") << "tv_grab_se" << -3 << 0 << 15 << 3 << 0 << false;
    }
    void loadCorrections()
    {
        QFETCH(QString, grabber);
        QFETCH(int, days);
        QFETCH(int, flag);
        QFETCH(int, countryCount);
        QFETCH(int, countryIndex);
        QFETCH(int, daysIndex);
        QFETCH(bool, ticked);
        Settings s = firstRunDefaults();
        s.grabberName = grabber;
        s.daysToDownload = qint16(days);
        s.writeChannelMap = qint16(flag);
        s.adjustDST = qint16(flag);
        const ControlValues c = controlValuesFor(s);
        QCOMPARE(c.countries.size(), countryCount);
        QCOMPARE(c.countryIndex, countryIndex);
        QCOMPARE(c.daysIndex, daysIndex);
        QCOMPARE(c.writeChannelMap, ticked);
        QCOMPARE(c.adjustDST, ticked);
        if (countryCount == 16)
            QCOMPARE(c.countries.last(), otherCountryEntry(grabber));
    }

    // Whatever the screen shows without being touched saves back as it was loaded.
    void roundTrip_data()
    {
        QTest::addColumn<Settings>("settings");
        QTest::newRow("first run") << firstRunDefaults();
        QTest::newRow("every value changed") << someSettings();
        Settings unknown = someSettings();
        unknown.grabberName = QStringLiteral("tv_grab_demo");
        QTest::newRow("unknown grabber") << unknown;
        Settings odd = someSettings();
        odd.opacity = -32768;
        odd.primeTime = QStringLiteral("5:00 PM");
        odd.daysToDownload = 1;
        odd.writeChannelMap = 0;
        QTest::newRow("negative opacity") << odd;
    }
    void roundTrip()
    {
        QFETCH(Settings, settings);
        const SaveMapping saved = settingsFrom(controlValuesFor(settings));
        QVERIFY2(saved.settings.has_value(), qPrintable(saved.message));
        QCOMPARE(*saved.settings, settings);
    }

    void saveRefusals_data()
    {
        QTest::addColumn<QString>("opacity");
        QTest::addColumn<int>("countryIndex");
        QTest::addColumn<QString>("message");
        QTest::newRow("opacity not a number") << "abc" << 0 << QString(OpacityMessage);
        QTest::newRow("opacity too large") << "40000" << 0 << QString(OpacityMessage);
        QTest::newRow("opacity empty") << "" << 0 << QString(OpacityMessage);
        QTest::newRow("no country") << "100" << -1 << QString(NoCountryMessage);
        QTest::newRow("country past the list") << "100" << 15 << QString(NoCountryMessage);
    }
    void saveRefusals()
    {
        QFETCH(QString, opacity);
        QFETCH(int, countryIndex);
        QFETCH(QString, message);
        ControlValues c = controlValuesFor(firstRunDefaults());
        c.opacityText = opacity;
        c.countryIndex = countryIndex;
        const SaveMapping saved = settingsFrom(c);
        QVERIFY(!saved.settings.has_value());
        QCOMPARE(saved.message, message);
    }

    void indicesOutsideTheListsTakeDefaults()
    {
        ControlValues c = controlValuesFor(someSettings());
        c.daysIndex = 7;
        c.primeIndex = -1;
        const SaveMapping saved = settingsFrom(c);
        QVERIFY(saved.settings.has_value());
        QCOMPARE(saved.settings->daysToDownload, qint16(1));
        QCOMPARE(saved.settings->primeTime, QStringLiteral("8:00 PM"));
    }

    // Each key's effect, as the selection after it: the highlight is Save at 6 and Cancel at 7.
    void keyboardSelection_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QList<int>>("selections");
        QTest::newRow("left from 0 wraps to Cancel, then Save, then digit 5")
            << "LLL" << QList<int>{7, 6, 5};
        QTest::newRow("right from Save: Cancel, nothing, and six more reach Save")
            << "LLRRRRRRRR" << QList<int>{7, 6, 7, 0, 1, 2, 3, 4, 5, 6};
        QTest::newRow("down past Cancel highlights nothing; left comes back")
            << "LDLL" << QList<int>{7, 8, 7, 6};
        QTest::newRow("down keeps counting past Cancel") << "LDDR" << QList<int>{7, 8, 9, 10};
        QTest::newRow("up and down below 6 leave the selection")
            << "RUDD" << QList<int>{1, 1, 1, 1};
        QTest::newRow("Enter and other keys move nothing") << "LEXE" << QList<int>{7, 7, 7, 7};
    }
    void keyboardSelection()
    {
        QFETCH(QString, keys);
        QFETCH(QList<int>, selections);
        ConfigKeyboard keyboard;
        QCOMPARE(keyboard.selection(), qint16(0));
        QList<int> seen;
        for (QChar c : keys) {
            keyboard.keyUp(virtualKey(c));
            seen << keyboard.selection();
            QCOMPARE(keyboard.saveHighlighted(), keyboard.selection() == 6);
            QCOMPARE(keyboard.cancelHighlighted(), keyboard.selection() == 7);
        }
        QCOMPARE(seen, selections);
    }

    void keyboardDigits_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QList<int>>("digits");
        QTest::newRow("untouched") << "" << QList<int>{0, 0, 0, 0, 0, 0};
        QTest::newRow("down from 0 wraps to 9") << "D" << QList<int>{9, 0, 0, 0, 0, 0};
        QTest::newRow("up from 9 wraps to 0") << "DU" << QList<int>{0, 0, 0, 0, 0, 0};
        QTest::newRow("each digit its own")
            << "URUURUUURDRDDLLLLLU" << QList<int>{1, 2, 3, 9, 8, 0};
        QTest::newRow("digit 5 reached from the left") << "LLLUU" << QList<int>{0, 0, 0, 0, 0, 2};
    }
    void keyboardDigits()
    {
        QFETCH(QString, keys);
        QFETCH(QList<int>, digits);
        ConfigKeyboard keyboard;
        press(keyboard, keys);
        QList<int> seen;
        for (qint16 d : keyboard.digitValues())
            seen << d;
        QCOMPARE(seen, digits);
    }

    void enterActions_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("action");
        QTest::newRow("digit 0") << "" << int(ConfigKeyboard::Action::None);
        QTest::newRow("digit 5") << "LLL" << int(ConfigKeyboard::Action::None);
        QTest::newRow("Save") << "LL" << int(ConfigKeyboard::Action::WriteConfigBatch);
        QTest::newRow("Cancel") << "L" << int(ConfigKeyboard::Action::Close);
        QTest::newRow("past Cancel") << "LD" << int(ConfigKeyboard::Action::None);
    }
    void enterActions()
    {
        QFETCH(QString, keys);
        QFETCH(int, action);
        ConfigKeyboard keyboard;
        press(keyboard, keys);
        QCOMPARE(int(keyboard.keyUp(ui::vk::Return)), action);
        QCOMPARE(int(keyboard.keyUp(ui::vk::Left)), int(ConfigKeyboard::Action::None));
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
        QCOMPARE(keyboard.selection(), qint16(6));
        QCOMPARE(keyboard.appendCode(), QStringLiteral("4020950209"));
        QCOMPARE(keyboard.codeText(), QStringLiteral("4020950209"));
    }
};

QTEST_GUILESS_MAIN(TestConfigLogic)
#include "tst_configlogic.moc"
