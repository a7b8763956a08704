// The "同时转换" box beside the power-off box: it lists 1 up to the number of cores and "自动", shows the
// setting remembered in config.ini, remembers each choice there at once, and tells the batch driver how
// many tasks to run at once when a batch starts.
#pragma once

#include <QString>

class QComboBox;

namespace kv::app {

class TBatchDriver;

// Cores: how many the box offers (the machine's by default). The box and the driver must outlive the
// connection, which the box owns.
void WireTasksAtOnceBox(QComboBox& Box, const QString& ConfigFile, TBatchDriver& Driver, int Cores = 0);
// Names the box's last entry again in the window's language.
void RetranslateTasksAtOnceBox(QComboBox& Box);

}  // namespace kv::app
