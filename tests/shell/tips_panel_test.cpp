// A tip in a panel too short for it, as on a small screen at 200 %: whole
// lines, the last one cut between words, and the whole tip in the tooltip.
#include <QLabel>
#include <QTextDocumentFragment>

#include "app/localization.h"
#include "platform/post_message.h"
#include "shell_fixture.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/qt_text.h"
#include "ui/shell/tips_panel.h"

using shelltest::ShellTest;

namespace {

class TipsPanel : public ShellTest {};

QString Plain(const QString& html) {
    return QTextDocumentFragment::fromHtml(html).toPlainText();
}

}  // namespace

TEST_F(TipsPanel, ATipTooTallShowsWholeLinesAndTheRestInTheTooltip) {
    QWidget window;
    ui::TipsPanel tips(&window);
    window.show();
    platform::QueuePostTarget posts;
    for (const std::wstring language : {L"en", L"ja", L"en"}) {
        ui::ChangeLanguage(language, nullptr, &posts, &window);
        int cut = 0;
        for (int height : {214, 90, 64, 48}) {
            tips.resize(266, height);
            for (int i = 0; i < ui::TipsPanel::kTipCount; ++i) {
                tips.ShowTip(i);
                const QString tip = ui::ToQ(LoadText(ui::TipsPanel::kFirstTip + i));
                const QString shown = Plain(tips.Text()->text());
                const std::string where = shown.toStdString() + " at " + std::to_string(height);
                EXPECT_LE(28 + tips.Text()->heightForWidth(tips.Text()->width()), height - 6)
                    << where << ": past the card's edge";
                if (tips.toolTip().isEmpty()) {
                    EXPECT_EQ(shown, tip) << where;
                    continue;
                }
                ++cut;
                EXPECT_EQ(Plain(tips.toolTip()), tip) << where;
                if (shown.isEmpty()) continue;
                ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << where;
                // The lines read on into each other as the tip does, and
                // English is cut after a whole word.
                QString head = shown.chopped(1).replace(QChar::LineSeparator, ' ');
                head = head.replace('\n', ' ').simplified();
                const QString flat = QString(tip).simplified();
                if (language == L"en") {
                    ASSERT_TRUE(flat.startsWith(head)) << where;
                    EXPECT_EQ(flat.at(head.size()), ' ') << where << ": a word was cut";
                } else {
                    EXPECT_TRUE(QString(flat).remove(' ').startsWith(head.remove(' '))) << where;
                }
            }
        }
        EXPECT_GT(cut, 0) << "no tip was too tall";
    }
    tips.resize(266, 214);
    EXPECT_TRUE(tips.toolTip().isEmpty()) << "a tip that fits again keeps a tooltip";
}
