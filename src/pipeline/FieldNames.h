#pragma once
// Per-channel field names that the decoders register for the Filter view's field lists.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/Types.h"

namespace velkor {

class FieldNameLists {
 public:
  void Clear(int channel) { lists_[channel].clear(); }
  // Adds a name only when the channel's list does not hold it yet.
  void Add(int channel, std::string_view name) {
    auto& list = lists_[channel];
    for (const auto& n : list)
      if (n == name) return;
    list.emplace_back(name);
  }
  const std::vector<std::string>& Names(int channel) const { return lists_[channel]; }

 private:
  std::array<std::vector<std::string>, kChannelCount> lists_;
};

}  // namespace velkor
