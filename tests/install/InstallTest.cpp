// Installing the build as a package does: cmake --install into a prefix of the test's own, the layout it
// makes there, the desktop's files it installs, and the installed programs finding their data under the
// prefix's share/ and keeping the user's settings out of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "media/FFmpegLoader.h"

namespace {

namespace fs = std::filesystem;

const std::string AppId = "io.github.kelvane.Kelvane";

std::string Quoted(const std::string& Text) { return "'" + Text + "'"; }

std::string ReadText(const std::string& Path)
{
    std::ifstream file(Path, std::ios::binary);
    EXPECT_TRUE(file) << Path;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The build installed into a temporary prefix, once for the test process; removed when the process ends.
struct TInstalled {
    TInstalled() : Root("install")
    {
        Prefix = Root.Path + "/prefix";
        Status = kvtest::RunCommand(
            Quoted(KELVANE_CMAKE) + " --install " + Quoted(KELVANE_BUILD_DIR) + " --prefix " + Quoted(Prefix), Output);
    }

    kvtest::TempFolder Root;
    std::string Prefix;
    int Status = -1;
    std::string Output;
};

const TInstalled& Installed()
{
    static const TInstalled installed;
    return installed;
}

#define ASSERT_INSTALLED() ASSERT_EQ(Installed().Status, 0) << Installed().Output

// The relative paths of the files under Folder.
std::set<std::string> FilesUnder(const std::string& Folder)
{
    std::set<std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Folder))
        if (entry.is_regular_file())
            files.insert(entry.path().lexically_relative(Folder).string());
    return files;
}

std::set<std::string> EntriesOf(const std::string& Folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(Folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Width and height from a PNG file's header chunk; 0, 0 when it is not a PNG.
std::pair<uint32_t, uint32_t> PngSize(const std::string& Path)
{
    const std::string bytes = ReadText(Path);
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    const auto word = [&](size_t At) {
        uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i)
            value = value << 8 | static_cast<unsigned char>(bytes[At + i]);
        return value;
    };
    return {word(16), word(20)};
}

// The first group of Pattern in Text, '' when it does not occur.
std::string Match(const std::string& Text, const std::string& Pattern)
{
    std::smatch match;
    return std::regex_search(Text, match, std::regex(Pattern)) ? match[1].str() : std::string();
}

TEST(InstallTest, TheFilesGoWhereTheFileSystemLayoutPutsThem)
{
    ASSERT_INSTALLED();
    const std::string prefix = Installed().Prefix + "/";
    EXPECT_EQ(EntriesOf(prefix), (std::set<std::string>{"bin", "include", "share"}));
    EXPECT_EQ(EntriesOf(prefix + "bin"), (std::set<std::string>{"kelvane", "kelvane-cli"})) << "programs only";
    for (const std::string& file : std::vector<std::string>{
             "include/kelvane/kelvane_vhook.h", "share/applications/" + AppId + ".desktop",
             "share/metainfo/" + AppId + ".metainfo.xml", "share/icons/hicolor/scalable/apps/" + AppId + ".svg"})
        EXPECT_TRUE(fs::is_regular_file(prefix + file)) << file;
    EXPECT_EQ(FilesUnder(prefix + "share/kelvane/profiles"), FilesUnder(KELVANE_SOURCE_DIR "/profiles"))
        << "every shipped profile, in its folder";

    for (const uint32_t size : {48u, 64u, 128u, 256u}) {
        const std::string side = std::to_string(size);
        const std::string icon = "share/icons/hicolor/" + side + "x" + side + "/apps/" + AppId + ".png";
        EXPECT_EQ(PngSize(prefix + icon), std::make_pair(size, size)) << icon;
    }
    const std::string svg = ReadText(prefix + "share/icons/hicolor/scalable/apps/" + AppId + ".svg");
    EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
}

TEST(InstallTest, TheDesktopEntryAndTheSoftwareCentreDataPassTheirCheckersUnderOneId)
{
    ASSERT_INSTALLED();
    const std::string desktop = Installed().Prefix + "/share/applications/" + AppId + ".desktop";
    const std::string metainfo = Installed().Prefix + "/share/metainfo/" + AppId + ".metainfo.xml";
    std::string output;
    EXPECT_EQ(kvtest::RunCommand("desktop-file-validate " + Quoted(desktop), output), 0) << output;
    EXPECT_EQ(output, "") << "no warnings either";
    EXPECT_EQ(kvtest::RunCommand("appstreamcli validate --no-net " + Quoted(metainfo), output), 0) << output;

    const std::string entry = ReadText(desktop);
    EXPECT_EQ(Match(entry, "\nIcon=([^\n]*)"), AppId);
    EXPECT_EQ(Match(entry, "\nExec=([^ \n]*)"), "kelvane");
    const std::string data = ReadText(metainfo);
    EXPECT_EQ(Match(data, "<id>([^<]*)</id>"), AppId);
    EXPECT_EQ(Match(data, "<launchable type=\"desktop-id\">([^<]*)</launchable>"), AppId + ".desktop");
    EXPECT_EQ(Match(data, "<icon type=\"stock\">([^<]*)</icon>"), AppId);
    EXPECT_EQ(Match(data, "<release version=\"([^\"]*)\""), KELVANE_VERSION) << "the newest release comes first";
    EXPECT_NE(Match(data, "<image>(https://[^<]*)</image>"), "") << "a screenshot";
}

TEST(InstallTest, TheInstalledCommandLineConvertsWithTheProfilesOfItsPrefix)
{
    ASSERT_INSTALLED();
    const std::string cli = Quoted(Installed().Prefix + "/bin/kelvane-cli");
    std::string output;
    ASSERT_EQ(kvtest::RunCommand(cli + " presets", output), 0) << output;
    EXPECT_NE(output.find("MP4/1"), std::string::npos) << output;

    const kvtest::TempFolder out("installed-out");
    ASSERT_EQ(kvtest::RunCommand(cli + " convert --preset MP4/1 " + Quoted(kvtest::Fixture("video_audio.avi")) +
                                     " -d " + Quoted(out.Path),
                                 output),
              0)
        << output;
    const std::map<std::string, std::string> facts = kvtest::Probe(out.Path + "/VIDEO_AUDIO_(new).mp4");
    EXPECT_EQ(facts.count("streams.stream.0.codec_type"), 1u) << output;
}

TEST(InstallTest, TheInstalledWindowListsTheProfilesOfItsPrefixAndKeepsTheSettingsInTheUsersFolder)
{
    ASSERT_INSTALLED();
    const kvtest::TempFolder home("installed-home");
    std::string output;
    const int status = kvtest::RunCommand("env QT_QPA_PLATFORM=offscreen HOME=" + Quoted(home.Path) +
                                              " XDG_CONFIG_HOME=" + Quoted(home.Path + "/config") + " " +
                                              Quoted(Installed().Prefix + "/bin/kelvane") + " --self-check",
                                          output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("window: shown\n"), std::string::npos) << output;
    EXPECT_NE(output.find("profiles: " + Installed().Prefix + "/share/kelvane/profiles/\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find("settings: " + home.Path + "/config/kelvane/config.ini\n"), std::string::npos) << output;
    EXPECT_EQ(Match(output, "\npresets \\(0\\)"), "") << output;
    EXPECT_TRUE(fs::is_regular_file(home.Path + "/config/kelvane/config.ini"));
    EXPECT_EQ(EntriesOf(Installed().Prefix + "/bin"), (std::set<std::string>{"kelvane", "kelvane-cli"}))
        << "nothing written beside the installed program";
}

TEST(InstallTest, ThePackageDependsOnWhatTheProgramsLoadAtRunTime)
{
    // The package's settings as CPack reads them.
    const std::string config = ReadText(KELVANE_BUILD_DIR "/CPackConfig.cmake");
    const std::string depends = Match(config, "set\\(CPACK_DEBIAN_PACKAGE_DEPENDS \"([^\"]*)\"\\)");
    std::set<std::string> listed;
    const std::regex name("[^, ]+");
    for (auto it = std::sregex_iterator(depends.begin(), depends.end(), name); it != std::sregex_iterator(); ++it)
        listed.insert(it->str());
    // The codec libraries the engine component loads, and the media-information library.
    std::set<std::string> loaded{"libmediainfo0v5"};
    const kv::TLibrarySet component = kv::ComponentLibrarySet();
    for (int library = 0; library < kv::LibraryCount; ++library)
        if (component.test(static_cast<size_t>(library)))
            loaded.insert(kv::FFLoader().LibraryPackage(library));
    // The C library is linked: the package finder names it.
    loaded.erase("libc6");
    for (const std::string& package : loaded)
        EXPECT_EQ(listed.count(package), 1u) << package << " is loaded at run time but not in: " << depends;
    EXPECT_EQ(Match(config, "set\\(CPACK_DEBIAN_PACKAGE_SHLIBDEPS \"([^\"]*)\"\\)"), "ON");
    EXPECT_EQ(Match(config, "set\\(CPACK_PACKAGING_INSTALL_PREFIX \"([^\"]*)\"\\)"), "/usr");
}

}  // namespace
