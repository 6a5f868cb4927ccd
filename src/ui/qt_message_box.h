#pragma once
// Message boxes shown with Qt, always on the user-interface thread: a call
// from another thread waits until the box there has been closed.
#include "platform/message_box.h"

namespace ui {

class QtMessageBoxService : public platform::IMessageBoxService {
  public:
    int Show(const std::wstring& text, const std::wstring& caption, unsigned flags) override;
};

}  // namespace ui
