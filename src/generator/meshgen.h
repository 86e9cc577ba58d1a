// Mesh generation in the demo's mesh dialect:
//   line 1 title, lines 2..5 "# <count>" for vertices, normals, texture coordinates and faces
//   (each exactly the number of lines that follow), then v / vn / vt / texturename / f lines.
// Every solid is closed and its triangles run counter-clockwise seen from outside, so the
// loader's face normals point outwards. Faces carry flat normals from vn lines.
#pragma once

#include <string>
#include <vector>

#include "generator/font.h"

namespace assetgen {

struct Vec3d {
    double x, y, z;
};

class MeshBuilder {
public:
    struct Corner {
        int vertex, uv, normal;  // 0-based
    };
    struct Triangle {
        Corner corners[3];
        int texture;  // index into textureNames, -1 for "none"
    };

    int addVertex(double x, double y, double z);
    int addNormal(Vec3d n);
    int addUv(double u, double v);
    int textureIndex(const std::string& name);
    // The 6 axis normals (+x, -x, +y, -y, +z, -z), made on first use.
    int axisNormal(int axis);

    // One triangle, turned if needed so that it faces `outward`.
    void addTriangle(int a, int b, int c, Vec3d outward, int normal, int texture = -1,
                     const int* uvs = nullptr);
    // A planar quad a-b-c-d (cyclic, either direction), facing `outward`.
    void addQuad(int a, int b, int c, int d, Vec3d outward, int normal, int texture = -1,
                 const int* uvs = nullptr);
    // A closed axis-aligned box.
    void addBox(Vec3d lo, Vec3d hi);
    // A closed square pyramid on the rectangle lo..hi at height lo.y with its apex at apexY.
    void addPyramid(Vec3d lo, Vec3d hi, double apexY);

    Vec3d vertex(int index) const { return vertices_[index]; }

    std::string text(const std::string& title) const;

private:
    int defaultUv();

    std::vector<Vec3d> vertices_;
    std::vector<Vec3d> normals_;
    std::vector<std::pair<double, double>> uvs_;
    std::vector<Triangle> triangles_;
    std::vector<std::string> textureNames_;
    int axisNormals_[6] = {-1, -1, -1, -1, -1, -1};
    int defaultUv_ = -1;
};

// The meshes of the show, as file texts.
std::string makeCity();
std::string makeCube();
std::string makeBlockWall();
std::string makeSpike();
// Lettering: `text` extruded from the font's bitmap as blocks, centred on x = centreX. The
// front faces carry `textureName` with coordinates spanning 0..1 over the lettering.
std::string makeLettering(const Font& font, const std::string& text, double centreX,
                          const std::string& textureName);

}  // namespace assetgen
