// assetgen <assets dir> <data dir> [expected file names...]
//
// Writes the demo's data directory from the sources in the assets directory. When file names
// are given (the build's list of outputs), the set written must be exactly that list.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "assetgen.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: assetgen <assets dir> <data dir> [expected files...]\n");
        return 2;
    }
    std::vector<std::string> written;
    std::string message;
    if (!assetgen::generateData(argv[1], argv[2], written, message)) {
        std::fprintf(stderr, "assetgen: %s\n", message.c_str());
        return 1;
    }
    if (argc > 3) {
        std::vector<std::string> expected(argv + 3, argv + argc);
        std::sort(expected.begin(), expected.end());
        std::sort(written.begin(), written.end());
        if (expected != written) {
            std::vector<std::string> missing, extra;
            std::set_difference(expected.begin(), expected.end(), written.begin(), written.end(),
                                std::back_inserter(missing));
            std::set_difference(written.begin(), written.end(), expected.begin(), expected.end(),
                                std::back_inserter(extra));
            for (const auto& name : missing)
                std::fprintf(stderr, "assetgen: not made: %s\n", name.c_str());
            for (const auto& name : extra)
                std::fprintf(stderr, "assetgen: not listed: %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
