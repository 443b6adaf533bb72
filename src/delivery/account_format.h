// The account format shared with the host's mail service (account list file and hand-over
// file alike): one line per account, 37 quoted fields in position order 0..36, each
// followed by a comma, the line ended by CR LF. Files are ANSI bytes; records are UTF-8.
//
// Field texts are escaped before quoting (0 -> "%0", LF -> "%n", CR -> "%c", "%" -> "%%";
// the two display templates also turn a double quote into "%|"); the three password fields
// are protected with the password cipher and then escaped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "delivery/account.h"

namespace mrw::delivery {

std::string EscapeAccountText(std::string_view bytes);
std::string EscapeAccountTemplate(std::string_view bytes);
// Reverses both escapes ("%|" is accepted in every field). A "%" that ends the text is
// dropped; a "%" before any other byte is kept together with that byte.
std::string UnescapeAccountText(std::string_view bytes);

// One line in the account format, CR LF included, exactly as the record stands (callers
// that write files apply the write rules of TAccounts first).
std::string FormatAccountLine(const TACC& account);

// Reads every complete line (ended by CR) of an account file into records, converted and
// normalised as loading requires: unprotected passwords, unreadable colours and colour 0 as
// no colour, account kinds other than 0, 1, 10 as 0, a BCC text without "@" dropped,
// default display templates for empty ones, the eight server/user/port fields trimmed, the
// file name reduced to its last path component. A trailing line without CR is not read;
// empty lines are skipped; fields missing from a short line stay empty.
std::vector<TACC> ParseAccountFile(std::string_view bytes);

// Blanks and control characters removed at both ends.
std::string TrimBlanksAndControls(std::string_view text);
// The last component of a path written with "\", "/" or a drive colon.
std::string LastPathComponent(std::string_view path);

}  // namespace mrw::delivery
