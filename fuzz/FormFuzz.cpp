// The form reader on arbitrary text, with the package's classes registered: only EParserError
// may come out, and a form that reads writes a text that reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "morvane/framework/Forms.h"
#include "morvane/package/VRXMorvane.h"

using namespace morvane;

namespace {

const TClassRegistry& Registry() {
  static TClassRegistry* registry = [] {
    auto* r = new TClassRegistry;
    TRegistrationScope scope(*r);
    Register();
    r->RegisterClass(ClassOf<TComponent>());
    return r;
  }();
  return *registry;
}

// KeyLength grows the key without limit, as the component's setter does, so a form may ask for
// gigabytes of key: inputs with numbers of eight digits or more are left out.
bool HasHugeNumber(std::string_view text) {
  size_t run = 0;
  for (char c : text) {
    run = (c >= '0' && c <= '9') ? run + 1 : 0;
    if (run >= 8) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (HasHugeNumber(text)) return 0;
  std::string written;
  try {
    written = WriteComponentText(*ReadComponentText(text, Registry()), Registry());
  } catch (const EParserError&) {
    return 0;
  }
  // What was read writes a form that reads back to the same form (the writer raising here
  // would mean the reader accepted what cannot be written).
  if (WriteComponentText(*ReadComponentText(written, Registry()), Registry()) != written)
    __builtin_trap();
  return 0;
}
