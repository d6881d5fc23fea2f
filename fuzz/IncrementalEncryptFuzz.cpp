// A message fed to TVRXEncryptor in arbitrary pieces against the drivers of the same component:
// every block cipher (any key, mode, IV, Twofish rounds), Base64 and uuencode; the stream and
// the file layout; any BufferSize and cancel point. The bytes and the progress calls must be the
// driver's (EncryptStream, EncryptFile), and the result must decrypt to the message through the
// driver and through TVRXDecryptor fed in other pieces.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "morvane/cipher/VRXIncremental.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"

using namespace morvane;
using namespace morvane::fuzz;

namespace {

struct TRun {
  std::optional<std::string> Bytes;  // nothing when cancelled
  TProgressLog Log;
};

TRun DriverEncrypt(TCustomVRXCipher& C, TCipherLayout Layout, const std::string& Message,
                   size_t CancelAt) {
  TRun r;
  r.Log.CancelAt = CancelAt;
  C.SetOnProgress(r.Log.Handler());
  try {
    if (Layout == layoutStream) {
      TReadOnlyMemoryStream source(Message);
      TMemoryStream dest;
      C.EncryptStream(source, dest, static_cast<int32_t>(Message.size()));
      r.Bytes = dest.Data();
    } else {
      static const std::string source = ScratchPath(".plain");
      static const std::string dest = ScratchPath(".enc");
      WriteFile(source, Message);
      C.EncryptFile(source, dest);
      r.Bytes = ReadFile(dest);
      std::remove(dest.c_str());
    }
  } catch (const EVRXEncryptCancel&) {
  }
  C.SetOnProgress(nullptr);
  return r;
}

TRun IncrementalEncrypt(TCustomVRXCipher& C, TCipherLayout Layout, const std::string& Message,
                        const TPieces& Pieces, size_t CancelAt) {
  TRun r;
  r.Log.CancelAt = CancelAt;
  C.SetOnProgress(r.Log.Handler());
  try {
    TVRXEncryptor enc(C, Layout);
    std::string out;
    Pieces.Each(Message, [&](std::string_view piece) { enc.Update(piece, out); });
    if (enc.GetLength() != Message.size()) __builtin_trap();
    enc.Finish(out);
    r.Bytes = std::move(out);
  } catch (const EVRXEncryptCancel&) {
  }
  C.SetOnProgress(nullptr);
  return r;
}

std::string DriverDecrypt(TCustomVRXCipher& C, TCipherLayout Layout, const std::string& Bytes) {
  if (Layout == layoutStream) {
    TReadOnlyMemoryStream source(Bytes);
    TMemoryStream dest;
    C.DecryptStream(source, dest, static_cast<int32_t>(Bytes.size()));
    return dest.Data();
  }
  static const std::string source = ScratchPath(".enc2");
  static const std::string dest = ScratchPath(".dec");
  WriteFile(source, Bytes);
  C.DecryptFile(source, dest);
  std::string out = ReadFile(dest);
  std::remove(dest.c_str());
  return out;
}

std::string IncrementalDecrypt(TCustomVRXCipher& C, TCipherLayout Layout, const std::string& Bytes,
                               const TPieces& Pieces) {
  TVRXDecryptor dec(C, Layout);
  std::string out;
  Pieces.Each(Bytes, [&](std::string_view piece) { dec.Update(piece, out); });
  dec.Finish(out);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const TSetup setup = TSetup::Draw(in);
  const TCipherLayout layout = in.ConsumeBool() ? layoutFile : layoutStream;
  const size_t cancelAt = in.ConsumeBool() ? in.ConsumeIntegralInRange<size_t>(1, 20) : 0;
  const TPieces pieces = TPieces::Draw(in);
  const TPieces otherPieces = TPieces::Draw(in);
  const size_t repeat = in.ConsumeIntegralInRange<size_t>(1, 8);
  const std::string unit = in.ConsumeRemainingBytesAsString();
  std::string message;
  for (size_t i = 0; i < repeat; ++i) message += unit;

  auto driver = setup.Make();
  auto incremental = setup.Make();
  if (!driver || !incremental) return 0;
  const TRun expected = DriverEncrypt(*driver, layout, message, cancelAt);
  const TRun got = IncrementalEncrypt(*incremental, layout, message, pieces, cancelAt);
  if (got.Log.Calls != expected.Log.Calls) __builtin_trap();
  if (got.Bytes.has_value() != expected.Bytes.has_value()) __builtin_trap();
  if (!got.Bytes) return 0;
  if (*got.Bytes != *expected.Bytes) __builtin_trap();

  // What the stream layout gives back: a cipher's whole blocks, the padding included.
  std::string plain = message;
  if (setup.IsCipher() && layout == layoutStream) {
    const size_t block = static_cast<size_t>(setup.Block());
    plain.resize(std::max<size_t>(1, (plain.size() + block - 1) / block) * block, '\0');
  }
  auto byDriver = setup.Make();
  if (DriverDecrypt(*byDriver, layout, *got.Bytes) != plain) __builtin_trap();
  auto byDecryptor = setup.Make();
  if (IncrementalDecrypt(*byDecryptor, layout, *got.Bytes, otherPieces) != plain) __builtin_trap();
  return 0;
}
