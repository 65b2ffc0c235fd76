#include "ActivityData.h"

#include "ActivitySchema.h"
#include "testsupport/TestEnv.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <QUuid>

#include <gtest/gtest.h>

namespace tallyrow::test {

QVector<ActivityRow> officeRows() {
    QVector<ActivityRow> rows;
    QFile file(fixturePath(QStringLiteral("office.tsv")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        ADD_FAILURE() << "office.tsv missing";
        return rows;
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(QLatin1Char('\t'));
        if (f.size() != 27)
            continue;
        ActivityRow r;
        r.activeDay = f[0].toInt();
        r.userName = f[1];
        r.computerName = f[2];
        for (int h = 0; h < 24; ++h) {
            if (f[3 + h] != QLatin1String("\\N"))
                r.hours[h] = f[3 + h].toInt();
        }
        rows << r;
    }
    return rows;
}

void writeSqliteDataFile(const QString& path, const QVector<ActivityRow>& rows) {
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open()) << qPrintable(db.lastError().text());
        QSqlQuery q(db);
        QStringList lines = QString::fromUtf8(activitySchemaSql()).split(QLatin1Char('\n'));
        lines.removeIf([](const QString& line) { return line.trimmed().startsWith(QLatin1String("--")); });
        for (const QString& statement : lines.join(QLatin1Char('\n')).split(QLatin1Char(';'))) {
            if (!statement.trimmed().isEmpty()) {
                ASSERT_TRUE(q.exec(statement)) << qPrintable(q.lastError().text());
            }
        }
        db.transaction();
        QString sql = QStringLiteral("INSERT INTO Activity VALUES (?,?,?");
        for (int h = 0; h < 24; ++h)
            sql += QStringLiteral(",?");
        sql += QLatin1Char(')');
        ASSERT_TRUE(q.prepare(sql));
        for (const ActivityRow& r : rows) {
            q.addBindValue(r.activeDay);
            q.addBindValue(r.userName);
            q.addBindValue(r.computerName);
            for (const auto& h : r.hours)
                q.addBindValue(h ? QVariant(*h) : QVariant(QMetaType(QMetaType::Int)));
            ASSERT_TRUE(q.exec()) << qPrintable(q.lastError().text());
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

ActivityRow uniformRow(int activeDay, const QString& user, const QString& computer, int seconds) {
    ActivityRow r;
    r.activeDay = activeDay;
    r.userName = user;
    r.computerName = computer;
    for (auto& h : r.hours)
        h = seconds;
    return r;
}

void writeBrokenDataFile(const QString& path) {
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        QString columns;
        QString select;
        for (int h = 0; h < 24; ++h) {
            const QString n = QString::number(h);
            columns += QStringLiteral(", H") + n + QStringLiteral(" INTEGER");
            select += h == 5 ? QStringLiteral(", json('not json') AS H5") : QStringLiteral(", H") + n;
        }
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE Rows (ActiveDay INTEGER, UserName TEXT, ComputerName TEXT") +
                           columns + QLatin1Char(')')));
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO Rows (ActiveDay, UserName, ComputerName) "
                                          "VALUES (1521, 'anna', 'OFFICE1')")));
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE VIEW Activity AS SELECT ActiveDay, UserName, ComputerName") +
                           select + QStringLiteral(" FROM Rows")));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace tallyrow::test
