#include "reports/ReportCatalogue.h"

#include "reports/DayReportDescriptor.h"
#include "reports/TotalsReportDescriptor.h"
#include "reports/UsersReportDescriptor.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tallyrow {

const ReportCatalogue& ReportCatalogue::standard() {
    static const ReportCatalogue catalogue = ReportCatalogue()
                                                 .with(dayReportDescriptor())
                                                 .with(totalsReportDescriptor())
                                                 .with(usersReportDescriptor());
    return catalogue;
}

ReportCatalogue ReportCatalogue::with(ReportDescriptor report) const {
    ReportCatalogue more = *this;
    more.m_reports.push_back(std::move(report));
    return more;
}

const ReportDescriptor* ReportCatalogue::named(const QString& name) const {
    for (const ReportDescriptor& report : m_reports) {
        if (name.compare(report.name, Qt::CaseInsensitive) == 0)
            return &report;
    }
    return nullptr;
}

const ReportDescriptor* ReportCatalogue::withCode(int code) const {
    for (const ReportDescriptor& report : m_reports) {
        if (report.code == code)
            return &report;
    }
    return nullptr;
}

namespace {

QString listed(const QStringList& items, const QString& separator, const QString& last) {
    if (items.size() < 2)
        return items.join(QString());
    return items.mid(0, items.size() - 1).join(separator) + last + items.back();
}

} // namespace

QString ReportCatalogue::nameList(const QString& separator, const QString& last) const {
    QStringList names;
    for (const ReportDescriptor& report : m_reports)
        names << report.name;
    return listed(names, separator, last);
}

QString ReportCatalogue::reportsTaking(const QString& option) const {
    QStringList titles;
    for (const ReportDescriptor& report : m_reports) {
        if (report.options.contains(option))
            titles << report.title;
    }
    return u"the %1 report%2 only"_s.arg(listed(titles, u", "_s, u" and "_s),
                                         titles.size() > 1 ? u"s"_s : QString());
}

bool ReportCatalogue::isReportOption(const QString& option) const {
    return std::any_of(m_reports.begin(), m_reports.end(),
                       [&](const ReportDescriptor& r) { return r.options.contains(option); });
}

} // namespace tallyrow
