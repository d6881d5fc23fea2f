#include "morvane/strings/VRXMsg.h"

#include <array>
#include <string_view>

#include "morvane/framework/TextServices.h"

namespace morvane {

namespace {

struct TMessage {
  int32_t Id;
  std::string_view Text;
};

// Windows-1252 bytes: \xED is i-acute, \xF3 is o-acute.
inline constexpr std::array<TMessage, 3> kMessages{{
    {SMsgConversionDigit, "D\xEDgito de conversi\xF3n incorrecto (%s)"},
    {SMsgYes, "Si"},
    {SMsgNo, "No"},
}};

// Registers the table when the library is loaded, as a linked resource would be available.
[[maybe_unused]] const bool kRegistered = (RegisterVRXMessages(), true);

}  // namespace

void RegisterVRXMessages() {
  for (const TMessage& m : kMessages) RegisterResourceString(m.Id, std::string(m.Text));
}

}  // namespace morvane
