// Damaged copies of small media files, made from a fixed seed: bits flipped, the file cut short, header or
// index bytes zeroed, a chunk of the file repeated. Each goes through the probe, the picture reads and a
// short conversion, and each must end with success or with one clear error: no crash, no hang (every
// mutant has a time limit), no half-written output at the output's name and the input left as it was.
//
// The mutants are spread over shards that ctest runs side by side. A normal build runs a fixed share of
// them; a sanitizer build (KELVANE_FUZZ_ALL) runs them all. KELVANE_FUZZ_SHARE (a percentage) and
// KELVANE_FUZZ_SEED (another seed, for new mutants) override. A mutant that fails is written to
// fuzz-failures/ in the build folder, to be kept under tests/fixtures/mutants/ with the fault fixed: the
// kept ones run in every build.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ConversionSupport.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "media/AVProbe.h"
#include "media/Exception.h"

using namespace kvtest;

namespace {

namespace fs = std::filesystem;

// The files damaged: a small one per container the program reads, and the damaged Matroska file kept
// for the media information library.
const char* const Bases[] = {"mutation.avi",  "mutation.mp4", "mutation.mov", "mutation.mkv",       "mutation.ts",
                             "mutation.mpg",  "mutation.flv", "mutation.ogg", "mutation.wmv",       "mutation.rm",
                             "mutation.webm", "mutation.3gp", "mutation.mp3", "mediainfo-hangs.mkv"};

enum class TDamage { BitFlips, Truncation, ZeroedHeader, ZeroedIndex, DuplicatedChunk };

const struct {
    TDamage Damage;
    const char* Name;
} Damages[] = {
    {TDamage::BitFlips, "bit-flips"},
    {TDamage::Truncation, "truncation"},
    {TDamage::ZeroedHeader, "zeroed-header"},
    {TDamage::ZeroedIndex, "zeroed-index"},
    {TDamage::DuplicatedChunk, "duplicated-chunk"},
};

constexpr int VariantsPerDamage = 16;
constexpr int MutantCount = int(std::size(Bases) * std::size(Damages)) * VariantsPerDamage;
constexpr int Shards = 16;
constexpr uint64_t DefaultSeed = 20261211;

#ifdef KELVANE_FUZZ_ALL
constexpr int DefaultShare = 100;
constexpr int TimeScale = 8;  // the sanitizers slow everything down
#else
constexpr int DefaultShare = 25;
constexpr int TimeScale = 1;
#endif

int Share()
{
    const char* text = std::getenv("KELVANE_FUZZ_SHARE");
    return text && *text ? std::clamp(std::atoi(text), 0, 100) : DefaultShare;
}

uint64_t Seed()
{
    const char* text = std::getenv("KELVANE_FUZZ_SEED");
    return text && *text ? std::strtoull(text, nullptr, 10) : DefaultSeed;
}

// A fixed scramble of a number, so that a share takes mutants of every file and every damage.
uint64_t Mix(uint64_t Value)
{
    Value ^= Value >> 33;
    Value *= 0xff51afd7ed558ccdULL;
    Value ^= Value >> 33;
    Value *= 0xc4ceb9fe1a85ec53ULL;
    return Value ^ (Value >> 33);
}

std::string Contents(const std::string& Path)
{
    std::ifstream file(Path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void Write(const std::string& Path, const std::string& Bytes)
{
    std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
}

std::string BasePath(const std::string& Name)
{
    if (Name == "mediainfo-hangs.mkv")
        return std::string(KELVANE_SOURCE_FIXTURES) + "/" + Name;
    return Fixture(Name);
}

// Bytes damaged as Damage says, with the sizes and places drawn from Random.
std::string Damaged(std::string Bytes, TDamage Damage, std::mt19937_64& Random)
{
    const auto between = [&](size_t Low, size_t High) {
        return std::uniform_int_distribution<size_t>(Low, std::max(Low, High))(Random);
    };
    const size_t size = Bytes.size();
    switch (Damage) {
    case TDamage::BitFlips:
        for (size_t flips = between(1, 24); flips > 0; --flips)
            Bytes[between(0, size - 1)] ^= static_cast<char>(1 << between(0, 7));
        break;
    case TDamage::Truncation:
        // Half the cuts land in the first kilobytes, where the headers are.
        Bytes.resize(between(0, 1) ? between(0, std::min<size_t>(size - 1, 4096)) : between(0, size - 1));
        break;
    case TDamage::ZeroedHeader: {
        const size_t start = between(0, 1) ? 0 : between(0, std::min<size_t>(size, 2048) - 1);
        const size_t length = between(4, 1024);
        std::fill(Bytes.begin() + start, Bytes.begin() + std::min(size, start + length), '\0');
        break;
    }
    case TDamage::ZeroedIndex: {
        // The last quarter holds the index of the containers that write one at the end.
        const size_t start = between(size - size / 4, size - 1);
        const size_t length = between(4, 2048);
        std::fill(Bytes.begin() + start, Bytes.begin() + std::min(size, start + length), '\0');
        break;
    }
    case TDamage::DuplicatedChunk: {
        const size_t start = between(0, size - 1);
        const std::string chunk = Bytes.substr(start, between(16, 8192));
        const size_t at = between(0, 1) ? start + chunk.size() : between(0, size);
        Bytes.insert(std::min(at, Bytes.size()), chunk);
        break;
    }
    }
    return Bytes;
}

// A mutant by its number: which file, which damage, which draw.
struct TMutant {
    int Number = 0;
    std::string Base;
    const char* DamageName = "";
    std::string Name;       // "mutation.avi-bit-flips-3"
    std::string Extension;  // the base's, so that formats known by their extension are still found
    std::string Bytes;
};

TMutant MakeMutant(int Number, uint64_t Seed)
{
    const int variant = Number % VariantsPerDamage;
    const int damage = Number / VariantsPerDamage % int(std::size(Damages));
    const int base = Number / VariantsPerDamage / int(std::size(Damages));
    TMutant mutant;
    mutant.Number = Number;
    mutant.Base = Bases[base];
    mutant.DamageName = Damages[damage].Name;
    mutant.Name = mutant.Base + "-" + mutant.DamageName + "-" + std::to_string(variant);
    mutant.Extension = mutant.Base.substr(mutant.Base.rfind('.'));
    std::mt19937_64 random(Mix(Seed * 1000003 + static_cast<uint64_t>(Number)));
    mutant.Bytes = Damaged(Contents(BasePath(mutant.Base)), Damages[damage].Damage, random);
    return mutant;
}

// Where failing mutants are written.
std::string FailureFolder() { return std::string(KELVANE_FIXTURE_DIR) + "/../fuzz-failures"; }

std::string KeepFailure(const std::string& Name, const std::string& Extension, const std::string& Bytes)
{
    std::error_code ignored;
    fs::create_directories(FailureFolder(), ignored);
    const std::string path = FailureFolder() + "/" + Name + Extension;
    Write(path, Bytes);
    return path;
}

// Ends the process when what it watches runs past its limit: a hang cannot be recovered from inside.
// Before that it keeps the mutant and says which one it was.
class TWatchdog {
public:
    TWatchdog()
        : m_thread([this] {
              std::unique_lock<std::mutex> guard(m_lock);
              while (!m_quit) {
                  if (!m_armed) {
                      m_changed.wait(guard);
                      continue;
                  }
                  if (m_changed.wait_until(guard, m_deadline) == std::cv_status::timeout && m_armed) {
                      m_onExpiry();
                      std::fprintf(stderr, "%s did not end within its time limit\n", m_what.c_str());
                      std::fflush(stderr);
                      std::abort();
                  }
              }
          })
    {}
    ~TWatchdog()
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_quit = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    void Arm(std::string What, std::chrono::seconds Limit, std::function<void()> OnExpiry)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_what = std::move(What);
        m_onExpiry = std::move(OnExpiry);
        m_deadline = std::chrono::steady_clock::now() + Limit;
        m_armed = true;
        m_changed.notify_all();
    }
    void Disarm()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_armed = false;
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_armed = false;
    bool m_quit = false;
    std::string m_what;
    std::function<void()> m_onExpiry;
    std::chrono::steady_clock::time_point m_deadline;
    std::thread m_thread;  // last: it starts once the members above are there
};

// What became of the mutants of one run, by step and outcome ("probe: refused").
using TTally = std::map<std::string, int>;

// An error a user can act on: it says something, and more than the library's code for "unknown".
bool Clear(const std::string& Message)
{
    return !Message.empty() && Message.find("Error number") == std::string::npos &&
           Message.find("Unknown error") == std::string::npos;
}

// Runs one damaged file through the probe, the picture reads and a short conversion; every fault is a
// test failure that names the file. Folder is empty before and after.
void Exercise(const std::string& Input, const std::string& Folder, TTally& Tally)
{
    const std::string before = Contents(Input);

    kv::TAVProbe probe;
    if (!probe.OpenFile(Input)) {
        ++Tally["probe: refused"];
        EXPECT_EQ(probe.LastError().rfind(Input + ": ", 0), 0u) << probe.LastError();
        EXPECT_TRUE(Clear(probe.LastError().substr(std::min(probe.LastError().size(), Input.size() + 2))))
            << probe.LastError();
    } else {
        ++Tally["probe: opened"];
        kv::TFileStreamInfo info;
        probe.GetFileStreamInfo(info);
        int width = 0, height = 0;
        probe.GetVideoSize(width, height);
        probe.GetVideoFrameRate();
        if (probe.VideoStreamCount <= 0) {
            ++Tally["picture: no video"];
        } else {
            const int64_t middle = info.Duration > 0 ? info.Duration / 2 : 500000;
            int pictures = 0;
            for (const bool accurate : {false, true}) {
                try {
                    const kv::TBitmap& picture =
                        accurate ? probe.ReadFrameAccurate(-1, middle) : probe.ReadFrame(-1, 0);
                    if (probe.FrameValid()) {
                        ++pictures;
                        EXPECT_GT(picture.Width, 0);
                        EXPECT_GT(picture.Height, 0);
                        EXPECT_EQ(picture.Pixels.size(), size_t(picture.Stride()) * size_t(picture.Height));
                    } else {
                        EXPECT_TRUE(Clear(probe.LastError())) << "a read without a picture or a reason";
                    }
                } catch (const std::exception& e) {
                    ADD_FAILURE() << "the picture read raised: " << e.what();
                }
            }
            ++Tally[pictures == 2 ? "picture: both read"
                    : pictures    ? "picture: one read"
                                  : "picture: none, reason given"];
        }
    }
    probe.CloseFile();

    const std::string output = Folder + "/out.avi";
    TConversion conversion(Input, output, {}, {"t=0.5", "s=96x64", "vcodec=mpeg4", "acodec=mp2", "ar=22050"});
    conversion.Component().SetOutputPolicy(kv::TOutputPolicy{true, false});
    if (!conversion.Start()) {
        const TConversionResult result = conversion.Result();
        ++Tally["conversion: refused at set-up"];
        EXPECT_TRUE(Clear(result.SetupError)) << "refused without a clear reason: '" << result.SetupError << "'";
    } else {
        if (!conversion.WaitForEnd(std::chrono::seconds(10 * TimeScale))) {
            ADD_FAILURE() << "the conversion did not end within " << 10 * TimeScale << " s";
            conversion.Component().StopConvert();
            conversion.WaitForEnd(std::chrono::seconds(10 * TimeScale));
        }
        const TConversionResult result = conversion.Result();
        if (result.Failed) {
            ++Tally["conversion: failed, reason given"];
            EXPECT_TRUE(Clear(result.Message)) << "failed without a clear reason: '" << result.Message << "'";
            EXPECT_FALSE(fs::exists(output)) << "a failed conversion left its output";
        } else if (result.Finished) {
            ++Tally[SizeOf(output) > 0 ? "conversion: converted" : "conversion: finished, nothing to write"];
        } else {
            ADD_FAILURE() << "the conversion neither finished nor failed: '" << result.Message << "'";
        }
    }
    conversion.Component().ClearTasks();

    EXPECT_EQ(Contents(Input), before) << "the input was changed";
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(Folder, ignored)) {
        if (entry.path() != output)
            ADD_FAILURE() << entry.path().filename() << " was left behind";
        fs::remove(entry.path(), ignored);
    }
}

std::string TallyText(const TTally& Tally)
{
    std::string text;
    for (const auto& [outcome, count] : Tally)
        text += "  " + outcome + ": " + std::to_string(count) + "\n";
    return text;
}

class MutationFuzzTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { LoadSystemLibraries(); }
};

TEST_P(MutationFuzzTest, EveryMutantEndsWithSuccessOrOneClearError)
{
    const int shard = GetParam();
    const int share = Share();
    const uint64_t seed = Seed();
    TempFolder work("mutation");
    const std::string folder = work.Path + "/out";
    fs::create_directory(folder);
    TWatchdog watchdog;
    TTally tally;
    int tried = 0, faulty = 0;
    for (int number = shard; number < MutantCount; number += Shards) {
        if (int(Mix(static_cast<uint64_t>(number)) % 100) >= share)
            continue;
        const TMutant mutant = MakeMutant(number, seed);
        const std::string input = work.Path + "/mutant" + mutant.Extension;
        Write(input, mutant.Bytes);
        ++tried;
        watchdog.Arm(mutant.Name, std::chrono::seconds(30 * TimeScale),
                     [&] { KeepFailure(mutant.Name, mutant.Extension, mutant.Bytes); });
        const int failuresBefore =
            ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
        {
            SCOPED_TRACE(mutant.Name + " (seed " + std::to_string(seed) + ")");
            Exercise(input, folder, tally);
        }
        watchdog.Disarm();
        if (::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() > failuresBefore) {
            ++faulty;
            ADD_FAILURE() << mutant.Name << " kept as " << KeepFailure(mutant.Name, mutant.Extension, mutant.Bytes);
        }
    }
    RecordProperty("mutants", tried);
    RecordProperty("faulty", faulty);
    std::printf("shard %d: %d mutants (share %d%%, seed %llu), %d faulty\n%s", shard, tried, share,
                static_cast<unsigned long long>(seed), faulty, TallyText(tally).c_str());
    EXPECT_GT(tried, 0) << "the share leaves this shard nothing to try";
}

INSTANTIATE_TEST_SUITE_P(Shards, MutationFuzzTest, ::testing::Range(0, Shards));

}  // namespace
