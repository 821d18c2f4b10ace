// The baseline of the Linux client's benchmark (vemr_linux_bench.sh): a bare Qt WebEngine view that
// loads the address given with the User-Agent given, as the client loads its launch request, and
// does nothing else. What the client costs beyond it is the client's own.
#include <QApplication>
#include <QWebEngineHttpRequest>
#include <QWebEngineView>
#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc != 3) return 2;
    // Chromium refuses to run as root with its sandbox on; the client turns it off the same way.
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QWebEngineHttpRequest request(QUrl(QString::fromUtf8(argv[1])));
    request.setHeader("User-Agent", argv[2]);
    QWebEngineView view;
    view.setFixedSize(1016, 704);
    view.load(request);
    view.show();
    return app.exec();
}
