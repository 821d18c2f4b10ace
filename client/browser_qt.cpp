#include "client/browser_qt.h"

#include "client/vemrix.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>


namespace vemr {
namespace {

// What the frame script writes to the console: the engine reports the loads of the top level only,
// so each frame tells of its own document this way, a finished one by its address and a failed
// navigation (the engine's error page in its place) by the failure marker.
const QString kFrameCompleteMarker = QStringLiteral("vemr-frame-complete ");
const QString kFrameFailedMarker = QStringLiteral("vemr-frame-failed");

// Runs in every frame's document, in a world of its own that the page's scripts do not see, once the
// document has loaded (its load event).
const QString kFrameScript = QStringLiteral(R"(
(function () {
  if (window === window.top) return;
  var report = function () {
    console.log(location.protocol === 'chrome-error:' ? '%2' : '%1' + location.href);
  };
  if (document.readyState === 'complete') report(); else window.addEventListener('load', report);
})();
)").arg(kFrameCompleteMarker, kFrameFailedMarker);

constexpr int kPrintDotsPerInch = 600;

// The page of the view: console messages carry the frames' documents to the window's handlers;
// everything else the page writes there is dropped, as the Windows browser control has no console.
class TavinPage final : public QWebEnginePage {
public:
    TavinPage(QWebEngineProfile* profile, Vemrix& form, QObject* parent) : QWebEnginePage(profile, parent), form_(form)
    {
    }

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                  const QString&) override
    {
        if (message.startsWith(kFrameCompleteMarker))
            form_.Tavin_DocumentComplete(message.mid(kFrameCompleteMarker.size()).toStdWString());
        else if (message == kFrameFailedMarker)
            form_.Tavin_NavigateError();
    }

private:
    Vemrix& form_;
};

} // namespace

QtBrowser::QtBrowser(Vemrix& form) : form_(form) {}

QtBrowser::~QtBrowser() = default;

void QtBrowser::Create(QWidget* parent)
{
    view_ = new QWebEngineView(parent);
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();  // off the record: nothing kept on disk
    auto* page = new TavinPage(profile, form_, view_);
    page->settings()->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);

    QWebEngineScript frameScript;
    frameScript.setName(QStringLiteral("frame-complete"));
    frameScript.setSourceCode(kFrameScript);
    frameScript.setInjectionPoint(QWebEngineScript::DocumentReady);
    frameScript.setRunsOnSubFrames(true);
    frameScript.setWorldId(QWebEngineScript::ApplicationWorld);
    page->scripts().insert(frameScript);

    // The top level: a finished page with the address it ended at; a failed navigation (an
    // unreachable server, or an HTTP error status the engine reports as a failure).
    QObject::connect(page, &QWebEnginePage::loadingChanged, view_, [this](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus)
            form_.Tavin_DocumentComplete(info.url().toString(QUrl::FullyEncoded).toStdWString());
        else if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus)
            form_.Tavin_NavigateError();
    });
    view_->setPage(page);

    QObject::connect(view_, &QWebEngineView::printRequested, view_, [this] { Print(); });
    QObject::connect(view_, &QWebEngineView::printFinished, view_, [this](bool) { PrintFinished(); });
}

void QtBrowser::Navigate(std::wstring_view url, std::wstring_view headers)
{
    QWebEngineHttpRequest request(QUrl(QString::fromStdWString(std::wstring(url))));
    for (const QString& line : QString::fromStdWString(std::wstring(headers)).split(QStringLiteral("\r\n"))) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0) continue;
        request.setHeader(line.left(colon).trimmed().toLatin1(), line.mid(colon + 1).trimmed().toUtf8());
    }
    view_->load(request);
}

bool QtBrowser::Visible() const { return !view_->isHidden(); }

void QtBrowser::SetVisible(bool visible) { view_->setVisible(visible); }

void QtBrowser::SetTop(int pixels) { view_->move(0, pixels); }

void QtBrowser::SetSize(int width, int height) { view_->resize(width, height); }

void QtBrowser::Print()
{
    // The engine prints one job at a time: a request while one is being rendered waits for it.
    if (printer_) {
        ++waitingPrints_;
        return;
    }
    // The default printer on its default paper, the whole sheet, no margins; the engine adds no
    // header or footer. Its pages reach the printer as images: 600 dpi is sharp on an office or a
    // receipt printer and renders in a quarter of the time of the print engine's own 1200.
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setResolution(kPrintDotsPerInch);
    printer_->setPageSize(QPrinterInfo(*printer_).defaultPageSize());
    printer_->setFullPage(true);
    printer_->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    view_->print(printer_.get());
}

void QtBrowser::PrintFinished()
{
    printer_.reset();
    if (waitingPrints_ == 0) return;
    --waitingPrints_;
    Print();
}

} // namespace vemr
