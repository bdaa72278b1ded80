// Execute of the Filter view over ten million Hexa lines with a rule of each testing kind
// on the four channels.

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "pipeline/UserInterface.h"
#include "views/FilterRule.h"

using namespace velkor;

namespace {

constexpr std::size_t kLineCount = 10'000'000;

const DecodedLineList& HexaLines() {
  static const DecodedLineList* lines = [] {
    auto* list = new DecodedLineList;
    const std::string samples[] = {
        "0,1523642,ID=12A,DLC=8,DataFrame=00 01 02 03 04 05 06 07,",
        "1,1523650,ID=3C,Data=12 34 56 78,Checksum=5A,",
        "2,1523700,FD=FD_RXA,$IDE=F00058AE,$Acc=03,",
        "3,1523710,New Value=1,",
        "0,1523800,ID=7FF,DLC=2,DataFrame=00 01,",
        "1,1523900,\xA3" "Error frame,",
    };
    for (std::size_t i = 0; i < kLineCount; ++i) list->Append(samples[i % 6]);
    return list;
  }();
  return *lines;
}

FilterRules FourRules() {
  FilterRules rules;
  rules[0].kind = static_cast<int>(FieldFilterKind::IfField);
  rules[0].hasField = true;
  rules[0].field = "DLC";
  rules[0].comparison = kCompareEqual;
  rules[0].contentA = "8";
  rules[1].kind = static_cast<int>(FieldFilterKind::IfMatch);
  rules[1].match = "ID=3C,";
  rules[2].kind = static_cast<int>(FieldFilterKind::IfNotMatch);
  rules[2].match = "$Acc=04";
  rules[3].kind = static_cast<int>(FieldFilterKind::IfField);
  rules[3].hasField = true;
  rules[3].field = "New Value";
  rules[3].comparison = kCompareDiffer;
  rules[3].contentA = "0";
  return rules;
}

// Stop is asked as a window would be asked: through a virtual call that reads a clock.
class PollingUi final : public SilentUserInterface {
 public:
  bool StopRequested() override {
    benchmark::DoNotOptimize(std::chrono::steady_clock::now());
    return false;
  }
};

void BM_ExecuteTenMillionLines(benchmark::State& state) {
  const DecodedLineList& source = HexaLines();
  const FilterRules rules = FourRules();
  PollingUi ui;
  DecodedLineList destination;
  std::size_t kept = 0;
  for (auto _ : state) kept = ExecuteFilter(source, destination, rules, ui);
  state.counters["lines_kept"] = static_cast<double>(kept);
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(kLineCount), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ExecuteTenMillionLines)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
