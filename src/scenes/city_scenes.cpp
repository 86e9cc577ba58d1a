#include <algorithm>
#include <cstring>

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
        float* pixel = job.framebuffer + static_cast<long>(y) * screen.width * 4;
        for (int x = 0; x < screen.width; ++x, pixel += 4) {
            pixel[0] = 0.0f;
            pixel[1] = 0.0f;
            pixel[2] = blue;
            pixel[3] = 0.0f;
        }
    }
}

// The city with its material of the frame, rotating at cityrot radians per second; submitted,
// not flushed.
void submitCity(StartupObjects& objects, const SceneInput& input, float grey) {
    Mesh& city = *objects.city;
    Material& material = *city.material;
    material.colour[0] = grey;
    material.colour[1] = grey;
    material.colour[2] = grey;
    material.shaderType = kShaderLitColour;
    city.scale = toFloat(input.tracks.cityscale);
    setMeshPosition(city, 0.0f, 0.0f, 0.0f);
    setMeshRotation(city, 0.0f, toFloat(input.tracks.cityrot * input.sceneTime), 0.0f);
    submitPlacedMesh(city, input.freeCamera, *objects.context);
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

void drawGreetingBanner(float* framebuffer, const ScreenSize& screen, StartupObjects& objects,
                        double greet) {
    const int g = roundChoice(greet);
    if (g < 1 || g > kGreetImageCount) return;
    const Texture* image = objects.greetImages[g];
    if (image == nullptr || image->texels == nullptr) return;
    const int rows = image->height < kBannerRows ? image->height : kBannerRows;
    const int columns = image->width < kScreenWidth ? image->width : kScreenWidth;
    if (columns < 1 || rows < 1) return;
    if (screen.scale != 1.0) {
        drawBannerScaled(framebuffer, screen, *image, rows, columns);
        return;
    }
    for (int r = 0; r < rows; ++r) {
        std::memcpy(framebuffer + static_cast<long>(kBannerTopRow + r) * screen.width * 4,
                    image->texels + static_cast<long>(r) * image->width * 4,
                    sizeof(float) * 4 * columns);
    }
}

void drawCitySilhouette(StartupObjects& objects, const SceneInput& input) {
    float* framebuffer = objects.viewVolume->framebuffer;
    const ScreenSize& screen = objects.screen;
    // A whole screen of writes: shared out like the clear.
    SkyJob sky{framebuffer, &screen};
    runBands(objects.context->pool, fillSkyRows, &sky,
             (screen.height + kSkyBandRows - 1) / kSkyBandRows);
    beginPass(*objects.context, *objects.light, input.freeCamera);
    submitCity(objects, input, 0.0f);
    flushContext(*objects.context);
    drawGreetingBanner(framebuffer, screen, objects, input.tracks.greet);
}

void drawGreyCity(StartupObjects& objects, const SceneInput& input) {
    beginPass(*objects.context, *objects.light, input.freeCamera);
    submitCity(objects, input, 0.5f);
    flushContext(*objects.context);
}

void drawCityAndSpikes(StartupObjects& objects, const SceneInput& input) {
    RenderContext& context = *objects.context;
    beginPass(context, *objects.light, input.freeCamera);
    submitCity(objects, input, 0.5f);
    const float e = toFloat(input.sceneTime);
    const float scale = toFloat(input.tracks.pscale);
    for (int i = 0; i < kSpikeCount; ++i) {
        Mesh& spike = *objects.spikes[i];
        const Vec4& spin = objects.spikeSpin[i];
        spike.scale = scale;
        setMeshRotation(spike, spin.x * e, spin.y * e, spin.z * e);
        submitPlacedMesh(spike, input.freeCamera, context);
    }
    flushContext(context);
}

void drawCubeGrid(StartupObjects& objects, const SceneInput& input) {
    RenderContext& context = *objects.context;
    Mesh& cube = *objects.cube;
    beginPass(context, *objects.light, input.freeCamera);
    // Shader, scale and rotation are the same for every cube: set once, not 1600 times.
    cube.material->shaderType = kShaderLitYellow;
    cube.scale = 0.4f;
    setMeshRotation(cube, 0.0f, 0.0f, 0.0f);
    for (int y = -120; y < 120; y += 6) {
        for (int x = -120; x < 120; x += 6) {
            setMeshPosition(cube, static_cast<float>(x), static_cast<float>(y), -50.0f);
            submitPlacedMesh(cube, input.freeCamera, context);
        }
    }
    flushContext(context);
}
