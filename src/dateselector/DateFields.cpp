#include "dateselector/DateFields.h"

namespace tallyrow {

DateFields::~DateFields() = default;

} // namespace tallyrow
