// The browser control Tavin on Qt WebEngine: a view in the client's window that loads the launch
// request with its identity header, hands finished pages (of the top level, and of frames through a
// script injected into them) and failed top-level navigations to the window's handlers, and prints
// what the site prints to the default printer.
#pragma once
#include <memory>
#include <string_view>

class QPrinter;
class QWebEngineView;
class QWidget;

namespace vemr {

class Vemrix;

class QtBrowser {
public:
    explicit QtBrowser(Vemrix& form);
    ~QtBrowser();
    QtBrowser(const QtBrowser&) = delete;
    QtBrowser& operator=(const QtBrowser&) = delete;

    // Creates the view in `parent` at its top-left corner; `parent` owns it.
    void Create(QWidget* parent);
    // Loads the address with the header lines ("Name: value", each ended by CR LF) on this request
    // alone.
    void Navigate(std::wstring_view url, std::wstring_view headers);
    bool Visible() const;
    void SetVisible(bool visible);
    void SetTop(int pixels);
    void SetSize(int width, int height);

private:
    void Print();
    void PrintFinished();

    Vemrix& form_;
    QWebEngineView* view_ = nullptr;
    std::unique_ptr<QPrinter> printer_;  // the job being printed, kept until the engine is done with it
    int waitingPrints_ = 0;              // requests made while it was
};

} // namespace vemr
