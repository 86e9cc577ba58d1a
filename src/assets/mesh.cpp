#include "assets/mesh.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "assets/file_bytes.h"

namespace {

constexpr int kLineBufferSize = 2047;  // one read returns at most 2046 characters
constexpr int kHeaderLines = 5;
constexpr float kBoundsStart = 1e20f;

// Hands out the file's lines the way fgets with a 2047-character buffer hands them out of a
// text-mode stream, over the whole file held in memory. Line ends are "\n", "\r\n" or a lone
// "\r"; each becomes a single "\n" before anything else looks at the text.
class LineReader {
public:
    explicit LineReader(std::vector<char>&& bytes) : text_(std::move(bytes)) {
        // In place: every '\r' becomes '\n' and the '\n' of a "\r\n" pair is dropped.
        if (text_.empty()) return;
        char* first = static_cast<char*>(std::memchr(text_.data(), '\r', text_.size()));
        if (!first) return;
        size_t out = size_t(first - text_.data());
        for (size_t in = out; in < text_.size(); ++in) {
            if (text_[in] != '\r') {
                text_[out++] = text_[in];
            } else {
                text_[out++] = '\n';
                if (in + 1 < text_.size() && text_[in + 1] == '\n') ++in;
            }
        }
        text_.resize(out);
    }

    // Copies the next piece, line feed included, into `line` and NUL-terminates it. False
    // when nothing is left.
    bool next(char (&line)[kLineBufferSize]) {
        if (position_ >= text_.size()) {
            reachedEnd_ = true;
            return false;
        }
        lineNumber_ = lineFeeds_ + 1;
        const size_t limit = kLineBufferSize - 1;
        const size_t available = text_.size() - position_;
        const size_t span = available < limit ? available : limit;
        const char* start = text_.data() + position_;
        const char* feed = static_cast<const char*>(std::memchr(start, '\n', span));
        const size_t taken = feed ? size_t(feed - start) + 1 : span;
        std::memcpy(line, start, taken);
        line[taken] = '\0';
        position_ += taken;
        if (feed) ++lineFeeds_;
        // fgets notices the end of the file only when it stops for want of characters.
        reachedEnd_ = !feed && taken < limit;
        return true;
    }

    // The last read reached the end of the file (what feof would say after it).
    bool reachedEnd() const { return reachedEnd_; }
    // Line of the file (1-based) where the last piece began.
    int lineNumber() const { return lineNumber_; }

private:
    std::vector<char> text_;
    size_t position_ = 0;
    int lineFeeds_ = 0;
    int lineNumber_ = 0;
    bool reachedEnd_ = false;
};

// The number readers follow scanf: leading white space is skipped, a number that does not
// start where expected fails. Unlike scanf they also refuse what does not fit the type.
bool readFloat(const char*& p, float& value) {
    char* end = nullptr;
    value = std::strtof(p, &end);
    if (end == p) return false;
    p = end;
    return true;
}

bool readInt(const char*& p, int& value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return false;
    value = int(parsed);
    p = end;
    return true;
}

bool readFloats(const char* p, float* values, int count) {
    for (int i = 0; i < count; ++i) {
        if (!readFloat(p, values[i])) return false;
    }
    return true;
}

void skipSpace(const char*& p) {
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f') ++p;
}

// "%d/%d/%d %d/%d/%d %d/%d/%d": the corners as written. `rest` is left after the last one.
bool readFaceCorners(const char* p, int (&numbers)[9], const char*& rest) {
    for (int corner = 0; corner < 3; ++corner) {
        skipSpace(p);
        for (int k = 0; k < 3; ++k) {
            if (k > 0 && *p++ != '/') return false;
            if (!readInt(p, numbers[3 * corner + k])) return false;
        }
    }
    rest = p;
    return true;
}

bool startsWith(const char* line, const char* prefix) {
    return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

struct MeshReader {
    MeshReader(const char* path, Mesh* mesh, std::string& message, std::vector<std::string>* notes)
        : path(path), mesh(mesh), message(message), notes(notes) {}

    const char* path;
    Mesh* mesh;
    std::string& message;
    std::vector<std::string>* notes;
    int currentSlot = 0;
    bool warnedCorners = false;
    std::vector<int> faceLines;  // file line of every face, for the index check at the end

    void note(std::string text) {
        if (notes) notes->push_back(std::move(text));
    }

    bool refuse(int line, const char* format, ...) {
        char what[320];
        va_list args;
        va_start(args, format);
        std::vsnprintf(what, sizeof what, format, args);
        va_end(args);
        char text[1024];
        if (line > 0) {
            std::snprintf(text, sizeof text, "%s:%d: %s", path, line, what);
        } else {
            std::snprintf(text, sizeof text, "%s: %s", path, what);
        }
        message = text;
        return false;
    }

    bool readCapacity(const char* line, int lineNumber, int& capacity) {
        // The number starts at the third character ("# N"); a shorter line has none.
        const char* p = line + 2;
        if (std::strlen(line) < 2 || !readInt(p, capacity)) {
            return refuse(lineNumber, "expected a capacity \"# N\" in the header");
        }
        if (capacity < 0 || capacity > kMaxMeshCapacity) {
            return refuse(lineNumber, "capacity %d is outside 0..%d", capacity, kMaxMeshCapacity);
        }
        return true;
    }

    bool allocate(const int (&capacity)[kHeaderLines]) {
        // Left uninitialised: every slot is written before it is counted, and untouched
        // pages of a generous header cost nothing.
        mesh->vertexCapacity = capacity[1];
        mesh->normalCapacity = capacity[2];
        mesh->uvCapacity = capacity[3] + 1;
        mesh->faceCapacity = capacity[4];
        mesh->vertices = new (std::nothrow) MeshVertex[mesh->vertexCapacity];
        mesh->normals = new (std::nothrow) Vec4[mesh->normalCapacity];
        mesh->uvs = new (std::nothrow) Uv[mesh->uvCapacity];
        mesh->faces = new (std::nothrow) Face[mesh->faceCapacity];
        if (!mesh->vertices || !mesh->normals || !mesh->uvs || !mesh->faces) {
            return refuse(0, "out of memory for the capacities of the header");
        }
        mesh->uvs[0] = {0.0f, 0.0f};
        mesh->uvCount = 1;
        return true;
    }

    bool readNumbers(const char* line, int lineNumber, float* values, int count, const char* what) {
        if (!readFloats(line + 2, values, count)) {
            return refuse(lineNumber, "malformed %s line: expected %d numbers", what, count);
        }
        for (int i = 0; i < count; ++i) {
            if (!std::isfinite(values[i])) {
                return refuse(lineNumber, "%s line has a number out of range", what);
            }
        }
        return true;
    }

    bool selectTexture(const char* line, int lineNumber) {
        const char* name = line + 12;
        size_t length = std::strlen(name);
        if (length > 0) --length;  // the line feed
        if (length == 0) return refuse(lineNumber, "empty texture name");
        if (length > size_t(kMaxTextureNameLength)) {
            return refuse(lineNumber, "texture name longer than %d characters",
                          kMaxTextureNameLength);
        }
        if (length == 4 && std::strncmp(name, "none", 4) == 0) {
            currentSlot = 0;
            return true;
        }
        for (int slot = 1; slot < mesh->textureNameCount; ++slot) {
            const char* known = mesh->textureNames[slot];
            if (std::strncmp(known, name, length) == 0 && known[length] == '\0') {
                currentSlot = slot;
                return true;
            }
        }
        if (mesh->textureNameCount >= kMaxTextureNames) {
            return refuse(lineNumber, "more than %d texture names", kMaxTextureNames);
        }
        currentSlot = mesh->textureNameCount++;
        std::memcpy(mesh->textureNames[currentSlot], name, length);
        mesh->textureNames[currentSlot][length] = '\0';
        return true;
    }

    bool readFace(const char* line, int lineNumber) {
        if (mesh->faceCount >= mesh->faceCapacity) {
            return refuse(lineNumber, "more faces than the header's capacity of %d",
                          mesh->faceCapacity);
        }
        int n[9];
        const char* rest = nullptr;
        if (!readFaceCorners(line + 2, n, rest)) {
            return refuse(lineNumber, "malformed face: expected v/t/n v/t/n v/t/n");
        }
        for (int corner = 0; corner < 3; ++corner) {
            if (n[3 * corner] < 1 || n[3 * corner + 1] < 0 || n[3 * corner + 2] < 1) {
                return refuse(lineNumber, "face index below 1 (0 for a texture coordinate)");
            }
        }
        skipSpace(rest);
        if (*rest != '\0' && !warnedCorners) {
            note(std::string(path) + ":" + std::to_string(lineNumber) +
                 ": warning: only the first three corners of a face are used");
            warnedCorners = true;
        }
        Face& face = mesh->faces[mesh->faceCount++];
        face = Face{};
        face.cornerCount = 3;
        for (int corner = 0; corner < 3; ++corner) {
            face.vertexIndex[corner] = n[3 * corner] - 1;
            face.uvIndex[corner] = n[3 * corner + 1];
            face.normalIndex[corner] = n[3 * corner + 2] - 1;
        }
        face.material = mesh->material;
        face.materialIndex = currentSlot;
        faceLines.push_back(lineNumber);
        return true;
    }

    bool processLine(const char* line, int lineNumber) {
        float v[3];
        if (line[0] == '#') return true;
        if (startsWith(line, "v ")) {
            if (mesh->vertexCount >= mesh->vertexCapacity) {
                return refuse(lineNumber, "more vertices than the header's capacity of %d",
                              mesh->vertexCapacity);
            }
            if (!readNumbers(line, lineNumber, v, 3, "vertex")) return false;
            mesh->vertices[mesh->vertexCount++] = {{v[0], v[1], v[2], 0.0f}, {0, 0, 0, 0}};
            return true;
        }
        if (startsWith(line, "vn ")) {
            if (mesh->normalCount >= mesh->normalCapacity) {
                return refuse(lineNumber, "more normals than the header's capacity of %d",
                              mesh->normalCapacity);
            }
            if (!readNumbers(line, lineNumber, v, 3, "normal")) return false;
            mesh->normals[mesh->normalCount++] = {v[0], v[1], v[2], 0.0f};
            return true;
        }
        if (startsWith(line, "vt ")) {
            if (mesh->uvCount >= mesh->uvCapacity) {
                return refuse(lineNumber,
                              "more texture coordinates than the header's capacity of %d",
                              mesh->uvCapacity - 1);
            }
            if (!readNumbers(line, lineNumber, v, 2, "texture coordinate")) return false;
            mesh->uvs[mesh->uvCount++] = {v[0], v[1]};
            return true;
        }
        if (startsWith(line, "texturename ")) return selectTexture(line, lineNumber);
        if (startsWith(line, "f ")) return readFace(line, lineNumber);
        note(std::string("unknown data [") + line + "]");
        return true;
    }

    // Indices are checked once the whole file is read, against what was actually read, so
    // no face can reach an unwritten slot.
    bool checkIndices() {
        for (int f = 0; f < mesh->faceCount; ++f) {
            const Face& face = mesh->faces[f];
            for (int corner = 0; corner < face.cornerCount; ++corner) {
                if (face.vertexIndex[corner] >= mesh->vertexCount) {
                    return refuse(faceLines[f], "face refers to vertex %d of %d",
                                  face.vertexIndex[corner] + 1, mesh->vertexCount);
                }
                if (face.uvIndex[corner] >= mesh->uvCount) {
                    return refuse(faceLines[f], "face refers to texture coordinate %d of %d",
                                  face.uvIndex[corner], mesh->uvCount - 1);
                }
                if (face.normalIndex[corner] >= mesh->normalCount) {
                    return refuse(faceLines[f], "face refers to normal %d of %d",
                                  face.normalIndex[corner] + 1, mesh->normalCount);
                }
            }
        }
        return true;
    }

    bool read(std::vector<char>&& bytes) {
        LineReader reader(std::move(bytes));
        char line[kLineBufferSize];
        int capacity[kHeaderLines] = {};
        for (int k = 0; k < kHeaderLines; ++k) {
            if (!reader.next(line)) {
                return refuse(k + 1, "file ends inside the five-line header");
            }
            if (k > 0 && !readCapacity(line, reader.lineNumber(), capacity[k])) return false;
        }
        if (!allocate(capacity)) return false;
        // Line 5 is looked at again as the first body line. A read that reaches the end of
        // the file stops the loop before its line is processed.
        bool atEnd = reader.reachedEnd();
        while (!atEnd) {
            if (!processLine(line, reader.lineNumber())) return false;
            if (!reader.next(line)) break;
            atEnd = reader.reachedEnd();
        }
        // Every line of a whole file ends with a line feed: one that does not was cut short.
        if (atEnd && line[0] != '\0') {
            note(std::string(path) + ":" + std::to_string(reader.lineNumber()) +
                 ": last line has no line feed and is ignored (file cut short?)");
        }
        return checkIndices();
    }
};

// n = (P1 - P0) x (P2 - P0) / |n|, in float, in this order of operations.
Vec4 faceNormal(const Mesh& mesh, const Face& face) {
    const Vec4& p0 = mesh.vertices[face.vertexIndex[0]].position;
    const Vec4& p1 = mesh.vertices[face.vertexIndex[1]].position;
    const Vec4& p2 = mesh.vertices[face.vertexIndex[2]].position;
    const float ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
    const float bx = p2.x - p0.x, by = p2.y - p0.y, bz = p2.z - p0.z;
    const float nx = ay * bz - az * by;
    const float ny = az * bx - ax * bz;
    const float nz = ax * by - ay * bx;
    const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
    // A degenerate face has no direction; zero keeps NaN out of the vertex normals.
    if (!(length > 0.0f) || !std::isfinite(length)) return {0, 0, 0, 0};
    return {nx / length, ny / length, nz / length, 0.0f};
}

void computeNormals(Mesh& mesh) {
    for (int f = 0; f < mesh.faceCount; ++f) {
        mesh.faces[f].faceNormal = faceNormal(mesh, mesh.faces[f]);
    }
    // One pass over the faces in order adds each vertex's face normals in the same order as
    // scanning every face for that vertex would, so the float sums are identical.
    for (int v = 0; v < mesh.vertexCount; ++v) mesh.vertices[v].normal = {0, 0, 0, 0};
    for (int f = 0; f < mesh.faceCount; ++f) {
        const Face& face = mesh.faces[f];
        for (int corner = 0; corner < face.cornerCount; ++corner) {
            Vec4& sum = mesh.vertices[face.vertexIndex[corner]].normal;
            sum.x += face.faceNormal.x;
            sum.y += face.faceNormal.y;
            sum.z += face.faceNormal.z;
            sum.w += face.faceNormal.w;
        }
    }
    for (int v = 0; v < mesh.vertexCount; ++v) {
        Vec4& n = mesh.vertices[v].normal;
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z + n.w * n.w);
        if (length > 0.0f) {
            n = {n.x / length, n.y / length, n.z / length, n.w / length};
        } else {
            n = {0, 0, 0, 0};  // unused, or its face normals cancel out
        }
    }
}

void computeBounds(Mesh& mesh) {
    float lo[3] = {kBoundsStart, kBoundsStart, kBoundsStart};
    float hi[3] = {-kBoundsStart, -kBoundsStart, -kBoundsStart};
    for (int v = 0; v < mesh.vertexCount; ++v) {
        const Vec4& p = mesh.vertices[v].position;
        const float c[3] = {p.x, p.y, p.z};
        for (int axis = 0; axis < 3; ++axis) {
            if (c[axis] < lo[axis]) lo[axis] = c[axis];
            if (c[axis] > hi[axis]) hi[axis] = c[axis];
        }
    }
    // Corner k takes max x when bit 0 is set, max y for bit 1, max z for bit 2.
    for (int k = 0; k < 8; ++k) {
        mesh.bounds[k] = {(k & 1) ? hi[0] : lo[0], (k & 2) ? hi[1] : lo[1], (k & 4) ? hi[2] : lo[2],
                          0.0f};
    }
}

}  // namespace

Mesh* createMesh() {
    auto* mesh = new Mesh{};
    mesh->material = new Material{};
    mesh->material->textureIndex = -1;
    mesh->material->shaderType = 0;
    std::strcpy(mesh->textureNames[0], "(none)");
    mesh->textureNameCount = 1;
    return mesh;
}

namespace {

Mesh* parseBytes(std::vector<char>&& bytes, const char* path, std::string& message,
                 std::vector<std::string>* notes) {
    Mesh* mesh = createMesh();
    MeshReader reader{path, mesh, message, notes};
    if (!reader.read(std::move(bytes))) {
        freeMesh(mesh);
        return nullptr;
    }
    computeNormals(*mesh);
    computeBounds(*mesh);
    message.clear();
    return mesh;
}

}  // namespace

Mesh* readMesh(const char* path, std::string& message, std::vector<std::string>* notes) {
    std::vector<char> bytes;
    std::string why;
    if (!readWholeFile(path, kMaxMeshFileBytes, bytes, why)) {
        message = std::string("cannot open mesh ") + path + ": " + why;
        return nullptr;
    }
    return parseBytes(std::move(bytes), path, message, notes);
}

Mesh* parseMesh(const char* bytes, size_t size, const char* path, std::string& message,
                std::vector<std::string>* notes) {
    if (!path) path = "(memory)";
    if (!bytes && size > 0) {
        message = std::string(path) + ": no bytes";
        return nullptr;
    }
    if (size > kMaxMeshFileBytes) {
        message = std::string(path) + ": file too large";
        return nullptr;
    }
    return parseBytes(std::vector<char>(bytes, bytes + size), path, message, notes);
}

void freeMesh(Mesh* mesh) {
    if (!mesh) return;
    delete[] mesh->vertices;
    delete[] mesh->normals;
    delete[] mesh->uvs;
    delete[] mesh->faces;
    delete mesh->material;
    delete mesh;
}
