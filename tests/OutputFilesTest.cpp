// Preparing output files: the containers and codecs the application asks for, the streams an output
// gets, and every refusal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <string>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "component/DIdezuDOR.h"
#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"
#include "media/TextAndPath.h"

using namespace kvtest;

namespace {

class OutputFilesTest : public ::testing::Test {
protected:
    void SetUp() override { LoadSystemLibraries(); }

    // Queues Input and prepares Output with the record; the task, or nullptr with the reason in LastError.
    kv::TFFmpeg* Prepare(const std::string& Input, const std::string& Output, kv::TOutputOptions Record = {})
    {
        const int index = component.AddTask(Input);
        if (index < 0)
            return nullptr;
        if (!component.SetOutputFile(index, Output, &Record)) {
            component.RemoveTask(index);
            return nullptr;
        }
        return &component.Tasks(index);
    }
    static std::vector<std::string> Encoders(const kv::TFFmpeg& Task)
    {
        std::vector<std::string> names;
        for (const kv::TOutputStreamSetup& stream : Task.Files().OutputStreams[0])
            names.push_back(stream.StreamCopy ? "copy" : kv::lav::avcodec_get_name(stream.Encoder->codec_id));
        return names;
    }

    kv::TDIdezuDOR component;
    TempFolder out{"outputs"};
};

TEST_F(OutputFilesTest, EveryContainerTheApplicationWritesCanBePrepared)
{
    const std::string input = Fixture("video_audio.avi");
    const struct {
        const char* File;
        const char* Video;
        const char* Audio;
        const char* Lines;
        std::vector<std::string> Streams;
        const char* Format;
    } cases[] = {
        {"a.3gp", "mpeg4", "libfaac", "ar=8000\nac=1", {"mpeg4", "aac"}, "3gp"},
        {"b.3gp", "h263", "libfaac", "s=176x144\nar=8000\nac=1", {"h263", "aac"}, "3gp"},
        {"c.mp4", "mpeg4", "libfaac", "", {"mpeg4", "aac"}, "mp4"},
        {"d.mp4", "avc", "libfaac", "", {"h264", "aac"}, "mp4"},
        {"e.avi", "mpeg4", "libmp3lame", "", {"mpeg4", "mp3"}, "avi"},
        {"f.mpg", "mpeg2video", "mp2", "", {"mpeg2video", "mp2"}, "mpeg"},
        {"g.wmv", "wmv2", "wmav2", "", {"wmv2", "wmav2"}, "asf"},
        {"h.mov", "mpeg4", "libfaac", "", {"mpeg4", "aac"}, "mov"},
        {"i.mkv", "libx264", "libfaac", "", {"h264", "aac"}, "matroska"},
        {"j.flv", "flv", "libmp3lame", "ar=22050", {"flv1", "mp3"}, "flv"},
        {"k.ogg", "libtheora", "flac", "", {"theora", "flac"}, "ogg"},
        {"l.rm", "rv10", "ac3", "", {"rv10", "ac3"}, "rm"},
        {"m.rm", "rv20", "ac3", "", {"rv20", "ac3"}, "rm"},
        {"n.mp4", "mpeg4", "libfaac", "f=psp\ns=320x240", {"mpeg4", "aac"}, "psp"},
        {"o.m4v", "avc", "libfaac", "f=ipod", {"h264", "aac"}, "ipod"},
        {"p.wma", "", "wmav2", "vn", {"wmav2"}, "asf"},
    };
    for (const auto& c : cases) {
        kv::TOutputOptions record;
        record.VideoCodec = c.Video;
        record.AudioCodec = c.Audio;
        record.ExtOptions = c.Lines;
        if (std::string(c.Lines) == "vn")
            record.DisableVideo = true;
        kv::TFFmpeg* task = Prepare(input, out.Path + "/" + c.File, record);
        ASSERT_NE(task, nullptr) << c.File << ": " << component.LastError();
        EXPECT_EQ(Encoders(*task), c.Streams) << c.File;
        EXPECT_STREQ(task->Files().OutputFiles[0]->oformat->name, c.Format) << c.File;
        EXPECT_TRUE(kv::FileExistsW(out.Path + "/" + c.File)) << "the output is open for writing";
    }
    component.ClearTasks();
    for (const auto& c : cases)
        EXPECT_FALSE(kv::FileExistsW(out.Path + "/" + c.File)) << "an output never written is not left behind";
}

TEST_F(OutputFilesTest, DiscTargetsPrepareTheirStreams)
{
    const struct {
        int Target;
        const char* Lines;
        std::vector<std::string> Streams;
        const char* Format;
    } cases[] = {
        {1, "", {"mpeg1video", "mp2"}, "vcd"},
        {2, "", {"mpeg2video", "mp2"}, "svcd"},
        {3, "", {"mpeg2video", "ac3"}, "dvd"},
        {0, "target=pal-dv", {"dvvideo", "pcm_s16le"}, "dv"},
    };
    for (const auto& c : cases) {
        kv::TOutputOptions record;
        record.Target = c.Target;
        record.ExtOptions = c.Lines;
        kv::TFFmpeg* task =
            Prepare(Fixture("video_audio.avi"), out.Path + "/disc" + std::to_string(c.Target) + ".mpg", record);
        ASSERT_NE(task, nullptr) << c.Format << ": " << component.LastError();
        EXPECT_EQ(Encoders(*task), c.Streams) << c.Format;
        EXPECT_STREQ(task->Files().OutputFiles[0]->oformat->name, c.Format);
    }
}

TEST_F(OutputFilesTest, TheOutputGetsOnlyTheKindsOfStreamsItsInputHas)
{
    const struct {
        const char* Input;
        void (*Fill)(kv::TOutputOptions&);
        std::vector<std::string> Streams;
    } cases[] = {
        {"audio_only.mp3", [](kv::TOutputOptions&) {}, {"aac"}},
        {"video_only.mp4", [](kv::TOutputOptions& r) { r.AudioCodec = "mp2"; }, {"h264"}},
        {"video_audio.avi", [](kv::TOutputOptions& r) { r.DisableVideo = true; }, {"aac"}},
        {"video_audio.avi", [](kv::TOutputOptions& r) { r.DisableAudio = true; }, {"h264"}},
        {"video_audio.avi", [](kv::TOutputOptions& r) { r.VideoCodec = "copy"; }, {"copy", "aac"}},
        {"subtitles.mkv", [](kv::TOutputOptions& r) { r.ExtOptions = "scodec=copy"; }, {"h264", "copy"}},
        // 3GP's own audio codec (AMR-NB) has no encoder here: the first one the format takes.
        {"video_audio.avi", [](kv::TOutputOptions& r) { r.ExtOptions = "s=176x144"; }, {"h263", "aac"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        kv::TOutputOptions record;
        c.Fill(record);
        ++n;
        const char* extension = n == 6 ? ".mkv" : n == 7 ? ".3gp" : ".mp4";
        const std::string name = out.Path + "/kinds" + std::to_string(n) + extension;
        kv::TFFmpeg* task = Prepare(Fixture(c.Input), name, record);
        ASSERT_NE(task, nullptr) << c.Input << ": " << component.LastError();
        EXPECT_EQ(Encoders(*task), c.Streams) << c.Input;
        EXPECT_EQ(task->Files().NbOutputCodecs, static_cast<int>(c.Streams.size())) << "copied streams take a slot too";
    }
}

TEST_F(OutputFilesTest, VideoEncoderSettingsComeFromTheTask)
{
    kv::TOutputOptions record;
    record.VideoCodec = "mpeg2video";
    record.PadTop = 8;
    record.AudioLanguage = "eng";
    record.ExtOptions =
        "r=26\npix_fmt=yuv444p\nqscale=4\npass=1\nintra\nbufsize=800000\nrc_override=0,100,2/200,300,-50\n"
        "alang=fra";  // the record's language is always applied, after the lines
    kv::TFFmpeg* task = Prepare(Fixture("video_audio.avi"), out.Path + "/settings.mp4", record);
    ASSERT_NE(task, nullptr) << component.LastError();
    const AVCodecContext* video = task->Files().OutputStreams[0][0].Encoder.get();
    EXPECT_EQ(video->time_base.num, 1);
    EXPECT_EQ(video->time_base.den, 25) << "26 is no MPEG-2 rate: the nearest one";
    EXPECT_EQ(video->width, 160);
    EXPECT_EQ(video->height, 128) << "pads add to the encoded size";
    EXPECT_EQ(video->pix_fmt, AV_PIX_FMT_YUV420P) << "a format the encoder does not take gives its first";
    EXPECT_TRUE(video->flags & AV_CODEC_FLAG_QSCALE);
    EXPECT_EQ(video->global_quality, 4 * FF_QP2LAMBDA);
    EXPECT_TRUE(video->flags & AV_CODEC_FLAG_PASS1);
    EXPECT_TRUE(video->flags & AV_CODEC_FLAG_GLOBAL_HEADER) << "mp4 wants global headers";
    EXPECT_EQ(video->gop_size, 0) << "intra only";
    EXPECT_EQ(video->rc_initial_buffer_occupancy, 600000);
    ASSERT_EQ(video->rc_override_count, 2);
    EXPECT_EQ(video->rc_override[0].start_frame, 0);
    EXPECT_EQ(video->rc_override[0].end_frame, 100);
    EXPECT_EQ(video->rc_override[0].qscale, 2);
    EXPECT_FLOAT_EQ(video->rc_override[0].quality_factor, 1.0f);
    EXPECT_EQ(video->rc_override[1].qscale, 0);
    EXPECT_FLOAT_EQ(video->rc_override[1].quality_factor, 0.5f);
    const AVStream* audio = task->Files().OutputFiles[0]->streams[1];
    EXPECT_STREQ(kv::GetMetadataValue(audio->metadata, "language", "").c_str(), "eng");
    const AVCodecContext* audioEncoder = task->Files().OutputStreams[0][1].Encoder.get();
    EXPECT_EQ(audioEncoder->sample_rate, 22050);
    EXPECT_EQ(audioEncoder->ch_layout.nb_channels, 2);
    EXPECT_EQ(audioEncoder->time_base.den, 22050);
}

TEST_F(OutputFilesTest, WithoutAFrameRateTheTimeBaseIs25)
{
    kv::TFFmpeg task;
    task.ResetTask();
    task.ApplyOptionLines("vcodec=mpeg4\ns=320x240", false);
    ASSERT_EQ(task.OpenOutputFile(out.Path + "/rate.avi"), 1) << task.ErrorText();
    const AVCodecContext* video = task.Files().OutputStreams[0][0].Encoder.get();
    EXPECT_EQ(video->time_base.den, 25);
    EXPECT_EQ(video->time_base.num, 1);
    EXPECT_EQ(video->sample_aspect_ratio.num, 0) << "no aspect known";
}

TEST_F(OutputFilesTest, NewStreamLinesAddStreamsToThePreparedOutput)
{
    kv::TOutputOptions record;
    record.AudioCodec = "mp2";
    record.ExtOptions = "newaudio\nac=1";
    kv::TFFmpeg* task = Prepare(Fixture("video_audio.avi"), out.Path + "/two_tracks.mkv", record);
    ASSERT_NE(task, nullptr) << component.LastError();
    EXPECT_EQ(Encoders(*task), (std::vector<std::string>{"h264", "mp2", "vorbis"}))
        << "the second audio stream takes the format's codec: the first consumed the name";
    const AVCodecContext* second = task->Files().OutputStreams[0][2].Encoder.get();
    EXPECT_EQ(second->ch_layout.nb_channels, 1);
    EXPECT_EQ(second->sample_rate, 22050);
}

TEST_F(OutputFilesTest, MetadataOfTheRecordGoesIntoTheContainer)
{
    kv::TOutputOptions record;
    record.Info.Title = "标题";
    record.Info.Author = "Someone";
    record.Info.Year = 2026;
    record.ExtOptions = "metadata=comment=first\nmetadata=comment=second";
    kv::TFFmpeg* task = Prepare(Fixture("video_audio.avi"), out.Path + "/tags.mkv", record);
    ASSERT_NE(task, nullptr) << component.LastError();
    const AVDictionary* tags = task->Files().OutputFiles[0]->metadata;
    EXPECT_EQ(kv::GetMetadataValue(tags, "title", ""), "标题");
    EXPECT_EQ(kv::GetMetadataValue(tags, "artist", ""), "Someone");
    EXPECT_EQ(kv::GetMetadataValue(tags, "date", ""), "2026");
    EXPECT_EQ(kv::GetMetadataValue(tags, "comment", ""), "first") << "pairs are set last first";
    EXPECT_TRUE(task->Options().MetaData.empty());
}

TEST_F(OutputFilesTest, RefusalsLeaveNothingBehind)
{
    const std::string input = Fixture("video_audio.avi");
    const struct {
        std::string File;
        void (*Fill)(kv::TOutputOptions&);
        std::string Error;
    } cases[] = {
        {out.Path + "/x.nosuchext", [](kv::TOutputOptions&) {},
         "Unable to find a suitable output format for '" + out.Path + "/x.nosuchext'"},
        {out.Path + "/x.mp4", [](kv::TOutputOptions& r) { r.VideoCodec = "mp2"; },
         "new_video_stream fail: Invalid encoder type 'mp2'"},
        {out.Path + "/x.mp4", [](kv::TOutputOptions& r) { r.AudioCodec = "nosuch"; },
         "new_audio_stream fail: Unknown encoder 'nosuch'"},
        {out.Path + "/x.mp4", [](kv::TOutputOptions& r) { r.ExtOptions = "rc_override=5/"; },
         "new_video_stream fail: error parsing rc_override"},
        {out.Path + "/chunk.webm", [](kv::TOutputOptions& r) { r.ForceFormat = "webm_chunk"; },
         out.Path + "/chunk.webm: Incorrect image filename syntax.\nUse '%d' to specify the image number:\n"
                    "  for img1.jpg, img2.jpg, ..., use 'img%d.jpg';\n"
                    "  for img001.jpg, img002.jpg, ..., use 'img%03d.jpg'."},
        {out.Path + "/x.mp4",
         [](kv::TOutputOptions& r) {
             r.VideoFilters = "hflip";
             r.CropTop = 8;
         },
         "Cannot enable crop options and filters at the same time."},
        {out.Path + "/x.mp4",
         [](kv::TOutputOptions& r) {
             r.VideoFilters = "Scale=320:240";
             r.PadTop = 8;
         },
         "Cannot enable pad options and the filters which resize frame at the same time. (crop, rotate, scale, "
         "transpose, etc.)"},
        {out.Path + "/nofolder/x.mp4", [](kv::TOutputOptions&) {}, "Could not open '" + out.Path + "/nofolder/x.mp4'"},
        {input, [](kv::TOutputOptions&) {}, "'" + input + "' is an input file of this task and cannot be its output"},
    };
    const int64_t inputSize = kv::FileSizeW(input);
    for (const auto& c : cases) {
        kv::TOutputOptions record;
        c.Fill(record);
        EXPECT_EQ(Prepare(input, c.File, record), nullptr) << c.File;
        EXPECT_EQ(component.LastError(), c.Error);
        if (c.File != input) {
            EXPECT_FALSE(kv::FileExistsW(c.File)) << c.File;
        }
    }
    EXPECT_EQ(kv::FileSizeW(input), inputSize) << "the input was not touched";
    EXPECT_EQ(component.TaskCount(), 0);

    kv::TOutputOptions flipped;
    flipped.VideoFilters = "hflip";
    flipped.PadTop = 8;
    EXPECT_NE(Prepare(input, out.Path + "/flip.mp4", flipped), nullptr) << component.LastError();
    EXPECT_NE(Prepare(input, out.Path + "/img%03d.png"), nullptr) << component.LastError();
}

// The run gives each output stream the encoder its preparation chose. An output refused after its
// streams were made, or the outputs of a task that was reset since, must leave nothing of theirs behind
// for the streams prepared next.
TEST_F(OutputFilesTest, TheRunEncodesWithTheEncodersTheOutputWasPreparedWith)
{
    const std::string input = Fixture("video_audio.avi");
    const struct {
        const char* Name;
        bool ResetBetween;
        std::string FirstOutput;
        int FirstResult;
    } cases[] = {
        {"after an output refused once its streams were made", false, out.Path + "/nofolder/first.avi", -1},
        {"after the task was reset", true, out.Path + "/first.avi", 1},
    };
    for (const auto& c : cases) {
        const std::string output = out.Path + "/second_" + std::to_string(c.ResetBetween) + ".avi";
        kv::TFFmpeg task;
        task.ResetTask();
        ASSERT_TRUE(task.OpenInputFile(input)) << task.ErrorText();
        task.ApplyOptionLines("vcodec=mpeg4\nacodec=mp2", false);
        ASSERT_EQ(task.OpenOutputFile(c.FirstOutput), c.FirstResult) << c.Name << ": " << task.ErrorText();
        if (c.ResetBetween) {
            task.ResetTask();
            ASSERT_TRUE(task.OpenInputFile(input)) << task.ErrorText();
        }
        task.ApplyOptionLines("vcodec=ffv1\nacodec=pcm_s16le", false);
        ASSERT_EQ(task.OpenOutputFile(output), 1) << c.Name << ": " << task.ErrorText();
        task.StartTask(false, kv::tpNormal);
        EXPECT_FALSE(task.ExitWithError()) << c.Name << ": " << task.ExitMessage();
        std::map<std::string, std::string> facts = Probe(output);
        EXPECT_EQ(facts["streams.stream.0.codec_name"], "ffv1") << c.Name;
        EXPECT_EQ(facts["streams.stream.1.codec_name"], "pcm_s16le") << c.Name;
    }
}

}  // namespace
