// One target per file reader, each taking the bytes of a whole file. A target runs the reader
// and checks what its header promises about the result: counts within capacities, indices
// inside the arrays, finite numbers, a one-line message naming the file on refusal. The same
// targets run under libFuzzer (fuzz_track, fuzz_mesh, fuzz_png) and in the regression test,
// which replays every input a fuzzer ever stopped on.
#pragma once

#include <cstddef>
#include <cstdint>

int fuzzTrackFile(const uint8_t* data, size_t size);  // parseTrack, findKey, trackValue
int fuzzMeshText(const uint8_t* data, size_t size);   // parseMesh
int fuzzPngBytes(const uint8_t* data, size_t size);   // decodePng, as given and CRC-mended

// A broken promise. The libFuzzer driver aborts, so that the input is kept as a crash; the
// regression test records a failure and goes on.
void fuzzInvariantBroken(const char* reader, const char* what);

// Names used in the readers' messages, which must start with them.
inline constexpr const char* kFuzzTrackPath = "fuzz_input.track";
inline constexpr const char* kFuzzMeshPath = "fuzz_input.fobj";
