// Subcommands of mrw. Each subcommand lives in its own file and registers itself with
// MRW_COMMAND; main() dispatches on the first argument.
//
// A command's run function gets the arguments after its name. It returns the exit code;
// it throws UsageError for wrong arguments (exit 2, usage on stderr) and mrw::Error or any
// std::exception for failures (message on stderr, exit 1).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace mrw::cli {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Command {
  std::string name;     // "ini", "pack", ...
  std::string summary;  // one line for `mrw --help`
  std::string help;     // full text for `mrw NAME --help` (usage lines first)
  std::function<int(const std::vector<std::string>&)> run;
};

bool RegisterCommand(Command command);
const std::map<std::string, Command>& Commands();

// Splits arguments into options and positionals. `valued` names the options that take a
// value (`--name VALUE` or `--name=VALUE`), `flags` those that do not. Anything else that
// starts with "--" is a usage error; "--" ends the options.
struct ParsedArgs {
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  std::vector<std::string> positional;

  bool Has(const std::string& name) const { return values.count(name) || flags.count(name); }
  std::optional<std::string> Value(const std::string& name) const;
  std::string ValueOr(const std::string& name, const std::string& fallback) const;
};

ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valued,
                     const std::set<std::string>& flags = {});

}  // namespace mrw::cli

#define MRW_CLI_CONCAT2(a, b) a##b
#define MRW_CLI_CONCAT(a, b) MRW_CLI_CONCAT2(a, b)
#define MRW_COMMAND(...) \
  static const bool MRW_CLI_CONCAT(mrw_command_registered_, __LINE__) = ::mrw::cli::RegisterCommand(__VA_ARGS__)
