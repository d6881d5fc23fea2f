// A message fed to TVRXDigester in arbitrary pieces, with any BufferSize, against the drivers of
// the same digest component: the raw digest must equal EncryptString's, and the progress calls
// (their values and where a cancel lands) must be those of EncryptStream for the same message.
//
// Input: FuzzedDataProvider takes the digest, BufferSize, the cancel point and the piece lengths
// from the end of the data; the message is what is left at the front.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "morvane/cipher/VRXCipherConst.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"
#include "morvane/hash/VRXDigest.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"

using namespace morvane;
using morvane::fuzz::TProgressLog;

namespace {

std::unique_ptr<TCustomVRXHash> MakeDigest(uint8_t which) {
  switch (which % 4) {
    case 0:
      return std::make_unique<TVRXMD5>();
    case 1:
      return std::make_unique<TVRXSHA>();
    case 2:
      return std::make_unique<TVRXRIPEMD160>();
    default:
      return std::make_unique<TVRXRIPEMD128>();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint8_t which = in.ConsumeIntegral<uint8_t>();
  const int32_t bufferSize = in.ConsumeIntegralInRange<int32_t>(1, 9);
  const size_t cancelAt = in.ConsumeBool() ? in.ConsumeIntegralInRange<size_t>(1, 40) : 0;
  std::vector<size_t> pieces(in.ConsumeIntegralInRange<size_t>(0, 12));
  for (size_t& p : pieces) p = in.ConsumeIntegralInRange<size_t>(0, 200);
  // A repeat count lets a short input reach many chunks of the drivers.
  const size_t repeat = in.ConsumeIntegralInRange<size_t>(1, 8);
  const std::string unit = in.ConsumeRemainingBytesAsString();
  std::string message;
  for (size_t i = 0; i < repeat; ++i) message += unit;

  auto driver = MakeDigest(which);
  driver->SetBufferSize(bufferSize);
  TProgressLog driverLog;
  driverLog.CancelAt = cancelAt;
  driver->SetOnProgress(driverLog.Handler());
  std::string expected;
  bool driverCancelled = false;
  try {
    TReadOnlyMemoryStream source(message);
    TMemoryStream dest;
    driver->EncryptStream(source, dest, static_cast<int32_t>(message.size()));
    expected = dest.Data();
  } catch (const EVRXEncryptCancel&) {
    driverCancelled = true;
  }
  if (!driverCancelled) {
    driver->SetOnProgress(nullptr);
    if (driver->EncryptString(message) != expected) __builtin_trap();
  }

  auto incremental = MakeDigest(which);
  incremental->SetBufferSize(bufferSize);
  TProgressLog log;
  log.CancelAt = cancelAt;
  incremental->SetOnProgress(log.Handler());
  std::string digest;
  bool cancelled = false;
  try {
    TVRXDigester digester(*incremental);
    size_t at = 0;
    for (size_t p : pieces) {
      const size_t n = std::min(p, message.size() - at);
      digester.Update(std::string_view(message).substr(at, n));
      at += n;
    }
    digester.Update(std::string_view(message).substr(at));
    if (digester.GetLength() != message.size()) __builtin_trap();
    digest = digester.Finish();
  } catch (const EVRXEncryptCancel&) {
    cancelled = true;
  }
  if (cancelled != driverCancelled || log.Calls != driverLog.Calls) __builtin_trap();
  if (!cancelled && digest != expected) __builtin_trap();
  return 0;
}
