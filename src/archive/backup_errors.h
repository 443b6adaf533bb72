// The archive writer's error codes with their fixed texts, and the two dialogs it shows
// when no event handler is assigned: the error message and the request for the next
// volume. Both dialogs are replaceable function objects; the GUI installs its message
// boxes, and until then the error goes to stderr and the volume request is granted
// (volumes are files in the same folder here, there is no disk to change).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mrw::archive {

enum BackupError : int {
  kNoError = 0,
  kCannotReadFile = 1,           // a packed file cannot be opened or read, or its date written
  kOverwritingFailed = 2,        // restoring only
  kCannotReadArchive = 3,        // restoring only
  kCannotWriteArchive = 4,       // creating or writing the archive or a volume failed
  kInvalidArchiveType = 5,       // restoring only
  kCompressionError = 6,         // zlib could not be started or failed
  kCannotCreateTempFile = 7,     // the file list could not be saved to its temporary file
  kFileTooLarge = 8,             // a file or the total exceeds what an Int32 can state
};

// "Cannot read file", "Overwriting file failed", ... ; "" for codes without text.
std::string BackupErrorText(int code);

// The error box: caption "Fehler", the text, button "OK".
using ErrorReporter = std::function<void(int code, const std::string& text)>;
// The volume request: caption "Information", "Please insert disk %s and click OK to
// continue." with the buttons "OK" and "Abbrechen"; returns true for "OK".
using DiskRequester = std::function<bool(std::uint16_t disk)>;

// Install replacements; an empty function restores the default.
void SetDefaultErrorReporter(ErrorReporter reporter);
void SetDefaultDiskRequester(DiskRequester requester);

void ReportErrorByDefault(int code, const std::string& text);
bool RequestDiskByDefault(std::uint16_t disk);

// The text of the volume request for a disk number.
std::string DiskRequestText(std::uint16_t disk);

}  // namespace mrw::archive
