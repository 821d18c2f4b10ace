// vemr: the client. One window, Vemrix, that opens the operator's site in a signed way.
#include "client/frame_qt.h"

#include <QApplication>

#include <unistd.h>

int main(int argc, char* argv[])
{
    // Chromium refuses to run as root with its sandbox on (the test machines run as root); others keep it.
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The engine makes no requests of its own: only the site's pages reach the network.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + " --disable-background-networking");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // the engine's views share one context
    QApplication application(argc, argv);
    vemr::QtVemrixWindow window;
    return window.Run();
}
