// Preparing an output file: the checks of crop and pad against the filters, the container format, which
// streams the output gets, its metadata, and the file made ready for writing. The file is emptied only
// when a conversion starts writing it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <random>

#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"
#include "media/TextAndPath.h"
#include "media/TextFormat.h"
#include "media/UnicodeProtocol.h"
#include "engine/FFmpegException.h"
#include "engine/SettingLimits.h"
#include "engine/PrivateOptions.h"
#include "engine/SetupContext.h"

namespace kv::setup {

namespace {

const char* const CropWithFilters = "Cannot enable crop options and filters at the same time.";
const char* const PadWithResizingFilters =
    "Cannot enable pad options and the filters which resize frame at the same time. (crop, rotate, scale, "
    "transpose, etc.)";

// Whether a filter graph text names a filter that changes the frame size.
bool NamesResizingFilter(const std::string& Filters)
{
    std::string text = Filters;
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string piece = text.substr(start, end - start);
        const std::string name = piece.substr(0, piece.find('='));
        if (std::string(",crop,rotate,scale,transpose,").find("," + name + ",") != std::string::npos)
            return true;
        start = end + 1;
    }
    return false;
}

bool SameFile(const std::string& A, const std::string& B)
{
    struct stat a {
    }, b{};
    return ::stat(A.c_str(), &a) == 0 && ::stat(B.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The file-system path a library file name stands for, or "" when the libraries reach it through
// another protocol. As the libraries read names: a scheme of letters, digits, "+", "-" and "." followed
// by ":" makes a URL ("pipe:1", "http://..."), and "file:" is the plain path after it.
std::string LocalPathOf(const std::string& LibraryName)
{
    static const char SchemeCharacters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.";
    const size_t scheme = std::strspn(LibraryName.c_str(), SchemeCharacters);
    if (scheme == 0 || scheme >= LibraryName.size() || LibraryName[scheme] != ':')
        return LibraryName;
    if (LibraryName.compare(0, scheme, "file") == 0)
        return LibraryName.substr(scheme + 1);
    return "";
}

// Makes sure the output at Path can be written, without changing what it holds: a missing file is
// created empty (so that its name counts as taken from now on) and recorded as the task's own; an
// existing file is only checked, a device or pipe only for permission (opening one may have effects).
bool PrepareTarget(const std::string& Path, TOutputTarget& Target)
{
    Target = TOutputTarget{};
    Target.Path = Path;
    struct stat status {};
    if (::lstat(Path.c_str(), &status) != 0) {
        if (errno != ENOENT)
            return false;
        const int created = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
        if (created >= 0) {
            const bool known = ::fstat(created, &status) == 0;
            ::close(created);
            if (known) {
                Target.Created = true;
                Target.Device = status.st_dev;
                Target.Inode = status.st_ino;
            }
            return true;
        }
        if (errno != EEXIST)
            return false;
        // Created by someone else meanwhile: an existing file like any other.
    }
    if (::stat(Path.c_str(), &status) != 0)
        return errno == ENOENT;  // a link to nothing yet: the conversion creates what it names
    if (S_ISDIR(status.st_mode))
        return false;
    if (!S_ISREG(status.st_mode))
        return ::access(Path.c_str(), W_OK) == 0;
    const int existing = ::open(Path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (existing < 0)
        return false;
    ::close(existing);
    return true;
}

// Whether the output at Path is written under a temporary name: a name that is free, or a regular file
// (which stays as it is until the finished output replaces it). A link, a device, a pipe or a folder is
// written as it is named.
bool TakesTemporaryName(const std::string& Path)
{
    struct stat status {};
    if (::lstat(Path.c_str(), &status) != 0)
        return errno == ENOENT;
    return S_ISREG(status.st_mode);
}

// Whether the file at Target's own name is still the empty one the task created to hold it.
bool IsOwnHolder(const TOutputTarget& Target)
{
    struct stat status {};
    return Target.Holding && !Target.FinalPath.empty() && ::lstat(Target.FinalPath.c_str(), &status) == 0 &&
           S_ISREG(status.st_mode) && status.st_size == 0 && status.st_dev == Target.HoldDevice &&
           status.st_ino == Target.HoldInode;
}

// Removes the file that holds Target's name when it is still the task's own and empty.
void ReleaseHolder(TOutputTarget& Target)
{
    if (IsOwnHolder(Target))
        ::unlink(Target.FinalPath.c_str());
    Target.Holding = false;
}

// Holds the free name Path with an empty file of the task's own; a name that is taken is left as it is.
void HoldName(const std::string& Path, TOutputTarget& Target)
{
    const int created = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (created < 0)
        return;
    struct stat status {};
    if (::fstat(created, &status) == 0) {
        Target.Holding = true;
        Target.HoldDevice = status.st_dev;
        Target.HoldInode = status.st_ino;
    }
    ::close(created);
}

// Creates the hidden file the output at Path is written to, in Path's folder and with Path's suffix (the
// container may be chosen by it): "DIR/.NAME.kvtmp-XXXXXXXX.SUFFIX"; with Hold, an empty file holds Path
// while it is free. False when the folder takes no file.
bool PrepareTemporaryTarget(const std::string& Path, TOutputTarget& Target, bool Hold)
{
    Target = TOutputTarget{};
    const size_t slash = Path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? Path : Path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    const std::string suffix = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
    // Short enough that the hidden name stays within the file system's limit on a name.
    std::string stem = name.substr(0, name.size() - suffix.size()).substr(0, 160);
    thread_local std::mt19937 GRandom{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary =
            folder + "." + stem + Format(".kvtmp-%08x", static_cast<unsigned>(GRandom())) + suffix.substr(0, 32);
        const int created = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
        if (created < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        struct stat status {};
        const bool known = ::fstat(created, &status) == 0;
        ::close(created);
        Target.Path = temporary;
        Target.FinalPath = Path;
        Target.Created = known;
        Target.Device = status.st_dev;
        Target.Inode = status.st_ino;
        if (Hold)
            HoldName(Path, Target);
        return true;
    }
    errno = EEXIST;
    return false;
}

// Whether the file at Target's path is still the one the task created.
bool IsOwnFile(const TOutputTarget& Target)
{
    struct stat status {};
    return Target.Created && !Target.Path.empty() && ::lstat(Target.Path.c_str(), &status) == 0 &&
           S_ISREG(status.st_mode) && status.st_dev == Target.Device && status.st_ino == Target.Inode;
}

// Moves the temporary file of Target to its own name in place of the task's own empty file that holds
// it. The two change places at once and the one that left the name is checked: should it not be the
// holder (put there since), they change back and the move fails with EEXIST; it fails with ENOENT when
// nothing holds the name any more.
bool ReplaceHolder(const TOutputTarget& Target)
{
    if (::renameat2(AT_FDCWD, Target.Path.c_str(), AT_FDCWD, Target.FinalPath.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno != EINVAL && errno != ENOSYS)
            return false;
        // A file system without the exchange: checked, then replaced.
        if (!IsOwnHolder(Target)) {
            struct stat status {};
            const bool gone = ::lstat(Target.FinalPath.c_str(), &status) != 0 && errno == ENOENT;
            errno = gone ? ENOENT : EEXIST;
            return false;
        }
        return ::rename(Target.Path.c_str(), Target.FinalPath.c_str()) == 0;
    }
    struct stat status {};
    const bool holder = ::lstat(Target.Path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0 &&
                        status.st_dev == Target.HoldDevice && status.st_ino == Target.HoldInode;
    if (holder) {
        ::unlink(Target.Path.c_str());
        return true;
    }
    ::renameat2(AT_FDCWD, Target.Path.c_str(), AT_FDCWD, Target.FinalPath.c_str(), RENAME_EXCHANGE);
    errno = EEXIST;
    return false;
}

// Moves the temporary file of Target to its own name; without Replace a file found there stays (but the
// task's own holder of the name) and the move fails with EEXIST.
bool MoveIntoPlace(const TOutputTarget& Target, bool Replace)
{
    if (Replace)
        return ::rename(Target.Path.c_str(), Target.FinalPath.c_str()) == 0;
    if (Target.Holding) {
        if (ReplaceHolder(Target))
            return true;
        if (errno != ENOENT)
            return false;
        // The holder went: the name is free again.
    }
    if (::renameat2(AT_FDCWD, Target.Path.c_str(), AT_FDCWD, Target.FinalPath.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace move: a second link, which fails as well when the name is taken.
    if (::link(Target.Path.c_str(), Target.FinalPath.c_str()) != 0)
        return false;
    ::unlink(Target.Path.c_str());
    return true;
}

// Removes an output that ended empty, but only the regular file the task created itself: not a file
// that was there before, not what a link names, not a device, not a file put in its place since.
void RemoveIfCreatedAndEmpty(const TOutputTarget& Target)
{
    if (!Target.Created || Target.Path.empty())
        return;
    struct stat status {};
    if (::lstat(Target.Path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0 &&
        status.st_dev == Target.Device && status.st_ino == Target.Inode)
        ::unlink(Target.Path.c_str());
}

// Metadata keys of older containers, as this library generation names them.
std::string MetadataKey(const std::string& Key)
{
    if (Key == "author")
        return "artist";
    if (Key == "year")
        return "date";
    return Key;
}

// Refuses the output: the reason in ErrorText, the output added at AddedIndex (-1: none yet) released
// with the encoder slots its streams took from FirstSlot on, the pending output settings reset.
TFileStep FailOutput(TSetupContext& Setup, const std::string& Message, int AddedIndex, int FirstSlot = 0)
{
    Setup.ErrorText = Message;
    if (AddedIndex >= 0) {
        ReleaseOutput(Setup.Files, AddedIndex);
        if (AddedIndex < Setup.Files.NbOutputFiles)
            Setup.Files.NbOutputFiles = AddedIndex;
        // The run gives output stream n the encoder of slot n: the next output's streams start here.
        Setup.Files.NbOutputCodecs = FirstSlot;
    }
    ResetPendingOutputSettings(Setup.Options);
    return TFileStep{};
}

}  // namespace

void ResetPendingOutputSettings(TTaskOptions& Options)
{
    Options.FileOFormat = nullptr;
    Options.FileIFormat = nullptr;
}

void ReleaseOutput(TPreparedFiles& Files, int Index)
{
    FormatContextPtr& output = Files.OutputFiles[Index];
    Files.OutputStreams[Index].clear();
    for (TBsfChain& chain : Files.BitstreamFilters[Index])
        chain.clear();
    if (!output)
        return;
    output.reset();
    // An output the task created that never received a byte is not left behind, nor a temporary file
    // that was never moved to its name.
    TOutputTarget& target = Files.OutputTargets[Index];
    if (!target.FinalPath.empty() && IsOwnFile(target))
        ::unlink(target.Path.c_str());
    else
        RemoveIfCreatedAndEmpty(target);
    ReleaseHolder(target);
    target = TOutputTarget{};
}

void SettleOutputs(TPreparedFiles& Files, bool Keep)
{
    std::string failure;
    for (int k = 0; k < Files.NbOutputFiles; ++k) {
        AVFormatContext* output = Files.OutputFiles[k].get();
        if (!output || !output->pb || (output->oformat && (output->oformat->flags & AVFMT_NOFILE)))
            continue;
        // What the file system refuses at the last write counts like any other refused write.
        const int closed = lav::avio_closep(&output->pb);
        if (closed < 0 && Keep && failure.empty())
            failure = LibraryErrorText(FileNameFromLibrary(output->url), closed);
    }
    const bool keep = Keep && failure.empty();
    std::string taken;
    for (int k = 0; k < Files.NbOutputFiles; ++k) {
        TOutputTarget& target = Files.OutputTargets[k];
        if (target.FinalPath.empty())
            continue;
        if (keep && IsOwnFile(target)) {
            if (MoveIntoPlace(target, Files.OutputPolicy.Replace)) {
                target.Path = target.FinalPath;
                target.FinalPath.clear();
                target.Holding = false;
                continue;
            }
            if (errno == EEXIST && taken.empty())
                taken = target.FinalPath;
            else if (failure.empty())
                failure =
                    Format("Could not move the output to '%s': %s", target.FinalPath.c_str(), std::strerror(errno));
        }
        if (IsOwnFile(target))
            ::unlink(target.Path.c_str());
        ReleaseHolder(target);
        target = TOutputTarget{};
    }
    if (!failure.empty())
        throw OutputWriteException(failure);
    if (!taken.empty())
        throw OutputExistsException(
            Format("'%s' appeared while the conversion ran and was kept; the conversion was removed (allow "
                   "replacing to write over it)",
                   taken.c_str()));
}

void ReleaseOutputs(TPreparedFiles& Files)
{
    for (int i = 0; i < MAX_FILES; ++i)
        ReleaseOutput(Files, i);
    Files.NbOutputFiles = 0;
    Files.NbOutputCodecs = 0;
}

TFileStep PrepareOutput(TSetupContext& Setup, const std::string& FileName)
{
    TTaskOptions& o = Setup.Options;
    TPreparedFiles& files = Setup.Files;
    if (const std::optional<std::string> refusal = FileStepRefusal(Setup, FileName))
        return FailOutput(Setup, *refusal, -1);
    // Bands are summed in 64 bits: each was checked alone.
    const int64_t cropSum = int64_t{o.FrameTopBand} + o.FrameBottomBand + o.FrameLeftBand + o.FrameRightBand;
    const int64_t padSum = int64_t{o.FramePadTop} + o.FramePadBottom + o.FramePadLeft + o.FramePadRight;
    if (!o.VFilters.empty() && cropSum != 0)
        return FailOutput(Setup, CropWithFilters, -1);
    if (padSum != 0 && NamesResizingFilter(o.VFilters))
        return FailOutput(Setup, PadWithResizingFilters, -1);
    // The muxer takes them as whole microseconds.
    const struct {
        float Seconds;
        const char* Option;
    } muxTimes[] = {{o.MuxPreload, "muxpreload"}, {o.MuxMaxDelay, "muxdelay"}};
    for (const auto& time : muxTimes)
        if (!MuxSecondsAccepted(time.Seconds))
            return FailOutput(Setup,
                              Format("Invalid %s %g: a number of seconds from 0 to %d is needed", time.Option,
                                     static_cast<double>(time.Seconds), MaxMuxSeconds),
                              -1);
    o.VFiltersInUse = !o.VFilters.empty();
    if (files.NbOutputFiles >= MAX_FILES)
        return FailOutput(Setup, Format("Too many output files (at most %d)", MAX_FILES), -1);
    AssignPendingOptions(Setup.Store, TOptionSide::Output, files.NbOutputFiles);
    // Writing over a file this task reads would destroy it before it is read.
    for (int i = 0; i < files.NbInputFiles; ++i) {
        const AVFormatContext* input = files.InputFiles[i].get();
        if (input && input->url && SameFile(FileNameFromLibrary(input->url), FileName))
            return FailOutput(
                Setup, Format("'%s' is an input file of this task and cannot be its output", FileName.c_str()), -1);
    }

    const std::string libraryName = LibraryFileNameOf(FileName);
    FormatContextPtr output(lav::avformat_alloc_context());
    if (!output)
        return FailOutput(Setup, LibraryErrorText(FileName, AVERROR(ENOMEM)), -1);
    const AVOutputFormat* format =
        o.FileOFormat ? o.FileOFormat : lav::av_guess_format(nullptr, libraryName.c_str(), nullptr);
    if (!format) {
        Setup.OutputRefused = true;
        return FailOutput(Setup, Format("Unable to find a suitable output format for '%s'", FileName.c_str()), -1);
    }
    output->oformat = format;
    output->url = lav::av_strdup(libraryName.c_str());

    bool useVideo = o.VideoStreamCopy || format->video_codec != AV_CODEC_ID_NONE || !o.VideoCodecName.empty();
    bool useAudio = o.AudioStreamCopy || format->audio_codec != AV_CODEC_ID_NONE || !o.AudioCodecName.empty();
    bool useSubtitle =
        o.SubtitleStreamCopy || format->subtitle_codec != AV_CODEC_ID_NONE || !o.SubtitleCodecName.empty();
    if (files.NbInputFiles > 0) {
        bool hasVideo = false, hasAudio = false, hasSubtitle = false;
        for (int i = 0; i < files.NbInputFiles; ++i) {
            const AVFormatContext* input = files.InputFiles[i].get();
            for (unsigned s = 0; input && s < input->nb_streams; ++s) {
                const AVMediaType type = input->streams[s]->codecpar->codec_type;
                if (type < AVMEDIA_TYPE_UNKNOWN || type > AVMEDIA_TYPE_ATTACHMENT)
                    return FailOutput(Setup, "check_audio_video_sub_inputs fail: invalid codec_type of input file", -1);
                hasVideo |= type == AVMEDIA_TYPE_VIDEO;
                hasAudio |= type == AVMEDIA_TYPE_AUDIO;
                hasSubtitle |= type == AVMEDIA_TYPE_SUBTITLE;
            }
        }
        useVideo &= hasVideo;
        useAudio &= hasAudio;
        useSubtitle &= hasSubtitle;
    }
    useAudio &= !o.AudioDisable;
    useSubtitle &= !o.SubtitleDisable;

    // The streams are created in the output's table entry; it counts as an output once they exist.
    const int index = files.NbOutputFiles;
    const int firstSlot = files.NbOutputCodecs;
    files.OutputFiles[index] = std::move(output);
    AVFormatContext* context = files.OutputFiles[index].get();
    const struct {
        bool Use;
        AVMediaType Type;
        const char* Failure;
    } streams[] = {
        {!o.VideoDisable && useVideo, AVMEDIA_TYPE_VIDEO, "new_video_stream fail: %s"},
        {useAudio, AVMEDIA_TYPE_AUDIO, "new_audio_stream fail: %s"},
        {useSubtitle, AVMEDIA_TYPE_SUBTITLE, "new_subtitle_stream fail: %s"},
    };
    for (const auto& stream : streams) {
        if (!stream.Use)
            continue;
        if (const std::optional<std::string> failure = FailureOf([&] { NewStream(Setup, index, stream.Type); }))
            return FailOutput(Setup, Format(stream.Failure, failure->c_str()), index, firstSlot);
    }

    if (o.RecTimestamp != 0) {
        const std::time_t when = static_cast<std::time_t>(o.RecTimestamp);
        std::tm utc{};
        char text[64];
        if (::gmtime_r(&when, &utc) && std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc))
            lav::av_dict_set(&context->metadata, "creation_time", text, 0);
    }
    for (auto pair = o.MetaData.rbegin(); pair != o.MetaData.rend(); ++pair)
        lav::av_dict_set(&context->metadata, MetadataKey(pair->first).c_str(), pair->second.c_str(), 0);
    o.MetaData.clear();
    files.NbOutputFiles = index + 1;

    if ((format->flags & AVFMT_NEEDNUMBER) && !lav::av_filename_number_test(libraryName.c_str())) {
        Setup.OutputRefused = true;
        return FailOutput(Setup, LibraryErrorText(FileName, AVERROR(EDOM)), index, firstSlot);
    }
    // Opened for writing (and emptied) only when a conversion starts: OpenOutputForWriting.
    if (!(format->flags & AVFMT_NOFILE)) {
        const std::string path = LocalPathOf(libraryName);
        TOutputTarget& target = files.OutputTargets[index];
        // A muxer that numbers its files or writes more than one names them from the output's name.
        const bool temporary = files.OutputPolicy.Temporary && !path.empty() && !(format->flags & AVFMT_NEEDNUMBER) &&
                               TakesTemporaryName(path);
        if (!path.empty() && !(temporary ? PrepareTemporaryTarget(path, target, files.OutputPolicy.HoldName)
                                         : PrepareTarget(path, target))) {
            Setup.OutputRefused = true;
            return FailOutput(Setup, Format("Could not open '%s'", FileName.c_str()), index, firstSlot);
        }
        if (temporary) {
            lav::av_freep(&context->url);
            context->url = lav::av_strdup(LibraryFileNameOf(target.Path).c_str());
        }
    }

    // The preload is the program-stream muxers' own setting now ("preload"); the context's audio preload
    // would reorder the interleaving of every other muxer (ASF refuses that).
    if (format->priv_class) {
        const AVClass* muxer = format->priv_class;
        if (lav::av_opt_find(&muxer, "preload", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ))
            Setup.Store.MuxerOptions.emplace_back(
                "preload", std::to_string(std::lround(static_cast<double>(o.MuxPreload) * 1000000.0)));
    }
    context->max_delay = static_cast<int>(std::lround(static_cast<double>(o.MuxMaxDelay) * 1000000.0));
    if (o.LoopOutput >= 0 && format->priv_class) {
        const AVClass* muxer = format->priv_class;
        if (lav::av_opt_find(&muxer, "loop", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ))
            Setup.Store.MuxerOptions.emplace_back("loop", std::to_string(o.LoopOutput));
    }
    ApplyRecordedOptions(Setup.Store, context, Setup.Store.FormatOptions.get(), AV_OPT_FLAG_ENCODING_PARAM);
    ResetPendingOutputSettings(o);
    return TFileStep{files.NbOutputFiles};
}

void OpenOutputForWriting(TPreparedFiles& Files, int Index)
{
    AVFormatContext* output = Index >= 0 && Index < Files.NbOutputFiles ? Files.OutputFiles[Index].get() : nullptr;
    if (!output)
        throw FFmpegException(Format("Output file #%d does not exist", Index));
    if ((output->oformat->flags & AVFMT_NOFILE) || output->pb)
        return;
    const std::string libraryName = output->url ? output->url : "";
    TOutputTarget& target = Files.OutputTargets[Index];
    struct stat status {};
    const bool missing = !target.Path.empty() && ::lstat(target.Path.c_str(), &status) != 0 && errno == ENOENT;
    if (lav::avio_open(&output->pb, libraryName.c_str(), AVIO_FLAG_WRITE) < 0)
        throw OutputWriteException(Format("Could not open '%s'", FileNameFromLibrary(libraryName.c_str()).c_str()));
    // Gone since it was prepared and created again here: the task's own file once more.
    if (missing && ::lstat(target.Path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
        target.Created = true;
        target.Device = status.st_dev;
        target.Inode = status.st_ino;
    }
}

}  // namespace kv::setup
