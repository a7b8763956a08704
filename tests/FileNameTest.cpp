#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "component/DIdezuDOR.h"
#include "media/AVProbe.h"
#include "media/LibraryBindings.h"
#include "media/TextAndPath.h"
#include "media/UnicodeProtocol.h"

namespace {

// A name in Chinese with a space reaches the libraries as it is: the file opens through the probe and
// the engine, the output is created under its own name, and the libraries hand both names back.
TEST(FileNameTest, ANonAsciiNameReachesTheLibrariesUnchanged)
{
    kvtest::LoadSystemLibraries();
    const kvtest::TempFolder temp("names");
    const std::string input = temp.Path + "/视频 文件.mp4";
    const std::string output = temp.Path + "/输出 视频.avi";
    std::filesystem::copy_file(kvtest::Fixture("h264.mp4"), input);

    kv::TAVProbe probe;
    ASSERT_TRUE(probe.OpenFile(input)) << probe.LastError();
    EXPECT_EQ(probe.GetFileName(), input);
    EXPECT_EQ(probe.VideoStreamCount, 1);

    kv::TDIdezuDOR engine;
    ASSERT_TRUE(engine.LoadLibraries("")) << engine.LastError();
    const int index = engine.AddTask(input);
    ASSERT_GE(index, 0) << engine.LastError();
    ASSERT_TRUE(engine.SetOutputFile(index, output)) << engine.LastError();
    const kv::TPreparedFiles& files = engine.Tasks(index).Files();
    EXPECT_EQ(kv::FileNameFromLibrary(files.InputFiles[0]->url), input);
    EXPECT_EQ(kv::FileNameFromLibrary(files.OutputFiles[0]->url), output);
    EXPECT_TRUE(std::filesystem::exists(output)) << "the output is created under the name it was given";
}

TEST(FileNameTest, EncodeAndDecodeRoundTrip)
{
    const std::string names[] = {
        "/tmp/plain.avi", "/media/a:b/c.avi", "/tmp/视频.avi", "http://host:8080/a:b.ts", "c:d", ""};
    for (const std::string& name : names) {
        const std::string encoded = kv::EncodeUnicodeName(name);
        EXPECT_EQ(encoded, "unicode:utf8:" + name);
        EXPECT_EQ(kv::DecodeUnicodeName(encoded.c_str()), name);
    }
}

TEST(FileNameTest, IsUnicodeNameWantsThePrefixAndAName)
{
    const struct {
        const char* Name;
        bool Wrapped;
    } cases[] = {
        {"unicode:utf8:/a", true},
        {"unicode:utf8:视频.avi", true},
        {"unicode:utf8:x", true},
        {"unicode:utf8:", false},
        {"unicode:utf8", false},
        {"unicode:utf16:/a", false},
        {"/tmp/unicode:utf8:/a", false},
        {"/a", false},
        {"", false},
        {nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv::IsUnicodeName(c.Name), c.Wrapped) << (c.Name ? c.Name : "(null)");
}

TEST(FileNameTest, NamesGoingToAndComingFromTheLibraries)
{
    const struct {
        std::string Name;
        std::string Plain;
    } cases[] = {
        {"unicode:utf8:/tmp/视频.avi", "/tmp/视频.avi"},
        {"unicode:utf8:/media/a:b/c.avi", "/media/a:b/c.avi"},
        {"/tmp/视频.avi", "/tmp/视频.avi"},
        {"/media/a:b/c.avi", "/media/a:b/c.avi"},
        {"http://host:8080/a.ts", "http://host:8080/a.ts"},
        {"unicode:utf8:", "unicode:utf8:"},
        {"unicode:utf16:/a", "unicode:utf16:/a"},
        {"\xff\xfe:\x80.avi", "\xff\xfe:\x80.avi"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kv::LibraryFileNameOf(c.Name), c.Plain) << c.Name;
        EXPECT_EQ(kv::FileNameFromLibrary(c.Name.c_str()), c.Plain) << c.Name;
    }
    EXPECT_EQ(kv::FileNameFromLibrary(nullptr), "");
}

std::string FormatThroughRuntime(const char* Format, ...)
{
    char buffer[64];
    va_list args;
    va_start(args, Format);
    const int length = kv::rt::my_vsprintf(buffer, Format, args);
    va_end(args);
    return length < 0 ? std::string("(error)") : std::string(buffer, static_cast<size_t>(length));
}

// The runtime helpers are the C runtime's own functions: a UTF-8 name reaches the file system unchanged.
TEST(FileNameTest, RuntimeHelpersWork)
{
    kvtest::LoadSystemLibraries();
    const kvtest::TempFolder temp("runtime");
    const std::string name = temp.Path + "/视频 记录.txt";

    FILE* file = kv::rt::my_fopen(name.c_str(), "w+b");
    ASSERT_NE(file, nullptr) << name;
    EXPECT_EQ(kv::rt::my_fprintf(file, "%s=%d\n", "count", 42), 9);
    EXPECT_EQ(kv::rt::my_fwrite("xyz", 1, 3, file), 3u);
    EXPECT_EQ(kv::rt::my_ftell(file), 12);
    EXPECT_EQ(kv::rt::my_fseek(file, 6, SEEK_SET), 0);
    char buffer[16] = {};
    EXPECT_EQ(kv::rt::my_fread(buffer, 1, sizeof buffer, file), 6u);
    EXPECT_STREQ(buffer, "42\nxyz");
    EXPECT_EQ(kv::rt::my_fclose(file), 0);
    EXPECT_EQ(kv::FileSizeW(name), 12);
    EXPECT_TRUE(std::filesystem::is_regular_file(name));

    char small[8];
    EXPECT_EQ(kv::rt::my_snprintf(small, sizeof small, "%s-%d", "abcdef", 123), 10);
    EXPECT_STREQ(small, "abcdef-");
    EXPECT_EQ(FormatThroughRuntime("%05.1f|%x|%s", 3.14159, 255u, "视频"), "003.1|ff|视频");

    char* end = nullptr;
    const char hex[] = "0x1Azz";
    EXPECT_EQ(kv::rt::my_strtol(hex, &end, 16), 26);
    EXPECT_STREQ(end, "zz");
    EXPECT_EQ(kv::rt::my_strtol("-ff", nullptr, 16), -255);
    const char real[] = "2.5e3 fps";
    EXPECT_DOUBLE_EQ(kv::rt::my_strtod(real, &end), 2500.0);
    EXPECT_STREQ(end, " fps");

    char list[] = "a,b;;c,";
    std::string tokens;
    for (char* token = kv::rt::my_strtok(list, ",;"); token; token = kv::rt::my_strtok(nullptr, ",;"))
        tokens += std::string(token) + "|";
    EXPECT_EQ(tokens, "a|b|c|");
}

}  // namespace
