#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "assets/mesh.h"

namespace {

namespace fs = std::filesystem;

class MeshFiles {
public:
    MeshFiles() {
        dir_ = fs::path(testing::TempDir()) / ("mesh_test_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    ~MeshFiles() { fs::remove_all(dir_); }

    std::string write(const std::string& text, const std::string& name = "test.fobj") {
        const fs::path path = dir_ / name;
        // A fresh file each time: rewriting one in place makes ext4 flush it to disk.
        fs::remove(path);
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

private:
    fs::path dir_;
};

std::string header(int vertices, int normals, int uvs, int faces) {
    return "mesh\n# " + std::to_string(vertices) + "\n# " + std::to_string(normals) + "\n# " +
           std::to_string(uvs) + "\n# " + std::to_string(faces) + "\n";
}

struct Read {
    Mesh* mesh;
    std::string message;
    std::string output;  // the notes, one line each, as the start-up would print them
};

std::string joinNotes(const std::vector<std::string>& notes) {
    std::string text;
    for (const std::string& note : notes) text += note + "\n";
    return text;
}

Read readText(MeshFiles& files, const std::string& text) {
    const std::string path = files.write(text);
    Read r;
    std::vector<std::string> notes;
    testing::internal::CaptureStdout();
    r.mesh = readMesh(path.c_str(), r.message, &notes);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // the reader never prints
    r.output = joinNotes(notes);
    return r;
}

void expectVec(const Vec4& v, float x, float y, float z, float w) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
    EXPECT_EQ(v.w, w);
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A triangle 1/1/1 2/2/2 3/3/3 with its three vertices, normals and uvs.
const char* kTriangleBody =
    "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
    "vn 0 0 1\nvn 0 0 1\nvn 0 0 1\n"
    "vt 0 0\nvt 1 0\nvt 0 1\n"
    "f 1/1/1 2/2/2 3/3/3\n";

}  // namespace

TEST(Mesh, CreateMeshGivesAnEmptyMesh) {
    Mesh* mesh = createMesh();
    EXPECT_EQ(mesh->vertices, nullptr);
    EXPECT_EQ(mesh->faces, nullptr);
    EXPECT_EQ(mesh->vertexCount + mesh->normalCount + mesh->uvCount + mesh->faceCount, 0);
    ASSERT_NE(mesh->material, nullptr);
    EXPECT_EQ(mesh->material->textureIndex, -1);
    EXPECT_EQ(mesh->material->shaderType, 0);
    EXPECT_STREQ(mesh->textureNames[0], "(none)");
    EXPECT_EQ(mesh->textureNameCount, 1);
    freeMesh(mesh);
}

TEST(Mesh, HeaderGivesTheCapacitiesAndLineFiveIsReadAgain) {
    MeshFiles files;
    Read r = readText(files, "anything at all\n# 4\n# 5\n# 6\n# 7\n");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(r.mesh->vertexCapacity, 4);
    EXPECT_EQ(r.mesh->normalCapacity, 5);
    EXPECT_EQ(r.mesh->uvCapacity, 7);  // 6 + the placeholder slot 0
    EXPECT_EQ(r.mesh->faceCapacity, 7);
    EXPECT_EQ(r.mesh->uvCount, 1);
    EXPECT_EQ(r.mesh->uvs[0].u, 0.0f);
    EXPECT_EQ(r.mesh->uvs[0].v, 0.0f);
    EXPECT_EQ(r.output, "");  // "# 7" is a comment when read again
    freeMesh(r.mesh);

    // The number starts at the third character, whatever the first two are; line 5 is also
    // the first body line, so "v 3 4 5" gives 3 faces of capacity and a vertex.
    r = readText(files, "x\nab2\n# 0\n#\t0\nv 3 4 5\n");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(r.mesh->vertexCapacity, 2);
    EXPECT_EQ(r.mesh->faceCapacity, 3);
    ASSERT_EQ(r.mesh->vertexCount, 1);
    expectVec(r.mesh->vertices[0].position, 3, 4, 5, 0);
    freeMesh(r.mesh);
}

TEST(Mesh, BodyLinesFillTheArraysInFileOrder) {
    MeshFiles files;
    Read r = readText(
        files, header(3, 3, 3, 2) + kTriangleBody + "vn -1 2.5 1e-3\n" + "f 3/0/3 2/3/1 1/2/2\n");
    ASSERT_EQ(r.mesh, nullptr);  // four normals for a capacity of three
    EXPECT_NE(r.message.find(":16:"), std::string::npos) << r.message;

    r = readText(files,
                 header(3, 4, 3, 2) + kTriangleBody + "vn -1 2.5 1e-3\n" + "f 3/0/3 2/3/1 1/2/4\n");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    const Mesh& m = *r.mesh;
    EXPECT_EQ(m.vertexCount, 3);
    EXPECT_EQ(m.normalCount, 4);
    EXPECT_EQ(m.uvCount, 4);
    EXPECT_EQ(m.faceCount, 2);
    expectVec(m.vertices[1].position, 1, 0, 0, 0);
    expectVec(m.normals[3], -1, 2.5f, 1e-3f, 0);
    EXPECT_EQ(m.uvs[2].u, 1.0f);
    EXPECT_EQ(m.uvs[2].v, 0.0f);
    // 1/1/1 2/2/2 3/3/3: vertices and normals 0, 1, 2; uv slots 1, 2, 3.
    const Face& f = m.faces[0];
    EXPECT_EQ(f.cornerCount, 3);
    EXPECT_EQ(f.vertexIndex[0], 0);
    EXPECT_EQ(f.vertexIndex[2], 2);
    EXPECT_EQ(f.normalIndex[0], 0);
    EXPECT_EQ(f.normalIndex[2], 2);
    EXPECT_EQ(f.uvIndex[0], 1);
    EXPECT_EQ(f.uvIndex[2], 3);
    EXPECT_EQ(f.material, m.material);
    EXPECT_EQ(f.materialIndex, 0);
    // 3/0/3 2/3/1 1/2/4: uv 0 is the placeholder.
    EXPECT_EQ(m.faces[1].vertexIndex[0], 2);
    EXPECT_EQ(m.faces[1].uvIndex[0], 0);
    EXPECT_EQ(m.faces[1].normalIndex[2], 3);
    freeMesh(r.mesh);
}

TEST(Mesh, UnknownLinesArePrintedWithTheirLineFeed) {
    MeshFiles files;
    Read r = readText(files, header(1, 0, 0, 0) + "\n# a comment\nvx 1\nV 1 2 3\nv1 2 3\n" +
                                 "texturename\nf\n\tv 1 2 3\n");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(r.output,
              "unknown data [\n]\n"
              "unknown data [vx 1\n]\n"
              "unknown data [V 1 2 3\n]\n"
              "unknown data [v1 2 3\n]\n"
              "unknown data [texturename\n]\n"
              "unknown data [f\n]\n"
              "unknown data [\tv 1 2 3\n]\n");
    EXPECT_EQ(r.mesh->vertexCount, 0);
    freeMesh(r.mesh);
}

TEST(Mesh, TextureNamesSelectSlots) {
    MeshFiles files;
    const std::string body = std::string(kTriangleBody) +  // material 0 before any name
                             "texturename brick.png\nf 1/1/1 2/2/2 3/3/3\n"
                             "texturename Brick.png\nf 1/1/1 2/2/2 3/3/3\n"
                             "texturename none\nf 1/1/1 2/2/2 3/3/3\n"
                             "texturename brick.png\nf 1/1/1 2/2/2 3/3/3\n"
                             "texturename (none)\nf 1/1/1 2/2/2 3/3/3\n";
    Read r = readText(files, header(3, 3, 3, 6) + body);
    ASSERT_NE(r.mesh, nullptr) << r.message;
    const Mesh& m = *r.mesh;
    ASSERT_EQ(m.faceCount, 6);
    const int expected[6] = {0, 1, 2, 0, 1, 3};
    for (int f = 0; f < 6; ++f) EXPECT_EQ(m.faces[f].materialIndex, expected[f]) << f;
    EXPECT_EQ(m.textureNameCount, 4);
    EXPECT_STREQ(m.textureNames[0], "(none)");
    EXPECT_STREQ(m.textureNames[1], "brick.png");
    EXPECT_STREQ(m.textureNames[2], "Brick.png");
    EXPECT_STREQ(m.textureNames[3], "(none)");  // slot 0 is never matched by name
    freeMesh(r.mesh);
}

TEST(Mesh, AFinalLineWithoutLineFeedIsNotProcessed) {
    MeshFiles files;
    Read r = readText(files, header(2, 0, 0, 0) + "v 1 2 3\nv 4 5 6");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(r.mesh->vertexCount, 1);
    // A file cut short says so, naming the file and the line that was dropped.
    EXPECT_NE(r.output.find("test.fobj:7: last line has no line feed"), std::string::npos)
        << r.output;
    freeMesh(r.mesh);

    r = readText(files, header(2, 0, 0, 0) + "v 1 2 3\nv 4 5 6\n");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(r.mesh->vertexCount, 2);
    freeMesh(r.mesh);

    r = readText(files, header(2, 0, 0, 0) + "junk");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(r.output.find("unknown data"), std::string::npos) << r.output;
    freeMesh(r.mesh);

    // Even a broken last line is never looked at.
    r = readText(files, header(0, 0, 0, 0) + "v 1 2");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    freeMesh(r.mesh);
}

TEST(Mesh, CarriageReturnLineEndsReadLikeLineFeeds) {
    MeshFiles files;
    const std::string text = header(3, 3, 3, 1) + "texturename wall.png\n" + kTriangleBody;
    Read lf = readText(files, text);
    ASSERT_NE(lf.mesh, nullptr) << lf.message;
    for (const char* ending : {"\r\n", "\r"}) {
        std::string converted;
        for (char c : text) converted += c == '\n' ? std::string(ending) : std::string(1, c);
        Read r = readText(files, converted + "\r\n");
        ASSERT_NE(r.mesh, nullptr) << r.message;
        EXPECT_STREQ(r.mesh->textureNames[1], "wall.png");
        EXPECT_EQ(r.mesh->vertexCount, 3);
        EXPECT_EQ(r.mesh->faceCount, 1);
        EXPECT_EQ(r.mesh->faces[0].materialIndex, 1);
        EXPECT_EQ(r.output, "unknown data [\n]\n");  // the extra line end is a blank line
        freeMesh(r.mesh);
    }
    freeMesh(lf.mesh);
}

TEST(Mesh, LongLinesArriveInPiecesOf2046Characters) {
    MeshFiles files;
    // "#" and 2999 letters: the first 2046 characters are a comment, the other 954 letters
    // and the line feed come as a line of their own.
    Read r = readText(files, header(0, 0, 0, 0) + "#" + std::string(2999, 'a') + "\n");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(r.output, "unknown data [" + std::string(954, 'a') + "\n]\n");
    freeMesh(r.mesh);

    // A line of exactly 2046 characters before its line feed: the line feed alone follows.
    r = readText(files, header(0, 0, 0, 0) + "#" + std::string(2045, 'b') + "\n");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(r.output, "unknown data [\n]\n");
    freeMesh(r.mesh);
}

TEST(Mesh, BoundsAreTheBoxCornersInBitOrder) {
    MeshFiles files;
    Read r = readText(files, header(0, 0, 0, 0));
    ASSERT_NE(r.mesh, nullptr) << r.message;
    for (int k = 0; k < 8; ++k) {
        const float lo = 1e20f, hi = -1e20f;  // nothing lowered or raised them
        expectVec(r.mesh->bounds[k], (k & 1) ? hi : lo, (k & 2) ? hi : lo, (k & 4) ? hi : lo, 0);
    }
    freeMesh(r.mesh);

    r = readText(files, header(3, 0, 0, 0) + "v 1 -2 3\nv -4 5 0.5\nv 0 0 -6\n");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    // x in -4..1, y in -2..5, z in -6..3.
    expectVec(r.mesh->bounds[0], -4, -2, -6, 0);
    expectVec(r.mesh->bounds[1], 1, -2, -6, 0);
    expectVec(r.mesh->bounds[2], -4, 5, -6, 0);
    expectVec(r.mesh->bounds[3], 1, 5, -6, 0);
    expectVec(r.mesh->bounds[4], -4, -2, 3, 0);
    expectVec(r.mesh->bounds[7], 1, 5, 3, 0);
    freeMesh(r.mesh);
}

TEST(Mesh, CubeNormalsMatchHandComputedValues) {
    // Cube [-1, 1]^3, each side a quad a b c d counter-clockwise from outside, split into
    // (a, b, c) and (a, c, d): a and c are in both triangles of their side, b and d in one.
    const std::string text = header(8, 1, 0, 12) +
                             "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\n"
                             "v -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\nvn 0 0 1\n"
                             "f 5/0/1 6/0/1 7/0/1\nf 5/0/1 7/0/1 8/0/1\n"   // +z
                             "f 1/0/1 4/0/1 3/0/1\nf 1/0/1 3/0/1 2/0/1\n"   // -z
                             "f 2/0/1 3/0/1 7/0/1\nf 2/0/1 7/0/1 6/0/1\n"   // +x
                             "f 1/0/1 5/0/1 8/0/1\nf 1/0/1 8/0/1 4/0/1\n"   // -x
                             "f 4/0/1 8/0/1 7/0/1\nf 4/0/1 7/0/1 3/0/1\n"   // +y
                             "f 1/0/1 2/0/1 6/0/1\nf 1/0/1 6/0/1 5/0/1\n";  // -y
    MeshFiles files;
    Read r = readText(files, text);
    ASSERT_NE(r.mesh, nullptr) << r.message;
    const Mesh& m = *r.mesh;
    // (P1 - P0) x (P2 - P0) has length 4 on every side: unit axis normals, outward.
    const float sides[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (int f = 0; f < 12; ++f) {
        const float* n = sides[f / 2];
        expectVec(m.faces[f].faceNormal, n[0], n[1], n[2], 0);
    }
    // Vertex 7 (1, 1, 1) is corner c of +z, +x and +y: sum (2, 2, 2), so 1/sqrt(3) each.
    // Vertex 1 likewise with (-2, -2, -2).
    for (float c : {m.vertices[6].normal.x, m.vertices[6].normal.y, m.vertices[6].normal.z}) {
        EXPECT_NEAR(c, 0.57735027, 1e-7);
    }
    EXPECT_NEAR(m.vertices[0].normal.y, -0.57735027, 1e-7);
    // Vertex 2 (1, -1, -1): d of -z, a of +x, b of -y: (2, -1, -1) / sqrt(6).
    EXPECT_NEAR(m.vertices[1].normal.x, 0.81649658, 1e-7);
    EXPECT_NEAR(m.vertices[1].normal.y, -0.40824829, 1e-7);
    EXPECT_NEAR(m.vertices[1].normal.z, -0.40824829, 1e-7);
    // Vertex 8 (-1, 1, 1): d of +z, c of -x, b of +y: (-2, 1, 1) / sqrt(6).
    EXPECT_NEAR(m.vertices[7].normal.x, -0.81649658, 1e-7);
    EXPECT_NEAR(m.vertices[7].normal.y, 0.40824829, 1e-7);
    EXPECT_NEAR(m.vertices[7].normal.z, 0.40824829, 1e-7);
    for (int v = 0; v < 8; ++v) EXPECT_EQ(m.vertices[v].normal.w, 0.0f);
    freeMesh(r.mesh);
}

TEST(Mesh, DegenerateFacesAndUnusedVerticesGetZeroNormals) {
    // Face 1 is collinear, face 2 and 3 are one triangle in both windings, vertex 7 is unused.
    const std::string text = header(7, 1, 0, 3) +
                             "v 0 0 0\nv 1 1 1\nv 2 2 2\nv 0 0 5\nv 1 0 5\nv 0 1 5\nv 9 9 9\n"
                             "vn 0 0 1\n"
                             "f 1/0/1 2/0/1 3/0/1\nf 4/0/1 5/0/1 6/0/1\nf 4/0/1 6/0/1 5/0/1\n";
    MeshFiles files;
    Read r = readText(files, text);
    ASSERT_NE(r.mesh, nullptr) << r.message;
    const Mesh& m = *r.mesh;
    expectVec(m.faces[0].faceNormal, 0, 0, 0, 0);
    expectVec(m.faces[1].faceNormal, 0, 0, 1, 0);
    expectVec(m.faces[2].faceNormal, 0, 0, -1, 0);
    for (int v : {0, 1, 2, 3, 4, 5, 6}) expectVec(m.vertices[v].normal, 0, 0, 0, 0);
    freeMesh(r.mesh);
}

TEST(Mesh, VertexNormalsEqualTheSlowScanOfAllFaces) {
    std::mt19937 random(99);
    std::uniform_real_distribution<float> coordinate(-10.0f, 10.0f);
    MeshFiles files;
    for (int round = 0; round < 20; ++round) {
        const int vertices = 5 + int(random() % 60);
        const int faces = 1 + int(random() % 200);
        std::string text = header(vertices, 1, 0, faces);
        char line[128];
        for (int v = 0; v < vertices; ++v) {
            std::snprintf(line, sizeof line, "v %.9g %.9g %.9g\n", coordinate(random),
                          coordinate(random), coordinate(random));
            text += line;
        }
        text += "vn 0 1 0\n";
        for (int f = 0; f < faces; ++f) {
            // Repeated corners happen now and then: degenerate faces join the sums too.
            const unsigned a = random() % vertices, b = random() % vertices,
                           c = random() % vertices;
            std::snprintf(line, sizeof line, "f %u/0/1 %u/0/1 %u/0/1\n", a + 1, b + 1, c + 1);
            text += line;
        }
        Read r = readText(files, text);
        ASSERT_NE(r.mesh, nullptr) << r.message;
        const Mesh& m = *r.mesh;
        for (int f = 0; f < m.faceCount; ++f) {
            // Face normals against a double-precision cross product.
            const Vec4& p0 = m.vertices[m.faces[f].vertexIndex[0]].position;
            const Vec4& p1 = m.vertices[m.faces[f].vertexIndex[1]].position;
            const Vec4& p2 = m.vertices[m.faces[f].vertexIndex[2]].position;
            const double ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
            const double bx = p2.x - p0.x, by = p2.y - p0.y, bz = p2.z - p0.z;
            const double n[3] = {ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx};
            const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (length < 1e-3) continue;
            EXPECT_NEAR(m.faces[f].faceNormal.x, n[0] / length, 1e-4);
            EXPECT_NEAR(m.faces[f].faceNormal.y, n[1] / length, 1e-4);
            EXPECT_NEAR(m.faces[f].faceNormal.z, n[2] / length, 1e-4);
        }
        for (int v = 0; v < m.vertexCount; ++v) {
            // Every face, every corner naming v, in file order, all four components.
            float s[4] = {0, 0, 0, 0};
            for (int f = 0; f < m.faceCount; ++f) {
                for (int c = 0; c < m.faces[f].cornerCount; ++c) {
                    if (m.faces[f].vertexIndex[c] != v) continue;
                    s[0] += m.faces[f].faceNormal.x;
                    s[1] += m.faces[f].faceNormal.y;
                    s[2] += m.faces[f].faceNormal.z;
                    s[3] += m.faces[f].faceNormal.w;
                }
            }
            const float length = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2] + s[3] * s[3]);
            const Vec4& got = m.vertices[v].normal;
            if (length == 0.0f) {
                expectVec(got, 0, 0, 0, 0);
                continue;
            }
            EXPECT_TRUE(sameBits(got.x, s[0] / length)) << round << " " << v;
            EXPECT_TRUE(sameBits(got.y, s[1] / length)) << round << " " << v;
            EXPECT_TRUE(sameBits(got.z, s[2] / length)) << round << " " << v;
            EXPECT_TRUE(sameBits(got.w, s[3] / length)) << round << " " << v;
        }
        freeMesh(r.mesh);
    }
}

TEST(Mesh, FacesWithMoreCornersKeepTheFirstThreeWithOneWarning) {
    MeshFiles files;
    Read r = readText(files, header(4, 1, 0, 2) + "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n" +
                                 "vn 0 0 1\nf 1/0/1 2/0/1 3/0/1 4/0/1\nf 1/0/1 3/0/1 4/0/1 \n" +
                                 "f 2/0/1 3/0/1 4/0/1 1/0/1\n");
    ASSERT_EQ(r.mesh, nullptr);  // three faces for a capacity of two
    r = readText(files, header(4, 1, 0, 3) + "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n" +
                            "vn 0 0 1\nf 1/0/1 2/0/1 3/0/1 4/0/1\nf 1/0/1 3/0/1 4/0/1 \n" +
                            "f 2/0/1 3/0/1 4/0/1 1/0/1\n");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(r.mesh->faceCount, 3);
    EXPECT_EQ(r.mesh->faces[0].cornerCount, 3);
    EXPECT_EQ(r.mesh->faces[0].vertexIndex[2], 2);
    EXPECT_EQ(r.output.find("warning"), r.output.rfind("warning"));  // just one
    EXPECT_NE(r.output.find("test.fobj:11: warning"), std::string::npos) << r.output;
    freeMesh(r.mesh);
}

TEST(Mesh, MalformedFilesAreRefusedNamingFileAndLine) {
    const std::string triangle = kTriangleBody;  // lines 6 to 15
    const struct {
        std::string text;
        int line;  // 0: the message names no line
    } cases[] = {
        // Header.
        {"", 1},
        {"mesh\n", 2},
        {"mesh\n# 1\n# 1\n# 1\n", 5},
        {"mesh\n# 1\n# 1\n# 1", 5},
        {"mesh\n# x\n# 1\n# 1\n# 1\n", 2},
        {"mesh\n#\n# 1\n# 1\n# 1\n", 2},
        {"mesh\n\n# 1\n# 1\n# 1\n", 2},
        {"mesh\n# 1\n# -1\n# 1\n# 1\n", 3},
        {"mesh\n# 1\n# 1\n# 1000001\n# 1\n", 4},
        {"mesh\n# 1\n# 1\n# 1\n# 99999999999\n", 5},
        // Capacities overrun.
        {header(2, 3, 3, 1) + triangle, 8},
        {header(3, 2, 3, 1) + triangle, 11},
        {header(3, 3, 2, 1) + triangle, 14},
        {header(3, 3, 3, 0) + triangle, 15},
        // Numbers that do not parse or do not fit.
        {header(1, 0, 0, 0) + "v 1 2\n", 6},
        {header(1, 0, 0, 0) + "v 1 x 3\n", 6},
        {header(1, 0, 0, 0) + "v 1e50 0 0\n", 6},
        {header(1, 0, 0, 0) + "v nan 0 0\n", 6},
        {header(0, 1, 0, 0) + "vn 1 2 \n", 6},
        {header(0, 0, 1, 0) + "vt 0.5\n", 6},
        {header(3, 3, 3, 1) + "f 1/1/1 2/2/2\n", 6},
        {header(3, 3, 3, 1) + "f 1//1 2//2 3//3\n", 6},
        {header(3, 3, 3, 1) + "f 1 2 3\n", 6},
        {header(3, 3, 3, 1) + "f 1/1/1 2/2/2 3/3/99999999999\n", 6},
        // Indices outside the arrays read.
        {header(3, 3, 3, 2) + triangle + "f 0/1/1 2/2/2 3/3/3\n", 16},
        {header(3, 3, 3, 2) + triangle + "f -1/1/1 2/2/2 3/3/3\n", 16},
        {header(3, 3, 3, 2) + triangle + "f 1/1/1 4/2/2 3/3/3\n", 16},
        {header(3, 3, 3, 2) + triangle + "f 1/1/1 2/4/2 3/3/3\n", 16},
        {header(3, 3, 3, 2) + triangle + "f 1/1/1 2/-1/2 3/3/3\n", 16},
        {header(3, 3, 3, 2) + triangle + "f 1/1/1 2/2/2 3/3/4\n", 16},
        {header(3, 3, 3, 2) + triangle + "f 1/1/1 2/2/2 3/3/0\n", 16},
        {header(4, 3, 3, 2) + triangle + "f 1/1/1 2/2/2 4/3/3\n", 16},  // room, never read
        // Texture names.
        {header(0, 0, 0, 0) + "texturename \n", 6},
        {header(0, 0, 0, 0) + "texturename " + std::string(256, 'n') + "\n", 6},
    };
    MeshFiles files;
    for (const auto& c : cases) {
        const std::string path = files.write(c.text);
        std::string message;
        testing::internal::CaptureStdout();
        Mesh* mesh = readMesh(path.c_str(), message);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(mesh, nullptr) << c.text;
        freeMesh(mesh);
        const std::string where = c.line ? path + ":" + std::to_string(c.line) + ":" : path;
        EXPECT_EQ(message.rfind(where, 0), 0u) << message << "\nfor\n" << c.text;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }

    std::string message;
    EXPECT_EQ(readMesh((testing::TempDir() + "/no_such.fobj").c_str(), message), nullptr);
    EXPECT_NE(message.find("no_such.fobj"), std::string::npos) << message;
}

TEST(Mesh, LimitsAreInclusive) {
    MeshFiles files;
    // The largest capacities are accepted (the arrays are reserved, not touched).
    Read r = readText(files, header(1000000, 1000000, 1000000, 1000000));
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(r.mesh->uvCapacity, 1000001);
    freeMesh(r.mesh);

    // 255 names fill slots 1..255; a 256th is refused.
    std::string names;
    for (int k = 1; k <= 255; ++k) names += "texturename t" + std::to_string(k) + "\n";
    r = readText(files, header(0, 0, 0, 0) + names);
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(r.mesh->textureNameCount, 256);
    EXPECT_STREQ(r.mesh->textureNames[255], "t255");
    freeMesh(r.mesh);
    r = readText(files, header(0, 0, 0, 0) + names + "texturename t1\ntexturename t256\n");
    EXPECT_EQ(r.mesh, nullptr);
    EXPECT_NE(r.message.find(":262:"), std::string::npos) << r.message;

    // A name of 255 characters fits.
    r = readText(files, header(0, 0, 0, 0) + "texturename " + std::string(255, 'n') + "\n");
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_EQ(std::strlen(r.mesh->textureNames[1]), 255u);
    freeMesh(r.mesh);
}

TEST(Mesh, TruncatedAndMutatedFilesNeverCrash) {
    const std::string full =
        header(4, 2, 2, 3) + "# a comment\r\n" + "v 0 0 0\nv 1.5 0 0\nv 1 1 -2e-3\nv 0 1 0\n" +
        "vn 0 0 1\nvn 0 1 0\nvt 0 0\nvt 1 1\n" + "texturename a.png\nf 1/1/1 2/2/1 3/0/2\n" +
        "texturename none\nf 1/1/1 3/2/1 4/0/2\n\n" + "texturename a.png\nf 4/1/1 2/2/1 3/0/2\n";
    MeshFiles files;
    testing::internal::CaptureStdout();  // the "unknown data" lines of broken variants
    for (size_t length = 0; length <= full.size(); ++length) {
        const std::string path = files.write(full.substr(0, length));
        std::string message;
        Mesh* mesh = readMesh(path.c_str(), message);
        if (mesh) {
            EXPECT_LE(mesh->faceCount, 3);
            EXPECT_TRUE(message.empty());
        } else {
            EXPECT_FALSE(message.empty()) << length;
        }
        freeMesh(mesh);
    }
    std::mt19937 random(5);
    const char alphabet[] = "vnft/ #0123456789.-e\n\rx";
    for (int round = 0; round < 2000; ++round) {
        std::string text = full;
        for (int k = 0; k < 3; ++k) {
            text[random() % text.size()] = alphabet[random() % (sizeof alphabet - 1)];
        }
        const std::string path = files.write(text);
        std::string message;
        Mesh* mesh = readMesh(path.c_str(), message);
        if (mesh) {
            for (int f = 0; f < mesh->faceCount; ++f) {
                for (int c = 0; c < 3; ++c) {
                    ASSERT_LT(mesh->faces[f].vertexIndex[c], mesh->vertexCount);
                    ASSERT_FALSE(
                        std::isnan(mesh->vertices[mesh->faces[f].vertexIndex[c]].normal.x));
                }
            }
        }
        freeMesh(mesh);
    }
    testing::internal::GetCapturedStdout();
}

TEST(Mesh, ParsingBytesInMemoryMatchesReadingTheFile) {
    // Every cut of a file that uses each kind of line: the same mesh or the same message,
    // whether readMesh reads the file or parseMesh is handed its bytes under the same name.
    const std::string full = header(4, 2, 2, 3) + "# comment\r\n" +
                             "v 0 0 0\nv 1.5 0 0\nv 1 1 -2e-3\nv 0 1 0\nvn 0 0 1\nvn 0 1 0\n" +
                             "vt 0 0\nvt 1 1\ntexturename a.png\nf 1/1/1 2/2/1 3/0/2\nxyz\n" +
                             "texturename none\nf 1/1/1 3/2/1 4/0/2 1/1/1\nf 4/1/1 2/2/1 3/0/2\n";
    MeshFiles files;
    for (size_t length = 0; length <= full.size(); ++length) {
        const std::string text = full.substr(0, length);
        const Read fromFile = readText(files, text);
        const std::string path = files.write(text);
        Read fromBytes;
        std::vector<std::string> notes;
        fromBytes.mesh =
            parseMesh(text.data(), text.size(), path.c_str(), fromBytes.message, &notes);
        fromBytes.output = joinNotes(notes);

        EXPECT_EQ(fromBytes.message, fromFile.message) << length;
        EXPECT_EQ(fromBytes.output, fromFile.output) << length;
        ASSERT_EQ(fromBytes.mesh == nullptr, fromFile.mesh == nullptr) << length;
        if (fromFile.mesh) {
            const Mesh& a = *fromFile.mesh;
            const Mesh& b = *fromBytes.mesh;
            EXPECT_EQ(b.vertexCount, a.vertexCount);
            EXPECT_EQ(b.faceCount, a.faceCount);
            EXPECT_EQ(b.textureNameCount, a.textureNameCount);
            for (int v = 0; v < a.vertexCount; ++v) {
                EXPECT_TRUE(sameBits(b.vertices[v].normal.y, a.vertices[v].normal.y));
            }
            for (int f = 0; f < a.faceCount; ++f) {
                EXPECT_EQ(b.faces[f].materialIndex, a.faces[f].materialIndex);
                EXPECT_EQ(b.faces[f].uvIndex[1], a.faces[f].uvIndex[1]);
            }
        }
        freeMesh(fromFile.mesh);
        freeMesh(fromBytes.mesh);
    }
}

TEST(Mesh, FilesPastTheSizeLimitAreRefusedUnread) {
    // A sparse file one byte over 256 MiB costs no disk and, refused by its size, no reading.
    MeshFiles files;
    const std::string path = files.write("", "huge.fobj");
    fs::resize_file(path, kMaxMeshFileBytes + 1);
    std::string message;
    EXPECT_EQ(readMesh(path.c_str(), message), nullptr);
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find("too large"), std::string::npos) << message;

    // A folder claims an endless size; it is reported as unreadable, not as too large.
    const std::string folder = fs::path(path).parent_path().string();
    EXPECT_EQ(readMesh(folder.c_str(), message), nullptr);
    EXPECT_NE(message.find(folder), std::string::npos) << message;
    EXPECT_EQ(message.find("too large"), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
}

TEST(Mesh, HostileTextIsRefusedOrReadWithinItsArrays) {
    using namespace std::string_literals;
    const std::string triangle = kTriangleBody;
    const struct {
        std::string text;
        int line;  // line named by the refusal; 0 when the file is read
    } cases[] = {
        // A zero byte ends what the number and name readers see of a line.
        {header(3, 3, 3, 1) + "v 1 2\0 3\n"s, 6},
        {header(0, 0, 0, 0) + "texturename \0abc\n"s, 6},
        {header(3, 3, 3, 1) + "texturename ab\0cd\n"s + triangle, 0},
        // The largest capacities, and a face naming a slot they allow but no line filled.
        {header(1000000, 1000000, 1000000, 1000000) + triangle + "f 1000000/1/1 1/1/1 1/1/1\n", 16},
        {header(3, 3, 3, 2) + triangle + "f 2147483647/1/1 1/1/1 1/1/1\n", 16},
        {header(3, 3, 3, 2) + triangle + "f 1/2147483647/1 1/1/1 1/1/1\n", 16},
        {header(3, 3, 3, 2) + triangle + "f 1/1/-2147483648 1/1/1 1/1/1\n", 16},
        {header(3, 3, 3, 2) + triangle + "f 1/1/2147483648 1/1/1 1/1/1\n", 16},
        // Numbers at the ends of the float range: the largest and a subnormal are kept,
        // beyond them they are refused.
        {header(1, 0, 0, 0) + "v 3.4028235e38 -1.4e-45 0x1p-149\n", 0},
        {header(1, 0, 0, 0) + "v 3.5e38 0 0\n", 6},
        {header(1, 0, 0, 0) + "v -inf 0 0\n", 6},
        {header(0, 0, 1, 0) + "vt 1 infinity\n", 6},
        // A 100000-character number arrives in pieces: the first is a vertex of 2044 digits
        // (a float too large), so the file is refused on its first piece.
        {header(1, 0, 0, 0) + "v " + std::string(100000, '9') + " 0 0\n", 6},
        // Binary rubbish after a sound header is reported line by line and skipped.
        {header(0, 0, 0, 0) + "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe\n"s, 0},
    };
    MeshFiles files;
    for (const auto& c : cases) {
        Read r = readText(files, c.text);
        if (c.line == 0) {
            ASSERT_NE(r.mesh, nullptr) << r.message;
            for (int f = 0; f < r.mesh->faceCount; ++f) {
                for (int k = 0; k < 3; ++k) {
                    EXPECT_LT(r.mesh->faces[f].vertexIndex[k], r.mesh->vertexCount);
                    EXPECT_LT(r.mesh->faces[f].uvIndex[k], r.mesh->uvCount);
                    EXPECT_LT(r.mesh->faces[f].normalIndex[k], r.mesh->normalCount);
                }
            }
            freeMesh(r.mesh);
            continue;
        }
        EXPECT_EQ(r.mesh, nullptr) << c.text.substr(0, 200);
        freeMesh(r.mesh);
        EXPECT_NE(r.message.find("test.fobj:" + std::to_string(c.line) + ":"), std::string::npos)
            << r.message;
        EXPECT_EQ(r.message.find('\n'), std::string::npos) << r.message;
    }

    // The name ends at the zero byte: "ab" less its last character, as if that were the
    // line feed.
    Read r = readText(files, cases[2].text);
    ASSERT_NE(r.mesh, nullptr) << r.message;
    EXPECT_STREQ(r.mesh->textureNames[1], "a");
    freeMesh(r.mesh);
}
