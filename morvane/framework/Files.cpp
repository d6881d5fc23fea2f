#include "morvane/framework/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "morvane/framework/Exceptions.h"

namespace morvane {

TUntypedFile::~TUntypedFile() {
  if (FHandle >= 0) ::close(FHandle);
}

void TUntypedFile::Fail(const char* what) const {
  const int err = errno;
  throw EInOutError(std::string("I/O error: ") + what + " \"" + FFileName + "\": " +
                        (err != 0 ? std::strerror(err) : "unexpected end of file"),
                    err);
}

void TUntypedFile::Reset(const std::string& FileName, bool ForWriting) {
  Close();
  FFileName = FileName;
  FHandle = ::open(FileName.c_str(), (ForWriting ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (FHandle < 0) Fail("cannot open");
}

void TUntypedFile::Rewrite(const std::string& FileName) {
  Close();
  FFileName = FileName;
  FHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (FHandle < 0) Fail("cannot create");
}

void TUntypedFile::Close() {
  if (FHandle < 0) return;
  const int h = FHandle;
  FHandle = -1;
  if (::close(h) != 0) Fail("cannot close");
}

int64_t TUntypedFile::FileSize() const {
  struct stat st {};
  errno = 0;
  if (FHandle < 0 || ::fstat(FHandle, &st) != 0) Fail("cannot read the size of");
  return st.st_size;
}

int64_t TUntypedFile::FilePos() const {
  errno = 0;
  off_t r = FHandle < 0 ? -1 : ::lseek(FHandle, 0, SEEK_CUR);
  if (r < 0) Fail("cannot tell the position in");
  return r;
}

void TUntypedFile::Seek(int64_t Position) {
  errno = 0;
  if (FHandle < 0 || Position < 0 || ::lseek(FHandle, static_cast<off_t>(Position), SEEK_SET) < 0)
    Fail("cannot seek in");
}

int32_t TUntypedFile::BlockReadSome(void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  auto* p = static_cast<uint8_t*>(Buffer);
  int32_t done = 0;
  while (done < Count) {
    errno = 0;
    ssize_t n = FHandle < 0 ? -1 : ::read(FHandle, p + done, static_cast<size_t>(Count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("cannot read");
    }
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

void TUntypedFile::BlockRead(void* Buffer, int32_t Count) {
  if (BlockReadSome(Buffer, Count) != Count) {
    errno = 0;
    Fail("short read from");
  }
}

void TUntypedFile::BlockWrite(const void* Buffer, int32_t Count) {
  const auto* p = static_cast<const uint8_t*>(Buffer);
  int32_t done = 0;
  while (done < Count) {
    errno = 0;
    ssize_t n = FHandle < 0 ? -1 : ::write(FHandle, p + done, static_cast<size_t>(Count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write");
    }
    done += static_cast<int32_t>(n);
  }
}

std::string TUntypedFile::ReadToEnd() {
  std::string out;
  char chunk[65536];
  for (;;) {
    int32_t n = BlockReadSome(chunk, sizeof chunk);
    if (n == 0) break;
    out.append(chunk, static_cast<size_t>(n));
  }
  return out;
}

void TUntypedFile::Truncate() {
  const int64_t pos = FilePos();
  errno = 0;
  if (::ftruncate(FHandle, static_cast<off_t>(pos)) != 0) Fail("cannot truncate");
}

bool SameFile(const std::string& A, const std::string& B) {
  struct stat sa {}, sb {};
  if (::stat(A.c_str(), &sa) != 0 || ::stat(B.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool FileExists(const std::string& FileName) {
  struct stat st {};
  return ::stat(FileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

int64_t FileSizeOf(const std::string& FileName) {
  struct stat st {};
  if (::stat(FileName.c_str(), &st) != 0) return -1;
  return st.st_size;
}

int32_t FileGetAttr(const std::string& FileName) {
  struct stat st {};
  if (::stat(FileName.c_str(), &st) != 0) return -1;
  int32_t attr = 0;
  if (S_ISDIR(st.st_mode)) {
    attr |= faDirectory;
  } else if (!S_ISREG(st.st_mode)) {
    attr |= faSysFile;
  }
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attr |= faReadOnly;
  const auto slash = FileName.find_last_of('/');
  const std::string base = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
  if (!base.empty() && base[0] == '.' && base != "." && base != "..") attr |= faHidden;
  return attr;
}

void FileSetReadOnly(const std::string& FileName) {
  struct stat st {};
  errno = 0;
  if (::stat(FileName.c_str(), &st) != 0 ||
      ::chmod(FileName.c_str(), st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH) & 07777) != 0) {
    const int err = errno;
    throw EInOutError("I/O error: cannot mark \"" + FileName + "\" read-only: " +
                          std::strerror(err),
                      err);
  }
}

}  // namespace morvane
