// Untyped byte files, file identity and file attributes.
#pragma once

#include <cstdint>
#include <string>

namespace morvane {

// An untyped file with records of one byte. Every failure raises EInOutError; the file is closed
// when the object dies.
class TUntypedFile {
 public:
  TUntypedFile() = default;
  ~TUntypedFile();
  TUntypedFile(const TUntypedFile&) = delete;
  TUntypedFile& operator=(const TUntypedFile&) = delete;

  // Opens an existing file; read-only unless ForWriting.
  void Reset(const std::string& FileName, bool ForWriting = false);
  // Creates a new empty file, replacing an existing one.
  void Rewrite(const std::string& FileName);
  void Close();
  bool IsOpen() const noexcept { return FHandle >= 0; }

  int64_t FileSize() const;
  int64_t FilePos() const;
  void Seek(int64_t Position);
  // Reads exactly Count bytes; fewer raises EInOutError.
  void BlockRead(void* Buffer, int32_t Count);
  // Reads up to Count bytes; returns how many were read.
  int32_t BlockReadSome(void* Buffer, int32_t Count);
  void BlockWrite(const void* Buffer, int32_t Count);
  // Reads from the current position to the end of the file.
  std::string ReadToEnd();
  // Cuts the file at the current position.
  void Truncate();

 private:
  [[noreturn]] void Fail(const char* what) const;

  std::string FFileName;
  int FHandle = -1;
};

// True when both names lead to the same existing file (same device and inode), whatever the names.
bool SameFile(const std::string& A, const std::string& B);

// True when the name leads to an existing file.
bool FileExists(const std::string& FileName);

// The size of a named file in bytes, or -1 when it cannot be read.
int64_t FileSizeOf(const std::string& FileName);

// File attributes in the framework's bit values.
inline constexpr int32_t faReadOnly = 0x01;
inline constexpr int32_t faHidden = 0x02;
inline constexpr int32_t faSysFile = 0x04;
inline constexpr int32_t faDirectory = 0x10;
inline constexpr int32_t faArchive = 0x20;

// The attribute set of a named file, or -1 when it does not exist. On POSIX a regular file
// without any write permission bit is read-only; other kinds of file carry faSysFile, and
// directories faDirectory; names that start with '.' carry faHidden.
int32_t FileGetAttr(const std::string& FileName);

// Marks a named file read-only (clears every write permission bit); failure raises EInOutError.
void FileSetReadOnly(const std::string& FileName);

}  // namespace morvane
