#pragma once
// What the main window asks of the desktop and the machine. Tests replace
// the whole of it, so that no test opens a browser or powers a machine off.
#include <functional>
#include <string>

#include "update/vendor_site.h"

namespace ui {

// Opens a web address, file or folder with the desktop's opener
// (xdg-open). When no program could open it (no opener, or the opener
// failed), `failed` runs on the user-interface thread. False when the
// opener could not even be started (`failed` has run then).
bool OpenOnDesktop(const std::wstring& target, std::function<void()> failed);

// OpenOnDesktop that says so in a box naming the target, which the user
// can select and copy.
bool OpenOnDesktopOrSay(const std::wstring& target);

class IDesktopServices {
  public:
    virtual ~IDesktopServices() = default;
    // A web address, file or folder in the desktop's default program.
    virtual bool OpenUrl(const std::wstring& target) = 0;
    // The file manager showing the folder of `path` with the file selected.
    virtual bool ShowItem(const std::wstring& path) = 0;
    // Powers the machine off; false with the system's reason when refused.
    virtual bool PowerOff(std::wstring& error) = 0;
    virtual void Beep() = 0;
};

// xdg-open, the file manager's ShowItems and systemd-logind's PowerOff over
// D-Bus, and the toolkit's beep. What no program could open or show is said
// in a box with its path or address.
class SystemDesktopServices : public IDesktopServices {
  public:
    bool OpenUrl(const std::wstring& target) override;
    bool ShowItem(const std::wstring& path) override;
    bool PowerOff(std::wstring& error) override;
    void Beep() override;
};

}  // namespace ui
