// Start-up cost of reading a mesh: readMesh of a generated 5,000-vertex, 9,702-face file
// (a 50 x 100 grid wrapped on a sphere, with a normal and a texture coordinate per vertex).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "assets/mesh.h"

namespace {

constexpr int kRings = 50;
constexpr int kSegments = 100;

std::string writeSphere() {
    const std::string path = "/tmp/bench_mesh_" + std::to_string(getpid()) + ".fobj";
    std::FILE* file = std::fopen(path.c_str(), "w");
    const int vertices = kRings * kSegments;
    const int faces = 2 * (kRings - 1) * (kSegments - 1);
    std::fprintf(file, "sphere\n# %d\n# %d\n# %d\n# %d\n", vertices, vertices, vertices, faces);
    for (int r = 0; r < kRings; ++r) {
        const double theta = 3.141592653589793 * (r + 0.5) / kRings;
        for (int s = 0; s < kSegments; ++s) {
            const double phi = 2 * 3.141592653589793 * s / kSegments;
            const double x = std::sin(theta) * std::cos(phi), y = std::cos(theta),
                         z = std::sin(theta) * std::sin(phi);
            std::fprintf(file, "v %.6f %.6f %.6f\nvn %.6f %.6f %.6f\nvt %.6f %.6f\n", 50 * x,
                         50 * y, 50 * z, x, y, z, double(s) / kSegments, double(r) / kRings);
        }
    }
    for (int r = 0; r + 1 < kRings; ++r) {
        for (int s = 0; s + 1 < kSegments; ++s) {
            const int a = r * kSegments + s + 1, b = a + 1, c = a + kSegments, d = c + 1;
            std::fprintf(file, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, c, c, c, b, b, b);
            std::fprintf(file, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", b, b, b, c, c, c, d, d, d);
        }
    }
    std::fclose(file);
    return path;
}

void BM_LoadMesh(benchmark::State& state) {
    const std::string path = writeSphere();
    int faces = 0;
    std::string message;
    for (auto _ : state) {
        Mesh* mesh = readMesh(path.c_str(), message);
        if (!mesh) {
            state.SkipWithError(message.c_str());
            break;
        }
        faces = mesh->faceCount;
        benchmark::DoNotOptimize(mesh->vertices[0].normal);
        freeMesh(mesh);
    }
    state.counters["vertices"] = kRings * kSegments;
    state.counters["faces"] = faces;
    std::remove(path.c_str());
}
BENCHMARK(BM_LoadMesh)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
