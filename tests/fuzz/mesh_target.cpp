#include <cmath>
#include <cstring>
#include <string>

#include "assets/mesh.h"
#include "fuzz_targets.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) fuzzInvariantBroken("mesh", what);
}

bool finite(const Vec4& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

// Unit length within float rounding, or exactly zero (degenerate or unused).
bool unitOrZero(const Vec4& n) {
    const double length =
        std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z + double(n.w) * n.w);
    return length == 0.0 || std::fabs(length - 1.0) < 1e-5;
}

}  // namespace

int fuzzMeshText(const uint8_t* data, size_t size) {
    std::string message;
    Mesh* mesh = parseMesh(reinterpret_cast<const char*>(data), size, kFuzzMeshPath, message);
    if (!mesh) {
        check(!message.empty(), "a refusal has a message");
        check(message.rfind(kFuzzMeshPath, 0) == 0, "the message starts with the file name");
        check(message.find('\n') == std::string::npos, "the message is one line");
        return 0;
    }
    check(message.empty(), "success leaves no message");

    const Mesh& m = *mesh;
    check(m.vertexCapacity >= 0 && m.vertexCapacity <= kMaxMeshCapacity, "vertex capacity");
    check(m.normalCapacity >= 0 && m.normalCapacity <= kMaxMeshCapacity, "normal capacity");
    check(m.uvCapacity >= 1 && m.uvCapacity <= kMaxMeshCapacity + 1, "uv capacity");
    check(m.faceCapacity >= 0 && m.faceCapacity <= kMaxMeshCapacity, "face capacity");
    check(m.vertexCount >= 0 && m.vertexCount <= m.vertexCapacity, "vertices within capacity");
    check(m.normalCount >= 0 && m.normalCount <= m.normalCapacity, "normals within capacity");
    check(m.uvCount >= 1 && m.uvCount <= m.uvCapacity, "uvs within capacity");
    check(m.faceCount >= 0 && m.faceCount <= m.faceCapacity, "faces within capacity");
    check(m.uvs[0].u == 0.0f && m.uvs[0].v == 0.0f, "uv slot 0 is the placeholder");

    check(m.textureNameCount >= 1 && m.textureNameCount <= kMaxTextureNames, "name count");
    check(std::strcmp(m.textureNames[0], "(none)") == 0, "name slot 0 is (none)");
    for (int slot = 1; slot < m.textureNameCount; ++slot) {
        const char* name = m.textureNames[slot];
        const size_t length = strnlen(name, kMaxTextureNameLength + 1);
        check(length >= 1 && length <= size_t(kMaxTextureNameLength), "names fit their slot");
        check(std::strchr(name, '\r') == nullptr && std::strchr(name, '\n') == nullptr,
              "names keep no line end");
        check(std::strcmp(name, "none") != 0, "\"none\" is never stored");
        for (int other = 1; other < slot; ++other) {
            check(std::strcmp(name, m.textureNames[other]) != 0, "each name is stored once");
        }
    }

    for (int v = 0; v < m.vertexCount; ++v) {
        check(finite(m.vertices[v].position) && m.vertices[v].position.w == 0.0f, "positions");
        check(finite(m.vertices[v].normal) && unitOrZero(m.vertices[v].normal), "vertex normals");
    }
    for (int n = 0; n < m.normalCount; ++n) check(finite(m.normals[n]), "normals are finite");
    for (int t = 0; t < m.uvCount; ++t) {
        check(std::isfinite(m.uvs[t].u) && std::isfinite(m.uvs[t].v), "uvs are finite");
    }
    for (int f = 0; f < m.faceCount; ++f) {
        const Face& face = m.faces[f];
        check(face.cornerCount == 3, "faces are triangles");
        for (int c = 0; c < 3; ++c) {
            check(face.vertexIndex[c] >= 0 && face.vertexIndex[c] < m.vertexCount, "vertex index");
            check(face.uvIndex[c] >= 0 && face.uvIndex[c] < m.uvCount, "uv index");
            check(face.normalIndex[c] >= 0 && face.normalIndex[c] < m.normalCount, "normal index");
        }
        check(face.materialIndex >= 0 && face.materialIndex < m.textureNameCount,
              "material index names a slot");
        check(face.material == m.material, "faces carry the default material");
        check(finite(face.faceNormal) && unitOrZero(face.faceNormal), "face normals");
    }
    for (int k = 0; k < 8; ++k) check(finite(m.bounds[k]), "bounds are finite");
    if (m.vertexCount > 0) {
        check(m.bounds[0].x <= m.bounds[7].x && m.bounds[0].y <= m.bounds[7].y &&
                  m.bounds[0].z <= m.bounds[7].z,
              "bounds are ordered");
    }
    freeMesh(mesh);
    return 0;
}
