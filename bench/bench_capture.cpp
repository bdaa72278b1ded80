// Captures of other instruments: a sigrok session at the module's rate replayed against the
// same capture as a *.bin, the resampling of a 4 MHz session onto the grid, and the reading
// of a value change dump.

#include <benchmark/benchmark.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <vector>

#include "BenchCaptures.h"
#include "TestRig.h"
#include "capture/CaptureReader.h"
#include "capture/CaptureWriter.h"
#include "pipeline/DecMain.h"

using namespace velkor;

namespace {

// Everyday traffic, 20 million samples (48 s), as a *.bin and as the session written of it.
struct Captures {
  Captures() {
    bench::SetUpChannels(dir.Path(), settings);
    const auto bytes = bench::MakeTraffic(bench::Traffic::Mixed, 20'000'000);
    samples = bytes.size();
    bin = dir.Write("capture.bin", bytes);
    session = dir.File("capture.sr");
    vcd = dir.File("capture.vcd");
    std::string error;
    for (const auto& [path, format] : {std::pair{session, CaptureFormat::Sigrok}, {vcd, CaptureFormat::Vcd}}) {
      auto reader = OpenCapture(bin, error);
      if (!reader || WriteCapture(*reader, path, format, {"A", "B", "C", "D"}, error)) std::abort();
    }
  }
  test::TempDir dir;
  Settings settings;
  std::string bin, session, vcd;
  std::size_t samples = 0;
};

const Captures& TheCaptures() {
  static const Captures captures;
  return captures;
}

// Reads a capture to its end, `buffer` at a time; false (the benchmark skipped) when it
// cannot be opened.
bool ReadThrough(const std::string& path, std::vector<std::uint8_t>& buffer, benchmark::State& state) {
  std::string error;
  auto reader = OpenCapture(path, error);
  if (!reader) {
    state.SkipWithError(error.c_str());
    return false;
  }
  std::size_t ticks = 0, n = 0;
  while ((n = reader->Read(buffer.data(), buffer.size())) > 0) ticks += n;
  benchmark::DoNotOptimize(ticks);
  return true;
}

void BM_ReplayMixedBin(benchmark::State& state) {
  const Captures& c = TheCaptures();
  Settings settings = c.settings;
  SilentUserInterface ui;
  for (auto _ : state) {
    Pipeline pipeline(settings, ui);
    if (!pipeline.ReplayCaptureFile(c.bin)) state.SkipWithError("replay failed");
    benchmark::DoNotOptimize(pipeline.Lines().size());
  }
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(c.samples), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReplayMixedBin)->Unit(benchmark::kMillisecond);

void BM_ReplayMixedSigrok(benchmark::State& state) {
  const Captures& c = TheCaptures();
  Settings settings = c.settings;
  SilentUserInterface ui;
  for (auto _ : state) {
    Pipeline pipeline(settings, ui);
    std::string error;
    auto reader = OpenCapture(c.session, error);
    if (!reader) {
      state.SkipWithError("open failed");
      break;
    }
    pipeline.ReplaySource(*reader);
    benchmark::DoNotOptimize(pipeline.Lines().size());
  }
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(c.samples), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReplayMixedSigrok)->Unit(benchmark::kMillisecond);

// A 4 MHz session of 96 million samples (24 s) of slow square waves on four channels;
// arg 1: its chunks deflated as sigrok writes them, 0: stored (the resampling alone).
struct FastSession {
  explicit FastSession(bool deflated) {
    const std::size_t chunkSize = 4 << 20;
    std::vector<std::string> chunks;
    for (std::size_t at = 0; at < kSamples; at += chunkSize) {
      std::string chunk(std::min(chunkSize, kSamples - at), '\0');
      for (std::size_t k = 0; k < chunk.size(); ++k) {
        const std::size_t n = at + k;
        chunk[k] = static_cast<char>(((n / 401) & 1) | ((n / 977) & 1) << 1 | ((n / 4001) & 1) << 2 | ((n / 9973) & 1) << 3);
      }
      chunks.push_back(std::move(chunk));
    }
    path = dir.File(deflated ? "deflated.sr" : "stored.sr");
    int code = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    const std::string metadata =
        "[device 1]\ncapturefile=logic-1\ntotal probes=8\nsamplerate=4 MHz\nunitsize=1\n";
    auto add = [&](const std::string& name, const std::string& bytes) {
      const zip_int64_t index = zip_file_add(zip, name.c_str(), zip_source_buffer(zip, bytes.data(), bytes.size(), 0), 0);
      zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), deflated ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 1);
    };
    add("metadata", metadata);
    for (std::size_t k = 0; k < chunks.size(); ++k) add("logic-1-" + std::to_string(k + 1), chunks[k]);
    if (zip_close(zip) != 0) std::abort();
  }
  static constexpr std::size_t kSamples = 96'000'000;
  test::TempDir dir;
  std::string path;
};

void BM_Resample4MHzSession(benchmark::State& state) {
  static const FastSession stored(false), deflated(true);
  const FastSession& session = state.range(0) != 0 ? deflated : stored;
  std::vector<std::uint8_t> buffer(kReplayReadSize);
  for (auto _ : state) {
    if (!ReadThrough(session.path, buffer, state)) break;
  }
  state.counters["source samples/s"] =
      benchmark::Counter(static_cast<double>(FastSession::kSamples), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Resample4MHzSession)->Arg(0)->Arg(1)->ArgName("deflated")->Unit(benchmark::kMillisecond);

void BM_ReadVcd(benchmark::State& state) {
  const Captures& c = TheCaptures();
  std::vector<std::uint8_t> buffer(kReplayReadSize);
  std::error_code ec;
  const auto bytes = std::filesystem::file_size(c.vcd, ec);
  for (auto _ : state) {
    if (!ReadThrough(c.vcd, buffer, state)) break;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ReadVcd)->Unit(benchmark::kMillisecond);

}  // namespace
