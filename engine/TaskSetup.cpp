// The task's set-up names: each forwards to its set-up step (SetupContext.h), which sees the task's
// settings, prepared files, option store, error text and log through the set-up context.
#include "engine/FFmpegTask.h"
#include "engine/PrivateOptions.h"
#include "engine/SetupContext.h"

namespace kv {

setup::TSetupContext TCustomFFmpeg::SetupContext()
{
    return setup::TSetupContext(m_opt, m_files, m_store, m_errorText, m_totalDurationMS,
                                [this](int Level, const std::string& Text) { Log(Level, Text); });
}

bool TCustomFFmpeg::OpenInputFile(const std::string& FileName)
{
    setup::TSetupContext context = SetupContext();
    return setup::OpenInput(context, FileName).Ok();
}

int TCustomFFmpeg::OpenOutputFile(const std::string& FileName)
{
    setup::TSetupContext context = SetupContext();
    const int count = setup::PrepareOutput(context, FileName).Count;
    if (count < 0)
        m_failureKind = context.OutputRefused ? TTaskFailure::OutputWrite : TTaskFailure::Settings;
    return count;
}

void TCustomFFmpeg::OpenOutputForWriting(int Index) { setup::OpenOutputForWriting(m_files, Index); }

void TCustomFFmpeg::RequireResources() const { setup::RequireResources(m_store); }

void TCustomFFmpeg::NewOutputStream(AVMediaType Type)
{
    setup::TSetupContext context = SetupContext();
    setup::NewStreamInLastOutput(context, Type);
}

void TCustomFFmpeg::NewVideoStream(int OutputIndex)
{
    setup::TSetupContext context = SetupContext();
    setup::NewStream(context, OutputIndex, AVMEDIA_TYPE_VIDEO);
}

void TCustomFFmpeg::NewAudioStream(int OutputIndex)
{
    setup::TSetupContext context = SetupContext();
    setup::NewStream(context, OutputIndex, AVMEDIA_TYPE_AUDIO);
}

void TCustomFFmpeg::NewSubtitleStream(int OutputIndex)
{
    setup::TSetupContext context = SetupContext();
    setup::NewStream(context, OutputIndex, AVMEDIA_TYPE_SUBTITLE);
}

bool TCustomFFmpeg::LookupCodec(const std::string& Name, AVMediaType Type, bool Encoder, const AVCodec*& Codec)
{
    return setup::LookupCodec(Name, Type, Encoder, Codec, m_errorText);
}

bool TCustomFFmpeg::SetGenericOption(const std::string& Name, const std::string& Value)
{
    setup::TSetupContext context = SetupContext();
    return setup::SetGenericOption(context, Name, Value);
}

std::vector<TPrivateOptionCheck> TCustomFFmpeg::CheckPrivateOptions() const
{
    return kv::CheckPrivateOptions(m_store, m_files);
}

void TCustomFFmpeg::ApplyRecordedOptions(void* Target, void* Source, int Flags) const
{
    setup::ApplyRecordedOptions(m_store, Target, Source, Flags);
}

void TCustomFFmpeg::ApplyInputFormat(const std::string& FormatName) { setup::ApplyInputFormat(*this, FormatName); }

void TCustomFFmpeg::ApplyTargetOptions(const TOutputOptions& Options) { setup::ApplyTargetOptions(*this, Options); }

void TCustomFFmpeg::ApplyOutputOptions(const TOutputOptions& Options) { setup::ApplyOutputOptions(*this, Options); }

}  // namespace kv
