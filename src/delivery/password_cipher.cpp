#include "delivery/password_cipher.h"

#include <array>
#include <cstdint>

namespace mrw::delivery {
namespace {

class CipherState {
 public:
  explicit CipherState(std::string_view key) {
    std::array<uint8_t, 256> t{};
    uint32_t h = 0;
    const size_t n = key.empty() ? 1 : key.size();
    for (uint32_t x = 0; x < 256; ++x) {
      s_[x] = static_cast<uint8_t>(x);
      const uint8_t keyByte = key.empty() ? 0 : static_cast<uint8_t>(key[x % n]);
      const uint8_t k = keyByte ^ static_cast<uint8_t>(h % 256);
      t[x] = k;
      h = ((h + 257u * k) % 2147483647u) + 1u;
    }
    i_ = 0;
    j_ = 0;
    f_ = static_cast<uint8_t>((h / 256) % 256);
    uint8_t d = static_cast<uint8_t>(h % 256);
    for (uint32_t x = 0; x < 256; ++x) {
      const uint8_t c = s_[x];
      d = static_cast<uint8_t>(d + c + t[x]);
      s_[x] = s_[d];
      s_[d] = c;
    }
    t.fill(0);
  }

  // Returns the key-stream byte for the next position; the caller feeds back the plain byte.
  uint8_t NextKeyByte() {
    i_ = static_cast<uint8_t>(i_ + 1);
    const uint8_t a = s_[i_];
    j_ = static_cast<uint8_t>(j_ + a);
    s_[i_] = s_[j_] ^ f_;
    s_[j_] = static_cast<uint8_t>(a - f_);
    return s_[static_cast<uint8_t>(a + s_[i_])];
  }
  void FeedPlain(uint8_t plain) { f_ ^= plain; }

 private:
  std::array<uint8_t, 256> s_{};
  uint8_t i_ = 0;
  uint8_t j_ = 0;
  uint8_t f_ = 0;
};

}  // namespace

std::string CipherProtect(std::string_view plain, std::string_view key) {
  CipherState state(key);
  std::string out(plain.size(), '\0');
  for (size_t n = 0; n < plain.size(); ++n) {
    const uint8_t in = static_cast<uint8_t>(plain[n]);
    out[n] = static_cast<char>(in ^ state.NextKeyByte());
    state.FeedPlain(in);
  }
  return out;
}

std::string CipherUnprotect(std::string_view protectedBytes, std::string_view key) {
  CipherState state(key);
  std::string out(protectedBytes.size(), '\0');
  for (size_t n = 0; n < protectedBytes.size(); ++n) {
    const uint8_t plain = static_cast<uint8_t>(protectedBytes[n]) ^ state.NextKeyByte();
    out[n] = static_cast<char>(plain);
    state.FeedPlain(plain);
  }
  return out;
}

}  // namespace mrw::delivery
