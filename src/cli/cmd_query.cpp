// mrw query: the rows of a table's view (filter expression, index tag), TAB-separated.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/table_text.h"
#include "db/connection.h"
#include "db/table.h"
#include "foundation/errors.h"

namespace mrw::cli {
namespace {

void AppendValue(std::string& out, db::FieldType type, const db::Value& v) {
  if (db::IsNull(v)) return;
  switch (type) {
    case db::FieldType::Text:
    case db::FieldType::Memo: out += EscapeTabText(std::get<std::string>(v)); return;
    case db::FieldType::Binary: out += std::to_string(std::get<std::string>(v).size()); return;
    case db::FieldType::Logical: out += db::ValueAsBoolean(type, v) ? "T" : "F"; return;
    default: out += db::ValueAsString(type, v);
  }
}

std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i = 0; i <= list.size(); ++i)
    if (i == list.size() || list[i] == ',') {
      if (i > start) out.push_back(list.substr(start, i - start));
      start = i + 1;
    }
  return out;
}

int RunQuery(const std::vector<std::string>& args) {
  ParsedArgs parsed = ParseArgs(args, {"filter", "index", "fields"});
  if (parsed.positional.size() != 2) throw UsageError("needs DIR and TABLE");
  OpenedTable opened(parsed.positional[0], parsed.positional[1]);
  db::Table& table = opened.table;

  std::vector<size_t> columns;
  if (auto list = parsed.Value("fields")) {
    for (const auto& name : SplitNames(*list)) {
      int i = table.FieldIndex(name);
      if (i < 0) throw Error("Feld " + name + " nicht gefunden (Tabelle " + table.TableName() + ")");
      columns.push_back(static_cast<size_t>(i));
    }
    if (columns.empty()) throw UsageError("--fields names no field");
  } else {
    for (size_t i = 0; i < table.Fields().size(); ++i) columns.push_back(i);
  }
  if (auto tag = parsed.Value("index")) table.SetIndex(*tag);
  if (auto filter = parsed.Value("filter")) {
    table.SetFilter(*filter);
    table.SetFiltered(true);
  }

  std::string out;
  for (size_t k = 0; k < columns.size(); ++k) out += (k ? "\t" : "") + table.Fields()[columns[k]].name;
  out += '\n';
  for (table.First(); !table.Eof(); table.Next()) {
    for (size_t k = 0; k < columns.size(); ++k) {
      if (k) out += '\t';
      db::Field f = table.FieldAt(columns[k]);
      AppendValue(out, f.Type(), f.AsValue());
    }
    out += '\n';
    if (out.size() > (1 << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

MRW_COMMAND(Command{
    "query",
    "print the rows of a table (filter, index order, chosen fields)",
    "usage: mrw query DIR TABLE [--filter EXPR] [--index TAG] [--fields F1,F2,...]\n\n"
    "Prints a header line with the field names, then one line per row of the view in view\n"
    "order, TAB-separated: dates DD.MM.YYYY, null as empty, logical T/F, doubles with \".\",\n"
    "texts and memos with backslash, TAB, CR and LF written as \\\\, \\t, \\r, \\n, binary\n"
    "fields as their length in bytes. TABLE is a file name such as Auftraege.ADT (\".ADT\"\n"
    "may be left out; the letter case need not match). EXPR is a filter expression such as\n"
    "'POT<>1 AND DATE>\"04.03.2024\"'; a rejected one prints the engine's error (exit 1).\n",
    RunQuery});

}  // namespace
}  // namespace mrw::cli
