#pragma once
// The programme's info, over the guide (I or the remote's Info on the guide): the whole of what
// the listings say about the programme of the grid's current cell, where the detail panel has
// room for two lines of it. From the top: the title; the subtitle; the channel's logo (the
// program folder's logos/) and name; day, times and length; the category on its genre's tint
// (ui/genretint.h), the rating and whether it is a repeat; the whole stored description; and the
// next showings of the same title in the stored days from today on ("&" and "and" alike; those
// starting with it on other channels too), a day, time and channel a line, MaxNextShowings at
// most.
//
// Escape, Backspace, the remote's Back, I and Info close it (closed()); the program's wiring
// then gives the guide's grid the focus again. Shown over the guide as ui::OverlayScreen.
//
// Controls carry object names: "lblTitle", "lblSubtitle", "picLogo", "lblChannel", "lblWhen",
// "lblCategory", "lblRating", "lblRepeat", "lblDescription", "lblNextHeading", "lblNext",
// "lblHint".

#include "base/clock.h"
#include "base/programfolder.h"
#include "guide/gridbuilder.h"
#include "ui/overlayscreen.h"

#include <QPixmap>

#include <functional>

class QLabel;

namespace zarvo {

class InfoScreen : public ui::OverlayScreen
{
    Q_OBJECT
public:
    // How many next showings are listed at most.
    static constexpr int MaxNextShowings = 6;
    using StoreAccess = std::function<ListingsStore&()>;

    // All but the parent must outlive the screen; `store` gives the program's store.
    InfoScreen(const ProgramFolder& folder, const Clock& clock, StoreAccess store,
               QWidget* parent = nullptr);

    // Fills the screen for `cell` (its row is read again from the store, for the whole
    // description and the channel's logo) and shows it over `guide` without waiting. Throws
    // StoreError when the store cannot be read; nothing is shown then.
    void showFor(const GridCell& cell, QWidget* guide);

protected:
    void keyReleased(int code) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fill(const GridCell& cell);
    // The logo at one and a half times the channel name's height.
    void resizeLogo();

    const ProgramFolder& m_folder;
    const Clock& m_clock;
    StoreAccess m_store;
    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
    QLabel* m_logo = nullptr;
    QLabel* m_channel = nullptr;
    QLabel* m_when = nullptr;
    QLabel* m_category = nullptr;
    QLabel* m_rating = nullptr;
    QLabel* m_repeat = nullptr;
    QLabel* m_description = nullptr;
    QLabel* m_nextHeading = nullptr;
    QLabel* m_next = nullptr;
    QPixmap m_logoPicture;
};

} // namespace zarvo
