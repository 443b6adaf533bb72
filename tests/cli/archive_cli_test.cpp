// mrw pack, list, verify and extract as a user calls them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using mrw::test::ReadFile;
using mrw::test::TempDir;
using mrw::test::WriteFile;

struct Result {
  int code;
  std::string out, err;
};

Result RunMrw(const TempDir& scratch, const std::string& args) {
  std::string out = scratch / "stdout.txt", err = scratch / "stderr.txt";
  std::string cmd = std::string("'") + MRW_BIN + "' " + args + " >'" + out + "' 2>'" + err + "'";
  int status = std::system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

TEST(ArchiveCommands, PackVerifyListAndExtractAPackage) {
  TempDir tmp;
  std::string big(100000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 3);
  WriteFile(tmp / "src/MRW/auftraege.adt", big);
  WriteFile(tmp / "src/MRW/info.rtf", "Der Sender hat keine weiteren Infos hinterlegt.\r\n");
  std::string package = tmp / "p.Qtf";

  Result r = RunMrw(tmp, "pack --package " + Q(package) + " " + Q(tmp / "src/MRW/*.*"));
  ASSERT_EQ(r.code, 0) << r.err;
  r = RunMrw(tmp, "verify --package " + Q(package));
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "OK\n");

  r = RunMrw(tmp, "list " + Q(package));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("title: {72475EA3-7E8C-4AE3-90B0-7B9D6CE6F161}\ntotal size: ")) << r.out;
  EXPECT_NE(r.out.find("files: 2\nFILE:LIST\t"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\\mrw\\auftraege.adt\t"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\t100000\t7 chunks (0 stored, 7 compressed)\n"), std::string::npos) << r.out;

  r = RunMrw(tmp, "extract " + Q(package) + " " + Q(tmp / "out"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadFile(tmp / "out/auftraege.adt"), big);
  EXPECT_EQ(ReadFile(tmp / "out/info.rtf"), "Der Sender hat keine weiteren Infos hinterlegt.\r\n");

  // One damaged byte in the first chunk's length.
  std::string bytes = ReadFile(package);
  bytes[71] = static_cast<char>(bytes[71] ^ 0x40);
  WriteFile(package, bytes);
  r = RunMrw(tmp, "verify " + Q(package));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("offset 71: "), std::string::npos) << r.err;
}

TEST(ArchiveCommands, WriterFailuresAndWrongArguments) {
  TempDir tmp;
  WriteFile(tmp / "a.txt", "a");
  Result r = RunMrw(tmp, "pack " + Q(tmp / "no/such/folder/x.arc") + " " + Q(tmp / "a.txt"));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Cannot write to archive"), std::string::npos) << r.err;

  const std::string a = Q(tmp / "x.arc") + " " + Q(tmp / "a.txt");
  for (const std::string& args : {std::string("pack"), "pack " + Q(tmp / "x.arc"), "pack --level fast " + a,
                                  "pack --max-size -5 " + a, "pack --package --title T " + a,
                                  "pack --package --no-file-list " + a, std::string("verify"), "extract " + Q(tmp / "x.arc")}) {
    r = RunMrw(tmp, args);
    EXPECT_EQ(r.code, 2) << args;
    EXPECT_NE(r.err.find("usage: mrw"), std::string::npos) << args;
  }
}

}  // namespace
