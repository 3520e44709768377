// The screens' pictures as the build draws them: each one the screens load is there, at the size
// its place on the screen wants, and not blank. The sizes are decided here rather than taken
// from the drawing program, so that a picture drawn at the wrong size shows up.
#include "ui/pictures.h"

#include <QImage>
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

Fits sizeRule(const QString& name)
{
    const int any = 10000;
    for (const QLatin1String n : pics::MenuItems)
        if (name == n || name == selectedPicture(n))
            return {0, any, 40, 80, 4, any};
    for (const QLatin1String n : {pics::Save, pics::Cancel})
        if (name == n || name == selectedPicture(n))
            return {180, 180, 36, 36, 5, 5};
    for (const QLatin1String n : {pics::Now, pics::Prime})
        if (name == n || name == selectedPicture(n))
            return {0, any, 48, 96, 1.5, 3};
    for (const QLatin1String n :
         {pics::RecordOnceMarker, pics::SeasonMarker, pics::AllMarker, pics::RecordMarker})
        if (name == n)
            return {16, 32, 16, 32, 1, 1};
    if (name == pics::Logo)
        return {128, 128, 128, 128, 1, 1};
    if (name == pics::Banner)
        return {600, any, 0, any, 8, any};
    if (name == pics::HourCaption || name == pics::DayCaption)
        return {0, any, 0, 48, 2, any};
    return {48, 96, 48, 96, 1, 1}; // the square buttons: arrows, detail, exit and setup
}

} // namespace

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
        QVERIFY2(sizeRule(name)(image.size()),
                 qPrintable(QStringLiteral("%1 x %2").arg(image.width()).arg(image.height())));
        QSet<QRgb> colours;
        for (int y = 0; y < image.height() && colours.size() < 2; ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) == 255)
                    colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() >= 2, "blank or single-coloured picture");
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
