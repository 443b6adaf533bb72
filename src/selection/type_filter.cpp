#include "selection/type_filter.h"

#include "foundation/fast_ini_file.h"

namespace mrw::selection {
namespace {

const char* const kTypeNames[] = {"RECHNUNG",    "ANGEBOT",     "BESTELLUNG",  "BRIEF",
                                  "GUTSCHRIFT",  "LIEFERSCHEIN", "AUFTRAGSBESTÄTIGUNG",
                                  "FREIER TYP1", "FREIER TYP2", "FREIER TYP3", "FREIER TYP4",
                                  "FREIER TYP5", "MULTI"};
const int kRowCodes[kTypeRows] = {2, 3, 4, 6, 7, 8, 9, 10, 11, 12};

const char* SectionOf(TypeColumn column) {
  return column == TypeColumn::Finished ? "OP" : "OP1";
}

bool ValidRow(int row) { return row >= 1 && row <= kTypeRows; }

}  // namespace

std::string DocumentTypeName(int code) {
  if (code < 1 || code > 13) return "";
  return kTypeNames[code - 1];
}

int TypeCodeOfRow(int row) { return ValidRow(row) ? kRowCodes[row - 1] : 0; }

int RowOfTypeCode(int code) {
  for (int row = 1; row <= kTypeRows; ++row) {
    if (kRowCodes[row - 1] == code) return row;
  }
  return 0;
}

bool TypeFilter::Checked(TypeColumn column, int row) const {
  if (!ValidRow(row)) return false;
  return column == TypeColumn::Finished ? finished_[row - 1] : unfinished_[row - 1];
}

void TypeFilter::Set(TypeColumn column, int row, bool checked) {
  if (!ValidRow(row)) return;
  (column == TypeColumn::Finished ? finished_ : unfinished_)[row - 1] = checked;
}

void TypeFilter::Load(const std::string& ini_path) {
  finished_.fill(false);
  unfinished_.fill(false);
  try {
    TFastIniFile ini(ini_path);
    for (int row = 1; row <= kTypeRows; ++row) {
      finished_[row - 1] = ini.ReadBool("OP", std::to_string(row), false);
      unfinished_[row - 1] = ini.ReadBool("OP1", std::to_string(row), false);
    }
  } catch (const std::exception&) {
    // An unreadable settings file leaves every box cleared.
  }
  for (int row = 1; row <= kTypeRows; ++row) {
    if (finished_[row - 1] || unfinished_[row - 1]) return;
  }
  finished_[0] = true;  // "ANGEBOT"/"Fertige", shown but not stored
}

void TypeFilter::Click(TypeColumn column, int row, bool checked, const std::string& ini_path) {
  if (!ValidRow(row)) return;
  Set(column, row, checked);
  try {
    TFastIniFile ini(ini_path);
    ini.WriteBool(SectionOf(column), std::to_string(row), checked);
    ini.UpdateFile();
  } catch (const std::exception&) {
    // An unwritable settings file leaves the click unstored, without a message.
  }
}

bool TypeFilter::Accepts(long long pot, long long status, bool auto_mode_active) const {
  if (auto_mode_active) return true;
  int row = RowOfTypeCode(static_cast<int>(pot & 127));
  if (row == 0) return false;
  int s = static_cast<int>(status & 255);
  return (s == 2 && finished_[row - 1]) || (s == 0 && unfinished_[row - 1]);
}

}  // namespace mrw::selection
