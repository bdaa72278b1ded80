#include "remote/RemoteBlock.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace velkor {

namespace {

static_assert(std::atomic_ref<std::uint8_t>::is_always_lock_free,
              "the state byte is shared with another process: it must be lock-free");

std::uint8_t LoadState(std::span<std::uint8_t> block) {
  return std::atomic_ref<std::uint8_t>(block[0]).load(std::memory_order_acquire);
}

void StoreState(std::span<std::uint8_t> block, std::uint8_t state) {
  std::atomic_ref<std::uint8_t>(block[0]).store(state, std::memory_order_release);
}

// The text area's bytes up to the zero, never past `limit` nor the block's end.
std::size_t TextLength(std::span<std::uint8_t> block, std::size_t limit) {
  if (block.size() <= kRemoteTextOffset) return 0;
  const std::size_t room = std::min(block.size() - kRemoteTextOffset, limit);
  const void* zero = std::memchr(block.data() + kRemoteTextOffset, 0, room);
  return zero == nullptr ? room
                         : static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) -
                                                    (block.data() + kRemoteTextOffset));
}

}  // namespace

RemoteNames RemoteChannelNames(std::string_view executablePath, std::string_view overrideName) {
  if (!overrideName.empty()) return {std::string(overrideName) + "SM", std::string(overrideName) + "EM"};
  std::string_view file = executablePath;
  const std::size_t slash = file.find_last_of("/\\");
  if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
  const std::size_t dot = file.rfind('.');
  if (dot != std::string_view::npos) file = file.substr(0, dot);
  return {std::string(file) + "SM", std::string(kRemoteEventName)};
}

std::optional<std::string_view> ReadRemoteCommand(std::span<std::uint8_t> block,
                                                  RemoteCommandBuffer& buffer) {
  if (block.empty() || LoadState(block) != kRemoteStateCommand) return std::nullopt;
  const std::size_t length = TextLength(block, kRemoteMaxCommandLength);
  if (length > 0) std::memcpy(buffer.data(), block.data() + kRemoteTextOffset, length);
  buffer[length] = '\0';
  return std::string_view(buffer.data(), length);
}

void WriteRemoteReply(std::span<std::uint8_t> block, std::string_view reply) {
  if (block.empty()) return;
  if (block.size() > kRemoteTextOffset) {
    const std::size_t length = std::min(reply.size(), block.size() - kRemoteTextOffset - 1);
    if (length > 0) std::memcpy(block.data() + kRemoteTextOffset, reply.data(), length);
    block[kRemoteTextOffset + length] = 0;
  }
  StoreState(block, kRemoteStateIdle);
}

std::uint8_t RemoteState(std::span<std::uint8_t> block) {
  return block.empty() ? kRemoteStateIdle : LoadState(block);
}

bool PostRemoteCommand(std::span<std::uint8_t> block, std::string_view command) {
  if (block.size() < kRemoteTextOffset + command.size() + 1) return true;
  if (LoadState(block) == kRemoteStateCommand) return true;
  if (!command.empty()) std::memcpy(block.data() + kRemoteTextOffset, command.data(), command.size());
  block[kRemoteTextOffset + command.size()] = 0;
  StoreState(block, kRemoteStateCommand);
  return false;
}

std::optional<std::string> TakeRemoteReply(std::span<std::uint8_t> block) {
  if (block.empty() || LoadState(block) != kRemoteStateIdle) return std::nullopt;
  const std::size_t length = TextLength(block, block.size());
  return std::string(reinterpret_cast<const char*>(block.data() + kRemoteTextOffset), length);
}

}  // namespace velkor
