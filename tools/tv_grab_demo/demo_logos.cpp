// demo_logos: writes a PNG logo for each channel of the demonstration line-up, named as the
// grabber's icon sources name them, for the guide's logos folder.
//
// The letters come from a built-in 5 x 7 dot font rather than the system's fonts, so no display,
// platform plugin or installed font is needed and the files are the same on every machine.

#include "lineup.h"

#include <QColor>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cstdio>

namespace {

constexpr int logoWidth = 96;
constexpr int logoHeight = 64;

// Rows of each capital, top to bottom, '#' for a lit dot.
using Glyph = std::array<const char*, 7>;
constexpr std::array<Glyph, 26> glyphs{{
    {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}, // A
    {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}, // B
    {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}, // C
    {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}, // D
    {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}, // E
    {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}, // F
    {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}, // G
    {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}, // H
    {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}, // I
    {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}, // J
    {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}, // K
    {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}, // L
    {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}, // M
    {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}, // N
    {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}, // O
    {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}, // P
    {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}, // Q
    {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}, // R
    {".####", "#....", "#....", ".###.", "....#", "....#", "####."}, // S
    {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}, // T
    {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}, // U
    {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}, // V
    {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}, // W
    {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}, // X
    {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}, // Y
    {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}, // Z
}};

// The dots of `text` (capitals only) as one path, in dot units: glyphs are 5 wide with a gap of 1.
QPainterPath dotText(const QString& text)
{
    QPainterPath path;
    for (int i = 0; i < text.size(); ++i) {
        const int letter = text.at(i).unicode() - 'A';
        if (letter < 0 || letter >= static_cast<int>(glyphs.size()))
            continue;
        const Glyph& g = glyphs[static_cast<std::size_t>(letter)];
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if (g[static_cast<std::size_t>(row)][col] == '#')
                    path.addRect(i * 6 + col, row, 1, 1);
            }
        }
    }
    return path.simplified();
}

QImage logo(const QString& callLetters)
{
    // The badge colour follows from the letters, so a channel keeps its colour between runs.
    uint hash = 0;
    for (QChar c : callLetters)
        hash = hash * 31 + c.unicode();
    const QColor base = QColor::fromHsv(static_cast<int>(hash % 360), 170, 200);

    QImage image(logoWidth, logoHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF badge(1.5, 1.5, logoWidth - 3, logoHeight - 3);
    QLinearGradient fill(badge.topLeft(), badge.bottomLeft());
    fill.setColorAt(0, base.lighter(135));
    fill.setColorAt(1, base.darker(140));
    p.setPen(QPen(base.darker(200), 2));
    p.setBrush(fill);
    p.drawRoundedRect(badge, 12, 12);

    const QPainterPath letters = dotText(callLetters);
    const QRectF bounds = letters.boundingRect();
    const qreal scale = 3.5;
    p.translate((logoWidth - bounds.width() * scale) / 2 - bounds.left() * scale,
                (logoHeight - bounds.height() * scale) / 2 - bounds.top() * scale);
    p.scale(scale, scale);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawPath(letters.translated(0.3, 0.3));
    p.setBrush(Qt::white);
    p.drawPath(letters);
    p.end();
    return image;
}

void say(FILE* stream, const QString& text)
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
}

int fail(const QString& message)
{
    say(stderr, QLatin1String("demo_logos: ") + message);
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("demo_logos"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a PNG logo for each demonstration channel into DIR."));
    parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("Folder for the logos."));
    const QCommandLineOption channelsOption(QStringLiteral("channels"),
                                            QStringLiteral("Number of channels (default 40)."),
                                            QStringLiteral("N"), QStringLiteral("40"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("No progress message."));
    const QCommandLineOption helpOption(QStringLiteral("help"), QStringLiteral("Print this help."));
    parser.addOptions({channelsOption, quietOption, helpOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.positionalArguments().size() != 1)
        return fail(QStringLiteral("needs exactly one folder (see --help)"));

    bool ok = false;
    const int channels = parser.value(channelsOption).toInt(&ok);
    if (!ok || channels < 1 || channels > zarvo::demo::maxChannels)
        return fail(QStringLiteral("--channels needs a whole number from 1 to %1")
                        .arg(zarvo::demo::maxChannels));

    const QDir folder(parser.positionalArguments().first());
    if (!folder.mkpath(QStringLiteral(".")))
        return fail(QLatin1String("cannot create ") + folder.path());
    for (int i = 0; i < channels; ++i) {
        const QString file = folder.filePath(zarvo::demo::logoFileName(i));
        if (!logo(zarvo::demo::callLetters(i)).save(file, "PNG"))
            return fail(QLatin1String("cannot write ") + file);
    }
    if (!parser.isSet(quietOption))
        say(stderr,
            QStringLiteral("demo_logos: %1 logos in %2").arg(channels).arg(folder.absolutePath()));
    return 0;
}
