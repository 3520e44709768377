#pragma once
// The pictures of the screens: one list of file names for the screens that show them and for
// tools/pictures, which draws them at build time into the "pictures" folder beside the program.
//
// A name is relative to that folder and carries the screen's own subfolder, because two screens
// use the same file name for different pictures (the menu's "cancel" item is a wide menu entry,
// the settings screen's Cancel a 180 x 36 button). Pictures that can be highlighted come in two
// looks: the plain name is the ordinary look, and "selected" put before the file part of the name
// is the highlighted one ("settings/save.png" and "settings/selectedsave.png"). Both looks of a
// picture have the same size, so swapping them never moves anything on screen.

#include <QDir>
#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <array>

namespace zarvo::ui {

namespace pictures {

// The folder below the program folder that holds every picture.
inline constexpr QLatin1String Folder{"pictures"};

// Splash screen: the product logo, 128 x 128.
inline constexpr QLatin1String Logo{"splash/logo.png"};

// Guide screen buttons, each in two looks.
inline constexpr QLatin1String ArrowUp{"guide/arrowup.png"};
inline constexpr QLatin1String Detail{"guide/detail.png"};
inline constexpr QLatin1String ArrowDown{"guide/arrowdown.png"};
inline constexpr QLatin1String SmallExit{"guide/smallexit.png"};
inline constexpr QLatin1String SmallSetup{"guide/smallsetup.png"};
inline constexpr QLatin1String Now{"guide/now.png"};
inline constexpr QLatin1String Prime{"guide/prime.png"};
inline constexpr QLatin1String ArrowLeft{"guide/arrowleft.png"};
inline constexpr QLatin1String ArrowRight{"guide/arrowright.png"};

// The picture of each of the guide's eleven buttons, by button index: a column of five (page
// up, go to the grid, page down, exit, settings) and a row of six (now, prime time, hour back
// and forward, day back and forward). The hour and day pairs share their arrows.
inline constexpr std::array<QLatin1String, 11> GuideButtons{
    ArrowUp, Detail,    ArrowDown,  SmallExit, SmallSetup, Now,
    Prime,   ArrowLeft, ArrowRight, ArrowLeft, ArrowRight};

// Guide screen pictures that are never selected: the title strip across the top and the
// captions of the hour pair and the day pair of buttons, each as wide as the pair of arrows.
// The column of buttons has one width and the row one height.
inline constexpr QLatin1String Banner{"guide/listingstop.png"};
inline constexpr QLatin1String HourCaption{"guide/hour.png"};
inline constexpr QLatin1String DayCaption{"guide/day.png"};

// Small badges drawn at the right edge of a programme cell for its recording state: this
// showing, the series on one channel, every showing of the title. RecordMarker is a plain
// recording badge that the grid itself does not use.
inline constexpr QLatin1String RecordOnceMarker{"guide/record1.png"};
inline constexpr QLatin1String SeasonMarker{"guide/season.png"};
inline constexpr QLatin1String AllMarker{"guide/all.png"};
inline constexpr QLatin1String RecordMarker{"guide/record.png"};

// Action menu items, each in two looks and all of one size, by item index.
inline constexpr QLatin1String MenuTitle{"menu/menu.png"};
inline constexpr QLatin1String RecordOnce{"menu/recordonce.png"};
inline constexpr QLatin1String RecordAll{"menu/recordall.png"};
inline constexpr QLatin1String RecordSeason{"menu/recordseason.png"};
inline constexpr QLatin1String DoNotRecord{"menu/donotrecord.png"};
inline constexpr QLatin1String Watch{"menu/watch.png"};
inline constexpr QLatin1String MenuCancel{"menu/cancel.png"};

inline constexpr std::array<QLatin1String, 7> MenuItems{
    MenuTitle, RecordOnce, RecordAll, RecordSeason, DoNotRecord, Watch, MenuCancel};

// Settings screen buttons, each in two looks, 180 x 36.
inline constexpr QLatin1String Save{"settings/save.png"};
inline constexpr QLatin1String Cancel{"settings/cancel.png"};

// Every picture that has a selected look (each name once).
inline constexpr std::array<QLatin1String, 18> WithSelectedLook{
    ArrowUp,      Detail,      ArrowDown,  SmallExit,  SmallSetup, Now,
    Prime,        ArrowLeft,   ArrowRight, MenuTitle,  RecordOnce, RecordAll,
    RecordSeason, DoNotRecord, Watch,      MenuCancel, Save,       Cancel};

// Every picture that has one look only.
inline constexpr std::array<QLatin1String, 8> WithOneLook{
    Logo, Banner, HourCaption, DayCaption, RecordOnceMarker, SeasonMarker, AllMarker, RecordMarker};

} // namespace pictures

// The name of the highlighted look of a picture: "selected" before the file part of its name.
inline QString selectedPicture(const QString& name)
{
    const qsizetype fileStart = name.lastIndexOf(QLatin1Char('/')) + 1;
    return name.left(fileStart) + QLatin1String("selected") + name.mid(fileStart);
}

// Every picture file the screens may load, both looks included.
inline QStringList allPictureFiles()
{
    QStringList names;
    for (const QLatin1String name : pictures::WithSelectedLook)
        names << name << selectedPicture(name);
    for (const QLatin1String name : pictures::WithOneLook)
        names << name;
    return names;
}

// The full path of a picture below the program folder.
inline QString picturePath(const QString& programFolder, const QString& name)
{
    return QDir(programFolder).filePath(QString(pictures::Folder) + QLatin1Char('/') + name);
}

} // namespace zarvo::ui
