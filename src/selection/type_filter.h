// The type and status filter: ten document types with a "Fertige" (status 2) and an
// "Unfertige" (status 0) box each, stored per host database in MARROWBY.INI (section OP
// for "Fertige", OP1 for "Unfertige", key = row number 1..10). Invoices and credit notes
// (types 1 and 5) have no row; the base filter keeps them out of every view anyway.
#pragma once

#include <array>
#include <string>

namespace mrw::selection {

inline constexpr int kTypeRows = 10;

enum class TypeColumn { Finished = 1, Unfinished = 2 };  // grid columns 1 and 2

// The name of a document type code 1..13 ("RECHNUNG" .. "MULTI"); "" for other codes.
std::string DocumentTypeName(int code);
// Grid row 1..10 -> type code (2, 3, 4, 6, ..., 12); row for a type code (0 = no row).
int TypeCodeOfRow(int row);
int RowOfTypeCode(int code);

class TypeFilter {
 public:
  // All boxes cleared.
  TypeFilter() = default;

  // Loads the boxes from the MARROWBY.INI at `ini_path`; a missing or unreadable file
  // leaves them cleared. When no box is ticked afterwards, "ANGEBOT"/"Fertige" is ticked
  // (shown and filtering, not stored).
  void Load(const std::string& ini_path);

  // A click on a box: remembers the state and stores it in `ini_path` (write errors are
  // ignored: the click then just stays unstored).
  void Click(TypeColumn column, int row, bool checked, const std::string& ini_path);

  bool Checked(TypeColumn column, int row) const;
  void Set(TypeColumn column, int row, bool checked);

  // The per-row decision: POT's low 7 bits select the row, Status's low 8 bits must be 2
  // with "Fertige" ticked or 0 with "Unfertige" ticked. Everything is accepted while the
  // automatic mode runs.
  bool Accepts(long long pot, long long status, bool auto_mode_active) const;

 private:
  std::array<bool, kTypeRows> finished_{};
  std::array<bool, kTypeRows> unfinished_{};
};

}  // namespace mrw::selection
