#include "DataFiles.h"

#include "ActivitySchema.h"
#include "testsupport/TestEnv.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace tallyrow::test {

QVector<ActivityRecord> officeRows() {
    QFile f(fixturePath(u"office.tsv"_s));
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "office.tsv missing";
        return {};
    }
    QVector<ActivityRecord> rows;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        const QList<QByteArray> parts = line.split('\t');
        ActivityRecord r;
        for (int i = 0; i < parts.size(); ++i) {
            if (parts[i] == "\\N") {
                r.append(QVariant());
            } else if (i == 1 || i == 2) {
                r.append(QString::fromUtf8(parts[i]));
            } else {
                r.append(parts[i].toLongLong());
            }
        }
        rows.append(r);
    }
    return rows;
}

void writeSqliteDataFile(const QString& path, const QVector<ActivityRecord>& rows, const QString& createTable) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                              nullptr),
              SQLITE_OK);
    const ActivitySchemaStatements schema = activitySchemaStatements();
    std::string sql = createTable.isEmpty() ? schema.table : createTable.toStdString();
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    if (createTable.isEmpty()) {
        for (const auto& s : schema.uniqueIndexes) {
            ASSERT_EQ(sqlite3_exec(db, s.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        }
        for (const auto& s : schema.indexes) {
            ASSERT_EQ(sqlite3_exec(db, s.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        }
    }
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (const ActivityRecord& r : rows) {
        QString insert = u"INSERT INTO Activity VALUES ("_s;
        for (int i = 0; i < r.size(); ++i) {
            insert += i ? u","_s : QString();
            insert += u'?';
        }
        insert += u')';
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, insert.toUtf8().constData(), -1, &stmt, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        for (int i = 0; i < r.size(); ++i) {
            if (r[i].isNull()) {
                sqlite3_bind_null(stmt, i + 1);
            } else if (r[i].typeId() == QMetaType::QString) {
                const QByteArray text = r[i].toString().toUtf8();
                sqlite3_bind_text(stmt, i + 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_int64(stmt, i + 1, r[i].toLongLong());
            }
        }
        EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE) << sqlite3_errmsg(db);
        sqlite3_finalize(stmt);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

FileFingerprint fingerprint(const QString& path) {
    QFile f(path);
    FileFingerprint fp;
    if (f.open(QIODevice::ReadOnly)) {
        fp.sha1 = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
    }
    const QFileInfo info(path);
    fp.modified = info.lastModified();
    fp.size = info.size();
    return fp;
}

} // namespace tallyrow::test
