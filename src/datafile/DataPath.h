#pragma once

#include "datafile/Connection.h"
#include "support/Session.h"
#include "support/StepRunner.h"

#include <QString>

#include <chrono>
#include <memory>

namespace tallyrow {

/// The default data file name, joined to folders as it stands.
inline const QString kDefaultDataFileName = QStringLiteral("/data.yrd");
/// The folder inside the documents folder that holds the data file.
inline const QString ApplicationName = QStringLiteral("Tallyrow");

/// Resolves the session's data file: command line, "DatabasePath" setting, documents folder +
/// "/Tallyrow", program folder. The session keeps it once it holds two or more characters.
QString dataPathOf(Session& session, QString fileName);

/// True when the file exists and a connection to it opens. Each function here hands its
/// failures to `onFailure` (Retry, Ignore or leave); without one it leaves the step quietly.
/// An empty `path` checks the session's data file.
bool checkDataPath(Session& session, const QString& path = {}, const FailureHandler& onFailure = {});

/// Opens a new connection into `cn` on `path`; a failure is
/// handed on with the step "opening the data file". True only when the connection is open: Ignore on a
/// failed open leaves `cn` closed and returns false.
bool openConnection(std::unique_ptr<Connection>& cn, const QString& path,
                    const FailureHandler& onFailure = {});

/// Closes `cn` when open and releases it; always true.
bool closeConnection(std::unique_ptr<Connection>& cn, const FailureHandler& onFailure = {});

/// "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + path + "; Jet OLEDB:Database Password = ".
QString connectionStringOf(const QString& path);

/// Makes `newPath` the session's file (sessionOnly, or while a command-line path is in force),
/// or stores it as "DatabasePath" — a server URI without its password, which the settings file
/// never holds in clear.
void saveDataPath(Session& session, const QString& newPath, bool sessionOnly,
                  const FailureHandler& onFailure = {});

/// How long a report waits while the monitoring product holds the data file locked: the
/// "DataFileWaitSeconds" setting (per user, else machine-wide), 60 seconds when unset or not a
/// number of seconds from 0 to an hour.
std::chrono::seconds savedDataFileWait();
/// Stores the wait for later runs; true when written.
bool saveDataFileWait(std::chrono::seconds wait);

} // namespace tallyrow
