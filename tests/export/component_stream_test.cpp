#include "export/component_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mrw {
namespace {

TAdressExInfo Read(const std::string& stream) {
  TAdressExInfo info;
  ReadAdressExInfoStream(stream, info);
  return info;
}

TEST(ComponentStream, EveryStringKindRoundTripsFirstAndEndDoc) {
  const std::string text = "linkfile://Brief Müller € 7";
  for (StringKind kind : {StringKind::Short, StringKind::Long, StringKind::Wide, StringKind::Utf8}) {
    SCOPED_TRACE(static_cast<int>(kind));
    TAdressExInfo info;
    LoadExtendedOrderInfo(EncodeExtendedOrderInfo({{27, text, kind}, {270, "tempfile://x", kind}}), info);
    EXPECT_EQ(info.FirstDoc, text);
    EXPECT_EQ(info.EndDoc, "tempfile://x");
    EXPECT_TRUE(info.Others.empty());
  }
}

TEST(ComponentStream, WideStringKeepsCharactersOutsideTheBasicPlane) {
  EXPECT_EQ(Read(WriteAdressExInfoStream({{27, "Brief \xF0\x9F\x93\x84", StringKind::Wide}})).FirstDoc,
            "Brief \xF0\x9F\x93\x84");
}

TEST(ComponentStream, DataTypeIsWrittenInTheSmallestIntegerType) {
  std::string s = WriteAdressExInfoStream({{27, "a"}, {270, "b"}, {70000, "c"}});
  EXPECT_NE(s.find(std::string("DataType\x02\x1B", 10)), std::string::npos);
  EXPECT_NE(s.find(std::string("DataType\x03\x0E\x01", 11)), std::string::npos);
  EXPECT_NE(s.find(std::string("DataType\x04\x70\x11\x01\x00", 13)), std::string::npos);
  EXPECT_EQ(s.substr(0, 4), "TPF0");
}

TEST(ComponentStream, LaterItemsOverrideAndMissingPropertiesHaveDefaults) {
  TAdressExInfo info = Read(WriteAdressExInfoStream({
      {27, "first"},
      {5, "five"},
      {270, "end"},
      {27, "second"},
      {std::nullopt, "untyped"},
      {270, std::nullopt},  // no SimpleData: an empty text overrides "end"
      {-3, "negative"},
  }));
  EXPECT_EQ(info.FirstDoc, "second");
  EXPECT_EQ(info.EndDoc, "");
  EXPECT_EQ(info.Others, (std::map<int32_t, std::string>{{0, "untyped"}, {5, "five"}, {-3, "negative"}}));
}

// Writes one property of every value type the format knows.
void WriteEveryValueType(ComponentStreamWriter& w) {
  w.PropertyName("Int8");
  w.Integer(-5);
  w.PropertyName("Int16");
  w.Integer(-3000);
  w.PropertyName("Int32");
  w.Integer(100000);
  w.PropertyName("Int64");
  w.Integer(int64_t{1} << 40);
  w.PropertyName("Ext");
  w.FixedValue(ValueType::Extended, std::string(10, '\x00'));
  w.PropertyName("Short");
  w.Text("DataType", StringKind::Short);  // property-name look-alike as data
  w.PropertyName("Ident");
  w.Ident("clRed");
  w.PropertyName("F");
  w.Boolean(false);
  w.PropertyName("T");
  w.Boolean(true);
  w.PropertyName("Bin");
  w.BinaryValue(std::string("\x00\x01\x0E\x00", 4));
  w.PropertyName("Set");
  w.SetValue({"fsBold", "fsItalic"});
  w.PropertyName("Long");
  w.Text(std::string(300, 'x'), StringKind::Long);
  w.PropertyName("Nil");
  w.Nil();
  w.PropertyName("Sgl");
  w.FixedValue(ValueType::Single, std::string(4, '\x0E'));
  w.PropertyName("Cur");
  w.FixedValue(ValueType::Currency, std::string(8, '\x01'));
  w.PropertyName("Date");
  w.FixedValue(ValueType::Date, std::string(8, '\x00'));
  w.PropertyName("Wide");
  w.Text("wide ä", StringKind::Wide);
  w.PropertyName("U8");
  w.Text("utf8 ö", StringKind::Utf8);
  w.PropertyName("List");
  w.BeginList();
  w.Integer(1);
  w.BeginList();
  w.Text("nested", StringKind::Short);
  w.End();
  w.BeginCollection();
  w.BeginItem(0);
  w.PropertyName("DataType");  // inside a foreign collection: must not count
  w.Integer(27);
  w.PropertyName("SimpleData");
  w.Text("wrong", StringKind::Short);
  w.End();
  w.End();
  w.End();
}

TEST(ComponentStream, EveryValueTypeIsSkippedAtRootItemAndChildLevel) {
  ComponentStreamWriter w;
  w.BeginComponent("TAdressExInfoDatasWrapper", "Wrapper", 0xF2, 3);  // flags with child position
  WriteEveryValueType(w);
  w.PropertyName("adressexinfodatas");  // names compare without case
  w.BeginCollection();
  w.BeginItem(0);
  WriteEveryValueType(w);
  w.PropertyName("DataType");
  w.Integer(27);
  w.PropertyName("simpledata");
  w.Text("linkfile://A", StringKind::Long);
  w.End();
  w.BeginItem(int64_t{300});
  w.PropertyName("SimpleData");
  w.Text("linkfile://B", StringKind::Utf8);
  w.PropertyName("DataType");
  w.Integer(270);
  w.End();
  w.End();
  w.End();  // root properties
  // A child component with its own collection of the same name: not the root's.
  w.BeginComponent("TChild", "Child", 0xF0);
  w.PropertyName("AdressExInfoDatas");
  w.BeginCollection();
  w.BeginItem();
  w.PropertyName("DataType");
  w.Integer(27);
  w.PropertyName("SimpleData");
  w.Text("child", StringKind::Short);
  w.End();
  w.End();
  w.End();
  w.End();
  w.End();  // root children

  TAdressExInfo info = Read(w.bytes());
  EXPECT_EQ(info.FirstDoc, "linkfile://A");
  EXPECT_EQ(info.EndDoc, "linkfile://B");
  EXPECT_TRUE(info.Others.empty());

  // Every shorter piece of that stream is damaged.
  for (size_t n = 0; n < w.bytes().size(); ++n) {
    EXPECT_THROW(Read(w.bytes().substr(0, n)), ComponentStreamError) << n;
  }
}

TEST(ComponentStream, DamagedStreamsThrow) {
  std::string good = WriteAdressExInfoStream({{27, "x"}});
  std::string wrong_type = good;
  wrong_type[good.find("DataType") + 8] = 21;  // no such value type
  std::string no_list = good;
  no_list[good.rfind("AdressExInfoDatas") + 18] = 2;  // item must start with a list
  std::string huge_length = "TPF0" + std::string("\x01" "C\x00" "\x01" "P\x0C\xFF\xFF\xFF\x7F", 10);
  std::string deep = "TPF0" + std::string("\x01" "C\x00" "\x01" "P", 5) + std::string(100000, '\x01');
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"signature", "TPF1" + good.substr(4)},
      {"unknown value type", wrong_type},
      {"item without list", no_list},
      {"length beyond end", huge_length},
      {"nesting without end", deep},
  };
  for (const auto& [name, stream] : cases) {
    EXPECT_THROW(Read(stream), ComponentStreamError) << name;
  }
}

TEST(ComponentStream, LoadExtendedOrderInfoLeavesInfoClearedOnDamage) {
  std::string compressed = EncodeExtendedOrderInfo({{27, "linkfile://A"}});
  std::string bad_checksum = compressed;
  bad_checksum.back() ^= 0x55;
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"not zlib", "plain text, not compressed"},
      {"truncated zlib", compressed.substr(0, compressed.size() - 3)},
      {"checksum", bad_checksum},
      {"zlib of a damaged stream", DeflateZlib("TPF0\x01")},
  };
  for (const auto& [name, extb] : cases) {
    TAdressExInfo info;
    info.FirstDoc = info.EndDoc = "stale";
    EXPECT_THROW(LoadExtendedOrderInfo(extb, info), ComponentStreamError) << name;
    EXPECT_EQ(info.FirstDoc, "") << name;
    EXPECT_EQ(info.EndDoc, "") << name;
  }

  TAdressExInfo info;
  info.FirstDoc = "stale";
  LoadExtendedOrderInfo("", info);  // an empty field: no information, no error
  EXPECT_EQ(info.FirstDoc, "");
  LoadExtendedOrderInfo(compressed + "trailing bytes", info);
  EXPECT_EQ(info.FirstDoc, "linkfile://A");
}

TEST(ComponentStream, InflateRefusesOversizedOutput) {
  std::string big = DeflateZlib(std::string(1 << 20, 'a'));
  EXPECT_EQ(InflateZlib(big).size(), size_t{1} << 20);
  EXPECT_THROW(InflateZlib(big, 1000), ComponentStreamError);
}

}  // namespace
}  // namespace mrw
