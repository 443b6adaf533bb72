#include "archive/backup_errors.h"

#include <iostream>
#include <mutex>

namespace mrw::archive {

namespace {

std::mutex& HookMutex() {
  static std::mutex mutex;
  return mutex;
}
ErrorReporter& Reporter() {
  static ErrorReporter reporter;
  return reporter;
}
DiskRequester& Requester() {
  static DiskRequester requester;
  return requester;
}

}  // namespace

std::string BackupErrorText(int code) {
  switch (code) {
    case kCannotReadFile: return "Cannot read file";
    case kOverwritingFailed: return "Overwriting file failed";
    case kCannotReadArchive: return "Cannot read archive";
    case kCannotWriteArchive: return "Cannot write to archive";
    case kInvalidArchiveType: return "Invalid archive type";
    case kCompressionError: return "Compression error";
    case kCannotCreateTempFile: return "Cannot create temporary file to save the file IDs";
    case kFileTooLarge: return "File too large for the archive";
    default: return "";
  }
}

void SetDefaultErrorReporter(ErrorReporter reporter) {
  std::lock_guard lock(HookMutex());
  Reporter() = std::move(reporter);
}

void SetDefaultDiskRequester(DiskRequester requester) {
  std::lock_guard lock(HookMutex());
  Requester() = std::move(requester);
}

void ReportErrorByDefault(int code, const std::string& text) {
  ErrorReporter reporter;
  {
    std::lock_guard lock(HookMutex());
    reporter = Reporter();
  }
  if (reporter) {
    reporter(code, text);
    return;
  }
  std::cerr << "Fehler: " << text << "\n";
}

bool RequestDiskByDefault(std::uint16_t disk) {
  DiskRequester requester;
  {
    std::lock_guard lock(HookMutex());
    requester = Requester();
  }
  return requester ? requester(disk) : true;
}

std::string DiskRequestText(std::uint16_t disk) {
  return "Please insert disk " + std::to_string(disk) + " and click OK to continue.";
}

}  // namespace mrw::archive
