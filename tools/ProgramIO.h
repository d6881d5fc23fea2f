// Every file the program touches goes through here: inputs (files, standard input, pipes,
// devices), outputs (replaced regular files, written-through devices and descriptors) and the
// temporary files between them. Temporaries have no name while they are written wherever the
// file system allows it, so a killed run leaves nothing behind; an output replaces what was
// there only when the run succeeded.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"

namespace morvane::cli {

// The layouts count sizes in signed 32 bits.
inline constexpr int64_t kLayoutLimit = 2147483647;

// Bytes per read and write system call of the program's own copy loops.
inline constexpr size_t kIOChunk = 1024 * 1024;

// Raises an error that says why an input of Size bytes (more than Size, if AtLeast) cannot be
// processed.
[[noreturn]] void RefuseOversized(const std::string& Name, int64_t Size, bool AtLeast = false);

// A standard stream the program was started without (descriptor 0, 1 or 2 closed) would lend
// its number to the next file opened: standard input would then read that file, and progress
// and messages would be written into an output. Each closed one is held instead by a
// descriptor that can neither read nor write, so using it fails as using a closed one does.
// Called first thing in main.
void HoldClosedStandardDescriptors() noexcept;

// Where private temporary files go ($TMPDIR, else /tmp).
std::string TempDirectory();

// Escapes what a terminal would act upon: control bytes, bytes that are not valid UTF-8 and
// the C1 controls become \xHH. For anything printed that may hold bytes from input data.
std::string Printable(std::string_view Bytes);

// A file descriptor closed on every exit.
class TFd {
 public:
  TFd() = default;
  explicit TFd(int Fd) noexcept : FFd(Fd) {}
  ~TFd();
  TFd(TFd&& Other) noexcept : FFd(Other.Release()) {}
  TFd& operator=(TFd&& Other) noexcept;
  int Get() const noexcept { return FFd; }
  int Release() noexcept {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }
  // Closes now; returns the error of close (a delayed write error shows here), or 0.
  int Close() noexcept;

 private:
  int FFd = -1;
};

// A temporary file. Anonymous ones never have a name; linkable ones have none until LinkAs
// where the file system offers unnamed files, else a hidden name beside their destination that
// a second Ctrl-C or the destructor removes.
class TTempFile {
 public:
  // Dir is where the bytes live; What says in messages what the file is for.
  static TTempFile Anonymous(const std::string& Dir, const std::string& What);
  static TTempFile Linkable(const std::string& Dir, const std::string& Base, mode_t Mode,
                            const std::string& What);
  TTempFile(TTempFile&&) noexcept = default;
  TTempFile& operator=(TTempFile&&) noexcept = default;
  ~TTempFile();

  int Fd() const noexcept { return FFd.Get(); }
  // Gives the file the name Dest, replacing what had it, atomically.
  void LinkAs(const std::string& Dest);

 private:
  TTempFile() = default;
  TFd FFd;
  std::string FName;  // the temporary's own name, only when it has one
};

// Reads up to Count bytes; EINTR after a cancel request raises ECancelled, a failure
// EInOutError naming What.
size_t ReadSome(int Fd, void* Buffer, size_t Count, const std::string& What);

// A failed write to an output: it ends a run that goes over several inputs.
class EOutputError : public EInOutError {
 public:
  using EInOutError::EInOutError;
};

// Writes all bytes to a descriptor, retrying short writes; a cancel request raises ECancelled
// and a failure EOutputError naming What.
void WriteAllToFd(int Fd, std::string_view Bytes, const std::string& What);

// Text for standard output, checked like every other write.
void WriteStdout(std::string_view Bytes);

// An input named on the command line: a file, or "-" for standard input.
class TInput {
 public:
  // Records which file the name leads to; opens nothing yet.
  explicit TInput(std::string Name);
  TInput(const TInput&) = delete;
  TInput& operator=(const TInput&) = delete;

  const std::string& Name() const noexcept { return FName; }
  // How messages name it.
  std::string DisplayName() const;
  bool IsStandardInput() const noexcept { return FName == "-"; }

  // True when the input is the file the output names (or standard output writes to).
  bool SameFileAs(std::string_view Dest) const;
  // True when both read the same file, pipe or device, whatever the names ("-", /dev/stdin, a
  // link).
  bool SameSourceAs(const TInput& Other) const noexcept {
    return FKnown && Other.FKnown && FDev == Other.FDev && FIno == Other.FIno;
  }

  // Opens the input for reading.
  void Open();
  int Fd() const noexcept { return FFd.Get(); }
  // The size of a regular file, -1 for a pipe, a terminal or a device (after Open).
  int64_t KnownSize() const noexcept { return FRegular ? FSize : -1; }
  // Reads up to Count bytes; 0 at the end.
  size_t Read(void* Buffer, size_t Count);
  // Reads the whole input in large pieces and hands each to Consume; the pieces are only
  // valid during the call, and the buffers are wiped afterwards. A large regular file is read
  // ahead by a second thread while Consume works.
  void ForEachPiece(const std::function<void(std::string_view)>& Consume);
  // The whole input in memory, refused once it passes Limit bytes.
  std::string ReadAll(int64_t Limit = kLayoutLimit);

 private:
  void ReadAhead(const std::function<void(std::string_view)>& Consume);

  std::string FName;
  TFd FFd;
  bool FRegular = false;
  int64_t FSize = -1;
  dev_t FDev = 0;
  ino_t FIno = 0;
  bool FKnown = false;  // FDev and FIno identify the input
};

// Runs a transformation fed in pieces: every piece of the input goes to Update, which appends
// output to its second argument; Finish appends the rest. The output goes out in large writes
// as it comes (so on standard output a later error cannot take back what was written: the run
// ends with the error), and the buffers are wiped at the end.
class TOutput;
void Transform(TInput& In, TOutput& Out,
               const std::function<void(std::string_view, std::string&)>& Update,
               const std::function<void(std::string&)>& Finish);

// The destination of a run.
//  - "-", /dev/stdout, /dev/fd/N, /proc/self/fd/N: the descriptor itself, written through.
//  - A FIFO, a terminal or another device: opened and written through, never replaced.
//  - A regular file (or a new one; a symbolic link counts as the file it leads to): written
//    under no name beside it and put in place by one rename when the run succeeded; owner and
//    mode are kept where permitted. A file with several hard links, or one in a folder the
//    program cannot write, is written in place instead, after the run succeeded into a
//    private temporary file, so its links and its folder stay as they were.
class TOutput {
 public:
  // Staged: the bytes are held in a temporary file until Commit even where the destination
  // is written through (for a run that must not leave half its output on an error).
  TOutput(std::string Dest, bool Staged);
  ~TOutput();
  TOutput(const TOutput&) = delete;
  TOutput& operator=(const TOutput&) = delete;

  const std::string& Dest() const noexcept { return FDest; }
  // How messages name the destination.
  std::string DisplayName() const;
  // True when the bytes reach a terminal.
  bool IsTerminal() const noexcept { return FTerminal; }

  // Writes through, or into the temporary file until Commit.
  void Write(std::string_view Bytes);

  // The finished file loses its write permission (a regular file only; as a uuencoded
  // document's mode 444 asks).
  void SetReadOnly() noexcept { FReadOnly = true; }
  // Puts the finished bytes in place.
  void Commit();

 private:
  enum class TKind : uint8_t { Through, Replace, InPlace };
  // Where the bytes go before Commit.
  int Fd() const noexcept;

  std::string FDest;
  std::string FTarget;  // the file a Replace or InPlace output ends up in
  TKind FKind = TKind::Replace;
  int FDirect = -1;  // Through: the descriptor written; InPlace: the file opened for writing
  TFd FOwned;        // FDirect when the program opened it
  std::unique_ptr<TTempFile> FTemp;
  bool FTerminal = false;
  bool FReadOnly = false;
};

}  // namespace morvane::cli
