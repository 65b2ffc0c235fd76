#pragma once

#include <QDate>

namespace tallyrow {

/// Where a date model keeps its two dates. The date selector hands the model its two date
/// fields, so what the user typed is at once the model's date and every write shows at once.
class DateFields {
public:
    virtual ~DateFields();
    virtual QDate startDate() const = 0;
    virtual void setStartDate(const QDate& date) = 0;
    virtual QDate endDate() const = 0;
    virtual void setEndDate(const QDate& date) = 0;
};

} // namespace tallyrow
