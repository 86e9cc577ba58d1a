// Program entry: the demo takes no arguments and reads everything from the data directory
// beside the program.
#include "audio/music_player.h"
#include "runtime/application.h"
#include "runtime/startup.h"

#ifdef _WIN32
#include "display/windows/windows_display.h"
#else
#include "display/sdl/sdl_display.h"
#endif

int main() {
#ifdef _WIN32
    PixelDisplay::DisplayInterface* platform = new PixelDisplay::WindowsDisplay();
#else
    PixelDisplay::DisplayInterface* platform = createSdlDisplayOrFallback();
#endif
    Application* application = new Application(platform, createMusicPlayer(), defaultDataDir());
    application->run();
    delete application;
    return 0;
}
