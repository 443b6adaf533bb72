// A big INI file (100 sections x 2,000 keys, about 5 MB): load, 10,000 random reads, one
// write and writing the file back, by TFastIniFile and by QSettings (IniFormat) on the
// same file with the same keys, in the same run. Prints both times and the ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "foundation/fast_ini_file.h"

#ifdef MRW_HAVE_QT
#include <QCoreApplication>
#include <QSettings>
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSections = 100;
constexpr int kKeys = 2000;
constexpr int kReads = 10000;
constexpr int kRounds = 5;

std::string SectionName(int s) { return "Section" + std::to_string(s); }
std::string KeyName(int k) { return "Key" + std::to_string(k); }

void Generate(const std::string& name) {
  std::string text;
  text.reserve(5'400'000);
  for (int s = 0; s < kSections; ++s) {
    text.append("[").append(SectionName(s)).append("]\r\n");
    for (int k = 0; k < kKeys; ++k)
      text += KeyName(k) + "=value-" + std::to_string(s) + "-" + std::to_string(k) + "-abc\r\n";
    text += "\r\n";
  }
  std::ofstream(name, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

struct Probe {
  std::string section, key;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double RunOurs(const std::string& file, const std::vector<Probe>& probes, size_t& checksum) {
  auto t0 = Clock::now();
  {
    mrw::TFastIniFile ini(file);
    for (const Probe& p : probes) checksum += ini.ReadString(p.section, p.key, "").size();
    ini.WriteString(SectionName(50), KeyName(1000), "changed");
    ini.UpdateFile();
  }
  return Seconds(Clock::now() - t0);
}

#ifdef MRW_HAVE_QT
double RunQSettings(const std::string& file, const std::vector<Probe>& probes, size_t& checksum) {
  std::vector<QString> keys;
  keys.reserve(probes.size());
  for (const Probe& p : probes) keys.push_back(QString::fromStdString(p.section + "/" + p.key));
  auto t0 = Clock::now();
  {
    QSettings settings(QString::fromStdString(file), QSettings::IniFormat);
    for (const QString& k : keys) checksum += static_cast<size_t>(settings.value(k).toString().size());
    settings.setValue(QString::fromStdString(SectionName(50) + "/" + KeyName(1000)), "changed");
    settings.sync();
  }
  return Seconds(Clock::now() - t0);
}
#endif

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
#ifdef MRW_HAVE_QT
  QCoreApplication app(argc, argv);
#else
  (void)argc;
  (void)argv;
#endif
  const fs::path dir = fs::temp_directory_path() / ("mrw-bench-ini-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string base = (dir / "base.ini").string();
  Generate(base);

  std::mt19937 rng(2024);
  std::vector<Probe> probes;
  for (int i = 0; i < kReads; ++i)
    probes.push_back({SectionName(static_cast<int>(rng() % kSections)), KeyName(static_cast<int>(rng() % kKeys))});

  std::vector<double> ours, theirs;
  size_t sum_ours = 0, sum_theirs = 0;
  for (int round = 0; round < kRounds; ++round) {
    // A fresh file name every time: QSettings keeps parsed files cached by name.
    const std::string a = (dir / ("ours" + std::to_string(round) + ".ini")).string();
    fs::copy_file(base, a);
    ours.push_back(RunOurs(a, probes, sum_ours));
#ifdef MRW_HAVE_QT
    const std::string b = (dir / ("qsettings" + std::to_string(round) + ".ini")).string();
    fs::copy_file(base, b);
    theirs.push_back(RunQSettings(b, probes, sum_theirs));
#endif
  }
  std::printf("ini: %.1f MB, %d sections x %d keys, %d reads + 1 write + write-back, median of %d rounds\n",
              static_cast<double>(fs::file_size(base)) / 1e6, kSections, kKeys, kReads, kRounds);
  std::printf("  TFastIniFile  %8.1f ms\n", Median(ours) * 1000);
#ifdef MRW_HAVE_QT
  std::printf("  QSettings     %8.1f ms\n", Median(theirs) * 1000);
  std::printf("  ratio         %8.3f (goal <= 0.5)\n", Median(ours) / Median(theirs));
  if (sum_ours != sum_theirs) std::printf("  WARNING: the two read different values\n");
#else
  std::printf("  QSettings     not built (no Qt); no ratio\n");
#endif
  fs::remove_all(dir);
  return 0;
}
