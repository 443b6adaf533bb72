// A database folder with an open connection for engine tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "db/connection.h"
#include "db/table.h"

namespace mrw::db::test {

class DbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    conn.SetPath(dir.str());
    conn.Open();
  }

  // Creates `name` in the folder from "NAME:type[:length]" specs.
  void Make(const std::string& name, const std::vector<std::string>& specs) {
    std::vector<FieldDef> fields;
    for (const auto& s : specs) {
      FieldDef f;
      size_t a = s.find(':'), b = s.find(':', a + 1);
      f.name = s.substr(0, a);
      f.type = ParseFieldType(s.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1));
      if (b != std::string::npos) f.length = std::stoi(s.substr(b + 1));
      fields.push_back(f);
    }
    Table::Create(dir / name, fields);
  }

  // The values of `field` over the table's current view, in view order.
  static std::vector<std::string> Column(Table& t, const std::string& field) {
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName(field).AsString());
    return out;
  }

  mrw::test::TempDir dir;
  Connection conn;
};

}  // namespace mrw::db::test
