#pragma once
// The guide's listings work without widgets: the grid builder over the listings database it is
// given, whether a day is stored, loading a missing day (fetching it first) with what that load
// did kept for the failure's cause, and the page of a window. The guide screen paints the pages
// it fills and shows what a load reports; the command line's grid command fills a page the same
// way and prints it.

#include "acquire/dayloader.h"
#include "guide/gridbuilder.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace zarvo {

class GuideNavigator;

class GuideSession : public QObject
{
    Q_OBJECT
public:
    // Gives the listings database the session works through, asked for at each use and never
    // kept: the program's one store (Program::store()), or one the caller keeps for the
    // session's life. Null when there is no database yet: nothing is stored then. Throws
    // StoreError when it cannot be opened; the next use asks again.
    using StoreSource = std::function<ListingsStore*()>;

    // Reads the stored days only.
    explicit GuideSession(StoreSource store, QObject* parent = nullptr);
    // Reads, and loads missing days with the program's grabber, state, folder and clock, which
    // must outlive the session.
    GuideSession(StoreSource store, const LoadContext& program, QObject* parent = nullptr);
    ~GuideSession() override;

    GridState& gridState() { return m_builder.state(); }
    const GridState& gridState() const { return m_builder.state(); }
    // The page of the last complete fill, and whether channels follow it.
    const GridPage& page() const { return m_builder.page(); }
    bool hasNextPage() const { return m_builder.hasNextPage(); }

    // True when the listings of `day` are stored. Throws StoreError when they cannot be read.
    bool holdsDay(QDate day);
    // Fills the page gridState() names (GridBuilder::displayListings), calling `yield` now and
    // then; false when a fill is already running. Throws as displayListings does.
    bool fill(const GridBuilder::Yield& yield = {});
    // The window at `windowStart` on channel page `page` (the last page when there are fewer),
    // as a new window shown and paged down.
    void showPage(const QDateTime& windowStart, int page);
    // The channel page (1-based) on which the channel `channelid` shows, or nullopt when there
    // is no such channel. Throws StoreError.
    std::optional<int> pageOfChannel(const QString& channelid);

    // --- loading (a session made with the program only) ---------------------------------------

    // The guide's first load through `navigator` (GuideNavigator::startUp); what an earlier load
    // did is forgotten first, and a load that succeeded leaves no import marked as running.
    bool startUp(GuideNavigator& navigator);
    // Whether `day` is stored, as a load sees it: a store that cannot be read counts as missing
    // (the import that follows says what is wrong with it).
    bool checkForPrograms(QDate day);
    // Imports the day file of `day`; when there is none, runs the grabber (the guide's fetch)
    // and imports what it wrote, letting events run meanwhile (loadDay). The signals below tell
    // how it goes. Throws StoreError.
    void getListings(const QDateTime& day);
    // Why the last load failed, for a window on `day`, in the viewer's words
    // (acquire/loadfailure.h); empty when there is nothing to add to loadErrorText.
    QString failureCause(QDate day) const;

Q_SIGNALS:
    // The grabber named `grabber` (the grabberName setting) has started to fetch `day`.
    void fetchStarted(const QString& grabber, QDate day);
    // A line of the grabber's progress, made readable; never empty.
    void grabberProgress(const QString& grabber, const QString& line);
    // While a day's rows are stored: how many so far, now and then while events run.
    void programmesFound(int count);
    // A day was imported with `programmes` rows; its listings may name logos missing before.
    void dayImported(int programmes);

private:
    // The store, throwing StoreError when there is no database.
    ListingsStore& existingStore();

    StoreSource m_store;
    std::optional<LoadContext> m_program;
    GridBuilder m_builder;
    // What the last load did, for the failure's cause.
    std::optional<GrabberResult> m_lastGrab;
    ImportResult m_lastImport;
};

} // namespace zarvo
