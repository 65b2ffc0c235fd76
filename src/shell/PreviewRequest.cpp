#include "shell/PreviewRequest.h"

#include "shell/ReportOptions.h"

#include "support/Error.h"

#include <limits>
#include <utility>

using namespace Qt::StringLiterals;

namespace tallyrow {

std::variant<std::int32_t, PreviewProblem> typedUnits(const QString& text, const QLocale& locale) {
    if (!isNumericText(text, locale))
        return PreviewProblem{
            u"The value entered for \"Show total activity in groups of\" needs to be a number"_s,
            PreviewOption::Units};
    try {
        return ReadUnits(text);
    } catch (const Error&) {
        return PreviewProblem{
            u"The value entered for \"Show total activity in groups of\" is too large: enter "
            "a whole number up to %1."_s.arg(locale.toString(std::numeric_limits<std::int32_t>::max())),
            PreviewOption::Units};
    }
}

PreparedReport previewRequest(const ReportDescriptor& report, const ReportSettings& settings,
                              std::shared_ptr<ActivitySource> source) {
    // Every report judges the range first: it is the option the window shows first.
    if (auto problem = dateRangeProblem(settings.range))
        return {nullptr, *problem};
    return report.prepare(settings, std::move(source));
}

} // namespace tallyrow
