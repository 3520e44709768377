#include "guide/searchscreen.h"

#include "base/clock.h"

#include "guide/showingtext.h"
#include "ui/keycodes.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

namespace zarvo {
namespace {

// More rows than a viewer pages through with a remote; a short text that matches half the
// listings is narrowed by typing on.
constexpr std::size_t MaxShown = 200;
// The pause after a key before the text is looked up, so that typing is not held up.
constexpr int TypingPauseMs = 300;

// A showing by channel and start, as the guide is asked for it.
std::pair<QString, QDateTime> showingKey(const ListingRow& row)
{
    return {row.programme.channel, wallClock(row.programme.startdate, row.programme.starttime)};
}

} // namespace

SearchScreen::SearchScreen(const Clock& clock, StoreAccess store, QWidget* parent)
    : OverlayScreen(parent), m_clock(clock), m_store(std::move(store))
{
    setObjectName(QStringLiteral("frmSearch"));
    QLabel* heading = label("lblHeading", 22, true);
    heading->setText(QStringLiteral("Find a programme by its title"));
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("txtSearch"));
    m_text->setStyleSheet(QStringLiteral("QLineEdit { background: #0c1c48; color: white; "
                                         "border: 2px solid #dce8ff; padding: 2px 8px; }"));
    scaleWith(m_text, 20);
    m_text->installEventFilter(this);
    m_table = list("tblResults",
                   {QStringLiteral("Day"), QStringLiteral("Time"), QStringLiteral("Channel"),
                    QStringLiteral("Title")},
                   3, 18);
    m_status = label("lblStatus", 16, false, Tone::Secondary);
    m_status->setWordWrap(true);
    QLabel* hint = label("lblHint", 14, false, Tone::Secondary);
    hint->setText(QStringLiteral("Up and Down choose a showing, OK shows it in the guide. Escape "
                                 "or Back returns to the guide."));
    hint->setWordWrap(true);

    auto* box = new QVBoxLayout(this);
    box->addWidget(heading);
    box->addWidget(m_text);
    box->addWidget(m_status);
    box->addWidget(m_table, 1);
    box->addWidget(hint);

    m_typing = new QTimer(this);
    m_typing->setSingleShot(true);
    m_typing->setInterval(TypingPauseMs);
    connect(m_typing, &QTimer::timeout, this, &SearchScreen::search);
    connect(m_text, &QLineEdit::textEdited, m_typing, qOverload<>(&QTimer::start));
}

void SearchScreen::showFor(const QString& text, QWidget* guide)
{
    m_text->setText(text);
    search();
    showOver(guide);
    m_text->setFocus();
    // Typing replaces the title offered; Enter takes it as it is.
    m_text->selectAll();
}

int SearchScreen::currentResult() const
{
    return m_table->currentRow();
}

void SearchScreen::search()
{
    m_typing->stop();
    const QString text = m_text->text().trimmed();
    // The showing chosen stays chosen when the new results still hold it.
    std::optional<std::pair<QString, QDateTime>> chosen;
    if (const int row = m_table->currentRow(); row >= 0 && row < int(m_results.size()))
        chosen = showingKey(m_results[std::size_t(row)]);
    m_results.clear();
    m_table->setRowCount(0);
    if (text.isEmpty()) {
        m_status->setText(QStringLiteral("Type part of a title to find its showings."));
        return;
    }
    std::size_t found = 0;
    try {
        m_results =
            m_store().findShowings(text, ListingsStore::TitleMatch::Contains, m_clock.now().date());
        found = m_results.size();
        if (m_results.size() > MaxShown)
            m_results.resize(MaxShown);
    } catch (const Error& error) {
        m_status->setText(
            QStringLiteral("The listings could not be searched: %1").arg(error.message()));
        return;
    }
    if (m_results.empty()) {
        m_status->setText(QStringLiteral("Nothing found for \"%1\" in the listings stored from "
                                         "today on. Change the text to try again.")
                              .arg(text));
        return;
    }
    m_table->setRowCount(int(m_results.size()));
    for (std::size_t i = 0; i < m_results.size(); ++i) {
        const ProgrammeRow& p = m_results[i].programme;
        const QString texts[] = {showingDayText(p.startdate), showingTimeText(p.starttime),
                                 m_results[i].channel.channelname, p.title};
        for (int column = 0; column < 4; ++column)
            m_table->setItem(int(i), column, new QTableWidgetItem(texts[column]));
    }
    const auto again = std::find_if(m_results.begin(), m_results.end(),
                                    [&](const ListingRow& r) { return chosen == showingKey(r); });
    m_table->setCurrentCell(again == m_results.end() ? 0 : int(again - m_results.begin()), 0);
    m_status->setText(
        found > MaxShown
            ? QStringLiteral("The first %1 of %2 showings. Type more of the title to find fewer.")
                  .arg(MaxShown)
                  .arg(found)
        : found == 1 ? QStringLiteral("1 showing found.")
                     : QStringLiteral("%1 showings found.").arg(found));
}

void SearchScreen::keyReleased(int code)
{
    const int row = m_table->currentRow();
    switch (code) {
    case vk::Up:
        if (row > 0)
            m_table->setCurrentCell(row - 1, 0);
        break;
    case vk::Down:
        if (row + 1 < m_table->rowCount())
            m_table->setCurrentCell(row + 1, 0);
        break;
    case vk::Return:
        choose();
        break;
    default:
        break;
    }
}

void SearchScreen::choose()
{
    // Enter straight after typing: the results of the text as it stands.
    if (m_typing->isActive())
        search();
    const int row = m_table->currentRow();
    if (row < 0 || row >= int(m_results.size()))
        return;
    const auto [channelid, start] = showingKey(m_results[std::size_t(row)]);
    hide();
    Q_EMIT showingChosen(channelid, start);
}

bool SearchScreen::backspaceCloses() const
{
    return m_backspaceOnEmpty;
}

bool SearchScreen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_text)
        return OverlayScreen::eventFilter(watched, event);
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (event->type() == QEvent::KeyPress && key->key() == Qt::Key_Backspace &&
        !key->isAutoRepeat())
        m_backspaceOnEmpty = m_text->text().isEmpty();
    // The field keeps every release to itself: the keys that move, choose and close are taken
    // here, and the letters stay the field's.
    if (event->type() == QEvent::KeyRelease) {
        switch (ui::toVirtualKey(key->key())) {
        case vk::Up:
        case vk::Down:
        case vk::Return:
        case vk::Escape:
        case vk::BrowserBack:
        case vk::Back:
            return takeRelease(key);
        default:
            break;
        }
    }
    return false;
}

} // namespace zarvo
