#include "foundation/fast_ini_file.h"

#include <cstdint>
#include <optional>

#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/folders.h"
#include "foundation/paths.h"

namespace mrw {
namespace {

// Position of the first ";" outside double quotes (every quote toggles), npos if none.
size_t CommentStart(std::string_view value) {
  bool quoted = false;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '"')
      quoted = !quoted;
    else if (value[i] == ';' && !quoted)
      return i;
  }
  return std::string_view::npos;
}

bool HasLineBreakOrZero(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

// A value as ReadString hands it out (still ANSI).
std::string_view Presented(std::string_view value, bool strip_comments, bool strip_quotes) {
  if (strip_comments) {
    if (size_t p = CommentStart(value); p != std::string_view::npos) value = IniTrim(value.substr(0, p));
  }
  if (strip_quotes && value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return value;
}

std::optional<int> ParseInteger(std::string_view s) {
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    uint64_t v = 0;
    for (char c : s.substr(2)) {
      int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
      if (d < 0) return std::nullopt;
      v = v * 16 + static_cast<uint64_t>(d);
      if (v > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(v));  // 0xFFFFFFFF is -1
  }
  size_t i = 0;
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return std::nullopt;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    v = v * 10 + (s[i] - '0');
    if (v > 2147483648LL) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return std::nullopt;
  return static_cast<int>(v);
}

}  // namespace

TFastIniFile::TFastIniFile(std::string file_name, IniRetry retry)
    : file_name_(std::move(file_name)), retry_(retry) {}

TFastIniFile::~TFastIniFile() {
  try {
    UpdateFile();
  } catch (...) {
    // A destructor cannot pass the failure on; see the header.
  }
}

void TFastIniFile::Load() {
  if (loaded_) return;
  disk_name_ = file_name_.empty() ? std::string() : ResolveNameCase(file_name_);
  std::string bytes;
  if (!disk_name_.empty() && FileExistsEx(disk_name_)) {
    TFileStreamEx stream(disk_name_, TFileStreamEx::Mode::kOpenRead, retry_);
    if (!stream.ReadAll(bytes)) throw FileCreateError("Datei " + disk_name_ + " kann nicht geöffnet werden");
  }
  items_.Load(bytes);
  loaded_ = true;
}

void TFastIniFile::Clear() {
  items_.Clear();
  loaded_ = false;
  modified_ = false;
}

void TFastIniFile::ApplyNameMode() {
  items_.SetNameMode(exact_names_        ? IniNameMode::kExact
                     : case_insensitive_ ? IniNameMode::kAnsiCaseInsensitive
                                         : IniNameMode::kAsciiCaseInsensitive);
}

void TFastIniFile::SetCaseInsensitive(bool on) {
  case_insensitive_ = on;
  ApplyNameMode();
}

void TFastIniFile::SetExactNames(bool on) {
  exact_names_ = on;
  ApplyNameMode();
}

TSectionItem* TFastIniFile::FindSection(const std::string& ansi_section) {
  Load();
  return items_.FindSection(ansi_section);
}

std::string TFastIniFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& def) {
  TSectionItem* s = FindSection(Utf8ToAnsi(section));
  if (!s) return def;
  const std::string ansi_key = Utf8ToAnsi(key);
  size_t i = items_.FindKey(*s, IniTrim(ansi_key));
  if (i == TIniItems::kNotFound) return def;
  return AnsiToUtf8(Presented(items_.lines()[i].value, strip_comments_, strip_quotes_));
}

void TFastIniFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
  Load();
  if (key.empty()) {
    if (!value.empty()) return;
    if (section.empty())
      UpdateFile();
    else
      EraseSection(section);
    return;
  }
  const std::string ansi_section = Utf8ToAnsi(section);
  const std::string ansi_key = Utf8ToAnsi(key);
  const std::string ansi_value = Utf8ToAnsi(value);
  // A line break would split the line and let the rest pose as other keys or sections;
  // the key text must also come back as the same key when the file is read again.
  if (HasLineBreakOrZero(ansi_section)) throw Error("Ungültiger Abschnittsname: " + section);
  const std::string_view bare_key = IniTrim(ansi_key);
  if (bare_key.empty() || HasLineBreakOrZero(ansi_key) || bare_key.find('=') != std::string_view::npos ||
      bare_key.front() == '[' || bare_key.front() == ';')
    throw Error("Ungültiger Schlüssel: " + key);
  if (HasLineBreakOrZero(ansi_value)) throw Error("Ungültiger Wert für Schlüssel " + key);

  TSectionItem* s = items_.FindSection(ansi_section);
  if (!s) {
    s = &items_.AddSection(ansi_section);
    modified_ = true;
  }
  size_t i = items_.FindKey(*s, bare_key);
  if (i == TIniItems::kNotFound) {
    // A new key reaches the file even with an empty value, so that it reads back as
    // present (an empty text, not the default) in every later object too.
    i = items_.AddKey(*s, bare_key);
    modified_ = true;
  }
  TIniItem& line = items_.line(i);
  std::string_view old_value = line.value;
  std::string comment;
  size_t comment_at = std::string_view::npos;
  if (strip_comments_) {
    comment_at = CommentStart(old_value);
    if (comment_at != std::string_view::npos) {
      comment.assign(old_value.substr(comment_at));
      old_value = IniTrim(old_value.substr(0, comment_at));
    }
  }
  if (old_value == ansi_value) return;
  if (comment.empty()) {
    line.value = ansi_value;
  } else {
    // The comment keeps its column when the new value leaves room for it.
    std::string v = ansi_value;
    if (v.size() < comment_at)
      v.append(comment_at - v.size(), ' ');
    else
      v += ' ';
    v += comment;
    line.value = std::move(v);
  }
  modified_ = true;
}

int TFastIniFile::ReadInteger(const std::string& section, const std::string& key, int def) {
  return ParseInteger(ReadString(section, key, "")).value_or(def);
}

void TFastIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

bool TFastIniFile::ReadBool(const std::string& section, const std::string& key, bool def) {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TFastIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

std::vector<const TIniItem*> TFastIniFile::KeyLines(const std::string& section) {
  std::vector<const TIniItem*> keys;
  TSectionItem* s = FindSection(Utf8ToAnsi(section));
  if (!s) return keys;
  const size_t end = items_.SectionEnd(*s);
  for (size_t i = s->first; i < end; ++i) {
    items_.Parse(i);
    if (items_.lines()[i].kind == IniLineKind::kKey) keys.push_back(&items_.lines()[i]);
  }
  return keys;
}

std::vector<std::string> TFastIniFile::ReadSection(const std::string& section) {
  std::vector<std::string> out;
  for (const TIniItem* l : KeyLines(section)) out.push_back(AnsiToUtf8(l->text));
  return out;
}

std::vector<std::string> TFastIniFile::ReadSections() {
  Load();
  std::vector<std::string> names;
  // A name written in several headers is listed once, where reads and writes go.
  for (const TSectionItem* s : items_.SectionsInFileOrder())
    if (items_.FindSection(s->name) == s) names.push_back(AnsiToUtf8(s->name));
  return names;
}

std::vector<std::string> TFastIniFile::ReadSectionValues(const std::string& section) {
  std::vector<std::string> out;
  for (const TIniItem* l : KeyLines(section)) {
    std::string entry(l->text);
    entry += '=';
    entry += Presented(l->value, strip_comments_, strip_quotes_);
    out.push_back(AnsiToUtf8(entry));
  }
  return out;
}

void TFastIniFile::EraseSection(const std::string& section) {
  TSectionItem* s = FindSection(Utf8ToAnsi(section));
  if (!s) return;
  items_.EraseSection(*s);
  modified_ = true;
}

void TFastIniFile::DeleteKey(const std::string& section, const std::string& key) {
  TSectionItem* s = FindSection(Utf8ToAnsi(section));
  if (!s) return;
  const std::string ansi_key = Utf8ToAnsi(key);
  size_t i = items_.FindKey(*s, IniTrim(ansi_key));
  if (i == TIniItems::kNotFound) return;
  items_.DeleteLine(*s, i);
  modified_ = true;
}

void TFastIniFile::UpdateFile() {
  if (!modified_) return;
  if (disk_name_.empty()) ForceFolders("");  // throws "Verzeichnis kann nicht erstellt werden"
  // A bare file name lies in the current folder, which exists.
  if (std::string folder = ExtractFilePath(disk_name_); !folder.empty()) ForceFolders(folder);
  const std::string bytes = items_.Serialize();
  TFileStreamEx stream(disk_name_, TFileStreamEx::Mode::kCreate, retry_);
  if (!stream.WriteAll(bytes)) throw FileCreateError("Datei " + disk_name_ + " kann nicht erstellt werden");
  modified_ = false;
}

}  // namespace mrw
