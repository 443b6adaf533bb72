#include <cstdlib>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "foundation/registry.h"

namespace mrw {
namespace {

TEST(Registry, ReadsValuesByKeyPathAndNameWithoutRegardToCase) {
  test::TempDir dir;
  const char* old = std::getenv("QM_REGISTRY_FILE");
  const std::string saved = old ? old : "";
  test::WriteFile(dir / "registry.ini",
                  "[SOFTWARE\\Vendor\\Product]\r\nInstallLocation=/opt/product\r\nLeer=\r\n"
                  "[\\SOFTWARE\\Other]\r\nPath=/opt/other\r\n");
  ::setenv("QM_REGISTRY_FILE", (dir / "registry.ini").c_str(), 1);
  EXPECT_EQ(RegistryFilePath(), dir / "registry.ini");

  EXPECT_EQ(RegistryReadString("\\SOFTWARE\\Vendor\\Product", "InstallLocation"), "/opt/product");
  EXPECT_EQ(RegistryReadString("software\\vendor\\product", "installlocation"), "/opt/product");
  EXPECT_EQ(RegistryReadString("SOFTWARE\\Other", "Path"), "/opt/other");  // written with "\" in the file
  EXPECT_EQ(RegistryReadString("SOFTWARE\\Vendor\\Product", "Leer"), "");  // present, but empty
  EXPECT_EQ(RegistryReadString("SOFTWARE\\Vendor\\Product", "Fehlt"), std::nullopt);
  EXPECT_EQ(RegistryReadString("SOFTWARE\\Vendor", "InstallLocation"), std::nullopt);

  ::setenv("QM_REGISTRY_FILE", (dir / "missing.ini").c_str(), 1);
  EXPECT_EQ(RegistryReadString("SOFTWARE\\Vendor\\Product", "InstallLocation"), std::nullopt);

  if (old) {
    ::setenv("QM_REGISTRY_FILE", saved.c_str(), 1);
  } else {
    ::unsetenv("QM_REGISTRY_FILE");
  }
}

}  // namespace
}  // namespace mrw
