#pragma once
// The two bus database formats, each read by a small parser of its own: DBC (CAN) and LDF
// (LIN). What a reader does not know it reads past; what it knows but cannot make sense of
// stops it with the line and what is wrong.

#include <string>
#include <string_view>

#include "database/BusDatabase.h"

namespace velkor {

struct DatabaseError {
  int line = 0;  // 1 for the first line
  std::string what;
};

// A DBC file: BO_ messages, their SG_ signals (byte order, sign, factor, offset, unit,
// receivers, simple multiplexing), VAL_ value texts and SIG_VALTYPE_ float signals. Messages
// whose signals lie past the eight bytes of a classic frame keep the signals that fit.
[[nodiscard]] bool ReadDbc(std::string_view text, BusDatabase& out, DatabaseError& error);

// An LDF file: the protocol version, the signals, the frames (unconditional, diagnostic and
// event-triggered) with their signals' offsets, the signal encodings (logical and physical
// values) and which signals they apply to.
[[nodiscard]] bool ReadLdf(std::string_view text, BusDatabase& out, DatabaseError& error);

enum class DatabaseFormat { Dbc, Ldf };

// Reads the file at `path`. On failure `reason` says why in the words the user sees:
// "Line N of NAME: what is wrong", NAME being `shownName`.
[[nodiscard]] bool LoadBusDatabase(const std::string& path, std::string_view shownName, DatabaseFormat format,
                                   BusDatabase& out, std::string& reason);

}  // namespace velkor
