// Inputs and outputs of the program: the drivers read and write named regular files, so
// standard input and other unsized sources are spooled to a temporary file first, and every
// output is written to a temporary file that replaces the destination only when the run
// succeeded.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "morvane/framework/Exceptions.h"

namespace morvane::cli {

// The components count sizes in signed 32 bits: inputs stay below 2^31 bytes.
inline constexpr int64_t kLayoutLimit = 2147483647;

// Raises an error that says why an input of Size bytes (more than Size, if AtLeast) cannot be
// processed.
[[noreturn]] void RefuseOversized(const std::string& Name, int64_t Size, bool AtLeast = false);

// Where temporary files go when there is no destination to stand beside ($TMPDIR or /tmp).
std::string TempDirectory();

// An input named on the command line: a file, or "-" for standard input.
class TInput {
 public:
  // Opens nothing yet: records which file the name leads to.
  explicit TInput(std::string Name);
  ~TInput();
  TInput(const TInput&) = delete;
  TInput& operator=(const TInput&) = delete;

  // Makes the input a regular file the drivers can open: a regular file is used as it is;
  // standard input, a pipe or a device is copied to a temporary file, refused once it passes
  // Limit bytes. A file larger than Limit is refused too.
  void Prepare(int64_t Limit = kLayoutLimit);

  const std::string& Name() const noexcept { return FName; }
  // How messages name it.
  std::string DisplayName() const { return FName == "-" ? "standard input" : FName; }
  bool IsStandardInput() const noexcept { return FName == "-"; }
  // The regular file to hand to a driver, and its size (after Prepare).
  const std::string& Path() const noexcept { return FPath; }
  int64_t Size() const noexcept { return FSize; }

  // True when the input is the file the output names (or standard output writes to).
  bool SameFileAs(std::string_view Dest) const;

  // The whole input in memory (the string drivers work on byte strings).
  std::string ReadAll() const;

 private:
  void Spool(int Fd, int64_t Limit);

  std::string FName;
  std::string FPath;
  std::string FSpool;  // our temporary copy, removed with the object
  int64_t FSize = -1;
  dev_t FDev = 0;
  ino_t FIno = 0;
  bool FKnown = false;  // FDev and FIno identify the input
};

// The destination of a run: a file (written beside it and renamed into place on success), or
// "-" for standard output (written to a temporary file and copied out on success).
class TSafeOutput {
 public:
  explicit TSafeOutput(std::string Dest);
  // Removes the temporary file unless Commit succeeded.
  ~TSafeOutput();
  TSafeOutput(const TSafeOutput&) = delete;
  TSafeOutput& operator=(const TSafeOutput&) = delete;

  // The temporary file the driver writes.
  const std::string& Path() const noexcept { return FTemp; }
  const std::string& Dest() const noexcept { return FDest; }
  bool ToStandardOutput() const noexcept { return FDest == "-"; }

  // Puts the finished file in place: rename beside the destination, or copy to standard output
  // (or to a device named as destination).
  void Commit();

 private:
  std::string FDest;
  std::string FTemp;
  bool FRename = false;     // rename into place (a regular or new file), else copy out
  bool FReplacing = false;  // an existing file is being replaced
  bool FCommitted = false;
};

// A temporary file of the program's own (in TempDirectory), removed with the object.
class TTempFile {
 public:
  explicit TTempFile(const std::string& Tag);
  ~TTempFile();
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  const std::string& Path() const noexcept { return FPath; }

 private:
  std::string FPath;
};

// A failed write to an output: it ends a run that goes over several inputs.
class EOutputError : public EInOutError {
 public:
  using EInOutError::EInOutError;
};

// Writes all bytes to a file descriptor, retrying short writes; a cancel request raises
// ECancelled and a failure EOutputError (What names the descriptor in the message).
void WriteAllToFd(int Fd, std::string_view Bytes, const std::string& What);

// Writes text to standard output at once (no buffering in between).
void WriteStdout(std::string_view Bytes);

// Copies a file's bytes to a file descriptor.
void CopyFileToFd(const std::string& Path, int Fd, const std::string& What);

}  // namespace morvane::cli
