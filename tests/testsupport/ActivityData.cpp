#include "testsupport/ActivityData.h"

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

std::array<int, 24> officeHours(int perHour) {
    std::array<int, 24> s{};
    for (int h = 9; h < 17; ++h)
        s[static_cast<std::size_t>(h)] = perHour;
    return s;
}

ActivityRow dayRow(const QString& user, const QString& computer, const QDate& day,
                   const std::array<int, 24>& seconds) {
    ActivityRow r;
    r.activeDay = static_cast<int>(QDate(2000, 1, 1).daysTo(day));
    r.userName = user;
    r.computerName = computer;
    for (std::size_t h = 0; h < 24; ++h)
        r.hours[h] = seconds[h];
    return r;
}

namespace {

std::vector<QString> schemaStatements(const QString& createTable) {
    std::vector<QString> statements;
    if (createTable.isEmpty()) {
        const ActivitySchemaStatements schema = activitySchemaStatements();
        statements.push_back(QString::fromStdString(schema.table));
        for (const std::string& s : schema.uniqueIndexes)
            statements.push_back(QString::fromStdString(s));
        for (const std::string& s : schema.indexes)
            statements.push_back(QString::fromStdString(s));
        return statements;
    }
    for (const QString& s : createTable.split(QLatin1Char(';'))) {
        if (!s.trimmed().isEmpty())
            statements.push_back(s);
    }
    return statements;
}

QVariant nameValue(const QString& name) {
    return name.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(name);
}

} // namespace

void writeSqliteDataFile(const QString& path, const QVector<ActivityRow>& rows, const QString& createTable) {
    QFile::remove(path);
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open()) << qPrintable(db.lastError().text());
        QSqlQuery q(db);
        for (const QString& statement : schemaStatements(createTable))
            ASSERT_TRUE(q.exec(statement)) << qPrintable(q.lastError().text());
        if (rows.isEmpty()) {
            db.close();
        } else {
            db.transaction();
            QString sql = QStringLiteral("INSERT INTO Activity VALUES (?,?,?");
            for (int h = 0; h < 24; ++h)
                sql += QStringLiteral(",?");
            sql += QLatin1Char(')');
            ASSERT_TRUE(q.prepare(sql)) << qPrintable(q.lastError().text());
            for (const ActivityRow& r : rows) {
                q.addBindValue(r.activeDay);
                q.addBindValue(nameValue(r.userName));
                q.addBindValue(nameValue(r.computerName));
                for (const auto& h : r.hours)
                    q.addBindValue(h ? QVariant(*h) : QVariant(QMetaType(QMetaType::Int)));
                ASSERT_TRUE(q.exec()) << qPrintable(q.lastError().text());
            }
            db.commit();
            db.close();
        }
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
        ASSERT_TRUE(
            q.exec(QStringLiteral("CREATE TABLE Rows (ActiveDay INTEGER, UserName TEXT, ComputerName TEXT") +
                   columns + QLatin1Char(')')));
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO Rows (ActiveDay, UserName, ComputerName) "
                                          "VALUES (1521, 'anna', 'OFFICE1')")));
        ASSERT_TRUE(
            q.exec(QStringLiteral("CREATE VIEW Activity AS SELECT ActiveDay, UserName, ComputerName") +
                   select + QStringLiteral(" FROM Rows")));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace tallyrow::test
