// The settings screen on the offscreen platform: what it shows for a record, the path controls
// following the tick box, Browse, saving config.txt (and refusing to), Cancel, and the keyboard
// highlight with Enter writing the grabber's configuration batch. The look case leaves
// settings.png in the build folder for a person to look at.

#include "acquire/grabber.h"
#include "app/program.h"
#include "settings/configscreen.h"
#include "ui/forms.h"
#include "ui/picturebutton.h"
#include "ui/pictures.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

using namespace zarvo;

namespace {

using Instance = ui::SingleInstance<ConfigScreen>;

const QColor savePlain(200, 0, 0);
const QColor saveSelected(0, 200, 0);
const QColor cancelPlain(0, 0, 200);
const QColor cancelSelected(200, 200, 0);

const QByteArray firstRunFile =
    "0\r\n"
    "\"C:\\Program Files\\Home Media Networks "
    "Limited\\ShowShifter\\Config\\channels.map\"\r\n"
    "0\r\n1\r\n\"images\"\r\n\"8:00 PM\"\r\n100\r\n\"tv_grab_na_dd\"\r\n";

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

// A program in a folder of its own, with the screen's four pictures in plain colours.
struct Fixture
{
    QTemporaryDir dir;
    FakeClock clock{QTimeZone("America/New_York"), wallClock(QDate(2004, 6, 14), QTime(20, 0))};
    Program program{ProgramFolder(dir.path()), clock};
    ProgramScope scope{program};

    QStringList messages;
    int guideShown = 0;
    QString browseAnswer;
    QStringList browsePresets;

    explicit Fixture(bool withPictures = true)
    {
        program.state.settings = firstRunDefaults();
        if (withPictures) {
            writePicture(ui::pictures::Save, savePlain);
            writePicture(ui::selectedPicture(ui::pictures::Save), saveSelected);
            writePicture(ui::pictures::Cancel, cancelPlain);
            writePicture(ui::selectedPicture(ui::pictures::Cancel), cancelSelected);
        }
    }
    ~Fixture()
    {
        Instance::unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void writePicture(const QString& name, const QColor& colour) const
    {
        QImage image(180, 36, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = ui::picturePath(program.folder.path(), name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        image.save(path);
    }

    void writeSettingsFile(const QByteArray& bytes) const
    {
        QFile f(program.folder.settingsFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // The screen as the program opens it, shown and active, with its outside calls recorded.
    ConfigScreen& open()
    {
        ConfigScreen& screen = Instance::instance();
        ConfigScreen::Hooks hooks;
        hooks.showMessage = [this](const QString& text) { messages << text; };
        hooks.showGuide = [this] { ++guideShown; };
        hooks.chooseChannelMap = [this](QWidget*, const QString& preset) {
            browsePresets << preset;
            return browseAnswer;
        };
        screen.setHooks(hooks);
        screen.show();
        screen.activateWindow();
        if (!QTest::qWaitForWindowActive(&screen))
            qWarning("settings screen not active");
        return screen;
    }
};

template <typename W> W* child(ConfigScreen& screen, const char* name)
{
    W* w = screen.findChild<W*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

QColor shownColour(ConfigScreen& screen, const char* name)
{
    return child<ui::PictureButton>(screen, name)->currentPicture().toImage().pixelColor(90, 18);
}

void clickTick(QCheckBox* box)
{
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
}

void typeKeys(ConfigScreen& screen, const QList<Qt::Key>& keys)
{
    for (Qt::Key key : keys)
        QTest::keyClick(screen.windowHandle(), key);
}

} // namespace

class TestConfigScreen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRunDefaultsOnScreen()
    {
        Fixture f;
        ConfigScreen& screen = f.open();
        QCOMPARE(screen.windowTitle(), QStringLiteral("Zarvo Guide"));
        QCOMPARE(screen.size(), QSize(746, 410));
        QCOMPARE(screen.palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(child<QLineEdit>(screen, "txtSS")->text(),
                 QStringLiteral("C:\\Program Files\\Home Media Networks "
                                "Limited\\ShowShifter\\Config\\channels.map"));
        QCOMPARE(child<QComboBox>(screen, "cbxDays")->currentText(), QStringLiteral("1"));
        QCOMPARE(child<QComboBox>(screen, "cbxDays")->count(), 7);
        QCOMPARE(child<QComboBox>(screen, "cbxPrime")->currentText(), QStringLiteral("8:00 PM"));
        QCOMPARE(child<QComboBox>(screen, "cbxPrime")->count(), 6);
        QCOMPARE(child<QLineEdit>(screen, "txtOpacity")->text(), QStringLiteral("100"));
        QCOMPARE(child<QComboBox>(screen, "Combo4")->currentText(),
                 QStringLiteral("USA and Canada (tv_grab_na_dd)"));
        QCOMPARE(child<QComboBox>(screen, "Combo4")->count(), 15);
        QVERIFY(!child<QCheckBox>(screen, "chkSS")->isChecked());
        QVERIFY(!child<QCheckBox>(screen, "chkDST")->isChecked());
        QVERIFY(!child<QLabel>(screen, "lblPath")->isEnabled());
        QVERIFY(!child<QLineEdit>(screen, "txtSS")->isEnabled());
        QVERIFY(!child<QPushButton>(screen, "cmdSS")->isEnabled());
        QCOMPARE(child<QLineEdit>(screen, "txtImages")->text(), QStringLiteral("images"));
        QVERIFY(!child<QLineEdit>(screen, "txtImages")->isVisible());
        QCOMPARE(shownColour(screen, "picSave"), savePlain);
        QCOMPARE(shownColour(screen, "picCancel"), cancelPlain);
    }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<double>("points");
        QTest::newRow("chkSS") << "chkSS" << QRect(240, 360, 6135, 375)
                               << "Write to Showshifter Channels Map" << 12.0;
        QTest::newRow("lblPath") << "lblPath" << QRect(240, 1080, 6135, 375)
                                 << "Channels Map File:" << 12.0;
        QTest::newRow("txtSS") << "txtSS" << QRect(2640, 1080, 2775, 375) << "" << 0.0;
        QTest::newRow("cmdSS") << "cmdSS" << QRect(5520, 1080, 855, 375) << "Browse" << 0.0;
        QTest::newRow("chkDST") << "chkDST" << QRect(1080, 2280, 4455, 495)
                                << "Adjust for Daylight Savings:" << 12.0;
        QTest::newRow("lblDays") << "lblDays" << QRect(1080, 3000, 4455, 375)
                                 << "Number of Days to Download:" << 12.0;
        QTest::newRow("cbxDays") << "cbxDays" << QRect(4920, 3000, 615, 360) << "" << 9.75;
        QTest::newRow("lblPrime") << "lblPrime" << QRect(1920, 3480, 2895, 375)
                                  << "Prime Time:" << 12.0;
        QTest::newRow("cbxPrime") << "cbxPrime" << QRect(3720, 3480, 1095, 360) << "" << 9.75;
        QTest::newRow("Label1") << "Label1" << QRect(1080, 3960, 4815, 375)
                                << "Opacity (Win 2000 and XP only, 20-100%):" << 12.0;
        QTest::newRow("txtOpacity") << "txtOpacity" << QRect(5880, 3960, 735, 375) << "" << 9.75;
        QTest::newRow("Label5") << "Label5" << QRect(1080, 4440, 2895, 375) << "Country:" << 12.0;
        QTest::newRow("Combo4") << "Combo4" << QRect(2280, 4440, 4335, 360) << "" << 9.75;
        QTest::newRow("picSave") << "picSave" << QRect(2880, 5280, 2775, 615) << "" << 0.0;
        QTest::newRow("picCancel") << "picCancel" << QRect(6000, 5280, 2775, 615) << "" << 0.0;
    }
    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        QFETCH(QString, caption);
        QFETCH(double, points);
        Fixture f;
        ConfigScreen& screen = f.open();
        QWidget* w = child<QWidget>(screen, qPrintable(name));
        QCOMPARE(w->geometry(), ui::twipRect(twips.x(), twips.y(), twips.width(), twips.height()));
        QVERIFY(w->isVisible());
        if (!caption.isEmpty()) {
            if (auto* label = qobject_cast<QLabel*>(w))
                QCOMPARE(label->text(), caption);
            else if (auto* button = qobject_cast<QAbstractButton*>(w))
                QCOMPARE(button->text(), caption);
            else
                QFAIL("caption on an unexpected control");
        }
        if (points > 0) {
            QCOMPARE(w->font().family(), QStringLiteral("Arial"));
            QCOMPARE(w->font().pointSizeF(), points);
            QVERIFY(w->font().bold());
        }
        if (points == 12.0)
            QCOMPARE(w->palette().color(QPalette::Active, QPalette::WindowText), QColor(Qt::white));
    }

    void tickBoxEnablesPathControls()
    {
        Fixture f;
        ConfigScreen& screen = f.open();
        auto* tick = child<QCheckBox>(screen, "chkSS");
        const QList<QWidget*> path{child<QWidget>(screen, "lblPath"),
                                   child<QWidget>(screen, "txtSS"),
                                   child<QWidget>(screen, "cmdSS")};
        for (const bool expected : {true, false, true}) {
            clickTick(tick);
            QCOMPARE(tick->isChecked(), expected);
            for (QWidget* w : path)
                QCOMPARE(w->isEnabled(), expected);
        }
        // The daylight box is another matter.
        clickTick(child<QCheckBox>(screen, "chkDST"));
        QVERIFY(child<QCheckBox>(screen, "chkDST")->isChecked());
        for (QWidget* w : path)
            QVERIFY(w->isEnabled());
    }

    void tickedWhenLoadedEnablesPathControls()
    {
        Fixture f;
        f.program.state.settings.writeChannelMap = 1;
        f.program.state.settings.adjustDST = 1;
        ConfigScreen& screen = f.open();
        QVERIFY(child<QCheckBox>(screen, "chkSS")->isChecked());
        QVERIFY(child<QCheckBox>(screen, "chkDST")->isChecked());
        QVERIFY(child<QLineEdit>(screen, "txtSS")->isEnabled());
        QVERIFY(child<QPushButton>(screen, "cmdSS")->isEnabled());
        QVERIFY(child<QLabel>(screen, "lblPath")->isEnabled());
    }

    void browse_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<int>("messages");
        QTest::newRow("lower case") << "/srv/ss/channels.map" << true << 0;
        QTest::newRow("upper case") << "/srv/ss/CHANNELS.MAP" << true << 0;
        QTest::newRow("mixed case") << "/home/tv/Channels.Map" << true << 0;
        QTest::newRow("backup copy") << "/srv/ss/channels.map.bak" << false << 1;
        QTest::newRow("another map") << "/srv/ss/other.map" << false << 1;
        QTest::newRow("longer name") << "/srv/ss/mychannels.map" << false << 1;
        QTest::newRow("folder of that name") << "/srv/channels.map/x.map" << false << 1;
        QTest::newRow("cancelled") << "" << false << 0;
    }
    void browse()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, taken);
        QFETCH(int, messages);
        Fixture f;
        f.program.state.settings.writeChannelMap = 1;
        f.program.state.settings.channelMapPath = QStringLiteral("/old/channels.map");
        f.browseAnswer = chosen;
        ConfigScreen& screen = f.open();
        QTest::mouseClick(child<QPushButton>(screen, "cmdSS"), Qt::LeftButton);
        QCOMPARE(f.browsePresets, QStringList{QStringLiteral("/old/channels.map")});
        QCOMPARE(child<QLineEdit>(screen, "txtSS")->text(),
                 taken ? chosen : QStringLiteral("/old/channels.map"));
        QCOMPARE(f.messages.size(), messages);
    }

    void save_data()
    {
        QTest::addColumn<QString>("grabber");
        QTest::addColumn<bool>("edit");
        QTest::addColumn<QString>("opacity");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("first run, untouched") << "tv_grab_na_dd" << false << "" << firstRunFile;
        QTest::newRow("every control changed")
            << "tv_grab_na_dd" << true << "150"
            << QByteArray("1\r\n\"/srv/ss/CHANNELS.MAP\"\r\n1\r\n3\r\n\"images\"\r\n"
                          "\"10:00 PM\"\r\n150\r\n\"tv_grab_dk\"\r\n");
        QTest::newRow("unknown grabber kept")
            << "tv_grab_demo" << false << " +35 "
            << QByteArray("0\r\n\"C:\\Program Files\\Home Media Networks "
                          "Limited\\ShowShifter\\Config\\channels.map\"\r\n"
                          "0\r\n1\r\n\"images\"\r\n\"8:00 PM\"\r\n35\r\n\"tv_grab_demo\"\r\n");
    }
    void save()
    {
        QFETCH(QString, grabber);
        QFETCH(bool, edit);
        QFETCH(QString, opacity);
        QFETCH(QByteArray, expected);
        Fixture f;
        f.writeSettingsFile("1\r\n\"old\"\r\n");
        f.program.state.settings.grabberName = grabber;
        ConfigScreen& screen = f.open();
        if (grabber == QLatin1String("tv_grab_demo"))
            QCOMPARE(child<QComboBox>(screen, "Combo4")->currentText(),
                     QStringLiteral("Other (tv_grab_demo)"));
        if (edit) {
            clickTick(child<QCheckBox>(screen, "chkSS"));
            f.browseAnswer = QStringLiteral("/srv/ss/CHANNELS.MAP");
            QTest::mouseClick(child<QPushButton>(screen, "cmdSS"), Qt::LeftButton);
            clickTick(child<QCheckBox>(screen, "chkDST"));
            child<QComboBox>(screen, "cbxDays")->setCurrentText(QStringLiteral("3"));
            child<QComboBox>(screen, "cbxPrime")->setCurrentText(QStringLiteral("10:00 PM"));
            child<QComboBox>(screen, "Combo4")
                ->setCurrentText(QStringLiteral("Denmark (tv_grab_dk)"));
        }
        if (!opacity.isEmpty()) {
            QLineEdit* box = child<QLineEdit>(screen, "txtOpacity");
            box->selectAll();
            QTest::keyClicks(box, opacity);
        }
        QTest::mouseClick(child<ui::PictureButton>(screen, "picSave"), Qt::LeftButton);

        QCOMPARE(f.messages, QStringList());
        QCOMPARE(readAll(f.program.folder.settingsFile()), expected);
        const SettingsRead reread = parseSettings(expected);
        QCOMPARE(reread.outcome, SettingsRead::Outcome::Read);
        QVERIFY(f.program.state.settings == reread.settings);
        QCOMPARE(f.guideShown, 1);
        QVERIFY(!Instance::isLoaded());
    }

    void saveRefused_data()
    {
        QTest::addColumn<QString>("opacity");
        QTest::newRow("letters") << "abc";
        QTest::newRow("empty") << "";
        QTest::newRow("beyond 16 bits") << "70000";
        QTest::newRow("fraction") << "4.5";
    }
    void saveRefused()
    {
        QFETCH(QString, opacity);
        Fixture f;
        const QByteArray old = "1\r\n\"/old/channels.map\"\r\n0\r\n2\r\n";
        f.writeSettingsFile(old);
        const Settings before = f.program.state.settings;
        ConfigScreen& screen = f.open();
        child<QComboBox>(screen, "cbxDays")->setCurrentText(QStringLiteral("5"));
        child<QLineEdit>(screen, "txtOpacity")->setText(opacity);
        QTest::mouseClick(child<ui::PictureButton>(screen, "picSave"), Qt::LeftButton);

        QCOMPARE(f.messages,
                 QStringList{QStringLiteral("Opacity must be a whole number from 20 to 100.")});
        QCOMPARE(readAll(f.program.folder.settingsFile()), old);
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), QStringList{"config.txt"});
        QVERIFY(f.program.state.settings == before);
        QCOMPARE(f.guideShown, 0);
        QVERIFY(Instance::isLoaded());
        QVERIFY(screen.isVisible());
    }

    void unwritableSettingsFileKeepsTheScreen()
    {
        Fixture f;
        // A folder where the file should be: nothing can replace it.
        QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("config.txt")));
        ConfigScreen& screen = f.open();
        child<QLineEdit>(screen, "txtOpacity")->setText(QStringLiteral("80"));
        QTest::mouseClick(child<ui::PictureButton>(screen, "picSave"), Qt::LeftButton);
        QCOMPARE(f.messages.size(), 1);
        QVERIFY2(f.messages.first().startsWith(QStringLiteral("Cannot save the settings")),
                 qPrintable(f.messages.first()));
        QCOMPARE(f.program.state.settings.opacity, qint16(100));
        QCOMPARE(f.guideShown, 0);
        QVERIFY(Instance::isLoaded());
        QVERIFY(QFileInfo(f.program.folder.settingsFile()).isDir());

        // Once the way is clear the same screen saves what it holds.
        QVERIFY(QDir(f.dir.path()).rmdir(QStringLiteral("config.txt")));
        QTest::mouseClick(child<ui::PictureButton>(screen, "picSave"), Qt::LeftButton);
        QCOMPARE(f.program.state.settings.opacity, qint16(80));
        QVERIFY(readAll(f.program.folder.settingsFile()).contains("\r\n80\r\n"));
        QCOMPARE(f.guideShown, 1);
    }

    void leavingWritesNothing_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("Cancel picture") << 0;
        QTest::newRow("window closed") << 1;
        QTest::newRow("Enter on Cancel") << 2;
    }
    void leavingWritesNothing()
    {
        QFETCH(int, way);
        Fixture f;
        f.writeSettingsFile(firstRunFile);
        const Settings before = f.program.state.settings;
        ConfigScreen& screen = f.open();
        clickTick(child<QCheckBox>(screen, "chkDST"));
        child<QLineEdit>(screen, "txtOpacity")->setText(QStringLiteral("55"));
        switch (way) {
        case 0:
            QTest::mouseClick(child<ui::PictureButton>(screen, "picCancel"), Qt::LeftButton);
            break;
        case 1:
            screen.close();
            break;
        case 2:
            typeKeys(screen, {Qt::Key_Left, Qt::Key_Return});
            break;
        }
        QCOMPARE(readAll(f.program.folder.settingsFile()), firstRunFile);
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), QStringList{"config.txt"});
        QVERIFY(f.program.state.settings == before);
        QCOMPARE(f.guideShown, 1);
        QCOMPARE(f.messages, QStringList());
        QVERIFY(!Instance::isLoaded());
    }

    // Keys typed into the window, with the keyboard focus on one of its controls.
    void keyboardHighlight_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QList<Qt::Key>>("keys");
        QTest::addColumn<bool>("save");
        QTest::addColumn<bool>("cancel");
        const Qt::Key L = Qt::Key_Left, R = Qt::Key_Right, D = Qt::Key_Down, U = Qt::Key_Up;
        QTest::newRow("left from 0 to Cancel")
            << "txtOpacity" << QList<Qt::Key>{L} << false << true;
        QTest::newRow("then Save") << "txtOpacity" << QList<Qt::Key>{L, L} << true << false;
        QTest::newRow("right from Save highlights Cancel")
            << "txtOpacity" << QList<Qt::Key>{L, L, R} << false << true;
        QTest::newRow("next right highlights nothing")
            << "txtOpacity" << QList<Qt::Key>{L, L, R, R} << false << false;
        QTest::newRow("six more reach Save")
            << "Combo4" << QList<Qt::Key>{L, L, R, R, R, R, R, R, R, R} << true << false;
        QTest::newRow("five more do not")
            << "Combo4" << QList<Qt::Key>{L, L, R, R, R, R, R, R, R} << false << false;
        QTest::newRow("left from Save highlights nothing")
            << "chkSS" << QList<Qt::Key>{L, L, L} << false << false;
        QTest::newRow("down past Cancel highlights nothing")
            << "chkSS" << QList<Qt::Key>{L, D} << false << false;
        QTest::newRow("left brings Cancel back")
            << "txtSS" << QList<Qt::Key>{L, D, L} << false << true;
        QTest::newRow("up from Cancel to Save") << "txtSS" << QList<Qt::Key>{L, U} << true << false;
        QTest::newRow("other keys change nothing")
            << "txtOpacity" << QList<Qt::Key>{L, L, Qt::Key_A, Qt::Key_Escape} << true << false;
    }
    void keyboardHighlight()
    {
        QFETCH(QString, focus);
        QFETCH(QList<Qt::Key>, keys);
        QFETCH(bool, save);
        QFETCH(bool, cancel);
        Fixture f;
        f.program.state.settings.writeChannelMap = 1; // so txtSS can take the focus
        ConfigScreen& screen = f.open();
        QWidget* target = child<QWidget>(screen, qPrintable(focus));
        target->setFocus();
        QCOMPARE(QApplication::focusWidget(), target);
        typeKeys(screen, keys);
        QCOMPARE(shownColour(screen, "picSave"), save ? saveSelected : savePlain);
        QCOMPARE(shownColour(screen, "picCancel"), cancel ? cancelSelected : cancelPlain);
        QCOMPARE(f.messages, QStringList());
        QCOMPARE(f.guideShown, 0);
    }

    void enterOnSaveWritesTheConfigurationBatch()
    {
        Fixture f;
        f.program.state.settings.grabberName = QStringLiteral("tv_grab_se");
        ConfigScreen& screen = f.open();
        // Digit 0 up twice, digit 1 up once, then left to Save: 1 -> 0 -> 7 -> 6.
        typeKeys(screen, {Qt::Key_Up, Qt::Key_Up, Qt::Key_Right, Qt::Key_Up, Qt::Key_Left,
                          Qt::Key_Left, Qt::Key_Left, Qt::Key_Return});
        QCOMPARE(f.messages, QStringList{QStringLiteral("21000")});
        const QString batch = QDir(f.dir.path()).filePath(QStringLiteral("listings.sh"));
        QCOMPARE(readAll(batch), configBatch(f.program.folder.path(), QStringLiteral("tv_grab_se"),
                                             QStringLiteral("21000")));
        QVERIFY(!QFileInfo::exists(f.program.folder.settingsFile()));
        QCOMPARE(f.guideShown, 0);
        QVERIFY(Instance::isLoaded());
        QCOMPARE(shownColour(screen, "picSave"), saveSelected);

        // A second Enter appends five more digits.
        typeKeys(screen, {Qt::Key_Enter});
        QCOMPARE(f.messages.last(), QStringLiteral("2100021000"));
        QCOMPARE(readAll(batch), configBatch(f.program.folder.path(), QStringLiteral("tv_grab_se"),
                                             QStringLiteral("2100021000")));
        QCOMPARE(screen.keyboard().storedDigit(), qint16(0));
    }

    void unwritableBatchIsReported()
    {
        Fixture f;
        QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("listings.sh")));
        ConfigScreen& screen = f.open();
        typeKeys(screen, {Qt::Key_Left, Qt::Key_Left, Qt::Key_Return});
        QCOMPARE(f.messages.size(), 2);
        QCOMPARE(f.messages.first(), QStringLiteral("00000"));
        QVERIFY2(f.messages.last().startsWith(
                     QStringLiteral("The grabber's configuration batch was not written.")),
                 qPrintable(f.messages.last()));
        QVERIFY(Instance::isLoaded());
    }

    // The Enter that closes a message box is pressed there and released here; that release
    // must not start another round.
    void releaseWithoutPressIsIgnored()
    {
        Fixture f;
        ConfigScreen& screen = f.open();
        typeKeys(screen, {Qt::Key_Left, Qt::Key_Left});
        QTest::keyRelease(screen.windowHandle(), Qt::Key_Return);
        QCOMPARE(f.messages, QStringList());
        QVERIFY(!QFileInfo::exists(QDir(f.dir.path()).filePath(QStringLiteral("listings.sh"))));
        typeKeys(screen, {Qt::Key_Return});
        QCOMPARE(f.messages, QStringList{QStringLiteral("00000")});
    }

    void missingPicturesBecomeTextButtons()
    {
        Fixture f(false);
        f.writePicture(ui::pictures::Save, savePlain); // its selected look is missing
        ConfigScreen& screen = f.open();
        for (const char* name : {"picSave", "picCancel"}) {
            auto* button = child<ui::PictureButton>(screen, name);
            const QImage plain = button->unselectedPicture().toImage();
            const QImage selected = button->selectedPicture().toImage();
            QCOMPARE(plain.size(), QSize(180, 36));
            QCOMPARE(selected.size(), QSize(180, 36));
            QVERIFY(plain != selected);
            // Both looks of a button drawn alike: the one picture found is not mixed in.
            QVERIFY(plain.pixelColor(90, 18) != savePlain);
        }
        typeKeys(screen, {Qt::Key_Left});
        QVERIFY(child<ui::PictureButton>(screen, "picCancel")->isSelected());
    }

    void lookOnBlack()
    {
        Fixture f(false);
        // The pictures drawn by the build, when it has drawn them; text buttons otherwise.
        const QString drawn = QStringLiteral(ZARVO_BINARY_DIR "/pictures/settings");
        const QString target =
            QFileInfo(ui::picturePath(f.program.folder.path(), ui::pictures::Save)).absolutePath();
        QDir().mkpath(target);
        for (const QFileInfo& file : QDir(drawn).entryInfoList({"*.png"}, QDir::Files))
            QFile::copy(file.absoluteFilePath(), QDir(target).filePath(file.fileName()));
        f.program.state.settings.writeChannelMap = 1;
        f.program.state.settings.primeTime = QStringLiteral("10:00 PM");
        ConfigScreen& screen = f.open();
        typeKeys(screen, {Qt::Key_Left, Qt::Key_Left});
        // The widest entry of the narrowest list is not cut off.
        auto* prime = child<QComboBox>(screen, "cbxPrime");
        QStyleOptionComboBox option;
        option.initFrom(prime);
        const QRect field = prime->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                           QStyle::SC_ComboBoxEditField, prime);
        QVERIFY(prime->fontMetrics().horizontalAdvance(prime->currentText()) + 2 <= field.width());
        const QImage shot = screen.grab().toImage();
        QVERIFY(shot.save(QStringLiteral(ZARVO_BINARY_DIR "/settings.png")));
        QCOMPARE(shot.pixelColor(3, 3), QColor(Qt::black));
        QCOMPARE(shot.pixelColor(740, 200), QColor(Qt::black));
    }
};

QTEST_MAIN(TestConfigScreen)
#include "tst_configscreen.moc"
