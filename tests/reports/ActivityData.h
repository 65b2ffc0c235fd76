#pragma once

#include <QString>
#include <QVector>

#include <array>
#include <optional>

namespace tallyrow::test {

/// One row of the Activity table as the tests write it; an empty hour is a NULL.
struct ActivityRow {
    int activeDay = 0;
    QString userName;
    QString computerName;
    std::array<std::optional<int>, 24> hours{};
};

/// The rows of the shared fixture office.tsv.
QVector<ActivityRow> officeRows();

/// Creates an SQLite data file at `path` with the program's Activity schema and `rows`.
void writeSqliteDataFile(const QString& path, const QVector<ActivityRow>& rows);

/// Creates at `path` a data file whose Activity (a view) holds one row of anna on OFFICE1 on
/// 1 March 2004 and whose hour 5 cannot be read, so any report query on it fails.
void writeBrokenDataFile(const QString& path);

/// A row with every hour set to `seconds`.
ActivityRow uniformRow(int activeDay, const QString& user, const QString& computer, int seconds);

} // namespace tallyrow::test
