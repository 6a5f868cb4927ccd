#pragma once
// The small dialogs of the main window: adding addresses (156), importing
// them from a file or page (159), the end of a run (161) and about (100).
// Each is built from its layout in the bundle when the bundle has one.
#include <QDialog>
#include <string>
#include <vector>

#include "resource_ids.h"

class QLineEdit;
class QPlainTextEdit;

namespace ui {

class AddAddressesDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = ids::dlg::kAddAddresses;
    explicit AddAddressesDialog(QWidget* parent = nullptr);
    // Every line of the text, in order, once the dialog closed with OK.
    const std::vector<std::wstring>& Result() const { return result_; }
    QPlainTextEdit* Editor() const { return edit_; }
    // Inserts the clipboard's text (command 57637 inside the dialog).
    void Paste();
    void accept() override;

  private:
    QPlainTextEdit* edit_ = nullptr;
    std::vector<std::wstring> result_;
};

class ImportDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = ids::dlg::kImportAddresses;
    static constexpr int kSourceId = ids::ctl::import_addresses::kSource;
    static constexpr int kBrowseId = ids::ctl::import_addresses::kBrowse;
    explicit ImportDialog(QWidget* parent = nullptr);
    const std::vector<std::wstring>& Result() const { return result_; }
    QLineEdit* Source() const { return source_; }
    void accept() override;

  private:
    void Browse();
    QLineEdit* source_ = nullptr;
    std::vector<std::wstring> result_;
};

// The end of a run. Accepted: the caller opens the upgrade page.
class CompletionDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = ids::dlg::kCompletion;
    explicit CompletionDialog(QWidget* parent = nullptr);
    // Says how the run went, failures too; Enter then closes the notice.
    void SetCounts(int done, int failed);
};

class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = ids::dlg::kAbout;
    static constexpr int kIconId = ids::ctl::about::kIcon;
    static constexpr int kTextId = ids::ctl::about::kText;
    static constexpr int kLinkId = ids::ctl::about::kLink;
    explicit AboutDialog(QWidget* parent = nullptr);
};

// Connects the buttons IDOK (1) and IDCANCEL (2) of a built layout; false
// when the layout has neither.
bool ConnectDialogButtons(QDialog* dialog);

}  // namespace ui
