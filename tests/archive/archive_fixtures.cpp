#include "archive_fixtures.h"

#include <zlib.h>

#include <stdexcept>

namespace mrw::archive::test {

std::string FreshZlib(const std::string& data, int level) {
  z_stream s{};
  if (deflateInit2(&s, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&s, data.size()), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

void Record(TBackupFile& writer, RunLog& log, std::function<void(const std::string&, int, bool&)> also) {
  writer.OnProgress = [&log, also](TBackupFile&, const std::string& name, std::uint8_t percent, bool& cont) {
    log.percents.push_back(percent);
    log.names.push_back(name);
    if (also) also(name, percent, cont);
  };
  writer.OnError = [&log](TBackupFile&, int code, const std::string&) { log.errors.push_back(code); };
}

}  // namespace mrw::archive::test
