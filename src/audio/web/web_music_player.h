// The music layer of the web page: the browser decodes the music file (the page does it while
// the data loads, since decoding is asynchronous) and plays it through Web Audio
// (web_audio.js). The position is read from the audio clock: the context time of the sound
// the output device is playing now, so the picture follows what is heard. Without Web Audio,
// or when the browser refuses to start it, the silent clock runs on real time.
#pragma once

#include "audio/music_player.h"

MusicPlayer* createWebMusicPlayer();
