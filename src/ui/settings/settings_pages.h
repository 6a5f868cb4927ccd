#pragma once
// The four pages of the settings sheet, each built from its layout in the
// resource bundle. A page translates its texts and loads its fields from the
// settings record when it is first shown; on confirmation it stores them and
// saves the record. A page that was never shown stores nothing.
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "resource_ids.h"
#include "ui/bundle/question_thread.h"
#include "ui/dialogs/folder_browser.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace ui {

class SettingsPage : public QWidget {
    Q_OBJECT
  public:
    SettingsPage(int templateId, QWidget* parent);
    int TemplateId() const { return templateId_; }
    // The page's tab title in the current language.
    QString Title() const;
    bool Loaded() const { return loaded_; }
    // Translates and loads the page unless that happened already.
    void EnsureLoaded();
    // False, with the text to show, when a field holds a value the page
    // refuses. A page never shown accepts.
    virtual bool Validate(QString* message) const;
    // The field a refusal puts the focus in, or null.
    virtual QWidget* FieldToFix() const { return nullptr; }
    // Stores the fields into the settings record and saves it; nothing when
    // the page was never shown.
    void Confirm();

  protected:
    void showEvent(QShowEvent* e) override;
    virtual void Load() = 0;
    virtual void Store() = 0;
    QWidget* Control(int id) const;
    QCheckBox* Check(int id) const;
    QLineEdit* Edit(int id) const;

  private:
    int templateId_;
    QString defaultTitle_;
    bool loaded_ = false;
};

}  // namespace ui

class CPageGeneral : public ui::SettingsPage {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = ids::dlg::kGeneralPage;
    explicit CPageGeneral(QWidget* parent = nullptr);

    QLineEdit* FolderEdit() const;
    // The folder an entered text stands for: trimmed, a fallback folder for
    // an empty text, made a safe path.
    static std::wstring NormalizedFolder(const std::wstring& text);
    // The message refusing `folder` (a file, or a folder that cannot be
    // made or written), naming the folder that stays; empty when it will do.
    static std::wstring Refusal(const std::wstring& folder);
    // Refuses a folder that is a file, cannot be created or written.
    bool Validate(QString* message) const override;
    QWidget* FieldToFix() const override;
    // Trims the folder text, puts a fallback folder in for an empty one,
    // makes it a safe path, shows it and creates the folder.
    std::wstring NormalizeFolder();
    // The Browse button: a refused choice is said and the field keeps its text.
    void Browse();
    void OpenFolder();  // the Open Folder button

    // Replace the folder browser and the desktop's opener (tests).
    void SetFolderChooser(ui::FolderChooser chooser) { chooser_ = std::move(chooser); }
    void SetOpener(std::function<bool(const std::wstring&)> opener) { opener_ = std::move(opener); }

  protected:
    void Load() override;
    void Store() override;

  private:
    ui::FolderChooser chooser_;
    std::function<bool(const std::wstring&)> opener_;
};

class CPageOnline : public ui::SettingsPage {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = ids::dlg::kOnlinePage;
    static constexpr int kMaxRetries = 99;
    explicit CPageOnline(QWidget* parent = nullptr);
    bool Validate(QString* message) const override;
    QWidget* FieldToFix() const override;

    // The site extractor: its program (an edit, empty for yt-dlp along
    // PATH), the chooser (a button) and what the program is (a label),
    // found without holding up the page.
    QLineEdit* ExtractorEdit() const;
    QLabel* ExtractorStatus() const;
    void BrowseExtractor();
    using FileChooser = std::function<std::optional<std::wstring>(QWidget*, const std::wstring&,
                                                                  const std::wstring&)>;
    void SetFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }

  signals:
    // The status line shows what the program in the edit is.
    void ExtractorKnown();

  protected:
    void Load() override;
    void Store() override;

  private:
    void ShowExtractorStatus();
    FileChooser fileChooser_;
    int statusRequest_ = 0;
    ui::QuestionThread questions_{this, ui::QuestionThread::Leaving::kFinishBeforeExit};
};

class CPageAudio : public ui::SettingsPage {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = ids::dlg::kAudioPage;
    explicit CPageAudio(QWidget* parent = nullptr);
    QSlider* Volume() const;
    QLabel* VolumeLabel() const;

  protected:
    void Load() override;
    void Store() override;

  private:
    void ShowVolume();
};

class CPageVideo : public ui::SettingsPage {
    Q_OBJECT
  public:
    static constexpr int kTemplateId = ids::dlg::kVideoPage;
    explicit CPageVideo(QWidget* parent = nullptr);

    // The radio button of a stored video output: 0 "directx", 1 "gl2",
    // 2 "gl"; any other text 0.
    static int OutputIndex(const std::wstring& vo);
    // The stored text of button `index`; empty for none.
    static std::wstring OutputName(int index);

  protected:
    void Load() override;
    void Store() override;

  private:
    // Enables the fit and expand boxes after a click on a fit box.
    void FitClicked(int clicked, int other);
    void ApplyFitStates();
};
