#include "ui/pictures.h"

#include <QColor>
#include <QImage>
#include <QMap>
#include <QSet>
#include <QTest>

using namespace zarvo::ui;
namespace pics = zarvo::ui::pictures;

namespace {

// What kind of picture each name must be, decided here rather than taken from the drawing
// program, so that a picture drawn at the wrong size shows up.
enum class Kind {
    Logo,
    SquareButton,
    WordButton,
    Caption,
    Banner,
    Marker,
    MenuItem,
    SettingsButton
};

QMap<QString, Kind> expectedKinds()
{
    QMap<QString, Kind> kinds;
    const auto both = [&kinds](const QString& name, Kind kind) {
        kinds[name] = kind;
        kinds[selectedPicture(name)] = kind;
    };
    for (const QLatin1String name : {pics::ArrowUp, pics::Detail, pics::ArrowDown, pics::SmallExit,
                                     pics::SmallSetup, pics::ArrowLeft, pics::ArrowRight})
        both(name, Kind::SquareButton);
    both(pics::Now, Kind::WordButton);
    both(pics::Prime, Kind::WordButton);
    for (const QLatin1String name : pics::MenuItems)
        both(name, Kind::MenuItem);
    both(pics::Save, Kind::SettingsButton);
    both(pics::Cancel, Kind::SettingsButton);
    kinds[pics::Logo] = Kind::Logo;
    kinds[pics::Banner] = Kind::Banner;
    kinds[pics::HourCaption] = Kind::Caption;
    kinds[pics::DayCaption] = Kind::Caption;
    for (const QLatin1String name :
         {pics::RecordOnceMarker, pics::SeasonMarker, pics::AllMarker, pics::RecordMarker})
        kinds[name] = Kind::Marker;
    return kinds;
}

QString programFolder()
{
    return QStringLiteral(ZARVO_BINARY_DIR);
}

QImage load(const QString& name)
{
    return QImage(picturePath(programFolder(), name)).convertToFormat(QImage::Format_ARGB32);
}

// Mean colour of the visible pixels, weighted by their opacity.
QColor meanColour(const QImage& image)
{
    double r = 0, g = 0, b = 0, weight = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            const double a = qAlpha(px) / 255.0;
            r += qRed(px) * a;
            g += qGreen(px) * a;
            b += qBlue(px) * a;
            weight += a;
        }
    }
    if (weight == 0)
        return QColor(0, 0, 0, 0);
    return QColor::fromRgbF(r / weight / 255, g / weight / 255, b / weight / 255);
}

double luminance(const QColor& c)
{
    return 0.299 * c.redF() + 0.587 * c.greenF() + 0.114 * c.blueF();
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyNameIsKnown();
    void file_data();
    void file();
    void looks_data();
    void looks();
    void layoutFits();
    void markersTellStatesApart();
    void names_data();
    void names();
};

// A picture added to the list without a decision here about its kind fails, as does a file name
// listed twice (two pictures would overwrite each other).
void TestPictures::everyNameIsKnown()
{
    const QStringList all = allPictureFiles();
    const QMap<QString, Kind> kinds = expectedKinds();
    QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), all.size());
    for (const QString& name : all)
        QVERIFY2(kinds.contains(name), qPrintable(name));
    QCOMPARE(kinds.size(), all.size());
}

void TestPictures::file_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Kind>("kind");
    const QMap<QString, Kind> kinds = expectedKinds();
    for (const QString& name : allPictureFiles())
        QTest::newRow(qPrintable(name)) << name << kinds.value(name);
}

// Each file is in the build's pictures folder, loads, has the size of its kind and shows
// something: opaque pixels in more than one colour.
void TestPictures::file()
{
    QFETCH(QString, name);
    QFETCH(Kind, kind);
    const QImage image = load(name);
    QVERIFY2(!image.isNull(), qPrintable(picturePath(programFolder(), name)));
    const int w = image.width();
    const int h = image.height();
    switch (kind) {
    case Kind::Logo:
        QCOMPARE(image.size(), QSize(128, 128));
        break;
    case Kind::SettingsButton:
        QCOMPARE(image.size(), QSize(180, 36));
        break;
    case Kind::SquareButton:
        QCOMPARE(w, h);
        QVERIFY2(w >= 48 && w <= 96, qPrintable(QString::number(w)));
        break;
    case Kind::WordButton:
        QVERIFY(h >= 48 && h <= 96);
        QVERIFY(w >= 3 * h / 2 && w <= 3 * h);
        break;
    case Kind::Caption:
        QVERIFY(h <= 48);
        QVERIFY(w >= 2 * h);
        break;
    case Kind::Banner:
        QVERIFY(w >= 600);
        QVERIFY(w >= 8 * h);
        break;
    case Kind::Marker:
        QCOMPARE(w, h);
        QVERIFY(w >= 16 && w <= 32);
        break;
    case Kind::MenuItem:
        QVERIFY(h >= 40 && h <= 80);
        QVERIFY(w >= 4 * h);
        break;
    }

    QSet<QRgb> colours;
    for (int y = 0; y < h && colours.size() < 2; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb px = image.pixel(x, y);
            if (qAlpha(px) == 255)
                colours.insert(px);
        }
    }
    QVERIFY2(colours.size() >= 2, "blank or single-coloured picture");
}

void TestPictures::looks_data()
{
    QTest::addColumn<QString>("name");
    for (const QLatin1String name : pics::WithSelectedLook)
        QTest::newRow(name.data()) << QString(name);
}

// The two looks of a picture swap in place, so they have one size; the selected look differs
// and is the brighter one, as a lit highlight is.
void TestPictures::looks()
{
    QFETCH(QString, name);
    const QImage plain = load(name);
    const QImage selected = load(selectedPicture(name));
    QVERIFY(!plain.isNull());
    QVERIFY(!selected.isNull());
    QCOMPARE(selected.size(), plain.size());
    QVERIFY(selected != plain);
    QVERIFY2(luminance(meanColour(selected)) > luminance(meanColour(plain)) + 0.05,
             qPrintable(QStringLiteral("%1 against %2")
                            .arg(luminance(meanColour(selected)))
                            .arg(luminance(meanColour(plain)))));
}

// Pictures that stand side by side on a screen line up: the guide's row of buttons has one
// height, each caption spans the pair of arrows it names, the menu's items are one size.
void TestPictures::layoutFits()
{
    const int rowHeight = load(pics::GuideButtons[5]).height();
    for (int i = 5; i <= 10; ++i)
        QCOMPARE(load(pics::GuideButtons[i]).height(), rowHeight);
    const int columnWidth = load(pics::GuideButtons[0]).width();
    for (int i = 0; i <= 4; ++i)
        QCOMPARE(load(pics::GuideButtons[i]).width(), columnWidth);
    const int pairWidth = load(pics::ArrowLeft).width() + load(pics::ArrowRight).width();
    QCOMPARE(load(pics::HourCaption).width(), pairWidth);
    QCOMPARE(load(pics::DayCaption).width(), pairWidth);
    const QSize itemSize = load(pics::MenuItems[0]).size();
    for (const QLatin1String name : pics::MenuItems)
        QCOMPARE(load(name).size(), itemSize);
}

// A viewer tells the grid's three recording states apart by colour: red for this showing,
// blue for the series, green for every showing.
void TestPictures::markersTellStatesApart()
{
    const QColor once = meanColour(load(pics::RecordOnceMarker));
    const QColor season = meanColour(load(pics::SeasonMarker));
    const QColor all = meanColour(load(pics::AllMarker));
    QVERIFY(once.red() > once.green() + 40 && once.red() > once.blue() + 40);
    QVERIFY(season.blue() > season.red() + 40 && season.blue() > season.green() + 20);
    QVERIFY(all.green() > all.red() + 40 && all.green() > all.blue() + 40);
}

void TestPictures::names_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("path");
    QTest::newRow("settings button")
        << "/opt/zarvo" << QString(pics::Save) << "settings/selectedsave.png"
        << "/opt/zarvo/pictures/settings/save.png";
    QTest::newRow("folder with slash")
        << "/opt/zarvo/" << QString(pics::ArrowUp) << "guide/selectedarrowup.png"
        << "/opt/zarvo/pictures/guide/arrowup.png";
    QTest::newRow("menu and settings cancel differ")
        << "/p" << QString(pics::MenuCancel) << "menu/selectedcancel.png"
        << "/p/pictures/menu/cancel.png";
    QTest::newRow("name without a folder") << "/p"
                                           << "logo.png"
                                           << "selectedlogo.png"
                                           << "/p/pictures/logo.png";
}

void TestPictures::names()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, selected);
    QFETCH(QString, path);
    QCOMPARE(selectedPicture(name), selected);
    QCOMPARE(picturePath(folder, name), path);
}

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
