#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scene_test_support.h"
#include "scenes/mesh_submission.h"
#include "scenes/scene_blocks.h"
#include "scenes/scene_pass.h"
#include "scenes/scenes.h"
#include "scenes/twister.h"

namespace {

const float* pixel(const std::vector<float>& fb, int x, int y) {
    return &fb[(static_cast<size_t>(y) * 640 + x) * 4];
}

// The demo's free camera at its start values.
Matrix4 startCamera() {
    Matrix4 m;
    viewMatrix(Vec3{0.0f, -8.0f, -44.0f}, m, Vec3{-0.6f, 0.0f, 0.0f});
    return m;
}

SceneInput baseInput() {
    SceneInput input{};
    input.currentTime = 20.0;
    input.sceneTime = 19.5;
    input.freeCamera = startCamera();
    input.tracks.cityscale = 1.0;
    input.tracks.cityrot = 0.3;
    input.tracks.ringdiv = 16.0;
    input.tracks.ringdistance = 1.0;
    input.tracks.ringthickness = 1.0;
    input.tracks.pscale = 1.0;
    return input;
}

bool allFinite(const std::vector<float>& fb) {
    for (float v : fb) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

double colourSum(const std::vector<float>& fb) {
    double sum = 0;
    for (size_t i = 0; i < fb.size(); i += 4) sum += fb[i] + fb[i + 1] + fb[i + 2];
    return sum;
}

bool insideVolume(float x, float y, float z) {
    return z <= -0.1f && z >= -3000.0f && std::fabs(y) <= 1.1917536f * -z &&
           std::fabs(x) <= 1.5890048f * -z;
}

}  // namespace

TEST(Scenes, OtherNumbersDrawNothing) {
    TestObjects o;
    const SceneInput input = baseInput();
    for (int scene : {0, 9, 11, -1, 100}) {
        o.runScene(scene, input);
        EXPECT_EQ(colourSum(o.test.framebuffer), 0.0) << scene;
    }
}

TEST(Scenes, EveryBlockDrawsWithinCapacity) {
    TestObjects o;
    SceneInput input = baseInput();
    for (int scene : {1, 2, 3, 4, 5, 6, 7, 8, 10}) {
        std::fill(o.test.framebuffer.begin(), o.test.framebuffer.end(), 0.0f);
        o.test.context->warnedThisFrame = false;
        o.runScene(scene, input);
        EXPECT_TRUE(countsWithinCapacity(*o.test.context)) << scene;
        EXPECT_FALSE(o.test.context->warnedThisFrame) << scene;
        EXPECT_TRUE(allFinite(o.test.framebuffer)) << scene;
        EXPECT_GT(colourSum(o.test.framebuffer), 0.0) << scene;
    }
    // Track values far outside their range must not break anything either.
    for (double wild : {-1e30, 1e30, 1e9, -7.0, 0.0}) {
        TrackValues& t = input.tracks;
        t.ringdiv = t.ringdistance = t.ringthickness = t.free = t.cityscale = t.cityrot = wild;
        t.spinrot = t.spinchoice = t.spiny = t.greet = t.pscale = wild;
        for (int scene : {1, 2, 3, 4, 5, 10}) {
            o.test.context->warnedThisFrame = false;
            o.runScene(scene, input);
            EXPECT_TRUE(countsWithinCapacity(*o.test.context)) << scene << " " << wild;
        }
    }
}

TEST(Scenes, TunnelResetsDepthBeforeTheText) {
    TestObjects o;
    SceneInput input = baseInput();
    input.tracks.free = 0.5;
    input.tracks.spiny = 1e5;  // the text far out of view: only the rings' colours remain
    o.runScene(1, input);
    EXPECT_GT(colourSum(o.test.framebuffer), 0.0);
    for (size_t i = 3; i < o.test.framebuffer.size(); i += 4) {
        ASSERT_EQ(o.test.framebuffer[i], 0.0f) << i / 4;
    }
}

TEST(Scenes, TunnelTextChoice) {
    TestObjects o;
    SceneInput input = baseInput();
    // spintext1 is a box of 8 vertices, spintext2 one triangle of 3; the second pass is what
    // the context holds afterwards.
    const struct {
        double choice;
        int vertices;
    } cases[] = {{1.0, 8}, {0.5, 8}, {1.49, 8}, {1.5, 3}, {0.49, 3}, {-1.0, 3}, {2.0, 3}};
    for (const auto& c : cases) {
        input.tracks.spinchoice = c.choice;
        o.runScene(1, input);
        EXPECT_EQ(o.test.context->vertexCount, c.vertices) << c.choice;
    }
}

TEST(Scenes, FlowerWithoutSegmentsShowsOnlyTheWall) {
    TestObjects o;
    SceneInput input = baseInput();
    input.tracks.ringdiv = 0.4;  // n = 0
    o.runScene(2, input);
    const std::vector<float> flower = o.test.framebuffer;
    EXPECT_GT(colourSum(flower), 0.0);

    std::fill(o.test.framebuffer.begin(), o.test.framebuffer.end(), 0.0f);
    beginPass(*o.test.context, o.run.light, identityMatrix());
    MeshPlacement wall = blockwallPlacement();
    submitPlacedMesh(*o.assets.meshes[kWallMesh], wall, identityMatrix(), *o.test.context);
    flushContext(*o.test.context, o.test.target);
    EXPECT_EQ(o.test.framebuffer, flower);

    // With rings their depth stays for the wall's pass: some wall pixels are hidden.
    input.tracks.ringdiv = 24.0;
    std::fill(o.test.framebuffer.begin(), o.test.framebuffer.end(), 0.0f);
    o.runScene(2, input);
    EXPECT_NE(o.test.framebuffer, flower);
}

TEST(Scenes, CitySilhouetteBackgroundAndBanner) {
    TestObjects o;
    SceneInput input = baseInput();
    input.tracks.cityscale = 0.0;  // the city collapses to a point: only background and banner
    const std::vector<float>& fb = o.test.framebuffer;
    const struct {
        double greet;
        int image;  // 0: no banner
    } cases[] = {{0.0, 0}, {0.49, 0}, {-3.0, 0}, {0.5, 1}, {2.2, 2}, {6.4, 6}, {6.5, 0}, {9.0, 0}};
    for (const auto& c : cases) {
        input.tracks.greet = c.greet;
        o.runScene(3, input);
        // Blue 0.04 + 0.007 (480 - y), above 1 in the upper rows, depth 0.
        EXPECT_FLOAT_EQ(pixel(fb, 100, 0)[2], 3.4f);
        EXPECT_EQ(pixel(fb, 100, 0)[0], 0.0f);
        EXPECT_FLOAT_EQ(pixel(fb, 639, 406)[2], 0.04f + 0.007f * 74);
        EXPECT_EQ(pixel(fb, 639, 406)[3], 0.0f);
        for (int y = 407; y < 480; y += 24) {
            for (int x = 0; x < 640; x += 71) {
                const float* p = pixel(fb, x, y);
                if (c.image == 0) {
                    EXPECT_FLOAT_EQ(p[2], static_cast<float>(0.04 + 0.007 * (480 - y)));
                    EXPECT_EQ(p[3], 0.0f);
                } else {
                    // All four floats copied, the depth float included.
                    const TestTexture& g = o.greet[c.image];
                    const float* t = &g.texels[(static_cast<size_t>(y - 407) * 640 + x) * 4];
                    for (int k = 0; k < 4; ++k) EXPECT_EQ(p[k], t[k]) << c.greet;
                }
            }
        }
    }
    // A 320 x 40 image covers only its own part; a 700 x 90 one its first 640 x 73.
    input.tracks.greet = 4.0;
    o.runScene(3, input);
    EXPECT_EQ(pixel(fb, 319, 446)[0], o.greet[4].texels[(39 * 320 + 319) * 4]);
    EXPECT_FLOAT_EQ(pixel(fb, 320, 446)[2], static_cast<float>(0.04 + 0.007 * 34));
    EXPECT_FLOAT_EQ(pixel(fb, 10, 447)[2], static_cast<float>(0.04 + 0.007 * 33));
    input.tracks.greet = 5.0;
    o.runScene(3, input);
    // Texel (639, 72) of the 700-wide image: r = 639 / 700.
    EXPECT_EQ(pixel(fb, 639, 479)[0], 639.0f / 700.0f);
    EXPECT_EQ(pixel(fb, 639, 479)[1], 72.0f / 90.0f);
}

TEST(Scenes, CityRotatesByTrackTimesTime) {
    TestObjects o;
    SceneInput input = baseInput();
    const auto frameAt = [&](double cityrot, double sceneTime) {
        input.tracks.cityrot = cityrot;
        input.sceneTime = sceneTime;
        std::fill(o.test.framebuffer.begin(), o.test.framebuffer.end(), 0.0f);
        o.runScene(4, input);
        return o.test.framebuffer;
    };
    // Without a rate the city stands still whatever the time.
    const std::vector<float> still = frameAt(0.0, 0.0);
    EXPECT_EQ(frameAt(0.0, 50.0), still);
    // The angle is cityrot * E: 0.5 * 2 and 1 * 1 turn it alike, and away from the start.
    const std::vector<float> turned = frameAt(0.5, 2.0);
    EXPECT_EQ(frameAt(1.0, 1.0), turned);
    EXPECT_NE(turned, still);
    // The run's own grey material, lit; the shared mesh's material is left as loaded.
    EXPECT_EQ(o.run.cityMaterial.colour[0], 0.5f);
    EXPECT_EQ(o.run.cityMaterial.shaderType, kShaderLitColour);
    EXPECT_EQ(o.test.context->faces[0].material, &o.run.cityMaterial);
    o.runScene(3, input);  // the silhouette's city is black
    EXPECT_EQ(o.run.cityMaterial.colour[0], 0.0f);
    EXPECT_EQ(o.city.material->colour[0], 0.5f);  // the shared mesh's material as it was
}

TEST(Scenes, SpikesAtScaleZeroAreStillSubmitted) {
    TestObjects o;
    SceneInput input = baseInput();
    input.freeCamera = identityMatrix();
    input.tracks.pscale = 0.0;
    o.runScene(5, input);
    // Every spike collapses onto its position; those whose position is in view pass the
    // bounds test and append their 8 vertices (the city, in view too, its 8).
    int inView = 0;
    for (const Vec4& at : o.assets.spikePosition) inView += insideVolume(at.x, at.y, at.z);
    ASSERT_GT(inView, 10);
    EXPECT_EQ(o.test.context->vertexCount, 8 + 8 * inView);
}

TEST(Scenes, CubeGrid) {
    TestObjects o;
    SceneInput input = baseInput();
    input.freeCamera = identityMatrix();
    o.runScene(7, input);
    // From the origin, cubes whose box lies wholly inside: |x|,|y| + 0.4 within the volume at
    // z = -49.6 (x up to 78.8, y up to 59.1) give 8 vertices each; those crossing a plane more.
    int inside = 0;
    for (int y = -120; y < 120; y += 6) {
        for (int x = -120; x < 120; x += 6) {
            inside += std::abs(x) + 0.4f <= 78.8f && std::abs(y) + 0.4f <= 59.1f;
        }
    }
    EXPECT_GE(o.test.context->vertexCount, 8 * inside);
    EXPECT_EQ(o.test.context->lightCount, 1);
}

TEST(Scenes, PulsingRowUsesSixtyFourSegments) {
    TestObjects o;
    SceneInput input = baseInput();
    input.freeCamera = startCamera();
    input.tracks.cityscale = 0.5;
    input.tracks.cityrot = 4.0;  // ring width
    o.runScene(10, input);
    EXPECT_GE(o.test.context->vertexCount, 10 * 64 * 4);
    EXPECT_GE(o.test.context->normalCount, 10 * (2 + 2 * 64));
    EXPECT_GE(o.test.context->uvCount, 10);
}

TEST(Scenes, TwisterBlockDrawsTheHeartsTexture) {
    TestObjects o;
    SceneInput input = baseInput();
    o.runScene(6, input);
    std::vector<float> expected(kTestFloats, 0.0f);
    drawTwister(FrameTarget{expected.data()}, o.hearts.texture, input.sceneTime);
    EXPECT_EQ(o.test.framebuffer, expected);
}

TEST(Scenes, LightGetsItsCameraSpacePosition) {
    TestObjects o;
    SceneInput input = baseInput();
    // The free camera only moves: the light at (0, 40, 90) lands at (0, 32, 46), w = 0.
    viewMatrix(Vec3{0.0f, -8.0f, -44.0f}, input.freeCamera, Vec3{0.0f, 0.0f, 0.0f});
    o.run.light.world.w = 5.0f;  // ignored: a point
    o.runScene(4, input);
    EXPECT_EQ(o.run.light.camera.x, 0.0f);
    EXPECT_EQ(o.run.light.camera.y, 32.0f);
    EXPECT_EQ(o.run.light.camera.z, 46.0f);
    EXPECT_EQ(o.run.light.camera.w, 0.0f);
    EXPECT_EQ(o.test.context->lights[0], &o.run.light);
}
