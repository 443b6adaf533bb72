#include "export/export_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "export/locale_time.h"
#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/folders.h"
#include "foundation/paths.h"
#include "foundation/unique_fd.h"

namespace mrw {
namespace {

constexpr int kOpenAttempts = 100;
constexpr auto kRetryPause = std::chrono::milliseconds(100);

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlankOrControl(s[b])) ++b;
  while (e > b && IsBlankOrControl(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string OpenFailure(const std::string& path, int err) {
  return "Datei " + path + " kann nicht geöffnet werden: " + std::strerror(err);
}

// One attempt: open for appending (creating it when missing) and take the exclusive lock
// without waiting. -1 and the reason when either fails.
int TryOpenLocked(const std::string& path, std::string& failure) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) {
    failure = OpenFailure(path, errno);
    return -1;
  }
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    failure = (errno == EWOULDBLOCK)
                  ? "Datei " + path + " wird von einem anderen Prozess benutzt"
                  : OpenFailure(path, errno);
    return -1;
  }
  return fd.release();
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw InOutError("Datei " + path + " kann nicht geschrieben werden: " + std::strerror(errno),
                       errno);
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace

std::string ExportLogPath(const std::string& host_folder) {
  return AddPathDelimiter(host_folder) + "MRW/exported.txt";
}

std::string OrderDescription(std::string_view print_name, std::string_view id_order,
                             std::string_view adress) {
  std::string raw = std::string(print_name) + " " + std::string(id_order) + " " + std::string(adress);
  std::string joined;
  joined.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
      joined += ' ';
      ++i;
    } else if (raw[i] == '\r' || raw[i] == '\n') {
      // A lone break would split the order's line in two.
      joined += ' ';
    } else {
      joined += raw[i];
    }
  }
  return Trim(joined);
}

std::string ExportLogLine(DateTime when, std::string_view action, std::string_view description) {
  return ExportTimeStamp(when) + " " + std::string(action) + " " + std::string(description) + "\r\n";
}

std::string MarkedHistory(DateTime when, std::string_view previous) {
  return DateTimeText(when) + " exportiert\r\n" + std::string(previous);
}

void AppendToExportLog(const std::string& path, std::string_view text) {
  ForceFolders(ExtractFilePath(path));
  std::string failure;
  int raw = -1;
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    raw = TryOpenLocked(path, failure);
    if (raw >= 0) break;
    if (attempt < kOpenAttempts) std::this_thread::sleep_for(kRetryPause);
  }
  if (raw < 0) throw InOutError(failure, 0);
  UniqueFd fd(raw);
  WriteAll(fd.get(), Utf8ToAnsi(text), path);
  if (::close(fd.release()) != 0) {
    throw InOutError("Datei " + path + " kann nicht geschrieben werden: " + std::strerror(errno), errno);
  }
}

void LogExport(db::Connection& host_connection, db::Table& host_orders,
               const ExportState& state, const std::string& action,
               const std::function<DateTime()>& now) {
  // Which of the orders the view still shows: one walk through it. (Positioning the view
  // on each order after a mark was posted would read the whole view anew every time.)
  std::unordered_map<int32_t, db::Bookmark> visible;
  std::optional<int32_t> last_found;
  if (!state.ExportedOrderIds.empty()) {
    std::unordered_set<int32_t> wanted(state.ExportedOrderIds.begin(), state.ExportedOrderIds.end());
    if (!host_orders.HasField("ID")) throw Error("Feld ID nicht gefunden");
    const size_t id_field = static_cast<size_t>(host_orders.FieldIndex("ID"));
    for (host_orders.First(); !host_orders.Eof(); host_orders.Next()) {
      int32_t id = static_cast<int32_t>(host_orders.FieldAt(id_field).AsInteger());
      if (wanted.count(id)) visible.emplace(id, host_orders.GetBookmark());
    }
  }

  // The marks go through a table of their own, filtered to the one order being marked.
  db::Table marker(host_connection, host_orders.TableName());
  std::string buffer;
  std::exception_ptr failure;
  bool in_transaction = false;
  try {
    if (!visible.empty()) {
      marker.Open();
      // One transaction for all marks: a post of its own per order would make every mark
      // wait for the disk. What was posted before a failure is still committed, as each
      // mark would have been on its own.
      marker.StartTransaction();
      in_transaction = true;
    }
    for (int32_t id : state.ExportedOrderIds) {
      if (!visible.count(id)) continue;
      marker.SetFilter("ID=" + std::to_string(id));
      marker.SetFiltered(true);
      marker.First();
      if (marker.Eof()) continue;  // deleted since the walk
      last_found = id;
      const DateTime when = now();
      std::string line = ExportLogLine(
          when, action,
          OrderDescription(marker.FieldByName("PrintName").AsString(),
                           marker.FieldByName("ID_ORDER").AsString(),
                           marker.FieldByName("Adress").AsString()));
      marker.Edit();
      try {
        db::Field gzs = marker.FieldByName("GZS");
        gzs.SetString(MarkedHistory(when, gzs.AsString()));
        marker.Post();
      } catch (...) {
        if (marker.state() == db::Table::State::Edit) marker.Cancel();
        throw;
      }
      // Only a marked order is logged, so the file and the marks agree.
      buffer += line;
    }
  } catch (...) {
    failure = std::current_exception();
  }
  if (in_transaction) {
    try {
      marker.Commit();
    } catch (...) {
      // Nothing was marked after all, so nothing may be logged.
      try {
        marker.Rollback();
      } catch (...) {
      }
      buffer.clear();
      if (!failure) failure = std::current_exception();
    }
  }
  marker.Close();

  if (last_found) {
    try {
      host_orders.Refresh();
      host_orders.GotoBookmark(visible[*last_found]);
    } catch (const std::exception&) {
      // Only the grid's position; the marks and the log are what count.
    }
  }

  if (!host_connection.Path().empty()) {
    if (failure) {
      try {
        AppendToExportLog(ExportLogPath(host_connection.Path()), buffer);
      } catch (const std::exception&) {
        // The marking error is the one the user needs to see.
      }
    } else {
      AppendToExportLog(ExportLogPath(host_connection.Path()), buffer);
    }
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace mrw
