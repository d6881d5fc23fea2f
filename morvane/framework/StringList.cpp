#include "morvane/framework/StringList.h"

#include "morvane/framework/Exceptions.h"

namespace morvane {

const std::string& TStrings::Strings(int32_t Index) const {
  if (Index < 0 || Index >= Count())
    throw ERangeError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[static_cast<size_t>(Index)];
}

void TStrings::SetStrings(int32_t Index, std::string Value) {
  if (Index < 0 || Index >= Count())
    throw ERangeError("List index out of bounds (" + std::to_string(Index) + ")");
  FItems[static_cast<size_t>(Index)] = std::move(Value);
}

void TStrings::SetCapacity(int32_t Value) {
  if (Value > Count()) FItems.reserve(static_cast<size_t>(Value));
}

int32_t TStrings::Add(std::string S) {
  FItems.push_back(std::move(S));
  return Count() - 1;
}

int32_t TStrings::IndexOf(const std::string& S) const noexcept {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i] == S) return static_cast<int32_t>(i);
  return -1;
}

}  // namespace morvane
