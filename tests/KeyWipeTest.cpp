// Keys, key schedules and generator states are wiped when they are replaced and when their
// component is destroyed.
//
// Two observers: this program replaces the global operator delete, so every heap block the
// library frees can be searched for bytes of a watched key before it goes; and components are
// built into a buffer of this test's own, so that the buffer can be read after the destructor
// has run. Which words of a component are secret is found by building it twice with different
// keys: the words that differ hold the key, the schedule or state derived from it (or the
// pointer to the key's heap block, which is left out).
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/framework/Streams.h"
#include "morvane/random/VRXIsaac.h"
#include "morvane/random/VRXMT19937B.h"
#include "support/Families.h"
#include "support/Vectors.h"

using namespace morvane;
using morvane::test::Families;
using morvane::test::RandomBytes;
using morvane::test::TempPath;
using morvane::test::TFamily;

// ---- The heap observer

namespace {

constexpr size_t kWindow = 8;  // a freed block holding 8 consecutive key bytes is a leak

std::atomic<bool> gWatching{false};
char gSecret[128];
size_t gSecretLength = 0;
std::atomic<int> gHits{0};

void Inspect(const void* p, size_t n) noexcept {
  if (!gWatching.load(std::memory_order_relaxed) || p == nullptr || gSecretLength < kWindow) {
    return;
  }
  for (size_t i = 0; i + kWindow <= gSecretLength; ++i) {
    if (memmem(p, n, gSecret + i, kWindow) != nullptr) {
      ++gHits;
      return;
    }
  }
}

// Watches the bytes of Secret from construction to destruction; Hits() counts the freed blocks
// that still held a piece of them.
class TWatch {
 public:
  explicit TWatch(const std::string& Secret) {
    gSecretLength = std::min(Secret.size(), sizeof gSecret);
    std::memcpy(gSecret, Secret.data(), gSecretLength);
    gHits = 0;
    gWatching = true;
  }
  ~TWatch() { gWatching = false; }
  int Hits() const { return gHits.load(); }
};

}  // namespace

// The blocks come from malloc and go back to free, whichever operator handles them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  if (p != nullptr) Inspect(p, malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p, size_t n) noexcept {
  Inspect(p, n);
  std::free(p);
}
#pragma GCC diagnostic pop

namespace {

std::string Key(size_t n, uint64_t seed) {
  std::string k = RandomBytes(n, seed);
  // Keys the ciphers accept: never empty or white space only.
  k[0] = 'K';
  return k;
}

// The observer works, through the library as well: a string the framework frees unwiped is
// seen.
TEST(KeyWipe, HeapObserverSeesUnwipedBlocks) {
  const std::string secret = Key(40, 1);
  TWatch watch(secret);
  { TMemoryStream stream(secret + secret); }
  EXPECT_GE(watch.Hits(), 1);
}

// Every way a key is replaced wipes the old bytes before their block is freed, and so does the
// destructor.
TEST(KeyWipe, ReplacedAndDestroyedKeysLeaveNoHeapCopy) {
  for (const TFamily& f : Families()) {
    SCOPED_TRACE(f.name);
    const std::string plain = RandomBytes(3000, 2);
    const std::string source = TempPath(f.name + ".wipe.src");
    test::WriteFileBytes(source, plain);
    for (size_t length : {20, 40, 56, 80}) {
      const std::string first = Key(length, length);
      TWatch watch(first);
      {
        auto c = f.make();
        c->SetKey(first);
        const std::string encrypted = c->EncryptString(plain);
        if (f.kind != test::fkDigest) {
          EXPECT_EQ(c->DecryptString(encrypted), plain);
        }
        c->EncryptFile(source, TempPath(f.name + ".wipe.enc"));
        c->SetKey(Key(length, 99));  // replaced by another key
        c->EncryptString(plain);
        c->SetKey(first);
        c->EncryptString(plain);
        c->SetKeyLength(static_cast<int32_t>(length) + 50);  // grown: the key moves
        c->EncryptString(plain);
        c->SetKey(first);
        c->SetKeyLength(9);  // cut
        c->EncryptString(plain);
        c->SetKey(first);
        c->SetKeyByte(3, 0x55);
        c->EncryptString(plain);
      }  // destroyed with the last key still set
      EXPECT_EQ(watch.Hits(), 0) << "key of " << length << " bytes";
    }
  }
}

// ---- The buffer observer

using TBytes = std::vector<uint8_t>;

// A component of type T built into storage of this test, so that its bytes can be read at any
// time, before and after its destructor.
template <class T>
class TPlaced {
 public:
  T& Make() {
    FObject = new (FStorage) T();
    return *FObject;
  }
  void Destroy() {
    FObject->~T();
    FObject = nullptr;
  }
  TBytes Bytes() const {
    TBytes b(sizeof(T));
    std::memcpy(b.data(), FStorage, sizeof(T));
    return b;
  }
  // The offset of an aligned pointer-sized slot holding Address, or -1.
  ptrdiff_t SlotOf(const void* Address) const {
    const auto value = reinterpret_cast<uintptr_t>(Address);
    for (size_t i = 0; i + sizeof value <= sizeof(T); i += sizeof value) {
      if (std::memcmp(FStorage + i, &value, sizeof value) == 0) return static_cast<ptrdiff_t>(i);
    }
    return -1;
  }

 private:
  alignas(T) unsigned char FStorage[sizeof(T)];
  T* FObject = nullptr;
};

uint32_t WordAt(const TBytes& b, size_t i) {
  uint32_t w;
  std::memcpy(&w, b.data() + i, 4);
  return w;
}

struct TSecretWords {
  std::vector<size_t> offsets;  // 4-byte words that depend on the key
};

// The words where two states built from different keys differ, but for the slots in Skip.
TSecretWords SecretWords(const TBytes& a, const TBytes& b, const std::vector<ptrdiff_t>& skip) {
  TSecretWords s;
  for (size_t i = 0; i + 4 <= a.size(); i += 4) {
    bool skipped = false;
    for (ptrdiff_t slot : skip) {
      if (slot >= 0 && i >= static_cast<size_t>(slot) && i < static_cast<size_t>(slot) + 8) {
        skipped = true;
      }
    }
    if (!skipped && WordAt(a, i) != WordAt(b, i)) s.offsets.push_back(i);
  }
  return s;
}

// Secret words of Before (non-zero) that After still holds.
size_t Residue(const TSecretWords& s, const TBytes& before, const TBytes& after) {
  size_t n = 0;
  for (size_t i : s.offsets) {
    if (WordAt(before, i) != 0 && WordAt(after, i) == WordAt(before, i)) ++n;
  }
  return n;
}

// Builds T twice with the keys made by Prepare(component, variant), destroying each, and checks
// that no secret word survives the destructor; at least MinSecretWords must be secret, which
// shows the observer sees the schedule.
template <class T, class Prepare>
void ExpectWipedOnDestruction(Prepare prepare, size_t minSecretWords) {
  TPlaced<T> placed;
  T& a = prepare(placed.Make(), 1);
  const ptrdiff_t slotA = placed.SlotOf(a.GetKeyPointer());
  const TBytes before = placed.Bytes();
  placed.Destroy();
  const TBytes after = placed.Bytes();
  T& b = prepare(placed.Make(), 2);
  const ptrdiff_t slotB = placed.SlotOf(b.GetKeyPointer());
  const TBytes other = placed.Bytes();
  placed.Destroy();

  const TSecretWords secret = SecretWords(before, other, {slotA, slotB});
  EXPECT_GE(secret.offsets.size(), minSecretWords);
  EXPECT_EQ(Residue(secret, before, after), 0u) << "secret words left after destruction";
}

// A cipher with access to where its key bytes live.
template <class Base>
class TKeyed : public Base {
 public:
  const void* GetKeyPointer() const { return this->GetKey().data(); }
};

template <class Base>
class TSeeded : public Base {
 public:
  const void* GetKeyPointer() const { return nullptr; }
};

template <class T>
T& KeyAndRun(T& c, const std::string& key) {
  c.SetKey(key);
  c.SetMode(cipherCBC);
  c.EncryptString("a plaintext of some length, to run the key schedule");
  return c;
}

TEST(KeyWipe, CipherSchedulesAreWipedOnDestruction) {
  for (size_t length : {8, 16, 32, 56}) {
    SCOPED_TRACE(testing::Message() << "key of " << length << " bytes");
    auto prepare = [length](auto& c, int variant) -> auto& {
      return KeyAndRun(c, Key(length, 100 + variant));
    };
    // Blowfish: 1042 words of P-array and S-boxes; DES: 64 words of round keys; Twofish: the
    // 40 subkeys and the key-dependent tables.
    ExpectWipedOnDestruction<TKeyed<TVRXBlowFish>>(prepare, 1000);
    ExpectWipedOnDestruction<TKeyed<TVRXDES>>(prepare, 60);
    ExpectWipedOnDestruction<TKeyed<TVRXTwoFish>>(prepare, 1000);
  }
}

// A new key replaces the whole schedule of the old one, also where the new one is shorter and
// uses less of it.
TEST(KeyWipe, CipherSchedulesAreReplacedWhole) {
  auto check = [](auto& placed, size_t minSecretWords) {
    auto& a = KeyAndRun(placed.Make(), Key(32, 201));
    SCOPED_TRACE(a.ClassName());
    const ptrdiff_t slotA = placed.SlotOf(a.GetKeyPointer());
    const TBytes before = placed.Bytes();
    KeyAndRun(a, Key(16, 203));
    const TBytes after = placed.Bytes();
    placed.Destroy();
    auto& b = KeyAndRun(placed.Make(), Key(32, 202));
    const ptrdiff_t slotB = placed.SlotOf(b.GetKeyPointer());
    const TBytes other = placed.Bytes();
    placed.Destroy();
    // What the new key's schedule holds of itself: table entries take one of 256 values, so
    // some of them equal the old key's by chance.
    KeyAndRun(placed.Make(), Key(16, 203));
    const TBytes fresh = placed.Bytes();
    placed.Destroy();
    const TSecretWords secret = SecretWords(before, other, {slotA, slotB});
    EXPECT_GE(secret.offsets.size(), minSecretWords);
    size_t left = 0;
    for (size_t i : secret.offsets) {
      const uint32_t old = WordAt(before, i);
      if (old != 0 && WordAt(after, i) == old && WordAt(fresh, i) != old) ++left;
    }
    EXPECT_EQ(left, 0u) << "words of the old schedule left";
  };
  TPlaced<TKeyed<TVRXBlowFish>> blowfish;
  check(blowfish, 1000);
  TPlaced<TKeyed<TVRXDES>> des;
  check(des, 60);
  TPlaced<TKeyed<TVRXTwoFish>> twofish;
  check(twofish, 1000);
}

template <class T>
T& SeedAndDraw(T& g, int variant) {
  std::mt19937 seeds(static_cast<uint32_t>(variant));
  for (int32_t i = 0; i < g.SeedSize(); ++i) g.SetSeed(i, static_cast<uint8_t>(seeds()));
  g.Init();
  uint32_t w;
  for (int i = 0; i < 300; ++i) g.GetWord32(w);
  return g;
}

TEST(KeyWipe, GeneratorStatesAreWipedOnDestruction) {
  auto prepare = [](auto& g, int variant) -> auto& {
    return SeedAndDraw(g, variant);
  };
  // ISAAC: seed, memory and results, 768 words; MT19937B: seed, state and output, 1872.
  ExpectWipedOnDestruction<TSeeded<TVRXISAAC>>(prepare, 700);
  ExpectWipedOnDestruction<TSeeded<TVRXMT19937B>>(prepare, 1800);
}

}  // namespace
