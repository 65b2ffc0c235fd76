#include "DataFileMaker.h"

#include "ActivitySchema.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace tallyrow::test {

std::array<int, 24> officeHours(int perHour) {
    std::array<int, 24> s{};
    for (int h = 9; h < 17; ++h)
        s[static_cast<std::size_t>(h)] = perHour;
    return s;
}

void makeDataFile(const QString& path, const QVector<ActivityFixtureRow>& rows) {
    QFile::remove(path);
    const QString name = u"fixture-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        QSqlQuery q(db);
        const ActivitySchemaStatements schema = activitySchemaStatements();
        std::vector<std::string> statements{schema.table};
        statements.insert(statements.end(), schema.uniqueIndexes.begin(), schema.uniqueIndexes.end());
        statements.insert(statements.end(), schema.indexes.begin(), schema.indexes.end());
        for (const std::string& statement : statements)
            ASSERT_TRUE(q.exec(QString::fromStdString(statement))) << q.lastError().text().toStdString();
        db.transaction();
        QString columns = u"ActiveDay, UserName, ComputerName"_s;
        QString marks = u"?, ?, ?"_s;
        for (int h = 0; h < 24; ++h) {
            columns += u", H"_s + QString::number(h);
            marks += u", ?"_s;
        }
        ASSERT_TRUE(q.prepare(u"INSERT INTO Activity ("_s + columns + u") VALUES ("_s + marks + u")"_s));
        const QDate dayZero(2000, 1, 1);
        for (const ActivityFixtureRow& r : rows) {
            q.addBindValue(static_cast<int>(dayZero.daysTo(r.day)));
            q.addBindValue(r.user.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(r.user));
            q.addBindValue(r.computer.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(r.computer));
            for (int s : r.seconds)
                q.addBindValue(s);
            ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace tallyrow::test
