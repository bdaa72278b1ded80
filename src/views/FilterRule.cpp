#include "views/FilterRule.h"

#include "pipeline/UserInterface.h"

namespace velkor {

namespace {

// Stop is asked for between lines, but not after every one: asking may let the interface
// handle its events, which costs more than testing a line.
constexpr std::size_t kStopPollLines = 1024;

// Walks the frame text field by field without taking each one apart: only a field whose
// name (after its marker) is the chosen one has its value compared.
bool FieldPasses(std::string_view line, const FilterRule& rule) {
  if (!rule.hasField) return false;
  const bool equal = rule.comparison == kCompareEqual;
  if (!equal && rule.comparison != kCompareDiffer) return false;
  const std::string_view name = rule.field;
  // A name ends at the first "=", so a chosen name holding one names no field.
  if (name.find('=') != std::string_view::npos) return false;
  const std::string_view frame = FrameText(line);
  std::size_t pos = 0;
  while (pos < frame.size()) {
    std::size_t end = frame.find(',', pos);
    if (end == std::string_view::npos) end = frame.size();
    std::string_view f = frame.substr(pos, end - pos);
    pos = end + 1;
    if (!f.empty() && (f[0] == kErrorLineMark || f[0] == kDescribedFieldMark)) f.remove_prefix(1);
    if (f.size() <= name.size() || f[name.size()] != '=' || f.substr(0, name.size()) != name) continue;
    const std::string_view value = f.substr(name.size() + 1);
    const bool same = value == rule.contentA || value == rule.contentB;
    if (same == equal) return true;
  }
  return false;
}

}  // namespace

void ChooseFilterField(FilterRowSettings& row, int field) {
  row.field = field;
  if (field >= 0 && (row.equal < 0 || row.equal >= kCompareCount)) row.equal = kCompareEqual;
}

FilterRule MakeFilterRule(const FilterRowSettings& row, const std::vector<std::string>& fieldNames) {
  FilterRule rule;
  rule.kind = row.channelIf;
  rule.hasField = row.field >= 0 && static_cast<std::size_t>(row.field) < fieldNames.size();
  if (rule.hasField) rule.field = fieldNames[static_cast<std::size_t>(row.field)];
  rule.comparison = row.equal;
  rule.contentA = row.contentA;
  rule.contentB = row.contentB;
  rule.match = row.match;
  return rule;
}

std::string_view FrameText(std::string_view line) {
  const std::size_t first = line.find(',');
  if (first == std::string_view::npos) return {};
  const std::size_t second = line.find(',', first + 1);
  if (second == std::string_view::npos) return {};
  return line.substr(second + 1);
}

bool LinePasses(std::string_view line, const FilterRules& rules) {
  if (line.empty()) return false;
  const int channel = static_cast<unsigned char>(line[0]) - '0';
  if (channel < 0 || channel >= kChannelCount) return false;
  const FilterRule& rule = rules[static_cast<std::size_t>(channel)];
  switch (static_cast<FieldFilterKind>(rule.kind)) {
    case FieldFilterKind::Always: return true;
    case FieldFilterKind::Never: return false;
    case FieldFilterKind::IfField: return FieldPasses(line, rule);
    // An empty match text is never found.
    case FieldFilterKind::IfMatch:
      return !rule.match.empty() && FrameText(line).find(rule.match) != std::string_view::npos;
    case FieldFilterKind::IfNotMatch:
      return rule.match.empty() || FrameText(line).find(rule.match) == std::string_view::npos;
  }
  return false;
}

std::size_t ExecuteFilter(const DecodedLineList& source, DecodedLineList& destination, const FilterRules& rules,
                          UserInterface& ui) {
  destination.Clear();
  const std::size_t n = source.size();
  if (n == 0) return 0;
  ui.ShowProgress("Filter...");
  int shown = 0;
  // The first line whose percentage (k x 100 div n) passes the one shown.
  auto nextChangeAt = [n](int percent) { return ((static_cast<std::size_t>(percent) + 1) * n + 99) / 100; };
  std::size_t changeAt = nextChangeAt(shown);
  for (std::size_t k = 0; k < n; ++k) {
    // Asking for Stop lets the interface run its events; a run start or the remote client
    // may take lines from the source meanwhile, and the lines gone are not read.
    if (k >= source.size()) break;
    const std::string_view line = source.Line(k);
    if (LinePasses(line, rules)) destination.Append(line, source.Tag(k));
    if (k >= changeAt) {
      shown = static_cast<int>(k * 100 / n);
      ui.SetProgress(shown);
      changeAt = nextChangeAt(shown);
    }
    if ((k + 1) % kStopPollLines == 0 && ui.StopRequested()) break;
  }
  ui.HideProgress();
  return destination.size();
}

std::string FilterLineCountText(std::size_t count) {
  return std::to_string(count) + (count >= 2 ? " lines" : " line");
}

}  // namespace velkor
