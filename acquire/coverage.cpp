#include "acquire/coverage.h"

#include "store/timerules.h"

namespace zarvo {

bool checkForPrograms(ListingsStore& store, QDate day)
{
    const int number = dayNumber(day);
    const std::optional<QDate> stored = store.storedDate(number);
    if (!stored)
        throw StoreError(QStringLiteral("checkForPrograms failed: dates column day%1 holds no date")
                             .arg(number));
    // Only the calendar day counts; neither value carries a time of day.
    return *stored == day;
}

} // namespace zarvo
