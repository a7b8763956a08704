#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"
#include "media/TextAndPath.h"

extern "C" {
#include <libavutil/error.h>
}

namespace {

void WriteFile(const std::string& Name, const std::string& Bytes)
{
    std::ofstream out(Name, std::ios::binary | std::ios::trunc);
    out << Bytes;
    ASSERT_TRUE(out.good()) << Name;
}

// The names of the bound functions (kv::lav and kv::rt) whose pointer is set (Bound) or not.
std::vector<std::string> FunctionsWhere(bool Bound)
{
    std::vector<std::string> names;
#define KV_TEST_LAV(name) \
    if ((kv::lav::name != nullptr) == Bound) \
        names.push_back(#name);
#define KV_TEST_RT(name) \
    if ((kv::rt::my_##name != nullptr) == Bound) \
        names.push_back("my_" #name);
    KV_AVCODEC_FUNCTIONS(KV_TEST_LAV)
    KV_AVDEVICE_FUNCTIONS(KV_TEST_LAV)
    KV_AVFILTER_FUNCTIONS(KV_TEST_LAV)
    KV_AVFORMAT_FUNCTIONS(KV_TEST_LAV)
    KV_AVUTIL_FUNCTIONS(KV_TEST_LAV)
    KV_SWSCALE_FUNCTIONS(KV_TEST_LAV)
    KV_SWRESAMPLE_FUNCTIONS(KV_TEST_LAV)
    KV_MYUTIL_FUNCTIONS(KV_TEST_RT)
#undef KV_TEST_LAV
#undef KV_TEST_RT
    return names;
}

const std::vector<std::string> NoNames;

// The members of the component set that are loaded.
std::vector<int> LoadedMembers()
{
    std::vector<int> loaded;
    const kv::TLibrarySet set = kv::ComponentLibrarySet();
    for (int lib = 0; lib < kv::LibraryCount; ++lib)
        if (set.test(static_cast<size_t>(lib)) && kv::FFLoader().IsLibLoaded(lib))
            loaded.push_back(lib);
    return loaded;
}

// What the platform says when Path is opened the way the loader opens a library.
std::string OpenError(const std::string& Path)
{
    ::dlerror();
    void* handle = ::dlopen(Path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (handle) {
        ::dlclose(handle);
        return "(opened)";
    }
    const char* reason = ::dlerror();
    return reason ? reason : "";
}

// What the platform says when Name is looked up in the library file Path.
std::string LookupError(const std::string& Path, const char* Name)
{
    void* handle = ::dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return "(not opened)";
    ::dlerror();
    const void* address = ::dlsym(handle, Name);
    const char* reason = ::dlerror();
    const std::string text = address ? "(found)" : (reason ? reason : "");
    ::dlclose(handle);
    return text;
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override { kvtest::LoadSystemLibraries(); }

    // Every test leaves the component's libraries loaded from the system, as the other tests expect.
    void TearDown() override { RestoreSystemLibraries(); }

    static void RestoreSystemLibraries()
    {
        kv::FFLoader().UnloadLibs(kv::ComponentLibrarySet());
        kv::FFLoader().SetLibraryPath("");
        kvtest::LoadSystemLibraries();
    }
};

TEST_F(LoaderTest, LibraryFileNameGivesTheSoname)
{
    const struct {
        int Library;
        const char* FileName;
    } cases[] = {
        {kv::libAVCodec, "libavcodec.so.59"},
        {kv::libAVDevice, "libavdevice.so.59"},
        {kv::libAVFilter, "libavfilter.so.8"},
        {kv::libAVFormat, "libavformat.so.59"},
        {kv::libAVUtil, "libavutil.so.57"},
        {kv::libSWScale, "libswscale.so.6"},
        {kv::libMyUtil, "libc.so.6"},
        {kv::libSDL, "libSDL2-2.0.so.0"},
        {kv::libSWResample, "libswresample.so.4"},
        {-1, ""},
        {kv::LibraryCount, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv::FFLoader().LibraryFileName(c.Library), c.FileName) << "library " << c.Library;
    EXPECT_FALSE(kv::FFLoader().LoadLib(kv::LibraryCount));
    EXPECT_FALSE(kv::FFLoader().IsLibLoaded(-1));
}

TEST_F(LoaderTest, LoadsTheSystemLibrariesAndBindsEveryFunction)
{
    const kv::TLibrarySet set = kv::ComponentLibrarySet();
    kv::FFLoader().UnloadLibs(set);
    EXPECT_FALSE(kv::FFLoader().LibsLoaded(set));
    EXPECT_EQ(FunctionsWhere(true), NoNames);

    kv::FFLoader().SetLibraryPath("");
    ASSERT_TRUE(kv::FFLoader().LoadLibs(set)) << kv::FFLoader().LastLoadError();
    EXPECT_TRUE(kv::FFLoader().LibsLoaded(set));
    EXPECT_EQ(FunctionsWhere(false), NoNames);
    EXPECT_FALSE(FunctionsWhere(true).empty());
    // Only the set is loaded.
    EXPECT_FALSE(kv::FFLoader().IsLibLoaded(kv::libAVDevice));
    EXPECT_FALSE(kv::FFLoader().IsLibLoaded(kv::libSDL));

    char buffer[32];
    EXPECT_EQ(kv::rt::my_snprintf(buffer, sizeof buffer, "%s %d", "frame", 7), 7);
    EXPECT_STREQ(buffer, "frame 7");
    char* copy = kv::lav::av_strdup("视频.avi");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "视频.avi");
    kv::lav::av_free(copy);
}

// A library folder without the files is searched first and then passed over: the system search finds them.
TEST_F(LoaderTest, FolderWithoutTheFilesFallsBackToTheSystemSearch)
{
    kvtest::TempFolder temp("loader-missing");
    const std::string folders[] = {temp.Path + "/does-not-exist", temp.Path};
    const kv::TLibrarySet set = kv::ComponentLibrarySet();
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        kv::FFLoader().UnloadLibs(set);
        kv::FFLoader().SetLibraryPath(folder);
        EXPECT_EQ(kv::FFLoader().LibraryPath(), folder);
        EXPECT_TRUE(kv::FFLoader().LoadLibs(set)) << kv::FFLoader().LastLoadError();
        EXPECT_TRUE(kv::FFLoader().LibsLoaded(set));
        EXPECT_EQ(FunctionsWhere(false), NoNames);
    }
}

// A library in the folder that cannot be used fails the whole set: the libraries loaded before it are
// unloaded again and their functions unbound.
TEST_F(LoaderTest, UnusableLibraryInTheFolderUnloadsTheWholeSet)
{
    enum TContent { Garbage, StubLibrary };
    const struct {
        const char* Name;
        TContent Content;
        bool TrailingDelimiter;
    } cases[] = {
        {"not a library file", Garbage, false},
        {"not a library file, folder given with a trailing /", Garbage, true},
        {"a library without the functions", StubLibrary, false},
    };
    const kv::TLibrarySet set = kv::ComponentLibrarySet();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        kvtest::TempFolder temp("loader-bad");
        const std::string file = temp.Path + "/libswscale.so.6";
        if (c.Content == Garbage)
            WriteFile(file, std::string("this is not a shared object\n") + std::string(4096, 'x'));
        else
            std::filesystem::copy_file(KELVANE_STUB_LIBRARY, file);

        // Everything but swscale stays loaded, so the failure has bound functions to undo, including those
        // of avcodec, which comes after swscale in the loading order.
        kvtest::LoadSystemLibraries();
        kv::FFLoader().UnloadLib(kv::libSWScale);
        ASSERT_NE(kv::lav::av_log, nullptr);
        ASSERT_NE(kv::lav::avcodec_alloc_context3, nullptr);
        ASSERT_NE(kv::rt::my_fopen, nullptr);

        kv::FFLoader().SetLibraryPath(c.TrailingDelimiter ? temp.Path + "/" : temp.Path);
        EXPECT_FALSE(kv::FFLoader().LoadLibs(set));

        const std::string expected =
            c.Content == Garbage
                ? "Load library " + temp.Path + "/libswscale.so.6 error: " + OpenError(file)
                : "Load function sws_freeContext@libswscale.so.6 error: " + LookupError(file, "sws_freeContext");
        EXPECT_EQ(kv::FFLoader().LastLoadError(), expected);
        EXPECT_FALSE(kv::FFLoader().LibsLoaded(set));
        EXPECT_EQ(LoadedMembers(), std::vector<int>{});
        EXPECT_EQ(FunctionsWhere(true), NoNames);

        RestoreSystemLibraries();
    }
}

// Every library of a set that fails is named with its own reason, so the user can be told all that is
// missing at once; a later success forgets them.
TEST_F(LoaderTest, EveryLibraryThatFailsIsNamed)
{
    const kv::TLibrarySet set = kv::ComponentLibrarySet();
    kvtest::TempFolder temp("loader-missing");
    for (const char* name : {"libavfilter.so.8", "libswscale.so.6"})
        WriteFile(temp.Path + "/" + name, "this is not a shared object\n");
    ASSERT_TRUE(kv::FFLoader().UnloadLibs(set));
    kv::FFLoader().SetLibraryPath(temp.Path);
    EXPECT_FALSE(kv::FFLoader().LoadLibs(set));
    const std::vector<kv::TLoadFailure> failures = kv::FFLoader().LastLoadFailures();
    ASSERT_EQ(failures.size(), 2u);
    // In loading order: swscale before avfilter.
    EXPECT_EQ(failures[0].Library, kv::libSWScale);
    EXPECT_EQ(failures[0].Error,
              "Load library " + temp.Path + "/libswscale.so.6 error: " + OpenError(temp.Path + "/libswscale.so.6"));
    EXPECT_EQ(failures[1].Library, kv::libAVFilter);
    EXPECT_EQ(failures[1].Error,
              "Load library " + temp.Path + "/libavfilter.so.8 error: " + OpenError(temp.Path + "/libavfilter.so.8"));
    EXPECT_EQ(kv::FFLoader().LastLoadError(), failures[0].Error);
    EXPECT_EQ(LoadedMembers(), std::vector<int>{});

    RestoreSystemLibraries();
    EXPECT_TRUE(kv::FFLoader().LoadLibs(set));
    EXPECT_TRUE(kv::FFLoader().LastLoadFailures().empty());
}

// The package named for a library is the one that installed its file here.
TEST_F(LoaderTest, EachLibrarysPackageIsTheOneThatInstallsIt)
{
    for (int lib : {kv::libAVCodec, kv::libAVDevice, kv::libAVFilter, kv::libAVFormat, kv::libAVUtil, kv::libSWScale,
                    kv::libMyUtil, kv::libSWResample}) {
        const std::string file = kv::FFLoader().LibraryFileName(lib);
        SCOPED_TRACE(file);
        std::string output;
        ASSERT_EQ(kvtest::RunCommand("dpkg -S '*/" + file + "'", output), 0) << output;
        const std::string package = kv::FFLoader().LibraryPackage(lib);
        ASSERT_FALSE(package.empty());
        EXPECT_NE(("\n" + output).find("\n" + package + ":"), std::string::npos) << output;
    }
    EXPECT_EQ(kv::FFLoader().LibraryPackage(kv::LibraryCount), "");
}

TEST(LibraryHelpersTest, LibraryErrorTextPicksTheTemplateByCode)
{
    const std::string ioError =
        "x.avi: I/O error occurred\nUsually that means that input file is truncated and/or corrupted.";
    const struct {
        std::string Context;
        int Code;
        std::string Text;
    } cases[] = {
        {"x.avi", AVERROR(ENOENT), "x.avi: no such file or directory"},
        {"x.avi", -1, "x.avi: Error while opening file"},
        {"x.avi", AVERROR(ENOSPC), "x.avi: Error while opening file"},
        {"x.avi", AVERROR_INVALIDDATA, "x.avi: Error while parsing header"},
        {"x.avi", AVERROR(EINVAL), "x.avi: Error while parsing header"},
        {"x.avi", AVERROR(ENOMEM), "x.avi: memory allocation error occurred"},
        {"x.avi", AVERROR(EIO), ioError},
        {"x.avi", AVERROR_EOF, ioError},
        {"x.avi", AVERROR(EILSEQ), "x.avi: Unknown format"},
        {"x.avi", AVERROR_DEMUXER_NOT_FOUND, "x.avi: Unknown format"},
        // The context is text, never a template.
        {"%s-%d-100%%.avi", AVERROR(ENOENT), "%s-%d-100%%.avi: no such file or directory"},
        {"", AVERROR(ENOMEM), ": memory allocation error occurred"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv::LibraryErrorText(c.Context, c.Code), c.Text) << "code " << c.Code;
}

TEST(LibraryHelpersTest, ImageNameSyntaxTextShowsSinglePercentSigns)
{
    const std::string text = kv::LibraryErrorText("img.jpg", AVERROR(EDOM));
    EXPECT_EQ(text.rfind("img.jpg: Incorrect image filename syntax.\n", 0), 0u) << text;
    EXPECT_NE(text.find("Use '%d' to specify the image number"), std::string::npos) << text;
    EXPECT_NE(text.find("use 'img%d.jpg'"), std::string::npos) << text;
    EXPECT_NE(text.find("use 'img%03d.jpg'"), std::string::npos) << text;
    EXPECT_EQ(text.find("%%"), std::string::npos) << text;
}

TEST(LibraryHelpersTest, GetMetadataValueLooksUpTheKeyOrGivesTheDefault)
{
    kvtest::LoadSystemLibraries();
    EXPECT_EQ(kv::GetMetadataValue(nullptr, "title", "none"), "none");

    // The engine never fills dictionaries itself, so av_dict_set is taken from the loaded library here.
    void* avutil = ::dlopen(kv::FFLoader().LibraryFileName(kv::libAVUtil).c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(avutil, nullptr);
    const auto dictSet = reinterpret_cast<decltype(&::av_dict_set)>(::dlsym(avutil, "av_dict_set"));
    ASSERT_NE(dictSet, nullptr);

    AVDictionary* dict = nullptr;
    EXPECT_GE(dictSet(&dict, "title", "Holiday 视频", 0), 0);
    EXPECT_GE(dictSet(&dict, "encoder", "Lavf59", 0), 0);
    EXPECT_EQ(kv::GetMetadataValue(dict, "title", "none"), "Holiday 视频");
    EXPECT_EQ(kv::GetMetadataValue(dict, "encoder", "none"), "Lavf59");
    EXPECT_EQ(kv::GetMetadataValue(dict, "artist", "none"), "none");
    EXPECT_EQ(kv::GetMetadataValue(dict, "artist", ""), "");

    kv::lav::av_dict_free(&dict);
    EXPECT_EQ(dict, nullptr);
    ::dlclose(avutil);
}

TEST(LibraryHelpersTest, Q2DDividesNumeratorByDenominator)
{
    EXPECT_DOUBLE_EQ(kv::Q2D(AVRational{1, 4}), 0.25);
    EXPECT_DOUBLE_EQ(kv::Q2D(AVRational{30000, 1001}), 30000.0 / 1001.0);
    EXPECT_DOUBLE_EQ(kv::Q2D(AVRational{-3, 2}), -1.5);
}

TEST(TextAndPathTest, SplitHead)
{
    const struct {
        std::string Text;
        std::string Delimiter;
        bool Remove;
        std::string Head;
        std::string Rest;
    } cases[] = {
        {"a,b,c", ",", true, "a", "b,c"},
        {"a,b,c", ",", false, "a", "a,b,c"},
        {",b", ",", true, "", "b"},
        {"a,", ",", true, "a", ""},
        {"abc", ",", true, "abc", ""},
        {"abc", ",", false, "abc", "abc"},
        {"key::=value::=more", "::=", true, "key", "value::=more"},
        {"key:value", "::=", true, "key:value", ""},
        {"", ",", true, "", ""},
        {"", ",", false, "", ""},
        {"abc", "", true, "abc", ""},
    };
    for (const auto& c : cases) {
        std::string text = c.Text;
        std::string head = "stale";
        kv::SplitHead(text, c.Delimiter, c.Remove, head);
        EXPECT_EQ(head, c.Head) << '"' << c.Text << "\" by \"" << c.Delimiter << "\" remove " << c.Remove;
        EXPECT_EQ(text, c.Rest) << '"' << c.Text << "\" by \"" << c.Delimiter << "\" remove " << c.Remove;
    }
}

TEST(TextAndPathTest, PathParts)
{
    const struct {
        std::string Path;
        std::string WithDelimiter;
        std::string Folder;
        std::string Name;
    } cases[] = {
        {"", "", "", ""},
        {"/", "/", "/", ""},
        {"/a", "/a/", "/", "a"},
        {"/a/", "/a/", "/a/", ""},
        {"/x/y.avi", "/x/y.avi/", "/x/", "y.avi"},
        {"y.avi", "y.avi/", "", "y.avi"},
        {"/媒体/视频.avi", "/媒体/视频.avi/", "/媒体/", "视频.avi"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kv::IncludeTrailingDelimiter(c.Path), c.WithDelimiter) << c.Path;
        EXPECT_EQ(kv::FolderOf(c.Path), c.Folder) << c.Path;
        EXPECT_EQ(kv::NameOf(c.Path), c.Name) << c.Path;
    }
}

TEST(TextAndPathTest, FileExistsAndSize)
{
    kvtest::TempFolder temp("textandpath");
    WriteFile(temp.Path + "/data.bin", std::string("12345\0abc", 9));
    WriteFile(temp.Path + "/empty", "");
    WriteFile(temp.Path + "/视频.avi", "xyz");
    std::filesystem::create_directory(temp.Path + "/folder");

    const struct {
        std::string Name;
        bool Exists;
        int64_t Size;
    } cases[] = {
        {temp.Path + "/data.bin", true, 9},
        {temp.Path + "/empty", true, 0},
        {temp.Path + "/视频.avi", true, 3},
        {temp.Path + "/folder", false, -1},
        {temp.Path + "/folder/", false, -1},
        {temp.Path + "/missing", false, -1},
        {"", false, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kv::FileExistsW(c.Name), c.Exists) << c.Name;
        EXPECT_EQ(kv::FileSizeW(c.Name), c.Size) << c.Name;
    }
}

TEST(TextAndPathTest, GetEnvW)
{
    const char* name = "KELVANE_TEST_ENV_VALUE";
    ASSERT_EQ(::setenv(name, "value with 视频", 1), 0);
    EXPECT_EQ(kv::GetEnvW(name), "value with 视频");
    ASSERT_EQ(::setenv(name, "", 1), 0);
    EXPECT_EQ(kv::GetEnvW(name), "");
    ASSERT_EQ(::unsetenv(name), 0);
    EXPECT_EQ(kv::GetEnvW(name), "");
}

}  // namespace
