// Clipvane: the desktop program.
#include <QApplication>

#include "application/clipvane_app.h"
#include "ui/qt_front_end.h"
#include "ui/desktop/x11_session.h"

int main(int argc, char** argv) {
    ui::PreferX11Session();
    QApplication qtApp(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(CLIPVANE_APP_ID));
    ui::QtFrontEnd frontEnd;
    CClipvaneApp app(frontEnd);
    frontEnd.SetApp(&app);
    app.RunStartup();
    return app.RunShutdown();
}
