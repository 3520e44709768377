#include "ui/genretint.h"

namespace zarvo::ui {

QColor genreTint(Genre genre)
{
    switch (genre) {
    case Genre::Children:
        return {66, 54, 20};
    case Genre::Sport:
        return {24, 58, 34};
    case Genre::News:
        return {70, 36, 30};
    case Genre::Documentary:
        return {20, 54, 60};
    case Genre::Film:
        return {54, 32, 70};
    case Genre::Series:
        return {28, 44, 76};
    case Genre::Entertainment:
        return {70, 28, 56};
    case Genre::Other:
        break;
    }
    return {22, 26, 36};
}

} // namespace zarvo::ui
