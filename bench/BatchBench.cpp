// Converts the files named on the command line through the main window the way a user does: the files
// added with the add button, a preset chosen in the two combos, the output folder typed in, the "同时转换"
// box set, then Start; prints the wall time from Start to the end of the batch and how each file ended.
//
//   kelvane_batch_bench --preset TYPE/N --tasks 1|2|...|auto --output FOLDER FILE...
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <cstdio>
#include <string>

#include "app/BatchController.h"
#include "app/MainWindow.h"
#include "app/logic/TasksAtOnce.h"
#include "presets/NamedChoices.h"

namespace {

// The desktop as the benchmark answers it: the files, and messages on the error output.
class TBenchDesktop : public kv::app::IOpenFileDialog,
                      public kv::app::IMessageBoxes,
                      public kv::app::INotifier,
                      public kv::app::ISleepInhibitor {
public:
    QStringList Files;
    int Problems = 0;
    QStringList OpenFiles(const QString&, bool) override { return Files; }
    void Error(const QString& Text) override { Say("error", Text); }
    void Information(const QString& Text) override { Say("information", Text); }
    void Warning(const QString& Text) override { Say("warning", Text); }
    bool Question(const QString& Text) override
    {
        Say("question", Text);
        return false;
    }
    void Notify(const QString&) override {}
    void Hold() override {}
    void Release() override {}

private:
    void Say(const char* Kind, const QString& Text)
    {
        if (std::string(Kind) != "information")
            ++Problems;
        std::fprintf(stderr, "%s: %s\n", Kind, Text.toLocal8Bit().constData());
    }
};

int Usage(const char* Program)
{
    std::fprintf(stderr, "usage: %s --preset TYPE/N --tasks 1|2|...|auto --output FOLDER FILE...\n", Program);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TBenchDesktop desktop;
    QString preset, tasks, output;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        QString* value = arg == "--preset"   ? &preset
                         : arg == "--tasks"  ? &tasks
                         : arg == "--output" ? &output
                                             : nullptr;
        if (value) {
            if (++i >= argc)
                return Usage(argv[0]);
            *value = QString::fromLocal8Bit(argv[i]);
        } else {
            desktop.Files << QFileInfo(arg).absoluteFilePath();
        }
    }
    if (preset.isEmpty() || tasks.isEmpty() || output.isEmpty() || desktop.Files.isEmpty())
        return Usage(argv[0]);

    kv::app::TPorts ports;
    ports.OpenFileDialog = &desktop;
    ports.Messages = &desktop;
    ports.Notifier = &desktop;
    ports.SleepInhibitor = &desktop;
    const kv::app::TWindowPaths paths = kv::app::TWindowPaths::FromEnvironment();
    kv::app::TMainWindow window(paths, ports);
    window.show();
    const kv::app::TMainWindowControls& c = window.Controls();

    std::string error;
    const kv::presets::TProfileCatalog catalog(paths.ProgramFolder.toStdString());
    const std::optional<kv::presets::TNamedChoice> choice =
        kv::presets::FindPreset(catalog, preset.toStdString(), error);
    if (!choice) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    // As the user picks them: the file type, then the preset.
    c.FileType->setCurrentIndex(choice->Index1);
    emit c.FileType->activated(choice->Index1);
    c.Preset->setCurrentIndex(choice->Index2);
    emit c.Preset->activated(choice->Index2);
    c.OutputFolder->setText(QFileInfo(output).absoluteFilePath());
    emit c.OutputFolder->textEdited(c.OutputFolder->text());
    const int setting = tasks == "auto" ? kv::app::AutomaticTasks : tasks.toInt();
    c.TasksAtOnce->setCurrentIndex(kv::app::TasksAtOnceIndexOf(setting, kv::app::CoreCount()));

    kv::app::TBatchController& batch = window.Batch();
    batch.AddClicked();
    QElapsedTimer timer;
    timer.start();
    while (batch.List().Reading() || batch.List().Count() < desktop.Files.size()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (timer.elapsed() > 120000) {
            std::fprintf(stderr, "only %d of %lld files were listed\n", batch.List().Count(),
                         static_cast<long long>(desktop.Files.size()));
            return 1;
        }
    }

    timer.restart();
    batch.Driver().Start();
    while (batch.Driver().Running())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 wall = timer.elapsed();
    std::printf("preset %s, tasks at once %s (%d), %lld files: %lld ms\n", preset.toUtf8().constData(),
                tasks.toUtf8().constData(), kv::app::TasksAtOnceFor(setting, kv::app::CoreCount()),
                static_cast<long long>(desktop.Files.size()), static_cast<long long>(wall));
    return desktop.Problems == 0 ? 0 : 1;
}
