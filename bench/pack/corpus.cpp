// Writes the packing benchmark's corpus: 64 MB of deterministic content in the mix a
// transfer package carries. Text (order lines), table-like binary records, incompressible
// bytes (scans, images) and 256 small files (letters):
//   bench_pack DIR
// The same DIR content comes out on every run and every machine.
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}
  std::uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1DULL;
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

 private:
  std::uint64_t state_;
};

const char* const kWords[] = {"Auftrag", "Angebot", "Lieferschein", "Rechnung", "Gutschrift", "Kunde",
                              "Müller", "Schröder", "GmbH", "KG", "Hauptstraße", "Bahnhofstraße",
                              "Schraube", "Mutter", "Dübel", "Winkel", "Profil", "Stück", "Meter",
                              "Lieferung", "Montage", "Skonto", "netto", "brutto", "zahlbar", "bis"};

std::string TextBytes(Random& rnd, std::size_t n) {
  std::string out;
  out.reserve(n + 200);
  while (out.size() < n) {
    out += std::to_string(1000 + rnd.Below(90000));
    out += ";";
    out += std::to_string(1 + rnd.Below(28)) + "." + std::to_string(1 + rnd.Below(12)) + ".20" +
           std::to_string(10 + rnd.Below(16)) + ";";
    for (std::size_t w = 0, words = 4 + rnd.Below(10); w < words; ++w) {
      out += kWords[rnd.Below(sizeof kWords / sizeof kWords[0])];
      out += ' ';
    }
    out += std::to_string(rnd.Below(100000)) + "," + std::to_string(rnd.Below(100)) + " EUR\r\n";
  }
  out.resize(n);
  return out;
}

std::string RecordBytes(Random& rnd, std::size_t n) {
  std::string out(n, '\0');
  std::uint32_t id = 1;
  for (std::size_t pos = 0; pos + 64 <= n; pos += 64, ++id) {
    char* r = out.data() + pos;
    std::uint32_t date = 20240101 + static_cast<std::uint32_t>(rnd.Below(900));
    std::uint32_t amount = static_cast<std::uint32_t>(rnd.Below(1000000));
    std::uint16_t type = static_cast<std::uint16_t>(1 + rnd.Below(9));
    std::memcpy(r, &id, 4);
    std::memcpy(r + 4, &date, 4);
    std::memcpy(r + 8, &amount, 4);
    std::memcpy(r + 12, &type, 2);
    const char* word = kWords[rnd.Below(sizeof kWords / sizeof kWords[0])];
    std::memcpy(r + 16, word, std::min<std::size_t>(std::strlen(word), 24));
  }
  return out;
}

std::string NoiseBytes(Random& rnd, std::size_t n) {
  std::string out(n, '\0');
  for (std::size_t i = 0; i + 8 <= n; i += 8) {
    std::uint64_t v = rnd.Next();
    std::memcpy(out.data() + i, &v, 8);
  }
  return out;
}

void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: bench_pack DIR\n";
    return 2;
  }
  std::filesystem::path dir = argv[1];
  constexpr std::size_t kMB = 1 << 20;
  Random rnd(2026);
  // 63 MB in ten large files ...
  for (int i = 0; i < 4; ++i) Write(dir / ("auftraege" + std::to_string(i) + ".txt"), TextBytes(rnd, 6 * kMB));
  for (int i = 0; i < 4; ++i) Write(dir / ("tabelle" + std::to_string(i) + ".adt"), RecordBytes(rnd, 6 * kMB));
  Write(dir / "scan0.pdf", NoiseBytes(rnd, 8 * kMB));
  Write(dir / "scan1.jpg", NoiseBytes(rnd, 7 * kMB));
  // ... and 1 MB in 256 small letters.
  for (int i = 0; i < 256; ++i) {
    std::string name = "briefe/brief" + std::to_string(i) + (i % 2 ? ".rvf" : ".txt");
    Write(dir / name, i % 2 ? RecordBytes(rnd, 4096) : TextBytes(rnd, 4096));
  }
  return 0;
}
