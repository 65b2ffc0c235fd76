#pragma once

#include <string>
#include <vector>

namespace tallyrow {

/// The SQL (SQLite dialect) that creates the Activity table of a data file and its indexes:
/// statements separated by ";", the CREATE TABLE first. The template empty.yrt is built from it.
const char* activitySchemaSql();

/// The same schema cut into its statements (comments removed), for writers that fill the table
/// before they index it.
struct ActivitySchemaStatements {
    std::string table;                     ///< CREATE TABLE Activity
    std::vector<std::string> uniqueIndexes; ///< CREATE UNIQUE INDEX ...
    std::vector<std::string> indexes;       ///< CREATE INDEX ...
};
ActivitySchemaStatements activitySchemaStatements();

} // namespace tallyrow
