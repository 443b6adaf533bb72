// The UserMode.INI accessors: single keys of section "MODE" of the file "UserMode.INI" in
// a folder (the caller's, or the program's own folder when the caller passes ""). Every
// call opens the file, reads or writes one key and closes it again.
//
// Texts are stored quoted (enclosed in double quotes, inner double quotes doubled), so an
// empty text is stored as "" and a ";" inside a text is no comment. A stored value that
// starts with a double quote is unquoted on reading; any other value is taken as it is.
// With `write_back`, a read stores the value it yields (the stored one or the default),
// so that the key exists afterwards.
//
// Settings must never stop the program: every failure (no folder, a held file, a key the
// file cannot hold) is swallowed; a read then yields the default, a write does nothing.
// An empty key does nothing and reads as the default.
#pragma once

#include <string>

namespace mrw {

void UserModeWriteBool(const std::string& key, bool value, const std::string& folder = "");
void UserModeWriteInteger(const std::string& key, int value, const std::string& folder = "");
void UserModeWriteString(const std::string& key, const std::string& value, const std::string& folder = "");

bool UserModeReadBool(const std::string& key, bool def, const std::string& folder = "", bool write_back = false);
int UserModeReadInteger(const std::string& key, int def, const std::string& folder = "", bool write_back = false);
std::string UserModeReadString(const std::string& key, const std::string& def, const std::string& folder = "",
                               bool write_back = false);

// "a\"b" -> "\"a\"\"b\""; the reverse stops at the first single quote after the opening one.
std::string QuoteUserModeText(const std::string& text);
std::string UnquoteUserModeText(const std::string& stored);

}  // namespace mrw
