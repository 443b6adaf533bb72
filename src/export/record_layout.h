// The stored layouts of the host tables: the order record (Auftraege), the address record
// (Adressen), the settings table (setup.ADT), and the index tags the export tables carry.
//
// These are the definitions the program knows. Export tables are made by copying the
// host table's structure, so they carry whatever fields the host has (for instance EXTB
// on orders, which is not among the stored order definitions); the layouts here serve
// where a table is made from scratch (demo databases, tests) and to name the fields the
// code uses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/field.h"

namespace mrw {

// Table names and the files of a table (".ADT" rows, ".ADM" memo/binary, ".ADI" tags).
inline constexpr std::string_view kOrderTable = "Auftraege";
inline constexpr std::string_view kAddressTable = "Adressen";
inline constexpr std::string_view kSettingsTable = "setup";
inline constexpr std::string_view kOrderTableFile = "Auftraege.ADT";
inline constexpr std::string_view kAddressTableFile = "Adressen.ADT";
inline constexpr std::string_view kSettingsTableFile = "setup.ADT";

// The binary field of host orders that holds the extended order information.
inline constexpr std::string_view kExtendedInfoField = "EXTB";

// The 49 fields of the order record, in order (ID auto-increment).
const std::vector<db::FieldDef>& OrderRecordFields();
// The 49 fields of the address record as the host table has them (ID auto-increment).
const std::vector<db::FieldDef>& AddressRecordFields();
// setup.ADT: ID (auto-increment), Ident (integer), MemoItem (memo), stringItem (text
// 100), logo (binary).
const std::vector<db::FieldDef>& SettingsTableFields();

struct IndexTagDef {
  std::string tag;
  std::string expression;
  bool descending = false;
};

// The tags of the export order table in creation order: ID, ID_ORDER (descending),
// STATUS, ADRESSID, GTYP, OPEN_, DATE (descending).
const std::vector<IndexTagDef>& OrderIndexTags();
// The tag of the export address table: ID.
const std::vector<IndexTagDef>& AddressIndexTags();
// The tag of setup.ADT: IDENT on Ident.
const std::vector<IndexTagDef>& SettingsIndexTags();

}  // namespace mrw
