#pragma once
// Per-channel field names that the decoders register for the Filter view's field lists.
// Each list is kept in alphabetical order, the order in which the user picks a name, so an
// item index chosen in the view is an index into Names().

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/Types.h"

namespace velkor {

// Alphabetical order: letters compared without regard to case, then the exact bytes, so
// "DataFrame" comes before "DLC" and "ID" before "id".
bool FieldNameLess(std::string_view a, std::string_view b);

class FieldNameLists {
 public:
  // Told after every change of a channel's list: `insertedAt` is the index of a name just
  // added, or -1 when the list was emptied; `countBefore` is the list's length before.
  // Before a list is emptied it is also told, with kEmptying, while the names are still there.
  using ChangeHandler = std::function<void(int channel, int insertedAt, int countBefore)>;
  static constexpr int kEmptying = -3;
  void SetChangeHandler(ChangeHandler handler) { changed_ = std::move(handler); }

  void Clear(int channel);
  // Adds a name only when the channel's list does not hold it yet (case counts).
  void Add(int channel, std::string_view name);
  // Adds each name as Add does, but the views hear of it once, at the end, with `insertedAt`
  // kNamesAdded: a bus database brings thousands of names. The handler is still told of each
  // insertion, in the order of the list, as if the names had gone in one by one in that
  // order, to keep indexes in step; meanwhile Batching() is true.
  static constexpr int kNamesAdded = -2;
  void AddMany(int channel, const std::vector<std::string_view>& names);
  bool Batching() const { return batching_; }
  const std::vector<std::string>& Names(int channel) const { return lists_[channel]; }

 private:
  std::array<std::vector<std::string>, kChannelCount> lists_;
  ChangeHandler changed_;
  bool batching_ = false;
};

}  // namespace velkor
