#pragma once
// Host names of the video sites, in one place.

inline constexpr const wchar_t* kYouTubeHost = L"www.youtube.com";
// The regional host that takes the login and age-confirmation forms.
inline constexpr const wchar_t* kYouTubeFormsHost = L"uk.youtube.com";
inline constexpr const wchar_t* kGoogleVideoHost = L"video.google.com";

inline constexpr const wchar_t* kMetaCafeHost = L"www.metacafe.com";
inline constexpr const wchar_t* kMetaCafeDomain = L"metacafe.com";
// Video addresses on the content-delivery network are fetched from the
// site's own video server instead.
inline constexpr const wchar_t* kMetaCafeCdnHost = L"akvideos.metacafe.com";
inline constexpr const wchar_t* kMetaCafeVideoHost = L"v.mccont.com";

inline constexpr const wchar_t* kNicoVideoHost = L"www.nicovideo.jp";
// The login form is only served over https, from this host.
inline constexpr const wchar_t* kNicoVideoSecureHost = L"secure.nicovideo.jp";
inline constexpr const wchar_t* kNicoVideoDomain = L"nicovideo.jp";
