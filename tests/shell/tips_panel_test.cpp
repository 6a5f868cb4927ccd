// A tip in a panel too short for it, as on a small screen at 200 %: whole
// lines, the last one cut between words, and the whole tip in the tooltip.
#include <QLabel>
#include <QTextDocumentFragment>
#include <QWidget>

#include "app/localization.h"
#include "platform/post_message.h"
#include "shell_fixture.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/qt_text.h"
#include "ui/shell/tips_panel.h"

using shelltest::ShellTest;

namespace {

class TipsPanel : public ShellTest {};

// What the label shows, as plain text with its line breaks.
QString Shown(const ui::TipsPanel& tips) {
    return QTextDocumentFragment::fromHtml(tips.Text()->text()).toPlainText();
}

}  // namespace

TEST_F(TipsPanel, ATipTooTallShowsWholeLinesAndTheRestInTheTooltip) {
    QWidget window;
    ui::TipsPanel tips(&window);
    window.show();
    const QChar ellipsis(0x2026);
    for (const wchar_t* language : {L"en", L"ja"}) {
        platform::QueuePostTarget posts;
        ui::ChangeLanguage(language, nullptr, &posts, &window);
        int cut = 0;
        for (int height : {214, 90, 64, 48}) {
            tips.resize(266, height);
            for (int i = 0; i < ui::TipsPanel::kTipCount; ++i) {
                tips.ShowTip(i);
                const QString tip = ui::ToQ(LoadText(ui::TipsPanel::kFirstTip + i));
                const QString shown = Shown(tips);
                const std::string where = ui::ToQ(language).toStdString() + " tip " +
                                          std::to_string(i) + " at " + std::to_string(height);
                // Never past the card's edge.
                EXPECT_LE(28 + tips.Text()->heightForWidth(tips.Text()->width()), height - 6)
                    << where;
                if (tips.toolTip().isEmpty()) {
                    EXPECT_EQ(shown, tip) << where;
                    continue;
                }
                ++cut;
                EXPECT_EQ(QTextDocumentFragment::fromHtml(tips.toolTip()).toPlainText(), tip)
                    << where;
                if (shown.isEmpty()) continue;
                ASSERT_TRUE(shown.endsWith(ellipsis)) << where << ": " << shown.toStdString();
                // The lines read on into each other as the tip does.
                QString head = shown.chopped(1);
                head.replace(QChar::LineSeparator, ' ').replace('\n', ' ');
                const QString flat = QString(tip).simplified();
                const QString inTip =
                    language == std::wstring(L"en") ? head.simplified() : head.remove(' ');
                const QString same =
                    language == std::wstring(L"en") ? flat : QString(flat).remove(' ');
                ASSERT_TRUE(same.startsWith(inTip)) << where << ": " << shown.toStdString();
                if (language == std::wstring(L"en"))
                    EXPECT_EQ(same.at(inTip.size()), ' ') << where << ": a word was cut";
            }
        }
        EXPECT_GT(cut, 0) << "no tip was too tall";
    }
    tips.resize(266, 214);
    tips.ShowTip(2);
    EXPECT_TRUE(tips.toolTip().isEmpty()) << "a tip that fits again loses its tooltip";
    platform::QueuePostTarget posts;
    ui::ChangeLanguage(L"en", nullptr, &posts, &window);
}
