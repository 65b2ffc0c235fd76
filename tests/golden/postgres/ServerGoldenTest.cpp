// tallyrow-export on a PostgreSQL server holding the rows of office.tsv must write the same CSV,
// byte for byte, as on a data file with those rows, and fail clearly (without the password)
// when the server cannot serve.
#include "testsupport/ActivityData.h"
#include "ScratchDatabase.h"
#include "testsupport/TestEnv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using tallyrow::test::binPath;
using tallyrow::test::ScratchDatabase;

const QByteArray kPassword = "tallyrow-test";

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

class ServerExport : public ::testing::Test {
protected:
    void SetUp() override {
        tallyrow::test::ensureCoreApp();
        if (tallyrow::test::testServerUri().isEmpty())
            GTEST_SKIP() << tallyrow::test::kNoTestServer;
        m_db = std::make_unique<ScratchDatabase>();
        ASSERT_TRUE(m_db->ok());
    }

    void loadOffice() {
        const auto rows = tallyrow::test::officeRows();
        ASSERT_TRUE(m_db->loadSchema());
        ASSERT_TRUE(m_db->insertRows(rows));
        m_file = m_home.filePath(QStringLiteral("office.yrd"));
        tallyrow::test::writeSqliteDataFile(m_file, rows);
    }

    // The tool in a clean environment: fixed locale, settings and home in a temporary folder,
    // and no password but the URI's.
    ToolRun run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), m_home.filePath(QStringLiteral("etc")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("PGPASSFILE"), m_home.filePath(QStringLiteral("no-pgpass")));
        env.remove(QStringLiteral("PGPASSWORD"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        p.setProcessEnvironment(env);
        p.start(binPath(QStringLiteral("tallyrow-export")), args);
        EXPECT_TRUE(p.waitForFinished(120000));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

    QByteArray csv(const QString& data, const QStringList& args, const QString& name) {
        const QString target = m_home.filePath(name);
        const ToolRun r = run(QStringList{QStringLiteral("--data"), data} + args +
                              QStringList{QStringLiteral("--format"), QStringLiteral("csv"),
                                          QStringLiteral("--output"), target});
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
        QFile f(target);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no output>");
    }

    QTemporaryDir m_home;
    std::unique_ptr<ScratchDatabase> m_db;
    QString m_file;
};

QJsonArray goldenCases() {
    QFile f(QStringLiteral(TALLYROW_GOLDEN_DIR "/cases.json"));
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).array() : QJsonArray();
}

TEST_F(ServerExport, SameCsvAsFromADataFileWithTheSameRows) {
    loadOffice();
    const QJsonArray cases = goldenCases();
    ASSERT_GE(cases.size(), 10);
    int compared = 0;
    for (const QJsonValue& v : cases) {
        const QJsonObject c = v.toObject();
        QStringList args;
        for (const QJsonValue& a : c.value(QStringLiteral("args")).toArray())
            args << a.toString();
        if (!args.contains(QStringLiteral("--report")))
            continue;
        const QString name = c.value(QStringLiteral("name")).toString();
        SCOPED_TRACE(name.toStdString());
        const QByteArray fromServer = csv(m_db->uri(), args, name + QStringLiteral("-server.csv"));
        EXPECT_EQ(fromServer, csv(m_file, args, name + QStringLiteral("-file.csv")));
        QFile expected(QStringLiteral(TALLYROW_GOLDEN_DIR "/expected/") + name + QStringLiteral(".csv"));
        if (expected.open(QIODevice::ReadOnly)) {
            EXPECT_EQ(fromServer, expected.readAll());
        }
        ++compared;
    }
    EXPECT_GE(compared, 10);

    // Names in other letter case select the same rows, as in a data file.
    const QStringList upper{QStringLiteral("--report"),   QStringLiteral("day"),
                            QStringLiteral("--from"),     QStringLiteral("2004-03-01"),
                            QStringLiteral("--to"),       QStringLiteral("2004-03-31"),
                            QStringLiteral("--user"),     QStringLiteral("ANNA"),
                            QStringLiteral("--computer"), QStringLiteral("Office1")};
    EXPECT_EQ(csv(m_db->uri(), upper, QStringLiteral("upper-server.csv")),
              csv(m_file, upper, QStringLiteral("upper-file.csv")));
}

TEST_F(ServerExport, UnusableServersFailNamingTheSourceButNotThePassword) {
    // The table is missing until the last case, so "missing table" can be checked too.
    const QString good = m_db->uri();
    QString closedPort = good;
    closedPort.replace(QRegularExpression(QStringLiteral(":\\d+/")), QStringLiteral(":1/"));
    const struct {
        QString uri;
        const char* reason;
    } cases[] = {
        {closedPort, "connection refused"},
        {tallyrow::test::withPassword(good, QStringLiteral("Wr0ng-Secret")), "refused the password"},
        {tallyrow::test::withDatabase(good, QStringLiteral("no_such_db")), "does not exist"},
        {good, "has no Activity table"},
    };
    const QStringList tail{QStringLiteral("--report"), QStringLiteral("totals"),
                           QStringLiteral("--from"),   QStringLiteral("2004-03-01"),
                           QStringLiteral("--to"),     QStringLiteral("2004-03-02"),
                           QStringLiteral("--format"), QStringLiteral("csv"),
                           QStringLiteral("--output"), m_home.filePath(QStringLiteral("x.csv"))};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uri.toStdString());
        const ToolRun r = run(QStringList{QStringLiteral("--data"), c.uri} + tail);
        EXPECT_EQ(r.exitCode, 1);
        QString shown = c.uri;
        shown.replace(QRegularExpression(QStringLiteral("^(postgresql://[^:@/]*):[^@/]*@")),
                      QStringLiteral("\\1@"));
        EXPECT_TRUE(r.err.contains(shown.toUtf8())) << r.err.constData();
        EXPECT_TRUE(r.err.contains(c.reason)) << r.err.constData();
        EXPECT_FALSE(r.err.contains(kPassword) || r.err.contains("Wr0ng-Secret")) << r.err.constData();
        EXPECT_FALSE(r.out.contains(kPassword));
        EXPECT_FALSE(QFile::exists(m_home.filePath(QStringLiteral("x.csv"))));
    }
}

} // namespace
