#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace corvane::platform {
namespace {

TEST(Registry, ReadsSectionsAndValuesWithoutRegardToCase) {
    test::TempDir dir;
    std::string path = dir.write("registry",
                                 "; comment\r\n"
                                 "[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\r\n"
                                 "QELINI=/opt/c/qel.ini\r\n"
                                 "INSTALLPATH=/opt/c\n"
                                 "SAVEPASSWD=false\n"
                                 "Empty=\n"
                                 "no equals sign here\n"
                                 "[Other]\n"
                                 "QELINI=elsewhere\n");
    Registry registry = Registry::LoadFile(path);
    EXPECT_TRUE(registry.HasKey("hkey_local_machine\\software\\halden systems"));
    EXPECT_EQ(registry.Value(kHaldenSystemsKey, "qelini"), "/opt/c/qel.ini");
    EXPECT_EQ(registry.Value(kHaldenSystemsKey, "INSTALLPATH"), "/opt/c");
    EXPECT_EQ(registry.Value(kHaldenSystemsKey, "Empty"), "");
    EXPECT_EQ(registry.Value(kHaldenSystemsKey, "Missing"), std::nullopt);
    EXPECT_EQ(registry.Value("Other", "QELINI"), "elsewhere");
    EXPECT_FALSE(registry.HasKey("[Absent]"));
}

TEST(Registry, MissingFileIsEmptyButDocumentsFolderStillAnswers) {
    test::TempDir dir;
    Registry registry = Registry::LoadFile(dir.file("nothing-here"));
    EXPECT_FALSE(registry.HasKey(kHaldenSystemsKey));
    setenv("XDG_DOCUMENTS_DIR", dir.path().c_str(), 1);
    EXPECT_TRUE(registry.HasKey(kShellFoldersKey));
    EXPECT_EQ(registry.Value(kShellFoldersKey, "Personal"), dir.path());
    unsetenv("XDG_DOCUMENTS_DIR");
}

TEST(Registry, PersonalFromTheFileWinsOverTheDesktopFolder) {
    test::TempDir dir;
    std::string path = dir.write("registry", std::string("[") + std::string(kShellFoldersKey) +
                                                 "]\nPersonal=/home/ann/Documents\n");
    EXPECT_EQ(Registry::LoadFile(path).Value(kShellFoldersKey, "Personal"),
              "/home/ann/Documents");
}

TEST(Registry, EnvironmentVariableNamesTheFile) {
    setenv("CORVANE_REGISTRY", "/some/where/registry", 1);
    EXPECT_EQ(Registry::DefaultPath(), "/some/where/registry");
    unsetenv("CORVANE_REGISTRY");
}

}  // namespace
}  // namespace corvane::platform
