#include "display/sdl/sdl_keys.h"

#include <gtest/gtest.h>

namespace PixelDisplay {
namespace {

KeyCode codeOf(SDL_Keycode symbol, SDL_Scancode scancode = SDL_SCANCODE_UNKNOWN) {
    const int key = virtualKeyFor(symbol, scancode);
    return key == kNoVirtualKey ? -1 : keyCodeForVirtualKey(key);
}

TEST(SdlKeys, KeyCodesFollowTheDisplayTable) {
    // Letters whatever the shift state (SDL's symbol is the lower-case letter), digits.
    EXPECT_EQ(codeOf(SDLK_a), 65);
    EXPECT_EQ(codeOf(SDLK_z), 90);
    EXPECT_EQ(codeOf(SDLK_0), 48);
    EXPECT_EQ(codeOf(SDLK_9), 57);
    // Control keys.
    EXPECT_EQ(codeOf(SDLK_ESCAPE), 27);
    EXPECT_EQ(codeOf(SDLK_RETURN), 10);
    EXPECT_EQ(codeOf(SDLK_KP_ENTER), 10);
    EXPECT_EQ(codeOf(SDLK_SPACE), 32);
    EXPECT_EQ(codeOf(SDLK_TAB), 9);
    EXPECT_EQ(codeOf(SDLK_BACKSPACE), 8);
    EXPECT_EQ(codeOf(SDLK_LSHIFT), 16);
    EXPECT_EQ(codeOf(SDLK_RSHIFT), 16);
    EXPECT_EQ(codeOf(SDLK_LCTRL), 17);
    EXPECT_EQ(codeOf(SDLK_RCTRL), 17);
    EXPECT_EQ(codeOf(SDLK_LALT), 18);
    EXPECT_EQ(codeOf(SDLK_RALT), 18);
    // Arrows 37..40 in the order left, up, right, down; F1..F12 112..123.
    EXPECT_EQ(codeOf(SDLK_LEFT), 37);
    EXPECT_EQ(codeOf(SDLK_UP), 38);
    EXPECT_EQ(codeOf(SDLK_RIGHT), 39);
    EXPECT_EQ(codeOf(SDLK_DOWN), 40);
    EXPECT_EQ(codeOf(SDLK_F1), 112);
    EXPECT_EQ(codeOf(SDLK_F12), 123);
    EXPECT_EQ(codeOf(SDLK_PAGEUP), 33);
    EXPECT_EQ(codeOf(SDLK_PAGEDOWN), 34);
    EXPECT_EQ(codeOf(SDLK_END), 35);
    EXPECT_EQ(codeOf(SDLK_HOME), 36);
    // The twelve keys whose code is not their virtual key.
    EXPECT_EQ(codeOf(SDLK_INSERT), 155);
    EXPECT_EQ(codeOf(SDLK_DELETE), 127);
    EXPECT_EQ(codeOf(SDLK_SEMICOLON), 59);
    EXPECT_EQ(codeOf(SDLK_EQUALS), 61);
    EXPECT_EQ(codeOf(SDLK_COMMA), 44);
    EXPECT_EQ(codeOf(SDLK_MINUS), 108);
    EXPECT_EQ(codeOf(SDLK_PERIOD), 46);
    EXPECT_EQ(codeOf(SDLK_SLASH), 47);
    EXPECT_EQ(codeOf(SDLK_LEFTBRACKET), 91);
    EXPECT_EQ(codeOf(SDLK_BACKSLASH), 92);
    EXPECT_EQ(codeOf(SDLK_RIGHTBRACKET), 93);
    // Keys that keep their virtual key.
    EXPECT_EQ(codeOf(SDLK_BACKQUOTE), 192);
    EXPECT_EQ(codeOf(SDLK_QUOTE), 222);
    EXPECT_EQ(codeOf(SDLK_KP_0), 96);
    EXPECT_EQ(codeOf(SDLK_KP_9), 105);
    EXPECT_EQ(codeOf(SDLK_KP_MINUS), 109);
    // Keys without a code are not delivered.
    EXPECT_EQ(codeOf(SDLK_AUDIOPLAY), -1);
}

TEST(SdlKeys, PhysicalPositionWhenTheSymbolMeansNothing) {
    // A Cyrillic layout's key in the A position reports U+0444 as its symbol.
    EXPECT_EQ(codeOf(0x0444, SDL_SCANCODE_A), 65);
    EXPECT_EQ(codeOf(0x0444, SDL_SCANCODE_0), 48);
    EXPECT_EQ(codeOf(0x0444, SDL_SCANCODE_1), 49);
    EXPECT_EQ(codeOf(0x0444, SDL_SCANCODE_MINUS), 108);
    // The symbol wins where it has a meaning: an AZERTY A sits at the Q position.
    EXPECT_EQ(codeOf(SDLK_a, SDL_SCANCODE_Q), 65);
}

TEST(SdlKeys, EveryKeyMapsIntoTheDownTable) {
    // Down flags are indexed by the virtual key: it must stay within 0..255 for any input.
    for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) {
        const SDL_Keycode symbol = SDL_SCANCODE_TO_KEYCODE(scancode);
        for (SDL_Keycode s : {symbol, SDL_Keycode(scancode), SDL_Keycode(0x10000 + scancode)}) {
            const int key = virtualKeyFor(s, SDL_Scancode(scancode));
            ASSERT_TRUE(key == kNoVirtualKey || (key >= 0 && key < kVirtualKeyCount)) << key;
        }
    }
}

}  // namespace
}  // namespace PixelDisplay
