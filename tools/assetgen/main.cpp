// assetgen [--assets DIR] [--data DIR] [ASSETS DATA] [expected file names...]
//
// Writes the demo's data directory from the sources in the assets directory. When file names
// are given (the build's list of outputs), the set written must be exactly that list.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "generator/assetgen.h"

namespace {

const char* const kUsage =
    "usage: assetgen [--assets DIR] [--data DIR] [ASSETS DATA] [EXPECTED FILE...]\n"
    "Writes the demo's data folder from the sources in the assets folder (timeline.txt,\n"
    "texts.txt). The folder is replaced whole or not at all: the files go into a new folder\n"
    "beside it, which takes its place only when every file is written.\n"
    "  --assets DIR   the sources (or the first plain argument)\n"
    "  --data DIR     the data folder to write (or the second plain argument)\n"
    "  EXPECTED FILE  names the written set must match exactly (the build's list)\n"
    "  --version      print the version and exit\n"
    "  --help         print this text and exit\n"
    "Every option also takes the form --option=value.\n";

void onSignal(int signal) {
    assetgen::stopSignal = signal;
}

}  // namespace

int main(int argc, char** argv) {
    std::string assetsDir, dataDir;
    std::vector<std::string> plain;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], value;
        bool hasValue = false;
        if (const size_t equals = arg.find('=');
            arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
            hasValue = true;
        }
        if (arg == "--help" || arg == "-h" || arg == "--version") {
            if (hasValue) {
                std::fprintf(stderr, "assetgen: %s takes no value\n", arg.c_str());
                return 2;
            }
            if (arg == "--version") {
                std::printf("assetgen %s\n", DEMO_VERSION);
            } else {
                std::fputs(kUsage, stdout);
            }
            return 0;
        } else if (arg == "--assets" || arg == "--data") {
            if (!hasValue) {
                if (i + 1 >= argc) {
                    std::fprintf(stderr, "assetgen: %s needs a folder\n", arg.c_str());
                    return 2;
                }
                value = argv[++i];
            }
            (arg == "--assets" ? assetsDir : dataDir) = value;
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "assetgen: unknown argument \"%s\" (see --help)\n", argv[i]);
            return 2;
        } else {
            plain.push_back(arg);
        }
    }
    // The plain arguments fill the folders not named by options, then list expected files.
    size_t next = 0;
    if (assetsDir.empty() && next < plain.size()) assetsDir = plain[next++];
    if (dataDir.empty() && next < plain.size()) dataDir = plain[next++];
    if (assetsDir.empty() || dataDir.empty()) {
        std::fprintf(stderr, "assetgen: needs the assets and the data folder (see --help)\n");
        return 2;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::vector<std::string> written;
    std::string message;
    if (!assetgen::generateData(assetsDir, dataDir, written, message)) {
        std::fprintf(stderr, "assetgen: %s\n", message.c_str());
        return assetgen::stopSignal ? 128 + assetgen::stopSignal : 1;
    }
    if (next < plain.size()) {
        std::vector<std::string> expected(plain.begin() + static_cast<long>(next), plain.end());
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
