#pragma once
// The main window's output folder field. The settings are the folder's one
// home: the field shows theirs whoever changes it, and a folder typed here,
// chosen in a box or set in the settings sheet is checked and saved alike.
#include <QLineEdit>
#include <string>

namespace ui {

class OutputFolderField : public QLineEdit {
    Q_OBJECT
  public:
    explicit OutputFolderField(QWidget* parent = nullptr);
    ~OutputFolderField() override;

    // Takes what was typed and not taken yet (Enter or leaving the field
    // takes it too).
    void TakeTyped();
    // Normalises, checks and saves a folder the user gave; false, with the
    // reason told and the folder kept, when it cannot take downloads.
    bool Set(const std::wstring& typed);
    // Asks for a folder in a box and takes it.
    void Choose();
    // A missing folder is made when downloads start; one that cannot take
    // them is told at start and another asked for.
    void CheckAtStart();

  signals:
    void statusText(const std::wstring& text);

  private:
    int settingsToken_ = 0;
};

}  // namespace ui
