#include "support/Families.h"

#include <fstream>
#include <iterator>

#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/encode/VRXBase64.h"
#include "morvane/encode/VRXUUCode.h"
#include "morvane/framework/Streams.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"

namespace morvane::test {

namespace {

constexpr int32_t kTwinBufferSize = 1000;

// A block cipher of type T with an IV of Words words.
template <class T, int32_t Words>
TFamily BlockCipher(std::string name, std::vector<TCipherMode> modes, int32_t block) {
  TFamily f;
  f.name = std::move(name);
  f.kind = fkBlockCipher;
  f.modes = std::move(modes);
  f.plainBlock = block;
  f.cipherBlock = block;
  f.leading = block;
  f.make = [] { return std::make_unique<T>(); };
  f.configure = [](TCustomVRXCipher& c, const TRecipe& r) {
    c.SetKey(r.key);
    c.SetMode(r.mode);
    if constexpr (requires(T & t) { t.SetNumRounds(16); }) {
      static_cast<T&>(c).SetNumRounds(r.rounds);
    }
  };
  f.copyState = [](const TCustomVRXCipher& from, TCustomVRXCipher& to) {
    for (int32_t i = 0; i < Words; ++i) {
      static_cast<T&>(to).SetIV(i, static_cast<const T&>(from).GetIV(i));
    }
  };
  f.isWeak = [](const TCustomVRXCipher& c) {
    if constexpr (requires(const T& t) { t.IsWeakKey(); }) {
      return static_cast<const T&>(c).IsWeakKey();
    } else {
      return c.GetKey().empty();
    }
  };
  return f;
}

// A text encoder: no key, no mode, nothing carried from run to run that shapes its output.
template <class T>
TFamily Encoder(std::string name, int32_t plainBlock, int32_t cipherBlock) {
  TFamily f;
  f.name = std::move(name);
  f.kind = fkEncoder;
  f.modes = {cipherECB};
  f.plainBlock = plainBlock;
  f.cipherBlock = cipherBlock;
  f.make = [] { return std::make_unique<T>(); };
  f.configure = [](TCustomVRXCipher&, const TRecipe&) {};
  f.isWeak = [](const TCustomVRXCipher&) { return false; };
  return f;
}

// A digest: encryption only, over 64-byte blocks, nothing carried from run to run.
template <class T>
TFamily Digest(std::string name) {
  TFamily f = Encoder<T>(std::move(name), 64, 64);
  f.kind = fkDigest;
  return f;
}

}  // namespace

std::unique_ptr<TCustomVRXCipher> TFamily::Twin(const TRecipe& recipe,
                                                const TCustomVRXCipher* Like) const {
  auto c = make();
  configure(*c, recipe);
  if (Like != nullptr && copyState) copyState(*Like, *c);
  c->SetBufferSize(kTwinBufferSize);
  return c;
}

std::string TFamily::EncryptedStream(const TRecipe& recipe, const std::string& Source,
                                     const TCustomVRXCipher* Like) const {
  auto c = Twin(recipe, Like);
  TReadOnlyMemoryStream source(Source);
  TMemoryStream dest;
  c->EncryptStream(source, dest, static_cast<int32_t>(Source.size()));
  return dest.TakeData();
}

std::string TFamily::DecryptedStream(const TRecipe& recipe, const std::string& Encrypted) const {
  auto c = Twin(recipe);
  TReadOnlyMemoryStream source(Encrypted);
  TMemoryStream dest;
  c->DecryptStream(source, dest, static_cast<int32_t>(Encrypted.size()));
  return dest.TakeData();
}

const std::vector<TFamily>& Families() {
  static const std::vector<TFamily> families = [] {
    const std::vector<TCipherMode> all = {cipherECB, cipherCBC, cipherCFB, cipherOFB, cipherPCBC};
    std::vector<TFamily> f;
    f.push_back(BlockCipher<TVRXBlowFish, 2>("Blowfish", all, 8));
    f.push_back(BlockCipher<TVRXDES, 2>("DES", {cipherECB, cipherCBC, cipherPCBC}, 8));
    f.push_back(BlockCipher<TVRXTwoFish, 4>("Twofish", all, 16));
    f.push_back(Encoder<TVRXBase64>("Base64", 3, 4));
    f.push_back(Encoder<TVRXUUCode>("UUCode", 45, 63));
    f.push_back(Digest<TVRXMD5>("MD5"));
    f.push_back(Digest<TVRXSHA>("SHA1"));
    f.push_back(Digest<TVRXRIPEMD160>("RIPEMD160"));
    f.push_back(Digest<TVRXRIPEMD128>("RIPEMD128"));
    return f;
  }();
  return families;
}

std::string ReadFileBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& Path, const std::string& Bytes) {
  std::ofstream(Path, std::ios::binary) << Bytes;
}

}  // namespace morvane::test
