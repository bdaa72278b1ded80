#pragma once
// Which channel of a capture file each of the four decoding channels reads. A file of another
// instrument may hold any number of channels, named or not; the user picks them by name or by
// their 1-based number in the file ("1=SDA,2=3"). Without a choice the file's first four
// channels are channels 1 to 4.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/Types.h"

namespace velkor {

// The index (0-based, in file order) of the file channel each decoding channel reads, or
// kUnmapped: that channel then stays low.
inline constexpr int kUnmapped = -1;
using ChannelMap = std::array<int, kChannelCount>;

ChannelMap DefaultChannelMap(std::size_t fileChannels);

// Reads a map text: entries "V=S" separated by commas, V a decoding channel 1 to 4 and S a
// channel of the file by name or by number ("#3" is always the number). Decoding channels the
// text does not name stay low. A name that is also the number of another channel is refused
// as ambiguous rather than guessed. Returns true (failed) with `error` saying what is wrong.
[[nodiscard]] bool ParseChannelMap(std::string_view text, const std::vector<std::string>& names,
                                   ChannelMap& map, std::string& error);

// The text ParseChannelMap reads back to the same map: names where the file has a name that
// picks the channel alone, "#n" otherwise.
std::string FormatChannelMap(const ChannelMap& map, const std::vector<std::string>& names);

// A file channel as the user sees it: its name, or "#n" when it has none.
std::string ChannelLabel(const std::vector<std::string>& names, int index);

}  // namespace velkor
