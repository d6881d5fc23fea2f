// The package's message table: Spanish texts (Windows-1252 bytes) keyed by identifier, registered
// in the framework's resource-string table when the library is loaded. Read them with LoadStr or
// FormatRes; an identifier the table lacks gives the empty string.
#pragma once

#include <cstdint>

namespace morvane {

// Identifiers of the texts the package itself loads.
inline constexpr int32_t SMsgConversionDigit = 1001;  // "Dígito de conversión incorrecto (%s)"
inline constexpr int32_t SMsgYes = 1002;              // "Si"
inline constexpr int32_t SMsgNo = 1003;               // "No"

// Registers the table again (it is registered at load already); harmless to repeat.
void RegisterVRXMessages();

}  // namespace morvane
