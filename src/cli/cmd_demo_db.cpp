// mrw demo-db: makes a demo host database folder.
#include <iostream>
#include <limits>

#include "cli/command.h"
#include "export/demo_host_database.h"
#include "foundation/dates.h"

namespace mrw::cli {
namespace {

long long ParseNumber(const std::string& option, const std::string& text, long long min, long long max) {
  size_t used = 0;
  long long v = 0;
  try {
    v = std::stoll(text, &used, 10);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || v < min || v > max) {
    throw UsageError("--" + option + " needs a whole number from " + std::to_string(min) + " to " +
                     std::to_string(max) + ", not '" + text + "'");
  }
  return v;
}

int Run(const std::vector<std::string>& args) {
  ParsedArgs parsed = ParseArgs(args, {"orders", "seed", "today"});
  if (parsed.positional.size() != 1) throw UsageError("expects exactly one folder");
  DemoDatabaseOptions options;
  if (auto v = parsed.Value("orders")) options.orders = static_cast<int>(ParseNumber("orders", *v, 0, 10000000));
  if (auto v = parsed.Value("seed")) {
    options.seed = static_cast<uint64_t>(ParseNumber("seed", *v, 0, std::numeric_limits<long long>::max()));
  }
  if (auto v = parsed.Value("today")) {
    auto d = ParseDateText(*v);
    if (!d) throw UsageError("--today needs a date DD.MM.YYYY, not '" + *v + "'");
    options.today = *d;
  }
  DemoDatabaseSummary s = CreateDemoHostDatabase(parsed.positional[0], options);
  std::cout << s.orders << " orders, " << s.addresses << " addresses (" << s.orders_without_address
            << " orders without address), " << s.letter_files << " letter files, " << s.attachment_folders
            << " attachment folders in " << parsed.positional[0] << "\n";
  return 0;
}

MRW_COMMAND(Command{
    "demo-db",
    "make a demo host database folder",
    "usage: mrw demo-db DIR [--orders N] [--seed S] [--today DD.MM.YYYY]\n"
    "\n"
    "Creates a host database in DIR (made when missing): Auftraege.ADT, Adressen.ADT,\n"
    "setup.ADT, letter files and attachment folders, for trying the wizard.\n"
    "  --orders N   number of orders (default 2000)\n"
    "  --seed S     seed of the generator; the same seed gives the same database (default 1)\n"
    "  --today D    the date the orders are dated around (default: today)\n"
    "DIR must not hold a database already.\n",
    Run,
});

}  // namespace
}  // namespace mrw::cli
