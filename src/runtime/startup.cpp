#include "runtime/startup.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/platform.h"
#include "scenes/discs.h"

namespace {

Mesh* loadDataMesh(const std::string& dataDir, const char* name) {
    return loadMesh(dataPath(dataDir, name).c_str());
}

Texture* loadDataTexture(const std::string& dataDir, const char* file, const char* name) {
    return loadTexture(dataPath(dataDir, file).c_str(), name);
}

// Each texture name of a text mesh not yet in the table becomes a texture there, loaded from
// the file of that name.
void loadLettering(const Mesh& mesh, SceneAssets& assets, const std::string& dataDir) {
    TextureTable& table = assets.textureTable;
    for (int slot = 1; slot < mesh.textureNameCount; ++slot) {
        const char* name = mesh.textureNames[slot];
        bool loaded = false;
        for (int i = 0; i < table.count; ++i)
            loaded |= std::strcmp(table.textures[i]->name, name) == 0;
        if (loaded) continue;
        if (table.count >= kMaxTextures) {
            std::printf("too many textures: %s does not fit the texture table\n", name);
            std::exit(1);
        }
        table.textures[table.count] = loadDataTexture(dataDir, name, name);
        ++table.count;
    }
}

}  // namespace

std::string dataPath(const std::string& dataDir, const char* name) {
    std::string path = dataDir;
    if (!path.empty() && path.back() != kPathSeparator && path.back() != '/') {
        path += kPathSeparator;
    }
    return path + name;
}

Texture* loadTexture(const char* path, const char* name) {
    int code = kPngOk;
    std::string message;
    Texture* texture = readTexture(path, name, code, message);
    if (texture) return texture;
    std::printf("error(%d) decoding png from %s\n", code, path);
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", message.c_str());
    waitForKeyWhenInteractive();
    std::exit(1);
}

Mesh* loadMesh(const char* path) {
    std::string message;
    std::vector<std::string> notes;
    Mesh* mesh = readMesh(path, message, &notes);
    for (const std::string& note : notes) std::printf("%s\n", note.c_str());
    if (mesh) return mesh;
    std::printf("%s\n", message.c_str());
    std::fflush(stdout);
    std::exit(1);
}

void loadSceneAssets(SceneAssets& assets, const std::string& dataDir) {
    assets.random = MTRand(kDemoSeed);
    for (const DataFile& file : kDataFiles) {
        switch (file.role) {
            case DataRole::kMusic:
            case DataRole::kLetteringPicture:  // loaded by the meshes that name them
                break;
            case DataRole::kPicture:
                assets.pictures[file.slot] = loadDataTexture(dataDir, file.name, file.texture);
                break;
            default: {
                Mesh* mesh = loadDataMesh(dataDir, file.name);
                assets.meshes[file.slot] = mesh;
                if (file.role == DataRole::kLetteringMesh) loadLettering(*mesh, assets, dataDir);
                bindMeshMaterials(file, *mesh, assets);
                break;
            }
        }
    }
}

void placeRandomObjects(SceneAssets& assets) {
    MTRand& random = assets.random;
    for (int i = 0; i < kSpikeCount; ++i) {
        double d[6];
        for (double& draw : d) draw = random.nextUnit();
        assets.spikePosition[i] = {static_cast<float>((d[2] - 0.5) * 2000.0),
                                   static_cast<float>((d[1] - 0.5) * 2000.0),
                                   static_cast<float>((d[0] - 0.5) * 2000.0), 0.0f};
        assets.spikeSpin[i] = {static_cast<float>(d[5]), static_cast<float>(d[4]),
                               static_cast<float>(d[3]), 0.0f};
    }
    for (Particle& particle : assets.startParticles) particle.material = {{0, 0, 0, 0}, -1, 0};
    fillParticles(assets.startParticles, random);
}

void updateLight(Light& light, double currentTime) {
    light.world.x = static_cast<float>(90.0 * std::sin(currentTime));
    light.world.y = 40.0f;
    light.world.z = static_cast<float>(90.0 * std::cos(currentTime));
    light.world.w = 0.0f;
}
