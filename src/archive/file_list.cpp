#include "archive/file_list.h"

#include "archive/format.h"

namespace mrw::archive {

namespace {

// A canonical decimal: "0", or digits without a leading zero, optionally after "-".
std::optional<std::int64_t> ParseCanonical(std::string_view text, bool allow_negative) {
  bool negative = false;
  if (allow_negative && !text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 10) return std::nullopt;
  if (text.size() > 1 && text.front() == '0') return std::nullopt;
  if (negative && text == "0") return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

}  // namespace

std::string FileListLineText(std::string_view name, std::int32_t date, std::int64_t size) {
  std::string line(name);
  line += '\t';
  line += std::to_string(date);
  line += '=';
  line += std::to_string(size);
  line += "\r\n";
  return line;
}

FileListParse ParseFileList(std::string_view text) {
  FileListParse out;
  auto fail = [&](std::size_t offset, std::string why) {
    out.fault_offset = offset;
    out.fault = std::move(why);
    return out;
  };
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t cr = text.find("\r\n", pos);
    if (cr == std::string_view::npos) return fail(pos, "file list line without CR LF");
    std::string_view line = text.substr(pos, cr - pos);
    std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab == 0)
      return fail(pos, "file list line without name and TAB");
    std::string_view name = line.substr(0, tab);
    for (std::size_t i = 0; i < name.size(); ++i) {
      if (static_cast<unsigned char>(name[i]) < 0x20)
        return fail(pos + i, "control character in a file list name");
    }
    std::string_view rest = line.substr(tab + 1);
    std::size_t eq = rest.find('=');
    if (eq == std::string_view::npos) return fail(pos + tab + 1, "file list line without \"=\"");
    auto date = ParseCanonical(rest.substr(0, eq), true);
    if (!date || *date < -2147483648LL || *date > kMaxInt32)
      return fail(pos + tab + 1, "bad date in the file list");
    auto size = ParseCanonical(rest.substr(eq + 1), false);
    if (!size || *size > kMaxInt32) return fail(pos + tab + 2 + eq, "bad size in the file list");
    out.lines.push_back({std::string(name), static_cast<std::int32_t>(*date), *size});
    pos = cr + 2;
  }
  return out;
}

}  // namespace mrw::archive
