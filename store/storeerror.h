#pragma once
// The one exception the listings store throws.

#include <QString>

#include <stdexcept>

namespace zarvo {

class StoreError : public std::runtime_error
{
public:
    // `sqliteCode` is SQLite's extended result code when SQLite reported the failure, else 0.
    explicit StoreError(const QString& message, int sqliteCode = 0);
    QString message() const { return QString::fromUtf8(what()); }
    int sqliteCode() const { return m_code; }

private:
    int m_code = 0;
};

} // namespace zarvo
