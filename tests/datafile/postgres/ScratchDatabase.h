#pragma once

#include "testsupport/ActivityData.h"

#include <QString>
#include <QTemporaryDir>
#include <QVector>

#include <gtest/gtest.h>

#include <memory>

namespace tallyrow::test {

/// The test server's URI from TALLYROW_PG_URI; "" when no server was started for the tests.
QString testServerUri();

/// Why a test that needs the server skipped.
inline constexpr const char* kNoTestServer =
    "TALLYROW_PG_URI is not set: no PostgreSQL test server is running (scripts/test starts one)";

/// Skips the test when no test server runs.
#define REQUIRE_SERVER()                                                                                     \
    do {                                                                                                     \
        if (tallyrow::test::testServerUri().isEmpty())                                                       \
            GTEST_SKIP() << tallyrow::test::kNoTestServer;                                                   \
    } while (0)

/// `uri` with its database name replaced by `dbname`.
QString withDatabase(const QString& uri, const QString& dbname);
/// `uri` with its password replaced by `password`.
QString withPassword(const QString& uri, const QString& password);

/// A database of its own on the test server for one test, so tests running side by side never
/// see each other's rows; dropped again when the object goes. Failures are test failures.
class ScratchDatabase {
public:
    ScratchDatabase();
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    bool ok() const { return m_ok; }
    QString name() const { return m_name; }
    /// The URI of this database, password included.
    QString uri() const;

    /// Runs SQL statements separated by ";" (comment lines are left out).
    bool exec(const QString& sql);
    /// Creates the table and indexes of data/schema-postgresql.sql.
    bool loadSchema();
    /// Inserts the rows into activity (as schema-postgresql.sql makes it).
    bool insertRows(const QVector<ActivityRow>& rows);

private:
    QString m_connection;
    QString m_name;
    bool m_ok = false;
};

/// A scratch database of its own for each test (none when no test server runs), and load()
/// to put the same rows into it and into a data file beside it.
class ServerBesideFile : public ::testing::Test {
protected:
    void SetUp() override;
    void load(const QVector<ActivityRow>& rows);

    std::unique_ptr<ScratchDatabase> m_db;
    QTemporaryDir m_dir;
    QString m_file; ///< the data file with the server's rows
};

} // namespace tallyrow::test
