#pragma once

#include "activity/DateRange.h"

#include <QString>

#include <optional>

namespace tallyrow {

/// The option a refused request points the user to.
enum class PreviewOption { DateRange, Units, Days };

/// Why a request was refused: the message to show and the option to bring into focus.
struct PreviewProblem {
    QString message;
    PreviewOption focus = PreviewOption::DateRange;
};

/// Either a report's inputs or the reason there are none.
template <typename Inputs> struct PreviewRequest {
    std::optional<Inputs> inputs;
    PreviewProblem problem; ///< meaningful when `inputs` is empty

    static PreviewRequest refused(const PreviewProblem& problem) {
        PreviewRequest request;
        request.problem = problem;
        return request;
    }
};

/// The problem of a range that ends before it starts; nothing for a sound one. Every report's
/// check asks it first.
std::optional<PreviewProblem> dateRangeProblem(const DateRange& range);

/// The problem of a weekday set with no day in it; nothing when a day counts.
std::optional<PreviewProblem> noWeekdayProblem(bool noneSelected);

} // namespace tallyrow
