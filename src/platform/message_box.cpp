#include "platform/message_box.h"

#include <atomic>
#include <cstdio>

#include "platform/text.h"

namespace platform {
namespace {
std::atomic<IMessageBoxService*> g_service{nullptr};
}

void SetMessageBoxService(IMessageBoxService* service) {
    g_service = service;
}
IMessageBoxService* GetMessageBoxService() {
    return g_service;
}

int CancelAnswer(unsigned flags) {
    switch (flags & 0xF) {
        case MB_OK:
            return IDOK;
        case MB_YESNO:
            return IDNO;
        default:
            return IDCANCEL;
    }
}

int ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags,
                   const CancelCheck& cancelled) {
    if (IMessageBoxService* s = g_service) return s->Show(text, caption, flags, cancelled);
    std::fprintf(stderr, "%s: %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
    switch (flags & 0xF) {
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return IDYES;
        default:
            return IDOK;
    }
}

}  // namespace platform
