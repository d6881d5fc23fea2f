// The string utilities on a 10 MB text holding a million matches: each must run in one pass.
// The std peers are the plain find-and-append loops a caller would otherwise write.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "morvane/strings/VRXStrings.h"

using namespace morvane;

namespace {

constexpr size_t kTextSize = 10 * 1000 * 1000;
constexpr size_t kUnit = 10;  // one match in every ten bytes: a million matches

// "xxxxxxxx" followed by Mark, repeated to 10 MB.
std::string Text(std::string_view mark) {
  std::string unit(kUnit - mark.size(), 'x');
  unit.append(mark);
  std::string text;
  text.reserve(kTextSize);
  while (text.size() < kTextSize) text.append(unit);
  return text;
}

void Bytes(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void Replace_morvane(benchmark::State& state) {
  const std::string text = Text("ab");
  for (auto _ : state) benchmark::DoNotOptimize(Replace(text, "ab", "xyz"));
  Bytes(state, text.size());
}
BENCHMARK(Replace_morvane)->Name("Strings/Replace/morvane")->Unit(benchmark::kMillisecond);

void Replace_std(benchmark::State& state) {
  const std::string text = Text("ab");
  for (auto _ : state) {
    std::string r;
    r.reserve(text.size());
    size_t from = 0;
    for (size_t at; (at = text.find("ab", from)) != std::string::npos; from = at + 2) {
      r.append(text, from, at - from);
      r.append("xyz");
    }
    r.append(text, from);
    benchmark::DoNotOptimize(r);
  }
  Bytes(state, text.size());
}
BENCHMARK(Replace_std)->Name("Strings/Replace/std")->Unit(benchmark::kMillisecond);

void StringToHTML_morvane(benchmark::State& state) {
  const std::string text = Text("\xF1");
  for (auto _ : state) benchmark::DoNotOptimize(StringToHTML(text));
  Bytes(state, text.size());
}
BENCHMARK(StringToHTML_morvane)
    ->Name("Strings/StringToHTML/morvane")
    ->Unit(benchmark::kMillisecond);

void RemoveChars_morvane(benchmark::State& state) {
  const std::string text = Text(";");
  TCharSet chars;
  chars.set(';');
  for (auto _ : state) benchmark::DoNotOptimize(RemoveChars(text, chars));
  Bytes(state, text.size());
}
BENCHMARK(RemoveChars_morvane)->Name("Strings/RemoveChars/morvane")->Unit(benchmark::kMillisecond);

void StringToStringList_morvane(benchmark::State& state) {
  const std::string text = Text(",");
  for (auto _ : state) benchmark::DoNotOptimize(StringToStringList(text, ","));
  Bytes(state, text.size());
}
BENCHMARK(StringToStringList_morvane)
    ->Name("Strings/StringToStringList/morvane")
    ->Unit(benchmark::kMillisecond);

void StringListToString_morvane(benchmark::State& state) {
  const auto list = StringToStringList(Text(","), ",");
  for (auto _ : state) benchmark::DoNotOptimize(StringListToString(*list, ","));
  Bytes(state, kTextSize);
}
BENCHMARK(StringListToString_morvane)
    ->Name("Strings/StringListToString/morvane")
    ->Unit(benchmark::kMillisecond);

void ArrayToList_morvane(benchmark::State& state) {
  const auto list = StringToStringList(Text(","), ",");
  const std::vector<std::string>& items = list->Items();
  for (auto _ : state) benchmark::DoNotOptimize(ArrayToList(items));
  Bytes(state, kTextSize);
}
BENCHMARK(ArrayToList_morvane)->Name("Strings/ArrayToList/morvane")->Unit(benchmark::kMillisecond);

void StrExclude_morvane(benchmark::State& state) {
  // The item sought sits at the end of a 10 MB item list.
  std::string list = Text(";");
  list.append("last;");
  for (auto _ : state) benchmark::DoNotOptimize(StrExclude("last", list));
  Bytes(state, list.size());
}
BENCHMARK(StrExclude_morvane)->Name("Strings/StrExclude/morvane")->Unit(benchmark::kMillisecond);

void SPosWorstCase_morvane(benchmark::State& state) {
  // A needle that nearly matches everywhere: a naive search is quadratic here.
  const std::string text(kTextSize, 'a');
  const std::string needle = std::string(1000, 'a') + "b";
  for (auto _ : state) benchmark::DoNotOptimize(SPos(needle, text, 1));
  Bytes(state, text.size());
}
BENCHMARK(SPosWorstCase_morvane)
    ->Name("Strings/SPosWorstCase/morvane")
    ->Unit(benchmark::kMillisecond);

void SPosWorstCase_std(benchmark::State& state) {
  const std::string text(kTextSize, 'a');
  const std::string needle = std::string(1000, 'a') + "b";
  for (auto _ : state) benchmark::DoNotOptimize(text.find(needle));
  Bytes(state, text.size());
}
BENCHMARK(SPosWorstCase_std)->Name("Strings/SPosWorstCase/std")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
