#pragma once
// What a benchmark gives the window instead of a person and a desktop:
// message boxes answered at once with their cancel answer, and a desktop
// that opens nothing and never powers off.
#include "platform/message_box.h"
#include "ui/desktop/desktop_services.h"

namespace bench {

class QuietBoxes : public platform::IMessageBoxService {
  public:
    int Show(const std::wstring&, const std::wstring&, unsigned flags,
             const platform::CancelCheck&) override {
        return platform::CancelAnswer(flags);
    }
};

class NoDesktop : public ui::IDesktopServices {
  public:
    bool OpenUrl(const std::wstring&) override { return true; }
    bool ShowItem(const std::wstring&) override { return true; }
    bool PowerOff(std::wstring&) override { return true; }
    void Beep() override {}
};

}  // namespace bench
