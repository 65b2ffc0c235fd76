#pragma once

#include <stdexcept>

namespace tallyrow {

/// Thrown when a block of a saved copy does not match its checksum as it is first used: the copy
/// is damaged and must be read again from the data file; no figure from it is given.
class StoreDamaged : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace tallyrow
