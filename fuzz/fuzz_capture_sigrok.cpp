// A sigrok session: the metadata text, "#capture#" and the logic bytes are packed into an
// archive (so the metadata and the resampling get the mutations, not only the zip layout);
// an input without the separator is taken as the archive's own bytes.

#include <zip.h>

#include "CaptureFuzz.h"

using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const DescriptionAndCapture parts = SplitAtCapture(data, size);
  const std::string path = ScratchFolder() + "/input.sr";
  if (parts.description.size() == size) {
    WriteScratchFile("input.sr", {reinterpret_cast<const char*>(data), size});
  } else {
    std::remove(path.c_str());
    int code = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (zip == nullptr) Fail("the scratch archive cannot be made");
    const std::string_view half = parts.capture.substr(0, parts.capture.size() / 2);
    const std::string_view rest = parts.capture.substr(half.size());
    const std::pair<const char*, std::string_view> entries[] = {
        {"metadata", parts.description}, {"logic-1-1", half}, {"logic-1-2", rest}};
    for (const auto& [name, bytes] : entries) {
      zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
      if (source == nullptr || zip_file_add(zip, name, source, ZIP_FL_OVERWRITE) < 0) Fail("cannot add to the archive");
    }
    if (zip_close(zip) != 0) Fail("the scratch archive cannot be written");
  }
  CheckCapture(path);
  return 0;
}
