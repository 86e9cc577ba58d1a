// Program entry: the demo takes no arguments and reads everything from the data directory
// beside the program.
#include "audio/music_player.h"
#include "display/display.h"
#include "runtime/application.h"
#include "runtime/platform.h"

int main() {
    Application* application = new Application(PixelDisplay::createPlatformDisplay(),
                                               createMusicPlayer(), defaultDataDir());
    application->run();
    delete application;
    return 0;
}
