#include "morvane/random/VRXRand.h"

#include "morvane/framework/Exceptions.h"

namespace morvane {

TVRXRandomGenerator::TVRXRandomGenerator(TComponent* AOwner) : TComponent(AOwner) {}

void TVRXRandomGenerator::Init() {}

void TVRXRandomGenerator::GetWord64(uint32_t& Value1, uint32_t& Value2) {
  GetWord32(Value2);
  GetWord32(Value1);
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
