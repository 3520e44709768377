#include "guide/guidesession.h"

#include "acquire/coverage.h"
#include "acquire/loadfailure.h"
#include "guide/navigation.h"
#include "store/listingsstore.h"

#include <QCoreApplication>

#include <cassert>

namespace zarvo {

GuideSession::GuideSession(StoreSource store, QObject* parent)
    : QObject(parent), m_store(std::move(store))
{
}

GuideSession::GuideSession(StoreSource store, const LoadContext& program, QObject* parent)
    : QObject(parent), m_store(std::move(store)), m_program(program)
{
}

GuideSession::~GuideSession() = default;

ListingsStore& GuideSession::existingStore()
{
    if (ListingsStore* s = m_store())
        return *s;
    throw StoreError(QStringLiteral("There is no listings database."));
}

bool GuideSession::holdsDay(QDate day)
{
    ListingsStore* s = m_store();
    return s && zarvo::checkForPrograms(*s, day);
}

bool GuideSession::fill(const GridBuilder::Yield& yield)
{
    return m_builder.displayListings(existingStore(), yield);
}

void GuideSession::showPage(const QDateTime& windowStart, int page)
{
    showWindow(gridState(), windowStart);
    gridState().channelPage = page;
    fill();
}

std::optional<int> GuideSession::pageOfChannel(const QString& channelid)
{
    const Snapshot<ChannelRow> channels = existingStore().channels();
    const std::vector<ChannelRow>& rows = channels.rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].channelid == channelid)
            return int(i) / GridPage::MaxRows + 1;
    return std::nullopt;
}

bool GuideSession::startUp(GuideNavigator& navigator)
{
    assert(m_program && "a session that reads only does not load");
    m_lastGrab.reset();
    m_lastImport = ImportResult();
    const bool loaded = navigator.startUp();
    if (loaded)
        m_program->state.importInProgress = false;
    return loaded;
}

bool GuideSession::checkForPrograms(QDate day)
{
    try {
        return holdsDay(day);
    } catch (const StoreError&) {
        return false;
    }
}

void GuideSession::getListings(const QDateTime& day)
{
    assert(m_program && "a session that reads only does not load");
    int found = 0;
    ImportHooks hooks;
    hooks.progress = [&found](int count) { found = count; };
    // Told only when the events run, not for every stored row.
    hooks.yield = [this, &found] {
        if (found > 0)
            Q_EMIT programmesFound(found);
        QCoreApplication::processEvents();
    };
    // Only this load's grabber run is told: the minute tick's runs use the same runner.
    const QString grabberName = m_program->state.settings.grabberName;
    GrabberRunner* runner = &m_program->grabber;
    const QMetaObject::Connection started =
        connect(runner, &GrabberRunner::started, this,
                [=, this] { Q_EMIT fetchStarted(grabberName, day.date()); });
    const QMetaObject::Connection progress =
        connect(runner, &GrabberRunner::progress, this, [=, this](const QString& line) {
            const QString text = readableLine(line);
            if (!text.isEmpty())
                Q_EMIT grabberProgress(grabberName, text);
        });
    struct Disconnect
    {
        QMetaObject::Connection a, b;
        ~Disconnect()
        {
            QObject::disconnect(a);
            QObject::disconnect(b);
        }
    } const disconnectAtEnd{started, progress};

    const DayLoad load = loadDay(*m_program, existingStore(), day, FetchVariant::Guide, hooks);
    m_lastImport = load.import;
    m_lastGrab = load.grab;
    if (load.import.status == ImportResult::Status::Imported)
        Q_EMIT dayImported(load.import.programmes);
}

QString GuideSession::failureCause(QDate day) const
{
    assert(m_program && "a session that reads only does not load");
    return loadFailureCause(m_program->state.settings.grabberName, day, m_lastGrab, m_lastImport);
}

} // namespace zarvo
