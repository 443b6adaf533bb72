// One sender account as the host's mail service keeps it (record TACC), with its nested
// IMAP settings (TIMAPSetup). Texts are UTF-8 here; the account files carry them as ANSI.
// The comment after each field gives its position in a line of the account format.
#pragma once

#include <cstdint>
#include <string>

#include "delivery/colour_names.h"

namespace mrw::delivery {

struct TIMAPSetup {
  std::string text1;     // 25, trimmed on load
  std::string text2;     // 26, trimmed on load
  std::string password;  // 27, protected in files
  std::string text4;     // 28
  bool flag1 = false;    // 29
  bool flag2 = false;    // 30
  std::string text5;     // 31
};

struct TACC {
  std::string popPort;          // 1, trimmed on load
  std::string popUser;          // 2, trimmed on load
  std::string popServer;        // 3, trimmed on load
  std::string popPassword;      // 4, protected in files
  bool flag5 = false;           // 5
  bool flag20 = false;          // 20
  std::string smtpServer;       // 6, trimmed on load
  std::string smtpUser;         // 7, trimmed on load
  std::string smtpPort;         // 8, trimmed on load
  std::string smtpPassword;     // 9, protected in files
  bool flag10 = false;          // 10
  bool flag21 = false;          // 21
  bool popUese = false;         // 17
  std::string bcc;              // 22, emptied on load when it holds no "@"
  std::string senderAddress;    // 23
  std::string senderName;       // 24
  std::string fileName;         // 11, reduced to its last path component
  uint32_t colour1 = 0;         // 12, 0 becomes kColourNone
  uint32_t colour2 = 0;         // 13
  std::string template1;        // 14, empty on load: kDefaultTemplate1
  std::string template2;        // 15, empty on load: kDefaultTemplate2
  std::string accountId;        // 18
  std::string displayName;      // 34, the account ID is shown when empty
  std::string text35;           // 35
  bool flag19 = false;          // 19
  int32_t kind = 0;             // 16, 0, 1 or 10 (anything else reads as 0)
  bool flag0 = false;           // 0
  TIMAPSetup imap;              // 25-31
  std::string text32;           // 32
  std::string text33;           // 33
  bool leaveOutFileName = false;  // not stored: field 11 is written empty when set
  std::string text36;           // 36

  // The text lists show: the display name, or the account ID when that is empty.
  const std::string& ShownName() const { return displayName.empty() ? accountId : displayName; }
};

inline constexpr const char* kDefaultTemplate1 =
    "<FONT  color=\"#000099FF\" size=\"14\" face=\"Tahoma\"><B>[NAME]</FONT><BR></B>"
    "<IMG src=\"idx:2\" align=\"middle\"><FONT  color=\"#000099FF\" size=\"10\" "
    "face=\"Tahoma\"><IND x=\"22\"><b>[CALLFROM]</b><BR><IND x=\"20\">Account:[CALLTO]";
inline constexpr const char* kDefaultTemplate2 =
    "<FONT  color=\"#000099FF\" size=\"20\" face=\"Tahoma\"><B>[NAME]</FONT><BR></B>"
    "<FONT  color=\"#000099FF\" size=\"10\" face=\"Tahoma\"><IND x=\"20\"><b>[CALLFROM]</b>";

}  // namespace mrw::delivery
