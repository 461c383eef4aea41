#include "shell/FileTypeRegistration.hpp"

#include "support/CaseName.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace orvane::shell {
namespace {

namespace fs = std::filesystem;
using orvane::test::ReadFile;
using orvane::test::TempDir;

// ---- where ------------------------------------------------------------------

struct DataHomeCase {
    const char* name;
    const char* xdgDataHome;
    const char* home;
    fs::path expected;
};

const DataHomeCase kDataHomeCases[] = {
    {"XdgDataHomeWins", "/data/home", "/home/u", "/data/home"},
    {"UnsetFallsBackToHome", nullptr, "/home/u", "/home/u/.local/share"},
    {"EmptyFallsBackToHome", "", "/home/u", "/home/u/.local/share"},
    {"RelativeIsIgnored", "data", "/home/u", "/home/u/.local/share"},
    {"NeitherKnown", nullptr, nullptr, ""},
    {"RelativeHomeUnusable", nullptr, "home", ""},
};

class UserDataHomeTest : public ::testing::TestWithParam<DataHomeCase> {};

TEST_P(UserDataHomeTest, Folder)
{
    EXPECT_EQ(UserDataHome(GetParam().xdgDataHome, GetParam().home), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, UserDataHomeTest, ::testing::ValuesIn(kDataHomeCases), orvane::test::CaseName{});

// ---- the Exec key -----------------------------------------------------------

struct ExecCase {
    const char* name;
    std::string_view path;
    std::string_view exec;
};

const ExecCase kExecCases[] = {
    {"Plain", "/opt/orvane/OrvaneEditor", R"("/opt/orvane/OrvaneEditor")"},
    {"Blank", "/opt/my maps/OrvaneEditor", R"("/opt/my maps/OrvaneEditor")"},
    // Inside quotes ", `, $ and \ take a backslash; the string value then
    // doubles every backslash.
    {"QuoteDollarBacktick", R"(/a"b$c`d)", R"("/a\\"b\\$c\\`d")"},
    {"Backslash", R"(/a\b)", R"("/a\\\\b")"},
    {"PercentDoubled", "/100%/x", R"("/100%%/x")"},
};

class DesktopExecTest : public ::testing::TestWithParam<ExecCase> {};

TEST_P(DesktopExecTest, Quoted)
{
    EXPECT_EQ(DesktopExecQuote(GetParam().path), GetParam().exec);
}

INSTANTIATE_TEST_SUITE_P(Rows, DesktopExecTest, ::testing::ValuesIn(kExecCases), orvane::test::CaseName{});

// ---- registration -----------------------------------------------------------

/// The first bytes of a PNG file of the given size: enough for the check.
std::string PngHeader(std::uint32_t width, std::uint32_t height)
{
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (const std::uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>((v >> shift) & 0xFF);
    png += std::string("\x08\x02\0\0\0", 5);
    return png;
}

bool ToolInstalled(const char* name)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && ::access((fs::path(folder) / name).c_str(), X_OK) == 0) return true;
    return false;
}

TEST(RegisterFileType, WritesTypeEntryAndIcon)
{
    const TempDir home;
    const std::string icon = PngHeader(48, 48);

    EXPECT_TRUE(RegisterFileTypeIn(home.Path(), "/opt/orvane/OrvaneEditor", icon));

    const std::string package = ReadFile(home / "mime/packages/orvane-zentramap.xml");
    EXPECT_NE(package.find(R"(<mime-type type="application/x-zentramap">)"), std::string::npos);
    EXPECT_NE(package.find("<comment>Zentra Map</comment>"), std::string::npos);
    EXPECT_NE(package.find(R"(<glob pattern="*.qvm"/>)"), std::string::npos);
    EXPECT_NE(package.find(R"(<icon name="orvane-editor"/>)"), std::string::npos);

    const std::string entry = ReadFile(home / "applications/orvane-editor.desktop");
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(entry.find("\nExec=\"/opt/orvane/OrvaneEditor\"\n"), std::string::npos);
    EXPECT_NE(entry.find("\nIcon=orvane-editor\n"), std::string::npos);
    EXPECT_EQ(entry.find("MimeType="), std::string::npos) << "no open command is registered";

    EXPECT_EQ(ReadFile(home / "icons/hicolor/48x48/apps/orvane-editor.png"), icon);
}

TEST(RegisterFileType, TheDesktopDatabaseKnowsTheType)
{
    if (!ToolInstalled("update-mime-database")) GTEST_SKIP() << "update-mime-database is not installed";
    const TempDir home;

    ASSERT_TRUE(RegisterFileTypeIn(home.Path(), "/opt/orvane/OrvaneEditor", {}));

    // What update-mime-database made of the package: the glob, the icon and
    // the type's own description.
    EXPECT_NE(ReadFile(home / "mime/globs2").find("application/x-zentramap:*.qvm"), std::string::npos);
    EXPECT_NE(ReadFile(home / "mime/icons").find("application/x-zentramap:orvane-editor"), std::string::npos);
    EXPECT_NE(ReadFile(home / "mime/application/x-zentramap.xml").find("Zentra Map"), std::string::npos);
    EXPECT_TRUE(fs::exists(home / "mime/mime.cache"));
}

TEST(RegisterFileType, EveryStartRepairsAChangedFile)
{
    const TempDir home;
    ASSERT_TRUE(RegisterFileTypeIn(home.Path(), "/opt/a/OrvaneEditor", {}));
    const std::string original = ReadFile(home / "mime/packages/orvane-zentramap.xml");
    orvane::test::WriteFile(home / "mime/packages/orvane-zentramap.xml", "damaged");

    // A moved program is named anew; the damaged type is written again.
    ASSERT_TRUE(RegisterFileTypeIn(home.Path(), "/opt/b/OrvaneEditor", {}));

    EXPECT_EQ(ReadFile(home / "mime/packages/orvane-zentramap.xml"), original);
    EXPECT_NE(ReadFile(home / "applications/orvane-editor.desktop").find("Exec=\"/opt/b/OrvaneEditor\""),
              std::string::npos);
    std::vector<fs::path> leftovers;
    for (const auto& e : fs::recursive_directory_iterator(home.Path()))
        if (e.path().string().find(".tmp-") != std::string::npos) leftovers.push_back(e.path());
    EXPECT_TRUE(leftovers.empty());
}

TEST(RegisterFileType, IconOnlyForASquarePng)
{
    const TempDir home;
    ASSERT_TRUE(RegisterFileTypeIn(home.Path(), "/p", PngHeader(48, 32)));
    ASSERT_TRUE(RegisterFileTypeIn(home.Path(), "/p", "GIF89a not a png at all"));
    EXPECT_FALSE(fs::exists(home / "icons"));
}

TEST(RegisterFileType, FailureIsSilent)
{
    const TempDir temp;
    // The data home is a file, so no folder can be made below it.
    orvane::test::WriteFile(temp / "file", "x");
    EXPECT_FALSE(RegisterFileTypeIn(temp / "file", "/p", {}));
    EXPECT_FALSE(RegisterFileTypeIn({}, "/p", {}));
}

} // namespace
} // namespace orvane::shell
