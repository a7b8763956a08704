#pragma once

#include <QMainWindow>
#include <memory>

#include "component/DIdezuDOR.h"

class MainWindow : public QMainWindow {
public:
    MainWindow();

    kv::TDIdezuDOR& Engine() { return m_engine; }

private:
    kv::TDIdezuDOR m_engine;
};

// The folder of the running executable, with a trailing "/".
QString ProgramFolder();
