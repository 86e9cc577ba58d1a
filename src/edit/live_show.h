// Live reload of the edit mode: the timeline and the texts are rebuilt in the running program
// with the generator's own code, then swapped into the show at a frame boundary.
//
// The texts file is taken whenever it is saved. The timeline has two sources, the file and the
// track editor's grid, and the edit mode decides which plays: the file's text is read when it
// is saved (takeSavedTimeline) and made into tracks only when asked (applyTimeline), as is the
// grid's after each of its edits.
//
// What is rebuilt goes through exactly the bytes the build would write (track files, the PNG
// pictures' samples, lettering meshes), read back by the show's own readers, so the edit mode
// shows what the normal build of the same files shows. A file with a mistake changes nothing: its
// message ("file:line: what") is kept until the file is mended, and the last good show plays
// on. Pictures and music are made on background threads and swapped in when done; the tracks
// are made at once (they take well under a millisecond).
#pragma once

#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "edit/transport.h"
#include "generator/timeline.h"
#include "runtime/show.h"

// Every track's keys made from a timeline text; keys are std::malloc'd as the sync reader's.
struct TimelineBuild {
    assetgen::Timeline timeline;
    SyncTrack tracks[kTrackCount] = {};
};

bool buildTimeline(const std::string& text, const std::string& fileName, TimelineBuild& build,
                   std::string& message);
// Exchanges the keys of the assets' tracks with the build's: the build then holds the old
// keys, for releaseTimeline.
void swapTracks(DemoTracks& tracks, TimelineBuild& build);
void releaseTimeline(TimelineBuild& build);
SectionTable sectionTable(const assetgen::Timeline& timeline);
// Same section rows, parts and end: the music needs no new synthesis.
bool sameArrangement(const assetgen::Timeline& a, const assetgen::Timeline& b);

// The pictures the texts make, by the file name the show loads them from, and the two
// lettering meshes.
struct PictureBuild {
    std::vector<std::string> files;
    std::vector<Texture*> textures;
    Mesh* meshes[kMeshSlots] = {};              // the lettering meshes, in their slots
    std::vector<Material*> letteringMaterials;  // the replaced ones, after a swap
};

bool buildPictures(const std::string& text, const std::string& fileName, PictureBuild& build,
                   std::string& message);
// Puts the build's pictures and meshes in place of the assets' (same file names, same texture
// names) and binds the lettering's materials anew; the build then holds the old pictures,
// meshes and materials, for releasePictures.
void swapPictures(SceneAssets& assets, PictureBuild& build);
void releasePictures(PictureBuild& build);

// The arrangement synthesised as the build does, as the player's 16-bit stereo PCM.
bool buildMusic(const assetgen::Timeline& timeline, std::vector<int16_t>& pcm,
                std::string& message);

class LiveShow {
public:
    explicit LiveShow(std::string assetsDir);
    ~LiveShow();

    // Reads both files now, makes the timeline's tracks and waits for the pictures: the show
    // starts from the sources. The music is taken to be the data folder's, made from the same
    // arrangement.
    void loadNow(ShowAssets& assets);
    // Once per frame, before it is drawn: notices saved files, swaps in finished work.
    void poll(ShowAssets& assets, MusicPlayer* music);

    // The timeline file's text, once after each save (and the start's): true when there is
    // one not taken yet.
    bool takeSavedTimeline(std::string& text);
    // Makes the tracks of a timeline text and swaps them in; the music is synthesised anew in
    // the background when the arrangement changed. False when the text has a mistake: its
    // message is then the timeline's error, and the show keeps its tracks.
    bool applyTimeline(ShowAssets& assets, MusicPlayer* music, const std::string& text);
    // The edit mode wrote the timeline file itself: that save is not to be read back.
    void timelineWritten();

    // The music's loudness per row (music_loudness.h), of the music playing: measured from the
    // player at the start, and with each synthesis.
    void measureMusic(const MusicPlayer& music);
    const std::vector<float>& loudness() const { return loudness_; }

    // "file:line: what" of every source that is broken now, one line each; empty when none.
    std::vector<std::string> errors() const;
    const SectionTable& sections() const { return sections_; }
    // Background work under way ("pictures", "music"), empty when idle.
    std::string busy() const;
    // Reloads done (for tests and the heads-up display).
    int timelineReloads() const { return timelineReloads_; }
    int pictureReloads() const { return pictureReloads_; }
    int musicReloads() const { return musicReloads_; }
    // Waits for background work and swaps it in (tests).
    void settle(ShowAssets& assets, MusicPlayer* music);

    const std::string& timelinePath() const { return timelinePath_; }
    const std::string& textsPath() const { return textsPath_; }

private:
    struct Watched {
        std::filesystem::file_time_type time{};
        uintmax_t size = 0;
        bool seen = false;
    };
    struct PictureJob {
        std::unique_ptr<PictureBuild> build;
        std::string message;
        bool ok = false;
    };
    struct MusicJob {
        std::vector<int16_t> pcm;
        std::vector<float> loudness;
        std::string message;
        bool ok = false;
    };

    bool changed(const std::string& path, Watched& watched);
    void readTimeline();
    void startPictures(const std::string& text);
    void startMusic(const assetgen::Timeline& timeline);
    void finishPictures(ShowAssets& assets, bool wait);
    void finishMusic(MusicPlayer* music, bool wait);

    std::string timelinePath_;
    std::string textsPath_;
    Watched timelineWatch_;
    Watched textsWatch_;
    std::string savedTimeline_;  // the file's text as last read
    bool savedTimelineTaken_ = true;
    std::string timelineError_;
    std::string textsError_;
    std::string musicError_;
    assetgen::Timeline current_;  // the last good timeline
    bool haveTimeline_ = false;
    assetgen::Timeline playing_;  // the arrangement the music was made from
    SectionTable sections_;

    std::future<PictureJob> pictures_;
    std::string pendingTexts_;  // saved while a job ran: made next
    bool texturesPending_ = false;
    std::future<MusicJob> music_;
    assetgen::Timeline pendingMusic_;
    bool musicPending_ = false;

    std::vector<float> loudness_;

    int timelineReloads_ = 0;
    int pictureReloads_ = 0;
    int musicReloads_ = 0;
};
