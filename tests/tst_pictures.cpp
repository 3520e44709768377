// The screens' pictures as the build draws them: each one the screens load is there, at the size
// its place on the screen wants, and not blank. The sizes are decided here rather than taken
// from the drawing program, so that a picture drawn at the wrong size shows up.
#include "ui/pictures.h"

#include <QImage>
#include <QSet>
#include <QTest>

using namespace zarvo::ui;
namespace pics = zarvo::ui::pictures;

class TestPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void file_data()
    {
        QTest::addColumn<QString>("name");
        const QStringList all = allPictureFiles();
        // A name listed twice would have two pictures overwrite each other.
        QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), all.size());
        for (const QString& name : all)
            QTest::newRow(qPrintable(name)) << name;
    }
    void file()
    {
        QFETCH(QString, name);
        const QImage image =
            QImage(picturePath(ZARVO_BINARY_DIR, name)).convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(!image.isNull(), qPrintable(picturePath(ZARVO_BINARY_DIR, name)));
        const auto is = [&](std::initializer_list<QLatin1String> names) {
            for (const QLatin1String n : names)
                if (name == n || name == selectedPicture(n))
                    return true;
            return false;
        };
        const int w = image.width(), h = image.height();
        const bool fits =
            is({pics::Save, pics::Cancel})              ? w == 180 && h == 36
            : name == pics::Logo                        ? w == 128 && h == 128
            : name == pics::Banner                      ? w >= 600 && w >= 8 * h
            : is({pics::HourCaption, pics::DayCaption}) ? h <= 48 && w >= 2 * h
            : is({pics::Now, pics::Prime}) ? h >= 48 && h <= 96 && w >= 1.5 * h && w <= 3 * h
            : is({pics::RecordOnceMarker, pics::SeasonMarker, pics::AllMarker, pics::RecordMarker})
                ? w == h && w >= 16 && w <= 32
                : w == h && w >= 48 && w <= 96; // the square buttons
        const bool menuItem = std::any_of(pics::MenuItems.begin(), pics::MenuItems.end(),
                                          [&](QLatin1String n) { return is({n}); });
        QVERIFY2(menuItem ? h >= 40 && h <= 80 && w >= 4 * h : fits,
                 qPrintable(QStringLiteral("%1 x %2").arg(w).arg(h)));
        QSet<QRgb> colours;
        for (int y = 0; y < h && colours.size() < 2; ++y)
            for (int x = 0; x < w; ++x)
                if (qAlpha(image.pixel(x, y)) == 255)
                    colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() >= 2, "blank or single-coloured picture");
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
