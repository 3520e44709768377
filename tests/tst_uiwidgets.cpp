// The widget layer under the screens: the listings grid, message boxes and the layout table.
// Runs on the offscreen platform.

#include "ui/forms.h"
#include "ui/grid.h"
#include "ui/picturebutton.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>

using namespace zarvo::ui;
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
        QTest::newRow("corner") << QPoint(0, 0) << false << 0 << QPoint(1, 1);
        QTest::newRow("unmerged: right")
            << QPoint(1, 3) << false << int(Qt::Key_Right) << QPoint(2, 3);
        QTest::newRow("merged: right stays")
            << QPoint(1, 3) << true << int(Qt::Key_Right) << QPoint(1, 3);
        QTest::newRow("down into merged")
            << QPoint(2, 2) << true << int(Qt::Key_Down) << QPoint(2, 3);
    }
    void currentCell()
    {
        QFETCH(QPoint, from);
        QFETCH(bool, merged);
        QFETCH(int, key);
        QFETCH(QPoint, to);
        Grid grid;
        grid.setText(3, 1, QStringLiteral("Movie"));
        grid.setText(3, 2, QStringLiteral("Movie"));
        grid.setRowMerged(3, merged);
        grid.setCurrentCell(4, 2, false);
        QSignalSpy moved(&grid, &Grid::currentCellChanged);
        grid.setCurrentCell(from.y(), from.x(), false);
        if (key)
            QTest::keyPress(&grid, Qt::Key(key));
        QCOMPARE(QPoint(grid.currentColumn(), grid.currentRow()), to);
        QCOMPARE(moved, (key && to != from ? Calls{{to.y(), to.x()}} : Calls()));
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
