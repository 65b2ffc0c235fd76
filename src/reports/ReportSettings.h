#pragma once

#include "activity/ActivityQuery.h"
#include "activity/DateRange.h"
#include "activity/WeekdaySet.h"
#include "reports/DayQuery.h"
#include "reports/TotalsQuery.h"

#include <QString>

#include <cstdint>

namespace tallyrow {

/// Every option a report can be set up with, as the window's controls or the tool's command
/// line give them. Each report takes the ones it knows and leaves the others.
struct ReportSettings {
    DateRange range;
    QString user;     ///< "" = all users
    QString computer; ///< "" = any computer
    /// What the run reads: a data file path or a server URI.
    QString dataFile;
    WeekdaySet days = WeekdaySet::all();
    DayFigure totalType = DayFigure::Average;
    DayColumns showEachDay = DayColumns::Average;
    std::int32_t units = 1;
    TotalsPeriod period = TotalsPeriod::Days;
    TimeScale timeScale = TimeScale::Minutes;
    std::int32_t chartType = 1; ///< a chart-type code
    bool details = false;       ///< show the table
    bool heatMap = false;       ///< shade the table's cells by their value
    bool keyFigures = false;    ///< the key-figures band
    bool compare = false;       ///< also show the previous range of the same length
    PeopleGrouping by = PeopleGrouping::User;
};

} // namespace tallyrow
