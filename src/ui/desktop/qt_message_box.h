#pragma once
// Message boxes shown with Qt, always on the user-interface thread. A call
// from another thread opens the box there and waits for the answer without
// holding that thread, so a cancel (a stop of the caller) ends the wait at
// once and closes the box.
#include "platform/message_box.h"

namespace ui {

class QtMessageBoxService : public platform::IMessageBoxService {
  public:
    int Show(const std::wstring& text, const std::wstring& caption, unsigned flags,
             const platform::CancelCheck& cancelled) override;
};

}  // namespace ui
