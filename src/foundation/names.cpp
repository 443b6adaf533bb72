#include "foundation/names.h"

#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace mrw {

std::string CleanFileName(const std::string& text, bool remove_spaces) {
  static constexpr std::string_view kDropped = "\\?|><:/*\"";
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    auto code = static_cast<unsigned char>(c);
    // Code 0 goes too: it would cut the name short in every system call.
    if (code < 32) continue;
    if (c == ' ' && remove_spaces) continue;
    if (kDropped.find(c) != std::string_view::npos) continue;
    result += c;
  }
  size_t first = result.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  size_t last = result.find_last_not_of(' ');
  return result.substr(first, last - first + 1);
}

std::string GetComputerNameStr() {
  char buffer[256];
  if (gethostname(buffer, sizeof buffer) != 0) return "";
  buffer[sizeof buffer - 1] = '\0';
  std::string name(buffer);
  name = name.substr(0, name.find('.'));
  return name.substr(0, 15);
}

std::string GetUserNameStr() {
  struct passwd pw;
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(geteuid(), &pw, buffer.data(), buffer.size(), &found) != 0 || !found ||
      !found->pw_name)
    return "";
  return found->pw_name;
}

}  // namespace mrw
