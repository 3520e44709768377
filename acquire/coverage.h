#pragma once
// Whether the listings of a calendar day are in the database.

#include "store/listingsstore.h"

#include <QDate>

namespace zarvo {

// True when the `dates` column of the day's weekday holds that same calendar day. Throws
// StoreError when the `dates` row is missing or the column holds no date.
bool checkForPrograms(ListingsStore& store, QDate day);

} // namespace zarvo
