#include "edit/transport.h"

#include <algorithm>
#include <cmath>

#include "runtime/clock.h"

namespace {

constexpr double kFramesPerRow = 44100.0 / ROWS_PER_SECOND;

}  // namespace

double rowAtBytes(uint64_t bytes) {
    const double frames = static_cast<double>(bytes / 4);
    const double row = frames / kFramesPerRow;
    const double whole = std::round(row);
    // Within half a sample frame (plus rounding) of a whole row: that row.
    if (std::fabs(row - whole) * kFramesPerRow <= 0.5 + 1e-6) return whole;
    return row;
}

uint64_t bytesAtRow(double row) {
    if (!(row > 0.0)) return 0;
    return static_cast<uint64_t>(std::llround(row * kFramesPerRow)) * 4;
}

int lastShownRow(const SectionTable& sections) {
    return std::max(0, sections.endRow - 1);
}

int clampRow(const SectionTable& sections, int row) {
    return std::clamp(row, 0, lastShownRow(sections));
}

int movedRow(const SectionTable& sections, double row, int delta) {
    return clampRow(sections, static_cast<int>(std::lround(row)) + delta);
}

int nextSectionRow(const SectionTable& sections, double row) {
    for (int start : sections.starts) {
        if (start > row + 1e-6) return clampRow(sections, start);
    }
    return lastShownRow(sections);
}

int previousSectionRow(const SectionTable& sections, double row) {
    int found = 0;
    for (int start : sections.starts) {
        if (start < row - kRowsPerBeat / 2) found = start;
    }
    return clampRow(sections, found);
}

void sectionAround(const SectionTable& sections, double row, int& begin, int& end) {
    begin = 0;
    end = sections.endRow;
    for (int start : sections.starts) {
        if (start <= row + 1e-6) {
            begin = start;
        } else {
            end = start;
            break;
        }
    }
    end = std::min(end, sections.endRow);
}

void toggleLoop(Transport& transport, const SectionTable& sections, double row) {
    if (transport.looping) {
        transport.looping = false;
        return;
    }
    if (transport.markIn >= 0 && transport.markOut > transport.markIn) {
        transport.loopBegin = transport.markIn;
        transport.loopEnd = std::min(transport.markOut, sections.endRow);
    } else {
        sectionAround(sections, row, transport.loopBegin, transport.loopEnd);
    }
    transport.looping = transport.loopEnd > transport.loopBegin;
}

int loopTarget(const Transport& transport, double row) {
    if (!transport.looping) return -1;
    if (row >= transport.loopEnd || row < transport.loopBegin - 1e-6) return transport.loopBegin;
    return -1;
}
