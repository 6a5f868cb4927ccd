#include "ui/run/address_intake.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "app/folders.h"
#include "app/helpers.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "download/address_import.h"
#include "download/partial_file.h"
#include "download/site_helpers.h"
#include "download/url.h"
#include "download/video_site.h"
#include "history/history.h"
#include "media/task.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/bundle/qt_text.h"
#include "ui/run/download_run.h"
#include "ui/run/media_intake.h"
#include "ui/tasklist/task_list_model.h"

namespace ui {
namespace {

constexpr const char* kTag = "CClipvaneDlg";

bool IsHttpAddress(const std::wstring& text) {
    UrlParts parts;
    return CrackUrl(text, parts);
}

// The lines of a text, each without blanks around it.
std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring l = text.substr(start, end - start);
        const wchar_t* blanks = L" \t";
        l.erase(0, std::min(l.size(), l.find_first_not_of(blanks)));
        if (auto last = l.find_last_not_of(blanks); last != std::wstring::npos)
            l.erase(last + 1);
        else
            l.clear();
        lines.push_back(std::move(l));
        if (end < text.size() && text[end] == L'\r' && end + 1 < text.size() &&
            text[end + 1] == L'\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

void Warn(const std::wstring& text) {
    platform::ShowMessageBox(text, kAppName, platform::MB_OK | platform::MB_ICONWARNING);
}

}  // namespace

std::vector<std::wstring> AddressLines(const std::wstring& text) {
    std::vector<std::wstring> lines = Lines(text);
    std::erase_if(lines, [](const std::wstring& l) { return l.empty(); });
    return lines;
}

bool HasAddressLine(const std::wstring& text) {
    const std::vector<std::wstring> lines = Lines(text);
    return std::any_of(lines.begin(), lines.end(), IsHttpAddress);
}

AddressIntake::AddressIntake(TaskListModel* model, DownloadRun* run, MediaIntake* media,
                             CHistoryDb* history, QObject* parent)
    : QObject(parent), model_(model), run_(run), media_(media), history_(history) {}

bool AddressIntake::Add(const std::wstring& given) {
    const std::wstring text = TrimAddress(given);
    // An address no site handler takes would only sit there.
    if (!IsAcceptedAddress(text)) {
        LogInfoW(kTag, L"Refused address: %ls", text.c_str());
        Warn(LoadText(ids::str::kThisAddressCannotBe));
        return false;
    }
    if (model_->HasPendingAddress(text)) return false;
    auto task = std::make_unique<Task>();
    task->source = text;
    task->onlinePending = 1;
    // A ticked address row, ready for download.
    run_->RowAdded(model_->AppendTask(std::move(task)));
    // Many lines at once: the window hears of them after the last.
    if (!addingMany_) emit added();
    return true;
}

void AddressIntake::AddLines(const std::vector<std::wstring>& lines) {
    std::vector<std::wstring> refused;
    addingMany_ = true;
    for (const std::wstring& line : lines) {
        if (IsAcceptedAddress(line))
            Add(line);
        else
            refused.push_back(line);
    }
    addingMany_ = false;
    emit added();
    if (refused.empty()) return;
    for (const std::wstring& line : refused)
        LogWarnW(kTag, L"Not added, no address: %ls", line.substr(0, 200).c_str());
    if (refused.size() == 1) {
        Warn(LoadText(ids::str::kThisAddressCannotBe));
        return;
    }
    // One box for them all, naming the first few.
    std::wstring first;
    for (size_t i = 0; i < refused.size() && i < 5; ++i) {
        std::wstring l = refused[i];
        if (l.size() > 80) l = l.substr(0, 80) + L"...";
        first += L"\n" + (l.empty() ? L"\"\"" : l);
    }
    Warn(platform::FormatW(LoadText(ids::str::kRefusedLines).c_str(),
                           static_cast<int>(refused.size()), first.c_str()));
}

void AddressIntake::AddImported(const std::vector<std::wstring>& addresses) {
    std::vector<std::wstring> added;
    for (const std::wstring& a : addresses)
        if (Add(a)) added.push_back(a);
    if (size_t known = CountAlreadyDownloaded(added, LoadHistoryPageAddresses(history_)))
        emit statusText(platform::FormatW(LoadText(ids::str::kImportedAlreadyKnown).c_str(),
                                          static_cast<int>(known)));
}

void AddressIntake::Drop(const QMimeData* data) {
    if (!data) return;
    const QList<QUrl> urls = data->urls();
    const bool files = !urls.isEmpty() && std::all_of(urls.begin(), urls.end(), [](const QUrl& u) {
        return u.isLocalFile();
    });
    if (files) {
        QStringList paths;
        for (const QUrl& u : urls) paths << u.toLocalFile();
        AddFiles(paths);
        return;
    }
    // Addresses are taken and refused as pasted ones are.
    std::wstring text;
    if (data->hasText())
        text = FromQ(data->text());
    else
        for (const QUrl& u : urls) text += FromQ(u.toString()) + L"\n";
    AddLines(AddressLines(text));
}

void AddressIntake::AddFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        std::wstring p = FromQ(path);
        if (p.size() > kMaxPath) p.resize(kMaxPath);
        media_->Add(p, -1, -2, L"");
    }
}

void AddressIntake::Paste() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (data && data->hasText()) AddLines(AddressLines(FromQ(data->text())));
}

void AddressIntake::RestorePending() {
    if (pendingFile_.empty()) return;
    std::ifstream in(platform::ToUtf8(pendingFile_), std::ios::binary);
    std::string line;
    int restored = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::wstring address = platform::FromUtf8(line);
        if (IsHttpAddress(address) && !model_->HasPendingAddress(address)) {
            Add(address);
            ++restored;
        }
    }
    if (!restored) return;
    LogInfo(kTag, "%d pending rows restored", restored);
    // What their downloads kept for a resume goes with the rows again.
    const auto kept = FindKeptPartials(GetSettings().Get().OutputFolder);
    for (int row = 0; row < model_->rowCount() && !kept.empty(); ++row)
        if (Task* t = model_->TaskAt(row); t && t->onlinePending && t->partialPath.empty())
            if (auto it = kept.find(t->source); it != kept.end()) t->partialPath = it->second;
}

void AddressIntake::SavePending() const {
    if (pendingFile_.empty()) return;
    std::string text;
    for (int row = 0; row < model_->rowCount(); ++row)
        if (Task* t = model_->TaskAt(row); t && t->onlinePending)
            text += platform::ToUtf8(t->source) + "\n";
    const std::string path = platform::ToUtf8(pendingFile_);
    if (text.empty()) {
        std::remove(path.c_str());
        return;
    }
    // A whole new list or the old one: never half of one.
    const std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            LogError(kTag, "Cannot keep the pending rows in %s", temp.c_str());
            std::remove(temp.c_str());
            return;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) std::remove(temp.c_str());
}

}  // namespace ui
