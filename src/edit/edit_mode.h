// The edit mode: a part of the show's own host (runtime/host_part.h) that adds a transport
// (pause, step, seek, loop) on the music, a heads-up display laid over the picture by the
// display, and the timeline and texts reloaded while it plays.
//
// The row is always derived from the music position (rowAtBytes), so picture and sound stay
// locked after every seek; a frame's times are the row's seconds, as in the capture tool, so
// a paused frame stands still and equals the capture tool's frame of that row.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "display/display.h"
#include "edit/edit_views.h"
#include "edit/live_show.h"
#include "edit/transport.h"
#include "render/raster_stats.h"
#include "runtime/application.h"
#include "runtime/host_part.h"

// Keys of the edit mode (KeyCode values); none is a camera key.
namespace EditKeys {
constexpr PixelDisplay::KeyCode kPause = 32;           // Space
constexpr PixelDisplay::KeyCode kRowBack = ',';        // 44
constexpr PixelDisplay::KeyCode kRowForward = '.';     // 46
constexpr PixelDisplay::KeyCode kBeatBack = 37;        // Left
constexpr PixelDisplay::KeyCode kBeatForward = 39;     // Right
constexpr PixelDisplay::KeyCode kBarBack = 40;         // Down
constexpr PixelDisplay::KeyCode kBarForward = 38;      // Up
constexpr PixelDisplay::KeyCode kStart = 36;           // Home
constexpr PixelDisplay::KeyCode kSectionBack = 33;     // Page Up
constexpr PixelDisplay::KeyCode kSectionForward = 34;  // Page Down
constexpr PixelDisplay::KeyCode kLoop = 'L';
constexpr PixelDisplay::KeyCode kMarkIn = '[';
constexpr PixelDisplay::KeyCode kMarkOut = ']';
constexpr PixelDisplay::KeyCode kHud = 9;  // Tab
constexpr PixelDisplay::KeyCode kView = 'V';
}  // namespace EditKeys

class EditMode : public HostPart {
public:
    // The timeline and texts are read from `assetsDir`.
    explicit EditMode(std::string assetsDir);
    ~EditMode() override;

    const char* title() const override { return "demo110 - edit"; }
    bool started(Application& host) override;
    FrameState nextFrame(Application& host) override;
    void drawing(Application& host) override;
    const float* drawn(Application& host) override;
    bool keyStroke(Application& host, PixelDisplay::KeyCode key) override;
    void finishing(Application& host) override;

    // The transport, as the keys drive it.
    void togglePause();
    void seekRow(double row);
    void stepRows(int delta);  // pauses first when playing

    // For the tests and the heads-up display.
    double row() const { return row_; }
    double musicRow() const;
    const Transport& transport() const { return transport_; }
    LiveShow& live() { return *live_; }
    bool hudShown() const { return hudShown_; }
    EditView view() const { return view_; }
    // The heads-up display's text, one entry a line, as last drawn.
    const std::vector<std::string>& hudLines() const { return hudLines_; }
    // The overlay words of the last frame (kScreenWidth x kScreenHeight ARGB).
    const uint32_t* overlay() const { return overlay_.get(); }
    // What the display was given last: the show's framebuffer in the picture view, the view's
    // own buffer (screen.floats()) in the others.
    const float* shownPixels() const { return shownPixels_; }
    // The counting engine's record of the last frame drawn in a view other than the picture.
    const RasterStats& rasterStats() const { return *stats_; }

private:
    void updateHud(const Show& show, double frameMilliseconds);
    void reportErrors();
    void addViewLines(const Show& show);
    // Legend swatches of the view lines: a colour two cells wide at a line and column.
    struct Swatch {
        int line, column;
        uint32_t argb;
    };
    std::vector<Swatch> swatches_;

    std::string assetsDir_;
    Application* host_ = nullptr;  // set from started to finishing
    std::unique_ptr<LiveShow> live_;
    Transport transport_{};
    double row_ = 0.0;
    bool hudShown_ = true;
    EditView view_ = EditView::Picture;
    std::vector<std::string> hudLines_;
    std::unique_ptr<uint32_t[]> overlay_;
    std::unique_ptr<float[]> viewPixels_;
    const float* shownPixels_ = nullptr;
    RasterStats* stats_ = nullptr;
    std::chrono::steady_clock::time_point drawStart_{};
    int timelineReloads_ = 0;
    std::vector<std::string> reported_;  // the file errors last written to the error stream
};
