#include "engine/Pagination.h"

#include <QtGlobal>

namespace tallyrow::engine {

Pagination::Pagination(double pageHeight, double pageHeaderHeight, double pageFooterHeight)
    : m_pageHeight(qMax(0.0, pageHeight)), m_headerHeight(qMax(0.0, pageHeaderHeight)),
      m_footerHeight(qMax(0.0, pageFooterHeight)) {}

Pagination::Placement Pagination::placeReportHeader(double height) {
    Placement p{m_pageCount - 1, m_y};
    m_y += qMax(0.0, height);
    m_pageHasBand = m_pageHasBand || height > 0;
    return p;
}

Pagination::Placement Pagination::placeBand(double height) {
    height = qMax(0.0, height);
    const double need = (m_headerPending ? m_headerHeight : 0.0) + height;
    // Comparisons allow a little slack so rows that add up to the page height exactly still fit.
    if (m_pageHasBand && m_y + need > bodyBottom() + 0.01)
        startPage();
    placePendingHeader();
    Placement p{m_pageCount - 1, m_y};
    m_y += height;
    m_pageHasBand = true;
    return p;
}

void Pagination::finish() {
    if (m_headerPending && m_y + m_headerHeight <= bodyBottom() + 0.01)
        placePendingHeader();
}

double Pagination::pageHeaderTop(int page) const {
    return page >= 0 && page < m_headerTops.size() ? m_headerTops.at(page) : -1.0;
}

void Pagination::startPage() {
    ++m_pageCount;
    m_headerTops.append(-1.0);
    m_y = 0;
    m_headerPending = true;
    m_pageHasBand = false;
}

void Pagination::placePendingHeader() {
    if (!m_headerPending)
        return;
    m_headerPending = false;
    if (m_headerHeight <= 0)
        return;
    m_headerTops[m_pageCount - 1] = m_y;
    m_y += m_headerHeight;
}

} // namespace tallyrow::engine
