// Mesh files: a restricted Wavefront OBJ dialect with a five-line capacity header.
//
//   line 1      anything
//   lines 2..5  "# N": capacities of vertices, normals, texture coordinates (+1 for slot 0)
//               and faces; N is read with "%d" from the third character
//   body        line 5 again, then every line: v / vn / vt / f a/b/c a/b/c a/b/c /
//               texturename NAME / # comment; anything else gives the note "unknown data [%s]"
//
// Lines are read as a 2047-character fgets buffer would read them: a line of more than 2046
// characters arrives in several pieces, and a final line without a line feed is read but not
// processed. "\r\n" and a lone "\r" count as one line feed, so names never keep a '\r'.
//
// Face indices are 1-based; vertex and normal indices are stored 0-based, texture-coordinate
// indices as written because uvs[0] is the placeholder (0, 0). Faces whose corners run
// counter-clockwise seen from outside get outward normals. A degenerate face gets the normal
// (0, 0, 0, 0), and so does a vertex whose face normals sum to zero (or that no face uses).
//
// The reader refuses, with one line naming the file and line, what would otherwise write
// past an array or leave garbage: a header shorter than five lines or without capacities,
// capacities outside 0..kMaxMeshCapacity, more lines of a kind than their capacity, v / vn /
// vt / f lines whose numbers do not all parse or are not finite, face indices outside the
// arrays read (checked once the whole file is read), more than kMaxTextureNames names, names
// of more than kMaxTextureNameLength characters and empty names. Faces with more than three
// corners keep their first three (one warning per file). The reader never prints: refusals
// come back as a message, warnings and unknown lines as notes, for the caller to report.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "render/math.h"
#include "render/render_context.h"

constexpr int kMaxTextureNames = 256;
constexpr int kMaxTextureNameLength = 255;
// A header may not announce more than this per array: a hostile file must not make us
// reserve gigabytes before reading a single line.
constexpr int kMaxMeshCapacity = 1000000;
// A longer file is refused before it is read.
constexpr size_t kMaxMeshFileBytes = 256u * 1024 * 1024;

struct MeshVertex {
    Vec4 position;  // w = 0
    Vec4 normal;    // vertex normal, w = 0
};

struct Mesh {
    MeshVertex* vertices;
    int vertexCount;
    Vec4* normals;  // from vn lines
    int normalCount;
    Uv* uvs;  // slot 0 is (0, 0)
    int uvCount;
    Face* faces;
    int faceCount;
    Vec4 bounds[8];      // corners of the axis-aligned box, object space
    Material* material;  // default material of every face
    char textureNames[kMaxTextureNames][kMaxTextureNameLength + 1];
    int textureNameCount;
    // Array sizes from the header; uvCapacity includes slot 0.
    int vertexCapacity;
    int normalCapacity;
    int uvCapacity;
    int faceCapacity;
};

// An empty mesh: no arrays, a new default material (texture index -1, shader type 0),
// texture-name slot 0 = "(none)". Where a mesh stands is not part of it (MeshPlacement), so
// that one mesh can be drawn by several shows at once.
Mesh* createMesh();

// Reads a mesh file. Returns null with a one-line `message` naming the file (and the line,
// where one is at fault) when the file cannot be opened or breaks a limit. Unknown lines are
// skipped; they and the warnings are appended to `notes` (when given), one line each.
Mesh* readMesh(const char* path, std::string& message, std::vector<std::string>* notes = nullptr);

// What readMesh does with the file's bytes, over a whole file held in memory; `path` only
// names it in the messages.
Mesh* parseMesh(const char* bytes, size_t size, const char* path, std::string& message,
                std::vector<std::string>* notes = nullptr);

void freeMesh(Mesh* mesh);
