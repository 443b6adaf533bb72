#include "foundation/ini_items.h"

#include <algorithm>

#include "foundation/codepage.h"

namespace mrw {
namespace {

struct UpperTables {
  unsigned char ansi[256];
  unsigned char ascii[256];
  unsigned char exact[256];
  UpperTables() {
    for (int c = 0; c < 256; ++c) {
      auto b = static_cast<unsigned char>(c);
      ansi[c] = AnsiUpperChar(b);
      ascii[c] = (b >= 'a' && b <= 'z') ? static_cast<unsigned char>(b - 32) : b;
      exact[c] = b;
    }
  }
};

const UpperTables& Tables() {
  static const UpperTables tables;
  return tables;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

std::string_view IniTrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

std::string_view IniTrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return s.substr(0, n);
}

std::string_view IniTrim(std::string_view s) { return IniTrimRight(IniTrimLeft(s)); }

IniNameRules::IniNameRules(IniNameMode mode) {
  const UpperTables& t = Tables();
  map_ = mode == IniNameMode::kAnsiCaseInsensitive    ? t.ansi
         : mode == IniNameMode::kAsciiCaseInsensitive ? t.ascii
                                                       : t.exact;
}

uint32_t IniNameRules::Hash(std::string_view name) const {
  uint32_t h = 0;
  for (char c : name) h = ((h << 2) | (h >> 30)) ^ map_[static_cast<unsigned char>(c)];
  return h;
}

bool IniNameRules::Equal(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (map_[static_cast<unsigned char>(a[i])] != map_[static_cast<unsigned char>(b[i])]) return false;
  return true;
}

void TIniItems::Clear() {
  lines_.clear();
  sections_.clear();
  for (auto& chain : chains_) chain.clear();
  cache_ = nullptr;
  indexed_ = false;
  stats_ = {};
}

void TIniItems::Load(std::string_view text) {
  Clear();
  if (size_t zero = text.find('\0'); zero != std::string_view::npos) text = text.substr(0, zero);
  lines_.reserve(text.size() / 16 + 1);
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    size_t j = i;
    while (j < n && text[j] != '\r' && text[j] != '\n') ++j;
    std::string_view l = text.substr(i, j - i);
    TIniItem item;
    if (l.empty()) {
      item.kind = IniLineKind::kBlank;
      ++stats_.blank;
    } else if (l[0] == ';') {
      item.kind = IniLineKind::kComment;
      ++stats_.comment;
    } else if (l.size() >= 2 && l.front() == '[' && l.back() == ']') {
      item.kind = IniLineKind::kSection;
      ++stats_.section;
      Register(std::string(l.substr(1, l.size() - 2)), lines_.size() + 1);
    } else {
      item.kind = IniLineKind::kUnparsed;
      ++stats_.other;
    }
    item.text.assign(l);
    lines_.push_back(std::move(item));
    if (j < n) j += (text[j] == '\r' && j + 1 < n && text[j + 1] == '\n') ? 2 : 1;
    i = j;
  }
  lines_.shrink_to_fit();
  indexed_ = stats_.section > 0 && stats_.other / stats_.section > 249;
}

std::string TIniItems::Serialize() const {
  size_t total = 0;
  for (const TIniItem& l : lines_) total += l.text.size() + l.value.size() + 3;
  std::string out;
  out.reserve(total);
  for (const TIniItem& l : lines_) {
    out += l.text;
    if (l.kind == IniLineKind::kKey) {
      out += '=';
      out += l.value;
    }
    out += "\r\n";
  }
  return out;
}

void TIniItems::SetNameMode(IniNameMode mode) {
  rules_ = IniNameRules(mode);
  for (auto& chain : chains_) chain.clear();
  for (auto& s : sections_) {
    s->hash = rules_.Hash(s->name);
    s->keys.reset();
    chains_[s->hash & 0xFF].push_back(s.get());
  }
  for (TIniItem& l : lines_)
    if (l.kind == IniLineKind::kKey) l.hash = rules_.Hash(l.text);
  cache_ = nullptr;
}

void TIniItems::Register(std::string name, size_t first) {
  auto s = std::make_unique<TSectionItem>();
  s->hash = rules_.Hash(name);
  s->name = std::move(name);
  s->first = first;
  chains_[s->hash & 0xFF].push_back(s.get());
  sections_.push_back(std::move(s));
}

TSectionItem* TIniItems::FindSection(std::string_view name) {
  const uint32_t h = rules_.Hash(name);
  if (cache_ && cache_->hash == h && rules_.Equal(cache_->name, name)) return cache_;
  // Sections are registered in file order, so the chain's last match is the file's last.
  const auto& chain = chains_[h & 0xFF];
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if ((*it)->hash == h && rules_.Equal((*it)->name, name)) return cache_ = *it;
  }
  return nullptr;
}

size_t TIniItems::SectionEnd(const TSectionItem& section) const {
  size_t i = section.first;
  while (i < lines_.size() && lines_[i].kind != IniLineKind::kSection) ++i;
  return i;
}

void TIniItems::Parse(size_t index) {
  TIniItem& l = lines_[index];
  if (l.kind != IniLineKind::kUnparsed) return;
  std::string_view t = IniTrimLeft(l.text);
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) {
    l.text = std::string(t);
    l.kind = IniLineKind::kNoEquals;
    return;
  }
  std::string key(IniTrimRight(t.substr(0, eq)));
  l.value = std::string(IniTrim(t.substr(eq + 1)));
  l.text = std::move(key);
  l.hash = rules_.Hash(l.text);
  l.kind = IniLineKind::kKey;
}

void TIniItems::BuildKeyIndex(TSectionItem& section) {
  section.keys = std::make_unique<std::array<std::vector<uint32_t>, 256>>();
  const size_t end = SectionEnd(section);
  for (size_t i = section.first; i < end; ++i) {
    Parse(i);
    if (lines_[i].kind == IniLineKind::kKey)
      (*section.keys)[lines_[i].hash & 0xFF].push_back(static_cast<uint32_t>(i - section.first));
  }
}

size_t TIniItems::FindKey(TSectionItem& section, std::string_view key) {
  const uint32_t h = rules_.Hash(key);
  if (indexed_) {
    if (!section.keys) BuildKeyIndex(section);
    const auto& chain = (*section.keys)[h & 0xFF];
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const size_t i = section.first + *it;
      if (lines_[i].hash == h && rules_.Equal(lines_[i].text, key)) return i;
    }
    return kNotFound;
  }
  for (size_t i = section.first; i < lines_.size(); ++i) {
    TIniItem& l = lines_[i];
    if (l.kind == IniLineKind::kSection) break;
    if (l.kind == IniLineKind::kUnparsed) Parse(i);
    if (l.kind == IniLineKind::kKey && l.hash == h && rules_.Equal(l.text, key)) return i;
  }
  return kNotFound;
}

void TIniItems::GrowFor(size_t extra) {
  const size_t need = lines_.size() + extra;
  size_t cap = lines_.capacity();
  if (need <= cap) return;
  while (cap < need) cap = cap <= 256 ? cap + 128 : cap <= 1024 ? cap + 512 : cap + cap / 4;
  lines_.reserve(cap);
}

void TIniItems::InsertLine(size_t pos, TIniItem item) {
  GrowFor(1);
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(item));
  // The section whose lines now include `pos` keeps its first line; later ones move on.
  TSectionItem* owner = nullptr;
  for (auto& s : sections_) {
    if (s->first > pos)
      ++s->first;
    else if (!owner || s->first > owner->first)
      owner = s.get();
  }
  if (owner && owner->keys) {
    const auto rel = static_cast<uint32_t>(pos - owner->first);
    for (auto& chain : *owner->keys)
      for (uint32_t& e : chain)
        if (e >= rel) ++e;
  }
}

void TIniItems::RemoveLines(size_t pos, size_t count) {
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(pos),
               lines_.begin() + static_cast<std::ptrdiff_t>(pos + count));
  for (auto& s : sections_)
    if (s->first > pos) s->first -= count;
}

TSectionItem& TIniItems::AddSection(std::string_view name) {
  if (!lines_.empty() && lines_.back().kind != IniLineKind::kBlank)
    InsertLine(lines_.size(), TIniItem{});
  TIniItem header;
  header.kind = IniLineKind::kSection;
  header.text.reserve(name.size() + 2);
  header.text.append("[").append(name).append("]");
  InsertLine(lines_.size(), std::move(header));
  Register(std::string(name), lines_.size());
  return *(cache_ = sections_.back().get());
}

size_t TIniItems::AddKey(TSectionItem& section, std::string_view key) {
  const size_t end = SectionEnd(section);
  size_t pos = section.first;
  for (size_t i = end; i > section.first; --i) {
    IniLineKind k = lines_[i - 1].kind;
    if (k == IniLineKind::kKey || k == IniLineKind::kNoEquals || k == IniLineKind::kUnparsed) {
      pos = i;
      break;
    }
  }
  TIniItem item;
  item.kind = IniLineKind::kKey;
  item.text = std::string(key);
  item.hash = rules_.Hash(item.text);
  const uint32_t h = item.hash;
  InsertLine(pos, std::move(item));
  if (section.keys) (*section.keys)[h & 0xFF].push_back(static_cast<uint32_t>(pos - section.first));
  return pos;
}

void TIniItems::EraseSection(TSectionItem& section) {
  const size_t end = SectionEnd(section);
  // Comment lines (and blank lines after them) at the very end belong to what follows.
  size_t tail = end;
  while (tail > section.first && (lines_[tail - 1].kind == IniLineKind::kComment ||
                                  lines_[tail - 1].kind == IniLineKind::kBlank))
    --tail;
  size_t cut = end;
  for (size_t i = tail; i < end; ++i) {
    if (lines_[i].kind == IniLineKind::kComment) {
      cut = i;
      break;
    }
  }
  const size_t header = section.first - 1;
  auto& chain = chains_[section.hash & 0xFF];
  chain.erase(std::find(chain.begin(), chain.end(), &section));
  if (cache_ == &section) cache_ = nullptr;
  sections_.erase(std::find_if(sections_.begin(), sections_.end(),
                               [&](const auto& s) { return s.get() == &section; }));
  RemoveLines(header, cut - header);
}

void TIniItems::DeleteLine(TSectionItem& section, size_t index) {
  RemoveLines(index, 1);
  section.keys.reset();  // rebuilt on its next use
}

std::vector<const TSectionItem*> TIniItems::SectionsInFileOrder() const {
  std::vector<const TSectionItem*> out;
  out.reserve(sections_.size());
  for (const auto& s : sections_) out.push_back(s.get());
  return out;
}

}  // namespace mrw
