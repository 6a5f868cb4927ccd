#pragma once
// Result codes of the download code and the status codes a run posts.

enum DownloadResult : int {
    kResultOk = 0,
    kResultFailed = -1,
    kResultNoVideo = -2,
    kResultStopped = 111,
    kResultOtherPage = 205,
    kResultRedirect = 302,
    // A site handler that leaves the fetch of flvAddress to the run.
    kResultRunFetches = 206,
    // Any other positive value is a network error code (kNetErrorBase + libcurl's code).
};

enum DownloadStatus : int {
    kStatusLogin = 100,
    kStatusLoggedIn = 101,
    kStatusAgeConfirm = 102,
    kStatusAgeConfirmed = 103,
    kStatusFetchingPage = 104,
    kStatusPageFetched = 105,
    kStatusVideoAddress = 108,
    kStatusComplete = 110,
    kStatusStopped = 111,
    // Addresses of other sites: before the first request, and when the
    // media itself starts to come.
    kStatusConnecting = 120,
    kStatusDownloading = 121,
    // A downloaded stream is being copied into its final container.
    kStatusConverting = 112,
    // yt-dlp looks at the page; yt-dlp itself downloads.
    kStatusAskingExtractor = 130,
    kStatusExtractorDownloading = 131,
    // Codes from here on are errors; the window also shows the last error text.
    kStatusFirstError = 200,
    kStatusNoVideo = 201,
    kStatusFailed = 204,
    // Told by the front end instead of 110 when the finished file is one the
    // player's probe cannot read: the file stays, but it is no video.
    kStatusNotPlayable = 206,
};
