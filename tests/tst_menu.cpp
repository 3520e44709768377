// The action menu: its selection and items without a window (MenuLogic over a fake view), then
// the screen itself on the offscreen platform, shown modally and driven by key events sent from
// timers while it runs. The program folder holds the built pictures and a listings database
// with one programme, "Harbor Lights" on 4 WXYZ. The look case leaves menu.png in the build
// folder for a person to look at.

#include "app/program.h"
#include "record/menulogic.h"
#include "record/menuscreen.h"
#include "record/selection.h"
#include "store/listingsstore.h"
#include "store/timerules.h"
#include "ui/keycodes.h"
#include "ui/picturebutton.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

using namespace zarvo;
namespace vk = zarvo::ui::vk;

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

const QDate Today(2004, 1, 12); // a Monday in winter: New York is UTC-5
const QString Title = QStringLiteral("Harbor Lights");
const QString Channel = QStringLiteral("4 WXYZ");

QDateTime at(QDate date, int hour, int minute = 0)
{
    return wallClock(date, QTime(hour, minute));
}

// The view as the logic leaves it: which items show their selected look, and what else it was
// asked to do, in order.
class FakeView : public MenuView
{
public:
    std::array<bool, menuitem::Count> shown{};
    QStringList calls;

    QList<int> shownSelected() const
    {
        QList<int> items;
        for (int i = 0; i < menuitem::Count; ++i)
            if (shown[std::size_t(i)])
                items << i;
        return items;
    }
    void showItemSelected(int item, bool selected) override
    {
        QVERIFY(item >= 0 && item < menuitem::Count);
        shown[std::size_t(item)] = selected;
    }
    void hideMenu() override { calls << QStringLiteral("hide"); }
    void unloadMenu() override { calls << QStringLiteral("unload"); }
    void minimizeGuide() override { calls << QStringLiteral("minimize"); }
    void reportFailure(const QString& text) override { calls << QStringLiteral("report ") + text; }
};

void clickKeys(QWidget* target, const QList<Qt::Key>& keys)
{
    for (Qt::Key key : keys)
        QTest::keyClick(target, key);
}

} // namespace

class TestMenu : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    FakeClock m_clock{QTimeZone("America/New_York"), at(Today, 14)};
    std::unique_ptr<Program> m_program;
    std::unique_ptr<ProgramScope> m_scope;
    std::unique_ptr<ListingsStore> m_store;
    QStringList m_opened;
    QStringList m_messages;
    int m_storeOpens = 0;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    HandOff handOff()
    {
        return HandOff{ProgramFolder(m_dir.path()),
                       [this](const QString& file) { m_opened << QFileInfo(file).fileName(); }};
    }

    // While *storeFails is true the database "cannot be opened".
    std::unique_ptr<MenuLogic> logic(FakeView& view, const bool* storeFails = nullptr)
    {
        auto menu = std::make_unique<MenuLogic>(
            view, m_program->state, m_clock, handOff(), [this, storeFails] {
                ++m_storeOpens;
                if (storeFails && *storeFails)
                    throw StoreError(QStringLiteral("no database here"));
                return m_program->openStore();
            });
        menu->load();
        return menu;
    }

    // Adds a programme on 4 WXYZ and gives the selection the guide would make of its cell.
    SelectedProgramme addProgramme(const QDateTime& start, const QDateTime& end)
    {
        ProgrammeRow row;
        row.channel = QStringLiteral("C4");
        row.title = Title;
        row.description = QStringLiteral("A storm closes the harbor.");
        row.startdate = start.date();
        row.starttime = start.time();
        row.enddate = end.date();
        row.endtime = end.time();
        GridCell cell;
        cell.title = Title;
        cell.description = row.description;
        cell.channelName = Channel;
        cell.startDate = start.date();
        cell.startTime = start.time();
        cell.endDate = end.date();
        cell.endTime = end.time();
        cell.programId = m_store->insertProgramme(dayNumber(start.date()), row);
        return fromGridCell(cell, m_program->state.settings.adjustDST, m_clock);
    }

    std::optional<QString> mark(QDate day, qint32 id)
    {
        const auto row = m_store->programme(dayNumber(day), id);
        return row ? row->action : std::optional<QString>(QStringLiteral("<gone>"));
    }

    QStringList rules()
    {
        QStringList all;
        for (const RuleRow& rule : m_store->rules())
            all << rule.programtitle + '|' + rule.recordtype + '|' + rule.recordchannel;
        all.sort();
        return all;
    }

    int recordedRows()
    {
        Statement s = m_store->database().prepare("SELECT COUNT(*) FROM recorded");
        return s.step() ? int(s.integer(0)) : -1;
    }

    QStringList handOffFiles() const
    {
        QStringList files;
        for (const char* name : {"program.tvpi", "program.tvvi"})
            if (QFile::exists(path(QLatin1String(name))))
                files << QLatin1String(name);
        return files;
    }

    static ui::PictureButton* item(MenuScreen& menu, int i)
    {
        return menu.findChild<ui::PictureButton*>(QStringLiteral("picMenu%1").arg(i));
    }
    static QList<int> shownSelected(MenuScreen& menu)
    {
        QList<int> items;
        for (int i = 0; i < menuitem::Count; ++i)
            if (ui::PictureButton* b = item(menu, i); b && b->isSelected())
                items << i;
        return items;
    }

    // The menu as the program makes it (loaded when it is not), with this test's opener and
    // message boxes: nothing reaches the desktop, and no message box waits for a click.
    MenuScreen& menuScreen()
    {
        MenuScreen& menu = ui::SingleInstance<MenuScreen>::instance();
        menu.setFileOpener([this](const QString& file) { m_opened << QFileInfo(file).fileName(); });
        menu.setMessageHandler([this](QWidget*, const QString& text) { m_messages << text; });
        return menu;
    }

    // Shows the menu as the guide does and runs `drive` inside its modal loop. False when the
    // menu was still open five seconds later: it is then hidden, so that a fault fails the test
    // instead of hanging it.
    bool runMenu(const SelectedProgramme& selection, QWidget* guide,
                 const std::function<void(MenuScreen&)>& drive)
    {
        QPointer<MenuScreen> menu = &menuScreen();
        bool timedOut = false;
        QTimer start, watchdog;
        start.setSingleShot(true);
        watchdog.setSingleShot(true);
        connect(&start, &QTimer::timeout, [&] {
            if (menu)
                drive(*menu);
        });
        connect(&watchdog, &QTimer::timeout, [&] {
            if (menu && menu->isVisible()) {
                timedOut = true;
                menu->hide();
            }
        });
        start.start(0);
        watchdog.start(5000);
        showActionMenu(selection, guide);
        return !timedOut;
    }

    static void unloadMenu()
    {
        ui::SingleInstance<MenuScreen>::unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString pictures = QStringLiteral(ZARVO_BINARY_DIR "/pictures");
        QVERIFY2(QFile::exists(pictures + QStringLiteral("/menu/selectedmenu.png")),
                 "the pictures are not built");
        QVERIFY(QFile::link(pictures, path(QStringLiteral("pictures"))));
        m_program = std::make_unique<Program>(ProgramFolder(m_dir.path()), m_clock);
        m_program->state.settings = firstRunDefaults();
        m_scope = std::make_unique<ProgramScope>(*m_program);
    }

    void init()
    {
        m_clock.setNow(at(Today, 14));
        m_program->state.settings.adjustDST = 0;
        m_program->state.rescheduleRequested = false;
        m_opened.clear();
        m_messages.clear();
        m_storeOpens = 0;
        MenuScreen::setGuideHooks({});
        for (const char* name : {"program.tvpi", "program.tvvi"}) {
            QDir(path(QLatin1String(name))).removeRecursively(); // left by a failed case
            QFile::remove(path(QLatin1String(name)));
        }
        QFile::remove(m_program->folder.databaseFile());
        m_store = m_program->openStore();
        m_store->insertChannel({"C4", Channel, "4", "wxyz.png"});
        m_store->insertChannel({"C5", "5 KABC", "5", "kabc.png"});
        // A rule of the same title on another channel, and one of another title on this one.
        m_store->insertRule({Title, "all", "5 KABC"});
        m_store->insertRule({"Evening News", "season", Channel});
    }

    void cleanup()
    {
        unloadMenu();
        m_store.reset();
    }

    void cleanupTestCase()
    {
        MenuScreen::setGuideHooks({});
        m_scope.reset();
    }

    // --- without a window ------------------------------------------------------------------

    void keys_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("selected");

        QTest::newRow("load selects the title") << QList<int>{} << 0;
        QTest::newRow("down") << QList<int>{vk::Down} << 1;
        QTest::newRow("up on the title goes round to cancel") << QList<int>{vk::Up} << 6;
        QTest::newRow("up twice") << QList<int>{vk::Up, vk::Up} << 5;
        QTest::newRow("down on cancel goes round to the title")
            << QList<int>{vk::Down, vk::Down, vk::Down, vk::Down, vk::Down, vk::Down, vk::Down}
            << 0;
        QTest::newRow("left and right change nothing")
            << QList<int>{vk::Down, vk::Down, vk::Left, vk::Right} << 2;
        QTest::newRow("other keys change nothing")
            << QList<int>{vk::Up, vk::Escape, vk::Space, vk::Tab, int('A'), vk::Prior} << 6;
    }

    void keys()
    {
        QFETCH(QList<int>, keys);
        QFETCH(int, selected);
        FakeView view;
        auto menu = logic(view);
        for (int key : keys)
            menu->keyReleased(key);
        QCOMPARE(menu->selectedItem(), selected);
        QCOMPARE(view.shownSelected(), QList<int>{selected});
        QCOMPARE(view.calls, QStringList());
        QVERIFY(m_opened.isEmpty());
    }

    void items_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("markBefore");
        QTest::addColumn<std::optional<QString>>("markAfter");
        QTest::addColumn<QStringList>("rulesAfter");
        QTest::addColumn<bool>("reschedule");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("recorded");

        const QStringList rulesBefore{"Evening News|season|4 WXYZ", "Harbor Lights|all|5 KABC"};
        const QStringList tvpi{"program.tvpi"}, tvvi{"program.tvvi"}, none;
        QTest::newRow("record this showing, over an earlier mark")
            << menuitem::RecordThisShowing << "all" << std::optional<QString>("record")
            << rulesBefore << false << tvpi << 1;
        QTest::newRow("record every showing")
            << menuitem::RecordEveryShowing << "" << std::optional<QString>("all")
            << QStringList{"Evening News|season|4 WXYZ", "Harbor Lights|all|4 WXYZ",
                           "Harbor Lights|all|5 KABC"}
            << true << tvpi << 1;
        QTest::newRow("record the series")
            << menuitem::RecordSeries << "record" << std::optional<QString>("season")
            << QStringList{"Evening News|season|4 WXYZ", "Harbor Lights|all|5 KABC",
                           "Harbor Lights|season|4 WXYZ"}
            << false << tvpi << 1;
        QTest::newRow("do not record: the mark and the title's rules on all channels go")
            << menuitem::DoNotRecord << "season" << std::optional<QString>(" ")
            << QStringList{"Evening News|season|4 WXYZ"} << false << none << 0;
        QTest::newRow("watch") << menuitem::Watch << "season" << std::optional<QString>("season")
                               << rulesBefore << false << tvvi << 0;
        QTest::newRow("cancel") << menuitem::Cancel << "record" << std::optional<QString>("record")
                                << rulesBefore << false << none << 0;
    }

    void items()
    {
        QFETCH(int, item);
        QFETCH(QString, markBefore);
        QFETCH(std::optional<QString>, markAfter);
        QFETCH(QStringList, rulesAfter);
        QFETCH(bool, reschedule);
        QFETCH(QStringList, files);
        QFETCH(int, recorded);

        // Later today: watch leaves the guide alone.
        const SelectedProgramme selection = addProgramme(at(Today, 15), at(Today, 16));
        if (!markBefore.isEmpty())
            m_store->setAction(dayNumber(Today), selection.progId, markBefore);
        FakeView view;
        auto menu = logic(view);
        menu->setSelection(selection);
        for (int i = 0; i < item; ++i)
            menu->keyReleased(vk::Down);
        menu->keyReleased(vk::Return);

        QCOMPARE(mark(Today, selection.progId), markAfter);
        QCOMPARE(rules(), rulesAfter);
        QCOMPARE(m_program->state.rescheduleRequested, reschedule);
        QCOMPARE(handOffFiles(), files);
        QCOMPARE(m_opened, files);
        QCOMPARE(recordedRows(), recorded);
        // Hidden, not unloaded, and the next showing starts at the title.
        QCOMPARE(view.calls, QStringList{"hide"});
        QCOMPARE(menu->selectedItem(), menuitem::Title);
        QCOMPARE(view.shownSelected(), QList<int>{menuitem::Title});
    }

    // One rule per title and channel: choosing again changes only its type.
    void ruleChoices_data()
    {
        QTest::addColumn<QList<int>>("choices");
        QTest::addColumn<QString>("rule");

        QTest::newRow("every showing twice") << QList<int>{2, 2} << "all";
        QTest::newRow("every showing, then the series") << QList<int>{2, 3} << "season";
        QTest::newRow("the series, then every showing") << QList<int>{3, 2} << "all";
    }

    void ruleChoices()
    {
        QFETCH(QList<int>, choices);
        QFETCH(QString, rule);
        const SelectedProgramme selection = addProgramme(at(Today, 15), at(Today, 16));
        FakeView view;
        auto menu = logic(view);
        menu->setSelection(selection);
        for (int choice : choices)
            menu->itemClicked(choice);
        QStringList expected{"Evening News|season|4 WXYZ",
                             QStringLiteral("Harbor Lights|%1|4 WXYZ").arg(rule),
                             "Harbor Lights|all|5 KABC"};
        expected.sort();
        QCOMPARE(rules(), expected);
        QCOMPARE(mark(Today, selection.progId), std::optional<QString>(rule));
        // The menu keeps its one connection.
        QCOMPARE(m_storeOpens, 1);
    }

    void watch_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<bool>("minimized");

        QTest::newRow("started earlier today") << at(Today, 13) << true;
        QTest::newRow("started a minute ago") << at(Today, 13, 59) << true;
        QTest::newRow("starts now") << at(Today, 14) << false;
        QTest::newRow("starts later today") << at(Today, 15) << false;
        QTest::newRow("yesterday") << at(Today.addDays(-1), 13) << false;
        QTest::newRow("tomorrow, earlier in the day") << at(Today.addDays(1), 13) << false;
    }

    void watch()
    {
        QFETCH(QDateTime, start);
        QFETCH(bool, minimized);
        FakeView view;
        auto menu = logic(view);
        menu->setSelection(addProgramme(start, start.addSecs(3600)));
        menu->itemClicked(menuitem::Watch);
        // The guide only once the menu is out of the way.
        const QStringList expected =
            minimized ? QStringList{"hide", "minimize"} : QStringList{"hide"};
        QCOMPARE(view.calls, expected);
        QCOMPARE(m_opened, QStringList{"program.tvvi"});
    }

    void titleUnloads()
    {
        FakeView view;
        auto menu = logic(view);
        menu->setSelection(addProgramme(at(Today, 13), at(Today, 14)));
        menu->keyReleased(vk::Return);
        QCOMPARE(view.calls, QStringList{"unload"});
        QCOMPARE(view.shownSelected(), QList<int>());
        QCOMPARE(handOffFiles(), QStringList());
        QCOMPARE(recordedRows(), 0);
    }

    // A click selects the item and performs it; a number that is no item does nothing.
    void clicks()
    {
        FakeView view;
        auto menu = logic(view);
        menu->setSelection(addProgramme(at(Today, 15), at(Today, 16)));
        menu->itemClicked(menuitem::Count);
        QCOMPARE(view.calls, QStringList());
        menu->itemClicked(menuitem::RecordThisShowing);
        QCOMPARE(view.calls, QStringList{"hide"});
        QCOMPARE(m_opened, QStringList{"program.tvpi"});
        QCOMPARE(view.shownSelected(), QList<int>{0});
    }

    // A failure is told after the menu hides; the database work that was done stays done.
    void failures_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<bool>("storeFails");
        QTest::addColumn<QString>("blocked"); // a folder where the hand-off file goes
        QTest::addColumn<QString>("reportStart");
        QTest::addColumn<std::optional<QString>>("markAfter");

        const QString cannotWrite = QStringLiteral("Cannot write ") + path("program.");
        QTest::newRow("database cannot be opened: record")
            << menuitem::RecordThisShowing << true << ""
            << "" << std::optional<QString>();
        QTest::newRow("database cannot be opened: do not record")
            << menuitem::DoNotRecord << true << ""
            << "" << std::optional<QString>();
        QTest::newRow("recording file cannot be written")
            << menuitem::RecordEveryShowing << false << "program.tvpi" << cannotWrite + "tvpi"
            << std::optional<QString>("all");
        QTest::newRow("viewing file cannot be written: the guide stays")
            << menuitem::Watch << false << "program.tvvi" << cannotWrite + "tvvi"
            << std::optional<QString>();
    }

    void failures()
    {
        QFETCH(int, item);
        QFETCH(bool, storeFails);
        QFETCH(QString, blocked);
        QFETCH(QString, reportStart);
        QFETCH(std::optional<QString>, markAfter);

        const SelectedProgramme selection = addProgramme(at(Today, 13), at(Today, 14));
        if (!blocked.isEmpty())
            QVERIFY(QDir().mkpath(path(blocked)));
        FakeView view;
        bool failing = storeFails;
        auto menu = logic(view, &failing);
        menu->setSelection(selection);
        menu->itemClicked(item);

        QCOMPARE(view.calls.size(), 2);
        QCOMPARE(view.calls[0], QStringLiteral("hide"));
        const QString expected = storeFails ? QStringLiteral("no database here") : reportStart;
        QVERIFY2(view.calls[1].startsWith(QStringLiteral("report ") + expected),
                 qPrintable(view.calls[1]));
        QCOMPARE(mark(Today, selection.progId), markAfter);
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(view.shownSelected(), QList<int>{0});

        // The next item tries the database again.
        failing = false;
        view.calls.clear();
        if (!blocked.isEmpty())
            QDir(path(blocked)).removeRecursively();
        menu->itemClicked(item);
        QCOMPARE(view.calls.value(0), QStringLiteral("hide"));
        QVERIFY2(!view.calls.join(',').contains(QStringLiteral("report")),
                 qPrintable(view.calls.join(',')));
        QCOMPARE(m_storeOpens, storeFails ? 2 : (item == menuitem::Watch ? 0 : 1));
    }

    // --- the screen ------------------------------------------------------------------------

    void screenLoad()
    {
        MenuScreen& menu = menuScreen();
        QCOMPARE(menu.objectName(), QStringLiteral("frmMenu"));
        QCOMPARE(menu.selectedItem(), 0);
        QCOMPARE(shownSelected(menu), QList<int>{0});
        for (int i = 0; i < menuitem::Count; ++i) {
            ui::PictureButton* b = item(menu, i);
            QVERIFY(b);
            QVERIFY(!b->unselectedPicture().isNull());
            QVERIFY(!b->selectedPicture().isNull());
            QVERIFY(b->unselectedPicture().toImage() != b->selectedPicture().toImage());
        }
        QVERIFY(!menu.isVisible());
    }

    // Keys reach the menu's handler whether the form or an item gets them; the menu answers
    // releases only and no key but Enter ends it.
    void screenKeys_data()
    {
        QTest::addColumn<int>("target"); // -1 the form, else that item
        QTest::addColumn<QList<Qt::Key>>("keys");
        QTest::addColumn<int>("selectedWhileShown");

        QTest::newRow("form") << -1 << QList<Qt::Key>{Qt::Key_Down, Qt::Key_Down} << 2;
        QTest::newRow("an item has the keys") << 5 << QList<Qt::Key>{Qt::Key_Up, Qt::Key_Up} << 5;
        QTest::newRow("escape and left do nothing")
            << -1 << QList<Qt::Key>{Qt::Key_Down, Qt::Key_Escape, Qt::Key_Left} << 1;
    }

    void screenKeys()
    {
        QFETCH(int, target);
        QFETCH(QList<Qt::Key>, keys);
        QFETCH(int, selectedWhileShown);
        const SelectedProgramme selection = addProgramme(at(Today, 15), at(Today, 16));
        menuScreen();

        int selected = -1;
        QList<int> shown;
        bool visible = false;
        QVERIFY(runMenu(selection, nullptr, [&](MenuScreen& menu) {
            QWidget* to = target < 0 ? static_cast<QWidget*>(&menu) : item(menu, target);
            clickKeys(to, keys);
            selected = menu.selectedItem();
            shown = shownSelected(menu);
            visible = menu.isVisible();
            // Cancel: the way out that leaves everything as it was.
            clickKeys(to, QList<Qt::Key>(6 - selected, Qt::Key_Down) << Qt::Key_Return);
        }));

        QVERIFY(visible);
        QCOMPARE(selected, selectedWhileShown);
        QCOMPARE(shown, QList<int>{selectedWhileShown});
        QVERIFY(ui::SingleInstance<MenuScreen>::isLoaded());
        MenuScreen& menu = ui::SingleInstance<MenuScreen>::instance();
        QVERIFY(!menu.isVisible());
        QCOMPARE(menu.selectedItem(), 0);
        QCOMPARE(shownSelected(menu), QList<int>{0});
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(m_messages, QStringList());
    }

    // An item run through the modal menu: done, the menu hidden, and a second showing starts at
    // the title with the same menu.
    void screenItemHides()
    {
        const SelectedProgramme selection = addProgramme(at(Today, 15), at(Today, 16));
        MenuScreen* first = &menuScreen();
        QVERIFY(runMenu(selection, nullptr, [](MenuScreen& menu) {
            clickKeys(&menu, {Qt::Key_Down, Qt::Key_Return});
        }));
        QCOMPARE(mark(Today, selection.progId), std::optional<QString>("record"));
        QCOMPARE(m_opened, QStringList{"program.tvpi"});
        QCOMPARE(ui::SingleInstance<MenuScreen>::instance().selection().progFileName,
                 QStringLiteral("Harbor Lights on 4 WXYZ"));

        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(ui::SingleInstance<MenuScreen>::isLoaded());
        QCOMPARE(&ui::SingleInstance<MenuScreen>::instance(), first);
        int selectedAtShow = -1;
        QVERIFY(runMenu(selection, nullptr, [&](MenuScreen& menu) {
            selectedAtShow = menu.selectedItem();
            clickKeys(&menu, {Qt::Key_Up, Qt::Key_Return});
        }));
        QCOMPARE(selectedAtShow, 0);
        QCOMPARE(m_opened, QStringList{"program.tvpi"}); // cancel the second time
    }

    void screenTitleUnloads()
    {
        const SelectedProgramme selection = addProgramme(at(Today, 15), at(Today, 16));
        int returned = 0;
        MenuScreen::setGuideHooks({[&returned] { ++returned; }, {}});
        QPointer<MenuScreen> menu = &menuScreen();
        QSignalSpy signal(menu.data(), &MenuScreen::returnedToButtons);
        const auto enter = [](MenuScreen& m) { clickKeys(&m, {Qt::Key_Return}); };
        QVERIFY(runMenu(selection, nullptr, enter));
        QVERIFY(!ui::SingleInstance<MenuScreen>::isLoaded());
        QCOMPARE(signal.size(), 1);
        QCOMPARE(returned, 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(menu.isNull());
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(recordedRows(), 0);

        // The next reference loads a fresh menu that still reaches the guide.
        QVERIFY(runMenu(selection, nullptr, enter));
        QCOMPARE(returned, 2);
    }

    void screenWatchMinimizesTheGuide_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<bool>("minimized");
        QTest::newRow("started earlier today") << at(Today, 13) << true;
        QTest::newRow("starts later today") << at(Today, 15) << false;
    }

    void screenWatchMinimizesTheGuide()
    {
        QFETCH(QDateTime, start);
        QFETCH(bool, minimized);
        const SelectedProgramme selection = addProgramme(start, start.addSecs(3600));
        QWidget guide;
        guide.resize(808, 578);
        guide.show();
        QVERIFY(QTest::qWaitForWindowExposed(&guide));
        QSignalSpy signal(&menuScreen(), &MenuScreen::minimizeGuideRequested);
        QVERIFY(runMenu(selection, &guide, [](MenuScreen& menu) {
            clickKeys(&menu, {Qt::Key_Up, Qt::Key_Up, Qt::Key_Return});
        }));
        QCOMPARE(m_opened, QStringList{"program.tvvi"});
        QCOMPARE(signal.size(), minimized ? 1 : 0);
        QCOMPARE(guide.isMinimized(), minimized);
        unloadMenu(); // before the guide, its parent now, goes
    }

    void screenReportsFailures()
    {
        const SelectedProgramme selection = addProgramme(at(Today, 15), at(Today, 16));
        QVERIFY(QDir().mkpath(path(QStringLiteral("program.tvpi"))));
        QWidget guide;
        guide.resize(808, 578);
        guide.show();
        // The message is told after the menu hid, over the guide.
        QWidget* messageParent = nullptr;
        bool hiddenAtReport = false;
        QVERIFY(runMenu(selection, &guide, [&](MenuScreen& menu) {
            QPointer<MenuScreen> shown = &menu;
            menu.setMessageHandler([&, shown](QWidget* parent, const QString& text) {
                m_messages << text;
                messageParent = parent;
                hiddenAtReport = shown && !shown->isVisible();
            });
            clickKeys(&menu, {Qt::Key_Down, Qt::Key_Return});
        }));
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].startsWith(QStringLiteral("Cannot write ")),
                 qPrintable(m_messages[0]));
        QVERIFY(hiddenAtReport);
        QCOMPARE(messageParent, &guide);
        QVERIFY(m_opened.isEmpty());
        unloadMenu();
    }

    // The menu grows with the guide and sits over its middle; the look is saved as menu.png.
    void screenLook_data()
    {
        QTest::addColumn<QSize>("guideSize");
        QTest::addColumn<QSize>("menuSize");
        QTest::newRow("guide at design size") << QSize(808, 578) << QSize(440, 468);
        QTest::newRow("twice the design size") << QSize(1616, 1156) << QSize(880, 936);
        // The height decides: 1080 / 578.
        QTest::newRow("1920 x 1080") << QSize(1920, 1080) << QSize(822, 874);
    }

    void screenLook()
    {
        QFETCH(QSize, guideSize);
        QFETCH(QSize, menuSize);
        const SelectedProgramme selection = addProgramme(at(Today, 15), at(Today, 16));
        QWidget guide;
        guide.setGeometry(QRect(QPoint(30, 20), guideSize));
        guide.show();
        QVERIFY(QTest::qWaitForWindowExposed(&guide));

        QSize size;
        QPoint centre;
        QRect first, last;
        QVERIFY(runMenu(selection, &guide, [&](MenuScreen& menu) {
            clickKeys(&menu, {Qt::Key_Down, Qt::Key_Down});
            size = menu.size();
            centre = menu.geometry().center();
            first = item(menu, 0)->geometry();
            last = item(menu, 6)->geometry();
            if (guideSize == QSize(1616, 1156)) {
                // Over a dark blue stand-in for the guide.
                QImage shot(guide.size(), QImage::Format_RGB32);
                shot.fill(QColor(0x0b, 0x1a, 0x3c));
                QPainter painter(&shot);
                painter.drawImage(menu.geometry().topLeft() - guide.geometry().topLeft(),
                                  menu.grab().toImage());
                painter.end();
                shot.save(QStringLiteral(ZARVO_BINARY_DIR "/menu.png"));
            }
            menu.close();
        }));

        QCOMPARE(size, menuSize);
        QVERIFY2((centre - guide.geometry().center()).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("menu centre %1,%2").arg(centre.x()).arg(centre.y())));
        // The column fills the form but for an even margin (to a pixel of rounding).
        QVERIFY(first.left() > 0 && first.top() > 0);
        QVERIFY(qAbs(first.left() - (size.width() - 1 - last.right())) <= 1);
        QVERIFY(qAbs(first.top() - (size.height() - 1 - last.bottom())) <= 1);
        QVERIFY(first.height() * 7 < size.height());
        // Closed by the window: as cancel.
        MenuScreen& menu = ui::SingleInstance<MenuScreen>::instance();
        QCOMPARE(menu.selectedItem(), 0);
        QVERIFY(m_opened.isEmpty());
        unloadMenu();
    }
};

QTEST_MAIN(TestMenu)
#include "tst_menu.moc"
