// The option records' resets and the hook-range text.
#include <gtest/gtest.h>

#include "ControlledTask.h"
#include "TestSupport.h"

namespace {

TEST(OptionRecordsTest, ResetsGiveTheUnsetValues)
{
    kv::TOutputOptions output;
    output.CropTop = 8;
    output.PadColor = 0xFFFFFF;
    output.Info.Year = 2024;
    output.Info.Title = "x";
    output.DefaultNorm = 7;
    kv::ResetOutputOptions(output);
    EXPECT_EQ(output.CropTop, -1);
    EXPECT_EQ(output.PadColor, 0u);
    EXPECT_EQ(output.Info.Year, -1);
    EXPECT_EQ(output.Info.Timestamp, -1.0);
    EXPECT_EQ(output.Info.Title, "");
    EXPECT_EQ(output.DefaultNorm, 1);
    EXPECT_EQ(output.AudioSyncMethod, 0);
    EXPECT_EQ(output.VideoSyncMethod, -1);
    EXPECT_EQ(output.MuxDelay, -1.0f);

    kv::TInputOptions input;
    input.StartTimeUS = 5;
    input.ProgramID = 2;
    kv::ResetInputOptions(input);
    EXPECT_EQ(input.StartTime, -1);
    EXPECT_EQ(input.StartTimeUS, -1);
    EXPECT_EQ(input.ProgramID, -1);
}

TEST(OptionRecordsTest, HookRangesAreParsedFilteredAndSortedByTheirEnd)
{
    kvtest::LoadSystemLibraries();
    using Ranges = std::vector<std::pair<int64_t, int64_t>>;
    const struct {
        const char* Text;
        Ranges Expected;
    } cases[] = {
        {"1000-2000, 500-600, 300-100", {{500000, 600000}, {1000000, 2000000}}},
        {"abc-5", {{-1000, 5000}}},
        {"  7 -  9 ,", {{7000, 9000}}},
        {"5", {}},  // no end
        {"", {}},
        {"-5-10", {}},  // the start is empty and the end unreadable
        {"0-0,3-3", {{0, 0}, {3000, 3000}}},
        {"1-x", {}},
        {"99999999999999999999-1", {{-1000, 1000}}},  // an unreadable start
        {"9223372036854775807-9223372036854775807", {{INT64_MAX, INT64_MAX}}},
        {",,,\n,-,", {}},
    };
    for (const auto& c : cases) {
        kvtest::ControlledTask task;
        task.SetHookRanges(c.Text);
        Ranges got;
        for (const kv::THookRange& range : task.HookState().Ranges)
            got.emplace_back(range.Start, range.End);
        EXPECT_EQ(got, c.Expected) << c.Text;
        EXPECT_EQ(task.HookState().RangeCount, static_cast<int>(c.Expected.size()));
        EXPECT_EQ(task.HookState().RangeIndex, 0);
    }
}

TEST(OptionRecordsTest, ManyHookRangesStaySorted)
{
    std::string text;
    for (int i = 5000; i > 0; --i)
        text += std::to_string(i) + "-" + std::to_string(i * 2) + ",";
    kvtest::ControlledTask task;
    task.SetHookRanges(text);
    const std::vector<kv::THookRange>& ranges = task.HookState().Ranges;
    ASSERT_EQ(ranges.size(), 5000u);
    EXPECT_TRUE(std::is_sorted(ranges.begin(), ranges.end(),
                               [](const kv::THookRange& a, const kv::THookRange& b) { return a.End < b.End; }));
    EXPECT_EQ(ranges.front().End, 2000);
}

TEST(OptionRecordsTest, AbsurdRecordValuesAreTakenWithoutHarm)
{
    kvtest::LoadSystemLibraries();
    kvtest::ControlledComponent component;
    kv::TInputOptions input;
    input.StartTime = INT_MAX;
    input.ProgramID = INT_MAX;
    const int index = component.AddTask(std::string(4096, 'n'), &input);
    ASSERT_EQ(index, 0);
    EXPECT_EQ(component.Task(0).Options().StartTime, int64_t{INT_MAX} * 1000);

    kv::TOutputOptions output;
    output.HookRanges = std::string(100000, '-');
    output.Target = -7;
    output.TargetNorm = 99;
    output.RecordingTime = INT_MIN;
    output.ExtOptions = std::string("\0\x01\xff=", 4);
    EXPECT_TRUE(component.SetOutputFile(0, "", &output)) << component.LastError();
    EXPECT_EQ(component.Task(0).HookState().RangeCount, 0);
}

}  // namespace
