#pragma once
// The main window's placement, kept in the profile under "Setting" as
// "WindowPos" (ten numbers) and "ShowMM" (the site panel was visible).
#include <QList>
#include <QRect>
#include <QSize>
#include <optional>
#include <string>

class QWidget;

namespace ui {

// The numbers of a window placement, in the order they are stored.
struct WindowPlacement {
    static constexpr unsigned kRestoreToMaximized = 2;
    static constexpr unsigned kShowNormal = 1;
    static constexpr unsigned kShowMinimized = 2;
    static constexpr unsigned kShowMaximized = 3;
    static constexpr unsigned kShow = 5;

    unsigned flags = 0;
    unsigned showCmd = kShowNormal;
    int minX = -1, minY = -1;
    int maxX = -1, maxY = -1;
    // The normal rectangle; right and bottom lie just outside it.
    int left = 0, top = 0, right = 0, bottom = 0;

    QRect Normal() const { return QRect(left, top, right - left, bottom - top); }
    bool operator==(const WindowPlacement&) const = default;
};

inline constexpr int kMinWindowWidth = 999;
inline constexpr int kMinWindowHeight = 600;

// Exactly ten numbers in the stored format, else nullopt.
std::optional<WindowPlacement> ParseWindowPos(const std::wstring& text);
std::wstring FormatWindowPos(const WindowPlacement& p);
// Normal and 999 x 600, centred on a screen of `screen` size.
WindowPlacement DefaultPlacement(QSize screen);

struct StoredWindowState {
    WindowPlacement placement;
    bool showSitePanel = false;  // "ShowMM", 0 until the user opens the panel
};
// Reads "WindowPos" and "ShowMM"; a missing or malformed placement gives the
// default for `screen`.
StoredWindowState LoadWindowPlacement(QSize screen);
void SaveWindowPlacement(const WindowPlacement& p, bool sitePanelVisible);

// The placement of `window` as it is stored at close: a minimised window
// stores show state 5, or 3 when it came from a maximised state.
WindowPlacement CapturePlacement(const QWidget* window);
// The normal rectangle to use on screens whose free areas are `screens`: the
// stored one, made no larger than the screen that shows most of it and moved
// wholly onto it; when it lies outside every screen (a monitor since
// removed), moved onto the first screen, centred.
QRect PlacementGeometry(const WindowPlacement& p, const QList<QRect>& screens);
// The window's minimum size on a screen with free area `available`: the
// designed one, no larger than the area (a small screen at 150 or 200 %).
QSize FittedMinimumSize(const QRect& available);
// Gives `window` the placement: geometry, then normal, maximised or
// minimised.
void ApplyPlacement(QWidget* window, const WindowPlacement& p);

}  // namespace ui
