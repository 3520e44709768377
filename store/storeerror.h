#pragma once
// The one exception the listings store throws: an Error (base/error.h) with SQLite's code.

#include "base/error.h"

#include <QString>

namespace zarvo {

class StoreError : public Error
{
public:
    // `sqliteCode` is SQLite's extended result code when SQLite reported the failure, else 0.
    explicit StoreError(const QString& message, int sqliteCode = 0);
    int sqliteCode() const { return m_code; }

private:
    int m_code = 0;
};

} // namespace zarvo
