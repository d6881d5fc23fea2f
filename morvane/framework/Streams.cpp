#include "morvane/framework/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "morvane/framework/Exceptions.h"

namespace morvane {

void TStream::ReadBuffer(void* Buffer, int32_t Count) {
  if (Count < 0) throw EReadError("Stream read error");
  auto* p = static_cast<uint8_t*>(Buffer);
  int32_t done = 0;
  while (done < Count) {
    int32_t n = Read(p + done, Count - done);
    if (n <= 0) throw EReadError("Stream read error");
    done += n;
  }
}

void TStream::WriteBuffer(const void* Buffer, int32_t Count) {
  if (Count < 0) throw EWriteError("Stream write error");
  const auto* p = static_cast<const uint8_t*>(Buffer);
  int32_t done = 0;
  while (done < Count) {
    int32_t n = Write(p + done, Count - done);
    if (n <= 0) throw EWriteError("Stream write error");
    done += n;
  }
}

// ---- The two memory streams read alike: the bytes of Data from Position on.

namespace {

// Up to Count bytes of Data from Position on, where they lie; Position moves past them.
const uint8_t* TakeInPlace(std::string_view Data, int64_t& Position, int32_t Count,
                           int32_t& Got) noexcept {
  Got = 0;
  const auto size = static_cast<int64_t>(Data.size());
  if (Count <= 0 || Position >= size) return nullptr;
  Got = static_cast<int32_t>(std::min<int64_t>(Count, size - Position));
  const auto* p = reinterpret_cast<const uint8_t*>(Data.data()) + Position;
  Position += Got;
  return p;
}

// The same bytes copied to Buffer; returns how many.
int32_t CopyOut(std::string_view Data, int64_t& Position, void* Buffer, int32_t Count) noexcept {
  int32_t got = 0;
  const uint8_t* p = TakeInPlace(Data, Position, Count, got);
  if (got > 0) std::memcpy(Buffer, p, static_cast<size_t>(got));
  return got;
}

}  // namespace

// ---- TMemoryStream

int32_t TMemoryStream::Read(void* Buffer, int32_t Count) {
  return CopyOut(FData, FPosition, Buffer, Count);
}

const uint8_t* TMemoryStream::ReadInPlace(int32_t Count, int32_t& Got) {
  return TakeInPlace(FData, FPosition, Count, Got);
}

int32_t TMemoryStream::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const auto end = static_cast<size_t>(FPosition) + static_cast<size_t>(Count);
  if (static_cast<size_t>(FPosition) == FData.size()) {
    FData.append(static_cast<const char*>(Buffer), static_cast<size_t>(Count));
  } else {
    if (end > FData.size()) FData.resize(end);
    std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  }
  FPosition = static_cast<int64_t>(end);
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset) {
  if (Offset < 0) throw EReadError("Stream seek to a negative offset");
  FPosition = Offset;
  if (FPosition > GetSize()) FData.resize(static_cast<size_t>(FPosition));
  return FPosition;
}

std::string TMemoryStream::TakeData() noexcept {
  std::string out = std::move(FData);
  FData.clear();
  FPosition = 0;
  return out;
}

void TMemoryStream::Clear() noexcept {
  FData.clear();
  FPosition = 0;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EWriteError("Negative stream size");
  FData.resize(static_cast<size_t>(NewSize));
  FPosition = std::min(FPosition, NewSize);
}

// ---- TReadOnlyMemoryStream

int32_t TReadOnlyMemoryStream::Read(void* Buffer, int32_t Count) {
  return CopyOut(FData, FPosition, Buffer, Count);
}

const uint8_t* TReadOnlyMemoryStream::ReadInPlace(int32_t Count, int32_t& Got) {
  return TakeInPlace(FData, FPosition, Count, Got);
}

int32_t TReadOnlyMemoryStream::Write(const void*, int32_t) {
  throw EWriteError("Stream write error: the stream is read-only");
}

int64_t TReadOnlyMemoryStream::Seek(int64_t Offset) {
  if (Offset < 0) throw EReadError("Stream seek to a negative offset");
  FPosition = Offset;
  return FPosition;
}

// ---- TFileStream

namespace {
std::string SystemError(int err) {
  return std::strerror(err);
}
}  // namespace

TFileStream::TFileStream(const std::string& FileName, TFileStreamMode Mode) : FFileName(FileName) {
  switch (Mode) {
    case fmOpenReadShared:
      FHandle = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
      if (FHandle < 0)
        throw EFOpenError("Cannot open file \"" + FileName + "\". " + SystemError(errno));
      break;
    case fmOpenReadWrite:
      FHandle = ::open(FileName.c_str(), O_RDWR | O_CLOEXEC);
      if (FHandle < 0)
        throw EFOpenError("Cannot open file \"" + FileName + "\". " + SystemError(errno));
      break;
    case fmCreate:
      FHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      if (FHandle < 0)
        throw EFCreateError("Cannot create file \"" + FileName + "\". " + SystemError(errno));
      break;
  }
  struct stat st {};
  if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    const std::string text = "\"" + FileName + "\" is a directory";
    if (Mode == fmCreate) throw EFCreateError("Cannot create file " + text);
    throw EFOpenError("Cannot open file " + text);
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int32_t TFileStream::Read(void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  auto* p = static_cast<uint8_t*>(Buffer);
  int32_t done = 0;
  while (done < Count) {
    ssize_t n = ::read(FHandle, p + done, static_cast<size_t>(Count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError("Read error on \"" + FFileName + "\": " + SystemError(errno), errno);
    }
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t TFileStream::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const auto* p = static_cast<const uint8_t*>(Buffer);
  int32_t done = 0;
  while (done < Count) {
    ssize_t n = ::write(FHandle, p + done, static_cast<size_t>(Count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError("Write error on \"" + FFileName + "\": " + SystemError(errno), errno);
    }
    done += static_cast<int32_t>(n);
  }
  return done;
}

int64_t TFileStream::Seek(int64_t Offset) {
  off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), SEEK_SET);
  if (r < 0) throw EInOutError("Seek error on \"" + FFileName + "\": " + SystemError(errno), errno);
  return r;
}

int64_t TFileStream::GetPosition() const {
  off_t r = ::lseek(FHandle, 0, SEEK_CUR);
  return r < 0 ? 0 : r;
}

int64_t TFileStream::GetSize() const {
  struct stat st {};
  if (::fstat(FHandle, &st) != 0)
    throw EInOutError("Cannot read the size of \"" + FFileName + "\": " + SystemError(errno),
                      errno);
  return st.st_size;
}

}  // namespace morvane
