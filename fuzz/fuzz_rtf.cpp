// Any bytes as the help document: the RTF reader, the chapter index built from it, and the
// index written back as RTF, which must read again into the same titles in the same order.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "app/HelpIndex.h"
#include "app/Rtf.h"

using namespace velkor;
using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string source(reinterpret_cast<const char*>(data), size);
  const RtfDocument plain = ParseRtf(source);
  for (std::size_t i = 0; i < plain.runs.size(); ++i) {
    if (plain.runs[i].text.empty()) Fail("an empty run");
    if (i > 0 && plain.runs[i].format == plain.runs[i - 1].format) Fail("two adjacent runs of one format");
  }

  const HelpDocument help = IndexHelpDocument(source);
  if (help.chapters.size() > kMaxChapters) Fail("more chapters than the index holds");
  const std::string text = help.content.PlainText();
  std::size_t previous = 0;
  for (const HelpChapter& chapter : help.chapters) {
    if (chapter.position >= text.size() || chapter.position < previous) Fail("a chapter outside or out of order");
    if (chapter.title.size() > kMaxChapterTitle) Fail("a chapter title longer than its limit");
    previous = chapter.position;
    (void)help.content.FormatAt(chapter.position);
  }
  if (!help.chapters.empty()) (void)FindHelpTopic(help.chapters, help.chapters.back().title);

  // The index as RTF lists every showable title, each on its own line.
  const RtfDocument index = ParseRtf(HelpIndexRtf(help.chapters));
  const std::string listed = index.PlainText();
  std::size_t at = 0;
  for (const HelpChapter& chapter : help.chapters) {
    if (!IsChapterShowable(chapter)) continue;
    const std::size_t found = listed.find(chapter.title, at);
    if (found == std::string::npos) Fail("a showable title missing from the index written back");
    at = found + chapter.title.size();
  }
  return 0;
}
