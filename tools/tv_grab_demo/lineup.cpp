#include "lineup.h"

#include <string_view>

namespace zarvo::demo {

namespace {

constexpr std::string_view logoFolderUrl = "file:///usr/share/zarvoguide/demo/channel-logo/";
static_assert(logoFolderUrl.size() == logoFolderUrlLength);

// Call letters are a permutation of the space of "W???" and "K???" names (2 * 26^3 of them):
// index -> (multiplier * index + first) mod space. The multiplier is coprime to the space, so
// the map is one-to-one, and consecutive channels get unrelated-looking names.
constexpr int letterSpace = 2 * 26 * 26 * 26;
constexpr int multiplier = 7919; // prime, not a factor of 2^4 * 13^3
constexpr int wdmo = ('D' - 'A') * 26 * 26 + ('M' - 'A') * 26 + ('O' - 'A');
static_assert(letterSpace >= maxChannels);

} // namespace

QString callLetters(int index)
{
    const int code =
        static_cast<int>((static_cast<long long>(multiplier) * index + wdmo) % letterSpace);
    QString letters(4, QLatin1Char(' '));
    letters[0] = QLatin1Char(code < 26 * 26 * 26 ? 'W' : 'K');
    int rest = code % (26 * 26 * 26);
    for (int i = 3; i >= 1; --i) {
        letters[i] = QLatin1Char(static_cast<char>('A' + rest % 26));
        rest /= 26;
    }
    return letters;
}

int channelNumber(int index)
{
    return index + 2;
}

QString channelId(int index)
{
    return QString::number(channelNumber(index)) + QLatin1String(".demo.zarvo");
}

QString logoFileName(int index)
{
    return callLetters(index) + QLatin1String(".png");
}

QString logoSource(int index)
{
    return QLatin1String(logoFolderUrl.data(), static_cast<qsizetype>(logoFolderUrl.size())) +
           logoFileName(index);
}

} // namespace zarvo::demo
