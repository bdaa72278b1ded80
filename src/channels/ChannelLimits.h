#pragma once
// What each channel can take: the module samples channel 1 every 2.4 us, channel 2 every
// second sample and channels 3 and 4 once per byte of the live stream, so the fastest bit
// rate a decoder can follow halves with each step. The texts are the channel window's own
// (Windows-1252: "\xB5" is the micro sign); channel 1's text alone has a blank before the unit.

#include <array>
#include <string_view>

#include "pipeline/Types.h"

namespace velkor {

struct ChannelLimits {
  std::string_view sampling;
  std::string_view manchester;  // Manchester carries two half-bits per bit
  std::string_view framed;      // Serial, CAN and LIN
};

inline constexpr std::array<ChannelLimits, kChannelCount> kChannelLimits{{
    {"2.4 \xB5s", "95 kbauds max", "190 kbauds max"},
    {"4.8\xB5s", "47 kbauds max", "95 kbauds max"},
    {"9.6\xB5s", "23 kbauds max", "47 kbauds max"},
    {"9.6\xB5s", "23 kbauds max", "47 kbauds max"},
}};

}  // namespace velkor
