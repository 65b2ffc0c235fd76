#include "datafile/HostPropertyStore.h"

#include <QStringList>

namespace tallyrow {

HostPropertyStore::~HostPropertyStore() = default;

} // namespace tallyrow
