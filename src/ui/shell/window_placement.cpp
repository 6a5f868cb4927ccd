#include "ui/shell/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cwchar>

#include "app/logging.h"
#include "app/registry.h"
#include "platform/text.h"

namespace ui {
namespace {
constexpr const char* kTag = "CClipvaneDlg";
constexpr const wchar_t* kSection = L"Setting";
constexpr const wchar_t* kWindowPos = L"WindowPos";
constexpr const wchar_t* kShowMM = L"ShowMM";
constexpr const wchar_t* kFormat = L"%u,%u,%d,%d,%d,%d,%d,%d,%d,%d";
}  // namespace

std::optional<WindowPlacement> ParseWindowPos(const std::wstring& text) {
    if (text.empty()) return std::nullopt;
    WindowPlacement p;
    int n = std::swscanf(text.c_str(), kFormat, &p.flags, &p.showCmd, &p.minX, &p.minY, &p.maxX,
                         &p.maxY, &p.left, &p.top, &p.right, &p.bottom);
    if (n != 10) return std::nullopt;
    return p;
}

std::wstring FormatWindowPos(const WindowPlacement& p) {
    return platform::FormatW(kFormat, p.flags, p.showCmd, p.minX, p.minY, p.maxX, p.maxY, p.left,
                             p.top, p.right, p.bottom);
}

WindowPlacement DefaultPlacement(QSize screen) {
    WindowPlacement p;
    p.left = std::max(0, (screen.width() - kMinWindowWidth) / 2);
    p.top = std::max(0, (screen.height() - kMinWindowHeight) / 2);
    p.right = p.left + kMinWindowWidth;
    p.bottom = p.top + kMinWindowHeight;
    return p;
}

StoredWindowState LoadWindowPlacement(QSize screen) {
    StoredWindowState s;
    std::wstring text;
    // The site panel opens only once the user has opened it.
    uint32_t showMM = 0;
    CARRegistryHolder holder(true, false);
    CARRegistry& reg = holder.Get();
    if (reg.OpenKey(kSection)) {
        reg.ReadString(kWindowPos, text, L"");
        reg.ReadDword(kShowMM, showMM, 0);
    }
    std::optional<WindowPlacement> p = ParseWindowPos(text);
    s.placement = p ? *p : DefaultPlacement(screen);
    s.showSitePanel = showMM == 1;
    return s;
}

void SaveWindowPlacement(const WindowPlacement& p, bool sitePanelVisible) {
    CARRegistryHolder holder(false, false);
    CARRegistry& reg = holder.Get();
    if (!reg.OpenKey(kSection) && !reg.CreateKey(kSection)) {
        LogError(kTag, "The window placement could not be saved.");
        return;
    }
    reg.WriteString(kWindowPos, FormatWindowPos(p));
    reg.WriteDword(kShowMM, sitePanelVisible ? 1 : 0);
    reg.CloseKey();
}

WindowPlacement CapturePlacement(const QWidget* window) {
    WindowPlacement p;
    const Qt::WindowStates st = window->windowState();
    QRect normal = window->normalGeometry();
    if (!normal.isValid()) normal = window->geometry();
    p.left = normal.left();
    p.top = normal.top();
    p.right = normal.left() + normal.width();
    p.bottom = normal.top() + normal.height();
    if (st & Qt::WindowMinimized) {
        p.flags = (st & Qt::WindowMaximized) ? WindowPlacement::kRestoreToMaximized : 0;
        p.showCmd = WindowPlacement::kShow;
    } else if (st & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        p.showCmd = WindowPlacement::kShowMaximized;
    }
    if (p.flags & WindowPlacement::kRestoreToMaximized) p.showCmd = WindowPlacement::kShowMaximized;
    return p;
}

QRect PlacementGeometry(const WindowPlacement& p, const QList<QRect>& screens) {
    QRect r = p.Normal();
    if (r.width() <= 0 || r.height() <= 0) r.setSize(QSize(kMinWindowWidth, kMinWindowHeight));
    if (screens.isEmpty()) return r;
    // The screen that shows most of it; none: the first, centred there.
    const QRect* home = nullptr;
    qint64 best = 0;
    for (const QRect& s : screens) {
        const QRect both = s.intersected(r);
        const qint64 area = qint64{both.width()} * both.height();
        if (area > best) {
            best = area;
            home = &s;
        }
    }
    const bool outside = home == nullptr;
    if (outside) home = &screens.first();
    // Wholly on that screen's free area, so that the caption and its buttons
    // can be reached (at 200 % the stored size may exceed the screen).
    r.setSize(r.size().boundedTo(home->size()));
    if (outside) {
        r.moveTopLeft(QPoint(home->left() + (home->width() - r.width()) / 2,
                             home->top() + (home->height() - r.height()) / 2));
        LogInfo(kTag,
                "The saved window position lies outside every screen; moved onto the screen.");
        return r;
    }
    r.moveLeft(std::clamp(r.left(), home->left(), home->left() + home->width() - r.width()));
    r.moveTop(std::clamp(r.top(), home->top(), home->top() + home->height() - r.height()));
    return r;
}

QSize FittedMinimumSize(const QRect& available) {
    QSize min(kMinWindowWidth, kMinWindowHeight);
    return available.isValid() ? min.boundedTo(available.size()) : min;
}

void ApplyPlacement(QWidget* window, const WindowPlacement& p) {
    // The screens' free areas: without the desktop's panels.
    QList<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (QScreen* s : QGuiApplication::screens())
        if (s != QGuiApplication::primaryScreen()) screens << s->availableGeometry();
    const QRect r = PlacementGeometry(p, screens);
    QRect area;
    for (const QRect& s : screens)
        if (s.contains(r)) {
            area = s;
            break;
        }
    window->setMinimumSize(FittedMinimumSize(area));
    window->setGeometry(r);
    switch (p.showCmd) {
        case WindowPlacement::kShowMaximized:
            window->setWindowState(Qt::WindowMaximized);
            break;
        case WindowPlacement::kShowMinimized:
        case 6:  // minimised without activation
        case 7:
            window->setWindowState(Qt::WindowMinimized);
            break;
        default:
            window->setWindowState(Qt::WindowNoState);
            break;
    }
}

}  // namespace ui
