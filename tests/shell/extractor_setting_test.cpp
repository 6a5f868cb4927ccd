// The site extractor on the online settings page: the program chosen, and
// the status line that says what it is, with the real yt-dlp.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>

#include "app/localization.h"
#include "download/extractor.h"
#include "platform/text.h"
#include "shell_fixture.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/qt_text.h"
#include "ui/settings/settings_pages.h"
#include "ui/settings/settings_sheet.h"

using shelltest::ShellTest;

namespace {

class ExtractorSetting : public ShellTest {
  protected:
    // The status line once the page has learnt what the program is.
    QString StatusAfter(CPageOnline* page, const std::function<void()>& change) {
        QSignalSpy known(page, &CPageOnline::ExtractorKnown);
        change();
        if (known.isEmpty()) known.wait(30000);
        return page->ExtractorStatus()->text();
    }
};

}  // namespace

TEST_F(ExtractorSetting, TheStatusLineSaysWhichYtDlpAndTheChoiceIsKept) {
    ui::SettingsSheet sheet;
    CPageOnline* page = sheet.Online();
    sheet.show();
    QString status = StatusAfter(page, [&] { sheet.Tabs()->setCurrentWidget(page); });
    // Debian's copy along PATH: "yt-dlp 2023.03.04, N days old".
    std::shared_ptr<const extractor::Copy> copy = extractor::Know("yt-dlp");
    EXPECT_EQ(status, ui::ToQ(extractor::DescribeCopy(*copy)));
    EXPECT_TRUE(status.startsWith("yt-dlp " + ui::ToQ(platform::FromUtf8(copy->version))))
        << status.toStdString();
    EXPECT_TRUE(status.endsWith("days old")) << status.toStdString();

    // A chosen program that is not there says what to install.
    const std::wstring missing = platform::FromUtf8(dir_ / "no/yt-dlp");
    page->SetFileChooser([&](QWidget*, const std::wstring&, const std::wstring& title) {
        EXPECT_EQ(title, LoadText(33403));
        return std::optional<std::wstring>(missing);
    });
    status = StatusAfter(page,
                         [&] { qobject_cast<QPushButton*>(ui::FindControl(page, 1353))->click(); });
    EXPECT_EQ(page->ExtractorEdit()->text(), ui::ToQ(missing));
    EXPECT_EQ(status, ui::ToQ(LoadText(33401)));
    sheet.accept();
    EXPECT_EQ(GetSettings().Get().ExtractorPath, missing);

    // Emptied, the page goes back to the one along PATH, and stores nothing.
    ui::SettingsSheet again;
    again.show();
    CPageOnline* online = again.Online();
    StatusAfter(online, [&] { again.Tabs()->setCurrentWidget(online); });
    EXPECT_EQ(online->ExtractorEdit()->text(), ui::ToQ(missing));
    status = StatusAfter(online, [&] {
        online->ExtractorEdit()->setText("   ");
        emit online->ExtractorEdit()->editingFinished();
    });
    EXPECT_EQ(status, ui::ToQ(extractor::DescribeCopy(*copy)));
    again.accept();
    EXPECT_EQ(GetSettings().Get().ExtractorPath, L"");
}
