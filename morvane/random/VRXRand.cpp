#include "morvane/random/VRXRand.h"

#include <vector>

#include "morvane/framework/Exceptions.h"
#include "morvane/framework/SecureWipe.h"

namespace morvane {

TVRXRandomGenerator::TVRXRandomGenerator(TComponent* AOwner) : TComponent(AOwner) {}

void TVRXRandomGenerator::Init() {}

void TVRXRandomGenerator::GetWord64(uint32_t& Value1, uint32_t& Value2) {
  GetWord32(Value2);
  GetWord32(Value1);
}

uint64_t TVRXRandomGenerator::GetWord64() {
  uint32_t high = 0, low = 0;
  GetWord64(high, low);
  return static_cast<uint64_t>(high) << 32 | low;
}

void TVRXRandomGenerator::SetSeedWords(std::span<const uint32_t> Words) {
  const int32_t size = SeedSize();
  if (Words.size() != static_cast<size_t>(size))
    throw ERangeError("SetSeedWords: " + std::to_string(Words.size()) +
                      " words given, the seed is " + std::to_string(size) + " words");
  for (int32_t i = 0; i < size; ++i) SetSeedWord(i, Words[static_cast<size_t>(i)]);
  Init();
}

void TVRXRandomGenerator::Seed(std::seed_seq& Seq) {
  std::vector<uint32_t> words(static_cast<size_t>(SeedSize()));
  Seq.generate(words.begin(), words.end());
  SetSeedWords(words);
  // The words are the whole seed: no copy of it outlives the call.
  SecureWipe(words.data(), words.size() * sizeof(uint32_t));
}

void TVRXRandomGenerator::GetWord128(std::span<uint32_t, 4> Values) {
  for (uint32_t& v : Values) GetWord32(v);
}

void TVRXRandomGenerator::GetWord128(uint32_t* Values) {
  if (Values == nullptr) throw ERangeError("GetWord128: no destination for the four words");
  GetWord128(std::span<uint32_t, 4>(Values, 4));
}

void TVRXRandomGenerator::CheckSeedIndex(int32_t Index, int32_t Size) {
  if (Index < 0 || Index >= Size)
    throw ERangeError("Seed index " + std::to_string(Index) + " out of range (0.." +
                      std::to_string(Size - 1) + ")");
}

}  // namespace morvane
