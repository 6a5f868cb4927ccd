// The update dialog on real widgets, with the check run against the
// stand-in vendor site.
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <filesystem>

#include "app/localization.h"
#include "app/settings.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "ui/dialogs/check_update_dlg.h"
#include "update/vendor_site.h"
#include "update_fixture.h"

using namespace std::chrono_literals;
using updatetest::VersionBody;
using updatetest::VersionScenario;

namespace {

const ProgramVersion kRunning{2, 0, 8};

class UpdateDialog : public updatetest::UpdateTest {
  protected:
    void SetUp() override {
        UpdateTest::SetUp();
        ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                             "/cvres.bundle"));
    }
    void TearDown() override {
        if (!langFile_.empty()) {
            std::error_code ec;
            std::filesystem::remove(langFile_, ec);
            GetSettings().Update([](SettingsData& d) { d.LangID = L"en"; });
        }
        UpdateTest::TearDown();
        platform::ResourceBundle::Current().Unload();
    }
    static QString Text(CCheckUpdateDlg& d, int id) { return d.Control(id)->text(); }
    static bool Shown(CCheckUpdateDlg& d, int id) { return !d.Control(id)->isHidden(); }
    static QString Bundle(unsigned id) { return QString::fromStdWString(platform::ResourceBundle::Current().String(id)); }
    // Lets the dialog take its result.
    static bool WaitForResult(CCheckUpdateDlg& d, const QString& statusBefore, ProgramVersion none) {
        return testsupport::WaitFor(
            [&] {
                QCoreApplication::processEvents();
                return !(d.Newest() == none) || d.StatusText() != statusBefore;
            },
            30s);
    }
    void UseLanguage(const std::string& ini) {
        std::string lang = "u" + std::to_string(getpid());
        GetSettings().Update([&](SettingsData& d) { d.LangID = platform::FromUtf8(lang); });
        langFile_ = platform::ToUtf8(GetLanguageFile());
        std::filesystem::create_directories(std::filesystem::path(langFile_).parent_path());
        testsupport::WriteFile(langFile_, ini);
    }
    std::string langFile_;
};

}  // namespace

TEST_F(UpdateDialog, CheckModeShowsANewerVersionWithTheLink) {
    ASSERT_TRUE(StartSite(VersionScenario(200, VersionBody(2, 0, 9))));
    CCheckUpdateDlg dlg(true, kRunning);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Clipvane - Check for Updates");
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kStatusId), "Clipvane update information");
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kRunningId), "Current version: 2.0.8");
    for (int id : {CCheckUpdateDlg::kLinkId, CCheckUpdateDlg::kSecondLineId, CCheckUpdateDlg::kNewestId})
        EXPECT_FALSE(Shown(dlg, id)) << id;

    ASSERT_TRUE(WaitForResult(dlg, dlg.StatusText(), {}));
    EXPECT_EQ(dlg.Newest(), (ProgramVersion{2, 0, 9}));
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kNewestId), "Latest version: 2.0.9");
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kSecondLineId), Bundle(256));
    for (int id : {CCheckUpdateDlg::kLinkId, CCheckUpdateDlg::kSecondLineId, CCheckUpdateDlg::kNewestId})
        EXPECT_TRUE(Shown(dlg, id)) << id;
    EXPECT_TRUE(Text(dlg, CCheckUpdateDlg::kLinkId).contains("http://www.clipvane.example/"));
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kStatusId), "Clipvane update information");
}

TEST_F(UpdateDialog, CheckModeSaysWhenTheVersionIsTheLatest) {
    ASSERT_TRUE(StartSite(VersionScenario(200, VersionBody(1, 9, 99))));
    CCheckUpdateDlg dlg(true, kRunning);
    dlg.show();
    ASSERT_TRUE(WaitForResult(dlg, dlg.StatusText(), {}));
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kNewestId), "Latest version: 1.9.99");
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kSecondLineId), "You are using the latest version.");
    EXPECT_FALSE(Shown(dlg, CCheckUpdateDlg::kLinkId));
    EXPECT_TRUE(Shown(dlg, CCheckUpdateDlg::kSecondLineId));
    EXPECT_TRUE(Shown(dlg, CCheckUpdateDlg::kNewestId));
}

TEST_F(UpdateDialog, AFailedCheckShowsTheUntranslatedFailureText) {
    UseLanguage("[STRING]\n250=Info %ls\n252=Traduit %ls\n255=Version %d\n[DICTIONARY]\nClipvane=Klipvane\n");
    ASSERT_TRUE(StartSite(VersionScenario(404, "not here")));
    CCheckUpdateDlg dlg(true, kRunning);
    dlg.show();
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kStatusId), "Info Klipvane");
    // A translated format that does not fit its arguments is not used.
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kRunningId), "Current version: 2.0.8");
    ASSERT_TRUE(WaitForResult(dlg, dlg.StatusText(), {}));
    EXPECT_EQ(dlg.StatusText(),
              "Klipvane could not check for a new version. Please check your Internet connection "
              "and try again later.");
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kStatusId), dlg.StatusText());
    EXPECT_FALSE(Shown(dlg, CCheckUpdateDlg::kNewestId));
}

TEST_F(UpdateDialog, AnnouncementModeShowsTheKnownVersionAndAsksNothing) {
    ASSERT_TRUE(StartSite(VersionScenario(200, VersionBody(2, 0, 9))));
    CCheckUpdateDlg dlg(false, kRunning, {3, 1, 4});
    dlg.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Shown(dlg, CCheckUpdateDlg::kLinkId));
    EXPECT_TRUE(Shown(dlg, CCheckUpdateDlg::kNewestId));
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kNewestId), "Latest version: 3.1.4");
    EXPECT_EQ(Text(dlg, CCheckUpdateDlg::kSecondLineId), Bundle(256));
    EXPECT_TRUE(WaitForVersionChecks(1s));
    EXPECT_TRUE(sites_.Requests().empty());
}

TEST_F(UpdateDialog, TheLinkOpensTheHomePageAndOkCloses) {
    std::wstring opened;
    CCheckUpdateDlg::SetLinkOpener([&](const std::wstring& url) { opened = url; });
    CCheckUpdateDlg dlg(false, kRunning, {2, 0, 9});
    dlg.show();
    emit dlg.Control(CCheckUpdateDlg::kLinkId)->linkActivated(QString::fromStdWString(VendorHomePage()));
    EXPECT_EQ(opened, L"http://www.clipvane.example/");
    OpenUpgradePage();
    EXPECT_EQ(opened, L"http://www.clipvane.example/upgrade.php");
    auto* ok = dlg.findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    ok->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    CCheckUpdateDlg::SetLinkOpener([](const std::wstring&) {});
}

TEST_F(UpdateDialog, ClosedBeforeTheAnswerDropsIt) {
    // The answer drips in over a second or two, well after the dialog is gone.
    ASSERT_TRUE(StartSite(VersionScenario(200, VersionBody(2, 0, 9), ", \"drip\": 0.03")));
    for (bool destroy : {true, false}) {
        auto* dlg = new CCheckUpdateDlg(true, kRunning);
        dlg->show();
        ASSERT_TRUE(testsupport::WaitFor([&] { return sites_.Requests().size() >= (destroy ? 1u : 2u); }, 10s));
        if (destroy) {
            delete dlg;
            dlg = nullptr;
        } else {
            dlg->reject();
        }
        ASSERT_TRUE(WaitForVersionChecks(30s));
        QCoreApplication::processEvents();
        if (dlg) {
            EXPECT_EQ(dlg->Newest(), ProgramVersion{});
            delete dlg;
        }
    }
    EXPECT_EQ(Log().find("New version available"), std::string::npos);
    EXPECT_EQ(testsupport::ReadFile(DataDir() + "/version.ini"), VersionBody(2, 0, 9));
}
