#include <algorithm>

#include "render/frame_target.h"
#include "render/render_pool.h"
#include "render/screen.h"
#include "scenes/mesh_submission.h"
#include "scenes/picture_sampling.h"
#include "scenes/scene_blocks.h"
#include "scenes/scene_pass.h"

namespace {

constexpr int kBannerTopRow = 407;
constexpr int kBannerRows = kScreenHeight - kBannerTopRow;  // 73

float toFloat(double value) {
    return static_cast<float>(value);
}

constexpr int kSkyBandRows = 32;

struct SkyJob {
    float* framebuffer;
    const ScreenSize* screen;
};

// The dusk sky behind the skyline, brighter towards the top, with the clear's depth.
void fillSkyRows(void* data, int band) {
    const SkyJob& job = *static_cast<const SkyJob*>(data);
    const ScreenSize& screen = *job.screen;
    const int end = std::min((band + 1) * kSkyBandRows, screen.height);
    for (int y = band * kSkyBandRows; y < end; ++y) {
        // Values above 1 in the upper rows are kept; the display clamps.
        const float blue = toFloat(0.04 + 0.007 * (kScreenHeight - screen.picturePosition(y)));
        fillPixels(job.framebuffer + static_cast<long>(y) * screen.width * 4, screen.width, 0.0f,
                   0.0f, blue, 0.0f);
    }
}

// The city with its material of the frame, rotating at cityrot radians per second; submitted,
// not flushed.
void submitCity(const SceneAssets& assets, SceneRun& run, const SceneInput& input, float grey) {
    Material& material = run.cityMaterial;
    material = *assets.meshes[kCityMesh]->material;
    material.colour[0] = grey;
    material.colour[1] = grey;
    material.colour[2] = grey;
    material.shaderType = kShaderLitColour;
    MeshPlacement placement;
    placement.scale = toFloat(input.tracks.cityscale);
    setMeshRotation(placement, 0.0f, toFloat(input.tracks.cityrot * input.sceneTime), 0.0f);
    submitPlacedMesh(*assets.meshes[kCityMesh], placement, input.freeCamera, *run.context,
                     &material);
}

}  // namespace

namespace {

// The banner on a scaled screen: every float of the four nearest texels, weighted by distance.
void drawBannerScaled(float* framebuffer, const ScreenSize& screen, const Texture& image,
                      int pictureRows, int pictureColumns) {
    const int firstRow = screen.pixelFrom(kBannerTopRow);
    const int endRow = std::min(screen.pixelFrom(kBannerTopRow + pictureRows), screen.height);
    const int columns = std::min(screen.pixelFrom(pictureColumns), screen.width);
    // Every row reads the same columns.
    BilinearTap taps[kMaxScreenWidth];
    for (int x = 0; x < columns; ++x) {
        taps[x] = bilinearTap(screen.picturePosition(x), pictureColumns);
    }
    const long rowFloats = static_cast<long>(image.width) * 4;
    for (int y = firstRow; y < endRow; ++y) {
        const BilinearTap v = bilinearTap(screen.picturePosition(y) - kBannerTopRow, pictureRows);
        const float* row0 = image.texels + v.i0 * rowFloats;
        const float* row1 = image.texels + v.i1 * rowFloats;
        float* pixel = framebuffer + static_cast<long>(y) * screen.width * 4;
        for (int x = 0; x < columns; ++x, pixel += 4) {
            Lanes<4>::store(pixel, sampleBilinear(row0, row1, taps[x], v.f));
        }
    }
}

}  // namespace

void drawGreetingBanner(const FrameTarget& target, const SceneAssets& assets, double greet) {
    float* framebuffer = target.framebuffer;
    const ScreenSize& screen = target.screen;
    const int g = roundChoice(greet);
    if (g < 1 || g > kGreetImageCount) return;
    const Texture* image = assets.pictures[kGreetPicture1 + g - 1];
    if (image == nullptr || image->texels == nullptr) return;
    const int rows = image->height < kBannerRows ? image->height : kBannerRows;
    const int columns = image->width < kScreenWidth ? image->width : kScreenWidth;
    if (columns < 1 || rows < 1) return;
    if (screen.scale != 1.0) {
        drawBannerScaled(framebuffer, screen, *image, rows, columns);
        return;
    }
    for (int r = 0; r < rows; ++r) {
        copyPixels(framebuffer + static_cast<long>(kBannerTopRow + r) * screen.width * 4,
                   image->texels + static_cast<long>(r) * image->width * 4, columns);
    }
}

void drawCitySilhouette(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                        const SceneInput& input) {
    const ScreenSize& screen = target.screen;
    // A whole screen of writes: shared out like the clear.
    SkyJob sky{target.framebuffer, &screen};
    runBands(target.pool, fillSkyRows, &sky, (screen.height + kSkyBandRows - 1) / kSkyBandRows);
    beginPass(*run.context, run.light, input.freeCamera);
    submitCity(assets, run, input, 0.0f);
    flushContext(*run.context, target);
    drawGreetingBanner(target, assets, input.tracks.greet);
}

void drawGreyCity(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                  const SceneInput& input) {
    beginPass(*run.context, run.light, input.freeCamera);
    submitCity(assets, run, input, 0.5f);
    flushContext(*run.context, target);
}

void drawCityAndSpikes(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                       const SceneInput& input) {
    RenderContext& context = *run.context;
    beginPass(context, run.light, input.freeCamera);
    submitCity(assets, run, input, 0.5f);
    const float e = toFloat(input.sceneTime);
    const float scale = toFloat(input.tracks.pscale);
    for (int i = 0; i < kSpikeCount; ++i) {
        const Vec4& spin = assets.spikeSpin[i];
        const Vec4& at = assets.spikePosition[i];
        MeshPlacement placement;
        placement.scale = scale;
        setMeshPosition(placement, at.x, at.y, at.z);
        setMeshRotation(placement, spin.x * e, spin.y * e, spin.z * e);
        submitPlacedMesh(*assets.meshes[kSpikeMesh], placement, input.freeCamera, context);
    }
    flushContext(context, target);
}

void drawCubeGrid(const SceneAssets& assets, SceneRun& run, const FrameTarget& target,
                  const SceneInput& input) {
    RenderContext& context = *run.context;
    beginPass(context, run.light, input.freeCamera);
    // Scale and rotation are the same for every cube: set once, not 1600 times.
    MeshPlacement placement;
    placement.scale = 0.4f;
    setMeshRotation(placement, 0.0f, 0.0f, 0.0f);
    for (int y = -120; y < 120; y += 6) {
        for (int x = -120; x < 120; x += 6) {
            setMeshPosition(placement, static_cast<float>(x), static_cast<float>(y), -50.0f);
            submitPlacedMesh(*assets.meshes[kCubeMesh], placement, input.freeCamera, context);
        }
    }
    flushContext(context, target);
}
