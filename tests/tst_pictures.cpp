#include "ui/pictures.h"

#include <QColor>
#include <QImage>
#include <QMap>
#include <QSet>
#include <QTest>

using namespace zarvo::ui;
namespace pics = zarvo::ui::pictures;

namespace {

// Width and height bounds and the range of width / height.
struct Fits
{
    int minW, maxW, minH, maxH;
    double minAspect, maxAspect;
    bool operator()(QSize s) const
    {
        return s.width() >= minW && s.width() <= maxW && s.height() >= minH && s.height() <= maxH &&
               s.width() >= minAspect * s.height() && s.width() <= maxAspect * s.height();
    }
};

// The size of each picture, decided here rather than taken from the drawing program, so that a
// picture drawn at the wrong size shows up.
QMap<QString, Fits> sizeRules()
{
    const int any = 10000;
    const Fits square{48, 96, 48, 96, 1, 1}, word{0, any, 48, 96, 1.5, 3},
        menu{0, any, 40, 80, 4, any}, button{180, 180, 36, 36, 5, 5},
        caption{0, any, 0, 48, 2, any}, marker{16, 32, 16, 32, 1, 1};
    QMap<QString, Fits> rules{{pics::Logo, {128, 128, 128, 128, 1, 1}},
                              {pics::Banner, {600, any, 0, any, 8, any}},
                              {pics::HourCaption, caption},
                              {pics::DayCaption, caption}};
    for (const QLatin1String n :
         {pics::RecordOnceMarker, pics::SeasonMarker, pics::AllMarker, pics::RecordMarker})
        rules[n] = marker;
    const auto both = [&](QLatin1String n, Fits f) { rules[n] = rules[selectedPicture(n)] = f; };
    for (const QLatin1String n : {pics::ArrowUp, pics::Detail, pics::ArrowDown, pics::SmallExit,
                                  pics::SmallSetup, pics::ArrowLeft, pics::ArrowRight})
        both(n, square);
    both(pics::Now, word);
    both(pics::Prime, word);
    for (const QLatin1String n : pics::MenuItems)
        both(n, menu);
    both(pics::Save, button);
    both(pics::Cancel, button);
    return rules;
}

QImage load(const QString& name)
{
    return QImage(picturePath(ZARVO_BINARY_DIR, name)).convertToFormat(QImage::Format_ARGB32);
}

// Mean colour of the visible pixels, weighted by their opacity.
QColor meanColour(const QImage& image)
{
    double r = 0, g = 0, b = 0, weight = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            const double a = qAlpha(px) / 255.0;
            r += qRed(px) * a, g += qGreen(px) * a, b += qBlue(px) * a, weight += a;
        }
    return weight == 0 ? QColor(0, 0, 0, 0)
                       : QColor::fromRgbF(r / weight / 255, g / weight / 255, b / weight / 255);
}

double luminance(const QImage& image)
{
    const QColor c = meanColour(image);
    return 0.299 * c.redF() + 0.587 * c.greenF() + 0.114 * c.blueF();
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A picture listed without a size rule here fails, as does a name listed twice (two
    // pictures would overwrite each other).
    void everyNameIsKnown()
    {
        const QStringList all = allPictureFiles();
        const QMap<QString, Fits> rules = sizeRules();
        QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), all.size());
        QCOMPARE(QSet<QString>(all.begin(), all.end()),
                 QSet<QString>(rules.keyBegin(), rules.keyEnd()));
    }

    void file_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString& name : allPictureFiles())
            QTest::newRow(qPrintable(name)) << name;
    }
    // Each file exists, loads, has the size of its kind and shows opaque pixels of two colours.
    void file()
    {
        QFETCH(QString, name);
        const QImage image = load(name);
        QVERIFY2(!image.isNull(), qPrintable(picturePath(ZARVO_BINARY_DIR, name)));
        QVERIFY2(sizeRules().value(name)(image.size()),
                 qPrintable(QStringLiteral("%1 x %2").arg(image.width()).arg(image.height())));
        QSet<QRgb> colours;
        for (int y = 0; y < image.height() && colours.size() < 2; ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) == 255)
                    colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() >= 2, "blank or single-coloured picture");
    }

    void looks_data()
    {
        QTest::addColumn<QString>("name");
        for (const QLatin1String name : pics::WithSelectedLook)
            QTest::newRow(name.data()) << QString(name);
    }
    // The two looks swap in place, so they have one size; the selected one differs and is the
    // brighter, as a lit highlight is.
    void looks()
    {
        QFETCH(QString, name);
        const QImage plain = load(name), selected = load(selectedPicture(name));
        QVERIFY(!plain.isNull() && !selected.isNull());
        QCOMPARE(selected.size(), plain.size());
        QVERIFY(selected != plain);
        QVERIFY(luminance(selected) > luminance(plain) + 0.05);
    }

    // Pictures side by side line up: the guide's row of buttons has one height, its column one
    // width, each caption spans its pair of arrows, the menu's items are one size.
    void layoutFits()
    {
        for (int i = 6; i <= 10; ++i)
            QCOMPARE(load(pics::GuideButtons[i]).height(), load(pics::GuideButtons[5]).height());
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(load(pics::GuideButtons[i]).width(), load(pics::GuideButtons[0]).width());
        const int pair = load(pics::ArrowLeft).width() + load(pics::ArrowRight).width();
        QCOMPARE(load(pics::HourCaption).width(), pair);
        QCOMPARE(load(pics::DayCaption).width(), pair);
        for (const QLatin1String name : pics::MenuItems)
            QCOMPARE(load(name).size(), load(pics::MenuItems[0]).size());
    }

    // The grid's recording states are told apart by colour: red this showing, blue the series,
    // green every showing.
    void markersTellStatesApart()
    {
        const QColor once = meanColour(load(pics::RecordOnceMarker));
        const QColor season = meanColour(load(pics::SeasonMarker));
        const QColor all = meanColour(load(pics::AllMarker));
        QVERIFY(once.red() > once.green() + 40 && once.red() > once.blue() + 40);
        QVERIFY(season.blue() > season.red() + 40 && season.blue() > season.green() + 20);
        QVERIFY(all.green() > all.red() + 40 && all.green() > all.blue() + 40);
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
