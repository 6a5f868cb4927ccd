#pragma once
// What the tests of the window shell share: the program's resource bundle, a
// registry hive of the test's own, default settings, and message boxes that
// are recorded and answered at once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/hive.h"
#include "platform/message_box.h"
#include "platform/resource_bundle.h"
#include "support/process_harness.h"
#include "ui/bundle/language_menu.h"

namespace shelltest {

class RecordingBoxes : public platform::IMessageBoxService {
  public:
    int Show(const std::wstring& text, const std::wstring&, unsigned,
             const platform::CancelCheck&) override {
        texts.push_back(text);
        return platform::IDOK;
    }
    std::vector<std::wstring> texts;
};

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                             "/cvres.bundle"));
        platform::Hive::SetCurrentUserPath(dir_ / "registry.hive");
        GetSettings().Update([](SettingsData& d) {
            d = SettingsData{};
            d.MPLAYER_VO = L"gl";
        });
        platform::SetMessageBoxService(&boxes_);
    }
    void TearDown() override {
        platform::SetMessageBoxService(nullptr);
        platform::Hive::SetCurrentUserPath("");
        GetSettings().Update([](SettingsData& d) { d = SettingsData{}; });
        ui::ApplyToolkitLanguage(L"en");
        platform::ResourceBundle::Current().Unload();
    }
    testsupport::TempDir dir_;
    RecordingBoxes boxes_;
};

}  // namespace shelltest
