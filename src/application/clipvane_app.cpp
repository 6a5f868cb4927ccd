#include "application/clipvane_app.h"

#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/folders.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "app/startup_state.h"
#include "history/history.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "platform/text.h"

CClipvaneApp::CClipvaneApp(IFrontEnd& frontEnd) : frontEnd_(frontEnd) {}

CClipvaneApp::~CClipvaneApp() {
    SetSettingsInstance(nullptr);
}

std::wstring CClipvaneApp::ResourceBundlePath() {
    return GetProgramFolder() + L"/" + kResourceBundleName;
}

bool CClipvaneApp::RunStartup() {
    // 1. A log past 1 MiB starts afresh. 2. Logging starts.
    StartLogFile();

    // 3. Operating-system version.
    platform::OsVersionInfo os;
    if (platform::QueryOsVersion(os)) {
        SetOsVersionRecord(os);
        LogInfo(nullptr, "Windows Version Information:");
        LogInfo(nullptr, "\tMajor Version = %d", os.major);
        LogInfo(nullptr, "\tMinor Version = %d", os.minor);
        LogInfo(nullptr, "\tBuild Number = %d", os.build);
        LogInfo(nullptr, "\tPlatform Id = %d", os.platformId);
        LogInfo(nullptr, "\tVersion  = %s", os.csdVersion.c_str());
        LogInfo(nullptr, "\t%s", os.systemName.c_str());
    } else {
        SetOsVersionRecord(platform::OsVersionInfo{});
    }

    // 4. Resource bundle.
    std::wstring bundle = ResourceBundlePath();
    LogInfoW(nullptr, L"Loading program %ls ...", kAppName);
    LogInfoW(nullptr, L"Loading resource dll [%ls] ...", bundle.c_str());
    if (!platform::ResourceBundle::Current().Load(platform::ToUtf8(bundle))) {
        platform::ShowMessageBox(L"Can not load resource DLL, application init failed!", kAppName,
                                 platform::MB_OK);
        return false;
    }
    resourcesLoaded_ = true;
    LogInfo(nullptr, "Set resource handle as resource DLL successfully.");

    // 5. Without the history database the program runs without history.
    OpenHistory(history_);

    // 6, 7.
    LogInfoW(nullptr, L"Loading program %ls ...", kAppName);
    settings_ = std::make_unique<CSettings>();
    SetSettingsInstance(settings_.get());

    // 8, 9. Network support.
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        platform::ShowMessageBox(LoadText(103), kAppName, platform::MB_OK);
        return false;
    }
    LogInfo(nullptr, "Winsock and OLE initialized.");

    // 10 to 12. The toolkit.
    if (!frontEnd_.InitToolkit()) return false;
    LogInfo(nullptr, "Common controls and shell manager initialized.");
    LogInfo(nullptr, "BCG library initialized.");

    // 13. A damaged settings file is set aside and the defaults used; the
    // window says so once it is shown.
    LogInfo(nullptr, "Loading profiles...");
    SetAsideDamagedSettingsFile();
    settings_->Load();

    // 14.
    LogInfo(nullptr, "Starting main dialog ...");
    frontEnd_.RunMainWindow();

    // 15.
    frontEnd_.ReleaseToolkit();
    curl_global_cleanup();
    LogInfo(nullptr, "Exiting...");
    ShutdownLogging();
    frontEnd_.DestroyMainWindow();
    return false;
}

int CClipvaneApp::RunShutdown() {
    if (history_) {
        history_->close();
        delete history_;
        history_ = nullptr;
    }
    SetSettingsInstance(nullptr);
    settings_.reset();
    if (resourcesLoaded_) {
        platform::ResourceBundle::Current().Unload();
        resourcesLoaded_ = false;
    }
    return exitCode_;
}
