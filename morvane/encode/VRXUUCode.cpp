#include "morvane/encode/VRXUUCode.h"

#include <algorithm>

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

constexpr uint8_t Char(uint32_t Value) {
  return static_cast<uint8_t>(Value == 0 ? 0x60 : Value + 32);
}
constexpr uint32_t Value(uint8_t C) {
  return static_cast<uint32_t>(C - 32) & 63;
}

}  // namespace

TVRXUUCode::TVRXUUCode(TComponent* AOwner) : TCustomVRXCipher(AOwner) {
  FPlainBlockSize = kLineBytes;
  FCipherBlockSize = kLineChars;
  // A damaged line may claim up to 63 bytes; a short document still decodes it as its chunk
  // would, into an output chunk of BufferSize lines.
  FFullDecryptionOutput = true;
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

void TVRXUUCode::DecodeLineBytewise(int32_t& Count) {
  const uint32_t length = Value(ExtractByte(btCipherText));
  Count -= 1;
  // A line that runs past its chunk while more data follows, or that gives more bytes than the
  // chunk holds, cannot come from the encoder; it would take bytes that do not belong to it.
  const int32_t need = 4 * static_cast<int32_t>((length + 2) / 3) + 2;
  const int32_t inChunk = FBufferFill[btCipherText] - FBufferPos[btCipherText];
  const bool moreData = FDataSize[btCipherText] - FDataPos[btCipherText] > inChunk;
  if ((need > inChunk && moreData) ||
      static_cast<int32_t>(length) > FBufferRoom[btPlainText] - FBufferPos[btPlainText]) {
    throw EVRXUUError(kMalformedLine);
  }
  for (auto k = static_cast<int32_t>(length); k > 0; k -= 3) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 6 | Value(ExtractByte(btCipherText));
    InsertByte(btPlainText, static_cast<uint8_t>(v >> 16));
    if (k >= 2) InsertByte(btPlainText, static_cast<uint8_t>(v >> 8));
    if (k >= 3) InsertByte(btPlainText, static_cast<uint8_t>(v));
    Count -= 4;
  }
  // The line end, not checked.
  ExtractByte(btCipherText);
  ExtractByte(btCipherText);
  Count -= 2;
}

void TVRXUUCode::DecryptBuffer() {
  const auto& kernels = detail::ActiveEncodeKernels();
  int32_t n = FBufferFill[btCipherText];
  while (n > 0) {
    const int32_t room = FBufferRoom[btPlainText] - FBufferPos[btPlainText];
    const int32_t lines = std::min(DirectBytes(btCipherText) / kLineChars, room / kLineBytes);
    if (lines > 0) {
      const auto done = static_cast<int32_t>(kernels.UUDecodeLines(
          FBuffer[btCipherText] + FBufferPos[btCipherText], static_cast<size_t>(lines),
          FBuffer[btPlainText] + FBufferPos[btPlainText]));
      TakeDirect(btCipherText, kLineChars * done);
      PutDirect(btPlainText, kLineBytes * done);
      n -= kLineChars * done;
      if (n <= 0) break;
    }
    DecodeLineBytewise(n);
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
  if (Line.size() <= 8) return;
  // Positions count from the start of the line, wherever "begin " stands in it.
  FStatus = Line.substr(6, 5);
  std::string rest = ToEnd(Line, 12);
  std::string name;
  ExtractTo(name, rest, '\r');
  FFileName = std::move(name);
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
  ReadBeginLine(line);
  if (rest.size() < 5 || rest.substr(rest.size() - std::min<size_t>(rest.size(), 6)).find("end") ==
                             std::string_view::npos) {
    throw EVRXUUError(kNoEndLine);
  }
  const std::string_view data = rest.substr(0, rest.size() - 5);
  TReadOnlyMemoryStream source(data);
  std::string bytes;
  bytes.reserve(data.size() / kLineChars * kLineBytes + kLineBytes);
  TMemoryStream dest(std::move(bytes));
  DecryptStream(source, dest, static_cast<int32_t>(data.size()));
  return dest.TakeData();
}

// ---- Files

void TVRXUUCode::EncryptFile(const std::string& SourceFile, const std::string& DestFile) {
  CheckDistinctFiles(SourceFile, DestFile);
  TFileStream source(SourceFile, fmOpenReadShared);
  const int64_t n = source.GetSize();
  CheckLayoutSize(n, "source file");
  TFileStream dest(DestFile, fmCreate);
  const std::string begin = BeginLine();
  dest.WriteBuffer(begin.data(), static_cast<int32_t>(begin.size()));
  EncryptStream(source, dest, static_cast<int32_t>(n));
  // A run that raised (a cancel) leaves the document without its end line.
  dest.Seek(dest.GetSize());
  dest.WriteBuffer(kEndLine.data(), static_cast<int32_t>(kEndLine.size()));
}

void TVRXUUCode::DecryptFile(const std::string& SourceFile, const std::string& DestFile) {
  CheckDistinctFiles(SourceFile, DestFile);
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
    ReadBeginLine(line);
    char tail[5];
    const auto tailSize = static_cast<int32_t>(std::min<int64_t>(size, 5));
    f.Seek(size - tailSize);
    f.BlockRead(tail, tailSize);
    // A document too short to hold data between its begin line and the last five bytes has
    // lost its end line, even when "end" stands inside the begin line.
    count = size - static_cast<int64_t>(line.size()) - 5;
    if (std::string_view(tail, static_cast<size_t>(tailSize)).find("end") ==
            std::string_view::npos ||
        count < 0) {
      throw EVRXUUError(kNoEndLine);
    }
  }
  {
    TFileStream source(SourceFile, fmOpenReadShared);
    source.Seek(static_cast<int64_t>(line.size()));
    TFileStream dest(DestFile, fmCreate);
    DecryptStream(source, dest, static_cast<int32_t>(count));
  }
  if (FStatus == kReadOnlyStatus) FileSetReadOnly(DestFile);
}

}  // namespace morvane
