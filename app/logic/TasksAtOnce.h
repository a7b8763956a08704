// How many files a batch converts at once: the "同时转换" setting beside the power-off box, its choices,
// where config.ini keeps it (a section of its own) and the number of tasks it comes to on this machine.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace kv::app {

// The setting: 1 up to the number of cores, or AutomaticTasks (as many as there are cores).
inline constexpr int AutomaticTasks = 0;
inline constexpr const char* TasksAtOnceCaption = QT_TRANSLATE_NOOP("kv::app::TMainWindow", "同时转换");
inline constexpr const char* TasksAtOnceHint = QT_TRANSLATE_NOOP("kv::app::TMainWindow", "同时转换的视频个数");
inline constexpr const char* AutomaticTasksText = QT_TRANSLATE_NOOP("kv::app::TMainWindow", "自动");

// The cores of this machine, at least 1.
int CoreCount();

// What the box lists, in order: "1" up to Cores, then "自动".
QStringList TasksAtOnceChoices(int Cores);
// The setting of the box's entry Index, and the entry of a setting (a number beyond Cores shows as Cores).
int TasksAtOnceSettingAt(int Index, int Cores);
int TasksAtOnceIndexOf(int Setting, int Cores);

// How many tasks run at once under Setting on a machine of Cores cores (1 .. Cores).
int TasksAtOnceFor(int Setting, int Cores);

// config.ini [concurrency] tasks: "auto" or a count. Missing or unreadable reads as 1, one file at a time.
int ReadTasksAtOnce(const QString& ConfigFile);
bool WriteTasksAtOnce(const QString& ConfigFile, int Setting);

}  // namespace kv::app
