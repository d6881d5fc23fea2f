// The framework's streams: an abstract byte stream, memory streams and file streams.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

// A byte stream with a position. Counts of one transfer are signed 32-bit as the framework's;
// positions and sizes are 64-bit so that oversized files can be recognised and refused.
class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to Count bytes into Buffer; returns how many were read (0 at the end).
  virtual int32_t Read(void* Buffer, int32_t Count) = 0;
  // Writes up to Count bytes; returns how many were written.
  virtual int32_t Write(const void* Buffer, int32_t Count) = 0;
  // Moves to Offset bytes from the beginning; returns the new position.
  virtual int64_t Seek(int64_t Offset) = 0;
  virtual int64_t GetPosition() const = 0;
  virtual int64_t GetSize() const = 0;

  // For streams that hold their bytes in memory: reads up to Count bytes as Read would, but
  // without copying them, and returns where they stand (valid until the stream is next changed);
  // Got is the count read. Other streams read nothing, set Got to 0 and return nullptr.
  virtual const uint8_t* ReadInPlace(int32_t Count, int32_t& Got) {
    (void)Count;
    Got = 0;
    return nullptr;
  }

  void SetPosition(int64_t Value) { Seek(Value); }
  // Reads exactly Count bytes, or raises EReadError.
  void ReadBuffer(void* Buffer, int32_t Count);
  // Writes exactly Count bytes, or raises EWriteError.
  void WriteBuffer(const void* Buffer, int32_t Count);
};

// A growable stream in memory whose content can be read back.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string content) : FData(std::move(content)) {}

  int32_t Read(void* Buffer, int32_t Count) override;
  const uint8_t* ReadInPlace(int32_t Count, int32_t& Got) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset) override;
  int64_t GetPosition() const override { return FPosition; }
  int64_t GetSize() const override { return static_cast<int64_t>(FData.size()); }

  const std::string& Data() const noexcept { return FData; }
  // Hands the content to the caller and leaves the stream empty.
  std::string TakeData() noexcept;
  void Clear() noexcept;
  void SetSize(int64_t NewSize);

 private:
  std::string FData;
  int64_t FPosition = 0;
};

// A read-only stream over bytes that belong to someone else; it never copies them, and they must
// outlive it. Writing fails.
class TReadOnlyMemoryStream : public TStream {
 public:
  explicit TReadOnlyMemoryStream(std::string_view Bytes) : FData(Bytes) {}

  int32_t Read(void* Buffer, int32_t Count) override;
  const uint8_t* ReadInPlace(int32_t Count, int32_t& Got) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset) override;
  int64_t GetPosition() const override { return FPosition; }
  int64_t GetSize() const override { return static_cast<int64_t>(FData.size()); }

 private:
  std::string_view FData;
  int64_t FPosition = 0;
};

// How a file stream opens its file.
enum TFileStreamMode : uint8_t {
  fmOpenReadShared,  // an existing file, read-only, no sharing restriction
  fmCreate,          // a new empty file, replacing an existing one
  fmOpenReadWrite,   // an existing file, read and write
};

// A stream over a file; the file is closed when the stream dies. Failing to open raises
// EFOpenError, failing to create EFCreateError; read and write failures raise EInOutError.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& FileName, TFileStreamMode Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset) override;
  int64_t GetPosition() const override;
  int64_t GetSize() const override;

  const std::string& FileName() const noexcept { return FFileName; }
  int Handle() const noexcept { return FHandle; }

 private:
  std::string FFileName;
  int FHandle = -1;
};

}  // namespace morvane
