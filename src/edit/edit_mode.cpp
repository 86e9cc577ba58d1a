#include "edit/edit_mode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "display/overlay.h"
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
    restartFallingDiscs(host.show().scenes, host.assets().scenes);
    timelineReloads_ = live_->timelineReloads();
    reportErrors();
    transport_ = Transport{};
    row_ = 0.0;
    return true;
}

void EditMode::togglePause() {
    MusicPlayer& music = host_->music();
    if (transport_.paused) {
        music.resume();
    } else {
        music.pause();
    }
    transport_.paused = music.paused();
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
    if (auto* target = dynamic_cast<PixelDisplay::OverlayTarget*>(host.display.platform())) {
        if (hudShown_) {
            target->setOverlay(overlay_.get(), kScreenWidth, kScreenHeight);
        } else {
            target->setOverlay(nullptr, 0, 0);
        }
    }
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
    hudLines_.push_back("EDIT " + state + "  view " + editViewName(view_));
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
