#include "edit/live_show.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "assets/mesh.h"
#include "assets/texture.h"
#include "edit/music_loudness.h"
#include "generator/common.h"
#include "generator/font.h"
#include "generator/meshgen.h"
#include "generator/music.h"
#include "generator/pictures.h"
#include "runtime/startup.h"

namespace {

// The assets' slot of a picture, by the file it is loaded from; null for one they do not
// hold (the lettering textures live in the texture table, by name).
Texture** pictureSlot(SceneAssets& assets, const std::string& file) {
    const DataFile* entry = dataFileNamed(file);
    if (entry && entry->role == DataRole::kPicture) return &assets.pictures[entry->slot];
    for (int i = 0; i < assets.textureTable.count; ++i) {
        Texture*& texture = assets.textureTable.textures[i];
        if (texture && file == texture->name) return &texture;
    }
    return nullptr;
}

bool readSource(const std::string& path, std::string& text, std::string& message) {
    return assetgen::readTextFile(path, text, message);
}

}  // namespace

bool buildTimeline(const std::string& text, const std::string& fileName, TimelineBuild& build,
                   std::string& message) {
    if (!assetgen::parseTimeline(text, fileName, build.timeline, message)) return false;
    for (int i = 0; i < kTrackCount; ++i) {
        const assetgen::Bytes bytes = assetgen::encodeTrack(build.timeline.tracks[i]);
        SyncTrack& track = build.tracks[i];
        track.name = const_cast<char*>(kTracks[i].name);
        std::string note;
        const std::string path = fileName + " (" + kTracks[i].name + ")";
        if (parseTrack(bytes.data(), bytes.size(), path.c_str(), &track, &note) != 0 ||
            !note.empty()) {
            message = note.empty() ? path + ": the keys cannot be made" : note;
            releaseTimeline(build);
            return false;
        }
    }
    return true;
}

void swapTracks(DemoTracks& tracks, TimelineBuild& build) {
    for (int i = 0; i < kTrackCount; ++i) {
        SyncTrack* live = tracks.tracks[i];
        if (!live) continue;
        std::swap(live->keys, build.tracks[i].keys);
        std::swap(live->keyCount, build.tracks[i].keyCount);
    }
}

void releaseTimeline(TimelineBuild& build) {
    for (SyncTrack& track : build.tracks) {
        std::free(track.keys);
        track.keys = nullptr;
        track.keyCount = 0;
    }
}

SectionTable sectionTable(const assetgen::Timeline& timeline) {
    SectionTable table;
    for (const auto& section : timeline.sections) table.starts.push_back(section.row);
    table.endRow = timeline.endRow;
    return table;
}

bool sameArrangement(const assetgen::Timeline& a, const assetgen::Timeline& b) {
    if (a.endRow != b.endRow || a.sections.size() != b.sections.size()) return false;
    for (size_t i = 0; i < a.sections.size(); ++i) {
        if (a.sections[i].row != b.sections[i].row || a.sections[i].part != b.sections[i].part)
            return false;
    }
    return true;
}

bool buildPictures(const std::string& text, const std::string& fileName, PictureBuild& build,
                   std::string& message) {
    assetgen::Texts texts;
    if (!assetgen::parseTexts(text, fileName, texts, message)) return false;
    assetgen::Font font;
    if (!font.open(ASSETGEN_FONT, message)) return false;
    std::vector<assetgen::Picture> pictures;
    if (!assetgen::makePictures(font, texts, pictures, message)) {
        if (message.rfind(fileName, 0) != 0) message = fileName + ": " + message;
        return false;
    }
    std::vector<assetgen::MeshText> meshes;
    if (!assetgen::makeLetteringMeshes(font, texts, meshes, message)) {
        message = fileName + ": " + message;
        return false;
    }
    for (const auto& picture : pictures) {
        // The samples the PNG file would hold, widened as the decoder widens them; the
        // compression in between changes nothing and would cost most of the time.
        DecodedImage image;
        image.width = picture.image.width;
        image.height = picture.image.height;
        const std::vector<uint8_t> samples = assetgen::pixelBytes(picture.image, picture.withAlpha);
        if (picture.withAlpha) {
            image.rgba = samples;
        } else {
            image.rgba.resize(samples.size() / 3 * 4);
            for (size_t i = 0, n = samples.size() / 3; i < n; ++i) {
                image.rgba[4 * i] = samples[3 * i];
                image.rgba[4 * i + 1] = samples[3 * i + 1];
                image.rgba[4 * i + 2] = samples[3 * i + 2];
                image.rgba[4 * i + 3] = 255;
            }
        }
        int code = kPngOk;
        Texture* texture = makeTexture(image, picture.file.c_str(), "", code, message);
        if (!texture) {
            releasePictures(build);
            return false;
        }
        build.files.push_back(picture.file);
        build.textures.push_back(texture);
    }
    for (const assetgen::MeshText& mesh : meshes) {
        Mesh*& slot = build.meshes[mesh.file->slot];
        slot = parseMesh(mesh.text.data(), mesh.text.size(), mesh.file->name, message);
        if (!slot) {
            releasePictures(build);
            return false;
        }
    }
    message.clear();
    return true;
}

void swapPictures(SceneAssets& assets, PictureBuild& build) {
    for (size_t i = 0; i < build.files.size(); ++i) {
        Texture** slot = pictureSlot(assets, build.files[i]);
        if (!slot || !*slot) continue;
        // The show names some pictures after what they were (all banners are "greet1").
        std::memcpy(build.textures[i]->name, (*slot)->name, sizeof build.textures[i]->name);
        std::swap(*slot, build.textures[i]);
    }
    for (int slot = 0; slot < kMeshSlots; ++slot) {
        if (build.meshes[slot]) std::swap(assets.meshes[slot], build.meshes[slot]);
    }
    // The old lettering materials go with the old meshes; every lettering mesh gets its own
    // anew, naming the textures the table holds now.
    std::swap(build.letteringMaterials, assets.letteringMaterials);
    for (const DataFile& file : kDataFiles) {
        Mesh* mesh = file.role == DataRole::kLetteringMesh ? assets.meshes[file.slot] : nullptr;
        if (mesh) bindMeshMaterials(file, *mesh, assets);
    }
}

void releasePictures(PictureBuild& build) {
    for (Texture* texture : build.textures) freeTexture(texture);
    build.textures.clear();
    build.files.clear();
    for (Mesh*& mesh : build.meshes) {
        freeMesh(mesh);
        mesh = nullptr;
    }
    for (Material* material : build.letteringMaterials) delete material;
    build.letteringMaterials.clear();
}

bool buildMusic(const assetgen::Timeline& timeline, std::vector<int16_t>& pcm,
                std::string& message) {
    assetgen::Song song;
    if (!assetgen::renderSong(timeline, assetgen::kAllStems, song, message)) return false;
    pcm.resize(song.left.size() * 2);
    const auto sample = [](float x) {
        return static_cast<int16_t>(std::lround(std::clamp(x, -1.0f, 1.0f) * 32767.0f));
    };
    for (size_t i = 0; i < song.left.size(); ++i) {
        pcm[2 * i] = sample(song.left[i]);
        pcm[2 * i + 1] = sample(song.right[i]);
    }
    return true;
}

LiveShow::LiveShow(std::string assetsDir)
    : timelinePath_(dataPath(assetsDir, "timeline.txt")),
      textsPath_(dataPath(assetsDir, "texts.txt")) {}

LiveShow::~LiveShow() {
    if (pictures_.valid()) {
        PictureJob job = pictures_.get();
        if (job.build) releasePictures(*job.build);
    }
    if (music_.valid()) music_.wait();
}

bool LiveShow::changed(const std::string& path, Watched& watched) {
    std::error_code error;
    const auto time = std::filesystem::last_write_time(path, error);
    const uintmax_t size = error ? 0 : std::filesystem::file_size(path, error);
    if (error) {
        // Gone for a moment (an editor replacing the file): look again next frame.
        const bool first = !watched.seen;
        watched.seen = true;
        return first;
    }
    if (watched.seen && time == watched.time && size == watched.size) return false;
    watched = Watched{time, size, true};
    return true;
}

void LiveShow::loadNow(ShowAssets& assets) {
    changed(timelinePath_, timelineWatch_);
    changed(textsPath_, textsWatch_);
    readTimeline();
    if (!savedTimelineTaken_ && applyTimeline(assets, nullptr, savedTimeline_)) {
        playing_ = current_;
        timelineReloads_ = 0;
    }
    std::string text;
    if (readSource(textsPath_, text, textsError_)) startPictures(text);
    finishPictures(assets, true);
}

void LiveShow::poll(ShowAssets& assets, MusicPlayer* music) {
    if (changed(timelinePath_, timelineWatch_)) readTimeline();
    if (changed(textsPath_, textsWatch_)) {
        std::string text;
        if (!readSource(textsPath_, text, textsError_)) {
            // Kept as the message until the file can be read again.
        } else if (pictures_.valid()) {
            pendingTexts_ = text;
            texturesPending_ = true;
        } else {
            startPictures(text);
        }
    }
    finishPictures(assets, false);
    finishMusic(music, false);
}

void LiveShow::settle(ShowAssets& assets, MusicPlayer* music) {
    while (pictures_.valid() || music_.valid()) {
        finishPictures(assets, true);
        finishMusic(music, true);
    }
}

void LiveShow::readTimeline() {
    std::string text;
    if (!readSource(timelinePath_, text, timelineError_)) return;
    savedTimeline_ = text;
    savedTimelineTaken_ = false;
}

bool LiveShow::takeSavedTimeline(std::string& text) {
    if (savedTimelineTaken_) return false;
    savedTimelineTaken_ = true;
    text = savedTimeline_;
    return true;
}

void LiveShow::timelineWritten() {
    changed(timelinePath_, timelineWatch_);
}

bool LiveShow::applyTimeline(ShowAssets& assets, MusicPlayer* music, const std::string& text) {
    TimelineBuild build;
    std::string message;
    if (!buildTimeline(text, timelinePath_, build, message)) {
        timelineError_ = message;
        return false;
    }
    timelineError_.clear();
    swapTracks(assets.tracks, build);
    releaseTimeline(build);
    current_ = build.timeline;
    haveTimeline_ = true;
    sections_ = sectionTable(current_);
    ++timelineReloads_;
    if (music && !sameArrangement(current_, playing_)) {
        if (music_.valid()) {
            pendingMusic_ = current_;
            musicPending_ = true;
        } else {
            startMusic(current_);
        }
    }
    return true;
}

void LiveShow::measureMusic(const MusicPlayer& music) {
    size_t count = 0;
    const int16_t* samples = music.decodedSamples(count);
    loudness_ = rowLoudness(samples, count);
}

void LiveShow::startPictures(const std::string& text) {
    const std::string fileName = textsPath_;
    pictures_ = std::async(std::launch::async, [text, fileName] {
        PictureJob job;
        job.build = std::make_unique<PictureBuild>();
        job.ok = buildPictures(text, fileName, *job.build, job.message);
        return job;
    });
}

void LiveShow::finishPictures(ShowAssets& assets, bool wait) {
    if (!pictures_.valid()) return;
    if (!wait && pictures_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    PictureJob job = pictures_.get();
    if (job.ok) {
        textsError_.clear();
        swapPictures(assets.scenes, *job.build);
        releasePictures(*job.build);
        ++pictureReloads_;
    } else {
        textsError_ = job.message;
    }
    if (texturesPending_) {
        texturesPending_ = false;
        startPictures(pendingTexts_);
    }
}

void LiveShow::startMusic(const assetgen::Timeline& timeline) {
    music_ = std::async(std::launch::async, [timeline] {
        MusicJob job;
        job.ok = buildMusic(timeline, job.pcm, job.message);
        if (job.ok) job.loudness = rowLoudness(job.pcm.data(), job.pcm.size());
        return job;
    });
    playing_ = timeline;
}

void LiveShow::finishMusic(MusicPlayer* music, bool wait) {
    if (!music_.valid()) return;
    if (!wait && music_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    MusicJob job = music_.get();
    if (job.ok && music && music->replaceStream(std::move(job.pcm))) {
        musicError_.clear();
        loudness_ = std::move(job.loudness);
        ++musicReloads_;
    } else if (!job.ok) {
        musicError_ = "music: " + job.message;
    }
    if (musicPending_) {
        musicPending_ = false;
        startMusic(pendingMusic_);
    }
}

std::vector<std::string> LiveShow::errors() const {
    std::vector<std::string> lines;
    for (const std::string* error : {&timelineError_, &textsError_, &musicError_}) {
        if (!error->empty()) lines.push_back(*error);
    }
    return lines;
}

std::string LiveShow::busy() const {
    std::string what;
    if (pictures_.valid()) what = "pictures";
    if (music_.valid()) what += what.empty() ? "music" : " music";
    return what;
}
