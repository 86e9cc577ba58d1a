// The edit mode: a part of the show's own host (runtime/host_part.h) that adds a transport
// (pause, step, seek, loop) on the music, a heads-up display laid over the picture by the
// display, the timeline and texts reloaded while it plays, and the track editor: a grid of
// every track's keys beside the picture (F2) that edits the timeline and saves it back.
//
// The timeline that plays is the grid's: each edit is made into tracks at the next frame. A
// save from another program is taken as before while the grid has nothing unsaved; with
// unsaved changes the grid keeps them, says so, and overwrites that save only on a second
// Ctrl+S. The grid's cursor row is the row shown and heard: while paused, moving the cursor
// seeks; while playing, the cursor follows the music.
//
// Escape, in turn: drops a number being typed, gives the keyboard back from the grid, asks
// once when there are unsaved changes, and quits.
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
#include "edit/grid_panel.h"
#include "edit/live_show.h"
#include "edit/track_grid.h"
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
constexpr PixelDisplay::KeyCode kPanel = 113;  // F2: the track editor's grid
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
    void keyChanged(Application& host, PixelDisplay::KeyCode key, bool down) override;
    bool closeOnEscape(Application& host) override;
    bool closeRequested(Application& host) override;
    void finishing(Application& host) override;

    // The track editor: its grid, whether its panel is shown and has the keyboard, the panel
    // as last drawn.
    TrackGrid& grid() { return grid_; }
    bool panelShown() const { return panelShown_; }
    bool panelHasKeyboard() const { return panelKeys_; }
    const GridPanel& panel() const { return panel_; }
    // Writes the grid's timeline to its file (Ctrl+S); false when it did not (the grid's
    // message says why).
    bool save();

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
    enum class Escape { None, DropNumber, KeyboardBack, AskQuit, Quit };

    int cursorRow() const;
    bool transportKey(PixelDisplay::KeyCode key);
    void gridResult(const GridKeyResult& result);
    void savedElsewhere(Application& host, const std::string& text);
    void takeFileText(Application& host, const std::string& text);
    void say(const std::string& text, bool error);
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

    TrackGrid grid_;
    GridPanel panel_;
    bool panelShown_ = false;
    bool panelKeys_ = false;       // the grid has the keyboard
    bool panelOnDisplay_ = false;  // the display was given the panel
    // The panel is drawn again only when something it shows may have changed: a key, a
    // reload, a new row.
    bool panelDirty_ = true;
    int panelRow_ = -1;
    int panelReloads_ = -1;
    int appliedRevision_ = 0;       // the grid's revision whose tracks play
    bool savedElsewhere_ = false;   // a save by another program waits behind unsaved changes
    std::string elsewhereText_;     // that save
    bool overwriteAsked_ = false;   // the next Ctrl+S overwrites it
    bool quitAsked_ = false;        // the next Escape quits without the unsaved changes
    Escape escape_ = Escape::None;  // what the Escape going down asked for
};
