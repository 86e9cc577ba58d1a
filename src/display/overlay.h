// A picture laid over the presented frame by the display itself, never part of the frame the
// program hands to `update` (so that captures stay clean): the edit mode's heads-up display.
//
// An overlay is ARGB words (0xAARRGGBB, straight alpha), rows top to bottom, usually of the
// display's own size, stretched over the picture exactly as the frame is. The text drawn on
// it uses our own 5 x 7 bitmap font of the printable ASCII characters.
#pragma once

#include <cstdint>

namespace PixelDisplay {

// What a platform display that can lay an overlay over its frames offers besides the display
// contract (found by dynamic_cast on the platform display).
class OverlayTarget {
public:
    virtual ~OverlayTarget() = default;
    // Shown over every frame from the next `update` on, until replaced; null hides it. The
    // words are copied: the caller may reuse its buffer at once.
    virtual void setOverlay(const uint32_t* argb, int width, int height) = 0;
    // A panel beside the picture, on its right and level with its top (the track editor's
    // grid), from the next `update` on until replaced; null takes it away. The display shows
    // the picture and the panel side by side at one scale: a window is widened to hold the
    // panel (and narrowed again without it) keeping the picture's size where the screen
    // allows; full screen fits both. The words are copied. A display without room for a panel
    // ignores it.
    virtual void setSidePanel(const uint32_t* argb, int width, int height) {
        (void)argb;
        (void)width;
        (void)height;
    }
};

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
// One character's cell: the glyph and one column and two rows of spacing.
constexpr int kTextCellWidth = 6;
constexpr int kTextCellHeight = 9;

// Rows of the glyph of `c`, top first, bit 4 the leftmost column; '?' for characters outside
// the printable ASCII range.
const uint8_t* glyphRows(char c);

// Fills the clipped rectangle with one word.
void fillOverlayRect(uint32_t* argb, int width, int height, int x, int y, int w, int h,
                     uint32_t colour);
// Draws `text` with its first cell's top-left corner at (x, y), clipped; the pixels outside
// the glyphs are left alone. Returns the x after the last cell.
int drawOverlayText(uint32_t* argb, int width, int height, int x, int y, const char* text,
                    uint32_t colour);

}  // namespace PixelDisplay
