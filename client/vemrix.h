// The client's window Vemrix: its start-up, its browser and window events, its tray icon. Every
// handler runs on the window's thread; an error that reaches a handler shows the error report and
// ends the program.
#pragma once
#include "client/vemrix_window.h"
#include "os/single_copy.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vemr {

// Where TavinMiddleForm puts the window: outer top-left corner in twips.
struct Placement {
    double left = 0, top = 0;
};

// A width and a height in twips.
struct Extent {
    double width = 0, height = 0;
};

// The client area the window is designed for: 15240 × 10560 twips.
constexpr Extent kDesignClientArea{15240, 10560};

// Where the controls lie in a client area (twips): the browser Tavin from the top-left corner, a
// little past the right and bottom edges; the notice NetErr's box beneath it.
struct ClientLayout {
    Extent browser;
    double noticeLeft = 0, noticeTop = 0;
    Extent notice;
};

// Centred in the work area: TP × area.start + (TP × area.extent − window extent) div 2, with both
// operands of div rounded to whole twips first (halves to even) and div truncating; a window larger
// than the area starts at its start, so that its caption stays on the screen.
Placement CentredPlacement(const WorkArea& area, double twipsPerPixelX, double twipsPerPixelY, double width,
                           double height);

// The window's outer size (twips) on a work area: `outer` where it fits, else cut to the area in each
// direction where it does not. An empty area (a failed query) cuts nothing.
Extent FittedWindow(Extent outer, const WorkArea& area, double twipsPerPixelX, double twipsPerPixelY);

// The controls over a real client area (twips): as designed over the design area (in whole pixels);
// over a smaller one the browser lacks what the area lacks, so it covers it as it covers the design
// area, and the notice keeps its place relative to the centre.
ClientLayout LayoutFor(Extent client, double twipsPerPixelX, double twipsPerPixelY);

class Vemrix {
public:
    explicit Vemrix(VemrixWindow& window) : window_(window) {}

    // Window events, as the frame delivers them.
    void Form_Initialize();                      // creation: the single-copy guard
    void Form_Load();                            // the start-up sequence, ending in the navigation
    void Form_Paint();
    void Form_Resize();
    void Form_MouseMove(double x);               // x in twips; carries the tray's mouse messages
    void Tavin_DocumentComplete(std::wstring_view URL);
    void Tavin_NavigateError();

    // Ends the program when another copy runs; otherwise true. LeastFreeSpace (megabytes) is the
    // caller's; the client passes 0.
    bool EnvironChk(int16_t LeastFreeSpace);
    // Centres the window in the work area and removes the Size command; true when no step failed.
    bool TavinMiddleForm();
    void addtotray(std::wstring_view memotext);
    void DeleteTray();
    void LetMeTop(bool TopOrMove);

    // The window's tag: the host once the start-up has read it.
    const std::wstring& Tag() const { return tag_; }
    const TrayRecord& Tray() const { return tray_; }

    static constexpr uint32_t kTrayRecordSize = 488;

private:
    void StartUp();

    VemrixWindow& window_;
    std::optional<os::SingleCopyClaim> claim_;  // held until the program ends
    std::wstring tag_ = L"数据中心地址";  // the design-time placeholder: "data-centre address"
    bool firstPaint_ = false;
    TrayRecord tray_;
};

} // namespace vemr
