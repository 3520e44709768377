// The action menu's items without a window (MenuLogic over a fake view), with
// the program's hand-off queue and a real stand-in opener. The program folder holds a listings
// database with one programme, "Harbor Lights" on 4 WXYZ. (The screen itself is driven by the
// end-to-end run.)

#include "app/program.h"
#include "record/menulogic.h"
#include "record/menuscreen.h"
#include "record/selection.h"
#include "support/standinopener.h"
#include "support/support.h"
#include "ui/keycodes.h"

#include <QDir>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

using namespace zarvo;
using namespace zarvo::test;
namespace vk = zarvo::ui::vk;

namespace {

const QDate Today(2004, 1, 12); // a Monday in winter: New York is UTC-5
const QString Show = QStringLiteral("Harbor Lights");
const QString Channel = QStringLiteral("4 WXYZ");

// The view as the logic leaves it: which items show their selected look, and what else it was
// asked to do, in order.
struct FakeView : MenuView
{
    QList<int> shown; // the items showing their selected look
    QStringList calls;
    void showItemSelected(int item, bool selected) override
    {
        QVERIFY(item >= 0 && item < menuitem::Count);
        shown.removeAll(item);
        if (selected)
            shown << item;
    }
    void hideMenu() override { calls << QStringLiteral("hide"); }
    void unloadMenu() override { calls << QStringLiteral("unload"); }
    void minimizeGuide() override { calls << QStringLiteral("minimize"); }
    void reportFailure(const QString& text) override { calls << QStringLiteral("report ") + text; }
};

} // namespace

class TestMenu : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    FakeClock m_clock{QTimeZone("America/New_York"), at(Today, 14)};
    std::unique_ptr<Program> m_program;
    std::unique_ptr<StandInOpener> m_opener;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    // The program's one store, which the menu works through too.
    ListingsStore& store() { return m_program->store(); }

    // The hand-off files the stand-in opener was given, by name.
    QStringList opened()
    {
        QStringList names;
        for (const QByteArray& file : m_opener->received())
            names << (file.startsWith("<tv-program-info>") ? "program.tvpi" : "program.tvvi");
        return names;
    }

    // Lets the program's hand-off queue finish, moving the clock on a second at a time.
    void drain()
    {
        for (int i = 0; i < 100 && !m_program->handOffs.idle(); ++i) {
            QTest::qWait(5);
            m_clock.advanceSeconds(1);
        }
        QVERIFY(m_program->handOffs.idle());
        QCoreApplication::processEvents(); // the messages the menu posted
    }

    // The logic over `view`, loaded.
    std::unique_ptr<MenuLogic> logic(FakeView& view)
    {
        auto menu =
            std::make_unique<MenuLogic>(view, m_program->state, m_clock, m_program->handOffs,
                                        [this]() -> ListingsStore& { return store(); });
        menu->load();
        return menu;
    }

    // Adds an hour-long programme on 4 WXYZ and gives the selection the guide would make of
    // its cell.
    SelectedProgramme addProgramme(const QDateTime& s)
    {
        const QDateTime e = s.addSecs(3600);
        const qint32 id = add(store(), programme("C4", s, e, Show));
        const GridCell cell{Show,     {},       {},       {},       {},    {}, Channel,
                            s.date(), s.time(), e.date(), e.time(), false, id, dayNumber(s.date()),
                            {}};
        return fromGridCell(cell, m_clock);
    }

    QString mark(qint32 id)
    {
        const auto row = store().programme(dayNumber(Today), id);
        return row ? (row->action ? markText(*row->action) : "-") : "<gone>";
    }

    // The rules of the programme's title as "type channel", sorted; the rule of another title
    // that init() stored must stay.
    QString titleRules()
    {
        QStringList ours;
        bool other = false;
        for (const RuleRow& rule : store().rules()) {
            if (rule.programtitle == Show)
                ours << ruleTypeText(rule.recordtype) + ' ' + rule.recordchannel;
            other |= rule == RuleRow{"Evening News", RuleType::Season, Channel};
        }
        ours.sort();
        return other ? ours.join(", ") : QStringLiteral("other title's rule gone");
    }

    int recordedRows() { return int(store().recordedLog().size()); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_opener = std::make_unique<StandInOpener>(path(QStringLiteral("opener")));
    }

    void init()
    {
        m_clock.setNow(at(Today, 14));
        m_opener->reset();
        for (const char* name : {"program.tvpi", "program.tvvi"}) {
            QDir(path(name)).removeRecursively(); // left by a failed case
            QFile::remove(path(name));
        }
        // A program of its own for each case, with its store on a new database.
        QFile::remove(ProgramFolder(m_dir.path()).databaseFile());
        m_program = std::make_unique<Program>(ProgramFolder(m_dir.path()), m_clock);
        m_program->state.settings = firstRunDefaults();
        m_program->state.settings.adjustDST = 0;
        m_program->handOffs.setOpener(m_opener->command());
        m_program->handOffs.setRecheckMs(2);
        addChannels(store(), {Channel, "5 KABC"});
        store().insertRule({Show, RuleType::All, "5 KABC"});
        store().insertRule({"Evening News", RuleType::Season, Channel});
    }

    void cleanup() { m_program.reset(); }

    // Each item chosen with the keys, for a programme later today: the mark after it ("-" for
    // none), the rules of the title after it (init's other-title rule always stays), whether it
    // asks for rescheduling, the hand-off file handed over and the recordings logged.
    void items_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("markBefore");
        QTest::addColumn<QString>("markAfter");
        QTest::addColumn<QString>("rules");
        QTest::addColumn<bool>("reschedule");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("recorded");
        const auto row = [](const char* name, int item, const char* before, const char* after,
                            const char* rules, bool reschedule, const char* file, int recorded) {
            QTest::newRow(name) << item << QString(before) << QString(after) << QString(rules)
                                << reschedule << QString(file) << recorded;
        };
        using namespace menuitem;
        row("title closes the menu", Title, "", "-", "all 5 KABC", false, "", 0);
        row("record this, over a mark", RecordThisShowing, "all", "record", "all 5 KABC", false,
            "tvpi", 1);
        row("every showing", RecordEveryShowing, "", "all", "all 4 WXYZ, all 5 KABC", true, "tvpi",
            1);
        row("the series", RecordSeries, "record", "season", "all 5 KABC, season 4 WXYZ", false,
            "tvpi", 1);
        row("do not record: all channels", DoNotRecord, "season", " ", "", false, "", 0);
        row("watch", Watch, "season", "season", "all 5 KABC", false, "tvvi", 0);
        // Watching what started earlier today minimises the guide, once the menu is hidden.
        row("watch, started earlier today", Watch, "", "-", "all 5 KABC", false, "tvvi", 0);
    }
    void items()
    {
        QFETCH(int, item);
        QFETCH(QString, markBefore);
        QFETCH(QString, file);
        const bool started = QByteArray(QTest::currentDataTag()).contains("started");
        const SelectedProgramme selection = addProgramme(at(Today, started ? 13 : 15));
        if (!markBefore.isEmpty())
            store().setAction(dayNumber(Today), selection.programId, markFromText(markBefore));
        FakeView view;
        auto menu = logic(view);
        menu->setSelection(selection);
        for (int i = 0; i < item; ++i)
            menu->keyReleased(vk::Down);
        menu->keyReleased(vk::Return);
        drain();

        QTEST(mark(selection.programId), "markAfter");
        QTEST(titleRules(), "rules");
        QTEST(m_program->state.rescheduleRequested, "reschedule");
        const QStringList files = file.isEmpty() ? QStringList() : QStringList{"program." + file};
        QCOMPARE(opened(), files);
        QCOMPARE(QDir(m_dir.path()).entryList({"program.*"}), files);
        QTEST(recordedRows(), "recorded");
        // Hidden, not unloaded, and the next showing starts at the title.
        const bool title = item == menuitem::Title;
        QCOMPARE(view.calls.join(','), title ? "unload" : started ? "hide,minimize" : "hide");
        QCOMPARE(menu->selectedItem(), menuitem::Title);
        QCOMPARE(view.shown, title ? QList<int>() : QList<int>{0});
    }

    // Escape, Backspace and the remote's Back leave the shown menu as its title item does,
    // from any item: unloaded, the guide back to its buttons, nothing handed over.
    void backKeysLeave_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Escape") << int(Qt::Key_Escape);
        QTest::newRow("Backspace") << int(Qt::Key_Backspace);
        QTest::newRow("remote Back") << int(Qt::Key_Back);
    }
    void backKeysLeave()
    {
        QFETCH(int, key);
        QPointer<MenuScreen> menu =
            new MenuScreen(m_program->folder, m_program->state, m_clock, m_program->handOffs,
                           [this]() -> ListingsStore& { return store(); });
        int returned = 0;
        connect(menu, &MenuScreen::returnedToButtons, this, [&returned] { ++returned; });
        QTimer::singleShot(0, menu, [menu, key] {
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key(key));
        });
        QTimer::singleShot(2000, menu, &QWidget::hide); // a menu left up fails, not hangs
        menu->showFor(addProgramme(at(Today, 15)), nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(menu.isNull());
        QCOMPARE(returned, 1);
        drain();
        QCOMPARE(opened(), QStringList());
    }
};

QTEST_MAIN(TestMenu)
#include "tst_menu.moc"
