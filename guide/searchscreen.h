#pragma once
// The title search, over the guide (F on the guide): a text field, prefilled with the title of
// the grid's current programme, and the showings of the stored days from today on whose titles
// contain the text (ListingsStore::findShowings: letter case aside, "&" and "and" alike), a day,
// time, channel and title a line, in time order. The results follow the text as it is typed
// (a moment after the last key). Up and Down move through them; Enter on one closes the search
// and asks for that showing in the guide (showingChosen). With nothing found the screen says
// so. Escape and the remote's Back close it (closed()); Backspace takes back a letter, and
// closes it only on an empty field.
//
// Controls carry object names: "lblHeading", "txtSearch", "tblResults" (columns Day, Time,
// Channel, Title), "lblStatus", "lblHint".

#include "base/clock.h"
#include "store/listingsstore.h"
#include "ui/overlayscreen.h"

#include <QDateTime>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;

namespace zarvo {

class SearchScreen : public ui::OverlayScreen
{
    Q_OBJECT
public:
    using StoreAccess = std::function<ListingsStore&()>;

    // The clock and the store must outlive the screen; `store` gives the program's store.
    SearchScreen(const Clock& clock, StoreAccess store, QWidget* parent = nullptr);

    // Shows the search over `guide` with `text` in the field and its results, without waiting.
    // A store error is told on the screen's status line.
    void showFor(const QString& text, QWidget* guide);
    // Looks the field's text up now (the typing's own search waits for a pause).
    void search();
    // What the last search found, in the order shown.
    const std::vector<ListingRow>& results() const { return m_results; }
    int currentResult() const;

Q_SIGNALS:
    // Enter on a result: the search has closed (closed() is not emitted); the guide should show
    // the showing of `channelid` starting at `start` (date and time as listed).
    void showingChosen(const QString& channelid, const QDateTime& start);

protected:
    void keyReleased(int code) override;
    bool backspaceCloses() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choose();

    const Clock& m_clock;
    StoreAccess m_store;
    QLineEdit* m_text = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_typing = nullptr;
    std::vector<ListingRow> m_results;
    // The field was empty when Backspace went down: its release closes the search.
    bool m_backspaceOnEmpty = false;
};

} // namespace zarvo
