#include "app/Installation.h"

#include <filesystem>
#include <system_error>

#include "app/FilePath.h"

namespace velkor {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDemoConfig = "examples/demo.cfg";
constexpr const char* kDemoCapture = "examples/demo.bin";

bool HoldsDemo(const fs::path& folder) {
  std::error_code ec;
  return fs::is_regular_file(folder / kDemoConfig, ec);
}

std::string Normal(const fs::path& path) { return PathText(path.lexically_normal()); }

void Anchor(std::string& path, const fs::path& base) {
  if (path.empty()) return;
  const fs::path p = FilePath(path);
  if (p.is_absolute()) return;
  std::error_code ec;
  const fs::path anchored = base / p;
  if (fs::is_regular_file(anchored, ec)) path = Normal(anchored);
}

}  // namespace

std::optional<std::string> InstalledDataFolder(const std::string& executableFolder) {
  if (executableFolder.empty()) return std::nullopt;
  const fs::path folder = FilePath(executableFolder) / fs::path(InstalledDataFromBin());
  if (!HoldsDemo(folder)) return std::nullopt;
  return Normal(folder);
}

std::optional<std::string> FindDataFolder(const std::string& executableFolder) {
  if (auto installed = InstalledDataFolder(executableFolder)) return installed;
  const fs::path source{std::string(SourceDataFolder())};
  if (!source.empty() && HoldsDemo(source)) return Normal(source);
  return std::nullopt;
}

std::optional<DemoFiles> FindDemo(const std::string& executableFolder) {
  const auto folder = FindDataFolder(executableFolder);
  if (!folder) return std::nullopt;
  const fs::path base = FilePath(*folder);
  return DemoFiles{*folder, Normal(base / kDemoConfig), Normal(base / kDemoCapture)};
}

void AnchorDescriptionPaths(Settings& settings, const std::string& base) {
  const fs::path root = FilePath(base);
  for (ChannelSettings& channel : settings.channels) {
    for (ManchesterEntry& entry : channel.manchesterFiles) Anchor(entry.path, root);
    Anchor(channel.serialFile, root);
    Anchor(channel.canFile, root);
    Anchor(channel.linFile, root);
  }
}

}  // namespace velkor
