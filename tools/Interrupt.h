// Ctrl-C and its kin: the first signal asks the running operation to cancel (the components'
// own lAbort through OnProgress, or the program's own copy loops), so that temporary files are
// removed and the destination is left as it was. A second signal removes the registered
// temporary files at once and ends the process.
#pragma once

#include <exception>
#include <string>

namespace morvane::cli {

// Catches SIGINT, SIGTERM and SIGHUP (without restarting interrupted system calls), and ignores
// SIGPIPE and SIGXFSZ so that a closed output pipe and a file-size limit become ordinary write
// errors (EPIPE, EFBIG) that name the output and let the run clean up.
void InstallSignalHandlers();

// The signal that asked for a cancel, or 0.
int CancelSignal() noexcept;
inline bool CancelRequested() noexcept {
  return CancelSignal() != 0;
}
// What the message says of the cancel: Ctrl-C is the user's cancel, the others say which
// signal ended the run.
std::string CancelText();

// Thrown by the program's own loops when a cancel was asked for.
class ECancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation Canceled by user"; }
};
// Throws ECancelled when a cancel was asked for.
void ThrowIfCancelled();

// Temporary files that a second signal removes before the process ends.
void RegisterTempFile(const std::string& Path);
void UnregisterTempFile(const std::string& Path);

}  // namespace morvane::cli
