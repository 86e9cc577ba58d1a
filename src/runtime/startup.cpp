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

// Each texture name of a text mesh becomes a texture in the table and an unlit textured
// material for the faces that carry that name.
void bindTextureMaterials(Mesh& mesh, TextureTable& table, const std::string& dataDir) {
    for (int slot = 1; slot < mesh.textureNameCount; ++slot) {
        const char* name = mesh.textureNames[slot];
        if (table.count >= kMaxTextures) {
            std::printf("too many textures: %s does not fit the texture table\n", name);
            std::exit(1);
        }
        Material* material = new Material{{0.0f, 0.0f, 0.0f, 0.0f}, -1, 0};
        const int index = table.count;
        table.textures[index] = loadDataTexture(dataDir, name, name);
        table.count = index + 1;
        material->textureIndex = index;
        material->shaderType = kShaderTextured;
        for (int f = 0; f < mesh.faceCount; ++f) {
            if (mesh.faces[f].materialIndex == slot) mesh.faces[f].material = material;
        }
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

void loadStartupAssets(StartupObjects& objects, float* framebuffer, const ScreenSize& screen,
                       const std::string& dataDir) {
    objects.random = new MTRand(kDemoSeed);

    objects.screen = screen;
    objects.textureTable = new TextureTable{};
    objects.viewVolume = createViewVolume(framebuffer, screen);
    objects.context = createRenderContext(objects.textureTable, objects.viewVolume);

    static const char* const kGreetFiles[kGreetImageCount] = {
        "g-greetings.png", "g-qor.png", "g-vantle.png", "g-plum.png", "g-zub.png", "g-crew.png"};
    objects.greetImages[0] = nullptr;
    for (int i = 0; i < kGreetImageCount; ++i) {
        objects.greetImages[i + 1] = loadDataTexture(dataDir, kGreetFiles[i], "greet1");
    }
    objects.compofiller = loadDataTexture(dataDir, "compofiller.png", "compofiller");
    objects.cred1 = loadDataTexture(dataDir, "cred1.png", "cred1");
    objects.cred2 = loadDataTexture(dataDir, "cred2.png", "cred2");
    objects.hearts = loadDataTexture(dataDir, "hearts512.png", "hearts512");

    Mesh* wall = loadDataMesh(dataDir, "blockwall.fobj");
    wall->material->colour[0] = 0.1328125f;
    wall->material->colour[1] = 0.19921875f;
    wall->material->colour[2] = 0.3984375f;
    wall->material->shaderType = kShaderLitColour;
    wall->rotation = identityMatrix();
    rotateX(wall->rotation, 0.1f);
    rotateY(wall->rotation, -0.2f);
    rotateZ(wall->rotation, 0.1f);
    wall->position.m[12] = -50.0f;
    wall->position.m[13] = 0.0f;
    wall->position.m[14] = -500.0f;
    wall->position.m[15] = 1.0f;
    wall->scale = 50.0f;
    objects.blockwall = wall;

    objects.spintext1 = loadDataMesh(dataDir, "spintext1.fobj");
    objects.spintext1->material->shaderType = kShaderHidden;
    bindTextureMaterials(*objects.spintext1, *objects.textureTable, dataDir);
    objects.spintext2 = loadDataMesh(dataDir, "spintext2.fobj");
    objects.spintext2->material->shaderType = kShaderHidden;
    bindTextureMaterials(*objects.spintext2, *objects.textureTable, dataDir);

    objects.city = loadDataMesh(dataDir, "city.fobj");
    objects.light = new Light{{0.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 0.0f}, 100.0f};
    objects.cube = loadDataMesh(dataDir, "cube.fobj");
}

void placeRandomObjects(StartupObjects& objects, const std::string& dataDir) {
    MTRand& random = *objects.random;
    for (int i = 0; i < kSpikeCount; ++i) {
        Mesh* spike = loadDataMesh(dataDir, "koxspike1fixed.obj");
        spike->material->shaderType = kShaderLitYellow;
        spike->scale = 1.0f;
        double d[6];
        for (double& draw : d) draw = random.nextUnit();
        spike->position.m[12] = static_cast<float>((d[2] - 0.5) * 2000.0);
        spike->position.m[13] = static_cast<float>((d[1] - 0.5) * 2000.0);
        spike->position.m[14] = static_cast<float>((d[0] - 0.5) * 2000.0);
        spike->position.m[15] = 1.0f;
        spike->rotation = identityMatrix();
        objects.spikeSpin[i] = {static_cast<float>(d[5]), static_cast<float>(d[4]),
                                static_cast<float>(d[3]), 0.0f};
        objects.spikes[i] = spike;
    }
    for (Particle& particle : objects.particles) particle.material = {{0, 0, 0, 0}, -1, 0};
    fillParticles(objects.particles, random);
}

void updateLight(Light& light, double currentTime) {
    light.world.x = static_cast<float>(90.0 * std::sin(currentTime));
    light.world.y = 40.0f;
    light.world.z = static_cast<float>(90.0 * std::cos(currentTime));
    light.world.w = 0.0f;
}
