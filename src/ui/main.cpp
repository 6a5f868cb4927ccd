// Clipvane: the desktop program.
#include <QApplication>

#include "app/clipvane_app.h"
#include "ui/qt_front_end.h"

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(CLIPVANE_APP_ID));
    ui::QtFrontEnd frontEnd;
    CClipvaneApp app(frontEnd);
    app.RunStartup();
    return app.RunShutdown();
}
