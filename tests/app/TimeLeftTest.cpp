// The time left from a history of progress figures: a steady pace, a pause in between, figures without a
// total, a start too early to tell, and the text the window shows.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "app/logic/TimeLeft.h"

namespace {

using kv::app::TTimeLeft;

// One step of a history: a figure (Done of Total at the clock's At), or a pause or resume at At.
struct TStep {
    enum { Figure, Pause, Resume } Kind;
    qint64 At;
    qint64 Done = 0;
    qint64 Total = 0;
};

TStep Figure(qint64 At, qint64 Done, qint64 Total) { return {TStep::Figure, At, Done, Total}; }
TStep Pause(qint64 At) { return {TStep::Pause, At}; }
TStep Resume(qint64 At) { return {TStep::Resume, At}; }

TEST(TimeLeftTest, HistoriesGiveTheirEstimates)
{
    const struct {
        const char* Name;
        std::vector<TStep> Steps;
        std::optional<qint64> Expected;
    } cases[] = {
        {"nothing seen", {}, std::nullopt},
        {"steady from zero", {Figure(1000, 0, 100), Figure(3000, 10, 100), Figure(6000, 25, 100)}, 15000},
        // The pace is measured from the first figure: the time before it does not count.
        {"steady from a late first figure", {Figure(50000, 40, 100), Figure(54000, 60, 100)}, 8000},
        // Ten seconds paused between the figures: only the four running seconds count.
        {"paused in between",
         {Figure(0, 0, 100), Figure(2000, 10, 100), Pause(2000), Resume(12000), Figure(14000, 20, 100)},
         16000},
        // A figure that comes in while paused is measured at the pause.
        {"figure during a pause",
         {Figure(0, 0, 100), Figure(2000, 10, 100), Pause(3000), Figure(9000, 15, 100)},
         17000},
        {"still paused", {Figure(0, 0, 100), Figure(4000, 50, 100), Pause(4000)}, 4000},
        {"a zero total tells nothing", {Figure(0, 0, 0), Figure(5000, 300, 0), Figure(9000, 900, 0)}, std::nullopt},
        {"a zero total among figures",
         {Figure(0, 0, 100), Figure(2000, 0, 0), Figure(4000, 20, 100), Figure(5000, 900, 0)},
         16000},
        {"too early in time", {Figure(0, 0, 100), Figure(999, 30, 100)}, std::nullopt},
        {"no progress yet", {Figure(0, 0, 100), Figure(10000, 0, 100)}, std::nullopt},
        {"too little progress", {Figure(0, 0, 1000), Figure(10000, 9, 1000)}, std::nullopt},
        {"paused before enough running time",
         {Figure(0, 0, 100), Pause(500), Resume(30000), Figure(30400, 20, 100)},
         std::nullopt},
        {"done", {Figure(0, 0, 100), Figure(5000, 100, 100)}, 0},
        // A current time beyond the total (the last packets) is the end, not beyond it.
        {"past the total", {Figure(0, 0, 100), Figure(5000, 130, 100)}, 0},
        // A figure that goes back does not make the file longer.
        {"a figure going back", {Figure(0, 0, 100), Figure(4000, 50, 100), Figure(5000, 40, 100)}, 5000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTimeLeft times;
        for (const TStep& step : c.Steps) {
            switch (step.Kind) {
            case TStep::Figure: times.Sample(step.At, step.Done, step.Total); break;
            case TStep::Pause: times.Pause(step.At); break;
            case TStep::Resume: times.Resume(step.At); break;
            }
        }
        EXPECT_EQ(times.RemainingMs(), c.Expected);
    }
}

TEST(TimeLeftTest, ResetStartsANewMeasure)
{
    TTimeLeft times;
    times.Sample(0, 0, 100);
    times.Sample(4000, 50, 100);
    ASSERT_EQ(times.RemainingMs(), 4000);
    times.Reset();
    EXPECT_EQ(times.RemainingMs(), std::nullopt);
    // The new first figure is where the pace is measured from, also with a pause left open before.
    times.Sample(100000, 0, 100);
    times.Sample(103000, 10, 100);
    EXPECT_EQ(times.RemainingMs(), 27000);
}

TEST(TimeLeftTest, TheTextIsRoundedUpToWholeSeconds)
{
    const struct {
        qint64 Ms;
        const char* Text;
    } cases[] = {
        {0, "0:00"},       {1, "0:01"},        {999, "0:01"},        {1000, "0:01"},       {125000, "2:05"},
        {599001, "10:00"}, {3599000, "59:59"}, {3600000, "1:00:00"}, {3725000, "1:02:05"}, {-5, "0:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kv::app::TimeLeftText(c.Ms).toStdString(), c.Text) << c.Ms;
    EXPECT_EQ(kv::app::TimeLeftCaption(125000), QStringLiteral("剩余 2:05"));
}

}  // namespace
