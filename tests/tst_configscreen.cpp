// The settings screen on the offscreen platform: Browse, saving config.txt (and refusing to),
// leaving, and the keyboard highlight that leaves the lists alone.

#include "acquire/grabber.h"
#include "app/program.h"
#include "settings/configscreen.h"
#include "support/support.h"
#include "ui/forms.h"
#include "ui/picturebutton.h"
#include "ui/pictures.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

using namespace zarvo;
using namespace zarvo::test;

namespace {

using Keys = QList<Qt::Key>;
const Qt::Key L = Qt::Key_Left, R = Qt::Key_Right, U = Qt::Key_Up, D = Qt::Key_Down,
              Enter = Qt::Key_Return;

const QColor savePlain(200, 0, 0), saveLit(0, 200, 0), cancelPlain(0, 0, 200),
    cancelLit(200, 200, 0);
const QString firstRunPath = QStringLiteral(
    "C:\\Program Files\\Home Media Networks Limited\\ShowShifter\\Config\\channels.map");
const QByteArray firstRunFile =
    "0\r\n\"" + firstRunPath.toLatin1() +
    "\"\r\n0\r\n1\r\n\"images\"\r\n\"8:00 PM\"\r\n100\r\n\"tv_grab_na_dd\"\r\n";

// A program in a folder of its own, with the screen's four pictures in plain colours, and the
// screen with its outside calls recorded.
struct Fixture
{
    QTemporaryDir dir;
    FakeClock clock{QTimeZone("America/New_York"), wallClock(QDate(2004, 6, 14), QTime(20, 0))};
    Program program{ProgramFolder(dir.path()), clock};
    Settings& settings = program.state.settings;
    QStringList messages;
    int guideShown = 0;
    QString browseAnswer;
    QStringList browsePresets;
    QPointer<ConfigScreen> screen;

    const QByteArray oldPath = qgetenv("PATH");

    Fixture()
    {
        settings = firstRunDefaults();
        // The machine's grabbers stay out of it: two countries installed on a PATH of the
        // test's own, and the demo grabber in the program folder.
        qputenv("PATH", QFile::encodeName(dir.filePath("bin")));
        QVERIFY(QDir(dir.path()).mkpath("bin") && QDir(dir.path()).mkpath("xmltv"));
        for (const char* name : {"bin/tv_grab_na_dd", "bin/tv_grab_dk", "xmltv/tv_grab_demo"})
            QVERIFY(putFile(dir.filePath(name),
                            "#!/bin/sh\n[ \"$1\" = --description ] && echo 'Demonstration "
                            "listings'\n",
                            true));
        for (auto [name, colour] :
             {std::pair{ui::pictures::Save, savePlain}, {ui::pictures::Cancel, cancelPlain}}) {
            writePicture(name, colour);
            writePicture(ui::selectedPicture(name), colour == savePlain ? saveLit : cancelLit);
        }
    }
    ~Fixture()
    {
        delete screen.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qputenv("PATH", oldPath);
    }
    void writePicture(const QString& name, const QColor& colour) const
    {
        QImage image(180, 36, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = ui::picturePath(program.folder.path(), name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        image.save(path);
    }
    QByteArray settingsFile() const { return readFile(program.folder.settingsFile()); }
    ConfigScreen& open()
    {
        screen = new ConfigScreen(program.state, program.folder);
        for (auto left : {&ConfigScreen::saved, &ConfigScreen::cancelled})
            QObject::connect(screen, left, [this] { ++guideShown; });
        ConfigScreen::Hooks hooks;
        hooks.showMessage = [this](const QString& text) { messages << text; };
        hooks.chooseChannelMap = [this](QWidget*, const QString& preset) {
            browsePresets << preset;
            return browseAnswer;
        };
        screen->setHooks(hooks);
        screen->show();
        screen->activateWindow();
        if (!QTest::qWaitForWindowActive(screen))
            qWarning("settings screen not active");
        // The descriptions of the installed grabbers come in the background; the cases start
        // once they are in.
        if (!QTest::qWaitFor([this] { return combo("Combo4")->itemText(15).startsWith("Demo"); }))
            qWarning("no grabber description came");
        return *screen;
    }
    // Whether the screen is still loaded, once what was unloaded is gone.
    bool loaded() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return !screen.isNull();
    }
    template <typename W = QWidget> W* child(const char* name) const
    {
        W* w = screen->findChild<W*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QLineEdit* line(const char* name) const { return child<QLineEdit>(name); }
    QComboBox* combo(const char* name) const { return child<QComboBox>(name); }
    bool ticked(const char* name) const { return child<QCheckBox>(name)->isChecked(); }
    void clickTick(const char* name) const
    {
        QTest::mouseClick(child(name), Qt::LeftButton, {}, QPoint(8, child(name)->height() / 2));
    }
    void click(const char* name) const { QTest::mouseClick(child(name), Qt::LeftButton); }
    void type(const Keys& keys) const
    {
        for (Qt::Key key : keys)
            QTest::keyClick(screen->windowHandle(), key);
    }
    // Which of Save (6) and Cancel (7) shows its highlighted picture, 0 for neither; a picture
    // neither plain nor highlighted counts -100.
    int lit() const
    {
        const auto look = [this](const char* name, QColor plain, QColor lit, int code) {
            const QColor c =
                child<ui::PictureButton>(name)->currentPicture().toImage().pixelColor(90, 18);
            return c == lit ? code : c == plain ? 0 : -100;
        };
        return look("picSave", savePlain, saveLit, 6) +
               look("picCancel", cancelPlain, cancelLit, 7);
    }
    bool pathControlsEnabled(bool enabled) const
    {
        for (const char* name : {"lblPath", "txtSS", "cmdSS"})
            if (child(name)->isEnabled() != enabled)
                return false;
        return true;
    }
};

} // namespace

class TestConfigScreen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What leaving the screen writes, step by step: "tick NAME", "click NAME", "browse PATH"
    // (the file the dialog returns; empty: cancelled), "set NAME TEXT" (a list's entry or a
    // box's text), "type TEXT" (typed over the opacity), "keys LEXRB" (Left, Enter, Escape, the
    // remote's Back, Backspace), "focus NAME", "close".
    // config.txt holds `old` before; `expected` is what it holds after (empty: unchanged), and
    // exactly the eight lines when saved.
    // Saved or cancelled at once, before the installed grabbers have described themselves:
    // the screen goes, and the answers that come later fill nothing.
    void unloadedWhileGrabbersDescribeThemselves()
    {
        Fixture f;
        QVERIFY(putFile(f.dir.filePath("xmltv/tv_grab_demo"),
                        "#!/bin/sh\nsleep 0.3; echo 'Demonstration listings'\n", true));
        f.screen = new ConfigScreen(f.program.state, f.program.folder);
        f.screen->show();
        QVERIFY(f.screen->findChild<QProcess*>());
        delete f.screen.data();
        QTest::qWait(400);
    }

    void leaving_data()
    {
        QTest::addColumn<QString>("grabber");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QString>("message"); // the start of the one message shown, if any
        QTest::addColumn<bool>("closed");
        const QString bad = QStringLiteral("Opacity must be a whole number from 20 to 100.");
        const QString na = QStringLiteral("tv_grab_na_dd");
        const QString edits = QStringLiteral("tick chkDST;type 55;");
        QTest::newRow("save untouched") << na << "click picSave" << firstRunFile << "" << true;
        QTest::newRow("save every control")
            << na
            << "tick chkSS;browse /srv/ss/CHANNELS.MAP;tick chkDST;set cbxDays 3;"
               "set cbxPrime 10:00 PM;set Combo4 Denmark (tv_grab_dk);type 90;click picSave"
            << QByteArray("1\r\n\"/srv/ss/CHANNELS.MAP\"\r\n1\r\n3\r\n\"images\"\r\n"
                          "\"10:00 PM\"\r\n90\r\n\"tv_grab_dk\"\r\n")
            << "" << true;
        QTest::newRow("unknown grabber kept")
            << "tv_grab_gone"
            << "type  +35 ;click picSave"
            << QByteArray(firstRunFile).replace("100", "35").replace("na_dd", "gone") << "" << true;
        QTest::newRow("opacity letters")
            << na << "type abc;click picSave" << QByteArray() << bad << false;
        QTest::newRow("opacity 150")
            << na << "type 150;click picSave" << QByteArray() << bad << false;
        QTest::newRow("opacity 19")
            << na << "type 19;click picSave" << QByteArray() << bad << false;
        QTest::newRow("quote in the path")
            << na << "tick chkSS;set txtSS /srv/\"ss\"/channels.map;click picSave" << QByteArray()
            << "The channels map file path cannot contain a double quote" << false;
        QTest::newRow("Cancel picture")
            << na << edits + "click picCancel" << QByteArray() << "" << true;
        QTest::newRow("Enter on Cancel") << na << edits + "keys LE" << QByteArray() << "" << true;
        QTest::newRow("Escape") << na << edits + "keys X" << QByteArray() << "" << true;
        QTest::newRow("remote Back") << na << edits + "keys R" << QByteArray() << "" << true;
        QTest::newRow("Backspace")
            << na << edits + "focus chkDST;keys B" << QByteArray() << "" << true;
        // In a text box Backspace takes back a letter: 100 becomes 10.
        QTest::newRow("Backspace in a text box")
            << na << "focus txtOpacity;keys B;click picSave" << QByteArray() << bad << false;
    }
    void leaving()
    {
        QFETCH(QString, grabber);
        QFETCH(QString, script);
        QFETCH(QByteArray, expected);
        QFETCH(QString, message);
        QFETCH(bool, closed);
        Fixture f;
        const QByteArray old = "1\r\n\"/old/channels.map\"\r\n0\r\n2\r\n";
        QVERIFY(putFile(f.program.folder.settingsFile(), old));
        f.settings.grabberName = grabber;
        const Settings before = f.settings;
        ConfigScreen& screen = f.open();
        if (grabber == QLatin1String("tv_grab_gone"))
            QCOMPARE(f.combo("Combo4")->currentText(), QStringLiteral("Other (tv_grab_gone)"));
        for (const QString& step : script.split(u';')) {
            const QString verb = step.section(u' ', 0, 0), name = step.section(u' ', 1, 1);
            const QString rest = step.mid(verb.size() + 1);
            if (verb == QLatin1String("tick"))
                f.clickTick(qPrintable(name));
            else if (verb == QLatin1String("click"))
                f.click(qPrintable(name));
            else if (verb == QLatin1String("browse")) {
                const QString shown = f.line("txtSS")->text();
                f.browseAnswer = rest;
                f.click("cmdSS");
                QCOMPARE(f.browsePresets.last(), shown); // the dialog starts from the path
            } else if (verb == QLatin1String("set")) {
                const QString text = step.section(u' ', 2);
                if (auto* box = screen.findChild<QComboBox*>(name))
                    box->setCurrentIndex(box->findText(text, Qt::MatchContains));
                else
                    f.line(qPrintable(name))->setText(text);
            } else if (verb == QLatin1String("type")) {
                f.line("txtOpacity")->selectAll();
                QTest::keyClicks(f.line("txtOpacity"), rest);
            } else if (verb == QLatin1String("keys")) {
                const QHash<QChar, Qt::Key> keys{{u'L', L},
                                                 {u'E', Enter},
                                                 {u'X', Qt::Key_Escape},
                                                 {u'R', Qt::Key_Back},
                                                 {u'B', Qt::Key_Backspace}};
                for (QChar key : name)
                    f.type({keys.value(key)});
            } else if (verb == QLatin1String("focus")) {
                f.child(qPrintable(name))->setFocus();
            } else
                screen.close();
        }
        QCOMPARE(f.messages.size(), message.isEmpty() ? 0 : 1);
        QVERIFY2(f.messages.isEmpty() || f.messages[0].startsWith(message),
                 qPrintable(f.messages.value(0)));
        QCOMPARE(f.settingsFile(), expected.isEmpty() ? old : expected);
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), QStringList{"config.txt"});
        QVERIFY(f.settings == (expected.isEmpty() ? before : parseSettings(expected).settings));
        QCOMPARE(f.guideShown, closed ? 1 : 0);
        QCOMPARE(f.loaded(), !closed);
    }

    // Keys typed into the window move the highlight whichever control has the focus.
    void keyboardHighlight_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<int>("lit");
        QTest::newRow("left from 0 to Cancel") << "txtOpacity" << Keys{L} << 7;
        QTest::newRow("then Save") << "Combo4" << Keys{L, L} << 6;
        QTest::newRow("six more reach Save") << "txtSS" << Keys{L, L, R, R, R, R, R, R, R, R} << 6;
        QTest::newRow("up from Cancel to Save") << "txtOpacity" << Keys{L, U, Qt::Key_A} << 6;
        QTest::newRow("arrows on the day list") << "cbxDays" << Keys{D, D, U, R} << 0;
        QTest::newRow("left, up on the grabber list") << "Combo4" << Keys{L, U} << 6;
        QTest::newRow("a letter on the grabber list") << "Combo4" << Keys{Qt::Key_D} << 0;
    }
    void keyboardHighlight()
    {
        QFETCH(QString, focus);
        QFETCH(Keys, keys);
        QFETCH(int, lit);
        Fixture f;
        f.settings.writeChannelMap = 1; // so txtSS can take the focus
        f.open();
        QWidget* target = f.child(qPrintable(focus));
        target->setFocus();
        QCOMPARE(QApplication::focusWidget(), target);
        const config::ControlValues before = f.screen->controlValues();
        f.type(keys);
        QCOMPARE(f.lit(), lit);
        // The keys only move the highlight: no list or tick has changed.
        const config::ControlValues after = f.screen->controlValues();
        QCOMPARE(after.countryIndex, before.countryIndex);
        QCOMPARE(after.daysIndex, before.daysIndex);
        QCOMPARE(after.primeIndex, before.primeIndex);
        QCOMPARE(after.writeChannelMap, before.writeChannelMap);
        QCOMPARE(after.adjustDST, before.adjustDST);
        QCOMPARE(f.messages, QStringList());
        QCOMPARE(f.guideShown, 0);
    }
};

QTEST_MAIN(TestConfigScreen)
#include "tst_configscreen.moc"
