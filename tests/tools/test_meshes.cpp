// The generated meshes, read back with the demo's mesh reader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "assets/mesh.h"
#include "generator/font.h"
#include "generator/meshgen.h"

namespace {

const char* const kMeshes[] = {"city.fobj",      "cube.fobj",      "blockwall.fobj",
                               "spintext1.fobj", "spintext2.fobj", "koxspike1fixed.obj"};

struct Loaded {
    Mesh* mesh = nullptr;
    std::string output;  // the reader's notes, one line each
    std::string message;
};

Loaded load(const std::string& path) {
    Loaded loaded;
    std::vector<std::string> notes;
    loaded.mesh = readMesh(path.c_str(), loaded.message, &notes);
    for (const std::string& note : notes) loaded.output += note + "\n";
    return loaded;
}

Loaded loadData(const char* name) {
    return load(std::string(DEMO_TEST_DATA_DIR "/") + name);
}

int find(std::vector<int>& parent, int i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
}

// Closed and wound consistently: every directed edge once, and its reverse once.
void expectClosed(const Mesh& mesh, const char* name) {
    std::map<std::pair<int, int>, int> edges;
    for (int f = 0; f < mesh.faceCount; ++f) {
        for (int c = 0; c < 3; ++c) {
            ++edges[{mesh.faces[f].vertexIndex[c], mesh.faces[f].vertexIndex[(c + 1) % 3]}];
        }
    }
    int bad = 0;
    for (const auto& [edge, count] : edges) {
        const auto reverse = edges.find({edge.second, edge.first});
        if (count != 1 || reverse == edges.end() || reverse->second != 1) ++bad;
    }
    EXPECT_EQ(bad, 0) << name << ": edges not shared by exactly two opposite faces";
}

// Outward: each connected piece encloses a positive volume with its triangles' orientation.
void expectOutward(const Mesh& mesh, const char* name) {
    std::vector<int> parent(mesh.vertexCount);
    std::iota(parent.begin(), parent.end(), 0);
    for (int f = 0; f < mesh.faceCount; ++f) {
        const int* v = mesh.faces[f].vertexIndex;
        parent[find(parent, v[1])] = find(parent, v[0]);
        parent[find(parent, v[2])] = find(parent, v[0]);
    }
    std::map<int, double> volume;
    for (int f = 0; f < mesh.faceCount; ++f) {
        const Vec4& a = mesh.vertices[mesh.faces[f].vertexIndex[0]].position;
        const Vec4& b = mesh.vertices[mesh.faces[f].vertexIndex[1]].position;
        const Vec4& c = mesh.vertices[mesh.faces[f].vertexIndex[2]].position;
        const double det = double(a.x) * (double(b.y) * c.z - double(b.z) * c.y) -
                           double(a.y) * (double(b.x) * c.z - double(b.z) * c.x) +
                           double(a.z) * (double(b.x) * c.y - double(b.y) * c.x);
        volume[find(parent, mesh.faces[f].vertexIndex[0])] += det / 6.0;
    }
    int inward = 0;
    for (const auto& [piece, v] : volume) inward += v <= 0.0;
    EXPECT_EQ(inward, 0) << name << ": pieces wound inwards";
}

TEST(Meshes, LoadCleanlyWithCountsEqualToTheirHeaders) {
    for (const char* name : kMeshes) {
        Loaded loaded = loadData(name);
        ASSERT_NE(loaded.mesh, nullptr) << loaded.message;
        const Mesh& mesh = *loaded.mesh;
        EXPECT_EQ(loaded.output.find("unknown data"), std::string::npos) << name;
        EXPECT_EQ(loaded.output, "") << name;
        EXPECT_EQ(mesh.vertexCount, mesh.vertexCapacity) << name;
        EXPECT_EQ(mesh.normalCount, mesh.normalCapacity) << name;
        EXPECT_EQ(mesh.uvCount, mesh.uvCapacity) << name;  // slot 0 included in both
        EXPECT_EQ(mesh.faceCount, mesh.faceCapacity) << name;
        EXPECT_GT(mesh.faceCount, 0) << name;
        for (int f = 0; f < mesh.faceCount; ++f) {
            const Face& face = mesh.faces[f];
            for (int c = 0; c < 3; ++c) {
                ASSERT_GE(face.uvIndex[c], 1) << name;  // every corner names a real vt line
                ASSERT_LT(face.uvIndex[c], mesh.uvCount) << name;
                ASSERT_LT(face.normalIndex[c], mesh.normalCount) << name;
            }
            // Flat normals from the file agree with the winding.
            const Vec4& n = mesh.normals[face.normalIndex[0]];
            const double agree = double(n.x) * face.faceNormal.x + double(n.y) * face.faceNormal.y +
                                 double(n.z) * face.faceNormal.z;
            ASSERT_GT(agree, 0.99) << name << " face " << f;
        }
        expectClosed(mesh, name);
        expectOutward(mesh, name);
        freeMesh(loaded.mesh);
    }
}

TEST(Meshes, FitTheRenderContext) {
    Loaded city = loadData("city.fobj"), spike = loadData("koxspike1fixed.obj"),
           cube = loadData("cube.fobj");
    ASSERT_TRUE(city.mesh && spike.mesh && cube.mesh);
    // Scene 5 submits the city and 64 spikes into arrays of 100000; clipping adds corners, so
    // keep well under half.
    EXPECT_LT(city.mesh->vertexCount + 64 * spike.mesh->vertexCount, 50000);
    EXPECT_LT(city.mesh->faceCount + 64 * spike.mesh->faceCount, 50000);
    EXPECT_LT(city.mesh->normalCount + 64 * spike.mesh->normalCount, 50000);
    // Scene 7 places the cube 1600 times.
    EXPECT_EQ(cube.mesh->vertexCount, 8);
    EXPECT_EQ(cube.mesh->faceCount, 12);
    for (auto* m : {city.mesh, spike.mesh, cube.mesh}) freeMesh(m);
}

// The free camera starts at (0, 8, 44) in the city's frame, looking towards -z and up; the city
// spins about the y axis. Buildings fill the view, and none passes through the camera for
// scales 0.75..3: the spire stays inside radius 44/3, everything else outside 44/0.75.
TEST(Meshes, CityFillsTheFreeCameraViewAndClearsTheCamera) {
    Loaded city = loadData("city.fobj");
    ASSERT_NE(city.mesh, nullptr);
    const Mesh& mesh = *city.mesh;
    double minY = 1e9, maxY = -1e9, maxR = 0.0;
    for (int i = 0; i < mesh.vertexCount; ++i) {
        const Vec4& p = mesh.vertices[i].position;
        const double r = std::hypot(double(p.x), double(p.z));
        EXPECT_TRUE(r <= 44.0 / 3.0 || r >= 44.0 / 0.75) << "vertex " << i << " at radius " << r;
        minY = std::min(minY, double(p.y));
        maxY = std::max(maxY, double(p.y));
        maxR = std::max(maxR, r);
    }
    EXPECT_EQ(minY, 0.0);    // standing on the ground
    EXPECT_GT(maxY, 100.0);  // towers reaching the upper half of the view
    EXPECT_GT(maxR, 250.0);  // and a skyline out to the sides
    freeMesh(city.mesh);
}

TEST(Meshes, LetteringFrontsCarryTheirTexture) {
    const struct {
        const char* mesh;
        const char* texture;
    } cases[] = {{"spintext1.fobj", "spintext1.png"}, {"spintext2.fobj", "spintext2.png"}};
    for (const auto& c : cases) {
        Loaded loaded = loadData(c.mesh);
        ASSERT_NE(loaded.mesh, nullptr);
        const Mesh& mesh = *loaded.mesh;
        ASSERT_EQ(mesh.textureNameCount, 2) << c.mesh;
        EXPECT_STREQ(mesh.textureNames[1], c.texture);
        EXPECT_TRUE(std::filesystem::exists(std::string(DEMO_TEST_DATA_DIR "/") + c.texture));
        int fronts = 0;
        for (int f = 0; f < mesh.faceCount; ++f) {
            const Face& face = mesh.faces[f];
            const bool front = face.faceNormal.z > 0.99f;
            // Textured exactly on the faces towards +z, the side the camera sees.
            EXPECT_EQ(face.materialIndex, front ? 1 : 0) << c.mesh << " face " << f;
            if (!front) continue;
            ++fronts;
            for (int k = 0; k < 3; ++k) {
                const Uv& uv = mesh.uvs[face.uvIndex[k]];
                EXPECT_TRUE(uv.u > 0.0f && uv.u < 1.0f && uv.v > 0.0f && uv.v < 1.0f);
            }
        }
        EXPECT_GT(fronts, 200) << c.mesh;
        freeMesh(loaded.mesh);
    }
}

TEST(MeshBuilder, BoxesAndPyramidsAreClosedAndOutward) {
    assetgen::MeshBuilder builder;
    builder.addBox({-1, -2, -3}, {1, 2, 3});
    builder.addPyramid({0, 0, 0}, {2, 0, 4}, 3);
    const std::string text = builder.text("test");
    const std::string path = testing::TempDir() + "/builder_" + std::to_string(getpid()) + ".fobj";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    Loaded loaded = load(path);
    ASSERT_NE(loaded.mesh, nullptr) << loaded.message;
    EXPECT_EQ(loaded.mesh->vertexCount, 8 + 5);
    EXPECT_EQ(loaded.mesh->faceCount, 12 + 6);
    expectClosed(*loaded.mesh, "builder");
    expectOutward(*loaded.mesh, "builder");
    freeMesh(loaded.mesh);
}

// Glyph pixels that touch only at a corner would leave edges shared by four faces; the builder
// joins them. Diagonal strokes and small counters exercise that path.
TEST(MeshBuilder, LetteringOfAnyTextIsClosed) {
    assetgen::Font font;
    std::string message;
    ASSERT_TRUE(font.open(ASSETGEN_FONT, message)) << message;
    for (const char* text : {"X", "%/\\", "Wxy", "@&8"}) {
        const std::string mesh = assetgen::makeLettering(font, text, 0.0, "t.png");
        const std::string path =
            testing::TempDir() + "/lettering_" + std::to_string(getpid()) + ".fobj";
        FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(mesh.data(), 1, mesh.size(), file);
        std::fclose(file);
        Loaded loaded = load(path);
        ASSERT_NE(loaded.mesh, nullptr) << loaded.message;
        expectClosed(*loaded.mesh, text);
        expectOutward(*loaded.mesh, text);
        freeMesh(loaded.mesh);
    }
}

}  // namespace
