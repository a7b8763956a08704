// Wires the window's file list, preview pane and driver controls to the batch logic (TFileList,
// TPreviewPane, TBatchDriver): what the widgets report goes to the logic, what the logic says is shown.
// Beyond the buttons: files dropped from a file manager are added like chosen ones, the progress cells are
// drawn as bars with the time left beside the percentage, the window title shows the batch's progress and
// time left, and closing the window during a batch asks first and stops the tasks before the window goes.
#pragma once

#include <QEventLoop>
#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/MainWindowLayout.h"
#include "app/logic/BatchDriver.h"
#include "app/logic/FileList.h"
#include "app/logic/Ports.h"
#include "app/logic/PreviewPane.h"

class QWidget;

namespace kv {
class TCustomDIdezuDOR;
}

namespace kv::app {

class TListKeeper;
class TWindowLogic;

class TBatchController : public QObject {
public:
    // Window: the main window (its title and its closing); everything must outlive the controller.
    TBatchController(QWidget& Window, const TMainWindowControls& Controls, kv::TCustomDIdezuDOR& Engine,
                     TWindowLogic& Logic, const TPorts& Ports, TFactsReader Reader = MakeFactsReader());
    ~TBatchController() override;

    // The add buttons: the open-file dialog, then the chosen files.
    void AddClicked();
    // Files from the command line or a drop: added as the dialog's would be (same filter and checks).
    void AddFiles(const QStringList& Paths);
    void DeleteClicked();
    void ClearClicked();

    // Asked when the window is closed during a batch; true lets it close. By default a question box.
    std::function<bool(const QString& Text)> ConfirmClose;
    inline static const char* const CloseQuestion =
        QT_TRANSLATE_NOOP("kv::app::TBatchController", "转换正在进行，确定要退出吗？");

    TFileList& List() { return m_list; }
    TPreviewPane& Pane() { return m_pane; }
    TBatchDriver& Driver() { return *m_driver; }
    TListKeeper& Keeper() { return *m_keeper; }

    // The window's caption without the progress.
    void SetBaseTitle(const QString& Title)
    {
        m_baseTitle = Title;
        UpdateTitle();
    }

    // Shows the batch's texts (the title, the times left, the empty preview) again in the language
    // installed now.
    void Retranslate();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    bool LibrariesReady();
    void RowAdded(int Index);
    void RebuildRows();
    void RowSelected();
    // After rows went: the pane follows the row now at Index, or clears when none is left.
    void FollowRemainingRows(int Index);
    void ShowTrackBar();
    void ShowPicture();
    void ShowButtons();
    void ShowMarks();
    void UpdateTitle();
    // The row's time left beside its percentage; all rows' and the title's.
    void ShowTimeLeft(int Index);
    void ShowTimesLeft();
    bool CheckSettings();
    // Stops the batch and waits for its tasks to end, at most CloseWaitLimit; true when they did.
    bool StopForClose();
    static constexpr int CloseWaitLimit = 60000;  // ms

    QWidget& m_window;
    TMainWindowControls m_c;
    kv::TCustomDIdezuDOR& m_engine;
    TWindowLogic& m_logic;
    TPorts m_ports;
    TFileList m_list;
    TPreviewPane m_pane;
    std::unique_ptr<TBatchDriver> m_driver;
    // The list kept between runs; it reports to nothing when it goes.
    std::unique_ptr<TListKeeper> m_keeper;
    QString m_baseTitle;
    bool m_closing = false;
    QEventLoop* m_closeWait = nullptr;  // while StopForClose waits for the end of the batch
};

}  // namespace kv::app
