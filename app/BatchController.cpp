#include "app/BatchController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QEventLoop>
#include <QMimeData>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <optional>

#include "app/ProgressDelegate.h"
#include "app/TasksAtOnceBox.h"
#include "app/TrackBar.h"
#include "app/WindowImages.h"
#include "app/logic/AddNotices.h"
#include "app/logic/ListKeeper.h"
#include "app/logic/WindowLogic.h"
#include "component/DIdezuDOR.h"
#include "media/TextAndPath.h"

namespace kv::app {

namespace {

constexpr int ProgressColumn = 4;

QStringList LocalFiles(const QMimeData* Data)
{
    QStringList files;
    if (!Data || !Data->hasUrls())
        return files;
    for (const QUrl& url : Data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

}  // namespace

TBatchController::TBatchController(QWidget& Window, const TMainWindowControls& Controls, kv::TCustomDIdezuDOR& Engine,
                                   TWindowLogic& Logic, const TPorts& Ports, TFactsReader Reader)
    : m_window(Window), m_c(Controls), m_engine(Engine), m_logic(Logic), m_ports(Ports), m_list(std::move(Reader))
{
    m_baseTitle = Window.windowTitle();
    m_driver = std::make_unique<TBatchDriver>(m_engine, m_list, m_ports);
    m_driver->BuildRecords = [this](const TListRow& Row, kv::TInputOptions& Input, kv::TOutputOptions& Output) {
        return m_logic.BuildRecords(RecordSourceFor(Row, m_list, m_pane), Input, Output);
    };
    m_driver->CheckSettings = [this] { return CheckSettings() && m_logic.PrepareOutputFolder(); };
    m_driver->PowerOffChecked = [this] { return m_c.Shutdown && m_c.Shutdown->isChecked(); };
    if (m_c.TasksAtOnce)
        WireTasksAtOnceBox(*m_c.TasksAtOnce, m_logic.ConfigFile(), *m_driver);
    m_driver->OnButtons = [this] { ShowButtons(); };
    m_driver->OnBatchEnded = [this] {
        UpdateTitle();
        if (m_closeWait)
            m_closeWait->quit();
    };
    m_driver->OnTimesLeft = [this] { ShowTimesLeft(); };
    m_driver->WindowActive = [this] { return m_window.isActiveWindow(); };
    ConfirmClose = [this](const QString& Text) { return !m_ports.Messages || m_ports.Messages->Question(Text); };

    m_list.OnRowAdded = [this](int Index) { RowAdded(Index); };
    m_list.OnRowChanged = [this](int Index) {
        if (QTreeWidgetItem* item = m_c.FileList->topLevelItem(Index))
            item->setText(ProgressColumn, m_list.Row(Index).Progress);
        ShowTimeLeft(Index);
        UpdateTitle();
    };
    m_list.OnRowsRemoved = [this] { RebuildRows(); };
    m_list.OnNotAdded = [this](const TNotAdded& NotAdded) {
        if (m_ports.Messages)
            m_ports.Messages->Warning(NotAddedMessage(NotAdded, TWindowLogic::VideoFileFilter()));
    };
    m_list.OnAddFinished = [this] {
        if (m_list.Count() > 0) {
            m_c.AddPanel->hide();
            for (QToolButton* button : {m_c.Add, m_c.Delete, m_c.Clear}) {
                button->show();
                button->update();
            }
        }
    };
    m_pane.OnTrackBar = [this] { ShowTrackBar(); };
    m_pane.OnPicture = [this] { ShowPicture(); };

    m_c.FileList->setItemDelegateForColumn(ProgressColumn, new TProgressDelegate(m_c.FileList));
    m_c.FileList->setAcceptDrops(true);
    m_c.FileList->viewport()->setAcceptDrops(true);
    m_c.FileList->viewport()->installEventFilter(this);
    m_c.AddPanel->setAcceptDrops(true);
    m_c.AddPanel->installEventFilter(this);
    m_window.installEventFilter(this);

    connect(m_c.AddPanel, &QPushButton::clicked, this, &TBatchController::AddClicked);
    connect(m_c.Add, &QToolButton::clicked, this, &TBatchController::AddClicked);
    connect(m_c.Delete, &QToolButton::clicked, this, &TBatchController::DeleteClicked);
    connect(m_c.Clear, &QToolButton::clicked, this, &TBatchController::ClearClicked);
    connect(m_c.FileList, &QTreeWidget::currentItemChanged, this, [this] { RowSelected(); });

    connect(m_c.PreviewTrack, &QSlider::valueChanged, this, [this](int Value) {
        m_pane.PositionChanged(Value, m_list.Count() > 0);
        m_c.PreviewTime->setText(m_pane.TimeLabel());
    });
    connect(m_c.PreviewTrack, &QSlider::sliderPressed, this, [this] { m_pane.DragStarted(); });
    connect(m_c.PreviewTrack, &QSlider::sliderReleased, this, [this] { m_pane.DragEnded(); });
    connect(m_c.StartTime, &QPushButton::clicked, this, [this] {
        m_pane.MarkStart();
        ShowMarks();
    });
    connect(m_c.EndTime, &QPushButton::clicked, this, [this] {
        m_pane.MarkEnd();
        ShowMarks();
    });
    connect(m_c.CutClip, &QCheckBox::toggled, this, [this](bool Checked) { m_pane.SetClipChecked(Checked); });

    connect(m_c.Start, &QToolButton::clicked, this, [this] { m_driver->Start(); });
    connect(m_c.Pause, &QPushButton::clicked, this, [this] { m_driver->Pause(); });
    connect(m_c.Resume, &QPushButton::clicked, this, [this] { m_driver->Resume(); });
    connect(m_c.Stop, &QPushButton::clicked, this, [this] { m_driver->Stop(); });
    ShowButtons();

    m_keeper = std::make_unique<TListKeeper>(m_list, *m_driver, m_engine, m_ports, m_logic.Paths().StateHome);
    m_keeper->Start();
}

TBatchController::~TBatchController()
{
    // The tasks end before the list and the driver they report to.
    if (m_driver->Running())
        StopForClose();
    m_engine.ClearTasks();
    m_driver.reset();
}

bool TBatchController::LibrariesReady() { return m_logic.LoadLibraries(m_engine); }

void TBatchController::AddClicked()
{
    if (!LibrariesReady() || !m_ports.OpenFileDialog)
        return;
    const QStringList files = m_ports.OpenFileDialog->OpenFiles(TWindowLogic::VideoFileFilter(), true);
    if (files.isEmpty())
        return;
    m_list.Add(files, TWindowLogic::VideoFileFilter());
}

void TBatchController::AddFiles(const QStringList& Paths)
{
    if (Paths.isEmpty())
        return;
    if (m_driver->Running()) {
        if (m_ports.Messages)
            m_ports.Messages->Warning(QCoreApplication::translate("kv::app::AddNotices", AddWhileConvertingMessage));
        return;
    }
    if (!LibrariesReady())
        return;
    QStringList absolute;
    for (const QString& path : Paths)
        absolute << QFileInfo(path).absoluteFilePath();
    m_list.Add(absolute, TWindowLogic::VideoFileFilter());
}

void TBatchController::RowAdded(int Index)
{
    const TListRow& row = m_list.Row(Index);
    auto* item = new QTreeWidgetItem(QStringList{row.Caption, row.Type, row.Resolution, row.Duration, row.Progress});
    for (int column = 1; column <= ProgressColumn; ++column)
        item->setTextAlignment(column, Qt::AlignCenter);
    {
        // Selection follows the new row without loading it a second time.
        const QSignalBlocker blocker(m_c.FileList);
        m_c.FileList->addTopLevelItem(item);
        // The new row is the current one, as the pane shows it, without selecting it.
        m_c.FileList->selectionModel()->setCurrentIndex(m_c.FileList->indexFromItem(item),
                                                        QItemSelectionModel::NoUpdate);
    }
    m_pane.Load(row.Path, row.Facts.DurationUs, row.Facts.FormatName, row.Facts.VideoStreams > 0);
}

void TBatchController::RebuildRows()
{
    const QSignalBlocker blocker(m_c.FileList);
    m_c.FileList->clear();
    for (int index = 0; index < m_list.Count(); ++index) {
        const TListRow& row = m_list.Row(index);
        auto* item =
            new QTreeWidgetItem(QStringList{row.Caption, row.Type, row.Resolution, row.Duration, row.Progress});
        for (int column = 1; column <= ProgressColumn; ++column)
            item->setTextAlignment(column, Qt::AlignCenter);
        m_c.FileList->addTopLevelItem(item);
    }
}

void TBatchController::RowSelected()
{
    const int index = m_c.FileList->indexOfTopLevelItem(m_c.FileList->currentItem());
    if (index < 0 || index >= m_list.Count())
        return;
    const TListRow& row = m_list.Row(index);
    // The file shown already keeps its position and marks.
    if (row.Path == m_pane.Path() && !m_pane.Picture().isNull())
        return;
    m_pane.Load(row.Path, row.Facts.DurationUs, row.Facts.FormatName, row.Facts.VideoStreams > 0);
}

void TBatchController::FollowRemainingRows(int Index)
{
    m_pane.ClearPicture();
    if (m_list.Count() == 0) {
        m_pane.Clear();
        return;
    }
    // The row that took the deleted one's place (or the new last row) becomes the selected one, and the
    // pane shows it.
    QTreeWidgetItem* item = m_c.FileList->topLevelItem(qBound(0, Index, m_list.Count() - 1));
    m_c.FileList->setCurrentItem(item);
    item->setSelected(true);
    RowSelected();
}

void TBatchController::DeleteClicked()
{
    const int index = m_c.FileList->indexOfTopLevelItem(m_c.FileList->currentItem());
    if (index < 0 || !m_c.FileList->currentItem()->isSelected()) {
        if (m_ports.Messages)
            m_ports.Messages->Information(
                QCoreApplication::translate("kv::app::TBatchController", "请先选择一个视频文件进行删除！"));
        return;
    }
    m_list.Delete(index);
    FollowRemainingRows(index);
    m_engine.ClearTasks();
}

void TBatchController::ClearClicked()
{
    m_list.Clear();
    FollowRemainingRows(0);
    m_engine.ClearTasks();
}

void TBatchController::ShowTrackBar()
{
    const TTrackBarSetup& bar = m_pane.TrackBar();
    const QSignalBlocker blocker(m_c.PreviewTrack);
    m_c.PreviewTrack->setEnabled(bar.SliderVisible);
    m_c.PreviewTrack->setRange(0, bar.Maximum);
    m_c.PreviewTrack->setTickInterval(bar.TickFrequency);
    m_c.PreviewTrack->setSingleStep(bar.LineSize);
    m_c.PreviewTrack->setPageStep(bar.PageSize);
    m_c.PreviewTrack->setValue(0);
    m_c.PreviewTime->setText(m_pane.TimeLabel());
    ShowMarks();
}

void TBatchController::ShowPicture()
{
    if (m_pane.Picture().isNull())
        m_c.PreviewImage->setPixmap(PreviewPlaceholder(m_c.PreviewImage->size()));
    else
        m_c.PreviewImage->setPixmap(QPixmap::fromImage(m_pane.Picture()));
    m_c.PreviewTime->setText(m_pane.TimeLabel());
}

void TBatchController::ShowMarks()
{
    m_c.StartTimeEdit->setText(m_pane.StartText());
    m_c.EndTimeEdit->setText(m_pane.EndText());
    m_c.CutClip->setEnabled(m_pane.ClipEnabled());
    if (m_c.CutClip->isChecked() != m_pane.ClipChecked()) {
        const QSignalBlocker blocker(m_c.CutClip);
        m_c.CutClip->setChecked(m_pane.ClipChecked());
    }
    m_c.PreviewTrack->SetMarkedRange(m_pane.SelectionStart(), m_pane.SelectionEnd());
}

void TBatchController::ShowButtons()
{
    const TBatchButtons& b = m_driver->Buttons();
    m_c.Start->setEnabled(b.Start);
    m_c.Pause->setEnabled(b.Pause);
    m_c.Resume->setEnabled(b.Resume);
    m_c.Stop->setEnabled(b.Stop);
    for (QWidget* button : {static_cast<QWidget*>(m_c.Add), static_cast<QWidget*>(m_c.Delete),
                            static_cast<QWidget*>(m_c.Clear), static_cast<QWidget*>(m_c.AddPanel)})
        button->setEnabled(b.ListButtons);
    if (m_c.TasksAtOnce)  // a batch keeps the count it started with
        m_c.TasksAtOnce->setEnabled(b.ListButtons);
    UpdateTitle();
}

void TBatchController::ShowTimeLeft(int Index)
{
    QTreeWidgetItem* item = m_c.FileList->topLevelItem(Index);
    if (!item || !m_driver)
        return;
    const std::optional<qint64> left = m_driver->RowTimeLeftMs(Index);
    const QString text = left ? TimeLeftCaption(*left) : QString();
    if (item->data(ProgressColumn, TProgressDelegate::TimeLeftRole).toString() != text)
        item->setData(ProgressColumn, TProgressDelegate::TimeLeftRole, text);
}

void TBatchController::ShowTimesLeft()
{
    for (int index = 0; index < m_c.FileList->topLevelItemCount(); ++index)
        ShowTimeLeft(index);
    UpdateTitle();
}

void TBatchController::UpdateTitle()
{
    const int percent = m_driver ? m_driver->OverallPercent() : -1;
    if (percent < 0) {
        m_window.setWindowTitle(m_baseTitle);
        return;
    }
    const std::optional<qint64> left = m_driver->BatchTimeLeftMs();
    const QString progress = QString::number(percent) + QLatin1Char('%');
    m_window.setWindowTitle(left ? QStringLiteral("%1 - %2 - %3").arg(progress, TimeLeftCaption(*left), m_baseTitle)
                                 : QStringLiteral("%1 - %2").arg(progress, m_baseTitle));
}

void TBatchController::Retranslate()
{
    if (m_c.TasksAtOnce)
        RetranslateTasksAtOnceBox(*m_c.TasksAtOnce);
    ShowTimesLeft();
    if (m_pane.Picture().isNull())
        ShowPicture();
}

bool TBatchController::CheckSettings()
{
    if (m_logic.ActiveTab() != otCustom)
        return true;
    const TCustomPanelState panel = m_logic.CustomPanel();
    if (!panel.Visible) {
        // Its settings are not in force: every row's records would be left from another task.
        if (m_ports.Messages)
            m_ports.Messages->Error(QCoreApplication::translate("kv::app::WindowLogic", CustomPanelHiddenMessage));
        return false;
    }
    const QString problem = CustomFieldsProblem(m_c.CustomType ? m_c.CustomType->currentText() : QString(), panel.Width,
                                                panel.Height, panel.Bitrate, panel.FrameRate);
    if (problem.isEmpty())
        return true;
    if (m_ports.Messages)
        m_ports.Messages->Error(problem);
    return false;
}

bool TBatchController::StopForClose()
{
    m_driver->StopQuietly();
    if (m_driver->Running()) {
        // Every task closes its output properly on its way out; the end of the batch ends the wait, and so
        // does a minute without it.
        QEventLoop wait;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &wait, &QEventLoop::quit);
        limit.start(CloseWaitLimit);
        m_closeWait = &wait;
        wait.exec(QEventLoop::ExcludeUserInputEvents);
        m_closeWait = nullptr;
    }
    return !m_driver->Running();
}

bool TBatchController::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == &m_window && Event->type() == QEvent::Close) {
        if (!m_driver->Running() || m_closing)
            return false;
        if (ConfirmClose && !ConfirmClose(QCoreApplication::translate("kv::app::TBatchController", CloseQuestion))) {
            Event->ignore();
            return true;
        }
        m_closing = true;
        StopForClose();
        m_closing = false;
        return false;
    }
    const bool dropTarget = Watched == m_c.FileList->viewport() || Watched == m_c.AddPanel;
    if (dropTarget && (Event->type() == QEvent::DragEnter || Event->type() == QEvent::DragMove)) {
        auto* drag = static_cast<QDragMoveEvent*>(Event);
        if (!m_driver->Running() && !LocalFiles(drag->mimeData()).isEmpty()) {
            drag->acceptProposedAction();
            return true;
        }
        drag->ignore();
        return true;
    }
    if (dropTarget && Event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(Event);
        const QStringList files = LocalFiles(drop->mimeData());
        if (files.isEmpty() || m_driver->Running())
            return false;
        drop->acceptProposedAction();
        AddFiles(files);
        return true;
    }
    return QObject::eventFilter(Watched, Event);
}

}  // namespace kv::app
