// Decoding of arbitrary text by the Base64 and uuencode components, through the string driver
// with any chunk size and through the stream driver with any size argument. Only the package's
// and the framework's exceptions may come out; what decodes must decode the same with every
// chunk size, and must come back from encoding unchanged.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "morvane/encode/VRXBase64.h"
#include "morvane/encode/VRXUUCode.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"

using namespace morvane;

namespace {

std::unique_ptr<TCustomVRXCipher> MakeCodec(bool uu) {
  if (uu) return std::make_unique<TVRXUUCode>();
  return std::make_unique<TVRXBase64>();
}

std::optional<std::string> TryDecode(TCustomVRXCipher& c, const std::string& text) {
  try {
    return c.DecryptString(text);
  } catch (const Exception&) {
    return std::nullopt;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool uu = (data[0] & 1) != 0;
  const int32_t bufferSize = data[1] % 18 == 17 ? 1000 : 1 + data[1] % 18;
  const int32_t sizeSkew = static_cast<int8_t>(data[2]);
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);

  auto c = MakeCodec(uu);
  c->SetBufferSize(bufferSize);
  const std::optional<std::string> decoded = TryDecode(*c, text);
  auto reference = MakeCodec(uu);
  const std::optional<std::string> expected = TryDecode(*reference, text);
  // Base64 groups never straddle chunks: the chunk size cannot change the outcome. A uuencoded
  // line that straddles a chunk is refused, so there only successes must agree.
  if (!uu && decoded.has_value() != expected.has_value()) __builtin_trap();
  if (decoded && expected && *decoded != *expected) __builtin_trap();

  if (decoded) {
    const std::string again = c->EncryptString(*decoded);
    if (c->DecryptString(again) != *decoded) __builtin_trap();
  }

  try {
    TReadOnlyMemoryStream source(text);
    TMemoryStream dest;
    c->DecryptStream(source, dest, static_cast<int32_t>(text.size()) + sizeSkew);
  } catch (const Exception&) {
  }

  // The component still works after whatever happened.
  const std::string plain = "fuzz";
  if (c->DecryptString(c->EncryptString(plain)) != plain) __builtin_trap();
  return 0;
}
