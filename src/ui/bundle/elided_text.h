#pragma once
// Text cut to its room the way it is read: in words.
#include <QFontMetrics>
#include <QString>

namespace ui {

// `text` as it fits in `width`: whole, or cut where a line may break
// (between words; anywhere in Chinese or Japanese) with an ellipsis.
QString ElideAtBreak(const QString& text, const QFontMetrics& metrics, int width);

}  // namespace ui
