#pragma once
// The update dialog (layout 129). In check mode it starts the version check
// and shows its result; in announcement mode it shows a newer version that
// is already known. The check posts its result here while the dialog is the
// `resultWindow`; closing the dialog drops a result still on its way.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "update/version_check.h"

class QLabel;

// The upgrade command (32853): the vendor's upgrade page in the browser,
// through the same opener as the dialog's link.
void OpenUpgradePage();

class CCheckUpdateDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = 129;
    static constexpr int kLinkId = 1000;
    static constexpr int kStatusId = 1001;
    static constexpr int kRunningId = 1005;
    static constexpr int kNewestId = 1006;
    static constexpr int kSecondLineId = 1007;

    // check true: start a check when the dialog opens; false: only show
    // `newest`.
    CCheckUpdateDlg(bool check, const ProgramVersion& running,
                    const ProgramVersion& newest = {}, QWidget* parent = nullptr);
    ~CCheckUpdateDlg() override;

    // Downloads an address into a file: 1 on success, 0 on failure.
    static int GetFile(const std::wstring& address, const std::wstring& path);
    // Opens the link's address; the desktop's browser unless replaced.
    static void SetLinkOpener(std::function<void(const std::wstring&)> opener);

    const ProgramVersion& Newest() const { return newest_; }
    QString StatusText() const { return statusText_; }
    QLabel* Control(int id) const;

    void done(int result) override;

  protected:
    bool event(QEvent* e) override;

  private:
    class PostTarget;
    void OnInitDialog();
    void OnNewVersion(uintptr_t wParam, intptr_t lParam);
    void OnNoNewVersion(uintptr_t wParam, intptr_t lParam);
    void OnCheckFailed();
    void ShowNewest();
    void UpdateData();
    void Detach();

    bool check_;
    ProgramVersion running_;
    ProgramVersion newest_;
    QString statusText_;
    std::wstring product_;
    std::unique_ptr<PostTarget> target_;
};
