#include "ui/run/media_intake.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <thread>

#include "app/folders.h"
#include "app/localization.h"
#include "history/history.h"
#include "media/cmd_mplayer.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/tasklist/task_list_model.h"

namespace ui {
namespace {
constexpr unsigned kNotPlayableText = ids::str::kFileIsNotVideo;
constexpr unsigned kNoAudioText = ids::str::kThisFileHasNo;

void Warn(const std::wstring& text) {
    platform::ShowMessageBox(text, kAppName, platform::MB_OK | platform::MB_ICONWARNING);
}
}  // namespace

MediaIntake::MediaIntake(TaskListModel* model, CHistoryDb* history, QObject* parent)
    : QObject(parent), model_(model), history_(history) {}

MediaIntake::~MediaIntake() = default;

void MediaIntake::Queue(Intake in) {
    const std::wstring path = in.path;
    intakes_.push_back(std::move(in));
    probes_.Ask(
        [path](const std::atomic<bool>& cancel) {
            Probed r;
            r.ok = ProbeMediaFile(path, r.task, 30000, &cancel);
            return r;
        },
        [this](Probed r) { OnProbed(std::move(r)); });
}

bool MediaIntake::Add(const std::wstring& path, int row, int siteKind,
                      const std::wstring& originAddress) {
    Intake in;
    if (row != -1) {
        in.task = model_->TaskAt(row);
        if (!in.task) return false;
    }
    in.path = path;
    in.siteKind = siteKind;
    in.origin = originAddress;
    Queue(std::move(in));
    return true;
}

void MediaIntake::AddDownloaded(Task* task, const std::wstring& path, int siteKind,
                                const std::wstring& pageAddress, const std::wstring& servedBy) {
    Queue({path, task, siteKind, pageAddress, true, servedBy});
}

bool MediaIntake::Settle(int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!intakes_.empty() && t.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!intakes_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return intakes_.empty();
}

void MediaIntake::OnProbed(Probed r) {
    probed_.push_back(std::move(r));
    FinishAll();
}

void MediaIntake::FinishAll() {
    // A box of one intake must not let the next one overtake it.
    if (finishing_) return;
    finishing_ = true;
    while (!probed_.empty() && !intakes_.empty()) {
        Probed r = std::move(probed_.front());
        probed_.pop_front();
        Intake in = std::move(intakes_.front());
        intakes_.pop_front();
        const bool added = Finish(in, r);
        if (in.download) emit downloadSettled(in.task);
        emit finished(added);
    }
    finishing_ = false;
}

bool MediaIntake::Finish(const Intake& in, const Probed& r) {
    int row = -1;
    if (in.task) {
        row = model_->RowOf(in.task);
        if (row < 0) return false;
    }
    if (!r.ok) {
        if (in.download) emit notPlayable(in.task);
        const std::wstring text =
            platform::FormatW(LoadText(kNotPlayableText).c_str(), in.path.c_str());
        Warn(text);
        emit statusText(text);
        return false;
    }
    if (r.task.hasAudio) {
        emit statusText({});
    } else {
        const std::wstring text = LoadText(kNoAudioText);
        Warn(text);
        emit statusText(text);
    }
    // The Task may have gone while the box was open.
    if (in.task) {
        row = model_->RowOf(in.task);
        if (row < 0) return false;
    }
    Task* task = in.task;
    if (!task) {
        auto fresh = std::make_unique<Task>();
        task = fresh.get();
        row = model_->AppendTask(std::move(fresh));
    }
    // Out of the pending index while the Task still says it is pending: the
    // probe's Task below says it is not.
    model_->SetOnlinePending(row, false);
    const std::wstring keepSource = task->source;
    const std::wstring keepOrigin = task->originAddress;
    const int keepKind = task->siteKind;
    const std::wstring keepPage = task->historyPageAddress;
    *task = r.task;
    task->source = keepSource;
    task->originAddress = keepOrigin;
    task->siteKind = keepKind;
    task->historyPageAddress = keepPage;
    model_->SetSource(row, in.path);
    if (in.siteKind >= 0) {
        const RecordResult recorded =
            RecordProbedDownload(history_, *task, in.path, in.siteKind, in.origin);
        TellHistoryProblem();
        if (recorded == RecordResult::kRecorded) emit historyRecorded();
    }
    // A local file is named after itself; a download keeps its title.
    model_->MarkProbed(row, in.siteKind < 0, in.servedBy);
    model_->SetChecked(row, true);
    emit rowsChanged();
    return true;
}

void MediaIntake::TellHistoryProblem() {
    const HistoryProblem problem = TakeHistoryProblem();
    if (problem.kind == HistoryProblem::kNone) return;
    emit statusText(problem.Message());
    Warn(problem.Message());
}

}  // namespace ui
