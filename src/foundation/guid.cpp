#include "foundation/guid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/errors.h"

namespace mrw {

std::string NewGuid() {
  unsigned char b[16];
  size_t have = 0;
  while (have < sizeof b) {
    ssize_t n = getrandom(b + have, sizeof b - have, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Error(std::string("Zufallszahlen nicht verfügbar: ") + std::strerror(errno));
    }
    have += static_cast<size_t>(n);
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
  char text[37];
  std::snprintf(text, sizeof text,
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

std::uint32_t ElfHash(std::string_view text) {
  std::uint32_t h = 0;
  for (unsigned char c : text) {
    h = (h << 4) + c;
    std::uint32_t g = h & 0xF0000000u;
    if (g != 0) h ^= g >> 24;
    h &= ~g;
  }
  return h;
}

}  // namespace mrw
