// The show's data files: one table of every file in the data folder besides the track files,
// what each is, where start-up puts it and what it binds. Start-up, the edit mode's reload,
// the asset generator and the build all read this table; the build takes the names from it,
// one entry a line, as `{"name", DataRole::...`. The track files are named by the track table
// (scenes/track_values.h): trackFileName.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Where start-up puts a picture or a mesh in the scenes' assets (scenes/scene_objects.h).
enum PictureSlot : int {
    kGreetPicture1,  // scene 3's six banners, shown one at a time by the `greet` track
    kGreetPicture2,
    kGreetPicture3,
    kGreetPicture4,
    kGreetPicture5,
    kGreetPicture6,
    kTitlePicture,    // the compofiller picture over every scene, steered by `cfy`
    kCredit1Picture,  // the credit pictures, faded by `cred1` and `cred2`
    kCredit2Picture,
    kTwisterPicture,  // scene 6's texture
    kPictureSlots
};
enum MeshSlot : int {
    kWallMesh,   // scene 2, behind the flower
    kText1Mesh,  // scene 1's two lettering meshes, one shown by `spinchoice`
    kText2Mesh,
    kCityMesh,   // scenes 3, 4 and 5
    kCubeMesh,   // scene 7, placed 1600 times
    kSpikeMesh,  // scene 5, placed 64 times
    kMeshSlots
};

enum class DataRole {
    kMusic,             // the music the show plays and follows
    kPicture,           // a picture in its PictureSlot
    kLetteringPicture,  // a texture a lettering mesh names: start-up puts it in the texture table
    kLitMesh,           // a mesh lit in its own colour, set here
    kYellowMesh,        // a mesh lit in the fixed yellow
    kLetteringMesh,     // a mesh of letters, unlit, textured by the pictures it names
    kSceneMesh,         // a mesh whose scene gives it its material every frame
};

struct DataFile {
    const char* name;  // in the data folder
    DataRole role;
    int slot;             // PictureSlot or MeshSlot; -1 for the music and lettering pictures
    const char* texture;  // the name a picture's texture carries; the lettering picture a
                          // lettering mesh is made to name
    const char* text;     // the key of assets/texts.txt the generator draws it from, if any
    float colour[3];      // kLitMesh: its colour
};

// One entry a line: the build reads the names from here.
// clang-format off
inline constexpr DataFile kDataFiles[] = {
    {"demo110.mp3", DataRole::kMusic, -1, nullptr, nullptr, {}},
    {"g-greetings.png", DataRole::kPicture, kGreetPicture1, "greet1", "greet1", {}},
    {"g-qor.png", DataRole::kPicture, kGreetPicture2, "greet1", "greet2", {}},
    {"g-vantle.png", DataRole::kPicture, kGreetPicture3, "greet1", "greet3", {}},
    {"g-plum.png", DataRole::kPicture, kGreetPicture4, "greet1", "greet4", {}},
    {"g-zub.png", DataRole::kPicture, kGreetPicture5, "greet1", "greet5", {}},
    {"g-crew.png", DataRole::kPicture, kGreetPicture6, "greet1", "greet6", {}},
    {"compofiller.png", DataRole::kPicture, kTitlePicture, "compofiller", "title", {}},
    {"cred1.png", DataRole::kPicture, kCredit1Picture, "cred1", "credits1", {}},
    {"cred2.png", DataRole::kPicture, kCredit2Picture, "cred2", "credits2", {}},
    {"hearts512.png", DataRole::kPicture, kTwisterPicture, "hearts512", nullptr, {}},
    {"spintext1.png", DataRole::kLetteringPicture, -1, "spintext1.png", nullptr, {}},
    {"spintext2.png", DataRole::kLetteringPicture, -1, "spintext2.png", nullptr, {}},
    {"blockwall.fobj", DataRole::kLitMesh, kWallMesh, nullptr, nullptr, {0.1328125f, 0.19921875f, 0.3984375f}},
    {"spintext1.fobj", DataRole::kLetteringMesh, kText1Mesh, "spintext1.png", "lettering1", {}},
    {"spintext2.fobj", DataRole::kLetteringMesh, kText2Mesh, "spintext2.png", "lettering2", {}},
    {"city.fobj", DataRole::kSceneMesh, kCityMesh, nullptr, nullptr, {}},
    {"cube.fobj", DataRole::kYellowMesh, kCubeMesh, nullptr, nullptr, {}},
    {"koxspike1fixed.obj", DataRole::kYellowMesh, kSpikeMesh, nullptr, nullptr, {}},
};
// clang-format on

inline constexpr int kDataFileCount = static_cast<int>(std::size(kDataFiles));

// The entry of a role's first file, of a picture slot, of a mesh slot, of a name; null for none.
constexpr const DataFile* dataFileOfRole(DataRole role) {
    for (const DataFile& file : kDataFiles) {
        if (file.role == role) return &file;
    }
    return nullptr;
}
constexpr const DataFile* pictureFile(PictureSlot slot) {
    for (const DataFile& file : kDataFiles) {
        if (file.role == DataRole::kPicture && file.slot == slot) return &file;
    }
    return nullptr;
}
constexpr const DataFile* meshFile(MeshSlot slot) {
    for (const DataFile& file : kDataFiles) {
        if (file.role >= DataRole::kLitMesh && file.slot == slot) return &file;
    }
    return nullptr;
}
constexpr const DataFile* dataFileNamed(std::string_view name) {
    for (const DataFile& file : kDataFiles) {
        if (name == file.name) return &file;
    }
    return nullptr;
}

// The music file's name.
inline constexpr const char* kMusicFile = dataFileOfRole(DataRole::kMusic)->name;

// Track files are "<kTrackFileBase>_<track>.track".
inline constexpr const char* kTrackFileBase = "sync";
inline std::string trackFileName(std::string_view track) {
    return std::string(kTrackFileBase) + "_" + std::string(track) + ".track";
}
