// Keyboard translation of the SDL display.
//
// A key goes through two steps, as on the Windows display: the SDL key becomes a virtual key
// (0..255, the Windows numbering: 'A'..'Z' 65..90, '0'..'9' 48..57, Enter 13, arrows 37..40,
// F1..F24 112..135, Shift 16, Ctrl 17, Alt 18, ';' 186, '-' 189, ...), which indexes the down
// flags; the virtual key then becomes the KeyCode handed to the listener, which is the virtual
// key itself except for twelve keys (Enter 10, Insert 155, Delete 127, the OEM punctuation
// keys to their ASCII characters, and minus to 108).
#pragma once

#include <SDL_keyboard.h>

#include "display/display.h"

namespace PixelDisplay {

constexpr int kNoVirtualKey = -1;
constexpr int kVirtualKeyCount = 256;

// Virtual keys the display acts on itself.
constexpr int kVirtualKeyReturn = 13;
constexpr int kVirtualKeyEscape = 27;

// The virtual key of an SDL key: by its key symbol (the layout's meaning, so letters do not
// depend on shift), else by its physical position for letters, digits and punctuation (layouts
// whose keys produce non-Latin symbols). kNoVirtualKey for keys without one.
int virtualKeyFor(SDL_Keycode symbol, SDL_Scancode scancode);

// The KeyCode delivered for a virtual key 0..255.
KeyCode keyCodeForVirtualKey(int virtualKey);

}  // namespace PixelDisplay
