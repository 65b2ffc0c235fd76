#include "reports/PreviewCheck.h"

using namespace Qt::StringLiterals;

namespace tallyrow {

std::optional<PreviewProblem> dateRangeProblem(const DateRange& range) {
    if (range.end < range.start)
        return PreviewProblem{u"The End date needs to be after the Start date."_s, PreviewOption::DateRange};
    return std::nullopt;
}

std::optional<PreviewProblem> noWeekdayProblem(bool noneSelected) {
    if (noneSelected)
        return PreviewProblem{u"You need to select at least one day."_s, PreviewOption::Days};
    return std::nullopt;
}

} // namespace tallyrow
