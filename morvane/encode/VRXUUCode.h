// Uuencode as a cipher component: encryption writes a whole document, decryption reads one.
//
// The document it writes (every line ends in CR LF):
//   "begin " [Status FileName]   Status and name only when FileName is not empty
//   data lines                   a length character, then four characters per three bytes;
//                                45 bytes a line ("M" + 60 characters), the last line shorter
//   "end"
// A 6-bit value v is written as v + 32, except 0, written as the backquote; decoding maps every
// byte c to (c - 32) and 63. There is no zero-length line before "end".
//
// Decoding reads two forms:
// - The package's own, whose first line holds "begin " and is read by position: Status is its
//   bytes 7 to 11, FileName from byte 12 to the first CR ("begin 644  name", two blanks). A
//   document laid out exactly as the encoder writes it (CR LF line ends, every data line but
//   the last of 45 bytes, the last of the size its length promises, "end" CR LF as its last
//   bytes) is decoded by position; any other document with this begin line is read line by
//   line as the form below, so that it decodes right or raises EVRXUUError, never wrong bytes.
//   A data line whose length character promises more characters than the data holds raises
//   EVRXUUError "Malformed data line".
// - The form other tools write, "begin 644 name" (one blank; the mode may have 1 to 4 octal
//   digits): Status becomes the mode as a five-byte mode text ("644  "), FileName the rest of
//   the line. Lines may end in LF or CR LF; text such as mail headers may stand before the
//   begin line, which then must be in this form, and any text after the end line; a
//   zero-length line ("`") may stand before "end". Every data line is checked: it must hold
//   exactly the characters its length promises, all in 0x20..0x60, at most 45 bytes, and only
//   the last may be short. A line that breaks this raises EVRXUUError "Malformed data line:
//   line N ..." before anything is written: such a document never decodes to wrong bytes.
// FileName is the carried name as it stands; write files under GetSafeFileName() instead.
//
// What the drivers raise:
//   DecryptString, DecryptFile  EVRXUUError "No begin line" (no line in either form),
//                               "No end line" (the end line missing), "Malformed data line"
//                               (above); DecryptFile checks all this before it creates the
//                               destination, and raises the file errors of VRXCipher.h
//                               (EFOpenError, EFCreateError, EInOutError, EReadError for an
//                               empty file, ERangeError for 2 GiB or more).
//   EncryptFile                 the file errors of VRXCipher.h.
//   EncryptString               ERangeError for 2 GiB or more.
//   every driver                EVRXEncryptCancel / EVRXDecryptCancel from OnProgress.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "morvane/cipher/VRXCipher.h"
#include "morvane/cipher/VRXIncremental.h"
#include "morvane/framework/Exceptions.h"

namespace morvane {

// "No begin line", "No end line", "Malformed data line".
class EVRXUUError : public Exception {
 public:
  using Exception::Exception;
};

// The last part of a carried file name, safe to create in a directory the caller chose: no
// directories (anything up to the last '/', '\\' or ':' is dropped), no control bytes (0 to 31
// and 127 are dropped), no leading dots or blanks (so never ".", ".." or a hidden name), no
// trailing dots or blanks, at most 255 bytes. Empty when nothing is left: the caller must then
// choose a name itself. Other bytes, above 127 included, are kept as they are.
std::string UUSafeFileName(std::string_view Name);

class TVRXUUCode : public TCustomVRXCipher {
 public:
  explicit TVRXUUCode(TComponent* AOwner = nullptr);
  std::string ClassName() const override { return "TVRXUUCode"; }

  // ---- Published properties

  // The name on the begin line. Setting it also sets Status from the file of that name:
  // "444  " when its attributes are the read-only attribute alone, else "644  " (a missing file
  // included). The file itself is never opened.
  const std::string& GetFileName() const noexcept { return FFileName; }
  void SetFileName(std::string_view Value);
  // The mode text written in front of the name ("644  ", "444  ").
  const std::string& GetStatus() const noexcept { return FStatus; }
  void SetStatus(std::string_view Value) { FStatus = Value; }

  // FileName reduced to a name that is safe to create in a directory of the caller's choosing:
  // see UUSafeFileName. Use it, not FileName, when writing a decoded document under the name it
  // carries.
  std::string GetSafeFileName() const { return UUSafeFileName(FFileName); }

  // ---- Drivers: whole documents. The decoders set FileName and Status from the begin line
  // when it is longer than 8 bytes, without looking at any file.

  // Checks the begin and end lines before it creates anything, and marks the destination
  // read-only when the document's mode is "444  ".
  void DecryptFile(const std::string& SourceFile, const std::string& DestFile) override;
  std::string EncryptString(std::string_view S) override;
  std::string DecryptString(std::string_view S) override;

 protected:
  void EncryptBuffer() override;
  void StartDecryption(uint8_t* LeadingData) override;
  void DecryptBuffer() override;

  // The file layout is the document, of any length (TVRXEncryptor, TVRXDecryptor): the begin
  // line, the data lines, the end line. Reading it sets FileName and Status from the begin line
  // (up to and including its line feed, as DecryptFile reads it); it does not touch any file's
  // attributes. It reads the package's own layout only (CR LF line ends, lines of 45 bytes, the
  // last shorter, "end" CR LF last): a document in any other layout or in the form of other
  // tools raises EVRXUUError, after the output of the chunks before the fault was appended.
  // TVRXUUDocumentReader (below) reads every form in pieces.
  std::string FileHead() const override { return BeginLine(); }
  int64_t FileLargestSource() const override { return INT64_MAX; }
  std::string FileTail(int64_t SourceSize) const override;
  int64_t ReadFileHead(std::string_view Seen, bool End) override;
  int32_t FileTailSize() const override { return 5; }
  int64_t ReadFileTail(std::string_view Tail, int64_t StreamSize) override;

 private:
  std::string BeginLine() const;
  void ReadBeginLine(std::string_view Line);
  void DecodeLineBytewise(const TChunkView& Chunk);
  // Documents in the form other tools write (see the top of this header).
  // BeginLineRead: the caller read the begin line, in the package's form.
  std::string DecryptCommonString(std::string_view Document, int64_t BeginLineNumber,
                                  bool BeginLineRead);
  // FirstLineBegins: the first line is the begin line, in the package's form, already read.
  void DecryptCommonFile(const std::string& SourceFile, const std::string& DestFile,
                         bool FirstLineBegins);

  friend class TVRXUUDocumentReader;

  std::string FFileName;
  std::string FStatus;
  // A document fed in pieces: the next run checks the layout chunk by chunk (set when its
  // begin line was read), this run does, a short line ended the data.
  bool FCheckNextRun = false;
  bool FCheckLayout = false;
  bool FShortLineSeen = false;
};

// A uuencoded document fed in pieces of any size, in every form DecryptString reads (the
// package's own and that of other tools), of any length. Each line is checked as it arrives, by
// the rules of the form of other tools (see the top of this header), and its bytes are appended
// at once, so that memory stays bounded; a document that breaks them raises the drivers'
// EVRXUUError ("No begin line", "No end line", "Malformed data line: line N ..."), after the
// bytes of the lines before the fault were appended: discard them then. Unlike the drivers it
// ignores anything after the end line, and it refuses lines of the package's layout holding
// bytes outside the encoding, which DecryptString decodes by position. The component's FileName
// and Status are set once the begin line was read; no file's attributes are touched. Progress
// and cancel as the component's OnProgress gives them; one document per object.
class TVRXUUDocumentReader {
 public:
  explicit TVRXUUDocumentReader(TVRXUUCode& Code);
  ~TVRXUUDocumentReader();
  TVRXUUDocumentReader(const TVRXUUDocumentReader&) = delete;
  TVRXUUDocumentReader& operator=(const TVRXUUDocumentReader&) = delete;

  void Update(std::span<const uint8_t> In, std::string& Out);
  void Update(std::string_view In, std::string& Out);
  // Raises "No begin line" or "No end line" for a document that ended early.
  void Finish(std::string& Out);
  // Whether the begin line was read (FileName and Status are the document's).
  bool BeginLineRead() const;

 private:
  struct TState;
  void Line(std::string_view Line);
  void Decode(std::string& Out);

  TVRXUUCode& FCode;
  std::unique_ptr<TState> FState;
};

}  // namespace morvane
