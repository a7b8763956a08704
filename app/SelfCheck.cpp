// The window's self-check: what the shown window lists, printed once its event loop runs.
#include "app/SelfCheck.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <cstdio>

#include "app/MainWindow.h"
#include "media/TextAndPath.h"
#include "presets/ProfileCatalog.h"

namespace kv::app {

namespace {

constexpr const char* SelfCheckSwitch = "--self-check";

// "presets (2): 01 a | 02 b"; false when the combo lists nothing.
bool PrintCombo(const char* Caption, const QComboBox* Combo)
{
    QStringList items;
    for (int i = 0; i < Combo->count(); ++i)
        items << Combo->itemText(i);
    std::printf("%s (%d): %s\n", Caption, int(items.size()), items.join(QStringLiteral(" | ")).toUtf8().constData());
    return !items.isEmpty();
}

int Report(TMainWindow& Window)
{
    const TMainWindowControls& c = Window.Controls();
    std::printf("window: %s\n", Window.isVisible() ? "shown" : "not shown");
    std::printf("settings: %s\n", Window.Logic().ConfigFile().toUtf8().constData());
    std::printf("profiles: %sprofiles/\n", kv::presets::TProfileCatalog(kv::ProgramFolder()).Folder().c_str());
    bool listed = true;
    listed &= PrintCombo("file types", c.FileType);
    listed &= PrintCombo("presets", c.Preset);
    listed &= PrintCombo("brands", c.Brand);
    listed &= PrintCombo("models", c.Model);
    if (!listed)
        std::printf("self-check failed: a profile list is empty\n");
    std::fflush(stdout);
    return Window.isVisible() && listed ? 0 : 1;
}

}  // namespace

bool SelfCheckAsked(const QStringList& Arguments)
{
    return Arguments.size() == 2 && Arguments[1] == QLatin1String(SelfCheckSwitch);
}

int RunSelfCheck(TMainWindow& Window)
{
    int status = 1;
    QTimer::singleShot(0, &Window, [&] {
        status = Report(Window);
        Window.close();
        QApplication::exit(status);
    });
    QApplication::exec();
    return status;
}

}  // namespace kv::app
