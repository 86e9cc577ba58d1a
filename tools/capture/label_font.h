// A tiny 5 x 7 bitmap font for contact-sheet labels: digits, a few lower-case letters, space.
#pragma once

#include <string>

#include "image_output.h"

// Draws `text` in white on a black box with its top-left corner at (x, y), each font pixel
// `scale` pixels wide. Characters without a glyph are drawn as blanks; the box is clipped to
// the image.
void drawLabel(RgbImage& image, int x, int y, const std::string& text, int scale);
