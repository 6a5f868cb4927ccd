#include "ui/run/task_list_actions.h"

#include <fstream>

#include "download/partial_file.h"
#include "media/task.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/bundle/command_actions.h"
#include "ui/desktop/desktop_services.h"
#include "ui/preview/preview_panel.h"
#include "ui/run/download_run.h"
#include "ui/tasklist/task_list_model.h"
#include "ui/tasklist/task_list_view.h"

namespace ui {
namespace {

constexpr int kCommands[] = {
    ids::cmd::kShowInFolder,  ids::cmd::kRemoveSelected,  ids::cmd::kRemoveAll,
    ids::cmd::kCheckSelected, ids::cmd::kUncheckSelected, ids::cmd::kDownloadSelected,
    ids::cmd::kSelectAll,     ids::cmd::kStopAsk,         ids::cmd::kStop,
    ids::cmd::kDownloadAll,
};

bool CanRead(const std::wstring& path) {
    if (path.empty()) return false;
    std::ifstream f(platform::ToUtf8(path), std::ios::binary);
    return f.good();
}

}  // namespace

TaskListActions::TaskListActions(TaskListModel* model, TaskListView* view, CPreviewPanel* preview,
                                 DownloadRun* run, IDesktopServices* desktop, QObject* parent)
    : QObject(parent), model_(model), view_(view), preview_(preview), run_(run), desktop_(desktop) {
    connect(model_, &TaskListModel::checkToggled, this, [this](int row) {
        // A row ticked during a run joins it; one unticked leaves it.
        if (run_->Downloading())
            model_->SetStatus(row, model_->IsChecked(row) ? RowStatus::kWaiting : RowStatus::kNone);
        if (preview_->playState() == 0) preview_->SetTask(nullptr);
        emit changed();
    });
    connect(view_->CheckHeader(), &CheckHeaderView::checkToggled, this, [this](bool checked) {
        model_->SetAllChecked(checked);
        emit changed();
    });
    connect(view_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& i) { RowActivated(i.row()); });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TaskListActions::SelectionChanged);
}

void TaskListActions::AddTo(CommandActions& commands) {
    auto add = [this, &commands](int id, void (TaskListActions::*slot)()) {
        commands.Add(id, [this, slot] { (this->*slot)(); });
    };
    add(ids::cmd::kShowInFolder, &TaskListActions::ShowInFolder);
    add(ids::cmd::kRemoveSelected, &TaskListActions::RemoveSelected);
    add(ids::cmd::kRemoveAll, &TaskListActions::RemoveAll);
    add(ids::cmd::kDownloadSelected, &TaskListActions::DownloadSelected);
    commands.Add(ids::cmd::kCheckSelected, [this] { CheckSelected(true); });
    commands.Add(ids::cmd::kUncheckSelected, [this] { CheckSelected(false); });
    commands.Add(ids::cmd::kSelectAll, [this] { view_->selectAll(); });
    commands.Add(ids::cmd::kStopAsk, [this] { run_->StopWithQuestion(); });
    commands.Add(ids::cmd::kStop, [this] { run_->Stop(); });
    commands.Add(ids::cmd::kDownloadAll, [this] { run_->DownloadAll(); });
}

void TaskListActions::UpdateEnabled(const CommandActions& commands) const {
    for (int id : kCommands) commands.SetEnabled(id, Allowed(id));
}

bool TaskListActions::Allowed(int command) const {
    const QList<int> selected = view_->SelectedRows();
    const bool downloading = run_->Downloading(), worker = run_->Downloader() != nullptr;
    const bool idle = preview_->playState() == 0 && !downloading;
    auto selectedTask = [&]() -> Task* {
        return selected.size() == 1 ? model_->TaskAt(selected.front()) : nullptr;
    };
    switch (command) {
        case ids::cmd::kShowInFolder: {
            Task* t = selectedTask();
            return t && CanRead(t->source);
        }
        case ids::cmd::kRemoveSelected:
            return idle && !selected.isEmpty();
        case ids::cmd::kRemoveAll:
            return idle && model_->rowCount() > 0;
        case ids::cmd::kCheckSelected:
        case ids::cmd::kUncheckSelected:
            return !selected.isEmpty();
        case ids::cmd::kDownloadSelected: {
            Task* t = worker && !downloading ? selectedTask() : nullptr;
            return t && t->onlinePending;
        }
        case ids::cmd::kStopAsk:
        case ids::cmd::kStop:
            return worker && downloading;
        case ids::cmd::kDownloadAll:
            return worker && !downloading && model_->CheckedPendingCount() > 0;
        case ids::cmd::kSelectAll:
            return selected.size() < model_->rowCount();
        default:
            return true;
    }
}

void TaskListActions::DownloadSelected() {
    const QList<int> rows = view_->SelectedRows();
    if (rows.size() == 1) run_->DownloadRow(rows.front());
}

void TaskListActions::CheckSelected(bool check) {
    for (int row : view_->SelectedRows()) {
        model_->SetChecked(row, check);
        if (!check) model_->SetStatus(row, RowStatus::kNone);
    }
    emit changed();
}

void TaskListActions::RemoveRow(int row) {
    Task* t = model_->TaskAt(row);
    if (t && preview_->CurrentTask() == t) preview_->SetTask(nullptr);
    if (t) RemovePartialDownload(t->partialPath);
    model_->RemoveTaskAt(row);
}

void TaskListActions::RemoveSelected() {
    if (preview_->playState() != 0 || run_->Downloading()) return;
    QList<int> rows = view_->SelectedRows();
    // From the bottom up, so the rows still to go keep their numbers.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) RemoveRow(*it);
    emit changed();
}

void TaskListActions::RemoveAll() {
    if (preview_->playState() != 0 || run_->Downloading()) return;
    preview_->SetTask(nullptr);
    for (int row = 0; row < model_->rowCount(); ++row)
        if (Task* t = model_->TaskAt(row)) RemovePartialDownload(t->partialPath);
    model_->RemoveAll();
    emit changed();
}

void TaskListActions::ShowInFolder() {
    const QList<int> rows = view_->SelectedRows();
    if (rows.size() != 1) return;
    if (Task* t = model_->TaskAt(rows.front())) desktop_->ShowItem(t->source);
}

void TaskListActions::PreviewSelected() {
    const QList<int> rows = view_->SelectedRows();
    if (rows.size() == 1) preview_->SetTask(model_->TaskAt(rows.front()));
}

void TaskListActions::MarkChanged() {
    const QList<int> rows = view_->SelectedRows();
    if (!rows.isEmpty()) model_->TaskChanged(rows.front());
}

void TaskListActions::SelectionChanged() {
    const QModelIndex current = view_->currentIndex();
    const bool focusedAndSelected =
        current.isValid() && view_->selectionModel()->isSelected(current);
    emit changed();
    if (preview_->playState() != 0) return;
    Task* task = focusedAndSelected ? model_->TaskAt(current.row()) : nullptr;
    preview_->SetTask(task);
    // The preview may not play what is being downloaded.
    if (task && run_->Downloading()) preview_->LockControls();
}

void TaskListActions::RowActivated(int row) {
    Task* task = model_->TaskAt(row);
    if (!task) return;
    if (!task->onlinePending || run_->Downloading()) {
        preview_->SetTask(task);
        preview_->PlayTask(false);
    } else {
        DownloadSelected();
    }
}

}  // namespace ui
