#include "morvane/framework/Guid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

#include "morvane/framework/Endian.h"
#include "morvane/framework/Exceptions.h"

namespace morvane {

void SystemRandomBytes(void* Buffer, std::size_t Count) {
  auto* p = static_cast<uint8_t*>(Buffer);
  std::size_t done = 0;
  while (done < Count) {
    ssize_t n = ::getrandom(p + done, Count - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError(std::string("Cannot read the system random generator: ") +
                            std::strerror(errno),
                        errno);
    }
    done += static_cast<std::size_t>(n);
  }
}

TGUID CreateGuid() {
  uint8_t raw[16];
  SystemRandomBytes(raw, sizeof raw);
  raw[6] = static_cast<uint8_t>((raw[6] & 0x0F) | 0x40);
  raw[8] = static_cast<uint8_t>((raw[8] & 0x3F) | 0x80);
  TGUID g;
  g.D1 = LoadBE32(raw);
  g.D2 = static_cast<uint16_t>((raw[4] << 8) | raw[5]);
  g.D3 = static_cast<uint16_t>((raw[6] << 8) | raw[7]);
  std::memcpy(g.D4.data(), raw + 8, 8);
  return g;
}

}  // namespace morvane
