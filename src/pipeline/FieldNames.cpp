#include "pipeline/FieldNames.h"

#include <algorithm>

namespace velkor {

namespace {
unsigned char FoldCase(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}
}  // namespace

bool FieldNameLess(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = FoldCase(a[i]), y = FoldCase(b[i]);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

void FieldNameLists::Clear(int channel) {
  lists_[channel].clear();
  if (changed_) changed_(channel, -1);
}

void FieldNameLists::Add(int channel, std::string_view name) {
  auto& list = lists_[channel];
  const auto at = std::lower_bound(list.begin(), list.end(), name,
                                   [](const std::string& n, std::string_view v) { return FieldNameLess(n, v); });
  if (at != list.end() && *at == name) return;
  const auto index = static_cast<int>(at - list.begin());
  list.emplace(at, name);
  if (changed_) changed_(channel, index);
}

void FieldNameLists::AddMany(int channel, const std::vector<std::string_view>& names) {
  batching_ = true;
  for (const std::string_view name : names) Add(channel, name);
  batching_ = false;
  if (changed_ && !names.empty()) changed_(channel, kNamesAdded);
}

}  // namespace velkor
