// The figures the file list, the preview pane and the batch show: duration and time texts, the picture's
// place in the pane, the track bar of a duration, the progress cell, the custom fields' check and the
// open-file dialog's patterns, the end-of-batch message.
#include <gtest/gtest.h>

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include "app/logic/BatchDriver.h"
#include "app/logic/FileList.h"
#include "app/logic/PreviewPane.h"
#include "app/logic/WindowLogic.h"

namespace {

using namespace kv::app;

TEST(BatchFiguresTest, DurationTextIsHoursMinutesAndWholeSeconds)
{
    const struct {
        qint64 Ms;
        const char* Text;
    } cases[] = {
        {0, " 00:00:00"},
        {999, " 00:00:00"},  // part of a second is not rounded up
        {1999, " 00:00:01"},
        {3723000, " 01:02:03"},
        {3723999, " 01:02:03"},
        {86399999, " 23:59:59"},
        {86400000, " 24:00:00"},                     // a whole day does not start again at 0
        {90000000, " 25:00:00"},                     // 25 hours
        {-1, " 00:00:00"},                           // no play time known
        {Q_INT64_C(360000000000), " 100000:00:00"},  // beyond 32 bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDuration(c.Ms), QString::fromLatin1(c.Text)) << c.Ms;
}

TEST(BatchFiguresTest, PtsTextIsSecondsAndThreeDigitsOfMilliseconds)
{
    const struct {
        qint64 Us;
        const char* Text;
    } cases[] = {
        {0, "0.000"},
        {83456789, "83.456"},
        {999, "0.000"},
        {1000, "0.001"},
        {5000000, "5.000"},
        {Q_INT64_C(5400000000), "5400.000"},  // 90 minutes: past 32 bits of microseconds
        {Q_INT64_C(360000123456), "360000.123"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatPts(c.Us), QString::fromLatin1(c.Text)) << c.Us;
}

TEST(BatchFiguresTest, PictureFitsTheBoxKeepingItsShape)
{
    const QRect pane(0, 0, 220, 145);
    const struct {
        QSize Picture;
        QRect Box;
        QRect Expected;
    } cases[] = {
        // Wider than the box: full width, bars above and below. 145 - 720/(1280/220) = 21.25 -> 10.6 -> 11.
        {{1280, 720}, pane, QRect(0, 11, 220, 123)},
        // Taller: full height, bars left and right. (220 - 640 / (480 / 145)) / 2 = 13.3 -> 13.
        {{640, 480}, pane, QRect(13, 0, 194, 145)},
        // Same shape as the box: the box itself.
        {{440, 290}, pane, pane},
        // Smaller than the box is scaled up the same way.
        {{110, 145}, pane, QRect(55, 0, 110, 145)},
        // A box away from the origin keeps its place.
        {{100, 50}, QRect(10, 20, 100, 100), QRect(10, 45, 100, 50)},
        // Halves round to even: (15 - 10) / 2 = 2.5 gives 2, (17 - 10) / 2 = 3.5 gives 4.
        {{20, 10}, QRect(0, 0, 20, 15), QRect(0, 2, 20, 11)},
        {{20, 10}, QRect(0, 0, 20, 17), QRect(0, 4, 20, 9)},
        // Nothing to place.
        {{0, 0}, pane, QRect()},
        {{100, 0}, pane, QRect()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitRect(c.Picture, c.Box), c.Expected) << c.Picture.width() << "x" << c.Picture.height();
}

TEST(BatchFiguresTest, TrackBarHasAtMost32767StepsOfAPowerOfTen)
{
    const struct {
        qint64 DurationUs;
        bool Still;
        TTrackBarSetup Expected;
    } cases[] = {
        // 90 minutes.
        {Q_INT64_C(5400000000), false, {true, 1000000, 5400, 270, 100, 500}},
        {2000000, false, {true, 100, 20000, 1000, 1000, 5000}},
        // 32767 steps still fit one scale; 32768 do not.
        {327670, false, {true, 10, 32767, 1638, 1000, 5000}},
        {327680, false, {true, 100, 3276, 163, 100, 500}},
        // Step sizes at their borders.
        {1010, false, {true, 10, 101, 5, 10, 50}},
        {1000, false, {true, 10, 100, 5, 1, 5}},
        {10010, false, {true, 10, 1001, 50, 100, 500}},
        // Shorter than one step, or no duration: one position.
        {5, false, {true, 10, 0, 0, 1, 5}},
        {-1, false, {true, 10, 0, 0, 1, 5}},
        // A still picture: no slider and an empty range.
        {2000000, true, {false, 10, 0, 0, 1, 5}},
    };
    for (const auto& c : cases) {
        const TTrackBarSetup bar = SetupTrackBar(c.DurationUs, c.Still);
        EXPECT_EQ(bar.SliderVisible, c.Expected.SliderVisible) << c.DurationUs;
        EXPECT_EQ(bar.TimeScale, c.Expected.TimeScale) << c.DurationUs;
        EXPECT_EQ(bar.Maximum, c.Expected.Maximum) << c.DurationUs;
        EXPECT_EQ(bar.TickFrequency, c.Expected.TickFrequency) << c.DurationUs;
        EXPECT_EQ(bar.LineSize, c.Expected.LineSize) << c.DurationUs;
        EXPECT_EQ(bar.PageSize, c.Expected.PageSize) << c.DurationUs;
    }
}

TEST(BatchFiguresTest, ProgressCellIsTheWholePercentageOrEmptyWithoutATotal)
{
    const struct {
        qint64 Current, Total;
        const char* Text;
    } cases[] = {
        {1500, 4000, "37%"},
        {0, 4000, "0%"},
        {4000, 4000, "100%"},
        {1500, 0, ""},
        {1500, -1, ""},
        // Past 21 474 836 ms (about six hours) the product overflows 32 bits.
        {30000000, 36000000, "83%"},
        {INT32_MAX, INT32_MAX, "100%"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressText(c.Current, c.Total), QString::fromLatin1(c.Text)) << c.Current << "/" << c.Total;
}

TEST(BatchFiguresTest, CustomFieldsAreCheckedInOrderAndTrimmed)
{
    const struct {
        const char *Type, *Width, *Height, *Bitrate, *Fps;
        QString Message;
    } cases[] = {
        {"MP4", "320", "240", "500", "25", QString()},
        {"", "", "", "", "", QStringLiteral("请选择视频要转换的类型！")},
        {"MP4", " ", "240", "500", "25", QStringLiteral("请输入视频尺寸！")},
        {"MP4", "320", "", "500", "25", QStringLiteral("请输入视频尺寸！")},
        {"MP4", "320", "240", "  ", "", QStringLiteral("请输入视频比特率！")},
        {"MP4", "320", "240", "500", "\t", QStringLiteral("请输入视频帧速率！")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CustomFieldsProblem(QString::fromUtf8(c.Type), QString::fromUtf8(c.Width),
                                      QString::fromUtf8(c.Height), QString::fromUtf8(c.Bitrate),
                                      QString::fromUtf8(c.Fps)),
                  c.Message)
            << c.Type << "|" << c.Width << "|" << c.Height << "|" << c.Bitrate << "|" << c.Fps;
}

TEST(BatchFiguresTest, VideoFilterMatchesItsExtensionsInAnyLetterCase)
{
    const QString filter = TWindowLogic::VideoFileFilter();
    const struct {
        const char* Path;
        bool Matches;
    } cases[] = {
        {"/v/a.avi", true},     {"/v/a.AVI", true},   {"/v/a.Mp4", true},  {"/v/a.m2ts", true},
        {"/v/片 段.mkv", true}, {"/v/a.rmvb", true},  {"/v/a.mp3", false}, {"/v/a.avi.txt", false},
        {"/v/avi", false},      {"/v/a.mpg4", false}, {"/v/a.", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesFilter(QString::fromUtf8(c.Path), filter), c.Matches) << c.Path;
}

TEST(BatchFiguresTest, EndMessageAnnouncesSuccessOnlyWhenEveryFileWasConverted)
{
    const struct {
        int Converted;
        QStringList Failed;
        int Stopped;
        QString Expected;
    } cases[] = {
        {3, {}, 0, QStringLiteral("视频成功转换！")},
        {0, {}, 0, QStringLiteral("视频成功转换！")},
        {1, {}, 2, QStringLiteral("转换结束：1 个视频转换成功，0 个失败，2 个已停止。")},
        {1,
         {QStringLiteral("/v/a b.mkv"), QStringLiteral("/v/片.avi")},
         1,
         QStringLiteral(
             "转换结束：1 个视频转换成功，2 个失败，1 个已停止。\n\n转换失败的视频：\n/v/a b.mkv\n/v/片.avi")},
        {0,
         {QStringLiteral("/v/x.mp4")},
         0,
         QStringLiteral("转换结束：0 个视频转换成功，1 个失败，0 个已停止。\n\n转换失败的视频：\n/v/x.mp4")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BatchEndMessage(c.Converted, c.Failed, c.Stopped), c.Expected) << c.Expected.toStdString();
}

}  // namespace
