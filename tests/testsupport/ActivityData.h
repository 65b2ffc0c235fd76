#pragma once

#include <QDate>
#include <QString>
#include <QVector>

#include <array>
#include <optional>

namespace tallyrow::test {

/// One row of the Activity table as the tests write it; an empty hour is a NULL, and so is a
/// null (not merely empty) name.
struct ActivityRow {
    int activeDay = 0;
    QString userName;
    QString computerName;
    std::array<std::optional<int>, 24> hours{};
};

/// The rows of the shared fixture office.tsv (the rows the Access fixtures hold).
QVector<ActivityRow> officeRows();

/// Seconds active per hour for a working day: 0 outside 9:00-17:00, `perHour` inside.
std::array<int, 24> officeHours(int perHour);

/// A row of `user` on `computer` for the calendar day `day`, with `seconds` per hour.
ActivityRow dayRow(const QString& user, const QString& computer, const QDate& day,
                   const std::array<int, 24>& seconds);

/// A row with every hour set to `seconds`.
ActivityRow uniformRow(int activeDay, const QString& user, const QString& computer, int seconds);

/// Creates an SQLite data file at `path` (replacing any file there) with the program's Activity
/// schema and `rows`. `createTable` replaces the schema (statements separated by ";") for files
/// that differ from the template; the rows must then fit its Activity table.
void writeSqliteDataFile(const QString& path, const QVector<ActivityRow>& rows,
                         const QString& createTable = {});

/// Creates at `path` a data file whose Activity (a view) holds one row of anna on OFFICE1 on
/// 1 March 2004 and whose hour 5 cannot be read, so any report query on it fails.
void writeBrokenDataFile(const QString& path);

} // namespace tallyrow::test
