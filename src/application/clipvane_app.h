#pragma once
// The application object: start-up, the objects that live as long as the
// program, shutdown and help.
#include <memory>
#include <string>

#include "platform/resource_bundle.h"

class CSettings;
class CHistoryDb;

// What the user-interface toolkit does for the start-up.
class IFrontEnd {
  public:
    virtual ~IFrontEnd() = default;
    // Toolkit set-up once the settings record exists; false stops the start-up.
    virtual bool InitToolkit() = 0;
    // Creates the main window and runs it until it closes.
    virtual void RunMainWindow() = 0;
    // Releases the toolkit's global resources.
    virtual void ReleaseToolkit() = 0;
    // Destroys the main window object.
    virtual void DestroyMainWindow() = 0;
};

class CClipvaneApp {
  public:
    explicit CClipvaneApp(IFrontEnd& frontEnd);
    ~CClipvaneApp();

    // Always false: the shutdown follows.
    bool RunStartup();
    int RunShutdown();

    static std::wstring ResourceBundlePath();
    CHistoryDb* History() const { return history_; }

  private:
    IFrontEnd& frontEnd_;
    bool resourcesLoaded_ = false;
    CHistoryDb* history_ = nullptr;
    std::unique_ptr<CSettings> settings_;
    int exitCode_ = 0;
};

