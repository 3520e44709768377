// The widget layer under the screens: key codes, the listings grid, picture buttons, the layout
// table and font scaling. Runs on the offscreen platform; the guide-look case also
// leaves grid.png in the build folder for a person to look at.

#include "ui/forms.h"
#include "ui/grid.h"
#include "ui/keycodes.h"
#include "ui/picturebutton.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <limits>

using namespace zarvo::ui;
using Calls = QList<QVariantList>;

namespace {

QPixmap solid(QSize size, const QColor& colour)
{
    QPixmap pix(size);
    pix.fill(colour);
    return pix;
}

bool near(const QColor& a, const QColor& b, int tolerance = 30)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// The bounding box of the pixels of `area` near `colour`.
QRect box(const QImage& image, const QRect& area, const QColor& colour)
{
    QRect found;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (near(image.pixelColor(x, y), colour))
                found |= QRect(x, y, 1, 1);
    return found;
}

// Lays the grid out as the guide does: a fifth of the width for channels, two fifths for each
// half hour, a tenth of the height for each row.
void layOut(Grid& grid, QSize size, double pointSize)
{
    grid.resize(size);
    for (int c = 0; c < 3; ++c)
        grid.setColumnWidth(c, roundHalfEven((c ? 2.0 : 1.0) * size.width() / 5.0));
    for (int r = 0; r < grid.rowCount(); ++r)
        grid.setRowHeight(r, roundHalfEven(size.height() / 10.0));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(pointSize);
    grid.setFont(font);
}

QPoint current(const Grid& grid)
{
    return {grid.currentColumn(), grid.currentRow()};
}

} // namespace

class TestUiWidgets : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyCodes_data()
    {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<int>("code"); // 0: none
        const int keys[][2] = {{Qt::Key_A, 65},        {Qt::Key_Z, 90},      {Qt::Key_0, 48},
                               {Qt::Key_9, 57},        {Qt::Key_Left, 37},   {Qt::Key_Up, 38},
                               {Qt::Key_Right, 39},    {Qt::Key_Down, 40},   {Qt::Key_Return, 13},
                               {Qt::Key_Enter, 13},    {Qt::Key_Escape, 27}, {Qt::Key_PageDown, 34},
                               {Qt::Key_Comma, 188},   {Qt::Key_Less, 188},  {Qt::Key_Period, 190},
                               {Qt::Key_Greater, 190}, {Qt::Key_F1, 112},    {Qt::Key_F12, 123},
                               {Qt::Key_VolumeUp, 0},  {Qt::Key_Slash, 0},   {0, 0}};
        for (auto [key, code] : keys)
            QTest::addRow("key %#x", key) << key << code;
    }
    void keyCodes()
    {
        QFETCH(int, qtKey);
        QFETCH(int, code);
        QCOMPARE(toVirtualKey(qtKey), code);
    }

    // The current cell never lands in the fixed row or column: neither when set (silently) nor
    // by the arrow keys, which step over a merged span as a whole.
    void currentCell_data()
    {
        QTest::addColumn<QPoint>("from"); // column, row
        QTest::addColumn<bool>("merged"); // row 3 holds "Movie" twice
        QTest::addColumn<int>("key");     // 0: only set the cell
        QTest::addColumn<QPoint>("to");
        const int up = Qt::Key_Up, down = Qt::Key_Down, left = Qt::Key_Left, right = Qt::Key_Right;
        QTest::newRow("corner") << QPoint(0, 0) << false << 0 << QPoint(1, 1);
        QTest::newRow("header") << QPoint(2, 0) << false << 0 << QPoint(2, 1);
        QTest::newRow("channel") << QPoint(0, 9) << false << 0 << QPoint(1, 9);
        QTest::newRow("far outside") << QPoint(99, -3) << false << 0 << QPoint(2, 1);
        QTest::newRow("below") << QPoint(1, 99) << false << 0 << QPoint(1, 9);
        QTest::newRow("up from first row") << QPoint(2, 1) << false << up << QPoint(2, 1);
        QTest::newRow("down from last row") << QPoint(1, 9) << false << down << QPoint(1, 9);
        QTest::newRow("left from column 1") << QPoint(1, 4) << false << left << QPoint(1, 4);
        QTest::newRow("right from last column") << QPoint(2, 4) << false << right << QPoint(2, 4);
        QTest::newRow("unmerged: right, left") << QPoint(1, 3) << false << right << QPoint(2, 3);
        QTest::newRow("unmerged: left") << QPoint(2, 3) << false << left << QPoint(1, 3);
        QTest::newRow("merged: right stays") << QPoint(1, 3) << true << right << QPoint(1, 3);
        QTest::newRow("merged: left stays") << QPoint(2, 3) << true << left << QPoint(2, 3);
        QTest::newRow("down into merged") << QPoint(2, 2) << true << down << QPoint(2, 3);
        QTest::newRow("up out of merged") << QPoint(2, 3) << true << up << QPoint(2, 2);
        QTest::newRow("enter") << QPoint(1, 4) << false << int(Qt::Key_Return) << QPoint(1, 4);
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
        QCOMPARE(current(grid), to);
        QCOMPARE(moved, (key && to != from ? Calls{{to.y(), to.x()}} : Calls()));
    }

    void signals()
    {
        Grid grid;
        layOut(grid, QSize(500, 400), 12);
        grid.resize(600, 500);
        QSignalSpy moved(&grid, &Grid::currentCellChanged);
        QSignalSpy doubled(&grid, &Grid::doubleClicked);
        QSignalSpy released(&grid, &Grid::keyReleased);
        grid.setCurrentCell(7, 1, true);
        grid.setCurrentCell(7, 1, true); // no change, no signal
        grid.setCurrentCell(7, 0, true); // pulled back onto 7, 1
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(6, 2).center());
        // Fixed cells, the right button and the space beyond the cells move nothing.
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(0, 1).center());
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(3, 0).center());
        QTest::mouseClick(&grid, Qt::RightButton, {}, grid.cellRect(2, 1).center());
        QTest::mouseClick(&grid, Qt::LeftButton, {}, QPoint(550, 450));
        QCOMPARE(moved, (Calls{{7, 1}, {6, 2}}));
        QCOMPARE(doubled.size(), 0);
        QTest::mouseDClick(&grid, Qt::LeftButton, {}, grid.cellRect(2, 1).center());
        QCOMPARE(doubled.size(), 1);

        // Releases report the virtual key; repeated releases of a held key, and keys without a
        // code, do not.
        for (int key :
             {Qt::Key_Return, Qt::Key_Enter, Qt::Key_V, Qt::Key_Comma, Qt::Key_VolumeDown}) {
            QTest::keyClick(&grid, Qt::Key(key));
            QKeyEvent repeat(QEvent::KeyRelease, key, Qt::NoModifier, QString(), true);
            QCoreApplication::sendEvent(&grid, &repeat);
        }
        QCOMPARE(released, (Calls{{13}, {13}, {86}, {188}}));
    }

    void spans_data()
    {
        QTest::addColumn<QString>("texts"); // the cells of row 2, '|' between them
        QTest::addColumn<bool>("merged");
        QTest::addColumn<int>("col");
        QTest::addColumn<QPoint>("span"); // first, last
        const QString movie = QStringLiteral("4 WXYZ|Movie|Movie");
        QTest::newRow("merged equal, first") << movie << true << 1 << QPoint(1, 2);
        QTest::newRow("merged equal, second") << movie << true << 2 << QPoint(1, 2);
        QTest::newRow("unmerged equal") << movie << false << 2 << QPoint(2, 2);
        QTest::newRow("merged different") << "4 WXYZ|News|Weather" << true << 1 << QPoint(1, 1);
        QTest::newRow("merged empty") << "4 WXYZ||" << true << 1 << QPoint(1, 1);
        QTest::newRow("channel cell apart") << "Movie|Movie|Movie" << true << 0 << QPoint(0, 0);
        QTest::newRow("programmes without it") << "Movie|Movie|Movie" << true << 1 << QPoint(1, 2);
        QTest::newRow("five: first pair") << "ch|A|A|B|A" << true << 2 << QPoint(1, 2);
        QTest::newRow("five: A again") << "ch|A|A|B|A" << true << 4 << QPoint(4, 4);
        QTest::newRow("outside") << movie << true << 3 << QPoint(-1, -1);
    }
    void spans()
    {
        QFETCH(QString, texts);
        QFETCH(bool, merged);
        QFETCH(int, col);
        QFETCH(QPoint, span);
        const QStringList cells = texts.split(u'|');
        Grid grid(4, int(cells.size()));
        for (int c = 0; c < cells.size(); ++c)
            grid.setText(2, c, cells[c]);
        grid.setRowMerged(2, merged);
        QCOMPARE(QPoint(grid.spanAt(2, col).first, grid.spanAt(2, col).last), span);
    }

    void geometryAndContents()
    {
        Grid grid;
        for (int c = 0; c < 3; ++c)
            grid.setColumnWidth(c, c ? 200 : 100);
        for (int r = 0; r < 10; ++r)
            grid.setRowHeight(r, r == 4 ? 0 : 30);
        QCOMPARE(grid.sizeHint(), QSize(500, 270));
        QCOMPARE(grid.cellRect(2, 1), QRect(100, 60, 200, 30));
        QCOMPARE(grid.rowAt(120), 5); // row 4 has no height
        QCOMPARE(grid.columnAt(500), -1);
        grid.setText(5, 1, QStringLiteral("Movie"));
        grid.setText(5, 2, QStringLiteral("Movie"));
        grid.setRowMerged(5, true);
        QCOMPARE(grid.spanRect(5, 2), QRect(100, 120, 400, 30));
        grid.setPicture(5, 1, solid(QSize(8, 8), Qt::red));
        grid.clearRow(5); // text and picture go, the merge flag stays
        QCOMPARE(grid.text(5, 2), QString());
        QVERIFY(grid.picture(5, 1).isNull() && grid.isRowMerged(5));
        // New dimensions keep the cells that remain and pull the current cell inside.
        grid.setText(2, 1, QStringLiteral("kept"));
        grid.setText(9, 2, QStringLiteral("dropped"));
        grid.setCurrentCell(9, 2, false);
        grid.setDimensions(5, 2);
        QCOMPARE(grid.text(2, 1), QStringLiteral("kept"));
        QCOMPARE(current(grid), QPoint(1, 4));
        grid.setDimensions(10, 3);
        QCOMPARE(grid.text(9, 2), QString());
        grid.setDimensions(0, 0); // one fixed row and column plus a cell at least
        QCOMPARE(QSize(grid.columnCount(), grid.rowCount()), QSize(2, 2));
    }

    // A title that does not fit is cut with "…" on one line, never wider than its cell.
    void elision()
    {
        Grid grid;
        layOut(grid, QSize(500, 400), 14);
        for (auto [text, width, elided] :
             {std::tuple{QStringLiteral("News"), 300, false},
              {QStringLiteral("Antiques Roadshow: Tucson, Arizona, Hour Two"), 300, true},
              {QStringLiteral("line\n").repeated(20000), 300, true},
              {QStringLiteral("News"), 0, false},
              {QStringLiteral("News at Ten"), 40, true}}) {
            grid.setColumnWidth(1, width);
            grid.setText(2, 1, text);
            const QString shown = grid.shownText(2, 1);
            QVERIFY(!grid.grab().isNull());
            QCOMPARE(shown.endsWith(QChar(0x2026)), elided);
            QVERIFY(elided || width == 0 || shown == text);
            QVERIFY(QFontMetrics(grid.font()).horizontalAdvance(shown) <= width);
            QVERIFY(!shown.contains(u'\n'));
        }
    }

    // Once the screen makes the grid unable to take the focus, neither a click nor Tab gives
    // it back.
    void focusable()
    {
        QWidget window;
        Grid* grid = new Grid(10, 3, &window);
        QLineEdit* other = new QLineEdit(&window);
        other->move(0, 450);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());
        grid->setFocusable(false);
        QVERIFY(!grid->isFocusable() && !grid->hasFocus());
        const QPoint cell = grid->cellRect(2, 1).center();
        QTest::mouseClick(grid, Qt::LeftButton, {}, cell);
        other->setFocus();
        QTest::keyClick(other, Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(!grid->hasFocus());
        grid->setFocusable(true);
        QTest::mouseClick(grid, Qt::LeftButton, {}, cell);
        QVERIFY(grid->hasFocus());
    }

    // The guide's grid at a maximized 1920 × 1080 window: an hour-long movie merged over both
    // halves and current, a marker, and a channel logo.
    void guideLook()
    {
        const QColor logoColour(0, 170, 120), markerColour(230, 20, 30);
        QWidget window;
        Grid* grid = new Grid(10, 3, &window);
        layOut(*grid, QSize(1806, 680), 18 * 1080.0 / 578.0);
        const QStringList rows{"2 WDMO|Evening News|Weather Tonight",
                               "4 WXYZ|Jeopardy!|Seinfeld",
                               "5 KTVA|Movie: The Longest Day|Movie: The Longest Day",
                               "7 WABC|Wheel of Fortune|Who Wants to Be a Millionaire",
                               "9 WOR|Law & Order|Law & Order",
                               "11 WPIX|Friends|Will & Grace",
                               "13 WNET|Nature|Nova"};
        QPixmap logo = solid(QSize(120, 80), logoColour);
        for (int row = 1; row <= rows.size(); ++row) {
            const QStringList parts = rows[row - 1].split(u'|');
            grid->setText(row, 0, QStringLiteral("      ") + parts[0]);
            grid->setPicture(row, 0, logo);
            grid->setText(row, 1, parts[1]);
            grid->setText(row, 2, parts[2]);
            grid->setRowMerged(row, parts[1] == parts[2]);
        }
        // The movie is marked in both halves, as the builder writes it.
        for (auto [row, col] : {std::pair{3, 1}, {3, 2}, {6, 2}}) {
            grid->setPicture(row, col, solid(QSize(64, 64), markerColour));
            grid->setPictureAlignment(row, col, CellAlignment::RightCenter);
        }
        grid->setCurrentCell(3, 2, false);
        window.resize(grid->size());
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());
        const QImage image = grid->grab().toImage();
        QVERIFY(image.save(QStringLiteral(ZARVO_BINARY_DIR "/grid.png")));
        const Grid::Colors& colours = grid->colors();
        const auto at = [&](int row, int col, int dx, int dy) {
            return image.pixelColor(grid->cellRect(row, col).topLeft() + QPoint(dx, dy));
        };

        // Separate cells show the background between them; the merged movie is one tile,
        // framed and filled as a whole although the current cell is its second half.
        QVERIFY(near(at(7, 2, -1, 20), colours.background, 12));
        QCOMPARE(grid->spanRect(3, 1), grid->spanRect(3, 2));
        QVERIFY(!near(at(3, 2, -1, 15), colours.background, 12));
        QVERIFY(near(at(3, 1, 1, 1), colours.currentFrame, 12));
        QVERIFY(near(at(3, 1, 8, 34), colours.currentFill, 12));
        QCOMPARE(grid->shownText(3, 1), QStringLiteral("Movie: The Longest Day"));
        QCOMPARE(grid->shownText(3, 2), QString());

        // The marker sits at the right edge of its cell, centred from top to bottom.
        const QRect cell = grid->cellRect(6, 2), marker = box(image, cell, markerColour);
        QVERIFY2(marker.width() > 1, "no marker drawn");
        QVERIFY(marker.left() > cell.center().x() &&
                cell.right() - marker.right() < cell.height() / 2);
        QVERIFY(std::abs((marker.top() - cell.top()) - (cell.bottom() - marker.bottom())) <= 4);

        // The logo stands at the left of the channel cell and the name follows it.
        const QRect channel = grid->cellRect(7, 0);
        const QRect band = channel.adjusted(0, channel.height() / 3, 0, -channel.height() / 3);
        const QRect logoBox = box(image, band, logoColour);
        const QRect name = box(image, band, colours.fixedText);
        QVERIFY2(logoBox.width() > 1 && name.width() > 1, "no logo or name drawn");
        QVERIFY(logoBox.left() - channel.left() < channel.height() / 3);
        QVERIFY(name.left() > logoBox.right());

        // Without the focus the current cell keeps its fill but its frame turns quiet.
        grid->clearFocus();
        const QPoint frame = grid->cellRect(3, 1).topLeft() + QPoint(1, 1);
        QVERIFY(near(grid->grab().toImage().pixelColor(frame), colours.inactiveFrame, 12));
    }

    void pictureButton()
    {
        PictureButton button(solid(QSize(40, 40), Qt::darkGreen), solid(QSize(40, 40), Qt::yellow));
        button.resize(40, 40);
        const auto shows = [&] { return button.grab().toImage().pixelColor(20, 20); };
        QCOMPARE(shows(), QColor(Qt::darkGreen));
        button.setSelected(true);
        QCOMPARE(shows(), QColor(Qt::yellow));
        button.setSelectedPicture(solid(QSize(40, 40), Qt::red)); // drawn at once while shown
        QCOMPARE(shows(), QColor(Qt::red));
        // A click is a left press and release both on the button; it does not change selection.
        QSignalSpy clicked(&button, &PictureButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseClick(&button, Qt::RightButton, {}, QPoint(20, 20));
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(80, 20));
        QCOMPARE(clicked.size(), 1);
        QVERIFY(button.isSelected());
        // A square picture in a wide button fills the height and stays square, centred.
        button.resize(200, 100);
        const QImage shot = button.grab().toImage();
        QCOMPARE(shot.pixelColor(51, 1), QColor(Qt::red));
        QCOMPARE(shot.pixelColor(148, 98), QColor(Qt::red));
        QVERIFY(shot.pixelColor(45, 50) != QColor(Qt::red) &&
                shot.pixelColor(155, 50) != QColor(Qt::red));
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

    void roundsHalfToEven()
    {
        const int max = std::numeric_limits<int>::max(), min = std::numeric_limits<int>::min();
        const std::pair<double, int> cases[] = {
            {0.5, 0},          {1.5, 2},    {2.5, 2},    {-0.5, 0},  {-1.5, -2},
            {-2.5, -2},        {2.4999, 2}, {2.5001, 3}, {-2.6, -3}, {127.5, 128},
            {std::nan(""), 0}, {1e20, max}, {-1e20, min}};
        for (auto [value, rounded] : cases)
            QCOMPARE(roundHalfEven(value), rounded);
    }

    // Each layout starts from the design, so going back loses nothing to earlier rounding.
    void layoutTableScales()
    {
        QWidget screen;
        QLabel* title = new QLabel(&screen);
        title->setGeometry(twipRect(1200, 120, 6000, 480)); // 80, 8, 400, 32
        Grid* grid = new Grid(10, 3, &screen);
        grid->setGeometry(twipRect(300, 2700, 11400, 5460));
        PictureButton* button = new PictureButton(&screen);
        button->setGeometry(QRect(10, 300, 60, 61));
        QWidget* doomed = new QWidget(&screen);
        LayoutTable table;
        table.record({title, grid, button, doomed});
        QCOMPARE(table.size(), 4);
        QCOMPARE(table.designTwips(0), QRect(1200, 120, 6000, 480));
        delete doomed; // a control gone since is skipped, not a crash
        table.apply(0.5, 0.5);
        QCOMPARE(title->geometry(), QRect(40, 4, 200, 16));
        QCOMPARE(grid->geometry(), QRect(10, 90, 380, 182));
        QCOMPARE(button->geometry(), QRect(5, 150, 30, 30)); // 30.5 rounds to 30
        table.apply(1.0, 1.0);
        QCOMPARE(button->geometry(), QRect(10, 300, 60, 61));
        table.apply(2.0, 1.5);
        table.apply(std::nan(""), 1.0); // ignored, as is a negative factor
        table.apply(-1.0, 1.0);
        QCOMPARE(title->geometry(), QRect(160, 12, 800, 48));

        QVERIFY(scaleFont(title, 18, 0.5));
        QCOMPARE(title->font().pointSizeF(), 9.0);
        QVERIFY(!scaleFont(title, 18, 0.0));
        QVERIFY(!scaleFont(title, 18, std::numeric_limits<double>::infinity()));
        QVERIFY(!scaleFont(nullptr, 18, 1.0));
        QCOMPARE(title->font().pointSizeF(), 9.0);
    }
};

QTEST_MAIN(TestUiWidgets)
#include "tst_uiwidgets.moc"
