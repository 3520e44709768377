#pragma once
// A small RAII layer over the SQLite C API. The program uses it only inside store/ (the rest works
// through ListingsStore, whose operations are its units of work); tests use it to reach the file
// beside the store.
//
// Statements are always prepared and their values bound; nothing here pastes values into SQL
// text. Every failure throws StoreError with SQLite's message and the statement concerned.

#include "store/storeerror.h"

#include <QByteArray>
#include <QString>

#include <string_view>

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace zarvo {

class Statement;

// UTF-8 text as a QString, a leading U+FEFF kept: QString::fromUtf8() takes it for a byte-order
// mark and drops it, which would change a stored text on its way back.
QString textFromUtf8(const char* data, qsizetype size);

class Database
{
public:
    // OpenExisting opens an existing file for reading and writing; CreateIfMissing also creates
    // it; ReadOnly opens an existing file without any right to change it (SQLite then refuses
    // even to roll back an interrupted transaction, see SQLITE_READONLY_ROLLBACK).
    enum class Mode { OpenExisting, CreateIfMissing, ReadOnly };
    // Opens (or creates) the file, with extended result codes and a busy timeout of five
    // seconds. Throws StoreError when it cannot.
    Database(const QString& path, Mode mode);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs statements without values (schema, pragmas). Throws on failure.
    void exec(const char* sql);
    Statement prepare(const char* sql);
    qint64 lastInsertRowId() const;
    int changes() const;
    sqlite3* handle() const { return m_db; }
    QString path() const { return m_path; }

private:
    sqlite3* m_db = nullptr;
    QString m_path;
};

// A prepared statement. Bind values by 1-based index, then step() through the rows.
class Statement
{
public:
    Statement(Database& db, const char* sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;

    Statement& bind(int index, const QString& text); // a null QString binds NULL
    Statement& bind(int index, qint64 value);
    Statement& bind(int index, int value) { return bind(index, qint64(value)); }
    Statement& bind(int index, double value);
    Statement& bindNull(int index);
    // Binds UTF-8 text given as bytes (copied), for callers that format values themselves.
    Statement& bindUtf8(int index, const char* data, int size);
    Statement& bind(int index, const std::optional<QString>& text);
    // Binds UTF-8 text in place, without a copy: the bytes must stay as they are until the
    // statement has run (step() to the end) or is bound anew.
    Statement& bindInPlace(int index, std::string_view utf8);

    // Advances to the next row: true while there is one. Throws on error (the statement is then
    // reset, so that it can be used again).
    bool step();
    // Runs a statement that returns no rows (steps it to the end) and rewinds it for reuse.
    void run();
    // Clears the bindings and rewinds, ready for the next set of values.
    void reset();
    // Rewinds but keeps the bindings: cheaper than reset() for a statement run again and again
    // whose every parameter is bound anew before each run.
    void rewind();

    QString text(int column) const;
    std::optional<QString> optionalText(int column) const; // nullopt for NULL
    qint64 integer(int column) const;
    bool isNull(int column) const;
    int columnCount() const;

private:
    Database* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QByteArray* textBuffer(int index);

    // The UTF-8 bytes of each text parameter, which SQLite reads in place while bound.
    std::vector<QByteArray> m_texts;
};

// Begins a transaction; commit() makes it stick, otherwise the destructor rolls it back.
class Transaction
{
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& m_db;
    bool m_done = false;
};

} // namespace zarvo
