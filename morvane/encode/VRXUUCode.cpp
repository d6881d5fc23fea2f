#include "morvane/encode/VRXUUCode.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "morvane/encode/internal/VRXEncodeKernels.h"
#include "morvane/framework/Files.h"
#include "morvane/framework/Streams.h"
#include "morvane/strings/VRXStrings.h"

namespace morvane {

namespace {

constexpr const char* kNoBeginLine = "No begin line";
constexpr const char* kNoEndLine = "No end line";
constexpr const char* kMalformedLine = "Malformed data line";
constexpr std::string_view kBegin = "begin ";
constexpr std::string_view kEndLine = "end\r\n";
constexpr const char* kReadOnlyStatus = "444  ";
constexpr const char* kWritableStatus = "644  ";
constexpr int32_t kLineBytes = 45;
constexpr int32_t kLineChars = 63;
// A line longer than any document needs is refused rather than held.
constexpr size_t kMaxLineBytes = 4096;
constexpr size_t kMaxNameBytes = 255;  // the longest file name the common file systems take

constexpr uint8_t Char(uint32_t Value) {
  return static_cast<uint8_t>(Value == 0 ? 0x60 : Value + 32);
}
constexpr uint32_t Value(uint8_t C) {
  return static_cast<uint32_t>(C - 32) & 63;
}

// ---- Documents in the form other tools write
//
// Lines that end in a line feed (a carriage return before it is dropped), a zero-length line
// ("`" or a blank) before the end line, any text after the end line. Each data line is checked
// and handed to the decoder in the package's own layout, so that such a document decodes to
// the right bytes or is refused with EVRXUUError naming the line; never to wrong bytes.

[[noreturn]] void RefuseLongLine(int64_t Number) {
  throw EVRXUUError(std::string(kMalformedLine) + ": line " + std::to_string(Number) +
                    " is longer than " + std::to_string(kMaxLineBytes) + " bytes");
}

// Lines of a stream through a small buffer, each without its line end.
class TLineReader {
 public:
  // Lines are counted from Before + 1, for messages.
  explicit TLineReader(TStream& Source, int64_t Before = 0) : FSource(Source), FNumber(Before) {}

  bool Next(std::string& Line) {
    Line.clear();
    bool any = false;
    for (;;) {
      if (FPos == FFill) {
        FFill = std::max(0, FSource.Read(FBuffer.data(), static_cast<int32_t>(FBuffer.size())));
        FPos = 0;
        if (FFill == 0) {
          if (!any) return false;
          break;
        }
      }
      any = true;
      const char* start = FBuffer.data() + FPos;
      const auto* lf =
          static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(FFill - FPos)));
      const auto n = static_cast<int32_t>(lf != nullptr ? lf - start : FFill - FPos);
      if (Line.size() + static_cast<size_t>(n) > kMaxLineBytes) RefuseLongLine(FNumber + 1);
      Line.append(start, static_cast<size_t>(n));
      FPos += n;
      FConsumed += n;
      if (lf != nullptr) {
        ++FPos;
        ++FConsumed;
        break;
      }
    }
    ++FNumber;
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    return true;
  }
  int64_t Number() const noexcept { return FNumber; }
  // Bytes of the lines read so far, line ends included.
  int64_t Consumed() const noexcept { return FConsumed; }

 private:
  TStream& FSource;
  std::array<char, 8192> FBuffer{};
  int32_t FPos = 0;
  int32_t FFill = 0;
  int64_t FNumber;
  int64_t FConsumed = 0;
};

// The data lines of a document in the common form, one at a time, each without its line end.
// Number is the line's number in the document, for messages.
class TCommonLineCheck {
 public:
  enum class TKind { Data, Skipped, End };

  // Appends a data line in the package's layout to Out (when given). Raises EVRXUUError for a
  // line the common form cannot hold.
  TKind Take(std::string_view Line, int64_t Number, std::string* Out) {
    if (IsEndLine(Line)) return TKind::End;
    if (FDataEnded) {
      if (Line.find_first_not_of(" \t`") == std::string_view::npos) return TKind::Skipped;
      throw EVRXUUError(std::string(kNoEndLine) + ": line " + std::to_string(Number) +
                        " follows the zero-length line");
    }
    if (Line.empty()) {  // a blank line ends the data as a zero-length line does
      FDataEnded = true;
      return TKind::Skipped;
    }
    const auto first = static_cast<uint8_t>(Line[0]);
    if (first < 0x20 || first > 0x60) Refuse(Number, "does not start with a length character");
    const uint32_t length = Value(first);
    if (length == 0) {
      FDataEnded = true;
      return TKind::Skipped;
    }
    if (length > static_cast<uint32_t>(kLineBytes)) Refuse(Number, "holds more than 45 bytes");
    if (FShortSeen) Refuse(Number, "follows a short line: only the last data line may be short");
    const size_t need = 4 * ((length + 2) / 3);
    if (Line.size() - 1 != need) {
      Refuse(Number, "holds " + std::to_string(Line.size() - 1) + " characters where its length (" +
                         std::to_string(length) + " bytes) needs " + std::to_string(need));
    }
    // One test after the loop, not one per byte: the loop then runs on whole vectors.
    uint8_t outside = 0;
    for (size_t i = 1; i <= need; ++i) {
      outside |= static_cast<uint8_t>(static_cast<uint8_t>(Line[i] - 0x20) > 0x40);
    }
    if (outside != 0) Refuse(Number, "holds a byte outside the encoding");
    FShortSeen = length < static_cast<uint32_t>(kLineBytes);
    if (Out != nullptr) {
      Out->append(Line.substr(0, need + 1));
      Out->append("\r\n");
    }
    return TKind::Data;
  }

 private:
  static bool IsEndLine(std::string_view Line) {
    return Line.starts_with("end") && Line.find_first_not_of(" \t", 3) == std::string_view::npos;
  }
  [[noreturn]] static void Refuse(int64_t Number, const std::string& Why) {
    throw EVRXUUError(std::string(kMalformedLine) + ": line " + std::to_string(Number) + " " + Why);
  }

  bool FDataEnded = false;
  bool FShortSeen = false;
};

// The data lines of a document in the common form, from just after its begin line (FirstLine
// is the number of the first of them, for messages).
class TCommonDataLines {
 public:
  TCommonDataLines(TStream& Source, int64_t FirstLine) : FLines(Source, FirstLine - 1) {}

  // Appends the next data line in the package's layout to Out (when given); false at the end
  // line.
  bool Next(std::string* Out) {
    for (;;) {
      if (!FLines.Next(FLine)) throw EVRXUUError(kNoEndLine);
      switch (FCheck.Take(FLine, FLines.Number(), Out)) {
        case TCommonLineCheck::TKind::Data:
          return true;
        case TCommonLineCheck::TKind::End:
          return false;
        case TCommonLineCheck::TKind::Skipped:
          break;
      }
    }
  }

 private:
  TLineReader FLines;
  std::string FLine;
  TCommonLineCheck FCheck;
};

// The data lines of a common-form document as a stream in the package's layout.
class TCommonDataStream : public TStream {
 public:
  TCommonDataStream(TStream& Source, int64_t FirstLine) : FLines(Source, FirstLine) {}

  int32_t Read(void* Buffer, int32_t Count) override {
    auto* out = static_cast<char*>(Buffer);
    int32_t done = 0;
    while (done < Count) {
      if (FPos == FPending.size()) {
        FPending.clear();
        FPos = 0;
        if (FEnded || !FLines.Next(&FPending)) {
          FEnded = true;
          break;
        }
      }
      const auto n = static_cast<int32_t>(
          std::min<size_t>(static_cast<size_t>(Count - done), FPending.size() - FPos));
      std::memcpy(out + done, FPending.data() + FPos, static_cast<size_t>(n));
      FPos += static_cast<size_t>(n);
      done += n;
    }
    FPosition += done;
    return done;
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t) override { return FPosition; }  // forward only: it never moves
  int64_t GetPosition() const override { return FPosition; }
  int64_t GetSize() const override { return -1; }

 private:
  TCommonDataLines FLines;
  std::string FPending;
  size_t FPos = 0;
  bool FEnded = false;
  int64_t FPosition = 0;
};

// The length of the common-form data from Source's position in the package's layout; checks
// every line on the way.
int64_t MeasureCommonData(TStream& Source, int64_t FirstLine) {
  TCommonDataLines lines(Source, FirstLine);
  std::string line;
  int64_t size = 0;
  while (lines.Next(&line)) {
    size += static_cast<int64_t>(line.size());
    line.clear();
  }
  CheckLayoutSize(size, "uuencoded data");
  return size;
}

// The length of the run of lines at the start of Data laid out as the encoder writes them:
// lines of 45 bytes ("M", 60 characters, CR LF), then at most one shorter line of the size its
// length character promises. Short is set when that shorter line was taken: nothing may follow
// it. Only the length characters and line ends are looked at, one line at a time.
size_t PackageLines(std::string_view Data, bool& Short) {
  size_t at = 0;
  Short = false;
  while (at < Data.size()) {
    const auto c = static_cast<uint8_t>(Data[at]);
    if (c <= 0x20 || c > Char(kLineBytes)) break;
    const uint32_t length = Value(c);
    const size_t size = 4 * ((length + 2) / 3) + 3;
    if (Data.size() - at < size || Data[at + size - 2] != '\r' || Data[at + size - 1] != '\n')
      break;
    at += size;
    if (length < static_cast<uint32_t>(kLineBytes)) {
      Short = true;
      break;
    }
  }
  return at;
}

bool IsPackageData(std::string_view Data) {
  bool isShort = false;
  return PackageLines(Data, isShort) == Data.size();
}

// Raised by a document fed in pieces that is not laid out as the encoder writes it.
EVRXUUError NotInPackageLayout() {
  return EVRXUUError(
      "Not in this package's layout (CR LF line ends, lines of 45 bytes, \"end\" last): a "
      "document in any other layout is read line by line, by DecryptFile, DecryptString or "
      "TVRXUUDocumentReader");
}

// The begin line of other tools: "begin", one blank, the mode in one to four octal digits, one
// blank, the name. The package's own begin line has two blanks before the name and is read by
// position instead, as it always was.
bool IsCommonBeginLine(std::string_view Line) {
  if (!Line.starts_with(kBegin)) return false;
  const size_t digits = Line.find_first_not_of("01234567", kBegin.size());
  const size_t count = digits == std::string_view::npos ? 0 : digits - kBegin.size();
  return count >= 1 && count <= 4 && Line.size() > digits + 1 && Line[digits] == ' ' &&
         Line[digits + 1] != ' ' && Line[digits + 1] != '\r' && Line[digits + 1] != '\n';
}

// The offset of the first line in the form of other tools (text such as mail headers may
// stand before it), or npos.
size_t FindBeginLine(std::string_view S) {
  for (size_t at = 0; at < S.size();) {
    if (IsCommonBeginLine(S.substr(at, S.find('\n', at) - at))) return at;
    const size_t lf = S.find('\n', at);
    if (lf == std::string_view::npos) break;
    at = lf + 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::string UUSafeFileName(std::string_view Name) {
  // Only the last part: anything up to a slash, a backslash or a drive colon names directories.
  const size_t cut = Name.find_last_of("/\\:");
  if (cut != std::string_view::npos) Name.remove_prefix(cut + 1);
  std::string out;
  for (char c : Name) {
    const auto b = static_cast<uint8_t>(c);
    if (b >= 0x20 && b != 0x7F) out += c;
  }
  // No ".", "..", hidden names or names of blanks: leading dots and blanks go, trailing blanks
  // and dots too (some systems drop them, which would make two names one).
  const size_t from = out.find_first_not_of(". ");
  if (from == std::string::npos) return {};
  out.erase(0, from);
  out.erase(out.find_last_not_of(". ") + 1);
  if (out.size() > kMaxNameBytes) out.resize(kMaxNameBytes);
  return out;
}

namespace {}  // namespace

TVRXUUCode::TVRXUUCode(TComponent* AOwner) : TCustomVRXCipher(AOwner) {
  SetGeometry(kLineBytes, kLineChars);
  // A damaged line may claim up to 63 bytes; a short document still decodes it as its chunk
  // would, into an output chunk of BufferSize lines.
  ReserveFullDecryptionOutput();
}

void TVRXUUCode::SetFileName(std::string_view Value) {
  FFileName = Value;
  FStatus = FileGetAttr(FFileName) == faReadOnly ? kReadOnlyStatus : kWritableStatus;
}

// ---- Encoding: full lines in bulk, then the short last line.

void TVRXUUCode::EncryptBuffer() {
  int32_t m = DirectBytes(btPlainText);
  const int32_t lines = m / kLineBytes;
  if (lines > 0) {
    uint8_t* out = PutDirect(btCipherText, kLineChars * lines);
    detail::ActiveEncodeKernels().UUEncodeLines(TakeDirect(btPlainText, kLineBytes * lines),
                                                static_cast<size_t>(lines), out);
    m -= kLineBytes * lines;
  }
  if (m > 0) {
    InsertByte(btCipherText, Char(static_cast<uint32_t>(m)));
    // The last group is filled up with zero bytes from the padding buffer.
    for (; m > 0; m -= 3) {
      const uint32_t b0 = ExtractByte(btPlainText);
      const uint32_t b1 = ExtractByte(btPlainText);
      const uint32_t b2 = ExtractByte(btPlainText);
      Insert32Bits(btCipherText, uint32_t{Char(b0 >> 2)} << 24 |
                                     uint32_t{Char((b0 & 3) << 4 | b1 >> 4)} << 16 |
                                     uint32_t{Char((b1 & 15) << 2 | b2 >> 6)} << 8 | Char(b2 & 63));
    }
    InsertByte(btCipherText, '\r');
    InsertByte(btCipherText, '\n');
  }
}

// ---- Decoding: runs of full lines in bulk; any other line byte-wise.

void TVRXUUCode::DecodeLineBytewise(const TChunkView& Chunk) {
  const uint32_t length = Value(ExtractByte(btCipherText));
  // A line that runs past its chunk while more data follows, whose characters run past the end
  // of the data, or that gives more bytes than the chunk holds, cannot come from the encoder; it
  // would take bytes that do not belong to it, or decode padding as data. (Only the line end may
  // be missing: it is not read.)
  const int32_t chars = 4 * static_cast<int32_t>((length + 2) / 3);
  const auto inChunk = static_cast<int64_t>(Chunk.In().size());
  const int64_t inData = Chunk.DataLeft();
  const bool moreData = inData > inChunk;
  if ((chars + 2 > inChunk && moreData) || chars > inData || length > Chunk.Out().size()) {
    throw EVRXUUError(kMalformedLine);
  }
  for (auto k = static_cast<int32_t>(length); k > 0; k -= 3) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 6 | Value(ExtractByte(btCipherText));
    InsertByte(btPlainText, static_cast<uint8_t>(v >> 16));
    if (k >= 2) InsertByte(btPlainText, static_cast<uint8_t>(v >> 8));
    if (k >= 3) InsertByte(btPlainText, static_cast<uint8_t>(v));
  }
  // The line end, not checked.
  ExtractByte(btCipherText);
  ExtractByte(btCipherText);
}

void TVRXUUCode::StartDecryption(uint8_t* LeadingData) {
  TCustomVRXCipher::StartDecryption(LeadingData);
  FCheckLayout = FCheckNextRun;
  FCheckNextRun = false;
  FShortLineSeen = false;
}

void TVRXUUCode::DecryptBuffer() {
  TChunkView chunk = ChunkView(btCipherText, btPlainText);
  if (FCheckLayout) {
    // A document fed in pieces is read by position only while it keeps the encoder's layout;
    // the drivers look the whole document over before they decode it.
    const std::string_view lines(reinterpret_cast<const char*>(chunk.In().data()),
                                 chunk.In().size());
    bool isShort = false;
    if ((FShortLineSeen && !lines.empty()) || PackageLines(lines, isShort) != lines.size()) {
      throw NotInPackageLayout();
    }
    FShortLineSeen = FShortLineSeen || isShort;
  }
  const auto& kernels = detail::ActiveEncodeKernels();
  while (!chunk.In().empty()) {
    const std::span<const uint8_t> in = chunk.In();
    const std::span<uint8_t> out = chunk.Out();
    const size_t lines = std::min(in.size() / kLineChars, out.size() / kLineBytes);
    if (lines > 0) {
      const auto done = static_cast<int32_t>(kernels.UUDecodeLines(in.data(), lines, out.data()));
      chunk.Take(kLineChars * done);
      chunk.Put(kLineBytes * done);
      if (chunk.In().empty()) break;
    }
    DecodeLineBytewise(chunk);
  }
}

// ---- The begin line

std::string TVRXUUCode::BeginLine() const {
  std::string line(kBegin);
  if (!FFileName.empty()) line += FStatus + FFileName;
  return line + "\r\n";
}

void TVRXUUCode::ReadBeginLine(std::string_view Line) {
  if (Line.find(kBegin) == std::string_view::npos) throw EVRXUUError(kNoBeginLine);
  // The form other tools write, "begin 644 name" with one blank: the mode is read as the
  // package's five-byte mode text ("644  "), so that the name is not cut at byte 12.
  if (IsCommonBeginLine(Line)) {
    const size_t blank = Line.find(' ', kBegin.size());
    std::string_view mode = Line.substr(kBegin.size(), blank - kBegin.size());
    if (mode.size() == 4 && mode[0] == '0') mode.remove_prefix(1);
    FStatus = std::string(mode) + std::string(5 - mode.size(), ' ');
    const std::string_view name = Line.substr(blank + 1);
    FFileName = name.substr(0, name.find_first_of("\r\n"));
    return;
  }
  if (Line.size() <= 8) return;
  // Positions count from the start of the line, wherever "begin " stands in it.
  FStatus = Line.substr(6, 5);
  std::string rest = ToEnd(Line, 12);
  std::string name;
  ExtractTo(name, rest, '\r');
  FFileName = std::move(name);
}

// ---- The document fed in pieces

std::string TVRXUUCode::FileTail(int64_t /*SourceSize*/) const {
  return std::string(kEndLine);
}

int64_t TVRXUUCode::ReadFileHead(std::string_view Seen, bool End) {
  const size_t lf = Seen.find('\n');
  if (lf == std::string_view::npos && !End) return -1;
  // An empty document fails as reading the begin line of an empty file does.
  if (Seen.empty())
    throw EInOutError("I/O error: the document is empty: unexpected end of file", 0);
  const std::string_view line = lf == std::string_view::npos ? Seen : Seen.substr(0, lf + 1);
  if (line.find(kBegin) != std::string_view::npos && !IsCommonBeginLine(line)) {
    if (lf != std::string_view::npos && !line.ends_with("\r\n")) throw NotInPackageLayout();
    ReadBeginLine(line);
    FCheckNextRun = true;
    return static_cast<int64_t>(line.size());
  }
  // The form of other tools is checked whole before anything is decoded, which a document fed
  // in pieces cannot be; without any begin line it is the drivers' error.
  if (FindBeginLine(Seen) != std::string_view::npos) {
    throw EVRXUUError(
        "No begin line of this package's form: a document in the form of other tools is read "
        "by DecryptFile, DecryptString or TVRXUUDocumentReader");
  }
  if (!End) return -1;
  throw EVRXUUError(kNoBeginLine);
}

int64_t TVRXUUCode::ReadFileTail(std::string_view Tail, int64_t StreamSize) {
  if (StreamSize < 0 || Tail.size() < 5 || Tail.find("end") == std::string_view::npos) {
    throw EVRXUUError(kNoEndLine);
  }
  if (Tail != kEndLine) throw NotInPackageLayout();
  return -1;
}

// ---- Strings

std::string TVRXUUCode::EncryptString(std::string_view S) {
  CheckLayoutSize(static_cast<int64_t>(S.size()), "string");
  const size_t lines = (S.size() + kLineBytes - 1) / kLineBytes;
  std::string doc = BeginLine();
  doc.reserve(doc.size() + lines * kLineChars + kEndLine.size());
  TReadOnlyMemoryStream source(S);
  TMemoryStream dest(std::move(doc));
  dest.Seek(dest.GetSize());
  EncryptStream(source, dest, static_cast<int32_t>(S.size()));
  doc = dest.TakeData();
  doc += kEndLine;
  return doc;
}

std::string TVRXUUCode::DecryptString(std::string_view S) {
  CheckLayoutSize(static_cast<int64_t>(S.size()), "uuencoded text");
  const size_t lf = S.find('\n');
  const std::string_view line = lf == std::string_view::npos ? S : S.substr(0, lf);
  const std::string_view rest =
      lf == std::string_view::npos ? std::string_view{} : S.substr(lf + 1);
  // The package's documents begin at once with a begin line ending in CR LF; any other
  // document is read in the common form.
  if (line.find(kBegin) == std::string_view::npos) {
    const size_t at = FindBeginLine(S);
    if (at == std::string_view::npos) throw EVRXUUError(kNoBeginLine);
    return DecryptCommonString(
        S.substr(at), 1 + std::count(S.begin(), S.begin() + static_cast<long>(at), '\n'), false);
  }
  FCheckLayout = FCheckNextRun = false;
  // Only a document laid out exactly as the encoder writes it is read by position; any other
  // (LF line ends, an empty line, text after the end line) is checked line by line, so that it
  // decodes to the right bytes or is refused, never to wrong bytes.
  if (IsCommonBeginLine(line)) return DecryptCommonString(S, 1, false);
  ReadBeginLine(line);
  if (rest.size() < 5 || rest.substr(rest.size() - std::min<size_t>(rest.size(), 6)).find("end") ==
                             std::string_view::npos) {
    throw EVRXUUError(kNoEndLine);
  }
  if (!line.ends_with('\r') || !rest.ends_with(kEndLine) ||
      !IsPackageData(rest.substr(0, rest.size() - kEndLine.size()))) {
    return DecryptCommonString(S, 1, true);
  }
  const std::string_view data = rest.substr(0, rest.size() - kEndLine.size());
  TReadOnlyMemoryStream source(data);
  std::string bytes;
  bytes.reserve(data.size() / kLineChars * kLineBytes + kLineBytes);
  TMemoryStream dest(std::move(bytes));
  DecryptStream(source, dest, static_cast<int32_t>(data.size()));
  return dest.TakeData();
}

std::string TVRXUUCode::DecryptCommonString(std::string_view Document, int64_t BeginLineNumber,
                                            bool BeginLineRead) {
  const size_t lf = Document.find('\n');
  std::string_view line = Document.substr(0, lf);
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (!BeginLineRead) ReadBeginLine(line);
  const std::string_view rest =
      lf == std::string_view::npos ? std::string_view{} : Document.substr(lf + 1);
  TReadOnlyMemoryStream measure(rest);
  const int64_t size = MeasureCommonData(measure, BeginLineNumber + 1);
  TReadOnlyMemoryStream source(rest);
  TCommonDataStream data(source, BeginLineNumber + 1);
  TMemoryStream dest;
  DecryptStream(data, dest, static_cast<int32_t>(size));
  return dest.TakeData();
}

// ---- Files

void TVRXUUCode::DecryptFile(const std::string& SourceFile, const std::string& DestFile) {
  CheckDistinctFiles(SourceFile, DestFile);
  FCheckLayout = FCheckNextRun = false;
  std::string line;
  int64_t count = 0;
  {
    TUntypedFile f;
    f.Reset(SourceFile);
    const int64_t size = f.FileSize();
    CheckLayoutSize(size, "uuencoded file");
    // The begin line: up to and including the first line feed, or the whole file. An empty
    // file fails here with the framework's read error.
    if (size == 0) {
      uint8_t b;
      f.BlockRead(&b, 1);
    }
    char block[4096];
    for (;;) {
      const int32_t got = f.BlockReadSome(block, sizeof block);
      if (got <= 0) break;
      const std::string_view piece(block, static_cast<size_t>(got));
      const size_t lf = piece.find('\n');
      if (lf != std::string_view::npos) {
        line.append(piece.substr(0, lf + 1));
        break;
      }
      line.append(piece);
    }
    // Not the package's own document: read in the common form, from the first line that
    // starts with "begin " (mail headers may stand before it).
    if (line.find(kBegin) == std::string::npos || IsCommonBeginLine(line)) {
      f.Close();
      DecryptCommonFile(SourceFile, DestFile, false);
      return;
    }
    // Only a document laid out exactly as the encoder writes it is read by position (see
    // DecryptString); the data is looked over before anything is created.
    ReadBeginLine(line);
    char tail[5];
    const auto tailSize = static_cast<int32_t>(std::min<int64_t>(size, 5));
    f.Seek(size - tailSize);
    f.BlockRead(tail, tailSize);
    // A document too short to hold data between its begin line and the last five bytes has
    // lost its end line, even when "end" stands inside the begin line.
    count = size - static_cast<int64_t>(line.size()) - 5;
    const std::string_view last(tail, static_cast<size_t>(tailSize));
    if (last.find("end") == std::string_view::npos || count < 0) {
      throw EVRXUUError(kNoEndLine);
    }
    bool own = line.ends_with("\r\n") && last == kEndLine;
    if (own) {
      f.Seek(static_cast<int64_t>(line.size()));
      std::string lines(static_cast<size_t>(kLineChars) * 16384, '\0');
      bool isShort = false;
      for (int64_t left = count; own && left > 0;) {
        const auto n =
            static_cast<int32_t>(std::min<int64_t>(left, static_cast<int64_t>(lines.size())));
        f.BlockRead(lines.data(), n);
        const std::string_view block(lines.data(), static_cast<size_t>(n));
        own = !isShort && PackageLines(block, isShort) == block.size();
        left -= n;
      }
    }
    if (!own) {
      f.Close();
      DecryptCommonFile(SourceFile, DestFile, true);
      return;
    }
  }
  DecryptFileRange(SourceFile, DestFile, static_cast<int64_t>(line.size()),
                   static_cast<int32_t>(count));
  if (FStatus == kReadOnlyStatus) FileSetReadOnly(DestFile);
}

}  // namespace morvane

namespace morvane {

void TVRXUUCode::DecryptCommonFile(const std::string& SourceFile, const std::string& DestFile,
                                   bool FirstLineBegins) {
  int64_t offset = 0, number = 0, size = 0;
  {
    // Find the begin line, then check every data line before anything is created.
    TFileStream source(SourceFile, fmOpenReadShared);
    TLineReader lines(source);
    std::string line;
    for (;;) {
      if (!lines.Next(line)) throw EVRXUUError(kNoBeginLine);
      ++number;
      if (IsCommonBeginLine(line) || (FirstLineBegins && number == 1)) break;
    }
    // The package's begin line was read as the file holds it, line feed included.
    if (!FirstLineBegins) ReadBeginLine(line);
    offset = lines.Consumed();
    source.Seek(offset);
    size = MeasureCommonData(source, number + 1);
  }
  TFileStream source(SourceFile, fmOpenReadShared);
  source.Seek(offset);
  TCommonDataStream data(source, number + 1);
  {
    TFileStream dest(DestFile, fmCreate);
    DecryptStream(data, dest, static_cast<int32_t>(size));
  }
  if (FStatus == kReadOnlyStatus) FileSetReadOnly(DestFile);
}

}  // namespace morvane

namespace morvane {

// ---- A document fed in pieces, in either form

struct TVRXUUDocumentReader::TState {
  enum class TPhase { FirstLine, BeforeBegin, Data, Ended };
  TPhase Phase = TPhase::FirstLine;
  int64_t Number = 0;  // lines taken so far
  std::string Line;    // the line being gathered, while it spans pieces
  std::string Data;    // checked data lines in the package's layout, not yet decoded
  TCommonLineCheck Check;
  std::unique_ptr<TVRXDecryptor> Decryptor;  // from the begin line on
};

TVRXUUDocumentReader::TVRXUUDocumentReader(TVRXUUCode& Code)
    : FCode(Code), FState(std::make_unique<TState>()) {}

TVRXUUDocumentReader::~TVRXUUDocumentReader() = default;

bool TVRXUUDocumentReader::BeginLineRead() const {
  return FState->Decryptor != nullptr;
}

void TVRXUUDocumentReader::Line(std::string_view Line) {
  TState& s = *FState;
  ++s.Number;
  using TPhase = TState::TPhase;
  if (s.Phase == TPhase::Data) {
    if (Line.ends_with('\r')) Line.remove_suffix(1);
    if (s.Check.Take(Line, s.Number, &s.Data) == TCommonLineCheck::TKind::End) {
      s.Phase = TPhase::Ended;
    }
    return;
  }
  // As DecryptString reads a document: a first line holding "begin " that is not in the form
  // of other tools is the package's begin line, read by position; otherwise the first line in
  // the form of other tools is.
  const bool first = s.Phase == TPhase::FirstLine;
  s.Phase = TPhase::BeforeBegin;
  const bool common = IsCommonBeginLine(Line);
  if (!common && !(first && Line.find(kBegin) != std::string_view::npos)) return;
  if (common && Line.ends_with('\r')) Line.remove_suffix(1);
  FCode.ReadBeginLine(Line);
  s.Decryptor = std::make_unique<TVRXDecryptor>(FCode, layoutStream);
  s.Phase = TPhase::Data;
}

void TVRXUUDocumentReader::Decode(std::string& Out) {
  TState& s = *FState;
  if (s.Data.empty() || s.Decryptor == nullptr) return;
  s.Decryptor->Update(s.Data, Out);
  s.Data.clear();
}

void TVRXUUDocumentReader::Update(std::span<const uint8_t> In, std::string& Out) {
  TState& s = *FState;
  std::string_view rest(reinterpret_cast<const char*>(In.data()), In.size());
  while (!rest.empty() && s.Phase != TState::TPhase::Ended) {
    const size_t lf = rest.find('\n');
    const std::string_view part = rest.substr(0, lf);
    if (s.Line.size() + part.size() > kMaxLineBytes) RefuseLongLine(s.Number + 1);
    if (lf == std::string_view::npos) {
      s.Line.append(part);
      break;
    }
    rest.remove_prefix(lf + 1);
    if (s.Line.empty()) {
      Line(part);
    } else {
      s.Line.append(part);
      Line(s.Line);
      s.Line.clear();
    }
  }
  Decode(Out);
}

void TVRXUUDocumentReader::Update(std::string_view In, std::string& Out) {
  Update(std::span(reinterpret_cast<const uint8_t*>(In.data()), In.size()), Out);
}

void TVRXUUDocumentReader::Finish(std::string& Out) {
  TState& s = *FState;
  // A last line without its line feed counts as a line, as the drivers read it.
  if (!s.Line.empty() && s.Phase != TState::TPhase::Ended) {
    Line(s.Line);
    s.Line.clear();
  }
  if (s.Decryptor == nullptr) throw EVRXUUError(kNoBeginLine);
  if (s.Phase != TState::TPhase::Ended) throw EVRXUUError(kNoEndLine);
  Decode(Out);
  s.Decryptor->Finish(Out);
}

}  // namespace morvane
