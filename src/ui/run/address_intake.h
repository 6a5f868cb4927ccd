#pragma once
// Addresses coming in: typed, pasted, dropped, imported or kept from the last
// session. Each accepted one becomes a ticked row; the refused ones are told
// in one box.
#include <QObject>
#include <string>
#include <vector>

class CHistoryDb;
class QMimeData;
class QString;
template <typename T>
class QList;
using QStringList = QList<QString>;

namespace ui {

class DownloadRun;
class MediaIntake;
class TaskListModel;

// The addresses in pasted or dropped text: one a line, without blanks around
// it; blank lines are skipped (they are no refusal).
std::vector<std::wstring> AddressLines(const std::wstring& text);
// Whether pasting `text` would add anything.
bool HasAddressLine(const std::wstring& text);

class AddressIntake : public QObject {
    Q_OBJECT
  public:
    AddressIntake(TaskListModel* model, DownloadRun* run, MediaIntake* media, CHistoryDb* history,
                  QObject* parent = nullptr);

    // One address; false when it is refused (told in a box) or already a
    // pending row.
    bool Add(const std::wstring& text);
    // Adds each line that is an address; the others are told in one box.
    void AddLines(const std::vector<std::wstring>& lines);
    // Adds the imported addresses and says how many were downloaded before.
    void AddImported(const std::vector<std::wstring>& addresses);
    // Local files go to the media intake, anything else is taken as pasted.
    void Drop(const QMimeData* data);
    void Paste();
    // Media files taken in as downloaded ones.
    void AddFiles(const QStringList& paths);

    // The rows not yet downloaded are kept in `file` at close and added
    // again at the next start, with what their downloads kept for a resume.
    void KeepPendingIn(const std::wstring& file) { pendingFile_ = file; }
    void RestorePending();
    void SavePending() const;

  signals:
    // After one address, or after the last of many.
    void added();
    void statusText(const std::wstring& text);

  private:
    TaskListModel* model_;
    DownloadRun* run_;
    MediaIntake* media_;
    CHistoryDb* history_;
    std::wstring pendingFile_;
    bool addingMany_ = false;
};

}  // namespace ui
