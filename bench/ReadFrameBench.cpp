// Times the probe's picture reads: the fast ReadFrame and the accurate ReadFrameAccurate, each at random
// positions and stepping forward one track-bar arrow-key step at a time, as the preview pane makes them.
// Prints the median and the worst time of each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/logic/PreviewPane.h"
#include "component/DIdezuDOR.h"

namespace {

struct TFigures {
    double Median;
    double Worst;
};

TFigures Summarise(std::vector<double> Times)
{
    std::sort(Times.begin(), Times.end());
    return {Times[Times.size() / 2], Times.back()};
}

template <class Read>
std::vector<double> Time(int Count, Read ReadOne)
{
    std::vector<double> times;
    for (int i = 0; i < Count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ReadOne(i);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return times;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s VIDEO\n", argv[0]);
        return 1;
    }
    kv::TDIdezuDOR engine;
    if (!engine.LoadLibraries("")) {
        std::fprintf(stderr, "%s\n", engine.LastError().c_str());
        return 1;
    }
    engine.SetLogLevel(kv::llQuiet);
    kv::TAVProbe& probe = engine.Probe();
    if (!probe.OpenFile(argv[1])) {
        std::fprintf(stderr, "%s\n", probe.LastError().c_str());
        return 1;
    }
    kv::TFileStreamInfo info;
    probe.GetFileStreamInfo(info);
    const int64_t duration = info.Duration;
    // The track bar's arrow-key step for this duration, as the preview pane sets it up.
    const kv::app::TTrackBarSetup bar = kv::app::SetupTrackBar(duration, false);
    const int64_t step = int64_t{bar.LineSize} * bar.TimeScale;

    std::mt19937_64 random(2026);
    std::uniform_int_distribution<int64_t> anywhere(0, duration - 1);
    int failed = 0;
    auto read = [&](int64_t Position) {
        probe.ReadFrame(-1, Position);
        failed += !probe.FrameValid();
    };
    auto readAccurately = [&](int64_t Position) {
        probe.ReadFrameAccurate(-1, Position);
        failed += !probe.FrameValid();
    };
    const TFigures randomReads = Summarise(Time(50, [&](int) { read(anywhere(random)); }));
    read(0);
    const int64_t stepCount = std::min<int64_t>(50, (duration - 1) / step);
    const TFigures forward = Summarise(Time(static_cast<int>(stepCount), [&](int i) { read((i + 1) * step); }));
    const TFigures randomAccurate = Summarise(Time(50, [&](int) { readAccurately(anywhere(random)); }));
    readAccurately(0);
    const TFigures forwardAccurate =
        Summarise(Time(static_cast<int>(stepCount), [&](int i) { readAccurately((i + 1) * step); }));

    std::printf("file: %s (%.1f s)\n", argv[1], static_cast<double>(duration) / 1e6);
    std::printf("random reads (50):          median %6.1f ms   worst %6.1f ms\n", randomReads.Median,
                randomReads.Worst);
    std::printf("forward steps of %.3f s (%lld): median %6.1f ms   worst %6.1f ms\n", static_cast<double>(step) / 1e6,
                static_cast<long long>(stepCount), forward.Median, forward.Worst);
    std::printf("accurate random reads (50): median %6.1f ms   worst %6.1f ms\n", randomAccurate.Median,
                randomAccurate.Worst);
    std::printf("accurate forward steps (%lld):   median %6.1f ms   worst %6.1f ms\n",
                static_cast<long long>(stepCount), forwardAccurate.Median, forwardAccurate.Worst);
    std::printf("reads without a picture: %d\n", failed);
    return 0;
}
