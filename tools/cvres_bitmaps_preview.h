#pragma once
#include <QDir>

// Writes the preview panel's bitmaps into out/bitmaps; false when one fails.
bool DrawPreviewBitmaps(const QDir& out);
