#include "ui/run/download_run.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <thread>

#include "app/folders.h"
#include "app/helpers.h"
#include "app/localization.h"
#include "app/settings.h"
#include "download/codes.h"
#include "download/video_downloader.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/run/media_intake.h"
#include "ui/run/run_reports.h"
#include "ui/tasklist/task_list_model.h"

namespace ui {
namespace {
constexpr unsigned kStopQuestion = ids::str::kDownloadsAreInProgress;
constexpr unsigned kBytesText = ids::str::kDownloadProgress;
constexpr unsigned kFailedText = ids::str::kError;
constexpr unsigned kRetryText = ids::str::kRetrying;
constexpr unsigned kSegmentsText = ids::str::kSegmentProgress;
}  // namespace

DownloadRun::DownloadRun(TaskListModel* model, MediaIntake* intake, QObject* parent)
    : QObject(parent), model_(model), intake_(intake) {
    reports_ = new RunReports(this, this);
    connect(intake_, &MediaIntake::downloadSettled, this, &DownloadRun::Settled);
    // Downloaded, but no video: a failure in the run's counts.
    connect(intake_, &MediaIntake::notPlayable, this, [this](Task* task) {
        notPlayable_.insert(task);
        --done_;
    });
}

DownloadRun::~DownloadRun() {
    reports_->Detach();
    if (downloader_) downloader_->Stop();
    downloader_.reset();
}

void DownloadRun::CreateWorker() {
    if (!downloader_) downloader_ = std::make_unique<CVideoDownloader>(reports_);
}

void DownloadRun::Start(std::vector<int> rows, bool all) {
    emit aboutToStart();
    const SettingsData s = GetSettings().Get();
    CreateFolderTree(s.OutputFolder);
    downloader_->SetOutputFolder(s.OutputFolder);
    downloader_->SetUseTitleAsFileName(s.UseTitleAsFileName != 0);
    downloader_->SetRetryTimes(s.RetryTimes);
    for (int row : rows) downloader_->AddItem(model_->TaskAt(row)->source, row);
    StartRecord(std::move(rows));
    allMode_ = all;
    downloading_ = true;
    downloader_->Start();
    emit stateChanged();
}

void DownloadRun::StartRecord(std::vector<int> rows) {
    rows_ = std::move(rows);
    index_ = 0;
    done_ = 0;
    lastFile_.clear();
    progressFormat_ = LoadText(kBytesText);
}

void DownloadRun::DownloadAll() {
    if (downloading_ || !downloader_) return;
    std::vector<int> rows;
    for (int row = 0; row < model_->rowCount(); ++row) {
        Task* t = model_->TaskAt(row);
        if (t && t->onlinePending && model_->IsChecked(row)) rows.push_back(row);
    }
    Start(std::move(rows), true);
}

void DownloadRun::DownloadRow(int row) {
    if (downloading_ || !downloader_) return;
    Task* t = model_->TaskAt(row);
    if (!t || !t->onlinePending) return;
    Start({row}, false);
}

void DownloadRun::RowAdded(int row) {
    if (!downloading_ || !allMode_ || !downloader_) return;
    downloader_->AddItem(model_->TaskAt(row)->source, row);
    rows_.push_back(row);
}

void DownloadRun::Stop() {
    if (!downloading_ || !downloader_) return;
    downloader_->Stop();
    downloading_ = false;
    emit stateChanged();
}

void DownloadRun::StopWithQuestion() {
    if (!downloading_) return;
    if (platform::ShowMessageBox(LoadText(kStopQuestion), kAppName,
                                 platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION) ==
        platform::IDYES)
        Stop();
}

void DownloadRun::StopAndSettle(int limitMs) {
    quitting_ = true;
    if (!downloading_ && reports_->Pending() == 0 && intake_->Pending() == 0) return;
    if (downloader_) downloader_->Stop();
    // The worker has ended: what it reported before goes to the rows and
    // the history.
    QElapsedTimer t;
    t.start();
    while ((reports_->Pending() > 0 || intake_->Pending() > 0) && t.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    downloading_ = false;
}

void DownloadRun::OnProgress(int row, const RunProgress& progress) {
    if (row < 0 || !downloader_ || !downloading_) return;
    model_->SetProgress(row, progress);
    const unsigned permille = std::min(progress.thousandths, 1000u);
    if (!rows_.empty()) {
        if (index_ >= rows_.size() || rows_[index_] != row)
            index_ =
                static_cast<size_t>(std::find(rows_.begin(), rows_.end(), row) - rows_.begin());
        if (index_ < rows_.size())
            emit progressed((static_cast<double>(index_) + permille / 1000.0) /
                            static_cast<double>(rows_.size()));
    }
    std::wstring title = model_->CellText(row, kColName).toStdWString();
    if (title.size() > 100) title.resize(100);
    if (const uint64_t segments = progress.segmentsTotal) {
        emit statusText(platform::FormatW(LoadText(kSegmentsText).c_str(), title.c_str(),
                                          static_cast<int>(progress.segmentsDone),
                                          static_cast<int>(segments)));
        return;
    }
    const std::wstring got = FormatGroupedNumber(std::to_wstring(progress.received), 0);
    const std::wstring total = FormatGroupedNumber(std::to_wstring(progress.total), 0);
    if (progressFormat_.empty()) progressFormat_ = LoadText(kBytesText);
    emit statusText(
        platform::FormatW(progressFormat_.c_str(), title.c_str(), got.c_str(), total.c_str()));
}

void DownloadRun::OnStatus(int row, int code, const std::wstring& message) {
    if (!downloader_) return;
    if (!downloading_ && !quitting_) {
        downloading_ = true;
        emit stateChanged();
    }
    model_->RemoveProgress(row);
    // What a failed or stopped download kept for a resume goes with its row.
    Task* task = model_->TaskAt(row);
    if (task) task->partialPath = downloader_->PartialPathOf(row);
    // The file is there, but it is no video.
    if (code == kStatusComplete && notPlayable_.erase(task)) code = kStatusNotPlayable;
    model_->SetStatus(row, RowStatus::kCode, code);
    if (code < kStatusFirstError || code == kStatusNotPlayable)
        emit statusText(CVideoDownloader::GetStatusText(code));
    else
        emit statusText(platform::FormatW(LoadText(kFailedText).c_str(), message.c_str()));
}

void DownloadRun::OnRetry(int row, int attempt) {
    model_->SetStatus(row, RowStatus::kRetry, attempt);
    emit statusText(platform::FormatW(LoadText(kRetryText).c_str(), attempt));
}

void DownloadRun::OnTitle(int row, const std::wstring& title) {
    if (!downloader_ || row < 0) return;
    model_->SetTitle(row, title);
}

void DownloadRun::OnItemDone(int row, const ItemReport& done) {
    if (row < 0 || !downloader_) return;
    model_->SetStatus(row, RowStatus::kNone);
    model_->RemoveProgress(row);
    ++done_;
    if (!done.finalPath.empty()) lastFile_ = done.finalPath;
    Task* task = model_->TaskAt(row);
    if (!done.finalPath.empty() && task) {
        // The probe runs off this thread; the reports after this one wait
        // until the intake is done, so they keep their order.
        intake_->AddDownloaded(task, done.finalPath, done.siteKind, done.pageAddress,
                               done.servedBy);
        reports_->Hold();
        return;
    }
    RowDone(row);
}

void DownloadRun::Settled(Task* task) {
    RowDone(model_->RowOf(task));
    reports_->Release();
}

void DownloadRun::RowDone(int row) {
    emit itemSettled();
    if (row >= 0) {
        model_->SetChecked(row, false);
        model_->SetOnlinePending(row, false);
    }
    emit stateChanged();
}

void DownloadRun::OnRunEnded(bool stopped) {
    downloading_ = false;
    emit stateChanged();
    emit itemSettled();
    emit progressed(-1);
    if (!stopped && !quitting_)
        emit finished(done_, std::max(0, static_cast<int>(rows_.size()) - done_), lastFile_);
}

}  // namespace ui
