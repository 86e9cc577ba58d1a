#include "edit/edit_mode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "display/overlay.h"
#include "edit/atomic_file.h"
#include "generator/common.h"
#include "render/render_context.h"
#include "runtime/clock.h"
#include "runtime/frame.h"
#include "scenes/discs.h"

using namespace PixelDisplay;

namespace {

constexpr uint32_t kHudBackground = 0xB0000000u;
constexpr uint32_t kHudText = 0xFFFFFFFFu;
constexpr uint32_t kHudStatus = 0xFFFFE070u;
constexpr uint32_t kHudError = 0xFFFF6A6Au;
constexpr int kHudMargin = 4;
constexpr int kHudColumns = (kScreenWidth - 2 * kHudMargin) / kTextCellWidth;

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char buffer[256];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, arguments);
    va_end(arguments);
    return buffer;
}

uint32_t argbWord(const float rgb[3]) {
    uint32_t word = 0xFF000000u;
    for (int c = 0; c < 3; ++c) {
        const float value = std::clamp(rgb[c], 0.0f, 1.0f);
        word |= uint32_t(std::lround(value * 255.0f)) << (16 - 8 * c);
    }
    return word;
}

// The file's own name, as the grid and its messages call it.
std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The bar and beat the row lies in, counted from 1 like the timeline's.
std::string barBeat(double row) {
    const int whole = std::max(static_cast<int>(std::floor(row)), 0);
    return format("%d:%d", whole / kRowsPerBar + 1, whole % kRowsPerBar / kRowsPerBeat + 1);
}

}  // namespace

EditMode::EditMode(std::string assetsDir)
    : assetsDir_(std::move(assetsDir)),
      overlay_(new uint32_t[size_t(kScreenWidth) * kScreenHeight]()) {}

EditMode::~EditMode() {
    destroyRasterStats(stats_);
}

double EditMode::musicRow() const {
    return rowAtBytes(host_->music().position());
}

bool EditMode::started(Application& host) {
    host_ = &host;
    const ScreenSize& screen = host.show().target.screen;
    if (!stats_ || stats_->width != screen.width || stats_->height != screen.height) {
        destroyRasterStats(stats_);
        stats_ = createRasterStats(screen.width, screen.height);
        viewPixels_.reset(new float[screen.floats()]());
    }
    live_ = std::make_unique<LiveShow>(assetsDir_);
    live_->loadNow(host.assets());
    live_->measureMusic(host.music());
    restartFallingDiscs(host.show().scenes, host.assets().scenes);
    timelineReloads_ = live_->timelineReloads();
    // The grid starts from the file the show starts from (already made into its tracks).
    grid_ = TrackGrid{};
    std::string text, message;
    if (live_->takeSavedTimeline(text)) {
        loadGridText(grid_, text, baseName(live_->timelinePath()), message);
    }
    appliedRevision_ = grid_.revision;
    makeGridPanel(panel_, screen.height);
    panelShown_ = panelKeys_ = panelOnDisplay_ = false;
    savedElsewhere_ = overwriteAsked_ = quitAsked_ = false;
    escape_ = Escape::None;
    reportErrors();
    transport_ = Transport{};
    row_ = 0.0;
    return true;
}

int EditMode::cursorRow() const {
    // While playing, the row being heard; paused, the row shown (always whole).
    return std::max(0, static_cast<int>(transport_.paused ? std::lround(row_) : std::floor(row_)));
}

void EditMode::say(const std::string& text, bool error) {
    grid_.status = text;
    grid_.statusIsError = error;
}

void EditMode::gridResult(const GridKeyResult& result) {
    if (result.seekRow >= 0) seekRow(result.seekRow);
    if (result.save) save();
    if (result.hide) panelShown_ = panelKeys_ = false;
}

bool EditMode::save() {
    const std::string& path = live_->timelinePath();
    const std::string name = baseName(path);
    if (!grid_.loaded) {
        say("nothing to save: " + name + " could not be read", true);
        return false;
    }
    // Another program's save since the grid last read or wrote the file is overwritten only
    // when asked twice.
    std::string onDisk, message;
    if (assetgen::readTextFile(path, onDisk, message) && onDisk != grid_.baseText &&
        onDisk != grid_.text && !overwriteAsked_) {
        overwriteAsked_ = true;
        say(name + " was saved elsewhere since the grid read it: Ctrl+S again overwrites that save",
            true);
        return false;
    }
    if (!writeFileAtomically(path, grid_.text, message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        say(message, true);
        return false;
    }
    live_->timelineWritten();
    markGridSaved(grid_);
    savedElsewhere_ = overwriteAsked_ = quitAsked_ = false;
    say("saved " + name, false);
    return true;
}

void EditMode::savedElsewhere(Application& host, const std::string& text) {
    if (!gridUnsaved(grid_)) {
        takeFileText(host, text);
        return;
    }
    if (text == grid_.baseText) return;  // the same bytes saved again
    savedElsewhere_ = true;
    hudShown_ = true;  // said where it is seen, the grid hidden or not
    elsewhereText_ = text;
    say(baseName(live_->timelinePath()) +
            " was saved elsewhere; the grid keeps its changes (Ctrl+S twice overwrites that "
            "save, undoing them all takes it)",
        true);
}

void EditMode::takeFileText(Application& host, const std::string& text) {
    // A file with a mistake changes nothing but the message; the grid keeps the last good one.
    if (!live_->applyTimeline(host.assets(), &host.music(), text)) return;
    const bool hadOne = grid_.loaded;
    std::string message;
    if (loadGridText(grid_, text, baseName(live_->timelinePath()), message) && hadOne) {
        say("took " + baseName(live_->timelinePath()) + " as saved elsewhere (Ctrl+Z: the grid's)",
            false);
    }
    appliedRevision_ = grid_.revision;
}

void EditMode::keyChanged(Application&, PixelDisplay::KeyCode key, bool down) {
    gridKeyChanged(grid_, key, down);
}

bool EditMode::closeOnEscape(Application&) {
    if (panelKeys_ && !grid_.typed.empty()) {
        escape_ = Escape::DropNumber;
    } else if (panelKeys_) {
        escape_ = Escape::KeyboardBack;
    } else if (gridUnsaved(grid_) && !quitAsked_) {
        escape_ = Escape::AskQuit;
    } else {
        escape_ = Escape::Quit;
    }
    return escape_ == Escape::Quit;
}

bool EditMode::closeRequested(Application&) {
    if (!gridUnsaved(grid_) || quitAsked_) return true;
    panelDirty_ = true;
    quitAsked_ = true;
    hudShown_ = true;
    say("unsaved changes: close again (or Escape) to quit without them, Ctrl+S saves them", true);
    return false;
}

void EditMode::togglePause() {
    MusicPlayer& music = host_->music();
    if (transport_.paused) {
        music.resume();
    } else {
        music.pause();
    }
    transport_.paused = music.paused();
    // Paused on the nearest whole row: the row shown is the grid's cursor row, whose keys are
    // set there.
    if (transport_.paused) seekRow(musicRow());
}

void EditMode::seekRow(double row) {
    const int target = clampRow(live_->sections(), static_cast<int>(std::lround(row)));
    host_->music().seek(bytesAtRow(target));
    row_ = musicRow();
}

void EditMode::stepRows(int delta) {
    if (!transport_.paused) togglePause();
    seekRow(movedRow(live_->sections(), musicRow(), delta));
}

bool EditMode::keyStroke(Application&, PixelDisplay::KeyCode key) {
    using namespace EditKeys;
    panelDirty_ = true;
    if (key == kKeyEscape) {
        // What closeOnEscape decided as the key went down (a held key repeats nothing).
        switch (escape_) {
            case Escape::DropNumber:
                grid_.typed.clear();
                break;
            case Escape::KeyboardBack:
                panelKeys_ = false;
                break;
            case Escape::AskQuit:
                quitAsked_ = true;
                hudShown_ = true;
                say("unsaved changes: Escape again quits without them, Ctrl+S saves them", true);
                break;
            case Escape::None:
            case Escape::Quit:
                break;
        }
        escape_ = Escape::None;
        return true;
    }
    if (key != GridKeys::kShift && key != GridKeys::kControl) {
        quitAsked_ = false;
        if (!(grid_.control && key == 'S')) overwriteAsked_ = false;
    }
    if (key == kPanel) {
        // Shows the grid with the keyboard; gives it the keyboard back; hides it.
        if (panelShown_ && panelKeys_) {
            panelShown_ = panelKeys_ = false;
            grid_.typed.clear();
        } else {
            panelShown_ = panelKeys_ = true;
        }
        return true;
    }
    const int lastRow = lastShownRow(live_->sections());
    if (panelKeys_) {
        const GridKeyResult result = gridKey(grid_, key, cursorRow(), lastRow);
        gridResult(result);
        // The rest of the edit mode's keys work on; the camera's and the views' do not.
        if (!result.taken) transportKey(key);
        return true;
    }
    if (grid_.control && (key == 'Z' || key == 'Y' || key == 'S')) {
        gridResult(gridKey(grid_, key, cursorRow(), lastRow));
        return true;
    }
    return transportKey(key);
}

bool EditMode::transportKey(PixelDisplay::KeyCode key) {
    using namespace EditKeys;
    const SectionTable& sections = live_->sections();
    const double now = musicRow();
    switch (key) {
        case kPause:
            togglePause();
            break;
        case kRowBack:
            stepRows(-1);
            break;
        case kRowForward:
            stepRows(1);
            break;
        case kBeatBack:
            seekRow(movedRow(sections, now, -kRowsPerBeat));
            break;
        case kBeatForward:
            seekRow(movedRow(sections, now, kRowsPerBeat));
            break;
        case kBarBack:
            seekRow(movedRow(sections, now, -kRowsPerBar));
            break;
        case kBarForward:
            seekRow(movedRow(sections, now, kRowsPerBar));
            break;
        case kStart:
            seekRow(0);
            break;
        case kSectionBack:
            seekRow(previousSectionRow(sections, now));
            break;
        case kSectionForward:
            seekRow(nextSectionRow(sections, now));
            break;
        case kLoop:
            toggleLoop(transport_, sections, now);
            break;
        case kMarkIn:
            transport_.markIn = static_cast<int>(std::lround(now));
            break;
        case kMarkOut:
            transport_.markOut = static_cast<int>(std::lround(now));
            break;
        case kHud:
            hudShown_ = !hudShown_;
            break;
        case kView:
            view_ = nextEditView(view_);
            break;
        default:
            return false;
    }
    return true;
}

void EditMode::reportErrors() {
    // Each file error once on the error stream as it appears, so that it is seen with the
    // heads-up display hidden too.
    const std::vector<std::string> errors = live_->errors();
    for (const std::string& error : errors) {
        if (std::find(reported_.begin(), reported_.end(), error) == reported_.end())
            std::fprintf(stderr, "%s\n", error.c_str());
    }
    reported_ = errors;
}

FrameState EditMode::nextFrame(Application& host) {
    MusicPlayer& music = host.music();
    live_->poll(host.assets(), &music);
    std::string saved;
    if (live_->takeSavedTimeline(saved)) savedElsewhere(host, saved);
    if (savedElsewhere_ && !gridUnsaved(grid_)) {
        // Every change undone: the other program's save is taken after all.
        savedElsewhere_ = false;
        takeFileText(host, elsewhereText_);
    }
    if (grid_.loaded && grid_.revision != appliedRevision_) {
        // The grid's edit, made into tracks before this frame is drawn.
        live_->applyTimeline(host.assets(), &music, grid_.text);
        appliedRevision_ = grid_.revision;
    }
    reportErrors();
    if (live_->timelineReloads() != timelineReloads_) {
        // The scenes may have moved: the discs fall again from the start by the new tracks.
        timelineReloads_ = live_->timelineReloads();
        restartFallingDiscs(host.show().scenes, host.assets().scenes);
    }

    double row = musicRow();
    if (!transport_.paused) {
        const int target = loopTarget(transport_, row);
        if (target >= 0) {
            music.seek(bytesAtRow(target));
        } else if (row >= live_->sections().endRow) {
            // The show would close here; the edit mode waits at its last row instead.
            togglePause();
            music.seek(bytesAtRow(lastShownRow(live_->sections())));
        }
        row = musicRow();
    }
    row_ = row;
    // The row's own seconds, as in the capture tool: a paused frame stands still.
    const double seconds = row / ROWS_PER_SECOND;
    return FrameState{row, seconds, seconds, cameraMatrix(host.camera)};
}

void EditMode::drawing(Application& host) {
    // Any view but the picture draws the frame with the counting engine; the show's own
    // framebuffer gets the same pixels either way.
    if (view_ != EditView::Picture) {
        resetRasterStats(*stats_);
        host.show().target.stats = stats_;
    }
    drawStart_ = std::chrono::steady_clock::now();
}

const float* EditMode::drawn(Application& host) {
    const auto end = std::chrono::steady_clock::now();
    Show& show = host.show();
    show.target.stats = nullptr;
    shownPixels_ = show.target.framebuffer;
    if (view_ != EditView::Picture) {
        drawEditView(view_, show.target.framebuffer, *stats_, viewPixels_.get());
        shownPixels_ = viewPixels_.get();
    }
    updateHud(show, std::chrono::duration<double, std::milli>(end - drawStart_).count());
    const int reloads = live_->timelineReloads() + live_->musicReloads();
    if (panelShown_ &&
        (panelDirty_ || !panelOnDisplay_ || cursorRow() != panelRow_ || reloads != panelReloads_)) {
        panelDirty_ = true;
        panelRow_ = cursorRow();
        panelReloads_ = reloads;
        GridPanelView view;
        view.row = cursorRow();
        view.endRow = live_->sections().endRow;
        view.tracks = &host.assets().tracks;
        view.loudness = &live_->loudness();
        view.hasKeyboard = panelKeys_;
        view.unsaved = gridUnsaved(grid_);
        view.fileName = grid_.loaded ? grid_.doc.fileName.c_str() : "timeline.txt";
        drawGridPanel(panel_, grid_, view);
    }
    if (auto* target = dynamic_cast<PixelDisplay::OverlayTarget*>(host.display.platform())) {
        if (hudShown_) {
            target->setOverlay(overlay_.get(), kScreenWidth, kScreenHeight);
        } else {
            target->setOverlay(nullptr, 0, 0);
        }
        if (panelShown_ && panelDirty_) {
            target->setSidePanel(panel_.words.get(), panel_.width, panel_.height);
        } else if (!panelShown_ && panelOnDisplay_) {
            target->setSidePanel(nullptr, 0, 0);
        }
    }
    panelOnDisplay_ = panelShown_;
    panelDirty_ = false;
    return shownPixels_;
}

void EditMode::updateHud(const Show& show, double frameMilliseconds) {
    hudLines_.clear();
    const Transport& t = transport_;
    std::string state = t.paused ? "PAUSED" : "PLAYING";
    if (t.looping) {
        state += " LOOP " + barBeat(t.loopBegin) + "-" + barBeat(t.loopEnd);
    }
    if (t.markIn >= 0 || t.markOut >= 0) {
        state += " marks " + (t.markIn >= 0 ? barBeat(t.markIn) : std::string("-")) + "/" +
                 (t.markOut >= 0 ? barBeat(t.markOut) : std::string("-"));
    }
    hudLines_.push_back("EDIT " + state + "  view " + editViewName(view_) +
                        (gridUnsaved(grid_) ? "  UNSAVED" : "") +
                        (panelShown_ ? "" : "  F2: track editor"));
    hudLines_.push_back(format(
        "bar:beat %s  row %.2f  scene %d  time %.3f s  frame %.2f ms", barBeat(row_).c_str(), row_,
        sceneNumberAt(show.assets->tracks, row_), row_ / ROWS_PER_SECOND, frameMilliseconds));
    const TrackValues values = readTrackValues(show.assets->tracks, row_);
    std::string line;
    for (int i = 0; i < kTrackCount; ++i) {
        line += format("%-13s%9.3f", kTracks[i].name, values.*kTracks[i].field);
        if (i % 4 == 3 || i == kTrackCount - 1) {
            hudLines_.push_back(line);
            line.clear();
        } else {
            line += "   ";
        }
    }
    addViewLines(show);
    const size_t statusAt = hudLines_.size();
    const std::string busy = live_->busy();
    if (!busy.empty()) hudLines_.push_back("rebuilding: " + busy);
    if (quitAsked_) hudLines_.push_back("unsaved changes: Escape again quits without them");
    if (savedElsewhere_) {
        hudLines_.push_back("timeline saved elsewhere: the grid keeps its changes");
    }
    const size_t errorsAt = hudLines_.size();
    for (const std::string& error : live_->errors()) {
        for (size_t at = 0; at < error.size(); at += kHudColumns) {
            hudLines_.push_back(error.substr(at, kHudColumns));
        }
    }

    uint32_t* words = overlay_.get();
    std::fill(words, words + size_t(kScreenWidth) * kScreenHeight, 0u);
    size_t widest = 0;
    for (const std::string& text : hudLines_) widest = std::max(widest, text.size());
    widest = std::min<size_t>(widest, kHudColumns);
    fillOverlayRect(words, kScreenWidth, kScreenHeight, 0, 0,
                    int(widest) * kTextCellWidth + 2 * kHudMargin,
                    int(hudLines_.size()) * kTextCellHeight + 2 * kHudMargin - 2, kHudBackground);
    for (size_t i = 0; i < hudLines_.size(); ++i) {
        const uint32_t colour = i >= errorsAt ? kHudError : i >= statusAt ? kHudStatus : kHudText;
        drawOverlayText(words, kScreenWidth, kScreenHeight, kHudMargin,
                        kHudMargin + int(i) * kTextCellHeight, hudLines_[i].c_str(), colour);
    }
    for (const Swatch& swatch : swatches_) {
        fillOverlayRect(words, kScreenWidth, kScreenHeight,
                        kHudMargin + swatch.column * kTextCellWidth,
                        kHudMargin + swatch.line * kTextCellHeight, 2 * kTextCellWidth - 2,
                        kGlyphHeight, swatch.argb);
    }
}

void EditMode::addViewLines(const Show& show) {
    swatches_.clear();
    if (view_ == EditView::Picture) return;
    hudLines_.push_back(rasterCountsLine(*stats_));
    std::string legend;
    const auto entry = [&](const float rgb[3], const std::string& label) {
        swatches_.push_back({int(hudLines_.size()), int(legend.size()), argbWord(rgb)});
        legend += "   " + label + "  ";
    };
    switch (view_) {
        case EditView::Picture:
            break;
        case EditView::Depth: {
            const DepthRange range =
                depthRange(show.target.framebuffer, static_cast<int>(show.target.screen.pixels()));
            legend = range.nearZ == 0.0f ? std::string("depth: nothing drawn")
                                         : format(
                                               "depth: white z %.2f .. grey z %.2f (log), "
                                               "black nothing drawn",
                                               range.nearZ, range.farZ);
            break;
        }
        case EditView::Overdraw:
            legend = "depth tests passed: ";
            for (uint32_t count = 0; count < kOverdrawSteps; ++count) {
                float rgb[3];
                overdrawColour(count, rgb);
                entry(rgb, std::to_string(count) + (count == kOverdrawSteps - 1 ? "+" : ""));
            }
            break;
        case EditView::Blocks:
            legend = "8x8 blocks: ";
            entry(kBlockFullColour, "full");
            entry(kBlockPartialColour, "partial");
            entry(kBlockSkippedColour, "skipped");
            legend += "(mixed by count)";
            break;
    }
    hudLines_.push_back(legend);
}

void EditMode::finishing(Application&) {
    live_.reset();
    host_ = nullptr;
}
