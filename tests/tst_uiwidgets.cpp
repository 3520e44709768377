// The widget layer under the screens: the listings grid (with its look of the present), the
// remote's keys as the guide reads them, message boxes and the layout table. Runs on the
// offscreen platform.

#include "guide/navigation.h"
#include "ui/forms.h"
#include "ui/grid.h"
#include "ui/keycodes.h"
#include "ui/picturebutton.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>

using namespace zarvo::ui;
using zarvo::GuideCommand;
using Calls = QList<QVariantList>;

class TestUiWidgets : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The current cell never lands in the fixed row or column: neither when set (silently) nor
    // by the arrow keys, which step over a merged span as a whole.
    void currentCell_data()
    {
        QTest::addColumn<QPoint>("from"); // column, row
        QTest::addColumn<bool>("merged"); // row 3 holds "Movie" twice
        QTest::addColumn<int>("key");     // 0: only set the cell
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<int>("edge"); // the arrow reported past the edge, or 0
        QTest::newRow("corner") << QPoint(0, 0) << false << 0 << QPoint(1, 1) << 0;
        QTest::newRow("unmerged: right")
            << QPoint(1, 3) << false << int(Qt::Key_Right) << QPoint(2, 3) << 0;
        QTest::newRow("merged: right stays")
            << QPoint(1, 3) << true << int(Qt::Key_Right) << QPoint(1, 3) << int(vk::Right);
        QTest::newRow("merged: left stays")
            << QPoint(2, 3) << true << int(Qt::Key_Left) << QPoint(2, 3) << int(vk::Left);
        QTest::newRow("down into merged")
            << QPoint(2, 2) << true << int(Qt::Key_Down) << QPoint(2, 3) << 0;
        QTest::newRow("up from row 1")
            << QPoint(2, 1) << false << int(Qt::Key_Up) << QPoint(2, 1) << int(vk::Up);
        QTest::newRow("down from the last row")
            << QPoint(1, 9) << false << int(Qt::Key_Down) << QPoint(1, 9) << int(vk::Down);
        QTest::newRow("left from column 1")
            << QPoint(1, 5) << false << int(Qt::Key_Left) << QPoint(1, 5) << int(vk::Left);
        QTest::newRow("right from column 2")
            << QPoint(2, 5) << false << int(Qt::Key_Right) << QPoint(2, 5) << int(vk::Right);
    }
    void currentCell()
    {
        QFETCH(QPoint, from);
        QFETCH(bool, merged);
        QFETCH(int, key);
        QFETCH(QPoint, to);
        QFETCH(int, edge);
        Grid grid;
        grid.setText(3, 1, QStringLiteral("Movie"));
        grid.setText(3, 2, QStringLiteral("Movie"));
        grid.setRowMerged(3, merged);
        grid.setCurrentCell(4, 2, false);
        QSignalSpy moved(&grid, &Grid::currentCellChanged);
        QSignalSpy edges(&grid, &Grid::edgeReached);
        grid.setCurrentCell(from.y(), from.x(), false);
        if (key)
            QTest::keyPress(&grid, Qt::Key(key));
        QCOMPARE(QPoint(grid.currentColumn(), grid.currentRow()), to);
        QCOMPARE(moved, (key && to != from ? Calls{{to.y(), to.x()}} : Calls()));
        QCOMPARE(edges, (edge ? Calls{{edge}} : Calls()));
    }

    // The remote's keys as the guide reads them: Qt's key, its virtual-key code and the
    // guide's command. The letter keys stay as they were beside the new buttons.
    void remoteKeys_data()
    {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<int>("code");
        QTest::addColumn<GuideCommand>("command");
        const auto row = [](const char* name, int qtKey, int code, GuideCommand command) {
            QTest::newRow(name) << qtKey << code << command;
        };
        using C = GuideCommand;
        row("Page Up", Qt::Key_PageUp, vk::Prior, C::PageUp);
        row("Page Down", Qt::Key_PageDown, vk::Next, C::PageDown);
        row("Channel Up", Qt::Key_ChannelUp, vk::Prior, C::PageUp);
        row("Channel Down", Qt::Key_ChannelDown, vk::Next, C::PageDown);
        row("Info", Qt::Key_Info, vk::Info, C::Info);
        row("Record", Qt::Key_MediaRecord, vk::Record, C::Record);
        row("I", Qt::Key_I, 'I', C::Info);
        row("F", Qt::Key_F, 'F', C::Search);
        row("R", Qt::Key_R, 'R', C::Recordings);
        // Back, Escape and Backspace are the other screens' way back; the guide has none.
        row("Back", Qt::Key_Back, vk::BrowserBack, C::Nothing);
        row("Escape", Qt::Key_Escape, vk::Escape, C::Nothing);
        row("Backspace", Qt::Key_Backspace, vk::Back, C::Nothing);
        row("B", Qt::Key_B, 'B', C::PageDown);
        row("V", Qt::Key_V, 'V', C::PageUp);
        row("C", Qt::Key_C, 'C', C::PrimeTime);
        row("J", Qt::Key_J, 'J', C::DayBack);
        row("K", Qt::Key_K, 'K', C::DayForward);
        row("M", Qt::Key_M, 'M', C::HourForward);
        row("N", Qt::Key_N, 'N', C::HourBack);
        row("S", Qt::Key_S, 'S', C::Settings);
        row("X", Qt::Key_X, 'X', C::Exit);
        row("Z", Qt::Key_Z, 'Z', C::Now);
        row("comma", Qt::Key_Comma, vk::Comma, C::Minimize);
        row("full stop", Qt::Key_Period, vk::Period, C::Maximize);
        row("Enter", Qt::Key_Enter, vk::Return, C::Enter);
        row("Down", Qt::Key_Down, vk::Down, C::MoveDown);
    }
    void remoteKeys()
    {
        QFETCH(int, qtKey);
        QFETCH(int, code);
        QFETCH(GuideCommand, command);
        QCOMPARE(toVirtualKey(qtKey), code);
        QCOMPARE(zarvo::commandForKey(code), command);
    }

    // What a cell's look paints, read back from the grid's picture: the tint, an ended
    // programme dimmed, the progress bar along the bottom, the arrows and the now line. The
    // current cell keeps its own fill.
    void cellLooks()
    {
        Grid grid(4, 3);
        grid.resize(grid.sizeHint());
        grid.setColumnWidth(1, 200);
        grid.setColumnWidth(2, 200);
        grid.resize(grid.sizeHint());
        const QColor tint(24, 58, 34);
        Grid::CellLook plain{tint};
        Grid::CellLook dimmed{tint, true};
        Grid::CellLook running{tint, false, 0.25, true, true};
        grid.setLook(1, 1, plain);
        grid.setLook(1, 2, dimmed);
        grid.setLook(2, 1, running);
        grid.setLook(3, 1, plain);
        grid.setCurrentCell(3, 1, false);
        const QString title = QStringLiteral("A title long enough to need the whole cell and more");
        grid.setText(2, 2, title);
        grid.setText(2, 1, title);
        grid.setNowLine(0.5);
        const QImage shot = grid.grab().toImage();
        const auto at = [&](int row, int col, double x, double y) {
            const QRect box =
                grid.cellRect(row, col).adjusted(0, 0, -2, -2); // the gap below 40 px rows
            return shot.pixelColor(box.left() + int(x * box.width()),
                                   box.top() + int(y * box.height()));
        };
        QCOMPARE(at(1, 1, 0.02, 0.1), tint);
        const QColor dim = at(1, 2, 0.98, 0.1);
        QVERIFY(dim.lightness() < tint.lightness() && dim != grid.colors().background);
        QCOMPARE(at(2, 1, 0.1, 0.97), grid.colors().progress);
        QVERIFY(at(2, 1, 0.4, 0.97) != grid.colors().progress);
        QCOMPARE(at(2, 1, 0.03, 0.5), grid.colors().arrow); // inside the left arrow
        QCOMPARE(at(3, 1, 0.5, 0.3), grid.colors().currentFill);
        // The arrows take room from the title.
        QVERIFY(grid.shownText(2, 1).size() < grid.shownText(2, 2).size());
        QVERIFY(grid.shownText(2, 1).endsWith(QChar(0x2026)));
        const QRect line = grid.nowLineRect();
        QCOMPARE(line.center().x(), grid.cellRect(1, 2).left() - 1);
        QCOMPARE(shot.pixelColor(line.center().x(), grid.cellRect(2, 1).center().y()),
                 grid.colors().nowLine);
        grid.setNowLine(std::nullopt);
        QVERIFY(grid.nowLineRect().isEmpty());
        grid.clearRow(2);
        QCOMPARE(grid.look(2, 1), Grid::CellLook());
    }

    // Releases report the virtual key, but not the repeated releases of a held key nor keys
    // without a code.
    void keyReleases()
    {
        Grid grid;
        QSignalSpy released(&grid, &Grid::keyReleased);
        for (int key : {Qt::Key_Return, Qt::Key_V, Qt::Key_VolumeDown}) {
            QTest::keyClick(&grid, Qt::Key(key));
            QKeyEvent repeat(QEvent::KeyRelease, key, Qt::NoModifier, QString(), true);
            QCoreApplication::sendEvent(&grid, &repeat);
        }
        QCOMPARE(released, (Calls{{13}, {86}}));
    }

    // OK by Enter closes the box on the press; the release must not reach the window below,
    // which would take it for a new command. Other keys' releases still arrive.
    void messageBoxKeepsItsClosingRelease()
    {
        Grid below(3, 3);
        below.show();
        QSignalSpy released(&below, &Grid::keyReleased);
        int pixels = 0;
        QTimer::singleShot(0, [&pixels] {
            QWidget* box = QApplication::activeModalWidget();
            pixels = box->font().pixelSize();
            QTest::sendKeyEvent(QTest::Press, box, Qt::Key_Return, QString(), Qt::NoModifier);
        });
        messageBox(&below, QStringLiteral("Something went wrong."));
        // Readable across the room: a thirtieth of the screen's height.
        QCOMPARE(pixels, below.screen()->size().height() / 30);
        QTest::sendKeyEvent(QTest::Release, &below, Qt::Key_Return, QString(), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, &below, Qt::Key_Z, QString(), Qt::NoModifier);
        QCOMPARE(released.size(), 1);
        QCOMPARE(released.first().first().toInt(), int('Z'));
        // Once swallowed, the next Enter is the viewer's again.
        QTest::sendKeyEvent(QTest::Release, &below, Qt::Key_Return, QString(), Qt::NoModifier);
        QCOMPARE(released.size(), 2);
    }

    // Each layout starts from the design, so going back loses nothing to earlier rounding.
    void layoutTableScales()
    {
        QWidget screen;
        QLabel* title = new QLabel(&screen);
        title->setGeometry(twipRect(1200, 120, 6000, 480)); // 80, 8, 400, 32
        PictureButton* button = new PictureButton(&screen);
        button->setGeometry(QRect(10, 300, 60, 61));
        QWidget* doomed = new QWidget(&screen);
        LayoutTable table;
        table.record({title, button, doomed});
        delete doomed; // a control gone since is skipped, not a crash
        table.apply(0.5, 0.5);
        QCOMPARE(title->geometry(), QRect(40, 4, 200, 16));
        QCOMPARE(button->geometry(), QRect(5, 150, 30, 30)); // 30.5 rounds to even
        table.apply(2.0, 1.5);
        table.apply(std::nan(""), 1.0); // ignored, as is a negative factor
        table.apply(-1.0, 1.0);
        QCOMPARE(title->geometry(), QRect(160, 12, 800, 48));
        QVERIFY(scaleFont(title, 18, 0.5));
        QCOMPARE(title->font().pointSizeF(), 9.0);
    }
};

QTEST_MAIN(TestUiWidgets)
#include "tst_uiwidgets.moc"
