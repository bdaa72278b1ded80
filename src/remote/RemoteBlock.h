#pragma once
// The shared block a remote client drives the program through: a state byte at offset 0
// (1 = a command waits for the program, 0 = the reply is in place) and a zero-ended text
// from offset 1 that holds the command, then the reply. The block is mapped by two
// processes at once; the state byte orders their access (the text is written before the
// state byte that publishes it, and read only after that byte has been seen).
//
// Nothing here reads or writes outside the span it is given: the client sizes the block,
// and a block too small for a text cuts the text at its end.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velkor {

inline constexpr std::uint8_t kRemoteStateIdle = 0;
inline constexpr std::uint8_t kRemoteStateCommand = 1;
inline constexpr std::size_t kRemoteTextOffset = 1;
// The program's copy of a command: 1035 characters and the zero.
inline constexpr std::size_t kRemoteCommandBufferSize = 1036;
inline constexpr std::size_t kRemoteMaxCommandLength = kRemoteCommandBufferSize - 1;
// The smallest block that holds every exchange (state byte, longest command, its zero).
inline constexpr std::size_t kRemoteMinBlockSize = 1 + kRemoteCommandBufferSize;

using RemoteCommandBuffer = std::array<char, kRemoteCommandBufferSize>;

inline constexpr std::string_view kRemoteEventName = "VelkorEM";
// Replaces the executable's name in both names, so that programs (and tests) running side
// by side each talk with their own client: the block is <name>SM, the event <name>EM.
inline constexpr const char* kRemoteNameVariable = "VELKOR_REMOTE_NAME";

struct RemoteNames {
  std::string block;  // the executable's file name without folder and extension, and "SM"
  std::string event;  // "VelkorEM"
};

// The names for an executable path (folders split at '/' or '\\'); a non-empty override
// takes the executable name's place.
RemoteNames RemoteChannelNames(std::string_view executablePath, std::string_view overrideName = {});

// --- The program's side.

// When the state byte is 1: copies the text up to its zero into the buffer (at most 1035
// characters, fewer when the block ends first) and returns it. Otherwise nothing. The
// state byte is left as it is.
std::optional<std::string_view> ReadRemoteCommand(std::span<std::uint8_t> block, RemoteCommandBuffer& buffer);

// Writes the reply and its zero from offset 1, cut to what the block holds, then sets the
// state byte to 0. A block of one byte gets only the state byte.
void WriteRemoteReply(std::span<std::uint8_t> block, std::string_view reply);

// --- The client's side.

// The state byte, read with acquire order.
std::uint8_t RemoteState(std::span<std::uint8_t> block);

// Writes the command and its zero from offset 1, then sets the state byte to 1. Refused
// (true) while a command is still waiting, or when the command and its zero do not fit.
[[nodiscard]] bool PostRemoteCommand(std::span<std::uint8_t> block, std::string_view command);

// When the state byte is 0: the text from offset 1 up to its zero (or the block's end).
std::optional<std::string> TakeRemoteReply(std::span<std::uint8_t> block);

}  // namespace velkor
