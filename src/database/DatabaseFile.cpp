#include <filesystem>
#include <fstream>

#include "app/FilePath.h"
#include "database/DatabaseReaders.h"

namespace velkor {

bool LoadBusDatabase(const std::string& path, std::string_view shownName, DatabaseFormat format, BusDatabase& out,
                     std::string& reason) {
  std::error_code ec;
  std::ifstream in;
  const std::filesystem::path file = FilePath(path);
  if (std::filesystem::is_regular_file(file, ec)) in.open(file, std::ios::binary);
  std::string text;
  if (in.is_open()) {
    const auto size = std::filesystem::file_size(file, ec);
    if (!ec) text.reserve(static_cast<std::size_t>(size));
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) text.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  if (!in.is_open() || in.bad()) {
    reason = "The database ";
    reason += shownName;
    reason += " can not be opened";
    out.Clear();
    return false;
  }
  DatabaseError error;
  const bool ok = format == DatabaseFormat::Dbc ? ReadDbc(text, out, error) : ReadLdf(text, out, error);
  if (ok) return true;
  reason = "Line " + std::to_string(error.line) + " of ";
  reason += shownName;
  reason += ": ";
  reason += error.what;
  out.Clear();
  return false;
}

}  // namespace velkor
