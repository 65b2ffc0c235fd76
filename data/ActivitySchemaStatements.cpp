#include "ActivitySchema.h"

#include <sstream>

namespace tallyrow {

ActivitySchemaStatements activitySchemaStatements() {
    ActivitySchemaStatements result;
    std::string code;
    std::istringstream lines(activitySchemaSql());
    for (std::string line; std::getline(lines, line);) {
        const auto first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line.compare(first, 2, "--") != 0) {
            code += line + '\n';
        }
    }
    std::istringstream statements(code);
    for (std::string s; std::getline(statements, s, ';');) {
        const auto first = s.find_first_not_of(" \t\n");
        if (first == std::string::npos) {
            continue;
        }
        s.erase(0, first);
        if (s.rfind("CREATE TABLE", 0) == 0) {
            result.table = s;
        } else if (s.rfind("CREATE UNIQUE INDEX", 0) == 0) {
            result.uniqueIndexes.push_back(s);
        } else if (s.rfind("CREATE INDEX", 0) == 0) {
            result.indexes.push_back(s);
        }
    }
    return result;
}

} // namespace tallyrow
