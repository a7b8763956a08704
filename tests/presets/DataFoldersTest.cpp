// Where the programs find their data: beside them in a build folder, under their prefix's share/kelvane/
// when installed, and the profile listing that follows.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "FileHelpers.h"
#include "TestSupport.h"
#include "media/DataFolders.h"
#include "presets/OutputTables.h"
#include "presets/ProfileCatalog.h"

namespace {

namespace fs = std::filesystem;

TEST(DataFoldersTest, DataIsTakenFromBesideTheProgramElseFromItsPrefixShare)
{
    kvtest::TempFolder temp("data");
    const std::string root = temp.Path + "/";
    // A build folder with everything beside the program, a prefix with its data in share/kelvane/, one with
    // its profiles beside the program and only its translations under share/, and a program without data.
    for (const char* folder :
         {"build/profiles", "build/translations", "prefix/bin", "prefix/share/kelvane/profiles",
          "prefix/share/kelvane/translations", "mixed/bin/profiles", "mixed/share/kelvane/translations", "bare/bin"})
        fs::create_directories(root + folder);
    struct TCase {
        const char* Name;
        std::string ProgramFolder;
        const char* Entry;
        std::string Expected;
    };
    const TCase cases[] = {
        {"build folder, profiles", root + "build/", "profiles", root + "build/"},
        {"build folder, translations", root + "build/", "translations", root + "build/"},
        {"installed, profiles", root + "prefix/bin/", "profiles", root + "prefix/share/kelvane/"},
        {"installed, translations", root + "prefix/bin", "translations", root + "prefix/share/kelvane/"},
        {"beside the program wins", root + "mixed/bin/", "profiles", root + "mixed/bin/"},
        {"each entry found on its own", root + "mixed/bin/", "translations", root + "mixed/share/kelvane/"},
        {"nowhere: named beside the program", root + "bare/bin/", "profiles", root + "bare/bin/"},
        {"a file is not a data folder", root + "bare/bin/", "program", root + "bare/bin/"},
    };
    kvtest::WriteBytes(root + "bare/bin/program", "not a folder");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(kv::DataHome(c.ProgramFolder, c.Entry), c.Expected);
    }

    EXPECT_FALSE(kv::RunsInstalled(root + "build/"));
    EXPECT_TRUE(kv::RunsInstalled(root + "prefix/bin/"));
    EXPECT_FALSE(kv::RunsInstalled(root + "mixed/bin/")) << "its profiles lie beside it";
    EXPECT_FALSE(kv::RunsInstalled(root + "bare/bin/"));
}

TEST(DataFoldersTest, AnInstalledProgramListsTheProfilesOfItsPrefix)
{
    kvtest::TempFolder temp("installed");
    const std::string share = temp.Path + "/share/kelvane/profiles/";
    const std::string type = kv::presets::FileTypeFolder(0);
    kvtest::WriteBytes(share + "videoconvert/" + type + "/02 b.ini", "[video]\n");
    kvtest::WriteBytes(share + "videoconvert/" + type + "/01 a.ini", "[video]\n");
    kvtest::WriteBytes(share + "devices/Brand/Model.ini", "[video]\n");
    fs::create_directories(temp.Path + "/bin");

    const kv::presets::TProfileCatalog catalog(temp.Path + "/bin/");
    EXPECT_EQ(catalog.Folder(), temp.Path + "/share/kelvane/");
    EXPECT_EQ(kv::presets::TProfileCatalog::ItemNames(catalog.PresetFiles(0)),
              (std::vector<std::string>{"01 a", "02 b"}));
    EXPECT_EQ(catalog.Brands(), std::vector<std::string>{"Brand"});
    EXPECT_EQ(catalog.ModelFiles("Brand").size(), 1u);
}

}  // namespace
