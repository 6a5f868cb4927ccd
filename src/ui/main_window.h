#pragma once
// The main window, built from dialog layout 102.
#include <QDialog>

class CClipvaneDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CClipvaneDlg(QWidget* parent = nullptr);

    static constexpr int kTemplateId = 102;
    static constexpr int kIconId = 1009;

  public slots:
    // The closing sequence: settings saved, then the dialog ends.
    void reject() override;

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    void OnInitDialog();
    bool shownOnce_ = false;
};
