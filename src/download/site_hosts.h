#pragma once
// Host names of the video sites, in one place.

inline constexpr const wchar_t* kYouTubeHost = L"www.youtube.com";
// The regional host that takes the login and age-confirmation forms.
inline constexpr const wchar_t* kYouTubeFormsHost = L"uk.youtube.com";
inline constexpr const wchar_t* kGoogleVideoHost = L"video.google.com";
inline constexpr const wchar_t* kMetaCafeHost = L"www.metacafe.com";
inline constexpr const wchar_t* kNicoVideoHost = L"www.nicovideo.jp";
