#include "store/sqlite.h"

#include <QStringEncoder>

#include <sqlite3.h>

#include <cstring>

namespace zarvo {

namespace {

// Five seconds covers another connection's import commit; past that the caller hears about it.
constexpr int BusyTimeoutMs = 5000;

QString errorText(sqlite3* db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

int errorCode(sqlite3* db)
{
    return db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM;
}

QString sqlText(sqlite3_stmt* stmt)
{
    const char* sql = stmt ? sqlite3_sql(stmt) : nullptr;
    return sql ? QString::fromUtf8(sql) : QString();
}

} // namespace

StoreError::StoreError(const QString& message, int sqliteCode) : Error(message), m_code(sqliteCode)
{
}

// --- Database ---------------------------------------------------------------------------------

Database::Database(const QString& path, Mode mode) : m_path(path)
{
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
    case Mode::OpenExisting:
        flags |= SQLITE_OPEN_READWRITE;
        break;
    case Mode::CreateIfMissing:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    case Mode::ReadOnly:
        flags |= SQLITE_OPEN_READONLY;
        break;
    }
    const QByteArray file = path.toUtf8();
    const int rc = sqlite3_open_v2(file.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        // sqlite3_open_v2 hands back a handle even on failure, carrying the message.
        const QString message = errorText(m_db);
        const int code = errorCode(m_db);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw StoreError(QStringLiteral("Cannot open %1: %2").arg(path, message), code);
    }
    // Extended codes let callers tell an interrupted transaction (SQLITE_READONLY_ROLLBACK)
    // from other read-only failures.
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, BusyTimeoutMs);
}

Database::~Database()
{
    // A Statement that outlives its Database keeps the handle alive until it is finalized
    // (sqlite3_close_v2 defers the close), so the order of destruction cannot crash.
    sqlite3_close_v2(m_db);
}

void Database::exec(const char* sql)
{
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString text = message ? QString::fromUtf8(message) : errorText(m_db);
        sqlite3_free(message);
        throw StoreError(QStringLiteral("%1: %2 [%3]").arg(m_path, text, QString::fromUtf8(sql)),
                         errorCode(m_db));
    }
}

Statement Database::prepare(const char* sql)
{
    return Statement(*this, sql);
}

qint64 Database::lastInsertRowId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

int Database::changes() const
{
    return sqlite3_changes(m_db);
}

// --- Statement --------------------------------------------------------------------------------

Statement::Statement(Database& db, const char* sql) : m_db(&db)
{
    const int rc = sqlite3_prepare_v2(db.handle(), sql, -1, &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = errorText(db.handle());
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw StoreError(QStringLiteral("%1: cannot prepare [%2]: %3")
                             .arg(db.path(), QString::fromUtf8(sql), message),
                         errorCode(db.handle()));
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept
    : m_db(other.m_db), m_stmt(other.m_stmt), m_texts(std::move(other.m_texts))
{
    other.m_stmt = nullptr;
}

namespace {

[[noreturn]] void fail(Database* db, sqlite3_stmt* stmt, const char* what)
{
    throw StoreError(
        QStringLiteral("%1: %2 failed [%3]: %4")
            .arg(db->path(), QString::fromLatin1(what), sqlText(stmt), errorText(db->handle())),
        errorCode(db->handle()));
}

} // namespace

// Imports bind millions of texts. Each parameter's UTF-8 bytes live in a buffer of the
// statement that keeps its capacity from row to row, and SQLite reads them in place
// (SQLITE_STATIC) instead of allocating and copying each value twice. A buffer is only rewritten
// by the next bind of its parameter, which binds it again at once.
QByteArray* Statement::textBuffer(int index)
{
    if (index < 1 || index > sqlite3_bind_parameter_count(m_stmt))
        return nullptr;
    if (m_texts.size() < std::size_t(index))
        m_texts.resize(std::size_t(index));
    return &m_texts[std::size_t(index - 1)];
}

Statement& Statement::bind(int index, const QString& text)
{
    if (text.isNull())
        return bindNull(index);
    QByteArray* buffer = textBuffer(index);
    if (!buffer)
        return bindNull(index); // lets SQLite report the bad index
    QStringEncoder encoder(QStringEncoder::Utf8);
    buffer->resize(encoder.requiredSpace(text.size()));
    const char* end = encoder.appendToBuffer(buffer->data(), text);
    if (sqlite3_bind_text(m_stmt, index, buffer->constData(), int(end - buffer->constData()),
                          SQLITE_STATIC) != SQLITE_OK)
        fail(m_db, m_stmt, "bind");
    return *this;
}

Statement& Statement::bindUtf8(int index, const char* data, int size)
{
    QByteArray* buffer = textBuffer(index);
    if (!buffer)
        return bindNull(index);
    buffer->resize(size);
    if (size > 0)
        std::memcpy(buffer->data(), data, std::size_t(size));
    if (sqlite3_bind_text(m_stmt, index, buffer->constData(), int(buffer->size()), SQLITE_STATIC) !=
        SQLITE_OK)
        fail(m_db, m_stmt, "bind");
    return *this;
}

Statement& Statement::bindInPlace(int index, std::string_view utf8)
{
    // An empty view may have no data pointer, which SQLite would bind as NULL.
    const char* data = utf8.empty() ? "" : utf8.data();
    if (sqlite3_bind_text(m_stmt, index, data, int(utf8.size()), SQLITE_STATIC) != SQLITE_OK)
        fail(m_db, m_stmt, "bind");
    return *this;
}

Statement& Statement::bind(int index, qint64 value)
{
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK)
        fail(m_db, m_stmt, "bind");
    return *this;
}

Statement& Statement::bind(int index, double value)
{
    if (sqlite3_bind_double(m_stmt, index, value) != SQLITE_OK)
        fail(m_db, m_stmt, "bind");
    return *this;
}

Statement& Statement::bindNull(int index)
{
    if (sqlite3_bind_null(m_stmt, index) != SQLITE_OK)
        fail(m_db, m_stmt, "bind");
    return *this;
}

Statement& Statement::bind(int index, const std::optional<QString>& text)
{
    return text ? bind(index, *text) : bindNull(index);
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    // Keep the message before the reset, which may replace it.
    const QString message = errorText(m_db->handle());
    const int code = errorCode(m_db->handle());
    sqlite3_reset(m_stmt);
    throw StoreError(
        QStringLiteral("%1: step failed [%2]: %3").arg(m_db->path(), sqlText(m_stmt), message),
        code);
}

void Statement::run()
{
    while (step()) {
    }
    rewind();
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

void Statement::rewind()
{
    // Its result code repeats the last step's error, which step() has already reported.
    sqlite3_reset(m_stmt);
}

QString textFromUtf8(const char* data, qsizetype size)
{
    if (size < 3 || std::memcmp(data, "\xEF\xBB\xBF", 3) != 0)
        return QString::fromUtf8(data, size);
    return QChar(0xFEFF) + QString::fromUtf8(data + 3, size - 3);
}

QString Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    if (!data)
        return QString(); // NULL; an empty text comes back as "" (not null)
    return textFromUtf8(data, sqlite3_column_bytes(m_stmt, column));
}

std::optional<QString> Statement::optionalText(int column) const
{
    if (isNull(column))
        return std::nullopt;
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    // An empty text must stay distinguishable from NULL, so never hand back a null QString.
    QString value = textFromUtf8(data ? data : "", sqlite3_column_bytes(m_stmt, column));
    if (value.isNull())
        value = QStringLiteral("");
    return value;
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

// --- Transaction ------------------------------------------------------------------------------

Transaction::Transaction(Database& db) : m_db(db)
{
    // IMMEDIATE takes the write lock now, so that a second writer waits here (busy timeout)
    // instead of failing half-way through its work on a lock upgrade.
    m_db.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (m_done)
        return;
    // A destructor must not throw; after a failed rollback SQLite has ended the transaction
    // itself or the connection is unusable, and either way the changes are not committed.
    if (sqlite3_get_autocommit(m_db.handle()) == 0)
        sqlite3_exec(m_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit()
{
    m_db.exec("COMMIT");
    m_done = true;
}

} // namespace zarvo
