#pragma once
// The captures of the whole-pipeline benchmarks: four decoders (CAN 125 kbit/s on channel 1,
// LIN 19200 baud on channel 2, Serial 9600 baud on channel 3, Logical on channel 4) over an
// idle bus, over everyday traffic, and over a CAN bus at full load.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/Settings.h"

namespace velkor::bench {

enum class Traffic {
  Idle,     // every line quiet
  Mixed,    // CAN at about a quarter of its capacity, a LIN frame every 10 ms, a Serial
            // message of 16 words every 100 ms, the Logical line changing every 20 to 80 ms
  DenseCan,  // CAN frames back to back (only the interframe space between them), the
             // other lines quiet
  MixedKnownIds  // as Mixed, but every CAN and LIN frame has an identifier of the bench
                 // databases (see SetUpChannels), as on a bus that a database describes
};

std::string_view TrafficName(Traffic traffic);

// Writes the three descriptions into `folder` and sets up the four channels to use them. The
// CAN description names two identifiers, and `moreCanNames` more (a car's bus has hundreds).
// With `checks`, the CAN and LIN descriptions turn on every option they have (extended frames
// and frame checks, parity and diagnostic checksums). With `databases`, the CAN description
// names a DBC of 300 messages and 2000 signals, and the LIN description an LDF of 60 frames and
// 240 signals.
void SetUpChannels(const std::string& folder, Settings& settings, int moreCanNames = 0, bool checks = false,
                   bool databases = false);

// `samples` samples of the traffic (one per byte); the same for the same arguments.
std::vector<std::uint8_t> MakeTraffic(Traffic traffic, std::size_t samples);

}  // namespace velkor::bench
