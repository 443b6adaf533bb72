#include "export/file_links.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/temp_dir.h"
#include "foundation/codepage.h"

namespace mrw {
namespace {

namespace fs = std::filesystem;

class FileLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    roots = {dir.str() + "server/", dir.str() + "intern/"};
    test::WriteFile(roots.server + "Briefe/Brief 1.rtf", "1");
    test::WriteFile(roots.intern + "Notiz.txt", "2");
  }
  test::TempDir dir;
  DocRoots roots;
};

TEST_F(FileLinksTest, ResolvesPlaceholdersDoubleSlashesAndAbsolutePaths) {
  struct Case {
    std::string link;
    std::string expected;
  };
  const std::string server_file = roots.server + "Briefe/Brief 1.rtf";
  for (const Case& c : std::vector<Case>{
           {"file://[SERVER]Briefe/Brief*1.rtf", server_file},
           {"file://[INTERN]Notiz.txt", roots.intern + "Notiz.txt"},
           {"file:////Briefe/Brief*1.rtf", server_file},   // "//" stands for a root
           {"file:////Notiz.txt", roots.intern + "Notiz.txt"},
           {"file://" + dir.str() + "server/Briefe/Brief*1.rtf", server_file},
           {"file://[SERVER]Briefe/fehlt.rtf", ""},
           {"file://[INTERN]Briefe/Brief*1.rtf", ""},
           {"file://Briefe/Brief*1.rtf", ""},  // relative: never against the current folder
       }) {
    EXPECT_EQ(ResolveFileLink(c.link, roots), c.expected) << c.link;
  }
}

TEST_F(FileLinksTest, WebAndMailAddressesNameNoFile) {
  for (const char* text : {"http://x", "HTTPS://x", "www.example.org", "ftp.example.org",
                           "mailto:a@b.de", "anna@example.org", "news:x"}) {
    EXPECT_TRUE(IsWebAddress(text)) << text;
  }
  for (const char* text : {"/srv/docs/a@b.txt", "[SERVER]Briefe/a.txt", "C:\\a@b.txt"}) {
    EXPECT_FALSE(IsWebAddress(text)) << text;
  }
  // A file that happens to be called like a web address is still not taken.
  test::WriteFile(roots.server + "www.x", "");
  EXPECT_EQ(ResolveFileLink("file://[SERVER]www.x", roots), roots.server + "www.x");
  EXPECT_EQ(ResolveFileLink("file://www.x", roots), "");
}

TEST_F(FileLinksTest, WritesLinksWithPlaceholderAndStars) {
  EXPECT_EQ(WriteFileLink(roots.server + "Briefe/Brief 1.rtf", roots),
            "file://[SERVER]Briefe/Brief*1.rtf\r\n");
  EXPECT_EQ(WriteFileLink("/andere/Ablage/a b.txt", roots), "file:///andere/Ablage/a*b.txt\r\n");
  EXPECT_EQ(WriteFileLink("[INTERN]x y", roots), "file://[INTERN]x*y\r\n");
  // Written and resolved again, a link names the same file.
  std::string link = WriteFileLink(roots.server + "Briefe/Brief 1.rtf", roots);
  link.resize(link.size() - 2);
  EXPECT_EQ(ResolveFileLink(link, roots), roots.server + "Briefe/Brief 1.rtf");
}

TEST_F(FileLinksTest, FindsLinksUpToBlankOrLineEnd) {
  EXPECT_EQ(FindFileLinks("Siehe file://[SERVER]a*b.txt und\r\nfile:///x/y\nEnde file://z"),
            (std::vector<std::string>{"file://[SERVER]a*b.txt", "file:///x/y", "file://z"}));
  EXPECT_TRUE(FindFileLinks("keine Links").empty());
}

TEST_F(FileLinksTest, RootsFileIsReadWrittenBackAndMovedFromTheProgramFolder) {
  const std::string client = dir.str() + "client/";
  const std::string program = dir.str() + "programm/";
  const std::string roots_file = client + "Quillmar.Network.Alias.Docs/_InternalRootsSetupFile.TXT";
  fs::create_directories(program);

  // No file anywhere: empty roots, and the file exists afterwards.
  DocRoots none = ReadDocRoots(client, program);
  EXPECT_EQ(none.server, "");
  EXPECT_EQ(none.intern, "");
  EXPECT_EQ(test::ReadFile(roots_file), "\r\n\r\n");

  // A file in the program folder replaces nothing that is already there, and goes away.
  test::WriteFile(program + "_InternalRootsSetupFile.TXT", "/falsch\r\n");
  test::WriteFile(roots_file, Utf8ToAnsi("/srv/Gemeinsame Ablage\r\n/srv/intern/\r\ndritte\r\n"));
  DocRoots read = ReadDocRoots(client, program);
  EXPECT_EQ(read.server, "/srv/Gemeinsame Ablage/");
  EXPECT_EQ(read.intern, "/srv/intern/");
  EXPECT_FALSE(fs::exists(program + "_InternalRootsSetupFile.TXT"));
  EXPECT_EQ(test::ReadFile(roots_file), "/srv/Gemeinsame Ablage\r\n/srv/intern/\r\n");

  // Without one at the client root, the program folder's file moves there.
  fs::remove(roots_file);
  test::WriteFile(program + "_InternalRootsSetupFile.TXT", "/neu\r\n");
  EXPECT_EQ(ReadDocRoots(client, program).server, "/neu/");
  EXPECT_FALSE(fs::exists(program + "_InternalRootsSetupFile.TXT"));
  EXPECT_EQ(test::ReadFile(roots_file), "/neu\r\n\r\n");
}

}  // namespace
}  // namespace mrw
