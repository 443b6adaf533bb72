// Starting other programs.
#pragma once

#include <string>
#include <vector>

namespace mrw {

// Splits a command line into words: spaces and tabs separate words outside double quotes;
// the quotes group and are dropped ("" makes an empty word); \" stands for a quote
// character; every other backslash is itself.
std::vector<std::string> SplitCommandLine(const std::string& line);

// Starts the command line `command` [+ " " + `parameters`] as a new process (the first
// word is the program, looked up in PATH when it has no "/"); only the standard streams
// are passed on. Returns the process id, 0 when it could not be started.
// With `wait`, polls every 100 ms until the process has ended and lets the UI's pending
// events run in between (ProcessPendingEvents). Without, the process is reaped in the
// background when it ends: the caller must not wait for the id itself.
int RunProgram(const std::string& command, const std::string& parameters, bool wait);

}  // namespace mrw
