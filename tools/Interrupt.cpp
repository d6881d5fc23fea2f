#include "Interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <climits>
#include <cstring>

namespace morvane::cli {

namespace {

volatile sig_atomic_t gSignal = 0;

// A fixed table, so that the signal handler can read it without allocating or locking. A slot
// is in use when its first byte is not zero; the handler only reads.
constexpr int kSlots = 8;
std::array<std::array<char, PATH_MAX>, kSlots> gTemp{};

void OnSignal(int signo) {
  if (gSignal == 0) {
    gSignal = signo;
    return;
  }
  for (const auto& slot : gTemp)
    if (slot[0] != '\0') ::unlink(slot.data());
  ::_exit(128 + gSignal);
}

}  // namespace

void InstallSignalHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns and sees the request
  for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &sa, nullptr);
  struct sigaction ign {};
  ign.sa_handler = SIG_IGN;
  sigemptyset(&ign.sa_mask);
  ::sigaction(SIGPIPE, &ign, nullptr);
  ::sigaction(SIGXFSZ, &ign, nullptr);
}

int CancelSignal() noexcept {
  return gSignal;
}

std::string CancelText() {
  switch (gSignal) {
    case SIGTERM:
      return "Stopped by SIGTERM (a request to terminate)";
    case SIGHUP:
      return "Stopped by SIGHUP (the terminal went away)";
    default:
      return "Operation Canceled by user";
  }
}

void ThrowIfCancelled() {
  if (gSignal != 0) throw ECancelled();
}

void RegisterTempFile(const std::string& Path) {
  if (Path.empty() || Path.size() >= PATH_MAX) return;
  for (auto& slot : gTemp) {
    if (slot[0] != '\0') continue;
    // Write the name before its first byte so the handler never sees half a name.
    std::memcpy(slot.data() + 1, Path.data() + 1, Path.size() - 1);
    slot[Path.size()] = '\0';
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot[0] = Path[0];
    return;
  }
}

void UnregisterTempFile(const std::string& Path) {
  for (auto& slot : gTemp)
    if (slot[0] != '\0' && Path == slot.data()) slot[0] = '\0';
}

}  // namespace morvane::cli
