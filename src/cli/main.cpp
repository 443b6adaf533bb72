// mrw: the command-line companion of Marrowby.
#include <cstdio>
#include <exception>
#include <iostream>

#include "cli/command.h"

namespace {

void PrintOverview(std::ostream& out) {
  out << "usage: mrw COMMAND [ARGS...]\n"
         "       mrw COMMAND --help\n\n"
         "commands:\n";
  for (const auto& [name, cmd] : mrw::cli::Commands()) {
    out << "  " << name;
    for (size_t i = name.size(); i < 12; ++i) out << ' ';
    out << cmd.summary << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintOverview(std::cerr);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintOverview(std::cout);
    return 0;
  }
  const auto& commands = mrw::cli::Commands();
  auto it = commands.find(args[0]);
  if (it == commands.end()) {
    std::cerr << "mrw: unknown command '" << args[0] << "'\n";
    PrintOverview(std::cerr);
    return 2;
  }
  const mrw::cli::Command& cmd = it->second;
  std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const auto& a : rest) {
    if (a == "--") break;
    if (a == "--help" || a == "-h") {
      std::cout << cmd.help;
      return 0;
    }
  }
  try {
    int rc = cmd.run(rest);
    std::cout.flush();
    return rc;
  } catch (const mrw::cli::UsageError& e) {
    std::cerr << "mrw " << cmd.name << ": " << e.what() << "\n" << cmd.help;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "mrw " << cmd.name << ": " << e.what() << "\n";
    return 1;
  }
}
