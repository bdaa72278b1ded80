#include "pipeline/FieldNames.h"

#include <algorithm>
#include <iterator>

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
  const auto before = static_cast<int>(lists_[channel].size());
  if (changed_) changed_(channel, kEmptying, before);
  lists_[channel].clear();
  if (changed_) changed_(channel, -1, before);
}

void FieldNameLists::Add(int channel, std::string_view name) {
  auto& list = lists_[channel];
  const auto at = std::lower_bound(list.begin(), list.end(), name,
                                   [](const std::string& n, std::string_view v) { return FieldNameLess(n, v); });
  if (at != list.end() && *at == name) return;
  const auto index = static_cast<int>(at - list.begin());
  const auto before = static_cast<int>(list.size());
  list.emplace(at, name);
  if (changed_) changed_(channel, index, before);
}

void FieldNameLists::AddMany(int channel, const std::vector<std::string_view>& names) {
  // One merge of the sorted names into the list: inserting thousands of names one by one
  // would move the list's tail for each of them.
  std::vector<std::string_view> fresh(names);
  std::sort(fresh.begin(), fresh.end(), FieldNameLess);
  fresh.erase(std::unique(fresh.begin(), fresh.end()), fresh.end());
  auto& list = lists_[channel];
  std::vector<std::string> merged;
  merged.reserve(list.size() + fresh.size());
  std::vector<int> inserted;  // indexes in the merged list, rising
  auto old = list.begin();
  for (const std::string_view name : fresh) {
    while (old != list.end() && FieldNameLess(*old, name)) merged.push_back(std::move(*old++));
    if (old != list.end() && *old == name) continue;
    inserted.push_back(static_cast<int>(merged.size()));
    merged.emplace_back(name);
  }
  std::move(old, list.end(), std::back_inserter(merged));
  const auto count = static_cast<int>(list.size());
  list = std::move(merged);
  if (!changed_) return;
  // In rising order each name lands at its final index: all that comes before it is in.
  batching_ = true;
  for (std::size_t k = 0; k < inserted.size(); ++k) changed_(channel, inserted[k], count + static_cast<int>(k));
  batching_ = false;
  if (!names.empty()) changed_(channel, kNamesAdded, static_cast<int>(list.size()));
}

}  // namespace velkor
