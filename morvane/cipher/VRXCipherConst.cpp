// The unit holds only declarations and constexpr helpers; this file keeps one translation unit
// per unit and checks the helpers at compile time.
#include "morvane/cipher/VRXCipherConst.h"

namespace morvane {

static_assert(BE2LE32(0x11223344u) == 0x44332211u);
static_assert(BE2LE16(0x00ABu) == 0xAB00u);
static_assert(ROL(0x80000000u, 1) == 1u && ROL(0x12345678u, 32) == 0x12345678u);
static_assert(ROL(0x12345678u, 33) == ROL(0x12345678u, 1));
static_assert(ROR(0x12345678u, 8) == ROL(0x12345678u, 24));

}  // namespace morvane
