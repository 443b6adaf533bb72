// The table engine on a 100,000-order host database against the sqlite3 command-line
// tool running the nearest SQL on the same files in the same run:
//   1. open the order table and show the first 50 rows of a 31-day date filter with the
//      type callback, in DATE order (goal: <= 100 ms);
//   2. the full count of that view;
//   3. insert 10,000 order rows into a fresh export table;
//   4. edit and post rows of the 31-day view one after another, stepping on with Next
//      (the peer: one UPDATE per row, each its own transaction).
// Goal for each: at most 3 times the sqlite3 time. Every figure is the median of a few
// runs. The database comes from `mrw demo-db`; when that command is not available, the
// benchmark writes an order table of the same shape through the engine itself.
//
// usage: bench_engine [--orders N] [--keep]
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/table.h"
#include "export/record_layout.h"
#include "foundation/dates.h"

namespace fs = std::filesystem;
using namespace mrw;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double TimeMs(const std::function<void()>& f) {
  auto s = Clock::now();
  f();
  return Ms(Clock::now() - s);
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

int Shell(const std::string& cmd) {
  int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// The type and status boxes of a typical user: finished documents of types 2, 3, 4, 6,
// 7 and unfinished ones of types 2 and 7 (the low 7 bits of POT, the low 8 of Status).
bool TypeBoxes(long pot, long status) {
  long t = pot & 127, s = status & 255;
  bool fin = t == 2 || t == 3 || t == 4 || t == 6 || t == 7;
  bool unfin = t == 2 || t == 7;
  return (fin && s == 2) || (unfin && s == 0);
}

// Writes an order table like the demo database's through the engine.
void GenerateOrders(const std::string& folder, int n, DateTime today) {
  auto fields = OrderRecordFields();
  fields.push_back({"EXTB", db::FieldType::Binary, 0});
  db::Table::Create(folder + "/Auftraege.ADT", fields);
  db::Connection c;
  c.SetPath(folder);
  c.Open();
  db::Table t(c, "Auftraege.ADT");
  t.Open(true);
  std::mt19937 rng(7);
  auto pick = [&](int k) { return static_cast<int>(rng() % static_cast<unsigned>(k)); };
  const int pots[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 130, 133};
  t.StartTransaction();
  for (int i = 0; i < n; ++i) {
    t.Insert();
    t.FieldByName("ID_ORDER").SetInteger(200000 + i);
    t.FieldByName("POT").SetInteger(pots[pick(15)]);
    t.FieldByName("COT").SetInteger(1);
    t.FieldByName("Status").SetInteger(pick(3));
    t.FieldByName("Typ").SetString("ANGEBOT");
    t.FieldByName("GTyp").SetString("ANGEBOT");
    t.FieldByName("Statustext").SetString(pick(2) ? "fertig" : "offen");
    t.FieldByName("Date").SetDate(today - 60 + pick(64));
    t.FieldByName("KNR").SetString("K" + std::to_string(10000 + pick(5000)));
    t.FieldByName("AdressName").SetString("Kunde " + std::to_string(pick(5000)));
    t.FieldByName("AdressID").SetInteger(1 + pick(5000));
    t.FieldByName("Adress").SetString("Firma Beispiel\r\nHauptstraße 1\r\n12345 Musterstadt");
    t.FieldByName("Endtext").SetString(std::string(120, 'e'));
    t.FieldByName("Datas").SetString(std::string(300, 'd'));
    t.FieldByName("WW_NETTO").SetFloat(pick(100000) / 100.0);
    t.FieldByName("WW_BRUTTO").SetFloat(pick(100000) / 100.0);
    t.FieldByName("OPEN_").SetFloat(pick(1000) / 10.0);
    t.FieldByName("PrintName").SetString("Angebot");
    t.FieldByName("Enabled").SetBoolean(true);
    std::string extb(200, '\0');
    for (char& ch : extb) ch = static_cast<char>(pick(256));
    t.FieldByName("EXTB").SetBytes(extb);
    t.Post();
  }
  t.Commit();
  for (const auto& tag : OrderIndexTags()) t.AddIndex(tag.tag, tag.expression, tag.descending);
}

// Column names of the rows table ("c<id>") by field name, read from the table file.
std::string ColumnOf(sqlite3* db, const std::string& field) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT id FROM fields WHERE upper(name)=upper(?)", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, field.c_str(), -1, SQLITE_TRANSIENT);
  std::string out;
  if (sqlite3_step(st) == SQLITE_ROW) out = "c" + std::to_string(sqlite3_column_int64(st, 0));
  sqlite3_finalize(st);
  if (out.empty()) throw std::runtime_error("no field " + field);
  return out;
}

std::string SqlLiteral(const db::Value& v, bool blob) {
  if (db::IsNull(v)) return "NULL";
  if (auto i = std::get_if<int64_t>(&v)) return std::to_string(*i);
  if (auto d = std::get_if<double>(&v)) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", *d);
    return buf;
  }
  const std::string& s = std::get<std::string>(v);
  if (blob) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "X'";
    for (unsigned char ch : s) {
      out += hex[ch >> 4];
      out += hex[ch & 15];
    }
    return out + "'";
  }
  std::string out = "'";
  for (char ch : s) {
    if (ch == '\'') out += '\'';
    out += ch;
  }
  return out + "'";
}

void Report(const char* what, double ours, double peer, const char* goal_text, bool goal_met) {
  std::printf("%-46s engine %9.1f ms   sqlite3 %9.1f ms   ratio %5.2f   %s %s\n", what, ours, peer, ours / peer,
              goal_text, goal_met ? "ok" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  int orders = 100000;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--orders" && i + 1 < argc) orders = std::atoi(argv[++i]);
    else if (a == "--keep") keep = true;
    else {
      std::fprintf(stderr, "usage: bench_engine [--orders N] [--keep]\n");
      return 2;
    }
  }
  if (Shell("command -v sqlite3 >/dev/null") != 0) {
    std::fprintf(stderr, "bench_engine: the sqlite3 command-line tool is needed as the peer\n");
    return 1;
  }
  std::string tmpl = (fs::temp_directory_path() / "mrw-bench-engine-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) return 1;
  const std::string root = tmpl, host = root + "/host", work = root + "/work";
  fs::create_directories(work);
  const DateTime today = DateOf(NowLocal());

  auto made = Clock::now();
  std::string demo = Q(MRW_BIN) + " demo-db " + Q(host) + " --orders " + std::to_string(orders) +
                     " --seed 7 --today " + DateText(today) + " >/dev/null 2>&1";
  if (Shell(demo) == 0) {
    std::printf("host database: mrw demo-db, %d orders (%.1f s)\n", orders, Ms(Clock::now() - made) / 1000);
  } else {
    fs::create_directories(host);
    GenerateOrders(host, orders, today);
    std::printf("host database: mrw demo-db not available; %d orders written through the engine (%.1f s)\n", orders,
                Ms(Clock::now() - made) / 1000);
  }
  const std::string host_adt = host + "/Auftraege.ADT";

  sqlite3* raw = nullptr;
  sqlite3_open_v2(host_adt.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  const std::string c_pot = ColumnOf(raw, "POT"), c_status = ColumnOf(raw, "Status"), c_date = ColumnOf(raw, "Date");
  std::vector<std::string> grid = {"ID_ORDER", "Typ", "Date", "KNR", "AdressName"};
  std::string grid_cols;
  for (const auto& f : grid) grid_cols += (grid_cols.empty() ? "" : ",") + ColumnOf(raw, f);
  sqlite3_close(raw);

  // The "30Tage" view: the 31 days up to today, exclusive bounds one day outside.
  const std::string filter = " (POT<>1 ) AND  (POT<>5) AND DATE>\"" + DateText(today - 31) + "\" and DATE<\"" +
                             DateText(today + 1) + "\"";
  const std::string types_sql = "(((" + c_pot + "&127) IN (2,3,4,6,7) AND (" + c_status + "&255)=2) OR ((" + c_pot +
                                "&127) IN (2,7) AND (" + c_status + "&255)=0))";
  const std::string where = c_pot + "<>1 AND " + c_pot + "<>5 AND " + c_date + ">" +
                            std::to_string(static_cast<long>(today - 31)) + " AND " + c_date + "<" +
                            std::to_string(static_cast<long>(today + 1)) + " AND " + types_sql;
  const std::string cli = "sqlite3 -readonly " + Q(host_adt) + " ";

  auto open_view = [&](db::Connection& c, db::Table& t) {
    c.SetPath(host);
    c.Open();
    t.Open();
    t.SetIndex("DATE");
    t.SetRowFilter([](const db::RowView& r) { return TypeBoxes(r.AsInteger("POT"), r.AsInteger("Status")); });
    t.SetFilter(filter);
    t.SetFiltered(true);
  };

  // 1. First 50 rows.
  std::vector<double> ours, peer;
  std::string shown;
  for (int run = 0; run < 5; ++run) {
    ours.push_back(TimeMs([&] {
      db::Connection c;
      db::Table t(c, "Auftraege.ADT");
      open_view(c, t);
      shown.clear();
      int n = 0;
      for (t.First(); !t.Eof() && n < 50; t.Next(), ++n)
        for (const auto& f : grid) shown += t.FieldByName(f).AsString() + "\t";
    }));
    peer.push_back(TimeMs([&] {
      Shell(cli + Q("SELECT " + grid_cols + " FROM rows WHERE " + where + " ORDER BY " + c_date +
                    " DESC, rid LIMIT 50") + " >/dev/null");
    }));
  }
  double first_ms = Median(ours);
  Report("first 50 rows of the 31-day view", first_ms, Median(peer), "(<= 100 ms, ratio <= 3)",
         first_ms <= 100 && first_ms <= 3 * Median(peer));

  // 2. Full count.
  ours.clear();
  peer.clear();
  int64_t count = 0;
  for (int run = 0; run < 5; ++run) {
    ours.push_back(TimeMs([&] {
      db::Connection c;
      db::Table t(c, "Auftraege.ADT");
      open_view(c, t);
      count = t.RecordCount();
    }));
    peer.push_back(TimeMs([&] { Shell(cli + Q("SELECT count(*) FROM rows WHERE " + where) + " >/dev/null"); }));
  }
  Report(("count of the view (" + std::to_string(count) + " rows)").c_str(), Median(ours), Median(peer),
         "(ratio <= 3)", Median(ours) <= 3 * Median(peer));

  // 3. 10,000 rows into a fresh export table, as the transfer does: field by field,
  // one post per row, inside one transaction. The source rows are read beforehand; the
  // peer runs the same rows as INSERT statements in one transaction.
  const int kRows = std::min(10000, orders);
  std::vector<std::vector<db::Value>> rows;
  std::vector<db::FieldDef> fields;
  {
    db::Connection c;
    c.SetPath(host);
    c.Open();
    db::Table t(c, "Auftraege.ADT");
    t.Open();
    fields = t.Fields();
    for (t.First(); !t.Eof() && static_cast<int>(rows.size()) < kRows; t.Next()) {
      std::vector<db::Value> r;
      for (size_t i = 0; i < fields.size(); ++i) r.push_back(t.FieldAt(i).AsValue());
      rows.push_back(std::move(r));
    }
    t.CreateTable(work + "/Template.ADT");
  }
  std::string script = "ATTACH 'peer.ADM' AS adm;\nBEGIN;\n";
  {
    sqlite3* tdb = nullptr;
    sqlite3_open_v2((work + "/Template.ADT").c_str(), &tdb, SQLITE_OPEN_READONLY, nullptr);
    std::vector<std::string> cols;
    for (const auto& f : fields) cols.push_back(db::IsBlobType(f.type) ? "" : ColumnOf(tdb, f.name));
    std::vector<int64_t> ids;
    for (const auto& f : fields) ids.push_back(std::stoll(ColumnOf(tdb, f.name).substr(1)));
    sqlite3_close(tdb);
    int64_t rid = 0;
    for (const auto& r : rows) {
      ++rid;
      std::string names = "rid", values = std::to_string(rid);
      for (size_t i = 0; i < fields.size(); ++i) {
        if (cols[i].empty()) continue;
        names += "," + cols[i];
        values += "," + (fields[i].type == db::FieldType::AutoInc ? std::to_string(rid) : SqlLiteral(r[i], false));
      }
      script += "INSERT INTO rows(" + names + ") VALUES(" + values + ");\n";
      for (size_t i = 0; i < fields.size(); ++i)
        if (!cols[i].empty() || db::IsNull(r[i])) continue;
        else
          script += "INSERT INTO adm.blobs(rid,fid,data) VALUES(" + std::to_string(rid) + "," +
                    std::to_string(ids[i]) + "," + SqlLiteral(r[i], true) + ");\n";
    }
    script += "COMMIT;\n";
    std::ofstream(work + "/insert.sql") << script;
  }
  ours.clear();
  peer.clear();
  for (int run = 0; run < 3; ++run) {
    for (const char* ext : {".ADT", ".ADM", ".ADI"}) {
      fs::copy_file(work + "/Template" + ext, work + "/export" + ext, fs::copy_options::overwrite_existing);
      fs::copy_file(work + "/Template" + ext, work + "/peer" + ext, fs::copy_options::overwrite_existing);
    }
    ours.push_back(TimeMs([&] {
      db::Connection c;
      c.SetPath(work);
      c.Open();
      db::Table t(c, "export.ADT");
      t.Open();
      t.StartTransaction();
      for (const auto& r : rows) {
        t.Insert();
        for (size_t i = 0; i < fields.size(); ++i) {
          if (fields[i].type == db::FieldType::AutoInc) continue;
          t.FieldAt(i).SetValue(fields[i].type, r[i]);
        }
        t.Post();
      }
      t.Commit();
    }));
    peer.push_back(TimeMs([&] { Shell("cd " + Q(work) + " && sqlite3 peer.ADT < insert.sql >/dev/null"); }));
  }
  Report(("insert " + std::to_string(kRows) + " rows into a fresh export table").c_str(), Median(ours), Median(peer),
         "(ratio <= 3)", Median(ours) <= 3 * Median(peer));

  // 4. Edit, post, next through the view (as marking orders does): each post must not
  // make the next step read the whole view again.
  const int64_t kEdits = std::min<int64_t>(count, 2000);
  std::string c_name;
  {
    sqlite3* h = nullptr;
    sqlite3_open_v2(host_adt.c_str(), &h, SQLITE_OPEN_READONLY, nullptr);
    c_name = ColumnOf(h, "AdressName");
    sqlite3_close(h);
  }
  std::string updates;
  {
    db::Connection c;
    db::Table t(c, "Auftraege.ADT");
    open_view(c, t);
    int64_t n = 0;
    for (t.First(); !t.Eof() && n < kEdits; t.Next(), ++n)
      updates += "UPDATE rows SET " + c_name + "=" + c_name + " WHERE rid=" + std::to_string(t.GetBookmark()) + ";\n";
    std::ofstream(work + "/update.sql") << updates;
  }
  ours.clear();
  peer.clear();
  for (int run = 0; run < 3; ++run) {
    ours.push_back(TimeMs([&] {
      db::Connection c;
      db::Table t(c, "Auftraege.ADT");
      open_view(c, t);
      db::Field name = t.FieldByName("AdressName");
      int64_t n = 0;
      for (t.First(); !t.Eof() && n < kEdits; t.Next(), ++n) {
        t.Edit();
        name.SetString(name.AsString());
        t.Post();
      }
    }));
    peer.push_back(TimeMs([&] { Shell("sqlite3 " + Q(host_adt) + " < " + Q(work + "/update.sql") + " >/dev/null"); }));
  }
  Report(("edit, post, next over " + std::to_string(kEdits) + " rows of the view").c_str(), Median(ours),
         Median(peer), "(ratio <= 3)", Median(ours) <= 3 * Median(peer));

  if (keep)
    std::printf("kept: %s\n", root.c_str());
  else
    fs::remove_all(root);
  return 0;
}
