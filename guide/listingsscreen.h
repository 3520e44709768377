#pragma once
// frmListings, the guide screen: the banner, the detail panel of eight labels, a column of five
// and a row of six picture buttons, and the listings grid of nine channels by two half hours.
// The program has one at a time (app/screens.h creates it, and unloads it).
//
// Lifecycle. The first time the screen is shown it loads: it checks today's listings, fetches
// and imports them when they are missing (lbltitle tells what is going on meanwhile), fills the
// grid at the present hour with button 1 selected. It records its layout and maximizes before
// the fetch, so that the screen tells at full size what it is doing ("Fetching the listings of
// Sun 12/06 ..." on the title line, the grabber's progress on the line below). When the day
// cannot be loaded, a panel over the grid shows loadErrorText and under it the cause
// (acquire/loadfailure.h); OK (Enter) then emits loadFailureAcknowledged, or exitRequested
// when nothing is connected to it. Later showings only re-apply the opacity setting. Resizing
// rescales every control, the grid's cells and the fonts from the design size of 12120 × 8670
// twips. Closing the screen asks for the program's end (exitRequested).
//
// Keys arrive as virtual-key codes and go to the GuideNavigator (guide/navigation.h): from the
// screen while a button is selected, and from the grid while it has the focus; an arrow the grid
// cannot follow at its edge goes on to the next or previous page or hour. The mouse wheel pages
// like B (towards the viewer) and V (away).
//
// The grid knows the present (the clock's): in a window that holds it, a line across the
// programme columns at the present minute; a running programme's cell shows how far it has run,
// an ended one's is dimmed; each programme cell is tinted by its genre (ui/genretint.h), and one
// whose programme began before the window or goes on after it shows an arrow on that side
// (guide/timeline.h). lblTime shows the time of day, to the second. A timer calls updateClock()
// every second, which moves the rest once a minute.
//
// Texts that do not fit their room end in "…"; a rerun's " (Repeat)" stays in sight after a
// description that is cut.
//
// Controls carry their form names as object names: "theGrid"; "piclistings0" to "piclistings10"
// for the buttons and "piclistings11" for the banner; "pichour" and "picday" for the captions;
// "lbltitle", "lbldesc", "lblsubtitle", "lblRating", "lblcategory", "lblTime", "lblChannel",
// "lblTimes" for the detail labels.
//
// The listings work (the store, loading a day, filling a page) is the screen's GuideSession
// (guide/guidesession.h); the screen paints what it fills and tells what it reports. Its
// pictures come from the program folder's pictures/ folder and the channel logos from its
// logos/ folder.

#include "guide/guidesession.h"
#include "guide/navigation.h"
#include "ui/forms.h"

#include <QHash>
#include <QPixmap>
#include <QWidget>

#include <array>
#include <map>

class QFrame;
class QLabel;
class QTimer;

namespace zarvo {

namespace ui {
class Grid;
class PictureButton;
} // namespace ui

class ListingsScreen : public QWidget, private GuideView
{
    Q_OBJECT
public:
    // The design size the layout is drawn at, in twips.
    static constexpr int DesignWidth = 12120;
    static constexpr int DesignHeight = 8670;

    // The program's grabber, state, folder and clock, and its listings database (see
    // GuideSession); all must outlive the screen.
    ListingsScreen(const LoadContext& program, GuideSession::StoreSource store,
                   QWidget* parent = nullptr);
    ~ListingsScreen() override;

    // True once the first load has run to its end (whether or not the day could be loaded).
    bool isLoadComplete() const { return m_loadComplete; }
    // The failure panel is up (the first load failed and OK has not been pressed yet).
    bool isShowingLoadFailure() const;
    // The panel's texts: loadErrorText, a line break, the cause.
    QString loadFailureText() const;
    GuideNavigator& navigator() { return m_navigator; }
    // The page the grid shows.
    const GridPage& page() const { return m_session.page(); }
    const GridState& gridModel() const { return m_session.gridState(); }
    // The alpha of the last opacity applied (255 opaque).
    int alpha() const { return m_alpha; }

    // Lays every control out at the scale factors (window size / design size), then the grid's
    // columns (1/5, 2/5, 2/5 of its width) and rows (1/10 of its height), then the fonts
    // (design point size × yratio).
    void formatPics(double xratio, double yratio);
    // Shows the marks of the current page as they are stored now, keeping the current cell.
    void refreshMarks();
    // The programme of the grid's current cell; nullptr when that cell is empty.
    const GridCell* currentCell() const;
    // Shows the showing of channel `channelid` that starts at `start` (a naive wall-clock
    // value) in the guide: its window (the hour it starts in, or today's first hour for a
    // showing that began yesterday evening), the channel's page, and its cell as the current
    // cell, with the grid focused. False, with nothing changed, when the guide is busy or the
    // channel is unknown.
    bool showProgramme(const QString& channelid, const QDateTime& start);

    // lblTime to the clock's present second; and once the minute has changed since the grid
    // was last marked, the now line, the progress bars and the dimmed cells again. Nothing
    // before the first load has shown a page, nor while the failure panel is up.
    void updateClock();
    // The lines a detail label ("lbldesc", "lbltitle", ...) paints in its room: elided, or the
    // description wrapped and cut. Empty for a name that is no detail label.
    QStringList shownLines(const QString& labelName) const;

Q_SIGNALS:
    // The first load has ended; `loaded` is false when the day could not be loaded.
    void loadFinished(bool loaded);
    // OK on the failure panel: the viewer is ready to choose another grabber.
    void loadFailureAcknowledged();
    // Enter on a programme cell of the focused grid (row 1..9, column 1..2).
    void programChosen(int row, int column);
    // The settings command: the guide has hidden itself for the settings screen. With nothing
    // connected (no settings screen yet) the guide shows itself again at once.
    void settingsRequested();
    // The program's orderly end: the exit command, closing the window, OK on the failure panel
    // with nothing connected to loadFailureAcknowledged.
    void exitRequested();
    // The program's end at once, with nothing unloaded: a double click on the background.
    void endNowRequested();
    // I or Info: the info screen for currentCell().
    void infoRequested();
    // F: the search screen, prefilled with currentCell()'s title (when there is one).
    void searchRequested();
    // R: the standing rules and recordings.
    void recordingsRequested();
    // The remote's Record button on a programme cell (row 1..9, column 1..2): record this
    // showing at once.
    void recordRequested(int row, int column);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // GuideView
    GridState& gridState() override { return m_session.gridState(); }
    bool displayListings() override;
    bool hasNextPage() const override { return m_session.hasNextPage(); }
    void beginRefill() override;
    void endRefill() override;
    void initForm() override;
    bool checkForPrograms(QDate day) override { return m_session.checkForPrograms(day); }
    void getListings(const QDateTime& day) override;
    void showLoadFailure(const QString& message) override;
    void showButtonSelected(int button, bool selected) override;
    void setGridFocus(bool focused) override;
    void setWindowState(GuideWindowState state) override;
    void showSettings() override;
    void exitProgram() override;
    void showInfo() override;
    void showSearch() override;
    void showRecordings() override;
    void recordCurrentProgramme() override;
    GridPosition currentPosition() const override;
    void setCurrentPosition(GridPosition position) override;

    void buildControls();
    void connectSession();
    void load();
    void showLoadFailure();
    void acknowledgeLoadFailure();
    void endProgram(bool immediately);
    void layoutGridCells();
    void paintPage();
    void fillDetail(int row, int column);
    // Tints, progress, dimming, arrows and the now line of the page painted, at `now`.
    void markTimes(const QDateTime& now);
    void chooseProgram();
    QPixmap logo(const QString& icon);
    QPixmap picture(const QString& name) const;

    ui::Grid* m_grid = nullptr;
    std::array<ui::PictureButton*, guidebutton::Count> m_buttons{};
    QWidget* m_banner = nullptr;
    ui::PictureButton* m_hourCaption = nullptr;
    ui::PictureButton* m_dayCaption = nullptr;
    QLabel* m_lbltitle = nullptr;
    QLabel* m_lbldesc = nullptr;
    QLabel* m_lblsubtitle = nullptr;
    QLabel* m_lblRating = nullptr;
    QLabel* m_lblcategory = nullptr;
    QLabel* m_lblTime = nullptr;
    QLabel* m_lblChannel = nullptr;
    QLabel* m_lblTimes = nullptr;
    QFrame* m_failurePanel = nullptr;
    QLabel* m_failureHeadline = nullptr;
    QLabel* m_failureCause = nullptr;
    QLabel* m_failureHint = nullptr;

    AppState& m_state;
    const ProgramFolder& m_folder;
    const Clock& m_clock;
    ui::LayoutTable m_layout;
    GuideSession m_session;
    GuideNavigator m_navigator;
    // Logos by file name; a logo that could not be read is kept as a null picture, so a
    // missing file is looked for once per import, not on every page.
    QHash<QString, QPixmap> m_logos;
    std::map<Mark, QPixmap> m_markers;
    QTimer* m_clockTimer = nullptr;
    // The window of the page painted, and the minute its cells were last marked at.
    QDateTime m_paintedWindow;
    QDateTime m_markedMinute;
    // Wheel turns not yet a whole notch (touchpads send fractions).
    int m_wheelAngle = 0;
    int m_refillDepth = 0;
    int m_alpha = 255;
    bool m_loadStarted = false;
    bool m_layoutRecorded = false;
    bool m_loadComplete = false;
    bool m_ending = false;
};

} // namespace zarvo
