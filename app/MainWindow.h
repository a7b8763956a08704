// The main window: its controls, menu and skin. What the controls mean is decided by the window's logic
// (TWindowLogic); the window forwards what its controls report and then shows the logic's state.
#pragma once

#include <QMainWindow>
#include <memory>

#include "app/MainWindowLayout.h"
#include "app/Skins.h"
#include "app/logic/WindowLogic.h"
#include "component/DIdezuDOR.h"

class QAction;
class QMenu;

namespace kv::app {

class TBatchController;
class TDBusNotifier;
class TDBusSleepInhibitor;
class TLanguageSwitch;
class TQtPorts;

class TMainWindow : public QMainWindow {
public:
    // Ports left empty are served by Qt's own dialogs, message boxes and desktop services.
    explicit TMainWindow(const kv::app::TWindowPaths& Paths = kv::app::TWindowPaths::FromEnvironment(),
                         const kv::app::TPorts& Ports = {});
    ~TMainWindow() override;

    kv::TDIdezuDOR& Engine() { return m_engine; }
    kv::app::TWindowLogic& Logic() { return *m_logic; }
    const kv::app::TMainWindowControls& Controls() const { return m_controls; }
    QWidget* ClientArea() const { return m_client; }
    QMenu* FileMenu() const { return m_fileMenu; }
    QMenu* HelpMenu() const { return m_helpMenu; }
    QMenu* SkinMenu() const { return m_skinMenu; }
    QMenu* LanguageMenu() const { return m_languageMenu; }
    kv::app::TLanguageSwitch& Language() { return *m_language; }
    const kv::app::TSkin& Skin() const { return m_skin; }
    // The file list, the preview pane and the batch.
    kv::app::TBatchController& Batch() { return *m_batch; }

    // The About dialog, modal.
    void ShowAbout();

protected:
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void BuildMenu();
    // Shows every text again in the language installed now.
    void Retranslate();
    void Connect();
    // Brings every control in line with the logic's state.
    void Sync();
    void SyncCombo(QComboBox* Combo, const QStringList& Items, int Current);

    kv::TDIdezuDOR m_engine;
    std::unique_ptr<kv::app::TQtPorts> m_qtPorts;
    // The desktop's notifications and the login manager's sleep hold, over the message buses.
    std::unique_ptr<kv::app::TDBusNotifier> m_notifier;
    std::unique_ptr<kv::app::TDBusSleepInhibitor> m_sleepInhibitor;
    kv::app::TPorts m_ports;
    std::unique_ptr<kv::app::TWindowLogic> m_logic;
    // Installed before the controls are made, so that they are made in the chosen language.
    std::unique_ptr<kv::app::TLanguageSwitch> m_language;
    QWidget* m_client = nullptr;
    kv::app::TMainWindowControls m_controls;
    kv::app::TSkin m_skin;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QMenu* m_skinMenu = nullptr;
    QMenu* m_languageMenu = nullptr;
    // Set while the window changes its own controls, so that their signals are not taken for the user's.
    bool m_syncing = false;
    // Goes first: its tasks end before the engine and the logic they use.
    std::unique_ptr<kv::app::TBatchController> m_batch;
};

}  // namespace kv::app
