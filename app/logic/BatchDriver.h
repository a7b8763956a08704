// The batch: Start turns every row of the file list into one conversion task of the engine component and
// runs them one after another, or several at once when asked to; Pause, Resume and Stop act on them; the progress of each task shows in its
// row; a failed task shows its message and the batch goes on; the end of the batch is announced with what
// became of its files and, when the user asked for it and the batch ran to its end, the computer is turned
// off after a countdown the user can cancel. Each converting row, and the batch as a whole, tell how long
// they still need once that can be estimated; a user in another window is told of the end by a desktop
// notification; while the batch converts (not while paused) the computer is kept from going to sleep.
//
// The component reports from its worker threads. Its events are carried to the window's thread (one
// wake-up each, handled in the order they were raised), and everything the driver does runs there.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/logic/FileList.h"
#include "app/logic/Ports.h"
#include "app/logic/RowState.h"
#include "app/logic/TimeLeft.h"
#include "app/logic/WindowLogic.h"
#include "app/logic/WindowThreadQueue.h"
#include "engine/OptionRecords.h"

namespace kv {
class TCustomDIdezuDOR;
}

namespace kv::app {

struct TBatchButtons {
    bool Start = true;
    bool Pause = false;
    bool Resume = false;
    bool Stop = false;
    bool ListButtons = true;  // add, delete, clear
    bool operator==(const TBatchButtons&) const = default;
};

// The progress cell for a task at CurrentMs of TotalMs: '' without a total, else the whole percentage.
QString ProgressText(qint64 CurrentMs, qint64 TotalMs);

// The message of the custom tab's first empty field at Start, '' when all are filled.
QString CustomFieldsProblem(const QString& TypeText, const QString& Width, const QString& Height,
                            const QString& Bitrate, const QString& FrameRate);

// The texts the user sees, as written; they are shown through QCoreApplication::translate with the context
// "kv::app::BatchDriver".
inline const char* const NoFilesMessage = QT_TRANSLATE_NOOP("kv::app::BatchDriver", "请选择视频！");
inline const char* const BatchDoneMessage = QT_TRANSLATE_NOOP("kv::app::BatchDriver", "视频成功转换！");
inline const char* const NothingQueuedMessage = QT_TRANSLATE_NOOP("kv::app::BatchDriver", "没有一个视频可以转换！");

// The end-of-batch message: BatchDoneMessage when every file was converted, otherwise how many were
// converted, failed and stopped, followed by the failed files, one a line.
QString BatchEndMessage(int Converted, const QStringList& Failed, int Stopped);
// Shown when the power-off request failed; Reason is what the system said.
QString PowerOffFailedMessage(const QString& Reason);

class TBatchDriver {
public:
    // The records of one row's task, built from the row's own file and the settings in force now. False
    // when they cannot be built (the reason has been shown).
    using TRecordBuilder =
        std::function<bool(const TListRow& Row, kv::TInputOptions& Input, kv::TOutputOptions& Output)>;

    // Takes the component's progress and termination events for as long as it lives.
    TBatchDriver(kv::TCustomDIdezuDOR& Engine, TFileList& List, const TPorts& Ports);
    ~TBatchDriver();
    TBatchDriver(const TBatchDriver&) = delete;
    TBatchDriver& operator=(const TBatchDriver&) = delete;

    TRecordBuilder BuildRecords;
    // The output settings' own checks at Start (the custom tab's fields); they show their message. False
    // stops Start.
    std::function<bool()> CheckSettings;
    // The "转换完成自动关机" check box.
    std::function<bool()> PowerOffChecked;
    // How many tasks run at once (the "同时转换" box); unset: one after another.
    std::function<int()> TasksAtOnce;
    // How long the power-off countdown runs.
    int PowerOffSeconds = 60;
    // Whether the window is the one the user is working in: the end of a batch is then not notified.
    // Unset: it is not.
    std::function<bool()> WindowActive;
    // The steady clock the times left are measured with, in ms.
    std::function<qint64()> Clock;

    // Told on the window's thread when the buttons change, and when a batch has ended (after its message).
    std::function<void()> OnButtons;
    std::function<void()> OnBatchEnded;
    // Told when a time left may have changed or gone away without a change of its row's progress.
    std::function<void()> OnTimesLeft;
    // Whether Start converts the row; unset: every row.
    std::function<bool(int Row)> ConvertsRow;
    // Told on the window's thread as each row of a batch goes on: Waiting once its task is queued (Task:
    // its index; its outputs are prepared), Converting at each report of its task, then how it ended
    // (Detail: the message of a failure; Task -1 for a row that never became a task). A row stopped
    // before its task began is told Stopped at the end of the batch, once its task has gone.
    std::function<void(int Row, TRowState State, int Task, const QString& Detail)> OnRowState;

    const TBatchButtons& Buttons() const { return m_buttons; }
    bool Running() const { return m_running; }
    // The rows of the running batch, one per task in task order.
    const std::vector<int>& TaskRows() const { return m_taskRows; }
    // The batch's progress over all its rows (0 to 100), -1 when no batch runs.
    int OverallPercent() const;
    // How long the row's task, and the whole batch, still need (ms); none when nothing runs there or it
    // cannot be estimated yet.
    std::optional<qint64> RowTimeLeftMs(int Row) const;
    std::optional<qint64> BatchTimeLeftMs() const;

    // The four buttons. After Stop the batch ends without turning the computer off.
    void Start();
    void Pause();
    void Resume();
    void Stop();
    // Stop for a window that is closing: the end of the batch then comes without its message and without
    // turning the computer off.
    void StopQuietly();

    // Queues one task. Its index, or -1 when the component refused it (QueueError says why).
    int QueueTask(kv::TInputOptions& Input, kv::TOutputOptions& Output);
    const QString& QueueError() const { return m_queueError; }

    // The component's events, on the window's thread.
    void Progress(int TaskIndex, qint64 CurrentMs, qint64 TotalMs);
    void Terminate(int TaskIndex, bool Finished, bool Failed, const QString& Message);

private:
    void SetButtons(const TBatchButtons& Buttons);
    int RowOf(int TaskIndex) const;
    void EndBatch();
    void AnnounceEnd();
    qint64 Now() const;
    void HoldAwake();
    void ReleaseAwake();
    void TimesLeftChanged();
    void RowStateChanged(int Row, TRowState State, int Task, const QString& Detail = QString());
    // The batch's progress figure for its time left, at NowMs.
    void SampleBatch(qint64 NowMs);

    kv::TCustomDIdezuDOR& m_engine;
    TFileList& m_list;
    TPorts m_ports;
    TBatchButtons m_buttons;
    bool m_running = false;
    bool m_quiet = false;
    bool m_stopped = false;  // Stop was pressed during this batch
    std::vector<int> m_taskRows;
    // Per task, in task order: its file and how it ended.
    enum class TTaskEnd { Pending, Finished, Failed, Stopped };
    std::vector<QString> m_taskFiles;
    std::vector<TTaskEnd> m_taskEnds;
    QStringList m_notQueued;  // rows of this batch that never became a task
    QString m_queueError;
    std::vector<int> m_percent;  // per task, for the overall figure
    // Per task, for the batch's time left: the share converted and how long its output is (ms; 0 while not
    // known), which weighs it.
    std::vector<double> m_done;
    std::vector<qint64> m_lengths;
    std::vector<TTimeLeft> m_taskTimes;
    TTimeLeft m_batchTime;
    // The component's events reach the window's thread here, in the order raised, one at a time.
    TWindowThreadQueue m_events;
};

}  // namespace kv::app
