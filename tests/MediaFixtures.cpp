#include "MediaFixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace kvtest {

namespace {

struct TRecipe {
    const char* Name;
    const char* Arguments;  // ffmpeg arguments between the inputs and the output name
};

const char* const Video = "-f lavfi -i testsrc=size=160x120:rate=25:duration=2";
const char* const Tone = "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=2";
const char* const SmallVideo = "-f lavfi -i testsrc=size=96x64:rate=10:duration=1";
const char* const ShortTone = "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1";

const TRecipe Recipes[] = {
    {"video_audio.avi", "%V %T -ac 2 -c:v mpeg4 -c:a mp2 -shortest"},
    {"audio_only.mp3", "%T -c:a libmp3lame -ar 44100 -ac 1"},
    {"two_audio.mkv",
     "%V -f lavfi -i sine=frequency=300:sample_rate=48000:duration=2 %T -map 0 -map 1 -map 2 -ac:a:0 2 "
     "-c:v mpeg4 -c:a:0 libvorbis -c:a:1 flac"},
    {"subtitles.mkv", "%V -i %S -map 0 -map 1 -c:v mpeg4 -c:s srt"},
    {"video_only.mp4", "%V -c:v mpeg4"},
    {"h264.mp4", "%V -c:v libx264 -preset ultrafast -pix_fmt yuv420p"},
    {"wide_pixels.mkv", "%V -c:v mpeg4 -vf setsar=2/1"},
    {"late_start.ts", "%V %T -c:v mpeg2video -c:a mp2 -output_ts_offset 1.4"},
    {"long.avi", "-f lavfi -i testsrc=size=160x120:rate=25:duration=5 -c:v mpeg4"},
    {"audio_first.mkv", "%V %T -map 1 -map 0 -c:v mpeg4 -c:a flac"},
    {"intra.mp4", "-f lavfi -i testsrc=size=162x120:rate=25:duration=2 -c:v mpeg4 -g 1 -q:v 2"},
    {"tagged.mkv",
     "%V -c:v mpeg4 -metadata title=Title -metadata artist=Artist -metadata date=2021-05-01 -metadata track=3/12 "
     "-metadata comment=Comment -metadata album=Album -metadata genre=Genre -metadata copyright=Copyright"},
    {"frames_%03d.png", "-f lavfi -i testsrc=size=64x48:rate=5:duration=0.6"},
    {"av_source.mkv", "%V %T -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2 -ar 44100"},
    {"late_audio.mkv", "%V -itsoffset 0.5 %T -map 0 -map 1 -c:v mpeg4 -c:a flac"},
    {"long_av.mkv",
     "-f lavfi -i testsrc=size=320x240:rate=25:duration=8 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=8 "
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac"},
    {"long_120s.avi",
     "-f lavfi -i testsrc=size=160x120:rate=25:duration=120 -f lavfi -i sine=frequency=440:sample_rate=22050:duration=120 "
     "-ac 2 -c:v mpeg4 -c:a mp2"},
    {"detail_12s.mkv", "-f lavfi -i testsrc2=size=160x120:rate=25:duration=12 -c:v ffv1"},
    {"variable_rate.mp4", "%V -vf select='not(between(n\\,10\\,30))' -fps_mode vfr -c:v mpeg4"},
    // The small files the mutation test damages, one a container (a second of 96x64 at 10 fps, or 25 where
    // the codec wants it, with a tone).
    {"mutation.avi", "%v %t -c:v mpeg4 -c:a mp2 -shortest"},
    {"mutation.mp4", "%v %t -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest"},
    {"mutation.mov", "%v %t -c:v mpeg4 -c:a aac -movflags faststart -shortest"},
    {"mutation.mkv", "%v %t -i %S -map 0 -map 1 -map 2 -c:v mpeg4 -c:a libvorbis -c:s srt -t 1"},
    {"mutation.ts", "%v %t -r 25 -c:v mpeg2video -c:a mp2 -shortest"},
    {"mutation.mpg", "%v %t -r 25 -c:v mpeg1video -c:a mp2 -f mpeg -shortest"},
    {"mutation.flv", "%v %t -c:v flv1 -c:a libmp3lame -shortest"},
    {"mutation.ogg", "%v %t -c:v libtheora -c:a libvorbis -shortest"},
    {"mutation.wmv", "%v %t -c:v wmv2 -c:a wmav2 -shortest"},
    {"mutation.rm", "%v %t -c:v rv10 -c:a ac3 -shortest"},
    {"mutation.webm", "%v %t -c:v libvpx -deadline realtime -c:a libopus -shortest"},
    {"mutation.3gp", "-f lavfi -i testsrc=size=128x96:rate=10:duration=1 %t -c:v h263 -c:a aac -shortest"},
    {"mutation.mp3", "%t -c:a libmp3lame"},
};

std::string FixtureFolder()
{
    const std::string folder = KELVANE_FIXTURE_DIR;
    ::mkdir(folder.c_str(), 0755);
    return folder;
}

std::string Expand(const std::string& Arguments, const std::string& Folder)
{
    std::string text = Arguments;
    const std::pair<std::string, std::string> parts[] = {
        {"%V", Video}, {"%T", Tone}, {"%v", SmallVideo}, {"%t", ShortTone}, {"%S", Folder + "/subtitles.srt"}};
    for (const auto& [key, value] : parts)
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key))
            text.replace(at, key.size(), value);
    return text;
}

}  // namespace

int RunCommand(const std::string& Command, std::string& Output)
{
    Output.clear();
    FILE* pipe = ::popen((Command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        Output.append(buffer, read);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Fixture(const std::string& Name)
{
    const std::string folder = FixtureFolder();
    const std::string path = folder + "/" + Name;
    // An image sequence is there when its first picture is.
    std::string first = path;
    if (const size_t pattern = first.find("%03d"); pattern != std::string::npos)
        first.replace(pattern, 4, "001");
    if (::access(first.c_str(), R_OK) == 0)
        return path;
    const std::string subtitles = folder + "/subtitles.srt";
    if (::access(subtitles.c_str(), R_OK) != 0) {
        // Written aside and renamed: another test process may be reading it.
        const std::string partial = subtitles + "." + std::to_string(::getpid());
        std::ofstream(partial) << "1\n00:00:00,000 --> 00:00:01,000\nhello\n\n"
                               << "2\n00:00:01,000 --> 00:00:02,000\nworld\n";
        std::rename(partial.c_str(), subtitles.c_str());
    }
    for (const TRecipe& recipe : Recipes) {
        if (Name != recipe.Name)
            continue;
        // Made under a name of this process and renamed, so that parallel tests never read half a file.
        const std::string extension = Name.substr(Name.rfind('.'));
        const bool sequence = first != path;
        const std::string partial = sequence ? path : folder + "/partial-" + std::to_string(::getpid()) + extension;
        std::string output;
        const int status = RunCommand(
            "ffmpeg -nostdin -v error -y " + Expand(recipe.Arguments, folder) + " '" + partial + "'", output);
        if (status != 0) {
            ADD_FAILURE() << "ffmpeg could not make " << Name << ": " << output;
            return path;
        }
        if (!sequence)
            std::rename(partial.c_str(), path.c_str());
        return path;
    }
    ADD_FAILURE() << "no recipe for the fixture " << Name;
    return path;
}

std::map<std::string, std::string> Probe(const std::string& File)
{
    std::string output;
    std::map<std::string, std::string> facts;
    if (RunCommand("ffprobe -v error -show_streams -show_format -of flat '" + File + "'", output) != 0)
        return facts;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        facts[line.substr(0, equals)] = value;
    }
    return facts;
}

}  // namespace kvtest
