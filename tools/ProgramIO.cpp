#include "ProgramIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Interrupt.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Files.h"

namespace morvane::cli {

namespace {

constexpr size_t kCopyChunk = 256 * 1024;

std::string SystemError(int err) {
  return std::strerror(err);
}

// A descriptor closed on every exit.
class TFd {
 public:
  explicit TFd(int Fd) : FFd(Fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const noexcept { return FFd; }
  // Closes now and reports a failure (a delayed write error shows here).
  int Close() {
    const int fd = FFd;
    FFd = -1;
    return ::close(fd);
  }

 private:
  int FFd;
};

// Reads up to Count bytes; a cancel request during a blocked read raises ECancelled.
ssize_t ReadSome(int Fd, void* Buffer, size_t Count, const std::string& What) {
  for (;;) {
    const ssize_t n = ::read(Fd, Buffer, Count);
    if (n >= 0) return n;
    if (errno == EINTR) {
      ThrowIfCancelled();
      continue;
    }
    throw EInOutError("Read error on " + What + ": " + SystemError(errno), errno);
  }
}

mode_t CreationMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

std::string DirectoryOf(const std::string& Path) {
  const auto slash = Path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return Path.substr(0, slash);
}

std::string BaseOf(const std::string& Path) {
  const auto slash = Path.find_last_of('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

// Creates an empty temporary file from a mkstemp pattern and returns its name.
std::string MakeTempFile(std::string Pattern, mode_t Mode, const std::string& ForWhat) {
  const int fd = ::mkstemp(Pattern.data());
  if (fd < 0) throw EFCreateError("Cannot create file \"" + ForWhat + "\". " + SystemError(errno));
  RegisterTempFile(Pattern);
  TFd guard(fd);
  if (::fchmod(fd, Mode) != 0) {
    const int err = errno;
    ::unlink(Pattern.c_str());
    UnregisterTempFile(Pattern);
    throw EFCreateError("Cannot create file \"" + ForWhat + "\". " + SystemError(err));
  }
  return Pattern;
}

void RemoveTempFile(const std::string& Path) {
  if (Path.empty()) return;
  ::unlink(Path.c_str());
  UnregisterTempFile(Path);
}

}  // namespace

[[noreturn]] void RefuseOversized(const std::string& Name, int64_t Size, bool AtLeast) {
  throw ERangeError(Name + " holds " + (AtLeast ? "more than " : "") + std::to_string(Size) +
                    " bytes; the Morvane components count sizes in signed 32 bits, so an input "
                    "must stay below 2 GiB (2147483648 bytes)");
}

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

// ---- TTempFile

TTempFile::TTempFile(const std::string& Tag)
    : FPath(MakeTempFile(TempDirectory() + "/morvane-" + Tag + "-XXXXXX", 0600, TempDirectory())) {}

TTempFile::~TTempFile() {
  RemoveTempFile(FPath);
}

// ---- TInput

TInput::TInput(std::string Name) : FName(std::move(Name)) {
  struct stat st {};
  const bool ok = FName == "-" ? ::fstat(0, &st) == 0 : ::stat(FName.c_str(), &st) == 0;
  if (ok) {
    FDev = st.st_dev;
    FIno = st.st_ino;
    FKnown = true;
  }
}

TInput::~TInput() {
  RemoveTempFile(FSpool);
}

void TInput::Prepare(int64_t Limit) {
  if (IsStandardInput()) {
    Spool(0, Limit);
    return;
  }
  TFd fd(::open(FName.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) throw EFOpenError("Cannot open file \"" + FName + "\". " + SystemError(errno));
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0)
    throw EFOpenError("Cannot open file \"" + FName + "\". " + SystemError(errno));
  if (S_ISDIR(st.st_mode))
    throw EFOpenError("Cannot open file \"" + FName + "\": it is a directory");
  if (S_ISREG(st.st_mode)) {
    FPath = FName;
    FSize = st.st_size;
    if (FSize > Limit) RefuseOversized(DisplayName(), FSize);
    return;
  }
  // A pipe, a terminal or a device: its size is not known up front.
  Spool(fd.Get(), Limit);
}

void TInput::Spool(int Fd, int64_t Limit) {
  FSpool = MakeTempFile(TempDirectory() + "/morvane-in-XXXXXX", 0600, TempDirectory());
  TFd out(::open(FSpool.c_str(), O_WRONLY | O_CLOEXEC));
  if (out.Get() < 0)
    throw EFCreateError("Cannot create file \"" + FSpool + "\". " + SystemError(errno));
  const auto buffer = std::make_unique_for_overwrite<char[]>(kCopyChunk);
  int64_t total = 0;
  for (;;) {
    ThrowIfCancelled();
    const ssize_t n = ReadSome(Fd, buffer.get(), kCopyChunk, DisplayName());
    if (n == 0) break;
    total += n;
    if (total > Limit) RefuseOversized(DisplayName(), Limit, true);
    WriteAllToFd(out.Get(), std::string_view(buffer.get(), static_cast<size_t>(n)),
                 "\"" + FSpool + "\"");
  }
  if (out.Close() != 0)
    throw EInOutError("Write error on \"" + FSpool + "\": " + SystemError(errno), errno);
  FPath = FSpool;
  FSize = total;
}

bool TInput::SameFileAs(std::string_view Dest) const {
  if (!FKnown) return false;
  struct stat st {};
  if (Dest == "-") {
    if (::fstat(1, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  } else if (::stat(std::string(Dest).c_str(), &st) != 0) {
    return false;
  }
  return st.st_dev == FDev && st.st_ino == FIno;
}

std::string TInput::ReadAll() const {
  TUntypedFile f;
  f.Reset(FPath);
  return f.ReadToEnd();
}

// ---- TSafeOutput

TSafeOutput::TSafeOutput(std::string Dest) : FDest(std::move(Dest)) {
  if (FDest.empty()) throw EFCreateError("Cannot create a file with an empty name");
  mode_t mode = CreationMode();
  std::string target = FDest;
  if (FDest != "-") {
    struct stat st {};
    if (::stat(FDest.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode))
        throw EFCreateError("Cannot create file \"" + FDest + "\": it is a directory");
      if (S_ISREG(st.st_mode)) {
        if (::access(FDest.c_str(), W_OK) != 0)
          throw EFCreateError("Cannot create file \"" + FDest + "\". " + SystemError(errno));
        // Replace the file a symbolic link leads to, not the link.
        if (char* real = ::realpath(FDest.c_str(), nullptr)) {
          target = real;
          std::free(real);
        }
        FRename = true;
        FReplacing = true;
        mode = st.st_mode & 07777;
      }
    } else if (errno == ENOENT) {
      FRename = true;
    } else {
      throw EFCreateError("Cannot create file \"" + FDest + "\". " + SystemError(errno));
    }
  }
  if (FRename) {
    FDest = target;
    FTemp =
        MakeTempFile(DirectoryOf(target) + "/." + BaseOf(target) + ".morvane-XXXXXX", mode, FDest);
  } else {
    FTemp = MakeTempFile(TempDirectory() + "/morvane-out-XXXXXX", 0600, TempDirectory());
  }
}

TSafeOutput::~TSafeOutput() {
  if (!FCommitted) RemoveTempFile(FTemp);
}

void TSafeOutput::Commit() {
  ThrowIfCancelled();
  if (FRename) {
    if (FReplacing) {
      // The old content goes away with the rename: make the new one durable first.
      TFd fd(::open(FTemp.c_str(), O_RDONLY | O_CLOEXEC));
      if (fd.Get() < 0 || ::fsync(fd.Get()) != 0)
        throw EInOutError("Write error on \"" + FDest + "\": " + SystemError(errno), errno);
    }
    if (::rename(FTemp.c_str(), FDest.c_str()) != 0)
      throw EInOutError("Cannot replace \"" + FDest + "\": " + SystemError(errno), errno);
    UnregisterTempFile(FTemp);
  } else if (ToStandardOutput()) {
    CopyFileToFd(FTemp, 1, "standard output");
    RemoveTempFile(FTemp);
  } else {
    TFd fd(::open(FDest.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (fd.Get() < 0)
      throw EFCreateError("Cannot create file \"" + FDest + "\". " + SystemError(errno));
    CopyFileToFd(FTemp, fd.Get(), "\"" + FDest + "\"");
    if (fd.Close() != 0)
      throw EInOutError("Write error on \"" + FDest + "\": " + SystemError(errno), errno);
    RemoveTempFile(FTemp);
  }
  FCommitted = true;
}

// ---- Descriptors

void WriteAllToFd(int Fd, std::string_view Bytes, const std::string& What) {
  size_t done = 0;
  while (done < Bytes.size()) {
    const ssize_t n = ::write(Fd, Bytes.data() + done, Bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) {
        ThrowIfCancelled();
        continue;
      }
      throw EOutputError("Write error on " + What + ": " + SystemError(errno), errno);
    }
    done += static_cast<size_t>(n);
  }
}

void WriteStdout(std::string_view Bytes) {
  WriteAllToFd(1, Bytes, "standard output");
}

void CopyFileToFd(const std::string& Path, int Fd, const std::string& What) {
  TFd in(::open(Path.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) throw EFOpenError("Cannot open file \"" + Path + "\". " + SystemError(errno));
  const auto buffer = std::make_unique_for_overwrite<char[]>(kCopyChunk);
  for (;;) {
    ThrowIfCancelled();
    const ssize_t n = ReadSome(in.Get(), buffer.get(), kCopyChunk, "\"" + Path + "\"");
    if (n == 0) break;
    WriteAllToFd(Fd, std::string_view(buffer.get(), static_cast<size_t>(n)), What);
  }
}

}  // namespace morvane::cli
