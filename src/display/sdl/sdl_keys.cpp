#include "display/sdl/sdl_keys.h"

namespace PixelDisplay {

namespace {

// Keys whose symbol is not a plain letter or digit.
int virtualKeyForSymbol(SDL_Keycode symbol) {
    if (symbol >= SDLK_a && symbol <= SDLK_z) return 'A' + (symbol - SDLK_a);
    if (symbol >= SDLK_0 && symbol <= SDLK_9) return '0' + (symbol - SDLK_0);
    if (symbol >= SDLK_F1 && symbol <= SDLK_F12) return 112 + (symbol - SDLK_F1);
    if (symbol >= SDLK_F13 && symbol <= SDLK_F24) return 124 + (symbol - SDLK_F13);
    if (symbol >= SDLK_KP_1 && symbol <= SDLK_KP_9) return 97 + (symbol - SDLK_KP_1);
    switch (symbol) {
        case SDLK_BACKSPACE:
            return 8;
        case SDLK_TAB:
            return 9;
        case SDLK_CLEAR:
            return 12;
        case SDLK_RETURN:
        case SDLK_RETURN2:
        case SDLK_KP_ENTER:
            return kVirtualKeyReturn;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return 16;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return 17;
        case SDLK_LALT:
        case SDLK_RALT:
            return 18;
        case SDLK_PAUSE:
            return 19;
        case SDLK_CAPSLOCK:
            return 20;
        case SDLK_ESCAPE:
            return kVirtualKeyEscape;
        case SDLK_SPACE:
            return 32;
        case SDLK_PAGEUP:
            return 33;
        case SDLK_PAGEDOWN:
            return 34;
        case SDLK_END:
            return 35;
        case SDLK_HOME:
            return 36;
        case SDLK_LEFT:
            return 37;
        case SDLK_UP:
            return 38;
        case SDLK_RIGHT:
            return 39;
        case SDLK_DOWN:
            return 40;
        case SDLK_PRINTSCREEN:
            return 44;
        case SDLK_INSERT:
            return 45;
        case SDLK_DELETE:
            return 46;
        case SDLK_LGUI:
            return 91;
        case SDLK_RGUI:
            return 92;
        case SDLK_APPLICATION:
            return 93;
        case SDLK_KP_0:
            return 96;
        case SDLK_KP_MULTIPLY:
            return 106;
        case SDLK_KP_PLUS:
            return 107;
        case SDLK_KP_MINUS:
            return 109;
        case SDLK_KP_PERIOD:
            return 110;
        case SDLK_KP_DIVIDE:
            return 111;
        case SDLK_NUMLOCKCLEAR:
            return 144;
        case SDLK_SCROLLLOCK:
            return 145;
        case SDLK_SEMICOLON:
            return 186;
        case SDLK_EQUALS:
            return 187;
        case SDLK_COMMA:
            return 188;
        case SDLK_MINUS:
            return 189;
        case SDLK_PERIOD:
            return 190;
        case SDLK_SLASH:
            return 191;
        case SDLK_BACKQUOTE:
            return 192;
        case SDLK_LEFTBRACKET:
            return 219;
        case SDLK_BACKSLASH:
            return 220;
        case SDLK_RIGHTBRACKET:
            return 221;
        case SDLK_QUOTE:
            return 222;
        default:
            return kNoVirtualKey;
    }
}

// Positions of the US layout, for symbols that mean nothing above.
int virtualKeyForScancode(SDL_Scancode scancode) {
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
        return 'A' + (scancode - SDL_SCANCODE_A);
    }
    // SDL numbers the digit row 1..9 then 0.
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) {
        return '1' + (scancode - SDL_SCANCODE_1);
    }
    switch (scancode) {
        case SDL_SCANCODE_0:
            return '0';
        case SDL_SCANCODE_SEMICOLON:
            return 186;
        case SDL_SCANCODE_EQUALS:
            return 187;
        case SDL_SCANCODE_COMMA:
            return 188;
        case SDL_SCANCODE_MINUS:
            return 189;
        case SDL_SCANCODE_PERIOD:
            return 190;
        case SDL_SCANCODE_SLASH:
            return 191;
        case SDL_SCANCODE_GRAVE:
            return 192;
        case SDL_SCANCODE_LEFTBRACKET:
            return 219;
        case SDL_SCANCODE_BACKSLASH:
            return 220;
        case SDL_SCANCODE_RIGHTBRACKET:
            return 221;
        case SDL_SCANCODE_APOSTROPHE:
            return 222;
        default:
            return kNoVirtualKey;
    }
}

}  // namespace

int virtualKeyFor(SDL_Keycode symbol, SDL_Scancode scancode) {
    const int key = virtualKeyForSymbol(symbol);
    return key != kNoVirtualKey ? key : virtualKeyForScancode(scancode);
}

KeyCode keyCodeForVirtualKey(int virtualKey) {
    switch (virtualKey) {
        case kVirtualKeyReturn:
            return kKeyEnter;
        case 45:
            return 155;  // Insert
        case 46:
            return 127;  // Delete
        case 186:
            return ';';
        case 187:
            return '=';
        case 188:
            return ',';
        case 189:
            return 108;  // minus: 108, not '-', as the Windows display delivers it
        case 190:
            return '.';
        case 191:
            return '/';
        case 219:
            return '[';
        case 220:
            return '\\';
        case 221:
            return ']';
        default:
            return virtualKey;
    }
}

}  // namespace PixelDisplay
