#include "edit/live_show.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "assets/mesh.h"
#include "assets/texture.h"
#include "generator/common.h"
#include "generator/font.h"
#include "generator/meshgen.h"
#include "generator/music.h"
#include "generator/pictures.h"
#include "runtime/startup.h"

namespace {

constexpr const char* kGreetFiles[kGreetImageCount] = {
    "g-greetings.png", "g-qor.png", "g-vantle.png", "g-plum.png", "g-zub.png", "g-crew.png"};

// The show's slot of a picture, by the file it is loaded from; null for one it does not load
// through StartupObjects (the lettering textures live in the texture table).
Texture** pictureSlot(StartupObjects& objects, const std::string& file) {
    for (int i = 0; i < kGreetImageCount; ++i) {
        if (file == kGreetFiles[i]) return &objects.greetImages[i + 1];
    }
    if (file == "compofiller.png") return &objects.compofiller;
    if (file == "cred1.png") return &objects.cred1;
    if (file == "cred2.png") return &objects.cred2;
    if (file == "hearts512.png") return &objects.hearts;
    for (int i = 0; i < objects.textureTable->count; ++i) {
        Texture*& texture = objects.textureTable->textures[i];
        if (texture && file == texture->name) return &texture;
    }
    return nullptr;
}

int tableIndex(const TextureTable& table, const char* name) {
    for (int i = 0; i < table.count; ++i) {
        if (table.textures[i] && std::strcmp(table.textures[i]->name, name) == 0) return i;
    }
    return -1;
}

// As the start-up binds a text mesh: hidden default material, one unlit textured material per
// texture name, found in the table by that name.
void bindLettering(Mesh& mesh, const TextureTable& table, std::vector<Material*>& made) {
    mesh.material->shaderType = kShaderHidden;
    for (int slot = 1; slot < mesh.textureNameCount; ++slot) {
        auto* material = new Material{{0.0f, 0.0f, 0.0f, 0.0f}, -1, 0};
        material->textureIndex = tableIndex(table, mesh.textureNames[slot]);
        material->shaderType = material->textureIndex >= 0 ? kShaderTextured : kShaderHidden;
        made.push_back(material);
        for (int f = 0; f < mesh.faceCount; ++f) {
            if (mesh.faces[f].materialIndex == slot) mesh.faces[f].material = material;
        }
    }
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
    const auto lettering = [&](const char* key, double centreX, const char* texture) {
        const auto found = texts.find(key);
        return found == texts.end()
                   ? std::string()
                   : assetgen::makeLettering(font, found->second, centreX, texture);
    };
    // The same placement as the generator's.
    const std::string meshes[2] = {lettering("lettering1", 36.0, "spintext1.png"),
                                   lettering("lettering2", -36.0, "spintext2.png")};
    if (meshes[0].empty() || meshes[1].empty()) {
        message = fileName + ": 'lettering1' and 'lettering2' are needed";
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
    const char* names[2] = {"spintext1.fobj", "spintext2.fobj"};
    for (int i = 0; i < 2; ++i) {
        build.lettering[i] = parseMesh(meshes[i].data(), meshes[i].size(), names[i], message);
        if (!build.lettering[i]) {
            releasePictures(build);
            return false;
        }
    }
    message.clear();
    return true;
}

void swapPictures(StartupObjects& objects, PictureBuild& build) {
    for (size_t i = 0; i < build.files.size(); ++i) {
        Texture** slot = pictureSlot(objects, build.files[i]);
        if (!slot || !*slot) continue;
        // The show names some pictures after what they were (all banners are "greet1").
        std::memcpy(build.textures[i]->name, (*slot)->name, sizeof build.textures[i]->name);
        std::swap(*slot, build.textures[i]);
    }
    Mesh** meshes[2] = {&objects.spintext1, &objects.spintext2};
    for (int i = 0; i < 2; ++i) {
        if (!build.lettering[i]) continue;
        std::vector<Material*> made;
        bindLettering(*build.lettering[i], *objects.textureTable, made);
        std::swap(*meshes[i], build.lettering[i]);
        build.letteringMaterials[i] = std::move(made);
    }
}

void releasePictures(PictureBuild& build) {
    for (Texture* texture : build.textures) freeTexture(texture);
    build.textures.clear();
    build.files.clear();
    for (int i = 0; i < 2; ++i) {
        freeMesh(build.lettering[i]);
        build.lettering[i] = nullptr;
        for (Material* material : build.letteringMaterials[i]) delete material;
        build.letteringMaterials[i].clear();
    }
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

void LiveShow::loadNow(Show& show) {
    changed(timelinePath_, timelineWatch_);
    changed(textsPath_, textsWatch_);
    reloadTimeline(show, nullptr, true);
    std::string text;
    if (readSource(textsPath_, text, textsError_)) startPictures(text);
    finishPictures(show, true);
}

void LiveShow::poll(Show& show, MusicPlayer* music) {
    if (changed(timelinePath_, timelineWatch_)) reloadTimeline(show, music, false);
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
    finishPictures(show, false);
    finishMusic(music, false);
}

void LiveShow::settle(Show& show, MusicPlayer* music) {
    while (pictures_.valid() || music_.valid()) {
        finishPictures(show, true);
        finishMusic(music, true);
    }
}

void LiveShow::reloadTimeline(Show& show, MusicPlayer* music, bool startUp) {
    std::string text;
    if (!readSource(timelinePath_, text, timelineError_)) return;
    TimelineBuild build;
    std::string message;
    if (!buildTimeline(text, timelinePath_, build, message)) {
        timelineError_ = message;
        return;
    }
    timelineError_.clear();
    swapTracks(show.tracks, build);
    releaseTimeline(build);
    current_ = build.timeline;
    haveTimeline_ = true;
    sections_ = sectionTable(current_);
    if (startUp) {
        playing_ = current_;
        return;
    }
    ++timelineReloads_;
    if (music && !sameArrangement(current_, playing_)) {
        if (music_.valid()) {
            pendingMusic_ = current_;
            musicPending_ = true;
        } else {
            startMusic(current_);
        }
    }
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

void LiveShow::finishPictures(Show& show, bool wait) {
    if (!pictures_.valid()) return;
    if (!wait && pictures_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    PictureJob job = pictures_.get();
    if (job.ok) {
        textsError_.clear();
        swapPictures(show.objects, *job.build);
        // The old lettering's materials were made by us unless they came from the start-up.
        for (int i = 0; i < 2; ++i)
            std::swap(letteringMaterials_[i], job.build->letteringMaterials[i]);
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
