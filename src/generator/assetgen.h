// The asset generator: from the sources in assets/ (timeline.txt, texts.txt) it writes every
// file of the demo's data directory.
#pragma once

#include <csignal>
#include <string>
#include <vector>

namespace assetgen {

// Loudness of the finished mix, checked before it is encoded.
struct Loudness {
    double peakDb;  // dBFS of the largest sample
    double rmsDb;   // dBFS of the root mean square over both channels
};
Loudness measureLoudness(const std::vector<float>& left, const std::vector<float>& right);

// Writes the data directory `outDir` whole or not at all: the files go into a new sibling
// folder that then takes `outDir`'s place, so a failure leaves the previous folder as it was
// and nothing beside it. `written` receives the file names in the order they were written.
// On failure `message` is one line naming the file at fault.
bool generateData(const std::string& assetsDir, const std::string& outDir,
                  std::vector<std::string>& written, std::string& message);

// Set by a signal handler: generateData stops before its next file and fails.
extern volatile std::sig_atomic_t stopSignal;

}  // namespace assetgen
