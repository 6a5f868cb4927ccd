#pragma once
// Message boxes. The front end installs a service that shows them on the
// user-interface thread; tests install one that answers by itself.
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

class IMessageBoxService {
  public:
    virtual ~IMessageBoxService() = default;
    // Shows the box and returns the button the user chose.
    virtual int Show(const std::wstring& text, const std::wstring& caption, unsigned flags) = 0;
};

// The service in use; null means boxes are written to standard error and
// answered with the first button.
void SetMessageBoxService(IMessageBoxService* service);
IMessageBoxService* GetMessageBoxService();

int ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags);

}  // namespace platform
