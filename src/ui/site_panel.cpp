#include "ui/site_panel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/localization.h"
#include "history/history.h"
#include "ui/dialog_builder.h"
#include "ui/qt_text.h"

namespace ui {
namespace {
struct Site {
    const wchar_t* name;
    unsigned nameId;  // 0: the name as it stands
    int kind;
};
constexpr Site kSites[] = {{L"YouTube", 0, 0},
                           {L"Google Video", 0, 1},
                           {L"MetaCafe", 0, 2},
                           {L"NicoVideo", 32892, 3}};
}  // namespace

SitePanel::SitePanel(CHistoryDb* history, QWidget* parent) : QFrame(parent), history_(history) {
    setProperty(kControlIdProperty, 173);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(153, 153, 153));
    pal.setColor(QPalette::Base, QColor(153, 153, 153));
    pal.setColor(QPalette::Text, Qt::white);
    setPalette(pal);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(2);
    auto* close = new QToolButton(this);
    close->setProperty(kControlIdProperty, 1014);
    close->setText(QStringLiteral("×"));
    close->setAutoRaise(true);
    connect(close, &QToolButton::clicked, this, &SitePanel::closeClicked);
    auto* top = new QHBoxLayout;
    top->addStretch();
    top->addWidget(close);
    layout->addLayout(top);

    tree_ = new QTreeWidget(this);
    tree_->setProperty(kControlIdProperty, 1012);
    tree_->setHeaderHidden(true);
    tree_->setFrameShape(QFrame::NoFrame);
    tree_->setPalette(pal);
    layout->addWidget(tree_, 1);

    auto* buttons = new QWidget(this);
    buttons->setProperty(kControlIdProperty, 1015);
    auto* row = new QVBoxLayout(buttons);
    row->setContentsMargins(1, 0, 1, 1);
    for (int code : {1, 2}) {
        auto* b = new QPushButton(buttons);
        b->setProperty("buttonCode", code);
        b->setObjectName(QStringLiteral("siteButton%1").arg(code));
        connect(b, &QPushButton::clicked, this, [this, code] { emit buttonCode(code); });
        row->addWidget(b);
    }
    layout->addWidget(buttons);
    Retranslate();
}

void SitePanel::Retranslate() {
    tree_->clear();
    auto* first = new QTreeWidgetItem(tree_, QStringList{ToQ(LoadText(32823))});
    first->setData(0, Qt::UserRole, -1);
    auto* second = new QTreeWidgetItem(tree_, QStringList{ToQ(LoadText(32825))});
    second->setData(0, Qt::UserRole, -1);
    for (QTreeWidgetItem* root : {first, second}) {
        QFont f = root->font(0);
        f.setBold(true);
        root->setFont(0, f);
    }
    for (const Site& s : kSites) {
        auto* item = new QTreeWidgetItem(second);
        item->setData(0, Qt::UserRole, 1000 + s.kind);
    }
    second->setExpanded(true);
    if (auto* b = findChild<QPushButton*>(QStringLiteral("siteButton1")))
        b->setText(ToQ(LoadText(32811)));
    if (auto* b = findChild<QPushButton*>(QStringLiteral("siteButton2")))
        b->setText(ToQ(LoadText(32812)));
    Recount();
}

void SitePanel::Recount() {
    QTreeWidgetItem* second = tree_->topLevelItem(1);
    if (!second) return;
    for (int i = 0; i < second->childCount() && i < 4; ++i) {
        const Site& s = kSites[i];
        std::wstring name = s.nameId ? LoadText(s.nameId) : std::wstring(s.name);
        if (name.empty()) name = s.name;
        int n = CountHistory(history_, SiteWord(s.kind));
        QTreeWidgetItem* item = second->child(i);
        QFont f = item->font(0);
        f.setBold(n > 0);
        item->setFont(0, f);
        item->setText(0, n > 0 ? QStringLiteral("%1 (%2)").arg(ToQ(name)).arg(n) : ToQ(name));
    }
}

}  // namespace ui
