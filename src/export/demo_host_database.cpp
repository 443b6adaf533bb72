#include "export/demo_host_database.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "db/table.h"
#include "export/component_stream.h"
#include "export/record_layout.h"
#include "foundation/errors.h"
#include "foundation/paths.h"

namespace mrw {

namespace {

// splitmix64: small, fast, and the same sequence on every platform and library, which
// std's distributions do not promise.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& v) { return v[static_cast<size_t>(Below(static_cast<int>(v.size())))]; }

 private:
  uint64_t state_;
};

const std::vector<std::string> kFamilyNames = {
    "Müller", "Schmidt", "Schneider", "Fischer", "Weber",  "Meyer",   "Wagner",  "Becker",
    "Schulz", "Hoffmann", "Schäfer",  "Koch",    "Bauer",  "Richter", "Klein",   "Wolf",
    "Schröder", "Neumann", "Schwarz", "Zimmermann", "Braun", "Krüger", "Hartmann", "Weiß"};
const std::vector<std::string> kFirstNames = {"Anna",   "Jürgen", "Klaus",  "Sabine",  "Petra",
                                              "Thomas", "Andrea", "Stefan", "Günter",  "Ursula",
                                              "Jörg",   "Brigitte", "Renée", "Michael"};
const std::vector<std::string> kStreets = {"Hauptstraße", "Bahnhofstraße", "Gartenweg",  "Schulstraße",
                                           "Am Mühlbach", "Lindenallee",   "Kirchplatz", "Bergstraße"};
const std::vector<std::pair<std::string, std::string>> kTowns = {
    {"10115", "Berlin"},     {"20095", "Hamburg"}, {"80331", "München"}, {"50667", "Köln"},
    {"60311", "Frankfurt am Main"}, {"70173", "Stuttgart"}, {"40213", "Düsseldorf"},
    {"04109", "Leipzig"},    {"90403", "Nürnberg"}, {"01067", "Dresden"}};
const std::vector<std::string> kDepartments = {"", "", "Einkauf", "Vertrieb", "Buchhaltung", "Technik"};
const std::vector<std::string> kArticles = {"Schraube M4 x 20", "Dübel 8 mm", "Winkel verzinkt",
                                            "Arbeitszeit Monteur", "Anfahrt", "Kleinteile",
                                            "Scharnier \"Typ B\"", "Flügelmutter 3/8\\"};
const std::vector<std::string> kAttachmentNames = {"Angebot.pdf", "Zeichnung.dwg", "Notiz.txt",
                                                   "Foto 1.jpg", "Maße Übersicht.xlsx", "Lieferschein.PDF"};

// Type names by code (index = code).
const char* const kTypeNames[14] = {"",          "RECHNUNG",    "ANGEBOT",     "BESTELLUNG", "BRIEF",
                                    "GUTSCHRIFT", "LIEFERSCHEIN", "AUFTRAGSBESTÄTIGUNG", "FREIER TYP1",
                                    "FREIER TYP2", "FREIER TYP3", "FREIER TYP4", "FREIER TYP5", "MULTI"};

// The first orders take these type codes in turn, so every code appears in a small database.
const std::vector<int> kTypeCycle = {2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 1, 5, 130, 133};
// Later orders draw their type from this weighted list (quotations and order
// confirmations are the bulk of a real database, invoices are many but never shown).
const std::vector<std::pair<int, int>> kTypeWeights = {
    {2, 20}, {3, 8}, {4, 10}, {6, 12}, {7, 15}, {1, 10}, {5, 3}, {8, 2}, {9, 2},
    {10, 2}, {11, 2}, {12, 2}, {13, 3}, {130, 2}, {133, 1}, {129, 1}};

const char* StatusText(int status) {
  switch (status) {
    case 0: return "Unfertig";
    case 1: return "In Bearbeitung";
    default: return "Fertig";
  }
}

// What an order's EXTB holds.
enum class Extb {
  Null,            // no value
  Empty,           // a value of no bytes
  BothLetters,     // first and last letter, files exist
  FirstLetter,     // first letter only (file exists), other items around it
  MissingLetters,  // linkfile:// references whose files do not exist
  TempFiles,       // tempfile:// references
  NotZlib,         // bytes that are no zlib stream
  DamagedStream,   // a zlib stream whose content is no component stream
  TruncatedZlib,   // a valid field cut short
};
const std::vector<Extb> kExtbCycle = {Extb::BothLetters, Extb::MissingLetters, Extb::TempFiles,
                                      Extb::Empty,       Extb::NotZlib,        Extb::DamagedStream,
                                      Extb::Null,        Extb::FirstLetter,    Extb::TruncatedZlib};
const std::vector<std::pair<Extb, int>> kExtbWeights = {
    {Extb::Null, 35},          {Extb::Empty, 5},    {Extb::BothLetters, 15}, {Extb::FirstLetter, 15},
    {Extb::MissingLetters, 10}, {Extb::TempFiles, 10}, {Extb::NotZlib, 4}, {Extb::DamagedStream, 3},
    {Extb::TruncatedZlib, 3}};

template <typename T>
T Weighted(Rng& rng, const std::vector<std::pair<T, int>>& weights) {
  int total = 0;
  for (const auto& w : weights) total += w.second;
  int r = rng.Below(total);
  for (const auto& w : weights) {
    if (r < w.second) return w.first;
    r -= w.second;
  }
  return weights.back().first;
}

void WriteFileOrThrow(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw FileCreateError("Datei " + path + " kann nicht erstellt werden");
}

void MakeFolder(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec || !IsFolder(path)) throw InOutError("Verzeichnis kann nicht erstellt werden: " + path, 3);
}

struct Address {
  std::string family, first, salutation, street, plz, town, knr;
};

class Generator {
 public:
  Generator(std::string folder, const DemoDatabaseOptions& o)
      : folder_(std::move(folder)), options_(o), rng_(o.seed ^ 0x4D52574Dull) {}

  DemoDatabaseSummary Run() {
    address_count_ = options_.orders == 0 ? 0 : std::max(2, options_.orders / 3);
    WriteAddresses();
    WriteOrders();
    WriteSettings();
    return summary_;
  }

 private:
  // --- addresses ------------------------------------------------------------------------
  Address MakeAddress(int id) {
    Address a;
    a.family = rng_.Pick(kFamilyNames);
    a.first = rng_.Pick(kFirstNames);
    a.salutation = rng_.Chance(15) ? "Firma" : rng_.Chance(50) ? "Herr" : "Frau";
    a.street = rng_.Pick(kStreets) + " " + std::to_string(1 + rng_.Below(120));
    const auto& town = kTowns[static_cast<size_t>(rng_.Below(static_cast<int>(kTowns.size())))];
    a.plz = town.first;
    a.town = town.second;
    a.knr = "K" + std::to_string(10000 + id);
    return a;
  }

  void WriteAddresses() {
    std::string path = folder_ + std::string(kAddressTableFile);
    db::Table::Create(path, AddressRecordFields());
    db::Connection conn;
    conn.SetPath(folder_);
    conn.Open();
    db::Table t(conn, std::string(kAddressTableFile));
    t.Open(true);
    t.StartTransaction();
    addresses_.reserve(static_cast<size_t>(address_count_));
    for (int id = 1; id <= address_count_; ++id) {
      Address a = MakeAddress(id);
      t.Insert();
      t.FieldByName("NName").SetString(a.family);
      t.FieldByName("Anrede").SetString(a.salutation);
      t.FieldByName("VName").SetString(a.salutation == "Firma" ? "" : a.first);
      t.FieldByName("Abt").SetString(rng_.Pick(kDepartments));
      t.FieldByName("Strasse").SetString(a.street);
      t.FieldByName("Plz").SetString(a.plz);
      t.FieldByName("Ort").SetString(a.town);
      t.FieldByName("1caption").SetString("Telefon");
      t.FieldByName("2caption").SetString("Telefax");
      t.FieldByName("3caption").SetString("E-Mail");
      t.FieldByName("Wert1").SetString("0" + std::to_string(30 + rng_.Below(900)) + " " +
                                       std::to_string(100000 + rng_.Below(899999)));
      if (rng_.Chance(40)) t.FieldByName("Wert2").SetString("0" + std::to_string(30 + rng_.Below(900)) + " 4711");
      t.FieldByName("Wert3").SetString("info" + std::to_string(id) + "@example.de");
      t.FieldByName("match0").SetString(a.family);
      t.FieldByName("match1").SetString(a.plz);
      if (rng_.Chance(20)) t.FieldByName("Memo").SetString("Lieferung nur vormittags.\r\nTor 2 benutzen.");
      t.FieldByName("KNR").SetString(a.knr);
      t.FieldByName("GSCH").SetBoolean(rng_.Chance(30));
      t.FieldByName("Anrede2").SetString(a.salutation == "Firma" ? "Sehr geehrte Damen und Herren,"
                                         : a.salutation == "Herr" ? "Sehr geehrter Herr " + a.family + ","
                                                                  : "Sehr geehrte Frau " + a.family + ",");
      if (rng_.Chance(10)) t.FieldByName("EXTB").SetBytes(std::string("\x01\x00\x02\xFF", 4));
      t.FieldByName("GR").SetString(rng_.Chance(50) ? "A" : "B");
      t.Post();
      addresses_.push_back(std::move(a));
    }
    t.Commit();
    for (const auto& tag : AddressIndexTags()) t.AddIndex(tag.tag, tag.expression, tag.descending);
    t.Close();
    summary_.addresses = address_count_;
  }

  // --- letters and attachments -----------------------------------------------------------
  void WriteLetter(const std::string& subfolder, const std::string& name, int order_number) {
    std::string dir = folder_ + subfolder;
    MakeFolder(dir);
    std::string text = "Brief zu Auftrag " + std::to_string(order_number) + "\r\n";
    for (int i = rng_.Below(20); i >= 0; --i) text += "Zeile " + std::to_string(i) + " des Briefes.\r\n";
    WriteFileOrThrow(dir + name + ".RVF", text);
    ++summary_.letter_files;
  }

  StringKind AnyKind() { return static_cast<StringKind>(rng_.Below(4)); }

  std::string MakeExtb(Extb kind, int order_number, const Address* address) {
    std::string nr = std::to_string(order_number);
    StringKind sk = AnyKind();
    switch (kind) {
      case Extb::Null:
      case Extb::Empty:
        return "";
      case Extb::BothLetters: {
        std::string first = address && rng_.Chance(30) ? "Brief " + address->family + " " + nr : "Brief " + nr;
        std::string last = "Brief " + nr + " Abschluss";
        WriteLetter("ORDER_LETTERS/", first, order_number);
        WriteLetter("ORDER_LETTERS_LAST/", last, order_number);
        return EncodeExtendedOrderInfo({{27, "linkfile://" + first, sk}, {270, "linkfile://" + last, AnyKind()}});
      }
      case Extb::FirstLetter: {
        std::string first = "Anschreiben " + nr;
        WriteLetter("ORDER_LETTERS/", first, order_number);
        return EncodeExtendedOrderInfo({{1, "Bemerkung zum Auftrag", sk},
                                        {27, "tempfile://Entwurf " + nr, sk},  // overridden below
                                        {100, "", sk},
                                        {27, "linkfile://" + first, sk},
                                        {std::nullopt, "ohne Typ", sk}});
      }
      case Extb::MissingLetters:
        // The first reference names a file that does not exist; the last one exists only in
        // the first letters' folder, which is the wrong folder for a last letter.
        WriteLetter("ORDER_LETTERS/", "Nur erster Ordner " + nr, order_number);
        return EncodeExtendedOrderInfo({{27, "linkfile://Fehlt " + nr, sk},
                                        {270, "linkfile://Nur erster Ordner " + nr, sk}});
      case Extb::TempFiles:
        return EncodeExtendedOrderInfo({{27, "tempfile://Brief " + nr, sk}, {270, "tempfile://Ende " + nr, sk}});
      case Extb::NotZlib: {
        std::string junk;
        for (int i = 8 + rng_.Below(40); i > 0; --i) junk.push_back(static_cast<char>(rng_.Below(256)));
        junk[0] = 'X';  // never a zlib header by accident
        return junk;
      }
      case Extb::DamagedStream:
      {
        // Cut off inside an item: the reader runs out of data.
        static const char kCut[] = "TPF0\x19TAdressExInfoDatasWrapper\x00\x11" "AdressExInfoDatas\x0E\x01\x08" "DataT";
        return DeflateZlib(std::string_view(kCut, sizeof kCut - 1));
      }
      case Extb::TruncatedZlib: {
        std::string good = EncodeExtendedOrderInfo({{27, "linkfile://Brief " + nr, sk}});
        return good.substr(0, good.size() / 2);
      }
    }
    return "";
  }

  void WriteAttachments(int id, bool empty) {
    std::string dir = folder_ + "L2ROOT_ORDER/" + std::to_string(id) + "/";
    MakeFolder(dir);
    ++summary_.attachment_folders;
    if (empty) return;
    std::vector<std::string> names = kAttachmentNames;
    int count = 2 + rng_.Below(3);
    for (int i = 0; i < count; ++i) {
      size_t k = static_cast<size_t>(i + rng_.Below(static_cast<int>(names.size()) - i));
      std::swap(names[static_cast<size_t>(i)], names[k]);
      std::string content = "Anlage " + names[static_cast<size_t>(i)] + " zu Auftrag " + std::to_string(id) + "\n";
      for (int j = rng_.Below(200); j > 0; --j) content.push_back(static_cast<char>(rng_.Below(256)));
      WriteFileOrThrow(dir + names[static_cast<size_t>(i)], content);
    }
    WriteFileOrThrow(dir + ".versteckt", "hidden\n");
    MakeFolder(dir + "Entwürfe");
    WriteFileOrThrow(dir + "Entwürfe/alt.txt", "Unterordner\n");
  }

  // --- orders -----------------------------------------------------------------------------
  void WriteOrders() {
    std::vector<db::FieldDef> fields = OrderRecordFields();
    fields.push_back(db::FieldDef{std::string(kExtendedInfoField), db::FieldType::Binary, 0});
    db::Table::Create(folder_ + std::string(kOrderTableFile), fields);
    db::Connection conn;
    conn.SetPath(folder_);
    conn.Open();
    db::Table t(conn, std::string(kOrderTableFile));
    t.Open(true);

    // Order numbers in an order of their own, so ID and ID_ORDER sort differently.
    const int n = options_.orders;
    std::vector<int> numbers(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) numbers[static_cast<size_t>(i)] = 10001 + i;
    for (int i = n - 1; i > 0; --i) std::swap(numbers[static_cast<size_t>(i)], numbers[static_cast<size_t>(rng_.Below(i + 1))]);

    auto F = [&](const char* name) { return t.FieldByName(name); };
    t.StartTransaction();
    for (int id = 1; id <= n; ++id) {
      const int order_number = numbers[static_cast<size_t>(id - 1)];
      const size_t k = static_cast<size_t>(id - 1);
      int pot = k < kTypeCycle.size() ? kTypeCycle[k] : Weighted(rng_, kTypeWeights);
      int status = k < 3 ? static_cast<int>((2 + 2 * k) % 3) : (rng_.Chance(10) ? 1 : rng_.Chance(50) ? 0 : 2);
      DateTime date = options_.today - 59 + rng_.Below(60);
      if (k == 0 || k == 1) date = options_.today;
      if (k == 2) date = options_.today - 59;
      if (k == 3 || (k > 8 && rng_.Chance(5))) date = options_.today + 1 + rng_.Below(3);

      // Orders share addresses; some name an address that does not exist.
      int address_id = 1 + rng_.Below(address_count_);
      if (k == 1) address_id = first_address_id_;
      bool missing = k == 3 || (k > 8 && rng_.Chance(3));
      if (missing) address_id = address_count_ + 1 + rng_.Below(1000);
      if (k == 0) first_address_id_ = address_id;
      const Address* address = missing ? nullptr : &addresses_[static_cast<size_t>(address_id - 1)];
      if (missing) ++summary_.orders_without_address;

      const int code = pot & 127;
      const std::string type_name = code >= 1 && code <= 13 ? kTypeNames[code] : "UNBEKANNT";
      const std::string nr = std::to_string(order_number);

      t.Insert();
      F("ID_ORDER").SetInteger(order_number);
      F("Headertext").SetString("Sehr geehrte Damen und Herren,\r\nwir bedanken uns für Ihre Anfrage.");
      F("Endtext").SetString("Mit freundlichen Grüßen\r\nIhr Team");
      F("Footertext").SetString("Zahlbar innerhalb von 14 Tagen ohne Abzug.");
      if (rng_.Chance(60)) F("ColumnsFormat").SetBytes(std::string("\x02\x00\x10\x00\x28\x00\x00\x01", 8));
      std::string datas;
      int cents = 0;
      for (int p = 1 + rng_.Below(5); p > 0; --p) {
        int price = 50 + rng_.Below(20000);
        int qty = 1 + rng_.Below(20);
        cents += price * qty;
        datas += std::to_string(qty) + "\t" + rng_.Pick(kArticles) + "\t" + std::to_string(price / 100) + "," +
                 std::to_string(100 + price % 100).substr(1) + "\r\n";
      }
      F("Datas").SetString(datas);
      F("ZZL").SetString("Seite 1");
      F("ZZR").SetString("Nr. " + nr);
      if (rng_.Chance(40)) F("ZZD").SetDate(date - rng_.Below(5));
      F("POT").SetInteger(pot);
      F("COT").SetInteger(0);
      F("Typ").SetString(type_name);
      F("GTyp").SetString(type_name);
      F("Status").SetInteger(status);
      F("Statustext").SetString(StatusText(status));
      if (rng_.Chance(15)) F("InternText").SetString("Ablage: C:\\Daten\\Auftrag " + nr + "\tgeprüft");
      if (rng_.Chance(50)) {
        DateTime from = date - 1 - rng_.Below(20);
        F("FromText").SetString("Ihre Anfrage");
        F("FromDate").SetDate(from);
      }
      F("Date").SetDate(date);
      if (address) {
        F("KNR").SetString(address->knr);
        F("Adress").SetString(address->salutation + "\r\n" + address->first + " " + address->family + "\r\n" +
                              address->street + "\r\n\r\n" + address->plz + " " + address->town);
        F("AdressName").SetString(address->family);
      } else {
        F("KNR").SetString("K" + std::to_string(10000 + address_id));
        F("Adress").SetString("Anschrift gelöscht");
        F("AdressName").SetString("(gelöscht)");
      }
      F("AdressID").SetInteger(address_id);
      double net = cents / 100.0;
      double gross = std::round(cents * 1.19) / 100.0;
      F("WW_NETTO").SetFloat(net);
      F("WW_BRUTTO").SetFloat(gross);
      F("OPEN_").SetFloat(status == 2 ? 0.0 : rng_.Chance(30) ? std::round(gross * 50) / 100.0 : gross);
      F("Caption").SetString(type_name.substr(0, 30));
      F("PrintName").SetString(type_name.substr(0, 20) + " " + nr);
      for (const char* logical : {"DataGrid", "DataGrid_DM", "InfoSumme", "Summe", "Header", "Footer", "Endt",
                                  "ZZ", "Enabled", "protect", "gridedit", "dataingrid", "data_netto"}) {
        F(logical).SetBoolean(rng_.Chance(50));
      }
      F("Parenttype").SetInteger(0);
      F("steuer_low_set").SetFloat(7.0);
      F("steuer_high_set").SetFloat(19.0);
      if (rng_.Chance(10)) F("GZS").SetString("Exportiert am 01.02.2020 nach Demo.Qtf\r\n");
      F("MS").SetInteger(rng_.Below(2));
      if (rng_.Chance(10)) F("MD").SetDate(date);

      Extb extb = k < kExtbCycle.size() ? kExtbCycle[k] : Weighted(rng_, kExtbWeights);
      if (extb != Extb::Null) F("EXTB").SetBytes(MakeExtb(extb, order_number, address));
      t.Post();

      if (k == 0 || (k > 1 && rng_.Chance(5))) WriteAttachments(id, false);
      if (k == 1) WriteAttachments(id, true);
    }
    t.Commit();
    for (const auto& tag : OrderIndexTags()) t.AddIndex(tag.tag, tag.expression, tag.descending);
    t.Close();
    summary_.orders = n;
  }

  // --- settings ---------------------------------------------------------------------------
  void WriteSettings() {
    db::Table::Create(folder_ + std::string(kSettingsTableFile), SettingsTableFields());
    db::Connection conn;
    conn.SetPath(folder_);
    conn.Open();
    db::Table t(conn, std::string(kSettingsTableFile));
    t.Open(true);
    auto row = [&](int ident, const std::string& text, const std::string& memo = "") {
      t.Insert();
      t.FieldByName("Ident").SetInteger(ident);
      t.FieldByName("stringItem").SetString(text);
      if (!memo.empty()) t.FieldByName("MemoItem").SetString(memo);
      t.Post();
    };
    static const char kHex[] = "0123456789ABCDEF";
    std::string guid = "{";
    for (int i = 0; i < 32; ++i) {
      if (i == 8 || i == 12 || i == 16 || i == 20) guid += '-';
      guid += kHex[rng_.Below(16)];
    }
    guid += "}";
    row(2, "Demo-Datenbank", "Angelegt von mrw demo-db.");
    row(15000, std::to_string(1 + rng_.Below(9)));
    row(15001, std::string(1, static_cast<char>('A' + rng_.Below(26))) + std::to_string(rng_.Below(10)));
    row(1, guid);
    row(100, "", "Mandant 1");
    for (const auto& tag : SettingsIndexTags()) t.AddIndex(tag.tag, tag.expression, tag.descending);
    t.Close();
  }

  std::string folder_;
  DemoDatabaseOptions options_;
  Rng rng_;
  int address_count_ = 0;
  int first_address_id_ = 1;
  std::vector<Address> addresses_;
  DemoDatabaseSummary summary_;
};

}  // namespace

DemoDatabaseSummary CreateDemoHostDatabase(const std::string& folder_in, const DemoDatabaseOptions& options_in) {
  if (options_in.orders < 0) throw Error("Die Anzahl der Aufträge darf nicht negativ sein.");
  if (folder_in.empty()) throw Error("Kein Verzeichnis für die Demo-Datenbank angegeben.");
  DemoDatabaseOptions options = options_in;
  if (options.today == 0) options.today = DateOf(NowLocal());
  options.today = DateOf(options.today);

  std::string folder = AddPathDelimiter(folder_in);
  MakeFolder(folder);
  for (std::string_view file : {kOrderTableFile, kAddressTableFile, kSettingsTableFile}) {
    if (FileExistsEx(ResolveNameCase(folder + std::string(file)))) {
      throw Error("Im Verzeichnis " + folder + " gibt es schon eine Datenbank (" + std::string(file) +
                  "); sie wird nicht überschrieben.");
    }
  }
  return Generator(folder, options).Run();
}

}  // namespace mrw
