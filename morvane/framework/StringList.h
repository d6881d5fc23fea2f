// The framework's string lists: an ordered list of byte strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvane {

class TStrings {
 public:
  virtual ~TStrings() = default;

  int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }
  // The element at a 0-based index; an index outside the list raises ERangeError.
  const std::string& Strings(int32_t Index) const;
  void SetStrings(int32_t Index, std::string Value);
  const std::string& operator[](int32_t Index) const { return Strings(Index); }
  // Appends and returns the new element's index.
  int32_t Add(std::string S);
  void Clear() noexcept { FItems.clear(); }
  // Room for Value elements without regrowing; it never drops elements (a value below Count is
  // ignored) and is only a hint to the storage.
  int32_t GetCapacity() const noexcept { return static_cast<int32_t>(FItems.capacity()); }
  void SetCapacity(int32_t Value);
  int32_t IndexOf(const std::string& S) const noexcept;
  const std::vector<std::string>& Items() const noexcept { return FItems; }

 private:
  std::vector<std::string> FItems;
};

class TStringList : public TStrings {};

}  // namespace morvane
