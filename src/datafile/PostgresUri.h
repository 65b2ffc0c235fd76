#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace tallyrow {

/// True when `dataSource` names a PostgreSQL server ("postgresql://" or "postgres://", any case)
/// rather than a data file.
bool isPostgresUri(const QString& dataSource);

/// A PostgreSQL connection URI taken apart by libpq (PQconninfoParse):
///   postgresql://[user[:password]@][host][:port][,host[:port]...][/dbname][?keyword=value&...]
/// with percent-decoding of every part. Keywords in the query part set the same connection
/// parameters as the parts before it and win over them (libpq's own order); "ssl=true" reads as
/// sslmode=require.
struct PostgresUri {
    QString user;
    QString password;
    QString dbname;
    QStringList hosts; ///< one entry per host; "" for the default (the local socket)
    QStringList ports; ///< one entry per host; "" for the default port
    /// Every other connection parameter the URI sets, in libpq's order of its keywords.
    QList<QPair<QString, QString>> params;

    /// The value of query keyword `key`, or `fallback` when it was not given.
    QString param(const QString& key, const QString& fallback = {}) const;
};

/// Parses `uri`; returns false with `error` saying what is wrong (never quoting the password).
bool parsePostgresUri(const QString& uri, PostgresUri& out, QString& error);

/// The URI as the user wrote it with any password taken out (the ":secret" of the user part and
/// a "password" keyword of the query part in any case or percent-encoding), so it can be shown in
/// messages, titles and logs.
QString redactedPostgresUri(const QString& uri);

/// `text` (a message) with the password taken out of every PostgreSQL URI in it, also of one a
/// file path has turned ("/home/ann/postgresql:/ann:pw@db/x"), and of a key/value connection
/// string ("host=db password=pw").
QString withoutPasswords(const QString& text);

} // namespace tallyrow
