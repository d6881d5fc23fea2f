// The progress bar on standard error, driven by the components' OnProgress event, and the
// bridge from a cancel request (Ctrl-C) to the components' lAbort.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "morvane/cipher/VRXCipherConst.h"

namespace morvane::cli {

enum class TProgressChoice : uint8_t { Auto, On, Off };

// Inputs from this size up count as large: below it a run ends before a bar could help.
inline constexpr int64_t kLargeInput = 16 * 1024 * 1024;

class TProgress {
 public:
  // Label names the run ("encrypt", a file name); TotalBytes is the input the run reads (-1:
  // not known, as from a pipe; the bar then shows bytes and rate only) and
  // ChunkBytes the input of one chunk (one OnProgress call). With Auto the bar shows when
  // standard error is a terminal and the input is large.
  TProgress(TProgressChoice Choice, std::string Label, int64_t TotalBytes, int64_t ChunkBytes);
  ~TProgress();
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  // The handler for OnProgress: counts the chunk, redraws now and then, and sets lAbort when a
  // cancel was asked for. Installed even when no bar shows, for the sake of the cancel.
  TProgressProc Handler();
  // Draws the finished bar and ends its line (when the bar is shown).
  void Done();

  bool Shown() const noexcept { return FShow; }

 private:
  void Draw(bool Final);
  void OnChunk(bool& lAbort);

  std::string FLabel;
  int64_t FTotal;
  int64_t FChunk;
  bool FUnknown;
  int64_t FChunks = 0;
  bool FShow = false;
  bool FForced = false;
  bool FDrawn = false;
  bool FDone = false;
  std::chrono::steady_clock::time_point FStart;
  std::chrono::steady_clock::time_point FLastDraw;
};

// The progress choice of the --progress and --no-progress options.
class TCommandLine;
TProgressChoice ProgressChoice(const TCommandLine& Args);

}  // namespace morvane::cli
