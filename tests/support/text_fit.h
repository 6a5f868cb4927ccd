#pragma once
// Texts a person would see cut off: each shown in one piece must fit the
// rectangle its widget has, at the font in use.
#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <string>
#include <vector>

namespace testsupport {

// Labels without word wrap, check boxes, radio buttons and push buttons
// that `top` shows.
inline std::vector<std::string> CutTexts(QWidget* top) {
    std::vector<std::string> cut;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(top)) continue;
        QString text;
        if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap())
            text = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else
            continue;
        if (text.isEmpty()) continue;
        if (w->sizeHint().width() > w->width() || w->sizeHint().height() > w->height() + 2)
            cut.push_back(text.toStdString() + " needs " + std::to_string(w->sizeHint().width()) +
                          " has " + std::to_string(w->width()));
    }
    return cut;
}

// Column titles wider than their sections less the section's border lines.
inline std::vector<std::string> CutHeaderTitles(const QHeaderView* header) {
    std::vector<std::string> cut;
    const QAbstractItemModel* m = header->model();
    if (!m) return cut;
    for (int i = 0; i < header->count(); ++i) {
        if (header->isSectionHidden(i)) continue;
        const QString t = m->headerData(i, header->orientation()).toString();
        const int need = header->fontMetrics().horizontalAdvance(t) + 2;
        if (!t.isEmpty() && need > header->sectionSize(i))
            cut.push_back(t.toStdString() + " needs " + std::to_string(need) + " has " +
                          std::to_string(header->sectionSize(i)));
    }
    return cut;
}

// Tree items whose text runs past the tree's right edge.
inline std::vector<std::string> CutTreeItems(QTreeWidget* tree) {
    std::vector<std::string> cut;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        const QRect r = tree->visualItemRect(*it);
        if (r.isEmpty()) continue;
        const QFontMetrics fm((*it)->font(0));
        const int textLeft = r.left() + tree->iconSize().width() + 6;
        if (textLeft + fm.horizontalAdvance((*it)->text(0)) > tree->viewport()->width())
            cut.push_back((*it)->text(0).toStdString());
    }
    return cut;
}

}  // namespace testsupport
