// Library log messages: per-thread line assembly, the source prefix, level filtering and mapping, and
// delivery to every component with the index of the task that runs on the logging thread.
#include <gtest/gtest.h>

#include <barrier>
#include <thread>

#include "ControlledTask.h"
#include "TestSupport.h"
#include "media/LibraryBindings.h"
#include "component/Logging.h"

using namespace kvtest;

namespace {

const char* ProbeName(void*) { return "probe"; }

// A loggable context: its first field points to its class.
struct LogSource {
    const AVClass* Class;
};

const AVClass ProbeClass = [] {
    AVClass c{};
    c.class_name = "Probe";
    c.item_name = ProbeName;
    c.version = LIBAVUTIL_VERSION_INT;
    return c;
}();

std::string Prefix()
{
    char text[64];
    std::snprintf(text, sizeof text, "[probe @ %08llX]",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&ProbeClass)));
    return text;
}

struct Line {
    int Index;
    kv::TLogLevel Level;
    std::string Text;
    bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Line& line)
{
    return out << "(" << line.Index << ", " << line.Level << ", \"" << line.Text << "\")";
}

class LogCollector {
public:
    void Attach(kv::TCustomDIdezuDOR& Component)
    {
        Component.OnLog = [this](int AIndex, kv::TLogLevel ALevel, const std::string& AMsg) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_lines.push_back({AIndex, ALevel, AMsg});
        };
    }
    std::vector<Line> Lines()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lines;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.clear();
    }

private:
    std::mutex m_lock;
    std::vector<Line> m_lines;
};

class LoggingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSystemLibraries();
        ASSERT_TRUE(component.LoadLibraries("")) << component.LastError();
        collector.Attach(component);
        kv::LiveComponents().ClearLines();
    }
    void TearDown() override { kv::LiveComponents().ClearLines(); }

    LogSource source{&ProbeClass};
    ControlledComponent component;
    LogCollector collector;
};

TEST_F(LoggingTest, LinesAreAssembledPerThreadWithThePrefixOnce)
{
    kv::lav::av_log(&source, AV_LOG_ERROR, "abc");
    EXPECT_TRUE(collector.Lines().empty()) << "an unfinished line waits";
    kv::lav::av_log(&source, AV_LOG_ERROR, "def\n");
    kv::lav::av_log(&source, AV_LOG_ERROR, "x\ny\n");
    kv::lav::av_log(nullptr, AV_LOG_ERROR, "no source %d\n", 5);
    kv::lav::av_log(&source, AV_LOG_ERROR, "\n");

    EXPECT_EQ(collector.Lines(), (std::vector<Line>{{-1, kv::llError, Prefix() + "abcdef"},
                                                    {-1, kv::llError, Prefix() + "x"},
                                                    {-1, kv::llError, "y"},
                                                    {-1, kv::llError, "no source 5"},
                                                    {-1, kv::llError, Prefix()}}));
}

TEST_F(LoggingTest, ThePrefixNamesTheSourceAndShowsEverySignificantDigitOfItsClassAddress)
{
    // A class without an item name is shown by its class name.
    static const AVClass unnamedClass = [] {
        AVClass c{};
        c.class_name = "Unnamed";
        c.version = LIBAVUTIL_VERSION_INT;
        return c;
    }();
    LogSource unnamed{&unnamedClass};
    const struct {
        LogSource* Source;
        std::string Name;
    } cases[] = {{&source, "probe"}, {&unnamed, "Unnamed"}};
    for (const auto& c : cases) {
        collector.Clear();
        kv::lav::av_log(c.Source, AV_LOG_ERROR, "text\n");
        const std::vector<Line> lines = collector.Lines();
        ASSERT_EQ(lines.size(), 1u) << c.Name;
        const std::string& line = lines[0].Text;
        const std::string head = "[" + c.Name + " @ ";
        ASSERT_EQ(line.rfind(head, 0), 0u) << line;
        const size_t close = line.find("]text");
        ASSERT_NE(close, std::string::npos) << line;
        const std::string digits = line.substr(head.size(), close - head.size());
        EXPECT_GE(digits.size(), 8u) << line;
        EXPECT_EQ(digits.find_first_not_of("0123456789ABCDEF"), std::string::npos) << "upper-case digits: " << line;
        EXPECT_EQ(std::stoull(digits, nullptr, 16), reinterpret_cast<uintptr_t>(c.Source->Class)) << line;
    }
}

TEST_F(LoggingTest, LibraryLevelsAreFilteredAndMapped)
{
    const struct {
        kv::TLogLevel Setting;
        int LibraryLevel;
        bool Delivered;
        kv::TLogLevel As;
    } cases[] = {
        {kv::llInfo, AV_LOG_PANIC, true, kv::llError},    {kv::llInfo, AV_LOG_ERROR, true, kv::llError},
        {kv::llInfo, AV_LOG_WARNING, true, kv::llInfo},   {kv::llInfo, AV_LOG_INFO, true, kv::llInfo},
        {kv::llInfo, AV_LOG_VERBOSE, false, kv::llDebug}, {kv::llInfo, AV_LOG_DEBUG, false, kv::llDebug},
        {kv::llDebug, AV_LOG_DEBUG, true, kv::llDebug},   {kv::llDebug, AV_LOG_TRACE, false, kv::llAll},
        {kv::llAll, AV_LOG_TRACE, true, kv::llAll},       {kv::llError, AV_LOG_WARNING, false, kv::llInfo},
        {kv::llError, AV_LOG_FATAL, true, kv::llError},   {kv::llQuiet, AV_LOG_ERROR, false, kv::llError},
    };
    for (const auto& c : cases) {
        collector.Clear();
        component.SetLogLevel(c.Setting);
        kv::lav::av_log(nullptr, c.LibraryLevel, "m\n");
        const std::vector<Line> lines = collector.Lines();
        if (c.Delivered)
            EXPECT_EQ(lines, (std::vector<Line>{{-1, c.As, "m"}})) << c.Setting << " " << c.LibraryLevel;
        else
            EXPECT_TRUE(lines.empty()) << c.Setting << " " << c.LibraryLevel;
    }
}

TEST_F(LoggingTest, TaskMessagesMapTheirLevelsAndCarryTheTaskIndex)
{
    component.Queue(2, true);
    const struct {
        int Level;
        kv::TLogLevel As;
    } cases[] = {{-5, kv::llQuiet}, {-1, kv::llQuiet}, {0, kv::llError}, {1, kv::llInfo},
                 {2, kv::llDebug},  {3, kv::llAll},    {4, kv::llAll},   {9, kv::llAll}};
    for (const auto& c : cases) {
        collector.Clear();
        component.Task(1).LogSlot(&component.Task(1), c.Level, "task says");
        component.DoLog(nullptr, c.Level, "engine says");
        EXPECT_EQ(collector.Lines(), (std::vector<Line>{{1, c.As, "task says"}, {-1, c.As, "engine says"}})) << c.Level;
    }
}

TEST_F(LoggingTest, EveryComponentReceivesEachLibraryLineWithItsOwnTaskIndex)
{
    ControlledComponent other;
    LogCollector otherLines;
    otherLines.Attach(other);
    other.Queue(2, true);
    // The second task of the other component runs on this thread.
    other.Task(1).ThreadId = kv::CurrentThreadId();

    kv::lav::av_log(&source, AV_LOG_INFO, "shared line\n");

    EXPECT_EQ(collector.Lines(), (std::vector<Line>{{-1, kv::llInfo, Prefix() + "shared line"}}));
    EXPECT_EQ(otherLines.Lines(), (std::vector<Line>{{1, kv::llInfo, Prefix() + "shared line"}}));
}

TEST_F(LoggingTest, PartialLinesOfDifferentThreadsDoNotMix)
{
    std::barrier step(2);
    auto writer = [&](const char* first, const char* second) {
        kv::lav::av_log(nullptr, AV_LOG_ERROR, "%s", first);
        step.arrive_and_wait();  // both halves are pending now
        step.arrive_and_wait();
        kv::lav::av_log(nullptr, AV_LOG_ERROR, "%s\n", second);
    };
    std::thread a(writer, "a1", "a2");
    std::thread b(writer, "b1", "b2");
    a.join();
    b.join();
    std::vector<std::string> texts;
    for (const Line& line : collector.Lines())
        texts.push_back(line.Text);
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"a1a2", "b1b2"}));
}

TEST_F(LoggingTest, OverlongTextIsCutToTheLineBuffer)
{
    const std::string huge(5000, 'x');
    kv::lav::av_log(&source, AV_LOG_ERROR, "%s", huge.c_str());  // pending, already at the limit
    kv::lav::av_log(&source, AV_LOG_ERROR, "%s\n", huge.c_str());
    kv::lav::av_log(&source, AV_LOG_ERROR, "%s\n", huge.c_str());
    kv::lav::av_log(&source, AV_LOG_ERROR, "short\n");
    const std::vector<Line> lines = collector.Lines();
    ASSERT_EQ(lines.size(), 3u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(lines[i].Text.size(), kv::LogLineBufferSize - 1);
        EXPECT_EQ(lines[i].Text.rfind(Prefix(), 0), 0u);
    }
    EXPECT_EQ(lines[2].Text, Prefix() + "short") << "a cut line does not hold up the next ones";
}

TEST_F(LoggingTest, HandlersThatLogUnderTheEventLockDoNotDeadlockWithOtherThreads)
{
    // A progress handler runs under the event lock and makes the library log; meanwhile another thread
    // logs library lines that need the same component.
    std::atomic<bool> done{false};
    component.OnProgress = [&](int, int, int, int, float, float, int64_t, int) {
        kv::lav::av_log(&source, AV_LOG_ERROR, "from a handler\n");
    };
    std::thread chatter([&] {
        while (!done)
            kv::lav::av_log(nullptr, AV_LOG_ERROR, "chatter\n");
    });
    component.Prepare = [](ControlledTask& task) {
        task.OnRunStep = [](ControlledTask& running) {
            running.Progress(running.Steps);
            if (running.Steps == 50)
                running.Release = true;
        };
    };
    TerminateRecorder recorder;
    recorder.Attach(component);
    component.Queue(2, false);
    component.StartConvert(2);
    const bool ended = WaitUntil([&] { return recorder.BatchEnded(); }, std::chrono::seconds(30));
    done = true;
    chatter.join();
    ASSERT_TRUE(ended);
    size_t fromHandlers = 0;
    for (const Line& line : collector.Lines())
        if (line.Text == Prefix() + "from a handler") {
            ++fromHandlers;
            EXPECT_TRUE(line.Index == 0 || line.Index == 1) << "attributed to the task on the logging thread";
        }
    EXPECT_EQ(fromHandlers, 100u);
}

}  // namespace
