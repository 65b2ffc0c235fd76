#include "datafile/ui/FileChooser.h"

namespace tallyrow {

FileChooser::~FileChooser() = default;

} // namespace tallyrow
