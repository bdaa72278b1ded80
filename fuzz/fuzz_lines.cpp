// Arbitrary stored lines (the input cut at line feeds): the line reader, RenderDecodedLine,
// the 1000-character cut, the line list and the line views' texts (date column, relative
// time, selection count). Rendering never shows a comma of the line, and the list gives back
// every line as it was appended, also after its oldest lines went.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "views/DecodedLine.h"
#include "views/LineText.h"

using namespace velkor;
using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string captions[4] = {"CAN", "", "Relay12", "\xA3$=x"};
  static const ChannelCaptions viewCaptions{{captions[0], captions[1], captions[2], captions[3]}};
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> stored;
  for (;;) {
    const std::size_t nl = input.find('\n');
    stored.push_back(input.substr(0, nl));
    if (nl == std::string_view::npos) break;
    input.remove_prefix(nl + 1);
  }

  DecodedLineList list;
  std::string scratch;
  for (std::string_view line : stored) {
    const std::string rendered = RenderDecodedLine(line, captions);
    if (line.empty() != rendered.empty()) Fail("an empty rendering of a line that is not empty, or the reverse");
    if (rendered.find(',') != std::string::npos) Fail("a comma of the line in its rendering");

    const LineReader reader(line);
    LineReader walk(line);
    LineField field;
    std::size_t fields = 0;
    while (walk.NextField(field)) {
      if (field.text.find(',') != std::string_view::npos) Fail("a field holding a comma");
      if (field.hasValue && field.name.size() + 1 + field.value.size() != field.text.size())
        Fail("a named value that is not its name, \"=\" and its value");
      if (++fields > line.size()) Fail("the walk over the fields does not end");
    }

    const std::string_view cut = CutDecodedLine(line, scratch);
    if (cut.size() > kMaxDecodedLineLength) Fail("a cut line longer than 1000 characters");
    if (line.size() > kMaxDecodedLineLength &&
        (cut.size() != kMaxDecodedLineLength || !cut.ends_with("..,") || cut.substr(0, 997) != line.substr(0, 997)))
      Fail("a long line not cut to its first 997 characters and \"..,\"");
    for (const bool milliseconds : {true, false}) {
      const std::string column = DateColumnText(reader.Date(), milliseconds);
      if (column.size() < 13 || column[column.size() - 4] != '.') Fail("a date column without its point");
    }
    list.Append(line);
  }

  if (list.size() != stored.size()) Fail("the list lost a line");

  // The views' click texts over every row, with the selection taken from the lines' first
  // bytes. Dates reach them only from the decoders, far below 2^62 microseconds; lines that
  // say otherwise are outside what the views are asked to time.
  bool timeable = true;
  for (std::size_t i = 0; i < list.size(); ++i) {
    list.SetSelected(i, !stored[i].empty() && (stored[i][0] & 1) != 0);
    timeable = timeable && LineDateMicros(stored[i]) >= 0 && LineDateMicros(stored[i]) < (std::int64_t{1} << 62);
  }
  // A block of selected rows is walked on each click: a few dozen clicks keep a long list cheap.
  if (timeable)
    for (std::size_t i = 0; i < list.size(); i += 1 + list.size() / 32) {
      const ClickStatus status = ClickStatusAt(list, i);
      if (!status.relativeTime.starts_with("Relative time : ") || !status.selectedLines.starts_with("Selected lines : "))
        Fail("a click status without its captions");
    }
  (void)RenderLines(list, viewCaptions, true);
  const std::size_t removed = stored.size() / 2;
  for (std::size_t i = 0; i < removed; ++i) list.RemoveFirst();
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list.Line(i) != stored[removed + i]) Fail("the list gives back another line than was appended");
  return 0;
}
