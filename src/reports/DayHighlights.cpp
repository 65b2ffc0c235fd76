#include "reports/DayHighlights.h"

#include "reports/LayoutHelpers.h"
#include "reports/ReportTexts.h"
#include "reports/DayNumbers.h"

#include <algorithm>
#include <cmath>

namespace tallyrow {

namespace {

double channelLuminance(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double relativeLuminance(const QColor& color) {
    return 0.2126 * channelLuminance(color.red()) + 0.7152 * channelLuminance(color.green()) +
           0.0722 * channelLuminance(color.blue());
}

int mix(int from, int to, double share) {
    return int(std::lround(from + (to - from) * share));
}

// The whole minutes of the weekday columns of hour h, as the table shows them.
std::int32_t cellMinutes(const HourGrid& grid, int hour, int weekdayIndex) {
    return wholeMinutes(grid[hour][reportWeekdays()[weekdayIndex].remainder]);
}

double weekdaySeconds(const HourGrid& grid, const DayReportInputs& inputs) {
    double sum = 0;
    for (int i = 0; i < 7; ++i) {
        if (!isWeekdaySelected(inputs, i))
            continue;
        for (int h = 0; h < 24; ++h)
            sum += grid[h][reportWeekdays()[i].remainder];
    }
    return sum;
}

} // namespace

QColor dayShadeColor(double value, double largest) {
    const double share = largest > 0 ? std::clamp(value / largest, 0.0, 1.0) : 0.0;
    const QColor& blue = layout::kDarkBlue;
    return QColor(mix(255, blue.red(), share), mix(255, blue.green(), share), mix(255, blue.blue(), share));
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableTextColor(const QColor& background) {
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrastRatio(background, black) >= contrastRatio(background, white) ? black : white;
}

std::int32_t dayShadeMaximum(const HourGrid& grid, const DayReportInputs& inputs) {
    std::int32_t largest = 0;
    for (int h = 0; h < 24; ++h) {
        for (int i = 0; i < 7; ++i) {
            if (isWeekdaySelected(inputs, i))
                largest = std::max(largest, cellMinutes(grid, h, i));
        }
        largest = std::max(largest, wholeMinutes(grid[h][AllDaysColumn]));
    }
    return largest;
}

std::array<std::int32_t, 5> dayShadeLegendValues(std::int32_t largest) {
    std::array<std::int32_t, 5> values{};
    for (int i = 0; i < int(values.size()); ++i)
        values[i] = std::int32_t(roundHalfEven(largest * i / double(values.size() - 1)));
    return values;
}

DateRange previousDayRange(const DateRange& range) {
    const qint64 shift = std::max<qint64>(range.days(), 7);
    return {range.start.addDays(-shift), range.end.addDays(-shift)};
}

DayKeyFigures dayKeyFigures(const HourGrid& shown, const HourGrid& totals, const HourGrid& previousTotals,
                            const DayReportInputs& inputs) {
    DayKeyFigures f;
    f.activeSeconds = weekdaySeconds(totals, inputs);
    f.previousSeconds = weekdaySeconds(previousTotals, inputs);
    f.previous = previousDayRange(inputs.range);
    // Whether there was activity is a question for the totals: a minimum, or a few seconds
    // averaged over the weekdays, shows 0 everywhere although the range holds activity.
    if (f.activeSeconds <= 0)
        return f;
    for (int h = 0; h < 24; ++h) {
        const std::int32_t minutes = wholeMinutes(shown[h][AllDaysColumn]);
        if (f.busiestHour < 0 || minutes > f.busiestHourMinutes) {
            f.busiestHour = h;
            f.busiestHourMinutes = minutes;
        }
    }
    for (int i = 0; i < 7; ++i) {
        if (!isWeekdaySelected(inputs, i))
            continue;
        std::int32_t minutes = 0;
        for (int h = 0; h < 24; ++h)
            minutes += cellMinutes(shown, h, i);
        if (f.busiestWeekday < 0 || minutes > f.busiestWeekdayMinutes) {
            f.busiestWeekday = i;
            f.busiestWeekdayMinutes = minutes;
        }
    }
    return f;
}

QStringList dayKeyFigureTexts(const DayKeyFigures& f, const QLocale& locale) {
    const QString none = QStringLiteral("no activity in the range");
    QStringList lines;
    lines
        << QStringLiteral("Busiest hour: ") +
               (f.busiestHour < 0
                    ? none
                    : QStringLiteral("%1 (%2 min)").arg(hourLabel(f.busiestHour)).arg(f.busiestHourMinutes));
    lines << QStringLiteral("Busiest weekday: ") + (f.busiestWeekday < 0
                                                        ? none
                                                        : QStringLiteral("%1 (%2 min)")
                                                              .arg(weekdayNames()[f.busiestWeekday])
                                                              .arg(f.busiestWeekdayMinutes));
    lines << QStringLiteral("Active hours in the range: ") +
                 reportNumber(f.activeSeconds / 3600.0, 1, locale);
    QString change;
    if (f.previousSeconds <= 0) {
        change = QStringLiteral("no activity in the previous range");
    } else {
        change = percentChangeText((f.activeSeconds - f.previousSeconds) / f.previousSeconds * 100.0, locale);
    }
    lines << QStringLiteral("Change against the previous range, %1 to %2: %3")
                 .arg(reportDate(f.previous.start, locale), reportDate(f.previous.end, locale), change);
    return lines;
}

} // namespace tallyrow
