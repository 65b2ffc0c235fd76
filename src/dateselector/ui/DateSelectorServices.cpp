#include "dateselector/ui/DateSelector.h"

#include "support/Services.h"

namespace tallyrow {

// Kept apart so that code built with its own clock and locale does not need the process services.
DateSelector::DateSelector(QWidget* parent)
    : DateSelector([] { return services().today(); }, services().locale(), parent) {}

} // namespace tallyrow
