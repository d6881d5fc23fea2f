// Uuencoded documents in the forms other tools write, built here from the fuzzer's bytes and then
// damaged at a few places, read by the string and the file driver of the uuencode component.
//
// Forms: one or two blanks between mode and name, line ends LF, CR LF or mixed, mail text
// before the begin line, a signature after the end line, a zero-length line before "end",
// blank or backquote for a zero value. The oracle is a plain line-by-line reading of the
// document (DecodeLines below), written without the component's code:
// - a one-blank document decodes to what its lines say when they are well formed and is
//   refused otherwise, by both drivers alike: never a wrong byte without an error;
// - an undamaged document in the package's own form (two blanks, CR LF, nothing around it)
//   decodes to the payload with the name and mode it carries. Other two-blank documents take
//   the package's own path, which decodes by the layout's steps; they are only run here.
// - the document reader, fed the document in pieces, reads every form line by line: it decodes
//   to what the lines say or refuses, in either form, and reads an undamaged document whole;
// - the safe name never holds a directory part, a control byte, or a leading dot.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "morvane/encode/VRXUUCode.h"
#include "morvane/framework/Exceptions.h"

using namespace morvane;

namespace {

// The document of the current input, printed with the reason when a check fails.
std::string gDocument;

[[noreturn]] void Fail(const char* Why) {
  std::fprintf(stderr, "UUFormsFuzz: %s\ndocument (%zu bytes):\n", Why, gDocument.size());
  for (char c : gDocument) {
    const auto b = static_cast<uint8_t>(c);
    if (b == '\n' || (b >= 0x20 && b < 0x7F && b != '\\')) {
      std::fputc(c, stderr);
    } else {
      std::fprintf(stderr, "\\x%02X", b);
    }
  }
  std::fputc('\n', stderr);
  __builtin_trap();
}

std::string ScratchPath(const char* what) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/morvane-uuforms-" + std::to_string(getpid()) + what;
}

char Encode6(uint32_t v, bool blankZero) {
  v &= 63;
  if (v == 0) return blankZero ? ' ' : '`';
  return static_cast<char>(v + 32);
}

uint32_t Decode6(char c) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(c)) - 32) & 63;
}

// The data lines of Payload, 45 bytes a line, without line ends.
std::vector<std::string> DataLines(std::string_view Payload, bool BlankZero) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < Payload.size(); at += 45) {
    const std::string_view part = Payload.substr(at, 45);
    std::string line(1, Encode6(static_cast<uint32_t>(part.size()), BlankZero));
    for (size_t i = 0; i < part.size(); i += 3) {
      uint8_t b[3] = {0, 0, 0};
      for (size_t k = 0; k < 3 && i + k < part.size(); ++k)
        b[k] = static_cast<uint8_t>(part[i + k]);
      const uint32_t w = (uint32_t{b[0]} << 16) | (uint32_t{b[1]} << 8) | b[2];
      for (int shift = 18; shift >= 0; shift -= 6) line += Encode6(w >> shift, BlankZero);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

struct TDecoded {
  std::string Bytes;
};

// The document's data, read line by line from just after the begin line: each line holds a
// length character (0 to 45) and exactly four characters per three bytes, every character
// within 0x20..0x60; only the last data line may be short; a blank or zero-length line ends
// the data, after which only blank lines may come; "end" (blanks or tabs may follow) ends the
// document. Nothing when the lines break these rules.
std::optional<TDecoded> DecodeLines(std::string_view Rest) {
  TDecoded out;
  bool ended = false, shortSeen = false;
  while (true) {
    if (Rest.empty()) return std::nullopt;  // no end line
    const size_t lf = Rest.find('\n');
    std::string_view line = Rest.substr(0, lf);
    Rest = lf == std::string_view::npos ? std::string_view{} : Rest.substr(lf + 1);
    if (lf == std::string_view::npos && line.empty()) return std::nullopt;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.starts_with("end") && line.find_first_not_of(" \t", 3) == std::string_view::npos) {
      return out;
    }
    if (ended) {
      if (line.find_first_not_of(" \t`") != std::string_view::npos) return std::nullopt;
      continue;
    }
    if (line.empty()) {
      ended = true;
      continue;
    }
    const auto first = static_cast<uint8_t>(line[0]);
    if (first < 0x20 || first > 0x60) return std::nullopt;
    const uint32_t n = Decode6(line[0]);
    if (n == 0) {
      ended = true;
      continue;
    }
    if (n > 45 || shortSeen) return std::nullopt;
    const size_t chars = 4 * ((n + 2) / 3);
    if (line.size() - 1 != chars) return std::nullopt;
    for (size_t i = 1; i <= chars; ++i) {
      const auto c = static_cast<uint8_t>(line[i]);
      if (c < 0x20 || c > 0x60) return std::nullopt;
    }
    std::string bytes;
    for (size_t i = 1; i <= chars; i += 4) {
      const uint32_t w = Decode6(line[i]) << 18 | Decode6(line[i + 1]) << 12 |
                         Decode6(line[i + 2]) << 6 | Decode6(line[i + 3]);
      bytes += static_cast<char>(w >> 16);
      bytes += static_cast<char>(w >> 8);
      bytes += static_cast<char>(w);
    }
    out.Bytes.append(bytes, 0, n);
    shortSeen = n < 45;
  }
}

void CheckSafeName(const TVRXUUCode& uu) {
  const std::string safe = uu.GetSafeFileName();
  if (safe.size() > 255 || safe.starts_with('.')) Fail("the safe name is long or hidden");
  for (char c : safe) {
    const auto b = static_cast<uint8_t>(c);
    if (c == '/' || c == '\\' || c == ':' || b < 0x20 || b == 0x7F) {
      Fail("the safe name holds a directory part or a control byte");
    }
  }
}

struct TResult {
  bool Ok = false;
  std::string Bytes, FileName, Status;
};

// Runs Decode(component, bytes) on a fresh component; a refusal leaves Ok false.
template <class F>
TResult Decoded(int32_t BufferSize, F&& Decode) {
  TVRXUUCode uu;
  uu.SetBufferSize(BufferSize);
  TResult r;
  try {
    Decode(uu, r.Bytes);
    r.Ok = true;
  } catch (const Exception&) {
  }
  r.FileName = uu.GetFileName();
  r.Status = uu.GetStatus();
  CheckSafeName(uu);
  return r;
}

TResult FromString(const std::string& Document, int32_t BufferSize) {
  return Decoded(BufferSize,
                 [&](TVRXUUCode& uu, std::string& Bytes) { Bytes = uu.DecryptString(Document); });
}

TResult FromFile(const std::string& Document, int32_t BufferSize) {
  static const std::string source = ScratchPath(".uue");
  static const std::string dest = ScratchPath(".out");
  {
    std::ofstream f(source, std::ios::binary | std::ios::trunc);
    f.write(Document.data(), static_cast<std::streamsize>(Document.size()));
    if (!f) Fail("cannot write the scratch file");
  }
  std::remove(dest.c_str());
  TResult r = Decoded(BufferSize, [&](TVRXUUCode& uu, std::string& Bytes) {
    uu.DecryptFile(source, dest);
    std::ifstream f(dest, std::ios::binary);
    Bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  });
  std::remove(dest.c_str());
  return r;
}

TResult FromPieces(const std::string& Document, int32_t BufferSize, size_t Piece) {
  return Decoded(BufferSize, [&](TVRXUUCode& uu, std::string& Bytes) {
    TVRXUUDocumentReader reader(uu);
    for (size_t at = 0; at < Document.size(); at += Piece) {
      reader.Update(std::string_view(Document).substr(at, Piece), Bytes);
    }
    reader.Finish(Bytes);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const auto flags = in.ConsumeIntegral<uint16_t>();
  const bool twoBlanks = flags & 1;
  const bool lineFeeds = flags & 2;  // LF instead of CR LF
  const bool mixedEnds = flags & 4;  // each line end chosen by the line-end bytes
  const bool zeroLine = flags & 8;
  const bool blankZero = flags & 16;
  const bool viaFile = flags & 32;
  const int zeroForm = flags >> 6 & 3;  // "`", " ", or an empty line
  const size_t piece = flags >> 8;      // bytes fed at a time to the reader; 0: all at once
  const int32_t bufferSize = in.ConsumeBool() ? 1000 : in.ConsumeIntegralInRange<int32_t>(1, 5);
  const int modeDigits = twoBlanks ? 3 : in.ConsumeIntegralInRange<int>(1, 4);
  const auto modeValue = in.ConsumeIntegral<uint16_t>();
  const uint32_t lineEnds = in.ConsumeIntegral<uint32_t>();
  std::vector<std::pair<uint16_t, uint16_t>> damage(in.ConsumeIntegralInRange<size_t>(0, 3));
  for (auto& d : damage) {
    d.first = in.ConsumeIntegral<uint16_t>();   // where
    d.second = in.ConsumeIntegral<uint16_t>();  // low byte: value; high: delete/insert/replace
  }
  std::string name = in.ConsumeRandomLengthString(40);
  std::string leading = in.ConsumeRandomLengthString(80);
  const std::string trailing = in.ConsumeRandomLengthString(40);
  const std::string payload = in.ConsumeRemainingBytesAsString();

  // The name is the rest of the begin line: no line end in it, not empty (the package writes a
  // bare "begin " line then), and in the one-blank form not starting with a blank (it would
  // read as the package's two-blank form).
  std::erase_if(name, [](char c) { return c == '\n' || c == '\r'; });
  if (name.empty() || (!twoBlanks && name[0] == ' ')) name.insert(0, 1, 'n');
  // Mail text must not hold a begin line of its own.
  for (size_t at = 0; (at = leading.find("begin", at)) != std::string::npos;) leading[at] = 'B';
  if (!leading.empty() && !leading.ends_with('\n')) leading += '\n';

  std::string mode;
  for (int i = 0; i < modeDigits; ++i)
    mode.insert(0, 1, static_cast<char>('0' + (modeValue >> (3 * i) & 7)));
  size_t lineIndex = 0;
  auto end = [&]() -> std::string {
    const bool lf = mixedEnds ? (lineEnds >> (lineIndex++ % 32) & 1) != 0 : lineFeeds;
    return lf ? "\n" : "\r\n";
  };
  std::string document = leading;
  document += "begin " + mode + (twoBlanks ? "  " : " ") + name + end();
  const size_t dataFrom = document.size();
  for (const std::string& line : DataLines(payload, blankZero)) document += line + end();
  if (zeroLine) document += std::string(zeroForm == 0 ? "`" : zeroForm == 1 ? " " : "") + end();
  document += "end" + end();
  document += trailing;

  const bool crlfOnly = !lineFeeds && !mixedEnds;
  const bool ownForm = twoBlanks && crlfOnly && leading.empty() && trailing.empty() && !zeroLine;
  if (ownForm && payload.size() < 4096) {
    // The generator writes the package's own documents byte for byte.
    TVRXUUCode encoder;
    encoder.SetFileName(name);
    encoder.SetStatus(mode + "  ");
    gDocument = document;
    if (!blankZero && encoder.EncryptString(payload) != document) {
      Fail("the generator and the encoder differ on the package's own form");
    }
  }

  for (const auto& [where, what] : damage) {
    const size_t span = document.size() - dataFrom;
    const size_t at = dataFrom + (span == 0 ? 0 : where % (span + 1));
    const auto value = static_cast<char>(what & 0xFF);
    switch (what >> 8 & 3) {
      case 0:
        if (at < document.size()) document.erase(at, 1);
        break;
      case 1:
        document.insert(at, 1, value);
        break;
      default:
        if (at < document.size()) document[at] = value;
        break;
    }
  }
  const bool damaged = !damage.empty();

  const std::optional<TDecoded> reference =
      DecodeLines(std::string_view(document).substr(dataFrom));
  std::string status = mode;
  if (!twoBlanks && mode.size() == 4 && mode[0] == '0') status.erase(0, 1);
  status.resize(5, ' ');

  gDocument = document;
  auto check = [&](const TResult& r) {
    if (!twoBlanks) {
      if (r.Ok && !reference) Fail("accepted a document whose lines are malformed");
      if (!r.Ok && reference) Fail("refused well-formed lines");
      if (r.Ok && r.Bytes != reference->Bytes) Fail("decoded other bytes than the lines hold");
    }
    if (!damaged && (ownForm || !twoBlanks)) {
      if (!r.Ok) Fail("refused a well-formed document");
      if (r.Bytes != payload || r.FileName != name || r.Status != status) {
        Fail("a well-formed document gave other bytes, name or mode");
      }
    }
  };
  const TResult fromString = FromString(document, bufferSize);
  check(fromString);
  if (viaFile) {
    const TResult fromFile = FromFile(document, bufferSize);
    check(fromFile);
    if (!twoBlanks && (fromFile.Ok != fromString.Ok || fromFile.FileName != fromString.FileName ||
                       fromFile.Status != fromString.Status)) {
      Fail("the string and the file driver disagree");
    }
  }
  // The reader takes a two-blank begin line only as the first line, as the string driver does.
  if (!twoBlanks || leading.empty()) {
    const TResult fromPieces =
        FromPieces(document, bufferSize, piece == 0 ? document.size() + 1 : piece);
    if (fromPieces.Ok != reference.has_value()) {
      Fail(fromPieces.Ok ? "the reader accepted malformed lines" : "the reader refused good lines");
    }
    if (fromPieces.Ok && fromPieces.Bytes != reference->Bytes) {
      Fail("the reader decoded other bytes than the lines hold");
    }
    if (!damaged && (fromPieces.Bytes != payload || fromPieces.FileName != name ||
                     fromPieces.Status != status)) {
      Fail("the reader gave a well-formed document other bytes, name or mode");
    }
  }
  return 0;
}
