#include "datafile/PostgresUri.h"

#include <cctype>

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

// libpq decodes %XX and nothing else ("+" stays "+"); a stray "%" is an error.
bool percentDecode(QStringView part, QString& out) {
    QByteArray bytes;
    const QByteArray raw = part.toUtf8();
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            bytes += raw[i];
            continue;
        }
        if (i + 2 >= raw.size()) {
            return false;
        }
        const int high = std::isxdigit(uchar(raw[i + 1])) ? 1 : 0;
        const int low = std::isxdigit(uchar(raw[i + 2])) ? 1 : 0;
        const int value = raw.mid(i + 1, 2).toInt(nullptr, 16);
        if (!high || !low || value == 0) {
            return false;
        }
        bytes += char(value);
        i += 2;
    }
    out = QString::fromUtf8(bytes);
    return true;
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

/// Reads a URI from left to right: each step starts at `pos`, leaves it after what it took, and
/// on failure returns false with `error` set.
struct UriReader {
    QStringView s;
    qsizetype pos = 0;
    QString& error;

    bool at(char16_t c) const { return pos < s.size() && s[pos] == c; }
    /// Moves on to the next of `stops` (or the end) and returns what it passed.
    QStringView takeUntil(QStringView stops) {
        const qsizetype b = pos;
        while (pos < s.size() && !stops.contains(s[pos])) {
            ++pos;
        }
        return s.mid(b, pos - b);
    }
    bool decode(QStringView part, QString& target, const QString& what) {
        if (!percentDecode(part, target)) {
            error = u"the %1 holds a malformed %-escape"_s.arg(what);
            return false;
        }
        return true;
    }
};

// user[:password]@ — libpq looks for "@" before the first "/".
bool readUserInfo(UriReader& r, PostgresUri& out) {
    qsizetype at = r.pos;
    while (at < r.s.size() && r.s[at] != u'@' && r.s[at] != u'/') {
        ++at;
    }
    if (at >= r.s.size() || r.s[at] != u'@') {
        return true;
    }
    const QStringView userInfo = r.s.mid(r.pos, at - r.pos);
    const qsizetype colon = userInfo.indexOf(u':');
    if (!r.decode(userInfo.left(colon < 0 ? userInfo.size() : colon), out.user, u"user name"_s)) {
        return false;
    }
    if (colon >= 0 && !r.decode(userInfo.mid(colon + 1), out.password, u"password"_s)) {
        return false;
    }
    r.pos = at + 1;
    return true;
}

// A host name, or an IPv6 address in brackets.
bool readHost(UriReader& r, QString& host) {
    if (!r.at(u'[')) {
        return r.decode(r.takeUntil(u":/?,"), host, u"host name"_s);
    }
    const qsizetype close = r.s.indexOf(u']', r.pos);
    if (close < 0) {
        r.error = u"an IPv6 host address lacks its closing \"]\""_s;
        return false;
    }
    host = r.s.mid(r.pos + 1, close - r.pos - 1).toString();
    if (host.isEmpty()) {
        r.error = u"an IPv6 host address is empty"_s;
        return false;
    }
    r.pos = close + 1;
    return true;
}

// [:port] after a host; anything else there but the start of the next part is an error.
bool readPort(UriReader& r, QString& port) {
    if (!r.at(u':')) {
        if (r.pos < r.s.size() && !QStringView(u"/?,").contains(r.s[r.pos])) {
            r.error = u"unexpected \"%1\" after a host name"_s.arg(r.s[r.pos]);
            return false;
        }
        return true;
    }
    ++r.pos;
    if (!r.decode(r.takeUntil(u"/?,"), port, u"port"_s)) {
        return false;
    }
    bool ok = false;
    const int number = port.toInt(&ok);
    if (!port.isEmpty() && (!ok || number < 1 || number > 65535)) {
        r.error = u"the port \"%1\" is not a number from 1 to 65535"_s.arg(port);
        return false;
    }
    return true;
}

// host[:port][,host[:port]...]; a lone empty host without a port means "the default".
bool readHosts(UriReader& r, PostgresUri& out) {
    for (;;) {
        QString host;
        QString port;
        if (!readHost(r, host) || !readPort(r, port)) {
            return false;
        }
        out.hosts << host;
        out.ports << port;
        if (!r.at(u',')) {
            break;
        }
        ++r.pos;
    }
    if (out.hosts.size() == 1 && out.hosts.first().isEmpty() && out.ports.first().isEmpty()) {
        out.hosts.clear();
        out.ports.clear();
    }
    return true;
}

bool readDbname(UriReader& r, PostgresUri& out) {
    if (!r.at(u'/')) {
        return true;
    }
    ++r.pos;
    return r.decode(r.takeUntil(u"?"), out.dbname, u"database name"_s);
}

// A query keyword sets the same parameter as the parts before it and wins over them.
void applyParam(QString key, QString value, PostgresUri& out) {
    if (key == u"ssl"_s && value == u"true"_s) {
        key = u"sslmode"_s;
        value = u"require"_s;
    }
    if (key == u"user"_s) {
        out.user = value;
    } else if (key == u"password"_s) {
        out.password = value;
    } else if (key == u"dbname"_s) {
        out.dbname = value;
    } else if (key == u"host"_s) {
        out.hosts = value.split(u',');
        if (out.ports.size() != out.hosts.size()) {
            out.ports = QStringList();
            for (qsizetype i = 0; i < out.hosts.size(); ++i) {
                out.ports << QString();
            }
        }
    } else if (key == u"port"_s) {
        const QStringList ports = value.split(u',');
        out.ports =
            ports.size() == 1 && out.hosts.size() > 1 ? QStringList(out.hosts.size(), ports.first()) : ports;
        if (out.hosts.isEmpty()) {
            out.hosts = QStringList(out.ports.size(), QString());
        }
    } else {
        out.params.append({key, value});
    }
}

// ?keyword=value&...
bool readParams(UriReader& r, PostgresUri& out) {
    if (!r.at(u'?')) {
        return true;
    }
    ++r.pos;
    for (QStringView pair : r.s.mid(r.pos).split(u'&')) {
        if (pair.isEmpty()) {
            continue;
        }
        const qsizetype eq = pair.indexOf(u'=');
        if (eq <= 0) {
            r.error = u"the parameter \"%1\" has no value"_s.arg(pair.left(eq < 0 ? pair.size() : eq));
            return false;
        }
        QString key;
        QString value;
        if (!r.decode(pair.left(eq), key, u"parameter name"_s)) {
            return false;
        }
        // A malformed value is reported by its keyword only: it may be a password.
        if (!percentDecode(pair.mid(eq + 1), value)) {
            r.error = u"the value of \"%1\" holds a malformed %-escape"_s.arg(key);
            return false;
        }
        applyParam(key, value, out);
    }
    r.pos = r.s.size();
    return true;
}

} // namespace

bool parsePostgresUri(const QString& uri, PostgresUri& out, QString& error) {
    out = PostgresUri();
    const qsizetype start = schemeLength(uri);
    if (start < 0) {
        error = u"it does not start with postgresql://"_s;
        return false;
    }
    UriReader reader{uri, start, error};
    if (!readUserInfo(reader, out) || !readHosts(reader, out) || !readDbname(reader, out) ||
        !readParams(reader, out)) {
        return false;
    }
    if (out.hosts.size() != out.ports.size()) {
        error = u"it names %1 hosts but %2 ports"_s.arg(out.hosts.size()).arg(out.ports.size());
        return false;
    }
    return true;
}

QString redactedPostgresUri(const QString& uri) {
    const qsizetype start = schemeLength(uri);
    if (start < 0) {
        return uri;
    }
    QString result = uri;
    // The query part first, so positions before it stay valid.
    const qsizetype slash = result.indexOf(u'/', start);
    const qsizetype query = result.indexOf(u'?', slash < 0 ? start : slash);
    if (query >= 0) {
        QStringList kept;
        for (const QString& pair : result.mid(query + 1).split(u'&')) {
            if (!pair.startsWith(u"password="_s) && pair != u"password"_s) {
                kept << pair;
            }
        }
        result = result.left(query) + (kept.isEmpty() ? QString() : u'?' + kept.join(u'&'));
    }
    qsizetype at = start;
    while (at < result.size() && result[at] != u'@' && result[at] != u'/') {
        ++at;
    }
    if (at < result.size() && result[at] == u'@') {
        const qsizetype colon = result.indexOf(u':', start);
        if (colon >= 0 && colon < at) {
            result.remove(colon, at - colon);
        }
    }
    return result;
}

} // namespace tallyrow
