#include "Progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "CommandLine.h"
#include "Interrupt.h"
#include "ProgramIO.h"

namespace morvane::cli {

namespace {

using Clock = std::chrono::steady_clock;

// A bar that waits this long before its first drawing does not flicker on quick runs.
constexpr auto kFirstDraw = std::chrono::milliseconds(300);
constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr int kBarWidth = 24;

std::string HumanBytes(double Bytes) {
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB"};
  int u = 0;
  while (Bytes >= 1024 && u < 3) {
    Bytes /= 1024;
    ++u;
  }
  char text[32];
  std::snprintf(text, sizeof text, u == 0 ? "%.0f %s" : "%.1f %s", Bytes, kUnits[u]);
  return text;
}

std::string ClockText(double Seconds) {
  const auto s = static_cast<long long>(Seconds + 0.5);
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  }
  return text;
}

}  // namespace

TProgress::TProgress(TProgressChoice Choice, std::string Label, int64_t TotalBytes,
                     int64_t ChunkBytes)
    : FLabel(std::move(Label)),
      FTotal(std::max<int64_t>(TotalBytes, 0)),
      FChunk(std::max<int64_t>(ChunkBytes, 1)),
      FUnknown(TotalBytes < 0),
      FStart(Clock::now()),
      FLastDraw(FStart) {
  switch (Choice) {
    case TProgressChoice::On:
      FShow = FForced = true;
      break;
    case TProgressChoice::Off:
      break;
    case TProgressChoice::Auto:
      FShow = ::isatty(2) != 0 && FTotal >= kLargeInput;
      break;
  }
}

TProgress::~TProgress() {
  // A run that failed leaves its bar: end the line so the error message starts on its own.
  if (FDrawn && !FDone) std::fputc('\n', stderr);
}

TProgressProc TProgress::Handler() {
  return [this](uint8_t, bool& lAbort) { OnChunk(lAbort); };
}

void TProgress::OnChunk(bool& lAbort) {
  ++FChunks;
  if (CancelRequested()) {
    lAbort = true;
    return;
  }
  if (!FShow) return;
  const auto now = Clock::now();
  if (!FForced && now - FStart < kFirstDraw) return;
  if (FDrawn && now - FLastDraw < kRedraw) return;
  FLastDraw = now;
  Draw(false);
}

void TProgress::Done() {
  if (FShow && !FDone) Draw(true);
  if (FDrawn && !FDone) std::fputc('\n', stderr);
  FDone = true;
}

void TProgress::Draw(bool Final) {
  if (FUnknown) {
    // A pipe: no percentage, no time left, only what went through and how fast.
    const double elapsed = std::chrono::duration<double>(Clock::now() - FStart).count();
    const double bytes = static_cast<double>(FChunks * FChunk);
    char line[256];
    std::snprintf(line, sizeof line, "\r%-12.12s %9s %9s/s  %-11s", FLabel.c_str(),
                  HumanBytes(bytes).c_str(), HumanBytes(elapsed > 0 ? bytes / elapsed : 0).c_str(),
                  ClockText(elapsed).c_str());
    std::fputs(line, stderr);
    std::fflush(stderr);
    FDrawn = true;
    return;
  }
  const int64_t done = Final ? FTotal : std::min(FTotal, FChunks * FChunk);
  const double fraction = FTotal > 0 ? static_cast<double>(done) / static_cast<double>(FTotal) : 1;
  const double elapsed = std::chrono::duration<double>(Clock::now() - FStart).count();
  const double rate = elapsed > 0 ? static_cast<double>(done) / elapsed : 0;
  const int filled = static_cast<int>(fraction * kBarWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kBarWidth, '.');
  std::string tail;
  if (Final) {
    tail = ClockText(elapsed);
  } else if (rate > 0) {
    tail = ClockText(static_cast<double>(FTotal - done) / rate) + " left";
  } else {
    tail = "--:-- left";
  }
  char line[256];
  std::snprintf(line, sizeof line, "\r%-12.12s %3d%% [%s] %9s %9s/s  %-11s", FLabel.c_str(),
                static_cast<int>(fraction * 100), bar.c_str(),
                HumanBytes(static_cast<double>(done)).c_str(), HumanBytes(rate).c_str(),
                tail.c_str());
  std::fputs(line, stderr);
  std::fflush(stderr);
  FDrawn = true;
}

TProgressChoice ProgressChoice(const TCommandLine& Args) {
  Args.Exclusive({"progress", "no-progress"});
  if (Args.Has("progress")) return TProgressChoice::On;
  if (Args.Has("no-progress")) return TProgressChoice::Off;
  return TProgressChoice::Auto;
}

}  // namespace morvane::cli
