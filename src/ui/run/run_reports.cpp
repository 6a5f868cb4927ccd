#include "ui/run/run_reports.h"

#include <QCoreApplication>
#include <QEvent>

namespace ui {

namespace {
const QEvent::Type kReportsEvent = static_cast<QEvent::Type>(QEvent::User + 5121);
}

RunReports::RunReports(IRunObserver* handler, QObject* parent)
    : QObject(parent),
      handler_(handler),
      drain_(this,
             {[this] {
                  RunEvent e;
                  if (!Take(e)) return false;
                  Deliver(e, *handler_);
                  return true;
              },
              [this] { Wake(); }, [this] { return GoIdle(); }, [this] { return holds_ > 0; }}) {}

RunReports::~RunReports() {
    Detach();
}

void RunReports::OnStatus(int row, int code, const std::wstring& message) {
    Push(RunEvent::Status(row, code, message));
}
void RunReports::OnProgress(int row, const RunProgress& progress) {
    Push(RunEvent::Progress(row, progress));
}
void RunReports::OnTitle(int row, const std::wstring& title) {
    Push(RunEvent::Title(row, title));
}
void RunReports::OnRetry(int row, int attempt) {
    Push(RunEvent::Retry(row, attempt));
}
void RunReports::OnItemDone(int row, const ItemReport& item) {
    Push(RunEvent::ItemDone(row, item));
}
void RunReports::OnRunEnded(bool stopped) {
    Push(RunEvent::RunEnded(stopped));
}

void RunReports::Detach() {
    std::lock_guard lock(mutex_);
    detached_ = true;
    queue_.clear();
}

size_t RunReports::Pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

bool RunReports::Take(RunEvent& out) {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return false;
    out = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void RunReports::Push(RunEvent e) {
    std::lock_guard lock(mutex_);
    if (detached_) return;
    if (e.kind == RunEvent::kProgress && !queue_.empty()) {
        RunEvent& last = queue_.back();
        // The first report of a resumed transfer says where it went on
        // from: it is told, not merged away.
        const bool resumeStart =
            last.progress.resumedAt != 0 && last.progress.thousandths == last.progress.resumedAt;
        if (last.kind == RunEvent::kProgress && last.row == e.row && !resumeStart) {
            last.progress = e.progress;
            return;
        }
    }
    queue_.push_back(std::move(e));
    if (!wakePosted_) {
        wakePosted_ = true;
        QCoreApplication::postEvent(this, new QEvent(kReportsEvent));
    }
}

void RunReports::Wake() {
    std::lock_guard lock(mutex_);
    if (detached_) return;
    if (queue_.empty()) {
        wakePosted_ = false;  // idle: the next report wakes us
        return;
    }
    wakePosted_ = true;
    QCoreApplication::postEvent(this, new QEvent(kReportsEvent));
}

bool RunReports::GoIdle() {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return false;
    wakePosted_ = false;
    return true;
}

void RunReports::Release() {
    if (holds_ > 0 && --holds_ == 0) Wake();
}

bool RunReports::event(QEvent* e) {
    if (e->type() == kReportsEvent) {
        Drain();
        return true;
    }
    return QObject::event(e);
}

void RunReports::Drain() {
    drain_.Run();
}

}  // namespace ui
