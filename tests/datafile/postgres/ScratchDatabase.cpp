#include "ScratchDatabase.h"

#include "testsupport/TestEnv.h"

#include "datafile/PostgresSql.h"
#include "datafile/PostgresUri.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <gtest/gtest.h>

namespace tallyrow::test {

namespace {

// Opens a QPSQL connection named `connection` on `uri` (the parts this test server uses).
bool openAdmin(const QString& connection, const QString& uri) {
    PostgresUri u;
    QString error;
    if (!parsePostgresUri(uri, u, error)) {
        ADD_FAILURE() << "bad test server URI: " << error.toStdString();
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
    db.setHostName(u.hosts.value(0));
    if (!u.ports.value(0).isEmpty())
        db.setPort(u.ports.value(0).toInt());
    db.setDatabaseName(u.dbname);
    db.setUserName(u.user);
    db.setPassword(u.password);
    if (!db.open()) {
        ADD_FAILURE() << "cannot reach the test server: " << db.lastError().text().toStdString();
        return false;
    }
    return true;
}

QString sqlText(const QString& s) {
    QString t = s;
    t.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

} // namespace

QString testServerUri() {
    return qEnvironmentVariable("TALLYROW_PG_URI");
}

QString withDatabase(const QString& uri, const QString& dbname) {
    static const QRegularExpression path(QStringLiteral("^([a-z]+://[^/?]*)(/[^?]*)?(\\?.*)?$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = path.match(uri);
    return m.captured(1) + QLatin1Char('/') + dbname + m.captured(3);
}

QString withPassword(const QString& uri, const QString& password) {
    static const QRegularExpression user(QStringLiteral("^([a-z]+://[^:@/]*)(:[^@/]*)?@"),
                                         QRegularExpression::CaseInsensitiveOption);
    QString result = uri;
    return result.replace(user, QStringLiteral("\\1:") + password + QLatin1Char('@'));
}

ScratchDatabase::ScratchDatabase() {
    const QString id = QUuid::createUuid().toString(QUuid::Id128).left(12);
    m_name = QStringLiteral("tallyrow_t_") + id;
    m_connection = QStringLiteral("scratch-") + id;
    const QString admin = m_connection + QStringLiteral("-admin");
    if (openAdmin(admin, testServerUri())) {
        QSqlQuery q(QSqlDatabase::database(admin));
        if (q.exec(QStringLiteral("CREATE DATABASE ") + m_name))
            m_ok = openAdmin(m_connection, uri());
        else
            ADD_FAILURE() << "CREATE DATABASE failed: " << q.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(admin);
}

ScratchDatabase::~ScratchDatabase() {
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
    const QString admin = m_connection + QStringLiteral("-drop");
    if (m_ok && openAdmin(admin, testServerUri())) {
        QSqlQuery q(QSqlDatabase::database(admin));
        if (!q.exec(QStringLiteral("DROP DATABASE IF EXISTS ") + m_name + QStringLiteral(" WITH (FORCE)")))
            ADD_FAILURE() << "DROP DATABASE failed: " << q.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(admin);
}

QString ScratchDatabase::uri() const {
    return withDatabase(testServerUri(), m_name);
}

bool ScratchDatabase::exec(const QString& sql) {
    QStringList lines = sql.split(QLatin1Char('\n'));
    lines.removeIf([](const QString& line) { return line.trimmed().startsWith(QLatin1String("--")); });
    QSqlQuery q(QSqlDatabase::database(m_connection));
    for (const QString& statement : lines.join(QLatin1Char('\n')).split(QLatin1Char(';'))) {
        if (statement.trimmed().isEmpty())
            continue;
        if (!q.exec(statement)) {
            ADD_FAILURE() << statement.toStdString() << ": " << q.lastError().text().toStdString();
            return false;
        }
    }
    return true;
}

bool ScratchDatabase::loadSchema() {
    QFile f(QStringLiteral(TALLYROW_PG_SCHEMA));
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " TALLYROW_PG_SCHEMA;
        return false;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.exec(QStringLiteral("SET client_min_messages = warning"));
    for (const QString& statement : postgresScriptStatements(QString::fromUtf8(f.readAll()))) {
        if (!q.exec(statement)) {
            ADD_FAILURE() << statement.toStdString() << ": " << q.lastError().text().toStdString();
            return false;
        }
    }
    return true;
}

bool ScratchDatabase::insertRows(const QVector<ActivityRow>& rows) {
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    db.transaction();
    QSqlQuery q(db);
    for (qsizetype at = 0; at < rows.size(); at += 500) {
        QString sql = QStringLiteral("INSERT INTO Activity VALUES ");
        for (qsizetype i = at; i < qMin(rows.size(), at + 500); ++i) {
            const ActivityRow& r = rows[i];
            sql += (i > at ? QStringLiteral(",(") : QStringLiteral("(")) + QString::number(r.activeDay);
            sql += QLatin1Char(',') + (r.userName.isNull() ? QStringLiteral("NULL") : sqlText(r.userName));
            sql += QLatin1Char(',') +
                   (r.computerName.isNull() ? QStringLiteral("NULL") : sqlText(r.computerName));
            for (const auto& h : r.hours)
                sql += QLatin1Char(',') + (h ? QString::number(*h) : QStringLiteral("NULL"));
            sql += QLatin1Char(')');
        }
        if (!q.exec(sql)) {
            ADD_FAILURE() << "insert failed: " << q.lastError().text().toStdString();
            db.rollback();
            return false;
        }
    }
    return db.commit();
}

void ServerBesideFile::SetUp() {
    ensureCoreApp();
    if (testServerUri().isEmpty())
        return;
    m_db = std::make_unique<ScratchDatabase>();
    ASSERT_TRUE(m_db->ok());
}

void ServerBesideFile::load(const QVector<ActivityRow>& rows) {
    ASSERT_TRUE(m_db->loadSchema());
    ASSERT_TRUE(m_db->insertRows(rows));
    m_file = m_dir.filePath(QStringLiteral("same.yrd"));
    writeSqliteDataFile(m_file, rows);
}

} // namespace tallyrow::test
