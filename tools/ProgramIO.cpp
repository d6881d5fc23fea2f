#include "ProgramIO.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "Interrupt.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Guid.h"
#include "morvane/framework/SecureWipe.h"

namespace morvane::cli {

namespace {

std::string SystemError(int err) {
  return std::strerror(err);
}

// Messages are escaped as a whole when they are printed (PrintError).
std::string Quoted(const std::string& Name) {
  return "\"" + Name + "\"";
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

// The descriptor a name stands for when it names one of the process's own descriptors
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N, /proc/PID/fd/N with our PID), else -1. Opening
// such a name would reach the file behind the descriptor afresh, at offset 0 and without its
// append mode, instead of continuing where the descriptor stands.
int DescriptorNamed(std::string_view Path) {
  if (Path == "/dev/stdin") return 0;
  if (Path == "/dev/stdout") return 1;
  if (Path == "/dev/stderr") return 2;
  const std::string self = "/proc/" + std::to_string(::getpid()) + "/fd/";
  for (std::string_view prefix :
       {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
        std::string_view("/proc/thread-self/fd/"), std::string_view(self)}) {
    if (!Path.starts_with(prefix)) continue;
    const std::string_view digits = Path.substr(prefix.size());
    int fd = -1;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) return -1;
    return fd;
  }
  return -1;
}

// Follows the symbolic links of the last component: the file a write through Path reaches,
// also when the link dangles. Stops early at a name of one of our descriptors.
std::string FollowLinks(std::string Path) {
  for (int hops = 0; hops < 40; ++hops) {
    if (DescriptorNamed(Path) >= 0) return Path;
    struct stat st {};
    if (::lstat(Path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return Path;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(Path.c_str(), target.data(), target.size());
    if (n < 0) return Path;
    target.resize(static_cast<size_t>(n));
    Path = target.starts_with('/') ? target : DirectoryOf(Path) + "/" + target;
  }
  throw EFCreateError("Cannot create file " + Quoted(Path) + ". " + SystemError(ELOOP));
}

void DropWritePermission(int Fd) {
  struct stat st {};
  if (::fstat(Fd, &st) == 0) (void)::fchmod(Fd, st.st_mode & 07555);
}

std::string ProcPath(int Fd) {
  return "/proc/self/fd/" + std::to_string(Fd);
}

// Reads from an offset, for copying a finished temporary file out.
void CopyFdToFd(int From, int To, const std::string& FromWhat, const std::string& ToWhat) {
  const auto buffer = std::make_unique_for_overwrite<char[]>(kIOChunk);
  for (off_t at = 0;;) {
    ThrowIfCancelled();
    const ssize_t n = ::pread(From, buffer.get(), kIOChunk, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError("Read error on " + FromWhat + ": " + SystemError(errno), errno);
    }
    if (n == 0) return;
    WriteAllToFd(To, std::string_view(buffer.get(), static_cast<size_t>(n)), ToWhat);
    at += n;
  }
}

}  // namespace

[[noreturn]] void RefuseOversized(const std::string& Name, int64_t Size, bool AtLeast) {
  throw ERangeError(Name + " holds " + (AtLeast ? "more than " : "") + std::to_string(Size) +
                    " bytes; the Morvane components count sizes in signed 32 bits, so an input "
                    "must stay below 2 GiB (2147483648 bytes)");
}

void HoldClosedStandardDescriptors() noexcept {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is fd itself, since those below it are open by now. A path
    // descriptor cannot be read or written; "/" is there when /dev/null is not.
    int held = ::open("/dev/null", O_PATH);
    if (held < 0) held = ::open("/", O_PATH);
    if (held >= 0 && held != fd) ::close(held);
  }
}

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

std::string Printable(std::string_view Bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(Bytes.size());
  auto escape = [&](uint8_t b) {
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 15];
  };
  for (size_t i = 0; i < Bytes.size();) {
    const auto b = static_cast<uint8_t>(Bytes[i]);
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    // A UTF-8 sequence of a printable character passes whole; anything else byte by byte.
    size_t len = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
    if (b >= 0xF5) len = 0;
    uint32_t cp = len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
    bool ok = len != 0 && i + len <= Bytes.size();
    for (size_t k = 1; ok && k < len; ++k) {
      const auto c = static_cast<uint8_t>(Bytes[i + k]);
      ok = (c & 0xC0) == 0x80;
      cp = cp << 6 | (c & 0x3F);
    }
    // Shortest form only, no surrogates, nothing past U+10FFFF, and no C1 controls.
    ok = ok && !(len == 3 && cp < 0x800) && !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
         !(cp >= 0xD800 && cp < 0xE000) && cp >= 0xA0;
    if (ok) {
      out.append(Bytes.substr(i, len));
      i += len;
    } else {
      escape(b);
      ++i;
    }
  }
  return out;
}

// ---- TFd

TFd::~TFd() {
  if (FFd >= 0) ::close(FFd);
}

TFd& TFd::operator=(TFd&& Other) noexcept {
  if (this != &Other) {
    if (FFd >= 0) ::close(FFd);
    FFd = Other.Release();
  }
  return *this;
}

int TFd::Close() noexcept {
  if (FFd < 0) return 0;
  const int r = ::close(Release());
  return r == 0 ? 0 : errno;
}

// ---- TTempFile

TTempFile TTempFile::Anonymous(const std::string& Dir, const std::string& What) {
  TTempFile t;
  t.FFd = TFd(::open(Dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (t.FFd.Get() >= 0) return t;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    const int err = errno;
    throw EFCreateError("Cannot create a temporary file for " + What + " in " + Quoted(Dir) +
                        (Dir == TempDirectory() ? " (TMPDIR)" : "") + ": " + SystemError(err));
  }
  // A file system without unnamed files: a named one, removed as soon as it is open.
  std::string pattern = Dir + "/morvane-XXXXXX";
  t.FFd = TFd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (t.FFd.Get() < 0) {
    const int err = errno;
    throw EFCreateError("Cannot create a temporary file for " + What + " in " + Quoted(Dir) +
                        (Dir == TempDirectory() ? " (TMPDIR)" : "") + ": " + SystemError(err));
  }
  ::unlink(pattern.c_str());
  return t;
}

TTempFile TTempFile::Linkable(const std::string& Dir, const std::string& Base, mode_t Mode,
                              const std::string& What) {
  TTempFile t;
  t.FFd = TFd(::open(Dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (t.FFd.Get() < 0) {
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
      throw EFCreateError("Cannot create file " + Quoted(What) + ". " + SystemError(errno));
    std::string pattern = Dir + "/." + Base + ".morvane-XXXXXX";
    t.FFd = TFd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (t.FFd.Get() < 0)
      throw EFCreateError("Cannot create file " + Quoted(What) + ". " + SystemError(errno));
    t.FName = pattern;
    RegisterTempFile(t.FName);
  }
  if (::fchmod(t.FFd.Get(), Mode) != 0)
    throw EFCreateError("Cannot create file " + Quoted(What) + ". " + SystemError(errno));
  return t;
}

TTempFile::~TTempFile() {
  if (!FName.empty()) {
    ::unlink(FName.c_str());
    UnregisterTempFile(FName);
  }
}

void TTempFile::LinkAs(const std::string& Dest) {
  if (FName.empty()) {
    // An unnamed file gets a fresh name beside its destination for the instant of the rename,
    // since a link cannot replace an existing file.
    const std::string dir = DirectoryOf(Dest);
    for (int attempt = 0;; ++attempt) {
      char suffix[16];
      uint32_t r = 0;
      SystemRandomBytes(&r, sizeof r);
      std::snprintf(suffix, sizeof suffix, "%08x", r);
      std::string name = dir + "/." + BaseOf(Dest) + ".morvane-" + suffix;
      if (::linkat(AT_FDCWD, ProcPath(FFd.Get()).c_str(), AT_FDCWD, name.c_str(),
                   AT_SYMLINK_FOLLOW) == 0) {
        FName = std::move(name);
        RegisterTempFile(FName);
        break;
      }
      if (errno != EEXIST || attempt > 8)
        throw EInOutError("Cannot replace " + Quoted(Dest) + ": " + SystemError(errno), errno);
    }
  }
  if (::rename(FName.c_str(), Dest.c_str()) != 0)
    throw EInOutError("Cannot replace " + Quoted(Dest) + ": " + SystemError(errno), errno);
  UnregisterTempFile(FName);
  FName.clear();
}

// ---- Descriptors

size_t ReadSome(int Fd, void* Buffer, size_t Count, const std::string& What) {
  for (;;) {
    const ssize_t n = ::read(Fd, Buffer, Count);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EINTR) {
      ThrowIfCancelled();
      continue;
    }
    throw EInOutError("Read error on " + What + ": " + SystemError(errno), errno);
  }
}

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

std::string TInput::DisplayName() const {
  return FName == "-" ? "standard input" : Quoted(FName);
}

bool TInput::SameFileAs(std::string_view Dest) const {
  if (!FKnown) return false;
  struct stat st {};
  const std::string path(Dest);
  const int fd = Dest == "-" ? 1 : DescriptorNamed(FollowLinks(path));
  if (fd >= 0) {
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  } else if (::stat(path.c_str(), &st) != 0) {
    return false;
  }
  return st.st_dev == FDev && st.st_ino == FIno;
}

void TInput::Open() {
  if (FFd.Get() >= 0) return;
  if (IsStandardInput()) {
    FFd = TFd(::dup(0));
    if (FFd.Get() < 0) throw EFOpenError("Cannot read standard input. " + SystemError(errno));
  } else {
    FFd = TFd(::open(FName.c_str(), O_RDONLY | O_CLOEXEC));
    if (FFd.Get() < 0)
      throw EFOpenError("Cannot open file " + Quoted(FName) + ". " + SystemError(errno));
  }
  struct stat st {};
  if (::fstat(FFd.Get(), &st) != 0)
    throw EFOpenError("Cannot open " + DisplayName() + ". " + SystemError(errno));
  if (S_ISDIR(st.st_mode))
    throw EFOpenError("Cannot open " + DisplayName() + ": it is a directory");
  FRegular = S_ISREG(st.st_mode);
  // Standard input may stand anywhere in a regular file: what is left is the input.
  FSize = FRegular ? std::max<int64_t>(
                         0, st.st_size - std::max<off_t>(0, ::lseek(FFd.Get(), 0, SEEK_CUR)))
                   : -1;
}

size_t TInput::Read(void* Buffer, size_t Count) {
  if (FFd.Get() < 0) Open();
  return ReadSome(FFd.Get(), Buffer, Count, DisplayName());
}

namespace {

// A piece of input, wiped when it goes: it may be plaintext.
struct TWipedChunk {
  std::unique_ptr<char[]> Bytes = std::make_unique_for_overwrite<char[]>(kIOChunk);
  size_t Size = 0;
  bool Full = false;  // read and not yet consumed
  ~TWipedChunk() { SecureWipe(Bytes.get(), kIOChunk); }
};

// Below this a second thread costs more than it saves.
constexpr int64_t kReadAheadFrom = 4 * int64_t{kIOChunk};

}  // namespace

void TInput::ForEachPiece(const std::function<void(std::string_view)>& Consume) {
  if (FFd.Get() < 0) Open();
  if (FRegular && FSize >= kReadAheadFrom) {
    ReadAhead(Consume);
    return;
  }
  TWipedChunk buffer;
  for (size_t n; (n = Read(buffer.Bytes.get(), kIOChunk)) > 0;) {
    ThrowIfCancelled();
    Consume(std::string_view(buffer.Bytes.get(), n));
  }
}

// A regular file is read one piece ahead by a second thread, so that the kernel's copy into
// the buffer overlaps the work on the piece before. Only regular files: a read from them always
// ends, so the reader can be told to stop and joined at any time (a pipe could block it).
void TInput::ReadAhead(const std::function<void(std::string_view)>& Consume) {
  std::array<TWipedChunk, 2> chunks;
  std::mutex lock;
  std::condition_variable changed;
  bool stop = false;
  std::exception_ptr failure;
  std::thread reader([&] {
    // Signals go to the main thread, whose handlers ask for the cancel.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    for (size_t i = 0;; i ^= 1) {
      TWipedChunk& c = chunks[i];
      {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [&] { return stop || !c.Full; });
        if (stop) return;
      }
      size_t n = 0;
      try {
        for (size_t got; n < kIOChunk && (got = Read(c.Bytes.get() + n, kIOChunk - n)) > 0;)
          n += got;
      } catch (...) {
        const std::lock_guard<std::mutex> held(lock);
        failure = std::current_exception();
        changed.notify_all();
        return;
      }
      {
        const std::lock_guard<std::mutex> held(lock);
        c.Size = n;
        c.Full = true;
      }
      changed.notify_all();
      if (n == 0) return;
    }
  });
  auto stopReader = [&] {
    {
      const std::lock_guard<std::mutex> held(lock);
      stop = true;
    }
    changed.notify_all();
    reader.join();
  };
  try {
    for (size_t i = 0;; i ^= 1) {
      TWipedChunk& c = chunks[i];
      {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [&] { return c.Full || failure; });
        if (!c.Full) std::rethrow_exception(failure);
      }
      if (c.Size == 0) break;
      ThrowIfCancelled();
      Consume(std::string_view(c.Bytes.get(), c.Size));
      {
        const std::lock_guard<std::mutex> held(lock);
        c.Full = false;
      }
      changed.notify_all();
    }
  } catch (...) {
    stopReader();
    throw;
  }
  stopReader();
}

void Transform(TInput& In, TOutput& Out,
               const std::function<void(std::string_view, std::string&)>& Update,
               const std::function<void(std::string&)>& Finish) {
  struct TWiped {
    std::string Bytes;
    ~TWiped() { SecureWipe(Bytes); }
  } out;
  out.Bytes.reserve(2 * kIOChunk + 4096);
  In.ForEachPiece([&](std::string_view Piece) {
    Update(Piece, out.Bytes);
    if (out.Bytes.size() >= kIOChunk) {
      Out.Write(out.Bytes);
      out.Bytes.clear();
    }
  });
  Finish(out.Bytes);
  Out.Write(out.Bytes);
}

std::string TInput::ReadAll(int64_t Limit) {
  if (FFd.Get() < 0) Open();
  if (FRegular && FSize > Limit) RefuseOversized(DisplayName(), FSize);
  std::string all;
  if (FRegular) all.reserve(static_cast<size_t>(FSize));
  const auto buffer = std::make_unique_for_overwrite<char[]>(kIOChunk);
  for (;;) {
    ThrowIfCancelled();
    const size_t n = Read(buffer.get(), kIOChunk);
    if (n == 0) break;
    if (static_cast<int64_t>(all.size() + n) > Limit) RefuseOversized(DisplayName(), Limit, true);
    all.append(buffer.get(), n);
  }
  return all;
}

// ---- TOutput

TOutput::TOutput(std::string Dest, bool Staged) : FDest(std::move(Dest)) {
  if (FDest.empty()) throw EFCreateError("Cannot create a file with an empty name");
  const std::string followed = FDest == "-" ? "/dev/stdout" : FollowLinks(FDest);
  int fd = DescriptorNamed(followed);
  struct stat st {};
  bool exists = false;
  if (fd >= 0) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
      throw EFCreateError("Cannot write " + DisplayName() + ": descriptor " + std::to_string(fd) +
                          " is not open for writing");
    FDirect = fd;
    FKind = TKind::Through;
  } else if (::stat(followed.c_str(), &st) == 0) {
    exists = true;
    if (S_ISDIR(st.st_mode))
      throw EFCreateError("Cannot create file " + Quoted(FDest) + ": it is a directory");
    if (!S_ISREG(st.st_mode)) {
      // A FIFO, a terminal, a device: written through, never replaced.
      FOwned = TFd(::open(followed.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
      if (FOwned.Get() < 0)
        throw EFCreateError("Cannot open " + Quoted(FDest) + " for writing. " + SystemError(errno));
      FDirect = FOwned.Get();
      FKind = TKind::Through;
    }
  } else if (errno != ENOENT) {
    throw EFCreateError("Cannot create file " + Quoted(FDest) + ". " + SystemError(errno));
  }

  if (FKind == TKind::Through) {
    FTerminal = ::isatty(FDirect) != 0;
    if (Staged)
      FTemp = std::make_unique<TTempFile>(TTempFile::Anonymous(TempDirectory(), "the output"));
    return;
  }

  FTarget = followed;
  const std::string dir = DirectoryOf(FTarget);
  // A folder the program may not write: an existing file it may write is written in place, as
  // a shell's redirection would.
  if (exists && (st.st_nlink > 1 || ::access(dir.c_str(), W_OK) != 0)) {
    FKind = TKind::InPlace;
  } else {
    FTemp = std::make_unique<TTempFile>(TTempFile::Linkable(
        dir, BaseOf(FTarget), exists ? st.st_mode & 07777 : CreationMode(), FDest));
    FKind = TKind::Replace;
  }
  if (FKind == TKind::Replace) {
    if (exists) {
      // The owner first: changing it clears the set-user-ID bits the mode then restores. A
      // user who may not give the file away keeps at least its group where permitted.
      if (::fchown(FTemp->Fd(), st.st_uid, st.st_gid) != 0)
        (void)::fchown(FTemp->Fd(), static_cast<uid_t>(-1), st.st_gid);
      (void)::fchmod(FTemp->Fd(), st.st_mode & 07777);
    }
    return;
  }
  // In place: the file must be writable now, not found otherwise after a long run.
  FOwned = TFd(::open(FTarget.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  if (FOwned.Get() < 0)
    throw EFCreateError("Cannot write " + Quoted(FDest) + ". " + SystemError(errno));
  FDirect = FOwned.Get();
  const bool dirWritable = ::access(dir.c_str(), W_OK) == 0;
  FTemp = std::make_unique<TTempFile>(
      TTempFile::Anonymous(dirWritable ? dir : TempDirectory(), "the output"));
}

TOutput::~TOutput() = default;

std::string TOutput::DisplayName() const {
  return FDest == "-" ? "standard output" : Quoted(FDest);
}

int TOutput::Fd() const noexcept {
  return FTemp ? FTemp->Fd() : FDirect;
}

void TOutput::Write(std::string_view Bytes) {
  WriteAllToFd(Fd(), Bytes, DisplayName());
}

void TOutput::Commit() {
  ThrowIfCancelled();
  switch (FKind) {
    case TKind::Through:
      if (FTemp) CopyFdToFd(FTemp->Fd(), FDirect, "the staged output", DisplayName());
      break;
    case TKind::Replace:
      // The old content goes away with the rename: the new one must be on disk first.
      if (::fsync(FTemp->Fd()) != 0)
        throw EOutputError("Write error on " + DisplayName() + ": " + SystemError(errno), errno);
      if (FReadOnly) DropWritePermission(FTemp->Fd());
      FTemp->LinkAs(FTarget);
      break;
    case TKind::InPlace:
      if (::ftruncate(FDirect, 0) != 0 || ::lseek(FDirect, 0, SEEK_SET) != 0)
        throw EOutputError("Write error on " + DisplayName() + ": " + SystemError(errno), errno);
      CopyFdToFd(FTemp->Fd(), FDirect, "the staged output", DisplayName());
      if (FReadOnly) DropWritePermission(FDirect);
      if (::fsync(FDirect) != 0 || FOwned.Close() != 0)
        throw EOutputError("Write error on " + DisplayName() + ": " + SystemError(errno), errno);
      break;
  }
}

}  // namespace morvane::cli
