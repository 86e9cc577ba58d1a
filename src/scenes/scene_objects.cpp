#include "scenes/scene_objects.h"

#include <cstring>

#include "scenes/discs.h"

namespace {

// Every picture and mesh slot is given by exactly one data file.
constexpr bool everySlotFilledOnce() {
    int pictures[kPictureSlots] = {}, meshes[kMeshSlots] = {};
    for (const DataFile& file : kDataFiles) {
        if (file.role == DataRole::kPicture) ++pictures[file.slot];
        if (file.role >= DataRole::kLitMesh) ++meshes[file.slot];
    }
    for (int count : pictures) {
        if (count != 1) return false;
    }
    for (int count : meshes) {
        if (count != 1) return false;
    }
    return true;
}
static_assert(everySlotFilledOnce(), "a picture or mesh slot without exactly one data file");

void bindTextMaterials(Mesh& mesh, const TextureTable& table, std::vector<Material*>& made) {
    mesh.material->shaderType = kShaderHidden;
    for (int slot = 1; slot < mesh.textureNameCount; ++slot) {
        int index = -1;
        for (int i = 0; i < table.count && index < 0; ++i) {
            const Texture* texture = table.textures[i];
            if (texture && std::strcmp(texture->name, mesh.textureNames[slot]) == 0) index = i;
        }
        auto* material = new Material{
            {0.0f, 0.0f, 0.0f, 0.0f}, index, index >= 0 ? kShaderTextured : kShaderHidden};
        made.push_back(material);
        for (int f = 0; f < mesh.faceCount; ++f) {
            if (mesh.faces[f].materialIndex == slot) mesh.faces[f].material = material;
        }
    }
}

}  // namespace

void bindMeshMaterials(const DataFile& file, Mesh& mesh, SceneAssets& assets) {
    switch (file.role) {
        case DataRole::kLitMesh:
            for (int c = 0; c < 3; ++c) mesh.material->colour[c] = file.colour[c];
            mesh.material->shaderType = kShaderLitColour;
            break;
        case DataRole::kYellowMesh:
            mesh.material->shaderType = kShaderLitYellow;
            break;
        case DataRole::kLetteringMesh:
            bindTextMaterials(mesh, assets.textureTable, assets.letteringMaterials);
            break;
        default:
            break;  // the scene gives it its material
    }
}

void startSceneRun(SceneRun& run, const SceneAssets& assets, const ScreenSize& screen) {
    run.viewVolume = createViewVolume(screen);
    run.context = createRenderContext(&assets.textureTable, run.viewVolume);
    run.light = Light{{0.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 0.0f}, 100.0f};
    restartFallingDiscs(run, assets);
}

void endSceneRun(SceneRun& run) {
    destroyRenderContext(run.context);
    destroyViewVolume(run.viewVolume);
    run.context = nullptr;
    run.viewVolume = nullptr;
}

void freeSceneAssets(SceneAssets& assets) {
    for (Texture*& texture : assets.pictures) {
        freeTexture(texture);
        texture = nullptr;
    }
    for (int i = 0; i < assets.textureTable.count; ++i) {
        freeTexture(assets.textureTable.textures[i]);
        assets.textureTable.textures[i] = nullptr;
    }
    assets.textureTable.count = 0;
    for (Mesh*& mesh : assets.meshes) {
        freeMesh(mesh);
        mesh = nullptr;
    }
    for (Material* material : assets.letteringMaterials) delete material;
    assets.letteringMaterials.clear();
}
