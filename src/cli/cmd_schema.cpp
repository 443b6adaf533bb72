// mrw schema: the fields and index tags of a table.
#include <iostream>

#include "cli/command.h"
#include "cli/table_text.h"
#include "db/connection.h"
#include "db/table.h"

namespace mrw::cli {
namespace {

int RunSchema(const std::vector<std::string>& args) {
  ParsedArgs parsed = ParseArgs(args, {});
  if (parsed.positional.size() != 2) throw UsageError("needs DIR and TABLE");
  OpenedTable opened(parsed.positional[0], parsed.positional[1]);
  const db::Table& table = opened.table;
  for (const auto& f : table.Fields())
    std::cout << "field\t" << f.name << "\t" << db::FieldTypeName(f.type) << "\t" << f.length << "\n";
  for (const auto& t : table.IndexTags())
    std::cout << "index\t" << t.name << "\t" << t.expression << "\t" << (t.descending ? "descending" : "ascending")
              << "\n";
  return 0;
}

MRW_COMMAND(Command{
    "schema",
    "print the fields and index tags of a table",
    "usage: mrw schema DIR TABLE\n\n"
    "Prints one line per field, \"field<TAB>name<TAB>type<TAB>length\" in field order (types:\n"
    "autoinc, integer, shortint, text, memo, binary, date, double, logical; the length is\n"
    "that of text fields, else 0), then one line per index tag in creation order,\n"
    "\"index<TAB>tag<TAB>expression<TAB>ascending|descending\".\n",
    RunSchema});

}  // namespace
}  // namespace mrw::cli
