#pragma once
// The update dialog (layout 129). In check mode it starts the version check
// and shows its result; in announcement mode it shows a newer version that
// is already known. The check posts its result here while the dialog is the
// `resultWindow`; closing the dialog drops a result still on its way.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "resource_ids.h"
#include "update/version_check.h"

class QLabel;

// The upgrade command (32853): the vendor's upgrade page in the browser,
// through the same opener as the dialog's link.
void OpenUpgradePage();

class CCheckUpdateDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = ids::dlg::kCheckUpdate;
    static constexpr int kLinkId = ids::ctl::check_update::kLink;
    static constexpr int kStatusId = ids::ctl::check_update::kStatus;
    static constexpr int kRunningId = ids::ctl::check_update::kRunning;
    static constexpr int kNewestId = ids::ctl::check_update::kNewest;
    static constexpr int kSecondLineId = ids::ctl::check_update::kSecondLine;

    // check true: start a check when the dialog opens; false: only show
    // `newest`.
    CCheckUpdateDlg(bool check, const ProgramVersion& running, const ProgramVersion& newest = {},
                    QWidget* parent = nullptr);
    ~CCheckUpdateDlg() override;

    // Checks now for the running version and shows the answer.
    static void CheckNow(QWidget* parent);
    // Announces a newer version the background check found.
    static void Announce(const ProgramVersion& newest, QWidget* parent);

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
