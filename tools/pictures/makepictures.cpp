// makepictures: draws every picture the screens show into a folder, at build time.
//
//   makepictures OUTDIR [--sheet FILE]
//
// writes each picture named in ui/pictures.h below OUTDIR; --sheet also composes all of them,
// both looks side by side, into one contact sheet for checking the look by eye.
//
// The look is a television's own on-screen guide seen from a sofa: bold shapes, large light
// glyphs on deep blue rounded tiles, and a bright gold tile with a dark glyph and a glow for the
// selected look. Everything is drawn as painter paths so that glyphs and text share one
// antialiased fill and one drop shadow.

#include "ui/pictures.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QTransform>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <numbers>

namespace {

namespace pics = zarvo::ui::pictures;
using zarvo::ui::selectedPicture;

enum class Look { Plain, Selected };

// Deep blue tile, gold selection, dark ink for glyphs on gold.
const QColor tileTop(0x2b, 0x60, 0xcc);
const QColor tileBottom(0x0a, 0x22, 0x66);
const QColor tileEdge(0x8c, 0xb6, 0xff);
const QColor goldTop(0xff, 0xe9, 0x80);
const QColor goldBottom(0xf0, 0xa0, 0x00);
const QColor goldEdge(0xff, 0xf7, 0xd0);
const QColor glowColour(0xff, 0xc8, 0x20);
const QColor ink(0x0c, 0x1a, 0x42);
const QColor captionText(0xdc, 0xe8, 0xff);
const QColor recordRed(0xe8, 0x1c, 0x1c);
const QColor seasonBlue(0x1e, 0x78, 0xff);
const QColor allGreen(0x12, 0xa8, 0x3a);

QFont boldFont(qreal pixelSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(qRound(pixelSize));
    return font;
}

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void prepare(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setPen(Qt::NoPen);
}

// ---- shapes ---------------------------------------------------------------------------------

// A text as a path, centred across on its ink and up and down on its capitals, so that words
// with and without descenders sit alike; the font shrinks until the text fits `maxWidth`.
QPainterPath textPath(const QString& text, qreal pixelSize, QPointF centre, qreal maxWidth)
{
    QFont font;
    QPainterPath path;
    for (qreal size = pixelSize;; size -= 1) {
        font = boldFont(size);
        path = QPainterPath();
        path.addText(0, 0, font, text);
        if (path.boundingRect().width() <= maxWidth || size <= 6)
            break;
    }
    const qreal capHeight = QFontMetricsF(font).capHeight();
    return path.translated(centre.x() - path.boundingRect().center().x(),
                           centre.y() + capHeight / 2);
}

// The same, with its ink starting at `left`.
QPainterPath textPathLeft(const QString& text, qreal pixelSize, qreal left, qreal middle,
                          qreal maxWidth)
{
    const QPainterPath path = textPath(text, pixelSize, QPointF(0, middle), maxWidth);
    return path.translated(left - path.boundingRect().left(), 0);
}

// A polygon with its corners rounded by `radius` (the shape grows by that much).
QPainterPath roundedPolygon(const QPolygonF& polygon, qreal radius)
{
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    QPainterPathStroker stroker;
    stroker.setWidth(radius * 2);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setCapStyle(Qt::RoundCap);
    return path.united(stroker.createStroke(path)).simplified();
}

// A polyline drawn as a thick stroke with round ends.
QPainterPath strokeLine(const QPolygonF& line, qreal width)
{
    QPainterPath path;
    path.addPolygon(line);
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setCapStyle(Qt::RoundCap);
    return stroker.createStroke(path).simplified();
}

// A filled triangle pointing up, centred on `centre`, `size` across.
QPainterPath triangleUp(QPointF centre, qreal size)
{
    const qreal rounding = size * 0.08;
    const qreal half = size / 2 - rounding;
    const qreal height = size * 0.82 - 2 * rounding;
    // Placed between the centre of its box and its centre of gravity, which reads as centred.
    const QPolygonF polygon{QPointF(0, -height * 0.58), QPointF(half, height * 0.42),
                            QPointF(-half, height * 0.42)};
    return roundedPolygon(polygon, rounding).translated(centre);
}

QPainterPath rotated(const QPainterPath& path, QPointF centre, qreal degrees)
{
    QTransform t;
    t.translate(centre.x(), centre.y());
    t.rotate(degrees);
    t.translate(-centre.x(), -centre.y());
    return t.map(path);
}

QPainterPath cross(QPointF centre, qreal size, qreal thickness)
{
    const qreal h = size / 2;
    QPainterPath a = strokeLine({centre + QPointF(-h, -h), centre + QPointF(h, h)}, thickness);
    QPainterPath b = strokeLine({centre + QPointF(h, -h), centre + QPointF(-h, h)}, thickness);
    return a.united(b).simplified();
}

QPainterPath circle(QPointF centre, qreal radius)
{
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath ring(QPointF centre, qreal radius, qreal thickness)
{
    return circle(centre, radius).subtracted(circle(centre, radius - thickness));
}

QPainterPath star(QPointF centre, qreal outer, qreal inner)
{
    QPolygonF polygon;
    for (int i = 0; i < 10; ++i) {
        const qreal r = (i % 2 == 0) ? outer : inner;
        const qreal angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        polygon << centre + QPointF(r * std::cos(angle), r * std::sin(angle));
    }
    return roundedPolygon(polygon, outer * 0.06);
}

QPainterPath gear(QPointF centre, qreal outer, qreal body, qreal hole, int teeth, qreal toothWidth)
{
    QPainterPath path = circle(centre, body);
    for (int i = 0; i < teeth; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-toothWidth / 2, -outer, toothWidth, outer - body + 3), 2, 2);
        QTransform t;
        t.translate(centre.x(), centre.y());
        t.rotate(360.0 * i / teeth);
        path = path.united(t.map(tooth));
    }
    return path.subtracted(circle(centre, hole)).simplified();
}

QPainterPath clock(QPointF centre, qreal radius)
{
    const qreal thickness = radius * 0.22;
    QPainterPath path = ring(centre, radius, thickness);
    // Hands at three o'clock, and the four quarter marks.
    path = path.united(strokeLine({centre, centre + QPointF(0, -radius * 0.58)}, thickness * 0.9));
    path = path.united(strokeLine({centre, centre + QPointF(radius * 0.46, 0)}, thickness * 0.9));
    const qreal mark = radius - thickness - radius * 0.12;
    for (const QPointF direction : {QPointF(0, 1), QPointF(-1, 0)})
        path = path.united(circle(centre + direction * mark, thickness * 0.42));
    return path.simplified();
}

// A list symbol: three rows of a bullet and a bar.
QPainterPath listSymbol(QPointF centre, qreal size)
{
    QPainterPath path;
    const qreal rowGap = size * 0.36;
    const qreal bar = size * 0.17;
    for (int row = -1; row <= 1; ++row) {
        const qreal y = centre.y() + row * rowGap;
        path.addEllipse(QPointF(centre.x() - size * 0.40, y), bar * 0.62, bar * 0.62);
        path.addRoundedRect(QRectF(centre.x() - size * 0.18, y - bar / 2, size * 0.68, bar),
                            bar / 2, bar / 2);
    }
    return path;
}

// ---- tiles and glyphs -----------------------------------------------------------------------

// A rounded tile filling `r`. The selected look is gold and glows into the margin around `r`,
// which every picture keeps free so that both looks have the same tile in the same place.
void drawTile(QPainter& p, const QRectF& r, qreal radius, Look look, qreal glow)
{
    p.save();
    if (look == Look::Selected) {
        for (qreal i = glow; i >= 1; i -= 1) {
            QColor c = glowColour;
            c.setAlphaF(0.30 * (1.0 - (i - 1) / glow));
            QPainterPath halo;
            halo.addRoundedRect(r.adjusted(-i, -i, i, i), radius + i, radius + i);
            p.fillPath(halo, c);
        }
    }
    QPainterPath body;
    body.addRoundedRect(r, radius, radius);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, look == Look::Selected ? goldTop : tileTop);
    fill.setColorAt(1, look == Look::Selected ? goldBottom : tileBottom);
    p.fillPath(body, fill);

    // A soft gloss over the upper half, as on a lit glass button.
    QLinearGradient gloss(r.topLeft(), QPointF(r.left(), r.center().y()));
    gloss.setColorAt(0, QColor(255, 255, 255, look == Look::Selected ? 110 : 70));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    QPainterPath upper;
    upper.addRoundedRect(r.adjusted(1.5, 1.5, -1.5, -r.height() / 2), radius - 1.5, radius - 1.5);
    p.fillPath(upper.intersected(body), gloss);

    p.setPen(QPen(look == Look::Selected ? goldEdge : tileEdge, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(0.8, 0.8, -0.8, -0.8), radius - 0.8, radius - 0.8);
    p.restore();
}

QColor glyphColour(Look look)
{
    return look == Look::Selected ? ink : QColor(Qt::white);
}

// Fills a glyph in the look's colour; light glyphs get a drop shadow to stand off the blue.
void drawGlyph(QPainter& p, const QPainterPath& glyph, Look look)
{
    if (look == Look::Plain)
        p.fillPath(glyph.translated(0, 1.6), QColor(0, 0, 0, 120));
    p.fillPath(glyph, glyphColour(look));
}

// A round badge with a white rim and a letter, as the grid's recording markers.
void drawBadge(QPainter& p, QPointF centre, qreal radius, const QColor& colour,
               const QString& letter)
{
    p.fillPath(circle(centre + QPointF(0, radius * 0.08), radius), QColor(0, 0, 0, 110));
    p.fillPath(circle(centre, radius), Qt::white);
    QRadialGradient fill(centre - QPointF(radius * 0.35, radius * 0.4), radius * 1.4);
    fill.setColorAt(0, colour.lighter(150));
    fill.setColorAt(0.55, colour);
    fill.setColorAt(1, colour.darker(140));
    p.fillPath(circle(centre, radius * 0.86), fill);
    if (!letter.isEmpty()) {
        p.fillPath(textPath(letter, radius * 1.25, centre, radius * 1.4), Qt::white);
    } else {
        // A plain recording badge: a bright centre, like a lit recording lamp.
        QRadialGradient lamp(centre, radius * 0.5);
        lamp.setColorAt(0, QColor(255, 235, 235));
        lamp.setColorAt(1, QColor(255, 120, 120, 0));
        p.fillPath(circle(centre, radius * 0.5), lamp);
    }
}

// ---- the pictures ---------------------------------------------------------------------------

constexpr int buttonSize = 64;
constexpr qreal buttonGlow = 4;

// A square guide button with one glyph.
QImage squareButton(Look look, const std::function<QPainterPath(QPointF)>& glyph)
{
    QImage image = canvas(buttonSize, buttonSize);
    QPainter p(&image);
    prepare(p);
    const QRectF tile(buttonGlow, buttonGlow, buttonSize - 2 * buttonGlow,
                      buttonSize - 2 * buttonGlow);
    drawTile(p, tile, 12, look, buttonGlow);
    drawGlyph(p, glyph(tile.center()), look);
    return image;
}

QImage arrowButton(Look look, qreal degrees)
{
    return squareButton(look,
                        [degrees](QPointF c) { return rotated(triangleUp(c, 34), c, degrees); });
}

// A wide guide button: a symbol at the left and a word beside it.
QImage wordButton(Look look, const std::function<QPainterPath(QPointF)>& symbol,
                  const QString& word)
{
    const int width = 2 * buttonSize;
    QImage image = canvas(width, buttonSize);
    QPainter p(&image);
    prepare(p);
    const QRectF tile(buttonGlow, buttonGlow, width - 2 * buttonGlow, buttonSize - 2 * buttonGlow);
    drawTile(p, tile, 12, look, buttonGlow);
    const QPointF symbolCentre(tile.left() + 24, tile.center().y());
    QPainterPath glyph = symbol(symbolCentre);
    const qreal textLeft = tile.left() + 44;
    const qreal textRoom = tile.right() - 8 - textLeft;
    glyph.addPath(
        textPath(word, 24, QPointF(textLeft + textRoom / 2, tile.center().y()), textRoom));
    drawGlyph(p, glyph, look);
    return image;
}

// A caption under a pair of buttons: the word between two rules that span the pair.
QImage caption(const QString& word)
{
    QImage image = canvas(2 * buttonSize, 32);
    QPainter p(&image);
    prepare(p);
    const QPointF centre(image.width() / 2.0, image.height() / 2.0);
    const QPainterPath text = textPath(word, 18, centre, image.width() - 40);
    const QRectF ink = text.boundingRect();
    p.fillPath(text.translated(0, 1.4), QColor(0, 0, 0, 140));
    p.fillPath(text, captionText);
    QColor rule = tileEdge;
    rule.setAlpha(200);
    const qreal y = centre.y();
    p.fillPath(strokeLine({QPointF(buttonGlow + 2, y), QPointF(ink.left() - 8, y)}, 3), rule);
    p.fillPath(
        strokeLine({QPointF(ink.right() + 8, y), QPointF(image.width() - buttonGlow - 2, y)}, 3),
        rule);
    return image;
}

QImage marker(const QColor& colour, const QString& letter)
{
    QImage image = canvas(24, 24);
    QPainter p(&image);
    prepare(p);
    drawBadge(p, QPointF(12, 11.6), 11, colour, letter);
    return image;
}

// The product logo: a television with a small guide on its screen. `box` is the square it is
// drawn into; the design is on a 128-unit grid.
void drawLogo(QPainter& p, const QRectF& box)
{
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 128.0, box.height() / 128.0);

    const QColor metal(0xc8, 0xd0, 0xe0);
    // Antennas.
    QPainterPath antennas = strokeLine({QPointF(40, 6), QPointF(64, 27), QPointF(88, 6)}, 4.5);
    antennas = antennas.united(circle(QPointF(40, 6), 4.5)).united(circle(QPointF(88, 6), 4.5));
    p.fillPath(antennas, metal);
    // Stand.
    p.fillPath(
        roundedPolygon(
            QPolygonF{QPointF(50, 110), QPointF(78, 110), QPointF(88, 121), QPointF(40, 121)}, 2.5),
        QColor(0x70, 0x78, 0x88));
    // Cabinet.
    const QRectF cabinet(4, 25, 120, 88);
    QLinearGradient cabinetFill(cabinet.topLeft(), cabinet.bottomLeft());
    cabinetFill.setColorAt(0, QColor(0x4a, 0x52, 0x62));
    cabinetFill.setColorAt(1, QColor(0x1a, 0x1e, 0x28));
    QPainterPath cabinetPath;
    cabinetPath.addRoundedRect(cabinet, 16, 16);
    p.fillPath(cabinetPath, cabinetFill);
    p.setPen(QPen(metal, 2.2));
    p.drawRoundedRect(cabinet.adjusted(1.1, 1.1, -1.1, -1.1), 15, 15);
    p.setPen(Qt::NoPen);
    // Screen.
    const QRectF screen(13, 34, 102, 70);
    QLinearGradient screenFill(screen.topLeft(), screen.bottomRight());
    screenFill.setColorAt(0, QColor(0x3a, 0x78, 0xe8));
    screenFill.setColorAt(1, QColor(0x08, 0x1c, 0x5c));
    QPainterPath screenPath;
    screenPath.addRoundedRect(screen, 11, 11);
    p.fillPath(screenPath, screenFill);
    // A guide on the screen: a channel column and programme bars, one of them selected.
    for (int row = 0; row < 3; ++row) {
        const qreal y = 43 + row * 18;
        QPainterPath channel;
        channel.addRoundedRect(QRectF(21, y, 18, 11), 3, 3);
        p.fillPath(channel, QColor(255, 255, 255, 150));
        QPainterPath programmes;
        if (row == 1) {
            programmes.addRoundedRect(QRectF(43, y, 26, 11), 3, 3);
            p.fillPath(programmes, goldTop);
            QPainterPath rest;
            rest.addRoundedRect(QRectF(72, y, 35, 11), 3, 3);
            p.fillPath(rest, QColor(255, 255, 255, 220));
        } else {
            programmes.addRoundedRect(QRectF(43, y, row == 0 ? 64 : 40, 11), 3, 3);
            if (row == 2)
                programmes.addRoundedRect(QRectF(86, y, 21, 11), 3, 3);
            p.fillPath(programmes, QColor(255, 255, 255, 220));
        }
    }
    // Glass: a curved highlight across the upper left of the screen.
    QPainterPath glare;
    glare.moveTo(screen.left() + 4, screen.top() + 4);
    glare.lineTo(screen.left() + 62, screen.top() + 4);
    glare.quadTo(screen.left() + 30, screen.top() + 16, screen.left() + 4, screen.top() + 38);
    glare.closeSubpath();
    QLinearGradient glareFill(screen.topLeft(), screen.center());
    glareFill.setColorAt(0, QColor(255, 255, 255, 90));
    glareFill.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillPath(glare.intersected(screenPath), glareFill);
    p.setPen(QPen(QColor(0, 0, 0, 160), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(screen, 11, 11);
    p.restore();
}

QImage logo()
{
    QImage image = canvas(128, 128);
    QPainter p(&image);
    prepare(p);
    drawLogo(p, QRectF(0, 0, 128, 128));
    return image;
}

// The title strip across the top of the guide.
QImage banner()
{
    QImage image = canvas(760, 60);
    QPainter p(&image);
    prepare(p);
    const QRectF strip(0, 0, image.width(), image.height());
    QPainterPath shape;
    shape.addRoundedRect(strip, 10, 10);
    QLinearGradient fill(strip.topLeft(), strip.bottomLeft());
    fill.setColorAt(0, QColor(0x24, 0x58, 0xc0));
    fill.setColorAt(0.55, QColor(0x0c, 0x2a, 0x78));
    fill.setColorAt(1, QColor(0x06, 0x16, 0x48));
    p.fillPath(shape, fill);
    // Light falls from the left, as on a studio set.
    QLinearGradient sweep(strip.topLeft(), strip.topRight());
    sweep.setColorAt(0, QColor(255, 255, 255, 50));
    sweep.setColorAt(0.45, QColor(255, 255, 255, 0));
    p.fillPath(shape, sweep);
    // A gold rule along the bottom.
    QLinearGradient gold(strip.topLeft(), strip.topRight());
    gold.setColorAt(0, goldBottom);
    gold.setColorAt(0.5, goldTop);
    gold.setColorAt(1, goldBottom);
    p.fillPath(shape.intersected([&] {
        QPainterPath band;
        band.addRect(QRectF(0, strip.bottom() - 5, strip.width(), 5));
        return band;
    }()),
               gold);

    drawLogo(p, QRectF(12, 6, 46, 46));

    const qreal middle = 27;
    const QPainterPath zarvo = textPathLeft(QStringLiteral("Zarvo"), 38, 70, middle, 300);
    const QPainterPath guide =
        textPathLeft(QStringLiteral("Guide"), 38, zarvo.boundingRect().right() + 12, middle, 300);
    p.fillPath(zarvo.translated(0, 2), QColor(0, 0, 0, 140));
    p.fillPath(guide.translated(0, 2), QColor(0, 0, 0, 140));
    p.fillPath(zarvo, Qt::white);
    p.fillPath(guide, goldTop);

    QPainterPath tag = textPathLeft(QStringLiteral("TV LISTINGS"), 17, 0, middle, 200);
    tag.translate(strip.right() - 22 - tag.boundingRect().right(), 0);
    p.fillPath(tag, captionText);
    p.setPen(QPen(QColor(0xdc, 0xe8, 0xff, 110), 2));
    const qreal ruleX = tag.boundingRect().left() - 16;
    p.drawLine(QPointF(ruleX, 14), QPointF(ruleX, 42));
    return image;
}

// ---- action menu ----------------------------------------------------------------------------

constexpr int menuWidth = 400;
constexpr int menuHeight = 56;
constexpr qreal menuGlow = 4;

QImage menuItem(Look look, const QString& text, bool isTitle,
                const std::function<void(QPainter&, QPointF, Look)>& icon)
{
    QImage image = canvas(menuWidth, menuHeight);
    QPainter p(&image);
    prepare(p);
    const QRectF pill(menuGlow, menuGlow, menuWidth - 2 * menuGlow, menuHeight - 2 * menuGlow);
    drawTile(p, pill, pill.height() / 2, look, menuGlow);
    const QPointF iconCentre(pill.left() + pill.height() / 2 + 2, pill.center().y());
    icon(p, iconCentre, look);
    const qreal textLeft = pill.left() + pill.height() + 10;
    const qreal textRoom = pill.right() - pill.height() / 2 - textLeft;
    const QPainterPath words =
        isTitle ? textPath(text, 26, QPointF(pill.center().x(), pill.center().y()),
                           pill.width() - 2 * pill.height())
                : textPathLeft(text, 24, textLeft, pill.center().y(), textRoom);
    drawGlyph(p, words, look);
    return image;
}

void badgeIcon(QPainter& p, QPointF c, const QColor& colour, const QString& letter)
{
    drawBadge(p, c, 17, colour, letter);
}

void noRecordIcon(QPainter& p, QPointF c, Look)
{
    p.fillPath(circle(c + QPointF(0, 1.4), 17), QColor(0, 0, 0, 110));
    p.fillPath(circle(c, 17), Qt::white);
    QPainterPath sign = ring(c, 15, 4.5);
    sign = sign.united(strokeLine({c + QPointF(-8.5, -8.5), c + QPointF(8.5, 8.5)}, 4.5));
    p.fillPath(sign.intersected(circle(c, 15)), recordRed);
}

void watchIcon(QPainter& p, QPointF c, Look look)
{
    QPainterPath play =
        roundedPolygon(QPolygonF{c + QPointF(-5, -9), c + QPointF(10, 0), c + QPointF(-5, 9)}, 1.5);
    drawGlyph(p, circle(c, 17).subtracted(play), look);
}

void closeIcon(QPainter& p, QPointF c, Look look)
{
    drawGlyph(p, cross(c, 18, 6), look);
}

void backIcon(QPainter& p, QPointF c, Look look)
{
    drawGlyph(p, strokeLine({c + QPointF(5, -11), c + QPointF(-6, 0), c + QPointF(5, 11)}, 6.5),
              look);
}

// ---- settings screen ------------------------------------------------------------------------

QImage settingsButton(Look look, const QString& word,
                      const std::function<QPainterPath(QPointF)>& symbol)
{
    QImage image = canvas(180, 36);
    QPainter p(&image);
    prepare(p);
    const qreal glow = 2.5;
    const QRectF tile(glow, glow, image.width() - 2 * glow, image.height() - 2 * glow);
    drawTile(p, tile, tile.height() / 2, look, glow);
    QPainterPath glyph = symbol(QPointF(tile.left() + 24, tile.center().y()));
    const qreal textLeft = tile.left() + 44;
    const qreal textRoom = tile.right() - 16 - textLeft;
    glyph.addPath(
        textPath(word, 19, QPointF(textLeft + textRoom / 2, tile.center().y()), textRoom));
    drawGlyph(p, glyph, look);
    return image;
}

// ---- the list -------------------------------------------------------------------------------

using Drawer = std::function<QImage()>;

// Every picture file by name, both looks of the ones that have two.
std::map<QString, Drawer> drawers()
{
    std::map<QString, Drawer> all;
    const auto twoLooks = [&all](const QString& name, const std::function<QImage(Look)>& draw) {
        all[name] = [draw] { return draw(Look::Plain); };
        all[selectedPicture(name)] = [draw] { return draw(Look::Selected); };
    };

    twoLooks(pics::ArrowUp, [](Look l) { return arrowButton(l, 0); });
    twoLooks(pics::ArrowRight, [](Look l) { return arrowButton(l, 90); });
    twoLooks(pics::ArrowDown, [](Look l) { return arrowButton(l, 180); });
    twoLooks(pics::ArrowLeft, [](Look l) { return arrowButton(l, 270); });
    twoLooks(pics::Detail,
             [](Look l) { return squareButton(l, [](QPointF c) { return listSymbol(c, 36); }); });
    twoLooks(pics::SmallExit,
             [](Look l) { return squareButton(l, [](QPointF c) { return cross(c, 26, 8.5); }); });
    twoLooks(pics::SmallSetup, [](Look l) {
        return squareButton(l, [](QPointF c) { return gear(c, 20, 14, 6.5, 8, 8.5); });
    });
    twoLooks(pics::Now, [](Look l) {
        return wordButton(
            l, [](QPointF c) { return clock(c, 17); }, QStringLiteral("NOW"));
    });
    twoLooks(pics::Prime, [](Look l) {
        return wordButton(
            l, [](QPointF c) { return star(c + QPointF(-2, 1), 16, 6.6); },
            QStringLiteral("PRIME"));
    });

    twoLooks(pics::MenuTitle,
             [](Look l) { return menuItem(l, QStringLiteral("MENU"), true, backIcon); });
    twoLooks(pics::RecordOnce, [](Look l) {
        return menuItem(
            l, QStringLiteral("Record this showing"), false,
            [](QPainter& p, QPointF c, Look) { badgeIcon(p, c, recordRed, QStringLiteral("R")); });
    });
    twoLooks(pics::RecordAll, [](Look l) {
        return menuItem(
            l, QStringLiteral("Record every showing"), false,
            [](QPainter& p, QPointF c, Look) { badgeIcon(p, c, allGreen, QStringLiteral("A")); });
    });
    twoLooks(pics::RecordSeason, [](Look l) {
        return menuItem(
            l, QStringLiteral("Record the series"), false,
            [](QPainter& p, QPointF c, Look) { badgeIcon(p, c, seasonBlue, QStringLiteral("S")); });
    });
    twoLooks(pics::DoNotRecord, [](Look l) {
        return menuItem(l, QStringLiteral("Do not record"), false, noRecordIcon);
    });
    twoLooks(pics::Watch,
             [](Look l) { return menuItem(l, QStringLiteral("Watch"), false, watchIcon); });
    twoLooks(pics::MenuCancel,
             [](Look l) { return menuItem(l, QStringLiteral("Cancel"), false, closeIcon); });

    twoLooks(pics::Save, [](Look l) {
        return settingsButton(l, QStringLiteral("SAVE"), [](QPointF c) {
            return strokeLine({c + QPointF(-8, 0), c + QPointF(-2.5, 6), c + QPointF(8, -6)}, 4.5);
        });
    });
    twoLooks(pics::Cancel, [](Look l) {
        return settingsButton(l, QStringLiteral("CANCEL"),
                              [](QPointF c) { return cross(c, 13, 4.5); });
    });

    all[pics::Logo] = logo;
    all[pics::Banner] = banner;
    all[pics::HourCaption] = [] { return caption(QStringLiteral("HOUR")); };
    all[pics::DayCaption] = [] { return caption(QStringLiteral("DAY")); };
    all[pics::RecordOnceMarker] = [] { return marker(recordRed, QStringLiteral("R")); };
    all[pics::SeasonMarker] = [] { return marker(seasonBlue, QStringLiteral("S")); };
    all[pics::AllMarker] = [] { return marker(allGreen, QStringLiteral("A")); };
    all[pics::RecordMarker] = [] { return marker(recordRed, QString()); };
    return all;
}

// All pictures on one dark sheet, both looks side by side, each with its name.
QImage contactSheet(const std::map<QString, QImage>& images)
{
    struct Entry
    {
        QString label;
        QList<QImage> looks;
    };
    QList<Entry> entries;
    for (const QLatin1String name : pics::WithSelectedLook)
        entries.append({QString(name), {images.at(name), images.at(selectedPicture(name))}});
    for (const QLatin1String name : pics::WithOneLook)
        entries.append({QString(name), {images.at(name)}});

    const int sheetWidth = 1000;
    const int gap = 16;
    const int labelHeight = 18;
    // Lay out in rows, left to right.
    struct Placed
    {
        const Entry* entry;
        QPoint at;
    };
    QList<Placed> placed;
    int x = gap, y = gap, rowHeight = 0;
    for (const Entry& e : entries) {
        int w = 0, h = 0;
        for (const QImage& img : e.looks) {
            w += img.width() + 6;
            h = std::max(h, img.height());
        }
        if (x + w > sheetWidth - gap && x > gap) {
            x = gap;
            y += rowHeight + labelHeight + gap;
            rowHeight = 0;
        }
        placed.append({&e, QPoint(x, y)});
        x += std::max(w, 150) + gap;
        rowHeight = std::max(rowHeight, h);
    }
    QImage sheet(sheetWidth, y + rowHeight + labelHeight + gap, QImage::Format_RGB32);
    sheet.fill(QColor(0x10, 0x12, 0x18));
    QPainter p(&sheet);
    prepare(p);
    QFont labelFont = boldFont(11);
    labelFont.setBold(false);
    p.setFont(labelFont);
    for (const Placed& pl : placed) {
        int lx = pl.at.x();
        int h = 0;
        for (const QImage& img : pl.entry->looks) {
            p.drawImage(lx, pl.at.y(), img);
            lx += img.width() + 6;
            h = std::max(h, img.height());
        }
        p.setPen(QColor(0x9a, 0xa4, 0xb8));
        p.drawText(QPoint(pl.at.x(), pl.at.y() + h + 13), pl.entry->label);
    }
    return sheet;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "makepictures: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // Drawing needs fonts, which need a GUI application, but no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = QGuiApplication::arguments().mid(1);
    QString outDir, sheetFile;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--sheet") && i + 1 < args.size())
            sheetFile = args[++i];
        else if (outDir.isEmpty() && !args[i].startsWith(QLatin1Char('-')))
            outDir = args[i];
        else
            return fail(QStringLiteral("usage: makepictures OUTDIR [--sheet FILE]"));
    }
    if (outDir.isEmpty())
        return fail(QStringLiteral("usage: makepictures OUTDIR [--sheet FILE]"));

    // The list the screens load from and the drawings here must match exactly: a name without a
    // drawing would be a missing file at run time, a drawing without a name a file nobody loads.
    const std::map<QString, Drawer> all = drawers();
    const QStringList wanted = zarvo::ui::allPictureFiles();
    for (const QString& name : wanted) {
        if (all.find(name) == all.end())
            return fail(QStringLiteral("no drawing for %1").arg(name));
    }
    for (const auto& [name, draw] : all) {
        if (!wanted.contains(name))
            return fail(QStringLiteral("%1 is drawn but not listed").arg(name));
    }

    const QDir out(outDir);
    std::map<QString, QImage> images;
    for (const auto& [name, draw] : all) {
        const QImage image = draw();
        const QString path = out.filePath(name);
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            return fail(QStringLiteral("cannot create the folder of %1").arg(path));
        if (!image.save(path, "PNG"))
            return fail(QStringLiteral("cannot write %1").arg(path));
        images[name] = image;
    }
    if (!sheetFile.isEmpty() && !contactSheet(images).save(sheetFile, "PNG"))
        return fail(QStringLiteral("cannot write %1").arg(sheetFile));
    return 0;
}
