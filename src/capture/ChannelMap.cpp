#include "capture/ChannelMap.h"

#include <algorithm>
#include <charconv>

namespace velkor {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A whole positive number and nothing else.
bool ParseNumber(std::string_view text, int& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value > 0;
}

int CountNamed(const std::vector<std::string>& names, std::string_view name) {
  return static_cast<int>(std::count(names.begin(), names.end(), name));
}

}  // namespace

ChannelMap DefaultChannelMap(std::size_t fileChannels) {
  ChannelMap map;
  for (int i = 0; i < kChannelCount; ++i) map[i] = static_cast<std::size_t>(i) < fileChannels ? i : kUnmapped;
  return map;
}

std::string ChannelLabel(const std::vector<std::string>& names, int index) {
  if (index >= 0 && static_cast<std::size_t>(index) < names.size() && !names[index].empty()) return names[index];
  return "#" + std::to_string(index + 1);
}

bool ParseChannelMap(std::string_view text, const std::vector<std::string>& names, ChannelMap& map,
                     std::string& error) {
  ChannelMap result;
  result.fill(kUnmapped);
  const int count = static_cast<int>(names.size());
  std::array<bool, kChannelCount> given{};
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view entry = Trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    if (entry.empty()) continue;
    const std::size_t equals = entry.find('=');
    int target = 0;
    if (equals == std::string_view::npos || !ParseNumber(Trim(entry.substr(0, equals)), target) ||
        target > kChannelCount) {
      error = "'" + std::string(entry) + "' is not of the form CHANNEL=SOURCE with CHANNEL 1 to 4";
      return true;
    }
    if (given[target - 1]) {
      error = "channel " + std::to_string(target) + " is given twice";
      return true;
    }
    given[target - 1] = true;
    std::string_view source = Trim(entry.substr(equals + 1));
    int index = -1;
    int number = 0;
    if (source.starts_with('#')) {
      if (!ParseNumber(source.substr(1), number) || number > count) {
        error = "the file has no channel " + std::string(source) + " (it has " + std::to_string(count) + ")";
        return true;
      }
      index = number - 1;
    } else {
      const auto named = std::find(names.begin(), names.end(), source);
      const bool isNumber = ParseNumber(source, number) && number <= count;
      if (named != names.end()) {
        if (CountNamed(names, source) > 1) {
          error = "the file has more than one channel named '" + std::string(source) + "'; give its number";
          return true;
        }
        index = static_cast<int>(named - names.begin());
        if (isNumber && number - 1 != index) {
          error = "'" + std::string(source) + "' names channel #" + std::to_string(index + 1) +
                  " but is also the number of channel #" + std::to_string(number) + "; write #" +
                  std::to_string(number) + " for that one, or #" + std::to_string(index + 1) + " for the one named '" +
                  std::string(source) + "'";
          return true;
        }
      } else if (isNumber) {
        index = number - 1;
      } else {
        error = "the file has no channel named '" + std::string(source) + "'";
        return true;
      }
    }
    result[target - 1] = index;
  }
  map = result;
  return false;
}

std::string FormatChannelMap(const ChannelMap& map, const std::vector<std::string>& names) {
  std::string text;
  for (int i = 0; i < kChannelCount; ++i) {
    if (map[i] == kUnmapped) continue;
    if (!text.empty()) text += ',';
    text += std::to_string(i + 1) + "=";
    const int index = map[i];
    const bool hasName = static_cast<std::size_t>(index) < names.size() && !names[index].empty();
    int number = 0;
    const bool nameAlone = hasName && CountNamed(names, names[index]) == 1 &&
                           !(ParseNumber(names[index], number) && number - 1 != index) &&
                           names[index].find_first_of(",=") == std::string::npos && !names[index].starts_with('#');
    text += nameAlone ? names[index] : "#" + std::to_string(index + 1);
  }
  return text;
}

}  // namespace velkor
