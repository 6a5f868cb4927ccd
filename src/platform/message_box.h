#pragma once
// Message boxes. The front end installs a service that shows them on the
// user-interface thread; tests install one that answers by itself.
#include <functional>
#include <string>

namespace platform {

enum MessageBoxFlags : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum MessageBoxResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Asked now and then while a box is open, from any thread; true closes the
// box unanswered.
using CancelCheck = std::function<bool()>;

// The answer of a box closed without a choice: its cancel button, else its
// "no", else OK.
int CancelAnswer(unsigned flags);

class IMessageBoxService {
  public:
    virtual ~IMessageBoxService() = default;
    // Shows the box and returns the button the user chose, or CancelAnswer
    // once `cancelled` (when given) turns true.
    virtual int Show(const std::wstring& text, const std::wstring& caption, unsigned flags,
                     const CancelCheck& cancelled) = 0;
};

// The service in use; null means boxes are written to standard error and
// answered with the first button.
void SetMessageBoxService(IMessageBoxService* service);
IMessageBoxService* GetMessageBoxService();

int ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags,
                   const CancelCheck& cancelled = {});

}  // namespace platform
