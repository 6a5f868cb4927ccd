#include "ui/history/site_tree_panel.h"

#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <algorithm>

#include "app/localization.h"
#include "app/logging.h"
#include "app/messages.h"
#include "history/history.h"
#include "resource_ids.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/shown_text.h"
#include "ui/bundle/translate.h"

namespace {

constexpr QColor kBackground(153, 153, 153);
constexpr int kTreeTop = 25;
constexpr int kBottomStrip = 23;

struct Site {
    const wchar_t* name;
    unsigned nameId;  // 0: the name as it stands
    const wchar_t* word;
};
constexpr Site kSites[] = {{L"YouTube", 0, L"YOUTUBE"},
                           {L"Google Video", 0, L"GOOGLE"},
                           {L"MetaCafe", 0, L"METACAFE"},
                           {L"NicoVideo", ids::str::kNicoVideo, L"NICOVIDEO"}};

// The tree's images: 16-pixel-wide cuts of bitmap 183, red transparent
// (32 device pixels wide in the high-density copy).
QList<QIcon> TreeImages() {
    const QPixmap strip = ui::LoadSkinBitmap(183);
    QList<QIcon> icons;
    if (strip.isNull()) return icons;
    QImage img = strip.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb red = qRgb(255, 0, 0);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0xFFFFFF) == (red & 0xFFFFFF)) line[x] = 0;
    }
    const int cut = qRound(16 * strip.devicePixelRatio());
    for (int x = 0; x + cut <= img.width(); x += cut) {
        QPixmap image = QPixmap::fromImage(img.copy(x, 0, cut, img.height()));
        image.setDevicePixelRatio(strip.devicePixelRatio());
        icons.push_back(QIcon(image));
    }
    return icons;
}

void SetBold(QTreeWidgetItem* item, bool bold) {
    QFont f = item->font(0);
    f.setBold(bold);
    item->setFont(0, f);
}

}  // namespace

ui::SitePanel::SitePanel(CHistoryDb* history, QWidget* parent)
    : QWidget(parent), history_(history) {
    setProperty(ui::kControlIdProperty, kId);
    setObjectName(QStringLiteral("sitePanel"));
    resize(kWidth, 472);

    tree_ = new QTreeWidget(this);
    tree_->setProperty(ui::kControlIdProperty, kTreeId);
    tree_->setHeaderHidden(true);
    tree_->setFrameShape(QFrame::NoFrame);
    tree_->setIndentation(14);
    tree_->setIconSize(QSize(16, 16));
    tree_->setFocusPolicy(Qt::NoFocus);
    QPalette pal = tree_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Base, kBackground);
        pal.setColor(group, QPalette::Window, kBackground);
        pal.setColor(group, QPalette::Text, Qt::white);
        pal.setColor(group, QPalette::Highlight, QColor(96, 110, 128));
        pal.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    tree_->setPalette(pal);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &ui::SitePanel::OnSelection);

    // Plain buttons until bitmap bars are given.
    auto* close = new QPushButton(QStringLiteral("\u00d7"), this);
    close->setFlat(true);
    close->setFocusPolicy(Qt::NoFocus);
    connect(close, &QPushButton::clicked, this, [this] { OnButtonCode(0); });
    auto* bar = new QWidget(this);
    const QRect parts[] = {QRect(3, 2, 96, 19), QRect(102, 2, 73, 19)};
    for (int code : {1, 2}) {
        auto* b = new QPushButton(bar);
        b->setObjectName(QStringLiteral("siteButton%1").arg(code));
        b->setFocusPolicy(Qt::NoFocus);
        b->setFlat(true);
        b->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; }"));
        b->setGeometry(parts[code - 1]);
        connect(b, &QPushButton::clicked, this, [this, code] { OnButtonCode(code); });
    }
    closeBar_ = close;
    buttonBar_ = bar;
    closeBar_->setProperty(ui::kControlIdProperty, kCloseBarId);
    buttonBar_->setProperty(ui::kControlIdProperty, kButtonBarId);

    header_ = ui::LoadSkinBitmap(174);
    BuildTree();
    Retranslate();
    Place();
}

void ui::SitePanel::BuildTree() {
    const QList<QIcon> images = TreeImages();
    auto image = [&](int i) { return i < images.size() ? images[i] : QIcon(); };
    auto* first = new QTreeWidgetItem(tree_);
    first->setData(0, Qt::UserRole, -1);
    first->setIcon(0, image(1));
    auto* second = new QTreeWidgetItem(tree_);
    second->setData(0, Qt::UserRole, -1);
    second->setIcon(0, image(2));
    SetBold(first, true);
    SetBold(second, true);
    for (int i = 0; i < 4; ++i) {
        auto* item = new QTreeWidgetItem(second);
        item->setData(0, Qt::UserRole, kFirstSiteValue + i);
        item->setIcon(0, image(3));
    }
    auto* other = new QTreeWidgetItem(second);
    other->setData(0, Qt::UserRole, kOtherSitesValue);
    other->setIcon(0, image(2));
    hostImage_ = image(3);
    second->setExpanded(true);
}

QTreeWidgetItem* ui::SitePanel::OtherSitesItem() const {
    return SecondRoot() ? SecondRoot()->child(4) : nullptr;
}

QTreeWidgetItem* ui::SitePanel::HostItem(const std::wstring& host) const {
    auto it = hostValues_.find(host);
    QTreeWidgetItem* other = OtherSitesItem();
    if (it == hostValues_.end() || !other) return nullptr;
    for (int i = 0; i < other->childCount(); ++i)
        if (other->child(i)->data(0, Qt::UserRole).toInt() == it->second) return other->child(i);
    return nullptr;
}

std::wstring ui::SitePanel::HostOfValue(int value) const {
    for (const auto& [host, v] : hostValues_)
        if (v == value) return host;
    return L"";
}

void ui::SitePanel::RecountHosts() {
    QTreeWidgetItem* other = OtherSitesItem();
    if (!other) return;
    other->setText(0, ui::ToQ(LoadText(ids::str::kOtherSites)));
    std::vector<std::pair<std::wstring, int>> hosts = CountHistoryHosts(history_);
    SetBold(other, !hosts.empty());
    const QTreeWidgetItem* current = tree_->currentItem();
    const std::wstring shown =
        current ? HostOfValue(current->data(0, Qt::UserRole).toInt()) : std::wstring();
    // The host whose list is shown keeps its item when its last row goes.
    if (!shown.empty() &&
        std::none_of(hosts.begin(), hosts.end(), [&](const auto& h) { return h.first == shown; }))
        hosts.insert(std::lower_bound(hosts.begin(), hosts.end(), std::make_pair(shown, 0)),
                     {shown, 0});
    const QSignalBlocker block(tree_);
    qDeleteAll(other->takeChildren());
    QTreeWidgetItem* again = nullptr;
    for (const auto& [host, n] : hosts) {
        auto [it, added] =
            hostValues_.emplace(host, kFirstHostValue + static_cast<int>(hostValues_.size()));
        auto* item = new QTreeWidgetItem(other);
        item->setData(0, Qt::UserRole, it->second);
        item->setIcon(0, hostImage_);
        // A host name comes from a page: nothing in it may hide or reorder.
        const QString name = ui::ShownQ(host);
        item->setText(0, n > 0 ? QStringLiteral("%1 (%2)").arg(name).arg(n) : name);
        item->setToolTip(0, name);
        SetBold(item, n > 0);
        if (host == shown) again = item;
    }
    other->setExpanded(true);
    if (again) tree_->setCurrentItem(again);
}

QTreeWidgetItem* ui::SitePanel::FirstRoot() const {
    return tree_->topLevelItem(0);
}
QTreeWidgetItem* ui::SitePanel::SecondRoot() const {
    return tree_->topLevelItem(1);
}
QTreeWidgetItem* ui::SitePanel::SiteItem(int value) const {
    const int i = value - kFirstSiteValue;
    return i >= 0 && i < 4 && SecondRoot() ? SecondRoot()->child(i) : nullptr;
}

void ui::SitePanel::Retranslate() {
    FirstRoot()->setText(0, ui::ToQ(LoadText(ids::str::kTasks)));
    SecondRoot()->setText(0, ui::ToQ(LoadText(ids::str::kHistory)));
    // The plain buttons show their part of the bar's bitmap.
    QPixmap bar;
    const QRect parts[] = {QRect(3, 2, 96, 19), QRect(102, 2, 73, 19)};
    for (int code : {1, 2}) {
        auto* b = findChild<QPushButton*>(QStringLiteral("siteButton%1").arg(code));
        if (!b) continue;
        if (bar.isNull()) LoadTranslatedBitmap(bar, 187);
        const QString tip =
            ui::ToQ(LoadText(code == 1 ? ids::str::kOpenOutputFolder : ids::str::kOpenSettings));
        b->setToolTip(tip);
        if (bar.isNull()) {
            b->setText(tip);
        } else {
            b->setIcon(QIcon(bar.copy(parts[code - 1])));
            b->setIconSize(parts[code - 1].size());
        }
    }
    Recount();
}

void ui::SitePanel::Recount() {
    // One count per site: each reads only its part of the site index.
    for (int i = 0; i < 4; ++i) {
        QTreeWidgetItem* item = SiteItem(kFirstSiteValue + i);
        if (!item) continue;
        const Site& s = kSites[i];
        std::wstring name = s.nameId ? LoadText(s.nameId) : std::wstring(s.name);
        if (name.empty()) name = s.name;
        const int n = CountHistory(history_, s.word);
        item->setText(0,
                      n > 0 ? QStringLiteral("%1 (%2)").arg(ui::ToQ(name)).arg(n) : ui::ToQ(name));
        SetBold(item, n > 0);
    }
    RecountHosts();
}

void ui::SitePanel::HandleMessage(unsigned msg) {
    if (msg == WM_HISTORY_CHANGED)
        Recount();
    else if (msg == WM_LANGUAGE_CHANGED)
        Retranslate();
}

bool ui::SitePanel::event(QEvent* e) {
    if (e->type() == ui::kLanguageChangedEvent) {
        HandleMessage(WM_LANGUAGE_CHANGED);
        return true;
    }
    return QWidget::event(e);
}

void ui::SitePanel::SelectFirstRoot() {
    const QSignalBlocker block(tree_);
    tree_->setCurrentItem(FirstRoot());
}

void ui::SitePanel::OnSelection() {
    const QList<QTreeWidgetItem*> chosen = tree_->selectedItems();
    if (chosen.isEmpty()) return;
    QTreeWidgetItem* item = chosen.first();
    if (item == FirstRoot())
        emit postMessage(WM_SHOW_TASK_LIST, 0);
    else
        emit postMessage(
            WM_SHOW_HISTORY_LIST,
            static_cast<quintptr>(static_cast<intptr_t>(item->data(0, Qt::UserRole).toInt())));
}

void ui::SitePanel::OnButtonCode(int code) {
    switch (code) {
        case 0:
            emit postMessage(WM_TOGGLE_SITE_PANEL, 0);
            break;
        case 1:
            emit command(ids::cmd::kOpenOutputFolder);
            break;
        case 2:
            emit command(ids::cmd::kSettings);
            break;
        default:
            break;
    }
}

void ui::SitePanel::SetButtonBars(QWidget* closeBar, QWidget* buttonBar) {
    if (closeBar) {
        delete closeBar_;
        closeBar_ = closeBar;
        closeBar_->setParent(this);
        closeBar_->setProperty(ui::kControlIdProperty, kCloseBarId);
        closeBar_->show();
    }
    if (buttonBar) {
        delete buttonBar_;
        buttonBar_ = buttonBar;
        buttonBar_->setParent(this);
        buttonBar_->setProperty(ui::kControlIdProperty, kButtonBarId);
        buttonBar_->show();
    }
    Place();
}

void ui::SitePanel::Place() {
    const int w = width(), h = height();
    tree_->setGeometry(0, kTreeTop, w, std::max(0, h - kTreeTop - kBottomStrip));
    if (closeBar_) closeBar_->setGeometry(w - 15, 5, 10, 11);
    if (buttonBar_) buttonBar_->setGeometry(1, h - 23, 178, 22);
}

void ui::SitePanel::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Place();
}

void ui::SitePanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    if (!header_.isNull())
        p.drawPixmap(QRectF(0, 0, width(), header_.height() / header_.devicePixelRatio()), header_,
                     QRectF(header_.rect()));
}
