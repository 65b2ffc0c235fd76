#pragma once

#include <QDate>
#include <QString>
#include <QVector>

#include <array>

namespace tallyrow::test {

/// One row of the Activity table as a test writes it; a null name is written as NULL.
struct ActivityFixtureRow {
    QString user;
    QString computer;
    QDate day;
    std::array<int, 24> seconds{};
};

/// Seconds active per hour for a working day: 0 outside 9:00-17:00, `perHour` inside.
std::array<int, 24> officeHours(int perHour);

/// Writes a data file with the program's schema and `rows` at `path` (replacing any file there).
void makeDataFile(const QString& path, const QVector<ActivityFixtureRow>& rows);

} // namespace tallyrow::test
