#pragma once
// The standing rules and recordings, over the guide (R on the guide), in three lists:
// - the standing rules (title, what the rule records, channel). Up and Down choose one; Enter
//   asks, in the program's message box, whether to remove it, and removes that one rule (its
//   title on its channel, "&" and "and" alike; the title's rules on other channels stay, and
//   programmes already marked stay marked). With no rules the list says so;
// - the marked programmes still to come (this showing, the series, every showing), those of the
//   stored days that have not ended by the clock, in time order;
// - the latest hand-offs to the recorder from the `recorded` log, newest first.
// Escape, Backspace, the remote's Back and R close it (closed()). Shown over the guide as
// ui::OverlayScreen. The lists are read when the screen is shown and after each removal.
//
// Controls carry object names: "tblRules" (Title, Records, Channel), "tblUpcoming" (Day, Time,
// Channel, Title, Recording), "tblLog" (Start, Title, Channel), "lblRulesHeading",
// "lblUpcomingHeading", "lblLogHeading", "lblHint".

#include "base/clock.h"
#include "store/listingsstore.h"
#include "ui/overlayscreen.h"

#include <functional>
#include <vector>

class QLabel;
class QTableWidget;

namespace zarvo {

class RecordingsScreen : public ui::OverlayScreen
{
    Q_OBJECT
public:
    // How many of the latest hand-offs are listed.
    static constexpr int LogShown = 8;
    using StoreAccess = std::function<ListingsStore&()>;

    // The clock and the store must outlive the screen; `store` gives the program's store.
    RecordingsScreen(const Clock& clock, StoreAccess store, QWidget* parent = nullptr);

    // Reads the lists and shows them over `guide` without waiting. Throws StoreError when the
    // store cannot be read; nothing is shown then.
    void showFor(QWidget* guide);
    // Reads the three lists again.
    void reload();
    const std::vector<RuleRow>& rules() const { return m_rules; }

protected:
    void keyReleased(int code) override;

private:
    void removeChosenRule();

    const Clock& m_clock;
    StoreAccess m_store;
    QTableWidget* m_rulesTable = nullptr;
    QTableWidget* m_upcomingTable = nullptr;
    QTableWidget* m_logTable = nullptr;
    QLabel* m_hint = nullptr;
    std::vector<RuleRow> m_rules;
};

} // namespace zarvo
