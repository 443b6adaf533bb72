#include "cli/command.h"

namespace mrw::cli {

namespace {
std::map<std::string, Command>& Registry() {
  static std::map<std::string, Command> registry;
  return registry;
}
}  // namespace

bool RegisterCommand(Command command) {
  std::string name = command.name;
  Registry().emplace(name, std::move(command));
  return true;
}

const std::map<std::string, Command>& Commands() { return Registry(); }

std::optional<std::string> ParsedArgs::Value(const std::string& name) const {
  auto it = values.find(name);
  if (it == values.end()) return std::nullopt;
  return it->second;
}

std::string ParsedArgs::ValueOr(const std::string& name, const std::string& fallback) const {
  auto v = Value(name);
  return v ? *v : fallback;
}

ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valued,
                     const std::set<std::string>& flags) {
  ParsedArgs out;
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_done || a.size() < 3 || a.compare(0, 2, "--") != 0) {
      if (a == "--") {
        options_done = true;
        continue;
      }
      out.positional.push_back(a);
      continue;
    }
    std::string name = a.substr(2);
    std::optional<std::string> inline_value;
    if (auto eq = name.find('='); eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    if (valued.count(name)) {
      if (inline_value) {
        out.values[name] = *inline_value;
      } else {
        if (i + 1 >= args.size()) throw UsageError("option --" + name + " needs a value");
        out.values[name] = args[++i];
      }
    } else if (flags.count(name) && !inline_value) {
      out.flags.insert(name);
    } else {
      throw UsageError("unknown option --" + name);
    }
  }
  return out;
}

}  // namespace mrw::cli
