#include "ui/bundle/elided_text.h"

#include <QTextBoundaryFinder>

namespace ui {

QString ElideAtBreak(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    const QString ellipsis(QChar(0x2026));
    const int room = width - metrics.horizontalAdvance(ellipsis);
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    qsizetype best = 0;
    for (qsizetype at = breaks.toNextBoundary(); at > 0 && at < text.size();
         at = breaks.toNextBoundary()) {
        const QString head = text.left(at).trimmed();
        if (metrics.horizontalAdvance(head) > room) break;
        best = at;
    }
    // No break fits (one long word): cut it, as anything is better than nothing.
    if (best == 0) return metrics.elidedText(text, Qt::ElideRight, width);
    return text.left(best).trimmed() + ellipsis;
}

}  // namespace ui
