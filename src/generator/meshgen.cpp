#include "generator/meshgen.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "generator/common.h"

namespace assetgen {

namespace {

Vec3d sub(Vec3d a, Vec3d b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3d cross(Vec3d a, Vec3d b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(Vec3d a, Vec3d b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3d normalise(Vec3d v) {
    const double length = std::sqrt(dot(v, v));
    return {v.x / length, v.y / length, v.z / length};
}

// Fixed decimals keep the files identical from run to run; -0 is written as 0.
void appendNumber(std::string& out, double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text = buffer;
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    out += text;
}

}  // namespace

int MeshBuilder::addVertex(double x, double y, double z) {
    vertices_.push_back({x, y, z});
    return static_cast<int>(vertices_.size()) - 1;
}

int MeshBuilder::addNormal(Vec3d n) {
    normals_.push_back(normalise(n));
    return static_cast<int>(normals_.size()) - 1;
}

int MeshBuilder::addUv(double u, double v) {
    uvs_.emplace_back(u, v);
    return static_cast<int>(uvs_.size()) - 1;
}

int MeshBuilder::defaultUv() {
    if (defaultUv_ < 0) defaultUv_ = addUv(0.0, 0.0);
    return defaultUv_;
}

int MeshBuilder::textureIndex(const std::string& name) {
    for (size_t i = 0; i < textureNames_.size(); ++i) {
        if (textureNames_[i] == name) return static_cast<int>(i);
    }
    textureNames_.push_back(name);
    return static_cast<int>(textureNames_.size()) - 1;
}

int MeshBuilder::axisNormal(int axis) {
    static const Vec3d kAxes[6] = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},
                                   {0, -1, 0}, {0, 0, 1},  {0, 0, -1}};
    if (axisNormals_[axis] < 0) axisNormals_[axis] = addNormal(kAxes[axis]);
    return axisNormals_[axis];
}

void MeshBuilder::addTriangle(int a, int b, int c, Vec3d outward, int normal, int texture,
                              const int* uvs) {
    int ua, ub, uc;
    if (uvs) {
        ua = uvs[0], ub = uvs[1], uc = uvs[2];
    } else {
        ua = ub = uc = defaultUv();
    }
    const Vec3d n = cross(sub(vertices_[b], vertices_[a]), sub(vertices_[c], vertices_[a]));
    if (dot(n, outward) < 0.0) {
        std::swap(b, c);
        std::swap(ub, uc);
    }
    triangles_.push_back(Triangle{{{a, ua, normal}, {b, ub, normal}, {c, uc, normal}}, texture});
}

void MeshBuilder::addQuad(int a, int b, int c, int d, Vec3d outward, int normal, int texture,
                          const int* uvs) {
    int first[3] = {0, 0, 0}, second[3] = {0, 0, 0};
    if (uvs) {
        first[0] = uvs[0], first[1] = uvs[1], first[2] = uvs[2];
        second[0] = uvs[0], second[1] = uvs[2], second[2] = uvs[3];
    }
    addTriangle(a, b, c, outward, normal, texture, uvs ? first : nullptr);
    addTriangle(a, c, d, outward, normal, texture, uvs ? second : nullptr);
}

void MeshBuilder::addBox(Vec3d lo, Vec3d hi) {
    // Corner i has x from bit 0, y from bit 1, z from bit 2.
    int v[8];
    for (int i = 0; i < 8; ++i) {
        v[i] = addVertex(i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z);
    }
    addQuad(v[1], v[3], v[7], v[5], {1, 0, 0}, axisNormal(0));
    addQuad(v[0], v[4], v[6], v[2], {-1, 0, 0}, axisNormal(1));
    addQuad(v[2], v[6], v[7], v[3], {0, 1, 0}, axisNormal(2));
    addQuad(v[0], v[1], v[5], v[4], {0, -1, 0}, axisNormal(3));
    addQuad(v[4], v[5], v[7], v[6], {0, 0, 1}, axisNormal(4));
    addQuad(v[0], v[2], v[3], v[1], {0, 0, -1}, axisNormal(5));
}

void MeshBuilder::addPyramid(Vec3d lo, Vec3d hi, double apexY) {
    const int a = addVertex(lo.x, lo.y, lo.z);
    const int b = addVertex(hi.x, lo.y, lo.z);
    const int c = addVertex(hi.x, lo.y, hi.z);
    const int d = addVertex(lo.x, lo.y, hi.z);
    const double cx = 0.5 * (lo.x + hi.x), cz = 0.5 * (lo.z + hi.z);
    const int apex = addVertex(cx, apexY, cz);
    const int base[4] = {a, b, c, d};
    for (int i = 0; i < 4; ++i) {
        const int p = base[i], q = base[(i + 1) % 4];
        const Vec3d mid = {0.5 * (vertices_[p].x + vertices_[q].x), lo.y,
                           0.5 * (vertices_[p].z + vertices_[q].z)};
        const Vec3d outward = {mid.x - cx, 0.0, mid.z - cz};
        const Vec3d n = cross(sub(vertices_[q], vertices_[p]), sub(vertices_[apex], vertices_[p]));
        const Vec3d facing = dot(n, outward) < 0.0 ? Vec3d{-n.x, -n.y, -n.z} : n;
        addTriangle(p, q, apex, outward, addNormal(facing));
    }
    addQuad(a, b, c, d, {0, -1, 0}, axisNormal(3));
}

std::string MeshBuilder::text(const std::string& title) const {
    std::string out;
    out.reserve(64 * (vertices_.size() + triangles_.size()));
    out += "# " + title + "\n";
    out += "# " + std::to_string(vertices_.size()) + "\n";
    out += "# " + std::to_string(normals_.size()) + "\n";
    out += "# " + std::to_string(uvs_.size()) + "\n";
    out += "# " + std::to_string(triangles_.size()) + "\n";
    for (const auto& v : vertices_) {
        out += "v ";
        appendNumber(out, v.x, 4);
        out += ' ';
        appendNumber(out, v.y, 4);
        out += ' ';
        appendNumber(out, v.z, 4);
        out += '\n';
    }
    for (const auto& n : normals_) {
        out += "vn ";
        appendNumber(out, n.x, 6);
        out += ' ';
        appendNumber(out, n.y, 6);
        out += ' ';
        appendNumber(out, n.z, 6);
        out += '\n';
    }
    for (const auto& uv : uvs_) {
        out += "vt ";
        appendNumber(out, uv.first, 6);
        out += ' ';
        appendNumber(out, uv.second, 6);
        out += '\n';
    }
    int texture = -1;
    for (const auto& t : triangles_) {
        if (t.texture != texture) {
            texture = t.texture;
            out += "texturename " + (texture < 0 ? std::string("none") : textureNames_[texture]) +
                   "\n";
        }
        out += "f";
        for (const auto& c : t.corners) {
            out += ' ' + std::to_string(c.vertex + 1) + '/' + std::to_string(c.uv + 1) + '/' +
                   std::to_string(c.normal + 1);
        }
        out += '\n';
    }
    return out;
}

// The city stands on y = 0 around the origin, the axis it spins about. The free camera's start
// position is (0, 8, 44) in the city's frame, looking towards -z and upwards. Apart from the
// spire (within radius 8) nothing stands closer than radius 60 to the axis, so no building
// sweeps through the camera while the city turns, at any scale from 0.75 to 3.
std::string makeCity() {
    MeshBuilder mesh;
    Random rng(0x110C17);
    // The spire on the central square.
    mesh.addBox({-5, 0, -5}, {5, 34, 5});
    mesh.addBox({-3.5, 34, -3.5}, {3.5, 72, 3.5});
    mesh.addPyramid({-3.5, 72, -3.5}, {3.5, 72, 3.5}, 84);
    mesh.addBox({-0.6, 84, -0.6}, {0.6, 112, 0.6});

    const double pitch = 20.0;
    for (int gz = -14; gz <= 14; ++gz) {
        for (int gx = -14; gx <= 14; ++gx) {
            const double cx = gx * pitch + rng.range(-2.0, 2.0);
            const double cz = gz * pitch + rng.range(-2.0, 2.0);
            const double r = std::hypot(cx, cz);
            const double kind = rng.unit();
            const double w = rng.range(7.0, 15.0) * 0.5;
            const double d = rng.range(7.0, 15.0) * 0.5;
            const double spread = rng.range(0.55, 1.3);
            if (r > 285.0 || r < 72.0) continue;
            // Tall towers near the square, low blocks towards the edge.
            const double height = (14.0 + 100.0 * std::exp(-(r - 72.0) / 90.0)) * spread;
            const Vec3d lo = {cx - w, 0.0, cz - d};
            const Vec3d hi = {cx + w, height, cz + d};
            if (kind < 0.45) {
                mesh.addBox(lo, hi);
            } else if (kind < 0.7) {
                // Setback tower: each tier narrower and stacked on the last.
                const int tiers = height > 50.0 ? 3 : 2;
                double y = 0.0, shrink = 1.0;
                for (int t = 0; t < tiers; ++t) {
                    const double top = y + height * (t == 0 ? 0.5 : 0.3);
                    mesh.addBox({cx - w * shrink, y, cz - d * shrink},
                                {cx + w * shrink, top, cz + d * shrink});
                    y = top;
                    shrink *= 0.7;
                }
            } else if (kind < 0.85) {
                mesh.addBox(lo, hi);
                mesh.addPyramid({lo.x, height, lo.z}, {hi.x, height, hi.z},
                                height + std::min(w, d) * 1.2);
            } else if (kind < 0.93) {
                mesh.addBox(lo, hi);
                mesh.addBox({cx - 0.4, height, cz - 0.4}, {cx + 0.4, height * 1.35, cz + 0.4});
            } else {
                // Twin slabs on one lot.
                mesh.addBox({lo.x, 0.0, lo.z}, {cx - 0.8, height, hi.z});
                mesh.addBox({cx + 0.8, 0.0, lo.z}, {hi.x, height * 0.8, hi.z});
            }
        }
    }
    return mesh.text("city: towers around a square, ground at y = 0");
}

std::string makeCube() {
    MeshBuilder mesh;
    mesh.addBox({-5, -5, -5}, {5, 5, 5});
    return mesh.text("cube: 10 units a side");
}

// Drawn at scale 50, 500 units away: half a screen is about 16 units wide here, so the wall
// overhangs the view on every side even after its slight turn.
std::string makeBlockWall() {
    MeshBuilder mesh;
    Random rng(0xB10C);
    const double left = -30.0, right = 26.0, bottom = -21.0, top = 19.0;
    mesh.addBox({left, bottom, -0.6}, {right, top, 0.0});  // the mortar behind the blocks
    const double gap = 0.08;
    int row = 0;
    for (double y = bottom; y < top - 0.5; y += 1.0, ++row) {
        double x = left + ((row & 1) ? -1.2 : 0.0);
        while (x < right) {
            const double length = rng.range(1.6, 3.2);
            const double depth = rng.range(0.15, 0.7);
            const double x0 = std::max(x, left), x1 = std::min(x + length, right);
            if (x1 - x0 > 0.4) {
                mesh.addBox({x0 + gap, y + gap, 0.0}, {x1 - gap, y + 1.0 - gap, depth});
            }
            x += length;
        }
    }
    return mesh.text("blockwall: staggered blocks on a mortar slab, facing +z");
}

// A stellated icosahedron: a small core with a spike over each of its 20 faces.
std::string makeSpike() {
    MeshBuilder mesh;
    const double phi = (1.0 + std::sqrt(5.0)) * 0.5;
    const double core = 3.0, tip = 12.0;
    const Vec3d raw[12] = {{-1, phi, 0}, {1, phi, 0}, {-1, -phi, 0}, {1, -phi, 0},
                           {0, -1, phi}, {0, 1, phi}, {0, -1, -phi}, {0, 1, -phi},
                           {phi, 0, -1}, {phi, 0, 1}, {-phi, 0, -1}, {-phi, 0, 1}};
    const int faces[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                              {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                              {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                              {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    int v[12];
    for (int i = 0; i < 12; ++i) {
        const Vec3d p = normalise(raw[i]);
        v[i] = mesh.addVertex(p.x * core, p.y * core, p.z * core);
    }
    for (const auto& f : faces) {
        const Vec3d a = mesh.vertex(v[f[0]]), b = mesh.vertex(v[f[1]]), c = mesh.vertex(v[f[2]]);
        const Vec3d centre = normalise({a.x + b.x + c.x, a.y + b.y + c.y, a.z + b.z + c.z});
        const int apex = mesh.addVertex(centre.x * tip, centre.y * tip, centre.z * tip);
        const int corners[3] = {v[f[0]], v[f[1]], v[f[2]]};
        for (int e = 0; e < 3; ++e) {
            const int p = corners[e], q = corners[(e + 1) % 3];
            const Vec3d pp = mesh.vertex(p), qq = mesh.vertex(q), tt = mesh.vertex(apex);
            const Vec3d outward = {pp.x + qq.x + tt.x, pp.y + qq.y + tt.y, pp.z + qq.z + tt.z};
            Vec3d n = cross(sub(qq, pp), sub(tt, pp));
            if (dot(n, outward) < 0.0) n = {-n.x, -n.y, -n.z};
            mesh.addTriangle(p, q, apex, outward, mesh.addNormal(n));
        }
    }
    return mesh.text("koxspike: stellated icosahedron, tips at radius 12");
}

std::string makeLettering(const Font& font, const std::string& text, double centreX,
                          const std::string& textureName) {
    const Coverage glyphs = font.render(text, 26);
    // One cell per pixel with at least half coverage, one pixel of margin around.
    const int cols = glyphs.width + 2, rows = glyphs.height + 2;
    std::vector<uint8_t> filled(static_cast<size_t>(cols) * rows, 0);
    auto cell = [&](int c, int r) -> uint8_t& { return filled[static_cast<size_t>(r) * cols + c]; };
    auto on = [&](int c, int r) {
        return c >= 0 && r >= 0 && c < cols && r < rows && cell(c, r) != 0;
    };
    for (int r = 0; r < glyphs.height; ++r) {
        for (int c = 0; c < glyphs.width; ++c) cell(c + 1, r + 1) = glyphs.at(c, r) >= 128;
    }
    // Cells that touch only at a corner would make an edge shared by four faces: join them by
    // filling one of the two empty cells of every such checkerboard square.
    for (bool changed = true; changed;) {
        changed = false;
        for (int r = 0; r + 1 < rows; ++r) {
            for (int c = 0; c + 1 < cols; ++c) {
                const bool a = on(c, r), b = on(c + 1, r), d = on(c, r + 1), e = on(c + 1, r + 1);
                if (a && e && !b && !d) {
                    cell(c + 1, r) = 1;
                    changed = true;
                } else if (b && d && !a && !e) {
                    cell(c, r) = 1;
                    changed = true;
                }
            }
        }
    }

    const double size = 296.0 / cols;  // about 300 units wide, at scale 5 most of the screen
    const double halfDepth = 3.0;
    MeshBuilder mesh;
    const int texture = mesh.textureIndex(textureName);
    std::map<long, int> front, back, frontUv;
    auto key = [&](int c, int r) { return static_cast<long>(r) * (cols + 1) + c; };
    auto corner = [&](std::map<long, int>& side, int c, int r, double z) {
        const auto found = side.find(key(c, r));
        if (found != side.end()) return found->second;
        const int index =
            mesh.addVertex(centreX + (c - cols * 0.5) * size, (rows * 0.5 - r) * size, z);
        side.emplace(key(c, r), index);
        return index;
    };
    // Coordinates stay inside 0.01..0.99: the sampler wraps 1.0 back to 0.
    auto uv = [&](int c, int r) {
        const auto found = frontUv.find(key(c, r));
        if (found != frontUv.end()) return found->second;
        const int index = mesh.addUv(0.01 + 0.98 * c / cols, 0.01 + 0.98 * (rows - r) / rows);
        frontUv.emplace(key(c, r), index);
        return index;
    };
    const int nFront = mesh.axisNormal(4), nBack = mesh.axisNormal(5);
    // Front faces first (textured), then everything else (untextured).
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            if (!on(c, r)) continue;
            const int uvs[4] = {uv(c, r), uv(c + 1, r), uv(c + 1, r + 1), uv(c, r + 1)};
            mesh.addQuad(corner(front, c, r, halfDepth), corner(front, c + 1, r, halfDepth),
                         corner(front, c + 1, r + 1, halfDepth), corner(front, c, r + 1, halfDepth),
                         {0, 0, 1}, nFront, texture, uvs);
        }
    }
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            if (!on(c, r)) continue;
            mesh.addQuad(corner(back, c, r, -halfDepth), corner(back, c + 1, r, -halfDepth),
                         corner(back, c + 1, r + 1, -halfDepth), corner(back, c, r + 1, -halfDepth),
                         {0, 0, -1}, nBack);
            // Walls towards empty neighbours: edge (c0, r0)-(c1, r1) of the cell.
            struct Side {
                int dc, dr, c0, r0, c1, r1, axis;
                Vec3d outward;
            };
            const Side sides[4] = {{1, 0, 1, 0, 1, 1, 0, {1, 0, 0}},
                                   {-1, 0, 0, 0, 0, 1, 1, {-1, 0, 0}},
                                   {0, -1, 0, 0, 1, 0, 2, {0, 1, 0}},
                                   {0, 1, 0, 1, 1, 1, 3, {0, -1, 0}}};
            for (const auto& s : sides) {
                if (on(c + s.dc, r + s.dr)) continue;
                mesh.addQuad(corner(front, c + s.c0, r + s.r0, halfDepth),
                             corner(front, c + s.c1, r + s.r1, halfDepth),
                             corner(back, c + s.c1, r + s.r1, -halfDepth),
                             corner(back, c + s.c0, r + s.r0, -halfDepth), s.outward,
                             mesh.axisNormal(s.axis));
            }
        }
    }
    return mesh.text("lettering: " + text);
}

}  // namespace assetgen
