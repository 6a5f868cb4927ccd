#pragma once
// Clipvane's own web site, in one place: the home page shown in the update
// dialog, the version file the check reads and the upgrade page.
#include <string>

// ".example" is reserved and never resolves on the public Internet; the
// stand-in sites answer it through the proxy in tests and the demo.
inline constexpr const wchar_t* kVendorHost = L"www.clipvane.example";

inline constexpr const wchar_t* kVersionFilePath = L"/update/clipvane_version.ini";
inline constexpr const wchar_t* kUpgradePagePath = L"/upgrade.php";

// "http://<host><path>"; the site is reached over plain HTTP.
inline std::wstring VendorUrl(const wchar_t* path) {
    return std::wstring(L"http://") + kVendorHost + path;
}
inline std::wstring VendorHomePage() { return VendorUrl(L"/"); }
inline std::wstring VendorVersionFileUrl() { return VendorUrl(kVersionFilePath); }
inline std::wstring VendorUpgradePage() { return VendorUrl(kUpgradePagePath); }
