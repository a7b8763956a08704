// Bitstream filters on the way to the muxer: set up with the stream's parameters (an encoder's once it is
// open), chained so that each takes what the one before gives, and a filter that fails reported while the
// rest of the chain still runs. The first packet the file holds, as the ffmpeg tool extracts it, shows what
// the filters did.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ConversionSupport.h"
#include "MediaFixtures.h"
#include "TestSupport.h"

using namespace kvtest;

namespace {

// The bytes of the first video packet of File.
std::string FirstPacket(const std::string& File, const std::string& Folder)
{
    const std::string target = Folder + "/first.bin";
    std::string output;
    if (RunCommand("ffmpeg -nostdin -v error -y -i '" + File + "' -map 0:v:0 -c copy -frames:v 1 -f data '" + target +
                       "'",
                   output) != 0)
        return {};
    std::ifstream in(target, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool StartsWith(const std::string& Data, const std::string& Prefix)
{
    return Data.compare(0, Prefix.size(), Prefix) == 0;
}

bool AnnexB(const std::string& Data)
{
    return StartsWith(Data, std::string("\0\0\0\1", 4)) || StartsWith(Data, std::string("\0\0\1", 3));
}

// NAL units each behind a four-byte big-endian length, filling the packet exactly.
bool LengthPrefixed(const std::string& Data)
{
    size_t at = 0;
    while (at + 4 <= Data.size()) {
        const auto byte = [&](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(Data[at + i])); };
        const size_t length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        if (length == 0)
            return false;
        at += 4 + length;
    }
    return !Data.empty() && at == Data.size();
}

int PacketCount(const std::string& File)
{
    std::string output;
    RunCommand(
        "ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 '" +
            File + "'",
        output);
    return std::atoi(output.c_str());
}

bool Logged(const TConversionResult& Result, const std::string& Text)
{
    for (const std::string& line : Result.Log)
        if (line.find(Text) != std::string::npos)
            return true;
    return false;
}

enum class TPacketForm { LengthPrefixed, AnnexB, StreamHeaderFirst, GroupHeaderFirst };

struct TFilterCase {
    const char* Name;
    const char* Input;
    const char* Output;
    std::vector<std::string> Lines;
    TPacketForm Form;
    const char* Failure;  // a filter's failure the log names; null: none
};

TEST(BitstreamFilterTest, FiltersChangeWhatTheMuxerWrites)
{
    TempFolder folder("bsf");
    const std::string failure = "aac_adtstoasc failed for stream 0, codec copy";
    // clang-format off
    const TFilterCase cases[] = {
        {"a plain copy keeps the lengths", "h264.mp4", "plain.avi", {"vcodec=copy"}, TPacketForm::LengthPrefixed, nullptr},
        {"h264_mp4toannexb gives start codes", "h264.mp4", "annexb.avi",
         {"vcodec=copy", "vbsf=h264_mp4toannexb"}, TPacketForm::AnnexB, nullptr},
        {"the second of two takes the first's parameters", "h264.mp4", "twice.avi",
         {"vcodec=copy", "vbsf=h264_mp4toannexb", "vbsf=h264_mp4toannexb"}, TPacketForm::AnnexB, nullptr},
        {"a filter that fails is logged and the next still runs", "h264.mp4", "failing.avi",
         {"vcodec=copy", "vbsf=aac_adtstoasc", "vbsf=h264_mp4toannexb"}, TPacketForm::AnnexB, failure.c_str()},
        {"without the filter an encoded stream's header stays out of the packets", "video_only.mp4", "mpeg4.mkv",
         {"vcodec=mpeg4"}, TPacketForm::GroupHeaderFirst, nullptr},
        {"dump_extra sees the header of the open encoder", "video_only.mp4", "dumped.mkv",
         {"vcodec=mpeg4", "vbsf=dump_extra"}, TPacketForm::StreamHeaderFirst, nullptr},
    };
    // clang-format on
    for (const TFilterCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string input = Fixture(c.Input);
        const std::string output = folder.Path + "/" + c.Output;
        const TConversionResult result = Convert(input, output, {}, c.Lines);
        ASSERT_TRUE(result.Queued) << result.SetupError;
        ASSERT_TRUE(result.Finished) << result.Message;
        const std::string packet = FirstPacket(output, folder.Path);
        ASSERT_GT(packet.size(), 8u);
        switch (c.Form) {
        case TPacketForm::LengthPrefixed:
            EXPECT_TRUE(LengthPrefixed(packet));
            EXPECT_FALSE(AnnexB(packet));
            break;
        case TPacketForm::AnnexB:
            EXPECT_TRUE(AnnexB(packet));
            EXPECT_FALSE(LengthPrefixed(packet));
            break;
        case TPacketForm::StreamHeaderFirst: EXPECT_TRUE(StartsWith(packet, std::string("\0\0\1\xB0", 4))); break;
        case TPacketForm::GroupHeaderFirst: EXPECT_TRUE(StartsWith(packet, std::string("\0\0\1\xB3", 4))); break;
        }
        EXPECT_EQ(Logged(result, failure), c.Failure != nullptr);
        EXPECT_EQ(PacketCount(output), PacketCount(input)) << "every packet once";
        EXPECT_NEAR(Fact(output, "format.duration"), Fact(input, "format.duration"), 0.1);
        EXPECT_EQ(DecodeErrors(output), "");
    }
}

TEST(BitstreamFilterTest, AFailingFilterEndsTheRunWithExitOnError)
{
    TempFolder folder("bsf");
    const std::string output = folder.Path + "/failing.avi";
    const TConversionResult result = Convert(Fixture("h264.mp4"), output, {},
                                             {"vcodec=copy", "vbsf=aac_adtstoasc", "vbsf=h264_mp4toannexb", "xerror"});
    ASSERT_TRUE(result.Queued) << result.SetupError;
    EXPECT_FALSE(result.Finished);
    EXPECT_EQ(result.Message.rfind("aac_adtstoasc failed for stream 0, codec copy", 0), 0u) << result.Message;
}

}  // namespace
