// "Speichern" end to end: a demo host database, the controller with a scripted view, and
// the package checked with the archive reader and its export tables opened again.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "archive/extract.h"
#include "archive/reader.h"
#include "export/locale_time.h"
#include "foundation/codepage.h"
#include "foundation/folders.h"
#include "selection/host_database.h"
#include "shell/controller_fixture.h"

namespace mrw::shell::test {
namespace {

namespace fs = std::filesystem;

std::string Lower(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The entry name below the work folder's "MRW\", "/"-separated.
std::string BelowExportFolder(const std::string& ansi_name) {
  std::string name = AnsiToUtf8(ansi_name);
  const std::string marker = "\\work\\mrw\\";
  auto at = name.rfind(marker);
  if (at == std::string::npos) return "?" + name;
  std::string rest = name.substr(at + marker.size());
  std::replace(rest.begin(), rest.end(), '\\', '/');
  return rest;
}

std::vector<std::string> AttachmentNames(const std::string& folder) {
  std::vector<std::string> names;
  FindFiles(folder + "*.*", names, false, "");
  return names;
}

class ExportEndToEnd : public ControllerTest {};

TEST_F(ExportEndToEnd, SavedPackageHoldsTheMarkedOrdersInOrder) {
  Start();
  TickAllBoxes();
  controller_->fmClick();

  // Three rows to mark, against the ID order, the first with attachment files.
  std::map<int64_t, db::Bookmark> rows;
  db::Table& view_table = controller_->orders();
  for (view_table.First(); !view_table.Eof(); view_table.Next()) {
    rows[view_table.FieldByName("ID").AsInteger()] = view_table.GetBookmark();
  }
  ASSERT_GE(rows.size(), 5u);
  std::vector<int64_t> chosen;
  for (auto it = rows.rbegin(); it != rows.rend() && chosen.empty(); ++it) {
    if (!AttachmentNames(db_ + "L2ROOT_ORDER/" + std::to_string(it->first) + "/").empty()) {
      chosen.push_back(it->first);
    }
  }
  ASSERT_EQ(chosen.size(), 1u) << "the demo database has no order with attachments in range";
  for (auto it = rows.rbegin(); it != rows.rend() && chosen.size() < 3; ++it) {
    if (it->first != chosen[0]) chosen.push_back(it->first);
  }
  std::swap(chosen[1], chosen[2]);  // neither ascending nor descending
  for (int64_t id : chosen) ASSERT_TRUE(controller_->MarkRow(rows[id]));

  view_.chosen_folders = {dir_.str() + "out"};
  controller_->FlatButton1Click();
  EXPECT_EQ(controller_->OutDir(), dir_.str() + "out/");
  view_.answers = {true};
  view_.editor_text = "Grüße\nvom Sender";
  controller_->fbsaveClick();

  const auto& saved = controller_->LastSave();
  ASSERT_TRUE(saved.saved) << (view_.messages.empty() ? "" : view_.messages.back());
  EXPECT_EQ(saved.package_path, dir_.str() + "out/" + saved.package_name);
  std::vector<std::string> in_out;
  for (const auto& e : fs::directory_iterator(dir_.str() + "out")) in_out.push_back(e.path().filename());
  EXPECT_EQ(in_out, std::vector<std::string>{saved.package_name});
  EXPECT_EQ(view_.questions, std::vector<std::string>{"<B>Möchten Sie weitere Informationen für diesen Export hinterlegen?"});
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_NE(view_.messages[0].find("SHOpenFolderAndSelectItems://" + saved.package_path + "\""), std::string::npos);

  // The transfer took the marked rows in marking order and numbered them 1..3.
  const ExportState& state = controller_->export_state();
  ASSERT_EQ(state.OrderIdMap.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(state.OrderIdMap[i].OldID, chosen[i]);
    EXPECT_EQ(state.OrderIdMap[i].NewID, static_cast<int32_t>(i + 1));
  }

  // Package: file list, the eight fixed files, attachments by new ID, then the letters.
  archive::ReadOptions ro;
  ro.require_package = true;
  auto entries = archive::ReadArchiveContents(saved.package_path, ro);
  ASSERT_FALSE(entries.empty());
  EXPECT_TRUE(entries[0].info.is_file_list);
  std::vector<std::string> names;
  std::map<std::string, std::string> content;
  for (size_t i = 1; i < entries.size(); ++i) {
    names.push_back(BelowExportFolder(entries[i].info.name));
    content[names.back()] = entries[i].data;
  }
  std::vector<std::string> expected = {"info.rtf",      "local.usr",     "adressen.adi",
                                       "adressen.adt",  "adressen.adm",  "auftraege.adi",
                                       "auftraege.adt", "auftraege.adm"};
  for (const auto& pair : state.OrderIdMap) {
    for (const auto& f : AttachmentNames(db_ + "L2ROOT_ORDER/" + std::to_string(pair.OldID) + "/")) {
      expected.push_back("l2root_order/" + std::to_string(pair.NewID) + "/" + Lower(f));
    }
  }
  for (const auto& letter : state.LetterFiles) {
    expected.push_back(Lower(letter.substr((dir_.str() + "work/MRW/").size())));
  }
  EXPECT_EQ(names, expected);

  EXPECT_EQ(content["info.rtf"], "Der Sender hat weitere Infos hinterlegt:\r\nGr\xFC\xDF" "e\r\nvom Sender\r\n");
  const auto& hs = controller_->host().settings();
  EXPECT_EQ(content["local.usr"], Utf8ToAnsi("{49DE51CE-4B66-4F67-AC13-360564A3F24A}\r\nQuillmar Auftrag Export\r\n"
                                             "[LOCAL]\r\nFirstOrderID2=" + hs.FirstOrderID2 +
                                             "\r\nFirstOrderID=" + std::to_string(hs.FirstOrderID) +
                                             "\r\nGUID=" + hs.DatabaseGUID + "\r\n"));

  // The export tables from the extracted package: the orders renumbered with their host
  // address IDs, each existing address once.
  std::string x = dir_.str() + "extracted/";
  archive::ExtractArchive(saved.package_path, x);
  std::map<int64_t, HostOrder> host;
  for (const auto& o : host_orders_) host[o.id] = o;
  db::Connection conn;
  conn.SetPath(x);
  conn.Open();
  db::Table orders(conn, "Auftraege.ADT");
  orders.Open();
  std::vector<int64_t> new_ids;
  std::set<int64_t> address_ids;
  size_t i = 0;
  for (orders.First(); !orders.Eof(); orders.Next(), ++i) {
    ASSERT_LT(i, chosen.size());
    new_ids.push_back(orders.FieldByName("ID").AsInteger());
    EXPECT_EQ(orders.FieldByName("ID_ORDER").AsInteger(), host[chosen[i]].id_order);
    EXPECT_EQ(orders.FieldByName("AdressID").AsInteger(), host[chosen[i]].address_id);
    address_ids.insert(host[chosen[i]].address_id);
  }
  EXPECT_EQ(new_ids, (std::vector<int64_t>{1, 2, 3}));
  db::Table export_addresses(conn, "Adressen.ADT");
  export_addresses.Open();
  std::multiset<int64_t> exported_addresses;
  for (export_addresses.First(); !export_addresses.Eof(); export_addresses.Next()) {
    exported_addresses.insert(export_addresses.FieldByName("ID").AsInteger());
  }
  for (int64_t id : exported_addresses) {
    EXPECT_EQ(exported_addresses.count(id), 1u);
    EXPECT_TRUE(address_ids.count(id));
  }

  // Log: one line per order in transfer order; GZS got its marking line in front.
  std::string log = AnsiToUtf8(mrw::test::ReadFile(db_ + "MRW/exported.txt"));
  const std::string prefix = ExportTimeStamp(clock_.Now()) + " Gespeichert " + saved.package_name +
                             " in " + dir_.str() + "out/ ";
  size_t pos = 0;
  for (int64_t id : chosen) {
    ASSERT_EQ(log.compare(pos, prefix.size(), prefix), 0) << log;
    size_t end = log.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    EXPECT_NE(log.substr(pos, end - pos).find(" " + std::to_string(host[id].id_order)), std::string::npos);
    pos = end + 2;
  }
  EXPECT_EQ(pos, log.size());
  auto after = ReadHostOrders(db_);
  for (const auto& o : after) {
    bool exported = std::find(chosen.begin(), chosen.end(), o.id) != chosen.end();
    EXPECT_EQ(o.gzs, exported ? "03.04.2024 14:30:00 exportiert\r\n" + host[o.id].gzs : host[o.id].gzs)
        << o.id;
  }
}

TEST_F(ExportEndToEnd, WithoutMarksTheWholeViewGoesToTheDesktopFolder) {
  Start();
  controller_->dcdatebeginChange(D(2024, 3, 30));
  auto shown = ShownIds();
  ASSERT_FALSE(shown.empty());
  controller_->fbsaveClick();  // the question is answered no

  const auto& saved = controller_->LastSave();
  ASSERT_TRUE(saved.saved);
  EXPECT_EQ(saved.out_dir, dir_.str() + "Desktop/MRW_DATA/");
  EXPECT_FALSE(fs::exists(dir_.str() + "program/UserMode.INI"));  // the default is not stored
  ASSERT_EQ(controller_->export_state().OrderIdMap.size(), shown.size());
  for (size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(controller_->export_state().OrderIdMap[i].OldID, shown[i]);
  }
  auto entries = archive::ReadArchiveContents(saved.package_path);
  ASSERT_GT(entries.size(), 1u);
  EXPECT_EQ(BelowExportFolder(entries[1].info.name), "info.rtf");
  EXPECT_EQ(entries[1].data, "Der Sender hat keine weiteren Infos hinterlegt.\r\n");
}

TEST_F(ExportEndToEnd, FailedTransferLeavesNoPackageAndLogsNothing) {
  Start();
  TickAllBoxes();
  controller_->fmClick();
  // A marked row that is gone by the time of the export.
  db::Table& t = controller_->orders();
  t.First();
  ASSERT_TRUE(controller_->MarkCurrentRow());
  db::Bookmark gone = t.GetBookmark();
  {
    db::Connection conn;
    conn.SetPath(db_);
    conn.Open();
    db::Table other(conn, "Auftraege.ADT");
    other.Open();
    other.GotoBookmark(gone);
    other.Delete();
  }
  view_.chosen_folders = {dir_.str() + "out"};
  controller_->FlatButton1Click();
  controller_->fbsaveClick();
  EXPECT_FALSE(controller_->LastSave().saved);
  EXPECT_EQ(view_.messages.size(), 1u);  // the transfer says what went wrong, once
  EXPECT_FALSE(fs::exists(dir_.str() + "out") && !fs::is_empty(dir_.str() + "out"));
  EXPECT_FALSE(fs::exists(db_ + "MRW/exported.txt"));
}

}  // namespace
}  // namespace mrw::shell::test
