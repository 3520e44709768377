// The widget layer under the screens: key codes, the listings grid, picture buttons, the layout
// table and single-instance forms. Runs on the offscreen platform; the guide-look case also
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

#include <cmath>
#include <limits>

using namespace zarvo::ui;

Q_DECLARE_METATYPE(zarvo::ui::ColumnSpan)

namespace {

QPixmap solid(QSize size, const QColor& colour)
{
    QPixmap pix(size);
    pix.fill(colour);
    return pix;
}

const QColor logoColour(0, 170, 120);
const QColor markerColour(230, 20, 30);

// A station logo as the logos folder might hold one: a coloured badge with dark letters.
QPixmap logo(const QString& letters)
{
    QPixmap pix(120, 80);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(logoColour);
    p.drawRoundedRect(QRectF(2, 2, 116, 76), 14, 14);
    p.setPen(QColor(10, 20, 40));
    p.setFont(QFont(QStringLiteral("Arial"), 22, QFont::Black));
    p.drawText(QRect(0, 0, 120, 80), Qt::AlignCenter, letters);
    return pix;
}

QPixmap marker()
{
    QPixmap pix(64, 64);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(markerColour);
    p.drawEllipse(QRectF(8, 8, 48, 48));
    return pix;
}

bool near(const QColor& a, const QColor& b, int tolerance = 12)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// Lays the grid out as the guide does: a fifth of the width for channels, two fifths for each
// half hour, a tenth of the height for each row.
void layOut(Grid& grid, QSize size, double pointSize)
{
    grid.resize(size);
    grid.setColumnWidth(0, roundHalfEven(size.width() / 5.0));
    grid.setColumnWidth(1, roundHalfEven(2.0 * size.width() / 5.0));
    grid.setColumnWidth(2, roundHalfEven(2.0 * size.width() / 5.0));
    for (int r = 0; r < grid.rowCount(); ++r)
        grid.setRowHeight(r, roundHalfEven(size.height() / 10.0));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(pointSize);
    grid.setFont(font);
}

// An evening of listings; row 3 holds an hour-long programme, row 5 a recording marker.
void fillEvening(Grid& grid)
{
    grid.setText(0, 0, QStringLiteral("Mon"));
    grid.setAlignment(0, 0, CellAlignment::RightCenter);
    grid.setText(0, 1, QStringLiteral("8:00:00 PM"));
    grid.setAlignment(0, 1, CellAlignment::CenterCenter);
    grid.setText(0, 2, QStringLiteral("8:30:00 PM"));
    grid.setAlignment(0, 2, CellAlignment::CenterCenter);
    // Channel | first half hour | second half hour.
    const char* const rows[] = {
        "2 WDMO|Evening News|Weather Tonight",
        "4 WXYZ|Jeopardy!|Seinfeld",
        "5 KTVA|Movie: The Longest Day|Movie: The Longest Day",
        "7 WABC|Wheel of Fortune|Who Wants to Be a Millionaire",
        "9 WOR|Law & Order|Law & Order",
        "11 WPIX|Friends|Will & Grace",
        "13 WNET|Nature|Nova",
        "21 WLIW|Antiques Roadshow: Tucson, Arizona, Hour Two|Great Performances",
        "25 WNYE||City Council",
    };
    for (int row = 1; row <= 9; ++row) {
        const QStringList parts = QString::fromUtf8(rows[row - 1]).split(u'|');
        grid.setText(row, 0, QStringLiteral("      ") + parts[0]);
        grid.setAlignment(row, 0, CellAlignment::LeftCenter);
        grid.setPicture(row, 0, logo(parts[0].section(u' ', 1).left(2)));
        grid.setText(row, 1, parts[1]);
        grid.setText(row, 2, parts[2]);
        grid.setRowMerged(row, parts[1] == parts[2]);
    }
    // The hour-long movie in row 3 is marked in both halves, as the builder writes it.
    for (int col : {1, 2}) {
        grid.setPicture(3, col, marker());
        grid.setPictureAlignment(3, col, CellAlignment::RightCenter);
    }
    grid.setPicture(6, 2, marker());
    grid.setPictureAlignment(6, 2, CellAlignment::RightCenter);
}

struct Form : QWidget
{
    static inline int made = 0;
    static inline int destroyed = 0;
    Form() { ++made; }
    ~Form() override { ++destroyed; }
};

} // namespace

class TestUiWidgets : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyCodes_data();
    void keyCodes();

    void alignmentCodes_data();
    void alignmentCodes();
    void currentCellStaysOffFixedCells_data();
    void currentCellStaysOffFixedCells();
    void arrowKeys_data();
    void arrowKeys();
    void silentAndNotifiedMoves();
    void mouseMovesCurrentCell();
    void keyReleaseReportsVirtualKey_data();
    void keyReleaseReportsVirtualKey();
    void doubleClick();
    void spans_data();
    void spans();
    void geometryQueries();
    void elision_data();
    void elision();
    void focusable();
    void dimensionsKeepCells();
    void guideLook();

    void pictureButtonSwitchesPicture();
    void pictureButtonClicks();
    void pictureButtonKeepsAspect();

    void roundsHalfToEven_data();
    void roundsHalfToEven();
    void layoutTableScales();
    void fontScaling();

    void singleInstance();
};

void TestUiWidgets::keyCodes_data()
{
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<int>("code");
    QTest::newRow("A") << int(Qt::Key_A) << 65;
    QTest::newRow("Z") << int(Qt::Key_Z) << 90;
    QTest::newRow("S") << int(Qt::Key_S) << 83;
    QTest::newRow("0") << int(Qt::Key_0) << 48;
    QTest::newRow("9") << int(Qt::Key_9) << 57;
    QTest::newRow("left") << int(Qt::Key_Left) << 37;
    QTest::newRow("up") << int(Qt::Key_Up) << 38;
    QTest::newRow("right") << int(Qt::Key_Right) << 39;
    QTest::newRow("down") << int(Qt::Key_Down) << 40;
    QTest::newRow("return") << int(Qt::Key_Return) << 13;
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << 13;
    QTest::newRow("escape") << int(Qt::Key_Escape) << 27;
    QTest::newRow("page up") << int(Qt::Key_PageUp) << 33;
    QTest::newRow("page down") << int(Qt::Key_PageDown) << 34;
    QTest::newRow("comma") << int(Qt::Key_Comma) << 188;
    QTest::newRow("shifted comma") << int(Qt::Key_Less) << 188;
    QTest::newRow("full stop") << int(Qt::Key_Period) << 190;
    QTest::newRow("shifted full stop") << int(Qt::Key_Greater) << 190;
    QTest::newRow("F1") << int(Qt::Key_F1) << 112;
    QTest::newRow("F12") << int(Qt::Key_F12) << 123;
    QTest::newRow("volume up") << int(Qt::Key_VolumeUp) << 0;
    QTest::newRow("slash") << int(Qt::Key_Slash) << 0;
    QTest::newRow("unknown") << int(Qt::Key_unknown) << 0;
    QTest::newRow("zero") << 0 << 0;
}

void TestUiWidgets::keyCodes()
{
    QFETCH(int, qtKey);
    QFETCH(int, code);
    QCOMPARE(toVirtualKey(qtKey), code);
}

void TestUiWidgets::alignmentCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("expected");
    QTest::newRow("1 left-centre") << 1 << int(Qt::AlignLeft | Qt::AlignVCenter);
    QTest::newRow("4 centre-centre") << 4 << int(Qt::AlignHCenter | Qt::AlignVCenter);
    QTest::newRow("7 right-centre") << 7 << int(Qt::AlignRight | Qt::AlignVCenter);
    QTest::newRow("0 left-top") << 0 << int(Qt::AlignLeft | Qt::AlignTop);
    QTest::newRow("5 centre-bottom") << 5 << int(Qt::AlignHCenter | Qt::AlignBottom);
    QTest::newRow("8 right-bottom") << 8 << int(Qt::AlignRight | Qt::AlignBottom);
    QTest::newRow("9 is no code") << 9 << int(Qt::AlignLeft | Qt::AlignVCenter);
    QTest::newRow("-1 is no code") << -1 << int(Qt::AlignLeft | Qt::AlignVCenter);
}

void TestUiWidgets::alignmentCodes()
{
    QFETCH(int, code);
    QFETCH(int, expected);
    QCOMPARE(int(toQtAlignment(cellAlignmentFromCode(code))), expected);
}

void TestUiWidgets::currentCellStaysOffFixedCells_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("expectedRow");
    QTest::addColumn<int>("expectedCol");
    QTest::newRow("corner") << 0 << 0 << 1 << 1;
    QTest::newRow("header") << 0 << 2 << 1 << 2;
    QTest::newRow("channel") << 9 << 0 << 9 << 1;
    QTest::newRow("far outside") << -3 << 99 << 1 << 2;
    QTest::newRow("below") << 99 << 1 << 9 << 1;
    QTest::newRow("inside") << 5 << 2 << 5 << 2;
}

void TestUiWidgets::currentCellStaysOffFixedCells()
{
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(int, expectedRow);
    QFETCH(int, expectedCol);
    Grid grid;
    grid.setCurrentCell(4, 2, false);
    grid.setCurrentCell(row, col, false);
    QCOMPARE(grid.currentRow(), expectedRow);
    QCOMPARE(grid.currentColumn(), expectedCol);
}

void TestUiWidgets::arrowKeys_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("mergedRow3");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expectedRow");
    QTest::addColumn<int>("expectedCol");
    const int up = Qt::Key_Up, down = Qt::Key_Down, left = Qt::Key_Left, right = Qt::Key_Right;
    QTest::newRow("down") << 1 << 1 << false << down << 2 << 1;
    QTest::newRow("up keeps column") << 5 << 2 << false << up << 4 << 2;
    QTest::newRow("up from first row stays") << 1 << 2 << false << up << 1 << 2;
    QTest::newRow("down from last row stays") << 9 << 1 << false << down << 9 << 1;
    QTest::newRow("left from column 1 stays") << 4 << 1 << false << left << 4 << 1;
    QTest::newRow("left") << 4 << 2 << false << left << 4 << 1;
    QTest::newRow("right") << 4 << 1 << false << right << 4 << 2;
    QTest::newRow("right from last column stays") << 4 << 2 << false << right << 4 << 2;
    QTest::newRow("equal texts unmerged: right moves") << 3 << 1 << false << right << 3 << 2;
    QTest::newRow("merged: right stays in the span") << 3 << 1 << true << right << 3 << 1;
    QTest::newRow("merged: left stays in the span") << 3 << 2 << true << left << 3 << 2;
    QTest::newRow("down into merged row") << 2 << 2 << true << down << 3 << 2;
    QTest::newRow("up out of merged row") << 3 << 2 << true << up << 2 << 2;
    QTest::newRow("enter does not move") << 4 << 1 << false << int(Qt::Key_Return) << 4 << 1;
}

void TestUiWidgets::arrowKeys()
{
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(bool, mergedRow3);
    QFETCH(int, key);
    QFETCH(int, expectedRow);
    QFETCH(int, expectedCol);
    Grid grid;
    grid.setText(3, 1, QStringLiteral("Movie"));
    grid.setText(3, 2, QStringLiteral("Movie"));
    grid.setRowMerged(3, mergedRow3);
    grid.setCurrentCell(row, col, false);
    QSignalSpy moved(&grid, &Grid::currentCellChanged);
    QTest::keyPress(&grid, Qt::Key(key));
    QCOMPARE(grid.currentRow(), expectedRow);
    QCOMPARE(grid.currentColumn(), expectedCol);
    const bool changed = expectedRow != row || expectedCol != col;
    QCOMPARE(moved.size(), changed ? 1 : 0);
    if (changed)
        QCOMPARE(moved.first(), (QVariantList{expectedRow, expectedCol}));
}

void TestUiWidgets::silentAndNotifiedMoves()
{
    Grid grid;
    QSignalSpy moved(&grid, &Grid::currentCellChanged);
    grid.setCurrentCell(6, 2, false);
    QCOMPARE(moved.size(), 0);
    QCOMPARE(grid.currentRow(), 6);

    grid.setCurrentCell(7, 1, true);
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved.takeFirst(), (QVariantList{7, 1}));

    // No change, no signal, even when asked to notify.
    grid.setCurrentCell(7, 1, true);
    grid.setCurrentCell(7, 0, true); // pulled back onto 7, 1
    QCOMPARE(moved.size(), 0);
}

void TestUiWidgets::mouseMovesCurrentCell()
{
    Grid grid;
    layOut(grid, QSize(500, 400), 12);
    grid.resize(600, 500);
    QSignalSpy moved(&grid, &Grid::currentCellChanged);

    QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(6, 2).center());
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved.takeFirst(), (QVariantList{6, 2}));

    QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(0, 1).center());
    QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(3, 0).center());
    QTest::mouseClick(&grid, Qt::RightButton, {}, grid.cellRect(2, 1).center());
    QTest::mouseClick(&grid, Qt::LeftButton, {}, QPoint(550, 450)); // beyond the cells
    QCOMPARE(moved.size(), 0);
    QCOMPARE(grid.currentRow(), 6);
    QCOMPARE(grid.currentColumn(), 2);
}

void TestUiWidgets::keyReleaseReportsVirtualKey_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("reported"); // -1: nothing
    QTest::newRow("enter") << int(Qt::Key_Return) << 13;
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << 13;
    QTest::newRow("letter") << int(Qt::Key_V) << 86;
    QTest::newRow("arrow") << int(Qt::Key_Down) << 40;
    QTest::newRow("comma") << int(Qt::Key_Comma) << 188;
    QTest::newRow("no code") << int(Qt::Key_VolumeDown) << -1;
}

void TestUiWidgets::keyReleaseReportsVirtualKey()
{
    QFETCH(int, key);
    QFETCH(int, reported);
    Grid grid;
    QSignalSpy released(&grid, &Grid::keyReleased);
    QTest::keyClick(&grid, Qt::Key(key));
    // A held key repeats; its repeated releases are not the viewer letting go.
    QKeyEvent repeat(QEvent::KeyRelease, key, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(&grid, &repeat);
    if (reported < 0) {
        QCOMPARE(released.size(), 0);
    } else {
        QCOMPARE(released.size(), 1);
        QCOMPARE(released.first().first().toInt(), reported);
    }
}

void TestUiWidgets::doubleClick()
{
    Grid grid;
    layOut(grid, QSize(500, 400), 12);
    QSignalSpy doubled(&grid, &Grid::doubleClicked);
    QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(2, 1).center());
    QCOMPARE(doubled.size(), 0);
    QTest::mouseDClick(&grid, Qt::LeftButton, {}, grid.cellRect(2, 1).center());
    QCOMPARE(doubled.size(), 1);
}

void TestUiWidgets::spans_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("merged");
    QTest::addColumn<int>("col");
    QTest::addColumn<ColumnSpan>("span");
    const QStringList same = {QStringLiteral("4 WXYZ"), QStringLiteral("Movie"),
                              QStringLiteral("Movie")};
    QTest::newRow("merged equal, first") << same << true << 1 << ColumnSpan{1, 2};
    QTest::newRow("merged equal, second") << same << true << 2 << ColumnSpan{1, 2};
    QTest::newRow("unmerged equal") << same << false << 2 << ColumnSpan{2, 2};
    const QStringList differ = {QStringLiteral("4 WXYZ"), QStringLiteral("News"),
                                QStringLiteral("Weather")};
    QTest::newRow("merged different") << differ << true << 1 << ColumnSpan{1, 1};
    const QStringList empty = {QStringLiteral("4 WXYZ"), QString(), QString()};
    QTest::newRow("merged empty") << empty << true << 1 << ColumnSpan{1, 1};
    const QStringList channelToo = {QStringLiteral("Movie"), QStringLiteral("Movie"),
                                    QStringLiteral("Movie")};
    QTest::newRow("channel cell apart") << channelToo << true << 0 << ColumnSpan{0, 0};
    QTest::newRow("programmes without channel") << channelToo << true << 1 << ColumnSpan{1, 2};
    const QStringList five = {QStringLiteral("ch"), QStringLiteral("A"), QStringLiteral("A"),
                              QStringLiteral("B"), QStringLiteral("A")};
    QTest::newRow("five: first pair") << five << true << 2 << ColumnSpan{1, 2};
    QTest::newRow("five: B alone") << five << true << 3 << ColumnSpan{3, 3};
    QTest::newRow("five: A again") << five << true << 4 << ColumnSpan{4, 4};
    QTest::newRow("outside") << same << true << 3 << ColumnSpan{};
}

void TestUiWidgets::spans()
{
    QFETCH(QStringList, texts);
    QFETCH(bool, merged);
    QFETCH(int, col);
    QFETCH(ColumnSpan, span);
    Grid grid(4, int(texts.size()));
    for (int c = 0; c < texts.size(); ++c)
        grid.setText(2, c, texts[c]);
    grid.setRowMerged(2, merged);
    const ColumnSpan got = grid.spanAt(2, col);
    QCOMPARE(got.first, span.first);
    QCOMPARE(got.last, span.last);
}

void TestUiWidgets::geometryQueries()
{
    Grid grid;
    grid.setColumnWidth(0, 100);
    grid.setColumnWidth(1, 200);
    grid.setColumnWidth(2, 200);
    for (int r = 0; r < 10; ++r)
        grid.setRowHeight(r, 30);
    grid.setRowHeight(4, 0);
    QCOMPARE(grid.sizeHint(), QSize(500, 270));
    QCOMPARE(grid.cellRect(2, 1), QRect(100, 60, 200, 30));
    QCOMPARE(grid.columnAt(99), 0);
    QCOMPARE(grid.columnAt(100), 1);
    QCOMPARE(grid.columnAt(499), 2);
    QCOMPARE(grid.columnAt(500), -1);
    QCOMPARE(grid.columnAt(-1), -1);
    QCOMPARE(grid.rowAt(119), 3);
    QCOMPARE(grid.rowAt(120), 5); // row 4 has no height
    QCOMPARE(grid.rowAt(270), -1);

    grid.setText(5, 1, QStringLiteral("Movie"));
    grid.setText(5, 2, QStringLiteral("Movie"));
    QCOMPARE(grid.spanRect(5, 2), grid.cellRect(5, 2));
    grid.setRowMerged(5, true);
    QCOMPARE(grid.spanRect(5, 2), QRect(100, 120, 400, 30));

    grid.setPicture(5, 1, solid(QSize(8, 8), Qt::red));
    grid.clearRow(5);
    QCOMPARE(grid.text(5, 2), QString());
    QVERIFY(grid.picture(5, 1).isNull());
    QVERIFY(grid.isRowMerged(5));
}

void TestUiWidgets::elision_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("elided");
    QTest::newRow("empty") << QString() << 300 << false;
    QTest::newRow("short") << QStringLiteral("News") << 300 << false;
    QTest::newRow("long title") << QStringLiteral("Antiques Roadshow: Tucson, Arizona, Hour Two")
                                << 300 << true;
    QTest::newRow("huge") << QString(200000, u'x') << 300 << true;
    QTest::newRow("huge with breaks") << QStringLiteral("line\n").repeated(20000) << 300 << true;
    QTest::newRow("no room") << QStringLiteral("News") << 0 << false;
    QTest::newRow("hardly any room") << QStringLiteral("News at Ten") << 40 << true;
}

void TestUiWidgets::elision()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(bool, elided);
    Grid grid;
    layOut(grid, QSize(500, 400), 14);
    grid.setColumnWidth(1, width);
    grid.setText(2, 1, text);
    const QString shown = grid.shownText(2, 1);
    QVERIFY(!grid.grab().isNull());
    QCOMPARE(shown.endsWith(QChar(0x2026)), elided);
    if (!elided && width > 0)
        QCOMPARE(shown, text);
    QVERIFY(QFontMetrics(grid.font()).horizontalAdvance(shown) <= std::max(width, 0));
    QVERIFY(!shown.contains(u'\n'));
}

void TestUiWidgets::focusable()
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
    QVERIFY(!grid->isFocusable());
    QVERIFY(!grid->hasFocus());
    // Neither a click nor Tab gives it back; only the screen, after making it focusable.
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cellRect(2, 1).center());
    QVERIFY(!grid->hasFocus());
    other->setFocus();
    QTest::keyClick(other, Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(!grid->hasFocus());
    grid->setFocusable(true);
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cellRect(2, 1).center());
    QVERIFY(grid->hasFocus());
}

void TestUiWidgets::dimensionsKeepCells()
{
    Grid grid;
    grid.setText(2, 1, QStringLiteral("kept"));
    grid.setText(9, 2, QStringLiteral("dropped"));
    grid.setCurrentCell(9, 2, false);
    grid.setDimensions(5, 2);
    QCOMPARE(grid.rowCount(), 5);
    QCOMPARE(grid.columnCount(), 2);
    QCOMPARE(grid.text(2, 1), QStringLiteral("kept"));
    QCOMPARE(grid.text(9, 2), QString());
    QCOMPARE(grid.currentRow(), 4);
    QCOMPARE(grid.currentColumn(), 1);
    grid.setDimensions(10, 3);
    QCOMPARE(grid.text(9, 2), QString());
    grid.setDimensions(0, 0); // one fixed row and column plus a cell at least
    QCOMPARE(grid.rowCount(), 2);
    QCOMPARE(grid.columnCount(), 2);
}

void TestUiWidgets::guideLook()
{
    // The guide's grid at a maximized 1920 × 1080 window: 11400 × 5460 twips scaled by the
    // window's factors, the 18-point font by the vertical one.
    const double x = 1920.0 / 808.0;
    const double y = 1080.0 / 578.0;
    QWidget window;
    Grid* grid = new Grid(10, 3, &window);
    layOut(*grid, QSize(roundHalfEven(760 * x), roundHalfEven(364 * y)), 18 * y);
    fillEvening(*grid);
    grid->setCurrentCell(3, 2, false);
    window.resize(grid->size());
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    grid->setFocus();
    QTRY_VERIFY(grid->hasFocus());

    const QImage image = grid->grab().toImage();
    const QString png = QStringLiteral(ZARVO_BINARY_DIR "/grid.png");
    QVERIFY(image.save(png));
    const Grid::Colors& colours = grid->colors();
    auto pixel = [&](int px, int py) { return image.pixelColor(px, py); };

    // Header and channel cells have their own shade, programme cells another.
    const QRect header = grid->cellRect(0, 1);
    const QRect channel = grid->cellRect(7, 0);
    const QRect programme = grid->cellRect(7, 1);
    QVERIFY(near(pixel(header.left() + 2, header.top() + 2), colours.fixedFill));
    QVERIFY(near(pixel(channel.left() + 2, channel.top() + 2), colours.fixedFill));
    QVERIFY(near(pixel(programme.left() + 2, programme.top() + 2), colours.cellFill));
    // Separate cells show the background between them.
    QVERIFY(
        near(pixel(grid->cellRect(7, 2).left() - 1, programme.center().y()), colours.background));

    // The merged movie in row 3 is one tile, framed and filled as a whole although the current
    // cell is its second half.
    const QRect movie = grid->spanRect(3, 1);
    QCOMPARE(movie, grid->spanRect(3, 2));
    const int seam = grid->cellRect(3, 2).left() - 1;
    QVERIFY(!near(pixel(seam, movie.top() + movie.height() / 4), colours.background));
    QVERIFY(near(pixel(movie.left() + 1, movie.top() + 1), colours.currentFrame));
    // Just inside the frame, before the title begins.
    QVERIFY(near(pixel(movie.left() + 8, movie.center().y()), colours.currentFill));
    QCOMPARE(grid->shownText(3, 1), QStringLiteral("Movie: The Longest Day"));
    QCOMPARE(grid->shownText(3, 2), QString());

    // The marker of row 6 sits at the right edge of its cell, centred from top to bottom.
    const QRect marked = grid->cellRect(6, 2);
    int left = marked.right(), right = marked.left(), top = marked.bottom(), bottom = marked.top();
    for (int py = marked.top(); py <= marked.bottom(); ++py) {
        for (int px = marked.left(); px <= marked.right(); ++px) {
            if (near(pixel(px, py), markerColour, 30)) {
                left = std::min(left, px);
                right = std::max(right, px);
                top = std::min(top, py);
                bottom = std::max(bottom, py);
            }
        }
    }
    QVERIFY2(right > left, "no marker drawn");
    QVERIFY(left > marked.center().x());
    QVERIFY(marked.right() - right < marked.height() / 2);
    QVERIFY(std::abs((top - marked.top()) - (marked.bottom() - bottom)) <= 4);

    // The logo stands at the left of the channel cell and the name follows it.
    int logoLeft = channel.right(), logoRight = channel.left(), textLeft = channel.right();
    for (int py = channel.top() + channel.height() / 3;
         py < channel.bottom() - channel.height() / 3; ++py) {
        for (int px = channel.left(); px <= channel.right(); ++px) {
            const QColor c = pixel(px, py);
            if (near(c, logoColour, 30)) {
                logoLeft = std::min(logoLeft, px);
                logoRight = std::max(logoRight, px);
            } else if (c.red() > 200 && c.green() > 200 && c.blue() > 200) {
                textLeft = std::min(textLeft, px);
            }
        }
    }
    QVERIFY2(logoRight > logoLeft, "no logo drawn");
    QVERIFY(logoLeft - channel.left() < channel.height() / 3);
    QVERIFY(textLeft > logoRight);

    // Without the focus the current cell keeps its fill but its frame turns quiet.
    grid->clearFocus();
    const QImage unfocused = grid->grab().toImage();
    QVERIFY(near(unfocused.pixelColor(movie.left() + 1, movie.top() + 1), colours.inactiveFrame));
}

void TestUiWidgets::pictureButtonSwitchesPicture()
{
    const QPixmap off = solid(QSize(40, 40), Qt::darkGreen);
    const QPixmap on = solid(QSize(40, 40), Qt::yellow);
    PictureButton button(off, on);
    button.resize(40, 40);
    QVERIFY(!button.isSelected());
    QCOMPARE(button.currentPicture().cacheKey(), off.cacheKey());
    QCOMPARE(button.grab().toImage().pixelColor(20, 20), QColor(Qt::darkGreen));

    button.setSelected(true);
    QVERIFY(button.isSelected());
    QCOMPARE(button.currentPicture().cacheKey(), on.cacheKey());
    QCOMPARE(button.grab().toImage().pixelColor(20, 20), QColor(Qt::yellow));

    // A picture replaced while shown is drawn at once.
    button.setSelectedPicture(solid(QSize(40, 40), Qt::red));
    QCOMPARE(button.grab().toImage().pixelColor(20, 20), QColor(Qt::red));
    button.setSelected(false);
    QCOMPARE(button.grab().toImage().pixelColor(20, 20), QColor(Qt::darkGreen));
}

void TestUiWidgets::pictureButtonClicks()
{
    PictureButton button(solid(QSize(10, 10), Qt::blue), solid(QSize(10, 10), Qt::white));
    button.resize(50, 50);
    QSignalSpy clicked(&button, &PictureButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(25, 25));
    QCOMPARE(clicked.size(), 1);
    QTest::mouseClick(&button, Qt::RightButton, {}, QPoint(25, 25));
    // Pressed on the button, let go beside it: no click.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(25, 25));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(80, 25));
    QCOMPARE(clicked.size(), 1);
    QVERIFY(!button.isSelected()); // a click does not select; the screen decides that
}

void TestUiWidgets::pictureButtonKeepsAspect()
{
    // A square picture in a wide button fills the height and stays square, centred.
    PictureButton button(solid(QSize(20, 20), Qt::red), QPixmap());
    button.resize(200, 100);
    const QImage shot = button.grab().toImage();
    QCOMPARE(shot.pixelColor(100, 50), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(51, 1), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(148, 98), QColor(Qt::red));
    QVERIFY(shot.pixelColor(45, 50) != QColor(Qt::red));
    QVERIFY(shot.pixelColor(155, 50) != QColor(Qt::red));
}

void TestUiWidgets::roundsHalfToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("rounded");
    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("1.5") << 1.5 << 2;
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("opacity 50") << 50.0 / 100.0 * 255.0 << 128;
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("-1.5") << -1.5 << -2;
    QTest::newRow("-2.5") << -2.5 << -2;
    QTest::newRow("below half") << 2.4999 << 2;
    QTest::newRow("above half") << 2.5001 << 3;
    QTest::newRow("negative below half") << -2.6 << -3;
    QTest::newRow("whole") << 7.0 << 7;
    QTest::newRow("NaN") << std::nan("") << 0;
    QTest::newRow("huge") << 1e20 << std::numeric_limits<int>::max();
    QTest::newRow("huge negative") << -1e20 << std::numeric_limits<int>::min();
}

void TestUiWidgets::roundsHalfToEven()
{
    QFETCH(double, value);
    QFETCH(int, rounded);
    QCOMPARE(roundHalfEven(value), rounded);
}

void TestUiWidgets::layoutTableScales()
{
    QWidget screen;
    screen.resize(808, 578);
    QLabel* title = new QLabel(&screen);
    title->setGeometry(twipRect(1200, 120, 6000, 480)); // 80, 8, 400, 32
    Grid* grid = new Grid(10, 3, &screen);
    grid->setGeometry(twipRect(300, 2700, 11400, 5460));
    PictureButton* button = new PictureButton(&screen);
    button->setGeometry(QRect(10, 300, 60, 61));
    QWidget* doomed = new QWidget(&screen);
    doomed->setGeometry(QRect(2, 2, 20, 20));

    LayoutTable table;
    table.record({title, grid, button, doomed});
    QCOMPARE(table.size(), 4);
    QCOMPARE(table.designTwips(0), QRect(1200, 120, 6000, 480));
    delete doomed; // a control gone since is skipped, not a crash

    table.apply(0.5, 0.5);
    QCOMPARE(title->geometry(), QRect(40, 4, 200, 16));
    QCOMPARE(grid->geometry(), QRect(10, 90, 380, 182));
    QCOMPARE(button->geometry(), QRect(5, 150, 30, 30)); // 30.5 rounds to 30

    // Each layout starts from the design, so going back loses nothing to earlier rounding.
    table.apply(1.0, 1.0);
    QCOMPARE(title->geometry(), QRect(80, 8, 400, 32));
    QCOMPARE(button->geometry(), QRect(10, 300, 60, 61));

    table.apply(2.0, 1.5);
    QCOMPARE(title->geometry(), QRect(160, 12, 800, 48));

    table.apply(std::nan(""), 1.0);
    table.apply(-1.0, 1.0);
    QCOMPARE(title->geometry(), QRect(160, 12, 800, 48));
}

void TestUiWidgets::fontScaling()
{
    QLabel label;
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(18);
    label.setFont(arial);
    QVERIFY(scaleFont(&label, 18, 0.5));
    QCOMPARE(label.font().pointSizeF(), 9.0);
    QCOMPARE(label.font().family(), arial.family());
    QCOMPARE(scaledPointSize(14, 1.5), 21.0);
    QVERIFY(!scaleFont(&label, 18, 0.0));
    QVERIFY(!scaleFont(&label, 18, std::numeric_limits<double>::infinity()));
    QVERIFY(!scaleFont(nullptr, 18, 1.0));
    QCOMPARE(label.font().pointSizeF(), 9.0);
}

void TestUiWidgets::singleInstance()
{
    using Single = SingleInstance<Form>;
    Form::made = Form::destroyed = 0;
    QVERIFY(!Single::isLoaded());
    Form* first = &Single::instance();
    QCOMPARE(&Single::instance(), first);
    QCOMPARE(Form::made, 1);
    QVERIFY(Single::isLoaded());

    first->show();
    Single::unload();
    QVERIFY(!Single::isLoaded());
    QVERIFY(!first->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(Form::destroyed, 1);

    Single::instance();
    QCOMPARE(Form::made, 2);
    Single::unload();
    Single::unload(); // unloading what is not loaded does nothing
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(Form::destroyed, 2);
}

QTEST_MAIN(TestUiWidgets)
#include "tst_uiwidgets.moc"
