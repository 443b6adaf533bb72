#include "export/record_layout.h"

namespace mrw {

namespace {

using db::FieldDef;
using db::FieldType;

FieldDef F(std::string name, FieldType type, int length = 0) { return FieldDef{std::move(name), type, length}; }

std::vector<FieldDef> MakeOrderFields() {
  using T = FieldType;
  return {
      F("ID", T::AutoInc),          F("ID_ORDER", T::Integer),      F("Endtext", T::Memo),
      F("Footertext", T::Memo),     F("Headertext", T::Memo),       F("ColumnsFormat", T::Binary),
      F("Datas", T::Memo),          F("ZZL", T::Text, 50),          F("ZZR", T::Text, 50),
      F("ZZD", T::Date),            F("POT", T::ShortInt),          F("COT", T::ShortInt),
      F("Typ", T::Text, 50),        F("GTyp", T::Text, 50),         F("Status", T::ShortInt),
      F("Statustext", T::Text, 50), F("InternText", T::Memo),       F("FromText", T::Text, 50),
      F("FromDate", T::Date),       F("Date", T::Date),             F("KNR", T::Text, 50),
      F("Adress", T::Memo),         F("AdressName", T::Text, 50),   F("AdressID", T::Integer),
      F("WW_NETTO", T::Double),     F("WW_BRUTTO", T::Double),      F("OPEN_", T::Double),
      F("Caption", T::Text, 30),    F("PrintName", T::Text, 30),    F("DataGrid", T::Logical),
      F("DataGrid_DM", T::Logical), F("InfoSumme", T::Logical),     F("Summe", T::Logical),
      F("Header", T::Logical),      F("Footer", T::Logical),        F("Endt", T::Logical),
      F("ZZ", T::Logical),          F("Enabled", T::Logical),       F("ParentName", T::Text, 30),
      F("Parenttype", T::ShortInt), F("protect", T::Logical),       F("gridedit", T::Logical),
      F("dataingrid", T::Logical),  F("data_netto", T::Logical),    F("steuer_low_set", T::Double),
      F("steuer_high_set", T::Double), F("GZS", T::Memo),           F("MS", T::ShortInt),
      F("MD", T::Date),
  };
}

std::vector<FieldDef> MakeAddressFields() {
  using T = FieldType;
  std::vector<FieldDef> f = {
      F("ID", T::AutoInc),     F("NName", T::Text, 40),   F("Anrede", T::Text, 40),
      F("VName", T::Text, 40), F("Abt", T::Text, 40),     F("Strasse", T::Text, 40),
      F("Plz", T::Text, 5),    F("Ort", T::Text, 30),     F("1caption", T::Text, 40),
  };
  for (int i = 2; i <= 12; ++i) f.push_back(F(std::to_string(i) + "caption", T::Text, 30));
  for (int i = 1; i <= 12; ++i) f.push_back(F("Wert" + std::to_string(i), T::Text, 30));
  f.push_back(F("match0", T::Text, 50));
  for (int i = 1; i <= 4; ++i) f.push_back(F("match" + std::to_string(i), T::Text, 10));
  f.push_back(F("Memo", T::Memo));
  f.push_back(F("KNR", T::Text, 20));
  for (int i = 42; i <= 47; ++i) f.push_back(F("adr_" + std::to_string(i) + "_", T::Text, 20));
  f.push_back(F("GSCH", T::Logical));
  f.push_back(F("Anrede2", T::Text, 40));
  f.push_back(F("EXTB", T::Binary));
  f.push_back(F("GR", T::Text, 40));
  return f;
}

}  // namespace

const std::vector<db::FieldDef>& OrderRecordFields() {
  static const std::vector<db::FieldDef> fields = MakeOrderFields();
  return fields;
}

const std::vector<db::FieldDef>& AddressRecordFields() {
  static const std::vector<db::FieldDef> fields = MakeAddressFields();
  return fields;
}

const std::vector<db::FieldDef>& SettingsTableFields() {
  static const std::vector<db::FieldDef> fields = {
      F("ID", FieldType::AutoInc),        F("Ident", FieldType::Integer), F("MemoItem", FieldType::Memo),
      F("stringItem", FieldType::Text, 100), F("logo", FieldType::Binary),
  };
  return fields;
}

const std::vector<IndexTagDef>& OrderIndexTags() {
  static const std::vector<IndexTagDef> tags = {
      {"ID", "ID", false},         {"ID_ORDER", "ID_ORDER", true}, {"STATUS", "Status", false},
      {"ADRESSID", "AdressID", false}, {"GTYP", "GTyp", false},    {"OPEN_", "OPEN_", false},
      {"DATE", "Date", true},
  };
  return tags;
}

const std::vector<IndexTagDef>& AddressIndexTags() {
  static const std::vector<IndexTagDef> tags = {{"ID", "ID", false}};
  return tags;
}

const std::vector<IndexTagDef>& SettingsIndexTags() {
  static const std::vector<IndexTagDef> tags = {{"IDENT", "Ident", false}};
  return tags;
}

}  // namespace mrw
