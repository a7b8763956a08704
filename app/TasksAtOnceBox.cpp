// The "同时转换" box: its entries, the remembered setting, and the count it gives a batch.
#include "app/TasksAtOnceBox.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPointer>
#include <QSignalBlocker>

#include "app/logic/BatchDriver.h"
#include "app/logic/TasksAtOnce.h"

namespace kv::app {

void WireTasksAtOnceBox(QComboBox& Box, const QString& ConfigFile, TBatchDriver& Driver, int Cores)
{
    const int cores = Cores > 0 ? Cores : CoreCount();
    {
        const QSignalBlocker quiet(&Box);
        Box.clear();
        Box.addItems(TasksAtOnceChoices(cores));
        Box.setCurrentIndex(TasksAtOnceIndexOf(ReadTasksAtOnce(ConfigFile), cores));
    }
    QObject::connect(&Box, &QComboBox::currentIndexChanged, &Box, [ConfigFile, cores](int Index) {
        if (Index >= 0)
            WriteTasksAtOnce(ConfigFile, TasksAtOnceSettingAt(Index, cores));
    });
    Driver.TasksAtOnce = [box = QPointer<QComboBox>(&Box), cores] {
        return box ? TasksAtOnceFor(TasksAtOnceSettingAt(box->currentIndex(), cores), cores) : 1;
    };
}

void RetranslateTasksAtOnceBox(QComboBox& Box)
{
    if (Box.count() > 0)
        Box.setItemText(Box.count() - 1, QCoreApplication::translate("kv::app::TMainWindow", AutomaticTasksText));
}

}  // namespace kv::app
