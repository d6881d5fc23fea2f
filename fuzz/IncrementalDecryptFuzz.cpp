// Decryption of arbitrary bytes through the driver (DecryptStream, DecryptFile) and through
// TVRXDecryptor fed in arbitrary pieces, for every block cipher, Base64 and uuencode, in the
// stream and the file layout. The input is either the fuzzer's bytes as they are or a message
// the driver encrypted, then damaged at a few places. Both paths must accept exactly the same
// inputs, give the same plaintext and make the same progress calls; what a cipher accepts must
// have a valid layout: whole blocks after the IV, at least one, and in the file layout a recorded
// size that those blocks hold exactly.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "morvane/cipher/VRXIncremental.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"

using namespace morvane;
using namespace morvane::fuzz;

namespace {

struct TResult {
  std::optional<std::string> Plain;  // nothing when refused
  TProgressLog Log;
};

TResult ByDriver(TCustomVRXCipher& C, TCipherLayout Layout, const std::string& Bytes) {
  TResult r;
  C.SetOnProgress(r.Log.Handler());
  try {
    if (Layout == layoutStream) {
      TReadOnlyMemoryStream source(Bytes);
      TMemoryStream dest;
      C.DecryptStream(source, dest, static_cast<int32_t>(Bytes.size()));
      r.Plain = dest.Data();
    } else {
      static const std::string source = ScratchPath(".in");
      static const std::string dest = ScratchPath(".out");
      WriteFile(source, Bytes);
      std::remove(dest.c_str());
      C.DecryptFile(source, dest);
      r.Plain = ReadFile(dest);
      std::remove(dest.c_str());
    }
  } catch (const Exception&) {
  }
  return r;
}

TResult ByDecryptor(TCustomVRXCipher& C, TCipherLayout Layout, const std::string& Bytes,
                    const TPieces& Pieces) {
  TResult r;
  C.SetOnProgress(r.Log.Handler());
  try {
    TVRXDecryptor dec(C, Layout);
    std::string out;
    Pieces.Each(Bytes, [&](std::string_view piece) { dec.Update(piece, out); });
    dec.Finish(out);
    r.Plain = std::move(out);
  } catch (const Exception&) {
  }
  return r;
}

// Says what went wrong and on which input, then stops.
[[noreturn]] void Fail(const char* Why, const TSetup& Setup, TCipherLayout Layout,
                       const std::string& Bytes, const TResult& Driver, const TResult& Decryptor) {
  std::fprintf(stderr,
               "IncrementalDecryptFuzz: %s\nkind %d mode %d rounds %d BufferSize %d layout %s; "
               "driver %s, decryptor %s; input (%zu bytes):",
               Why, Setup.Kind, static_cast<int>(Setup.Mode), Setup.Rounds, Setup.BufferSize,
               Layout == layoutFile ? "file" : "stream", Driver.Plain ? "accepts" : "refuses",
               Decryptor.Plain ? "accepts" : "refuses", Bytes.size());
  for (char c : Bytes) std::fprintf(stderr, " %02X", static_cast<uint8_t>(c));
  std::fputc('\n', stderr);
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const TSetup setup = TSetup::Draw(in);
  const TCipherLayout layout = in.ConsumeBool() ? layoutFile : layoutStream;
  const TPieces pieces = TPieces::Draw(in);
  const bool damageValid = in.ConsumeBool();
  std::vector<std::pair<uint16_t, uint16_t>> damage(in.ConsumeIntegralInRange<size_t>(0, 3));
  for (auto& d : damage) {
    d.first = in.ConsumeIntegral<uint16_t>();   // where
    d.second = in.ConsumeIntegral<uint16_t>();  // low byte: value; high: delete/insert/replace
  }
  std::string bytes = in.ConsumeRemainingBytesAsString();

  auto driver = setup.Make();
  auto incremental = setup.Make();
  if (!driver || !incremental) return 0;
  if (damageValid) {
    // A valid layout of the fuzzer's bytes, then damaged.
    auto encoder = setup.Make();
    TVRXEncryptor enc(*encoder, layout);
    std::string out;
    enc.Update(bytes, out);
    enc.Finish(out);
    bytes = std::move(out);
    for (const auto& [where, what] : damage) {
      const size_t at = where % (bytes.size() + 1);
      switch (what >> 8 & 3) {
        case 0:
          if (at < bytes.size()) bytes.erase(at, 1);
          break;
        case 1:
          bytes.insert(at, 1, static_cast<char>(what));
          break;
        default:
          if (at < bytes.size()) bytes[at] = static_cast<char>(what);
          break;
      }
    }
  }

  const TResult expected = ByDriver(*driver, layout, bytes);
  const TResult got = ByDecryptor(*incremental, layout, bytes, pieces);
  auto fail = [&](const char* why) { Fail(why, setup, layout, bytes, expected, got); };
  // A uuencoded document in other tools' forms is read by DecryptFile only: TVRXDecryptor
  // refuses it (it needs the whole document). Whatever the decryptor accepts, the driver must.
  const bool driverReadsMore = setup.Kind == 4 && layout == layoutFile;
  if (got.Plain.has_value() != expected.Plain.has_value() && !(driverReadsMore && expected.Plain)) {
    fail("the paths disagree on accepting");
  }
  if (!got.Plain) return 0;
  if (*got.Plain != *expected.Plain) fail("the paths give different plaintext");
  if (got.Log.Calls != expected.Log.Calls) fail("the paths make different progress calls");
  if (setup.IsCipher()) {
    // Whole blocks after the IV, at least one; a file's trailer records a size those blocks
    // hold: max(1, ceil(n / block)) of them, and the plaintext is that size.
    const auto block = static_cast<size_t>(setup.Block());
    const size_t trailer = layout == layoutFile ? 4 : 0;
    if (bytes.size() < block + block + trailer) fail("accepted less than the IV and a block");
    const size_t body = bytes.size() - block - trailer;
    if (body % block != 0) fail("accepted a body of partial blocks");
    if (layout == layoutFile) {
      const auto* t = reinterpret_cast<const uint8_t*>(bytes.data() + bytes.size() - 4);
      const uint32_t n = t[0] | t[1] << 8 | t[2] << 16 | static_cast<uint32_t>(t[3]) << 24;
      const size_t blocks = std::max<size_t>(1, (n + block - 1) / block);
      if (n > INT32_MAX || blocks != body / block || got.Plain->size() != n) {
        fail("accepted a file whose trailer disagrees with its blocks");
      }
    }
  }

  return 0;
}
