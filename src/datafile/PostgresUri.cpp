#include "datafile/PostgresUri.h"

#include <QRegularExpression>
#include <QUrl>

#include <utility>

#include <libpq-fe.h>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

qsizetype schemeLength(const QString& s) {
    for (const QString& scheme : {u"postgresql://"_s, u"postgres://"_s}) {
        if (s.startsWith(scheme, Qt::CaseInsensitive)) {
            return scheme.size();
        }
    }
    return -1;
}

} // namespace

bool isPostgresUri(const QString& dataSource) {
    return schemeLength(dataSource) > 0;
}

QString PostgresUri::param(const QString& key, const QString& fallback) const {
    for (const auto& p : params) {
        if (p.first == key) {
            return p.second;
        }
    }
    return fallback;
}

namespace {

QString textOf(const char* value) {
    return value ? QString::fromUtf8(value) : QString();
}

// libpq's scheme is lower case; the program takes any case.
QByteArray lowerCaseScheme(const QString& uri) {
    const qsizetype length = schemeLength(uri);
    return (uri.left(length).toLower() + uri.mid(length)).toUtf8();
}

// The connection parameters libpq reads from `uri`; false with libpq's reason in `error`.
bool conninfoParse(const QString& uri, QList<QPair<QString, QString>>& options, QString& error) {
    char* message = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(lowerCaseScheme(uri).constData(), &message);
    if (!parsed) {
        error = message ? QString::fromUtf8(message).trimmed() : u"out of memory"_s;
        PQfreemem(message);
        return false;
    }
    for (const PQconninfoOption* o = parsed; o->keyword; ++o) {
        if (o->val)
            options.append({textOf(o->keyword), textOf(o->val)});
    }
    PQconninfoFree(parsed);
    return true;
}

// Hosts and ports as libpq pairs them: one port for every host, or one port for all of them.
bool pairHostsAndPorts(PostgresUri& out, QString& error) {
    if (out.hosts.isEmpty() && !out.ports.isEmpty())
        out.hosts = QStringList(out.ports.size(), QString());
    if (out.ports.size() == 1 && out.hosts.size() > 1)
        out.ports = QStringList(out.hosts.size(), out.ports.first());
    if (out.ports.isEmpty())
        out.ports = QStringList(out.hosts.size(), QString());
    if (out.hosts.size() != out.ports.size()) {
        error = u"it names %1 hosts but %2 ports"_s.arg(out.hosts.size()).arg(out.ports.size());
        return false;
    }
    for (const QString& host : std::as_const(out.hosts)) {
        // libpq ends the user part at the first "@": a second one belongs to a password or user
        // name that was not percent-encoded, and what follows it is no host. Saying so beats a
        // lookup of a host name made of part of the password.
        if (host.contains(u'@')) {
            error = u"the user name or password holds an \"@\"; write it as %40"_s;
            return false;
        }
    }
    for (const QString& port : std::as_const(out.ports)) {
        bool ok = false;
        const int number = port.toInt(&ok);
        if (!port.isEmpty() && (!ok || number < 1 || number > 65535)) {
            error = u"the port \"%1\" is not a number from 1 to 65535"_s.arg(port);
            return false;
        }
    }
    return true;
}

} // namespace

bool parsePostgresUri(const QString& uri, PostgresUri& out, QString& error) {
    out = PostgresUri();
    if (schemeLength(uri) < 0) {
        error = u"it does not start with postgresql://"_s;
        return false;
    }
    QList<QPair<QString, QString>> options;
    if (!conninfoParse(uri, options, error)) {
        // libpq quotes what it could not read, which may be the password: its reason is given
        // for the URI without it, and a URI that reads well without it had a bad password.
        QList<QPair<QString, QString>> unused;
        if (conninfoParse(redactedPostgresUri(uri), unused, error))
            error = u"the password holds a malformed %-escape"_s;
        else if (!error.isEmpty())
            error[0] = error[0].toLower();
        return false;
    }
    for (const auto& [key, value] : std::as_const(options)) {
        if (key == u"user"_s)
            out.user = value;
        else if (key == u"password"_s)
            out.password = value;
        else if (key == u"dbname"_s)
            out.dbname = value;
        else if (key == u"host"_s)
            out.hosts = value.split(u',');
        else if (key == u"port"_s)
            out.ports = value.split(u',');
        else
            out.params.append({key, value});
    }
    // A lone empty host without a port means the default, as no host does.
    if (out.hosts == QStringList{QString()} && out.ports.isEmpty())
        out.hosts.clear();
    return pairHostsAndPorts(out, error);
}

namespace {

// A query keyword as libpq reads it (escapes decoded), compared without regard to case and
// blanks: libpq itself would refuse "PASSWORD=", but the value is still a password to the user.
bool isPasswordKey(QStringView rawKey) {
    const QString key = QUrl::fromPercentEncoding(rawKey.toUtf8()).trimmed();
    return key.compare(u"password"_s, Qt::CaseInsensitive) == 0;
}

// Takes the password out of the URI whose authority begins at `start` in `text` and that ends at
// `end`; returns the new end. A password holding a raw "@", "/", "?" or ":" is taken out whole.
qsizetype redactUriAt(QString& text, qsizetype start, qsizetype end) {
    // user[:password]@ — what lies before the last "@" ahead of the host part.
    const qsizetype firstAt = text.indexOf(u'@', start);
    if (firstAt >= 0 && firstAt < end) {
        const QStringView before = QStringView(text).mid(start, firstAt - start);
        const qsizetype slash = before.indexOf(u'/');
        const bool inQuery = slash >= 0 && before.indexOf(u'?', slash) >= 0;
        if (!inQuery) {
            qsizetype hostEnd = firstAt;
            while (hostEnd < end && text[hostEnd] != u'/' && text[hostEnd] != u'?') {
                ++hostEnd;
            }
            const qsizetype at = text.lastIndexOf(u'@', hostEnd - 1);
            const qsizetype colon = text.indexOf(u':', start);
            if (colon >= 0 && colon < at) {
                text.remove(colon, at - colon);
                end -= at - colon;
            }
        }
    }
    // The query part: every password keyword, however spelled.
    qsizetype authorityEnd = start;
    const qsizetype at = text.lastIndexOf(u'@', end - 1);
    if (at >= start && !QStringView(text).mid(start, at - start).contains(u'/')) {
        authorityEnd = at;
    }
    // The first "?" after the user part starts the query, as in libpq (a database name cannot
    // hold one, a keyword's value may hold a "/").
    const qsizetype query = text.indexOf(u'?', authorityEnd);
    if (query >= 0 && query < end) {
        QStringList kept;
        for (const QString& pair : text.mid(query + 1, end - query - 1).split(u'&')) {
            if (!isPasswordKey(QStringView(pair).left(pair.indexOf(u'=')))) {
                kept << pair;
            }
        }
        const QString tail = kept.isEmpty() ? QString() : u'?' + kept.join(u'&');
        text.replace(query, end - query, tail);
        end = query + tail.size();
    }
    return end;
}

} // namespace

QString redactedPostgresUri(const QString& uri) {
    const qsizetype start = schemeLength(uri);
    if (start < 0) {
        return uri;
    }
    QString result = uri;
    redactUriAt(result, start, result.size());
    return result;
}

QString withoutPasswords(const QString& text) {
    QString result = text;
    // URIs anywhere in the text, also as a path turned them ("/work/postgresql:/ann:pw@h/db").
    static const QRegularExpression scheme(u"postgres(?:ql)?:/+"_s,
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression uriEnd(u"[\\s\"'<>]"_s);
    qsizetype from = 0;
    for (;;) {
        const QRegularExpressionMatch m = scheme.match(result, from);
        if (!m.hasMatch()) {
            break;
        }
        const qsizetype start = m.capturedEnd();
        qsizetype end = result.indexOf(uriEnd, start);
        if (end < 0) {
            end = result.size();
        }
        from = redactUriAt(result, start, end);
    }
    // A key/value connection string ("host=db password=pw dbname=x"): its password keyword.
    static const QRegularExpression keyValue(u"(?:^|\\s)(?:host|hostaddr|port|dbname|user|service)\\s*="_s,
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression password(u"(^|\\s)password\\s*=\\s*(?:'(?:[^'\\\\]|\\\\.)*'?|\\S*)\\s*"_s,
                                             QRegularExpression::CaseInsensitiveOption);
    if (result.contains(keyValue)) {
        result.replace(password, u"\\1"_s);
    }
    return result;
}

} // namespace tallyrow
