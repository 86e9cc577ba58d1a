#include "contact_sheet.h"

#include <algorithm>

#include "label_font.h"

namespace {

constexpr int kColumns = 6, kScale = 4;

}  // namespace

ContactSheet makeContactSheet(const ScreenSize& screen, size_t pictures) {
    ContactSheet sheet;
    sheet.screen = screen;
    sheet.thumbWidth = screen.width / kScale;
    sheet.thumbHeight = screen.height / kScale;
    sheet.labelScale = std::max(1, static_cast<int>(screen.scale));
    RgbImage& image = sheet.image;
    image.width = kColumns * sheet.thumbWidth;
    image.height = static_cast<int>((pictures + kColumns - 1) / kColumns) * sheet.thumbHeight;
    image.rgb.assign(static_cast<size_t>(image.width) * image.height * 3, 0);
    return sheet;
}

void placeOnSheet(ContactSheet& sheet, size_t index, const std::vector<uint32_t>& words,
                  const std::string& label) {
    const int thumbWidth = sheet.thumbWidth, thumbHeight = sheet.thumbHeight;
    const int labelScale = sheet.labelScale;
    const ScreenSize& screen = sheet.screen;
    const int left = static_cast<int>(index % kColumns) * thumbWidth;
    const int top = static_cast<int>(index / kColumns) * thumbHeight;
    for (int y = 0; y < thumbHeight; ++y) {
        for (int x = 0; x < thumbWidth; ++x) {
            int sum[3] = {0, 0, 0};
            for (int sy = 0; sy < kScale; ++sy) {
                for (int sx = 0; sx < kScale; ++sx) {
                    const uint32_t w = words[static_cast<size_t>(y * kScale + sy) * screen.width +
                                             x * kScale + sx];
                    sum[0] += (w >> 16) & 255;
                    sum[1] += (w >> 8) & 255;
                    sum[2] += w & 255;
                }
            }
            uint8_t* p =
                &sheet.image.rgb[(static_cast<size_t>(top + y) * sheet.image.width + left + x) * 3];
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(sum[c] / (kScale * kScale));
        }
    }
    drawLabel(sheet.image, left + 2 * labelScale, top + thumbHeight - 11 * labelScale, label,
              labelScale);
}
