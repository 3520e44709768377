#include "record/recordingsscreen.h"

#include "guide/showingtext.h"
#include "ui/forms.h"
#include "ui/keycodes.h"

#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zarvo {
namespace {

QString ruleText(RuleType type)
{
    return type == RuleType::Season ? QStringLiteral("New showings on this channel")
                                    : QStringLiteral("Every showing, any channel");
}

QString markWords(std::optional<Mark> mark)
{
    switch (mark.value_or(Mark::Cleared)) {
    case Mark::Record:
        return QStringLiteral("This showing");
    case Mark::Season:
        return QStringLiteral("The series");
    case Mark::All:
        return QStringLiteral("Every showing");
    case Mark::Cleared:
        break;
    }
    return {};
}

// Fills `table` with `rows` of texts; with none, one row saying `empty`.
void fillTable(QTableWidget* table, const std::vector<QStringList>& rows, const QString& empty)
{
    table->clearContents();
    table->setRowCount(rows.empty() ? 1 : int(rows.size()));
    if (rows.empty()) {
        auto* item = new QTableWidgetItem(empty);
        item->setFlags(Qt::ItemIsEnabled);
        table->setItem(0, 0, item);
        table->setSpan(0, 0, 1, table->columnCount());
        return;
    }
    table->clearSpans();
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size() && c < table->columnCount(); ++c)
            table->setItem(int(r), c, new QTableWidgetItem(rows[r][c]));
}

} // namespace

RecordingsScreen::RecordingsScreen(const Clock& clock, StoreAccess store, QWidget* parent)
    : OverlayScreen(parent), m_clock(clock), m_store(std::move(store))
{
    setObjectName(QStringLiteral("frmRecordings"));
    QLabel* rulesHeading = label("lblRulesHeading", 20, true);
    rulesHeading->setText(QStringLiteral("Standing recording rules"));
    m_rulesTable = list(
        "tblRules", {QStringLiteral("Title"), QStringLiteral("Records"), QStringLiteral("Channel")},
        0, 17);
    QLabel* upcomingHeading = label("lblUpcomingHeading", 20, true);
    upcomingHeading->setText(QStringLiteral("Marked to record"));
    m_upcomingTable =
        list("tblUpcoming",
             {QStringLiteral("Day"), QStringLiteral("Time"), QStringLiteral("Channel"),
              QStringLiteral("Title"), QStringLiteral("Recording")},
             3, 17);
    m_upcomingTable->setSelectionMode(QAbstractItemView::NoSelection);
    QLabel* logHeading = label("lblLogHeading", 20, true);
    logHeading->setText(QStringLiteral("Latest requests handed to the recorder"));
    m_logTable =
        list("tblLog",
             {QStringLiteral("Start"), QStringLiteral("Title"), QStringLiteral("Channel")}, 1, 17);
    m_logTable->setSelectionMode(QAbstractItemView::NoSelection);
    m_hint = label("lblHint", 14, false, Tone::Secondary);
    m_hint->setWordWrap(true);

    auto* box = new QVBoxLayout(this);
    box->addWidget(rulesHeading);
    box->addWidget(m_rulesTable, 3);
    box->addWidget(upcomingHeading);
    box->addWidget(m_upcomingTable, 3);
    box->addWidget(logHeading);
    box->addWidget(m_logTable, 3);
    box->addWidget(m_hint);
}

void RecordingsScreen::showFor(QWidget* guide)
{
    reload();
    showOver(guide);
}

void RecordingsScreen::reload()
{
    ListingsStore& store = m_store();
    const int chosen = m_rulesTable->currentRow();
    m_rules = store.rules();
    std::vector<QStringList> rows;
    for (const RuleRow& rule : m_rules)
        rows.push_back({rule.programtitle, ruleText(rule.recordtype), rule.recordchannel});
    fillTable(m_rulesTable, rows,
              QStringLiteral("No standing rules. Choose \"Record the series\" or \"Record every "
                             "showing\" on a programme to make one."));
    if (!m_rules.empty())
        m_rulesTable->setCurrentCell(std::clamp(chosen, 0, int(m_rules.size()) - 1), 0);

    rows.clear();
    for (const ListingRow& row : store.markedShowings(m_clock.now())) {
        const ProgrammeRow& p = row.programme;
        rows.push_back({showingDayText(p.startdate), showingTimeText(p.starttime),
                        row.channel.channelname, p.title, markWords(p.action)});
    }
    fillTable(m_upcomingTable, rows, QStringLiteral("Nothing is marked to record from now on."));

    rows.clear();
    for (const RecordedRow& r : store.recordedLog()) {
        rows.push_back({r.realdate + QLatin1Char(' ') + r.realtime, r.title,
                        (r.channel + QLatin1Char(' ') + r.station).trimmed()});
        if (int(rows.size()) == LogShown)
            break;
    }
    fillTable(m_logTable, rows, QStringLiteral("No recording has been handed over yet."));

    m_hint->setText(m_rules.empty()
                        ? QStringLiteral("Escape or Back returns to the guide.")
                        : QStringLiteral("Up and Down choose a rule, OK removes it. Escape or "
                                         "Back returns to the guide."));
}

void RecordingsScreen::keyReleased(int code)
{
    const int row = m_rulesTable->currentRow();
    switch (code) {
    case vk::Up:
        if (row > 0)
            m_rulesTable->setCurrentCell(row - 1, 0);
        break;
    case vk::Down:
        if (row + 1 < int(m_rules.size()))
            m_rulesTable->setCurrentCell(row + 1, 0);
        break;
    case vk::Return:
        removeChosenRule();
        break;
    case 'R':
        dismiss();
        break;
    default:
        break;
    }
}

void RecordingsScreen::removeChosenRule()
{
    const int row = m_rulesTable->currentRow();
    if (row < 0 || row >= int(m_rules.size()))
        return;
    const RuleRow rule = m_rules[std::size_t(row)];
    const QString question =
        QStringLiteral("Remove the rule that records \"%1\" (%2, %3)?\n\nProgrammes already "
                       "marked stay marked; nothing new is recorded by this rule.")
            .arg(rule.programtitle, ruleText(rule.recordtype).toLower(), rule.recordchannel);
    if (!ui::confirm(this, question, QStringLiteral("Remove the rule"), QStringLiteral("Keep it")))
        return;
    try {
        m_store().deleteRule(rule.programtitle, rule.recordchannel);
        reload();
    } catch (const Error& error) {
        ui::messageBox(this,
                       QStringLiteral("The rule could not be removed: %1").arg(error.message()));
    }
}

} // namespace zarvo
