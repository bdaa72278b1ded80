#pragma once
// The Filter view's rules and its run over a line list, apart from any window.
// A rule per channel decides whether a decoded line of that channel is kept; Execute runs
// the rules over a source list and appends the lines that pass to a destination list.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/Settings.h"
#include "pipeline/Types.h"
#include "views/DecodedLine.h"

namespace velkor {

class UserInterface;

// Item indexes of the rule list.
enum class FieldFilterKind : int { Always = 0, IfField = 1, Never = 2, IfMatch = 3, IfNotMatch = 4 };
inline constexpr int kFieldFilterKindCount = 5;
// Item indexes of the comparison list.
inline constexpr int kCompareEqual = 0;
inline constexpr int kCompareDiffer = 1;
inline constexpr int kCompareCount = 2;

// One channel's rule, with the chosen field resolved to its name.
struct FilterRule {
  int kind = static_cast<int>(FieldFilterKind::Always);  // another value lets nothing pass
  bool hasField = false;  // a field is chosen
  std::string field;
  int comparison = -1;  // kCompareEqual, kCompareDiffer; another value lets nothing pass
  std::string contentA;
  std::string contentB;
  std::string match;
};

using FilterRules = std::array<FilterRule, kChannelCount>;

// The user picks field `field` of the row's list. A row without a comparison then compares
// with "=": without one, the rule would let nothing pass.
void ChooseFilterField(FilterRowSettings& row, int field);

// The rule of a row of settings; `fieldNames` is the channel's list that `row.field` indexes.
FilterRule MakeFilterRule(const FilterRowSettings& row, const std::vector<std::string>& fieldNames);

// The frame text as stored: everything after the second comma (empty when there is none).
std::string_view FrameText(std::string_view line);

// Whether a line passes the rule of its channel (the line's first character).
bool LinePasses(std::string_view line, const FilterRules& rules);

// Runs the rules over `source` (which must not be `destination`) after emptying
// `destination`. Shows the progress titled "Filter..." when the source has lines, with its
// percentage updated only when it changes, and ends early when the user asks to stop; the
// lines found so far stay. Returns the number of lines kept.
std::size_t ExecuteFilter(const DecodedLineList& source, DecodedLineList& destination, const FilterRules& rules,
                          UserInterface& ui);

// The Filter view's line count: "0 line", "1 line", "2 lines".
std::string FilterLineCountText(std::size_t count);

}  // namespace velkor
