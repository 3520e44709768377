// The viewer's screens over the guide (info, search, recordings) on a real store file, built
// offscreen and read back from their controls; keys sent as the toolkit delivers them.
#include "guide/genre.h"
#include "guide/infoscreen.h"
#include "guide/searchscreen.h"
#include "record/recordingsscreen.h"
#include "support/support.h"
#include "ui/genretint.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using namespace zarvo;
using namespace zarvo::test;

namespace {

const QDate Monday(2003, 12, 15);
const QDate Tuesday = Monday.addDays(1);

struct Fixture
{
    QTemporaryDir dir;
    ProgramFolder folder{dir.path()};
    FakeClock clock{QTimeZone("America/New_York"), at(Monday, 20, 15)};
    StoreFile file{{"5 KMQH", "9 WXYZ"}};
    ListingsStore& store = file.store;
    qint32 shown = 0;   // Monday 8 PM on 5 KMQH, the programme the screens start from
    qint32 tuesday = 0; // Tuesday 8 PM on 5 KMQH

    Fixture()
    {
        ProgrammeRow p = programme("C5", at(Monday, 20), at(Monday, 21), "Law & Order");
        p.subtitle = "Pilot", p.category = "Crime drama", p.rating = "TV-14", p.rerun = true;
        p.description = QString("A long description. ").repeated(30).trimmed();
        shown = add(store, p);
        add(store, programme("C9", at(Monday, 19), at(Monday, 20), "Law & Order"));
        add(store, programme("C9", at(Monday, 21), at(Monday, 22), "Law and Order"));
        tuesday = add(store, programme("C5", at(Tuesday, 20), at(Tuesday, 21), "Law & Order"));
        add(store, programme("C9", at(Tuesday, 8), at(Tuesday, 9), "Order in Court"));
        store.setStoredDate(2, Monday);
        store.setStoredDate(3, Tuesday);
        QDir().mkpath(folder.logosFolder());
        QImage logo(64, 32, QImage::Format_RGB32);
        logo.fill(Qt::yellow);
        logo.save(folder.logosFolder() + "/kmqh.png");
    }
    std::function<ListingsStore&()> access()
    {
        return [this]() -> ListingsStore& { return store; };
    }
};

QString text(QWidget* screen, const char* name)
{
    auto* label = screen->findChild<QLabel*>(name);
    return label ? label->text() : QString("<no %1>").arg(name);
}

// A table's rows, its cells joined by "|".
QStringList rows(QWidget* screen, const char* name)
{
    QStringList out;
    const auto* table = screen->findChild<QTableWidget*>(name);
    for (int r = 0; table && r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c)
            if (const QTableWidgetItem* item = table->item(r, c))
                cells << item->text();
        out << cells.join('|');
    }
    return out;
}

// Answers the next question box with the button of that text, once it is up.
void answer(const QString& button)
{
    QTimer::singleShot(50, [button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        for (QPushButton* b : box ? box->findChildren<QPushButton*>() : QList<QPushButton*>{})
            if (b->text() == button)
                b->click();
    });
}

} // namespace

class TestViewerScreens : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The whole programme, its next showings ("&" and "and" alike, later ones only), and each
    // close key.
    void info_data()
    {
        QTest::addColumn<int>("key");
        for (auto [name, key] : {std::pair{"I", Qt::Key_I},
                                 {"Info", Qt::Key_Info},
                                 {"Escape", Qt::Key_Escape},
                                 {"Backspace", Qt::Key_Backspace},
                                 {"remote Back", Qt::Key_Back}})
            QTest::newRow(name) << int(key);
    }
    void info()
    {
        QFETCH(int, key);
        Fixture f;
        const ProgrammeRow row = *f.store.programme(2, f.shown);
        GridCell cell = gridCell(row, f.store.channels().rows().front(), 2);
        cell.description = "cut"; // the screen reads the row's own
        InfoScreen screen(f.folder, f.clock, f.access());
        QSignalSpy closed(&screen, &InfoScreen::closed);
        screen.showFor(cell, nullptr);
        QCOMPARE(text(&screen, "lblTitle"), QString("Law & Order"));
        QCOMPARE(text(&screen, "lblSubtitle"), QString("Pilot"));
        QCOMPARE(text(&screen, "lblChannel"), QString("5 KMQH"));
        QVERIFY(!screen.findChild<QLabel*>("picLogo")->pixmap().isNull());
        QCOMPARE(text(&screen, "lblWhen"), QString("Mon 12/15   8:00 PM – 9:00 PM   (1 hr)"));
        const auto* category = screen.findChild<QLabel*>("lblCategory");
        QCOMPARE(category->text().trimmed(), QString("Crime drama"));
        QCOMPARE(category->palette().color(QPalette::Window),
                 ui::genreTint(genreOf("Crime drama")));
        QCOMPARE(text(&screen, "lblRating"), QString("Rating: TV-14"));
        QCOMPARE(text(&screen, "lblRepeat"), QString("Repeat"));
        QCOMPARE(text(&screen, "lblDescription"), row.description);
        QCOMPARE(text(&screen, "lblNext"),
                 QString("Mon 12/15   9:00 PM   9 WXYZ\nTue 12/16   8:00 PM   5 KMQH"));
        QTest::keyClick(&screen, Qt::Key_Down);
        QVERIFY(screen.isVisible());
        // Sent as it is: the test library refuses keys without a character, such as Info.
        QTest::sendKeyEvent(QTest::Click, &screen, Qt::Key(key), QString(), Qt::NoModifier);
        QVERIFY(!screen.isVisible());
        QCOMPARE(closed.size(), 1);
    }

    // Typed into the field: the results follow, Up and Down move, Enter asks for the showing;
    // Backspace edits and closes only an empty field.
    void search()
    {
        Fixture f;
        SearchScreen screen(f.clock, f.access());
        QSignalSpy chosen(&screen, &SearchScreen::showingChosen);
        QSignalSpy closed(&screen, &SearchScreen::closed);
        screen.showFor("zzz", nullptr);
        QVERIFY2(text(&screen, "lblStatus").startsWith("Nothing found for \"zzz\""),
                 qPrintable(text(&screen, "lblStatus")));
        auto* field = screen.findChild<QLineEdit*>("txtSearch");
        field->clear();
        QTest::keyClicks(field, "LAW AND");
        screen.search();
        QCOMPARE(rows(&screen, "tblResults"),
                 (QStringList{"Mon 12/15|7:00 PM|9 WXYZ|Law & Order",
                              "Mon 12/15|8:00 PM|5 KMQH|Law & Order",
                              "Mon 12/15|9:00 PM|9 WXYZ|Law and Order",
                              "Tue 12/16|8:00 PM|5 KMQH|Law & Order"}));
        QCOMPARE(text(&screen, "lblStatus"), QString("4 showings found."));
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up})
            QTest::keyClick(field, key);
        QCOMPARE(screen.currentResult(), 2);
        QTest::keyClick(field, Qt::Key_Backspace);
        QCOMPARE(field->text(), QString("LAW AN"));
        QVERIFY(screen.isVisible());
        QTest::keyClick(field, Qt::Key_D);
        // The pending lookup runs first, and keeps the showing chosen.
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(!screen.isVisible());
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen[0][0].toString(), QString("C9"));
        QCOMPARE(chosen[0][1].toDateTime(), wallClock(Monday, QTime(21, 0)));
        QCOMPARE(closed.size(), 0);

        screen.showFor(QString(), nullptr);
        QTest::keyClick(field, Qt::Key_Backspace);
        QVERIFY(!screen.isVisible());
        QCOMPARE(closed.size(), 1);
    }

    // The rules, what is marked to come and the log; Enter removes the chosen rule once the
    // viewer says so.
    void recordings()
    {
        Fixture f;
        f.store.insertRule({"Law & Order", RuleType::Season, "5 KMQH"});
        f.store.insertRule({"Law & Order", RuleType::All, "9 WXYZ"});
        f.store.setAction(2, f.shown, Mark::Season);
        f.store.setAction(2, 2, Mark::Record); // ended at 8 PM
        RecordedRow logged;
        logged.title = "Law & Order", logged.channel = "5", logged.station = "KMQH";
        logged.realdate = "12/15/2003", logged.realtime = "8:00:00 PM";
        f.store.markAndLog(3, f.tuesday, Mark::All, logged);
        RecordingsScreen screen(f.clock, f.access());
        screen.showFor(nullptr);
        QCOMPARE(rows(&screen, "tblRules"),
                 (QStringList{"Law & Order|New showings on this channel|5 KMQH",
                              "Law & Order|Every showing, any channel|9 WXYZ"}));
        QCOMPARE(rows(&screen, "tblUpcoming"),
                 (QStringList{"Mon 12/15|8:00 PM|5 KMQH|Law & Order|The series",
                              "Tue 12/16|8:00 PM|5 KMQH|Law & Order|Every showing"}));
        QCOMPARE(rows(&screen, "tblLog"), QStringList{"12/15/2003 8:00:00 PM|Law & Order|5 KMQH"});

        QTest::keyClick(&screen, Qt::Key_Down);
        answer("Keep it");
        QTest::keyClick(&screen, Qt::Key_Return);
        QCOMPARE(screen.rules().size(), std::size_t(2));
        answer("Remove the rule");
        QTest::keyClick(&screen, Qt::Key_Return);
        QCOMPARE(f.store.rules(),
                 (std::vector<RuleRow>{{"Law & Order", RuleType::Season, "5 KMQH"}}));
        QCOMPARE(rows(&screen, "tblRules"),
                 QStringList{"Law & Order|New showings on this channel|5 KMQH"});
        answer("Remove the rule");
        QTest::keyClick(&screen, Qt::Key_Return);
        QVERIFY2(rows(&screen, "tblRules").value(0).startsWith("No standing rules."),
                 qPrintable(rows(&screen, "tblRules").join('\n')));
        QTest::keyClick(&screen, Qt::Key_R);
        QVERIFY(!screen.isVisible());
    }
};

QTEST_MAIN(TestViewerScreens)
#include "tst_viewerscreens.moc"
