#pragma once

#include "datafile/Connection.h"

#include <QString>

#include <memory>
#include <optional>

namespace tallyrow {

/// Where the activity data comes from, made once from what the user names: the path of a data
/// file (SQLite or Access) or the URI of a PostgreSQL server ("postgresql://" or "postgres://",
/// any case). Whatever depends on which of the two it is asks this value, so the rest of the
/// program never tells them apart itself.
class DataSource final {
public:
    DataSource() = default;
    /// `pathOrUri` as given; "" names nothing.
    explicit DataSource(QString pathOrUri);

    /// The path or URI as given: what a connection is opened on and the settings refer to.
    const QString& location() const { return m_location; }
    bool isEmpty() const { return m_location.isEmpty(); }
    /// The same source with a file's path made absolute; a server's URI as it is.
    DataSource absolute() const;

    /// How it is shown in the window, messages and logs: a server's URI without its password, a
    /// file's path as given.
    QString shownName() const;
    /// What it is, in words that go before its shown name: "the data file" or "the database".
    QString noun() const;
    /// What the settings file may hold of it: a file's path as it is, a server's URI without any
    /// password (libpq finds that in ~/.pgpass or PGPASSFILE instead).
    QString storable() const;

    /// The real file it reads; "" for a server.
    QString filePath() const;
    /// When `output` names the data file or one of the files its writer keeps beside it
    /// (write-ahead log, rollback journal, shared-memory index), under any spelling of the path, a
    /// link or another name of the same file: what it names, in words that fit after "it is"
    /// ("the data file's write-ahead log"). Writing there would lose what the monitoring product
    /// committed. Nothing for a server or another file.
    std::optional<QString> partAt(const QString& output) const;
    /// Why there is nothing to read at a file's path ("the file does not exist", "it is a folder,
    /// not a file"); "" when there is a file, and always for a server, which is tried by connecting.
    QString absence() const;
    /// Whether a saved copy of its rows applies: a data file is read whole into one and followed
    /// by what changed; a server answers every report itself.
    bool keepsSavedCopy() const;

    /// Opens a provider for it: the reader its kind or its file's first bytes call for. Fails with
    /// an Error (kind DataSource) that names the source and the reason.
    std::unique_ptr<Connection::Provider> open() const;

private:
    enum class Kind { None, File, Server };

    Kind m_kind = Kind::None;
    QString m_location;
};

} // namespace tallyrow
