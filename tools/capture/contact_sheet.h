// The contact sheet: pictures of the show six to a row, each the frame shrunk four times each
// way (the mean of each 4 x 4 square) and labelled at its bottom-left corner. A thumbnail of a
// larger frame is larger and sharper; its label grows by the whole part of the scale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image_output.h"
#include "render/screen.h"

struct ContactSheet {
    RgbImage image;
    ScreenSize screen;  // of the frames
    int thumbWidth = 0, thumbHeight = 0, labelScale = 1;
};

// A black sheet with room for `pictures` frames of `screen`'s size.
ContactSheet makeContactSheet(const ScreenSize& screen, size_t pictures);

// The frame `words` (XRGB8888 at the sheet's screen size) as picture `index`, counted from the
// top-left along the rows, with `label` on it.
void placeOnSheet(ContactSheet& sheet, size_t index, const std::vector<uint32_t>& words,
                  const std::string& label);
