// The "同时转换" setting: its choices, its place in config.ini and the count it comes to.
#include "app/logic/TasksAtOnce.h"

#include <QCoreApplication>

#include <QtGlobal>
#include <algorithm>
#include <string>
#include <thread>

#include "presets/IniFile.h"

namespace kv::app {

namespace {
constexpr const char* Section = "concurrency";
constexpr const char* Key = "tasks";
constexpr const char* AutomaticValue = "auto";
}  // namespace

int CoreCount() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

QStringList TasksAtOnceChoices(int Cores)
{
    QStringList choices;
    for (int count = 1; count <= std::max(1, Cores); ++count)
        choices << QString::number(count);
    choices << QCoreApplication::translate("kv::app::TMainWindow", AutomaticTasksText);
    return choices;
}

int TasksAtOnceSettingAt(int Index, int Cores)
{
    const int cores = std::max(1, Cores);
    if (Index < 0)
        return 1;
    return Index >= cores ? AutomaticTasks : Index + 1;
}

int TasksAtOnceIndexOf(int Setting, int Cores)
{
    const int cores = std::max(1, Cores);
    if (Setting == AutomaticTasks)
        return cores;
    return std::clamp(Setting, 1, cores) - 1;
}

int TasksAtOnceFor(int Setting, int Cores)
{
    const int cores = std::max(1, Cores);
    return Setting == AutomaticTasks ? cores : std::clamp(Setting, 1, cores);
}

int ReadTasksAtOnce(const QString& ConfigFile)
{
    const std::string value = kv::presets::TIniFile(ConfigFile.toStdString()).ReadString(Section, Key, "");
    if (QString::fromStdString(value).trimmed().compare(QLatin1String(AutomaticValue), Qt::CaseInsensitive) == 0)
        return AutomaticTasks;
    bool number = false;
    const int count = QString::fromStdString(value).trimmed().toInt(&number);
    return number && count >= 1 ? count : 1;
}

bool WriteTasksAtOnce(const QString& ConfigFile, int Setting)
{
    kv::presets::TIniFile ini(ConfigFile.toStdString());
    return ini.WriteString(
        Section, Key, Setting == AutomaticTasks ? std::string(AutomaticValue) : std::to_string(std::max(1, Setting)));
}

}  // namespace kv::app
