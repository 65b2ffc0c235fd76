#pragma once

namespace tallyrow {

/// The SQL (SQLite dialect) that creates the Activity table of a data file and its indexes:
/// statements separated by ";", the CREATE TABLE first. The template empty.yrt is built from it.
const char* activitySchemaSql();

} // namespace tallyrow
