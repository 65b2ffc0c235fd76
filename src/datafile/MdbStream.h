#pragma once

// The stream tallyrow-mdb-reader writes on its standard output and the Jet provider reads.
// Everything is bytes; numbers are unsigned LEB128 varints, signed integers zigzag-encoded.
//
//   magic "TALLYROW-MDB 1\n"
//   varint column count, then per column: varint length + UTF-8 name (the names as the file
//   spells them, in the order the reader was asked for)
//   per row: 'R', then per column one value:
//       0 NULL | 1 integer: zigzag varint | 2 double: 8 bytes IEEE little-endian |
//       3 text: varint length + UTF-8 bytes
//   end: 'E' + varint row count
//
// The end record tells a complete stream from one cut short by a crash. Failures are reported on
// standard error as one line starting with kErrorPrefix and an exit code below.

#include <cstdint>
#include <string_view>

namespace tallyrow::mdbstream {

inline constexpr std::string_view kMagic = "TALLYROW-MDB 1\n";
inline constexpr char kRow = 'R';
inline constexpr char kEnd = 'E';

enum Tag : unsigned char { Null = 0, Integer = 1, Double = 2, Text = 3 };

/// Exit codes of tallyrow-mdb-reader.
enum Exit : int {
    Ok = 0,
    Usage = 2,
    NotADatabase = 3, ///< libmdb cannot open the file as an Access database
    NoTable = 4,      ///< the table asked for does not exist
    NoColumn = 5,     ///< the table lacks a column asked for
    Damaged = 6,      ///< reading the rows failed part way
};

inline constexpr std::string_view kErrorPrefix = "tallyrow-mdb-reader: ";

inline std::uint64_t zigzag(std::int64_t v) {
    return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}
inline std::int64_t unzigzag(std::uint64_t v) {
    return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}

} // namespace tallyrow::mdbstream
