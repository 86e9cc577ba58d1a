// The video encoder: ffmpeg as a child process, fed raw frames through a pipe. Its process id
// and the pipe are held in gPending, so that a failure or an interrupt stops it; its messages
// go to a temporary file, whose last line explains a failure.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// Whether `program` is an executable file in a folder of the PATH.
bool onPath(const char* program);

class Ffmpeg {
public:
    // Starts ffmpeg in its own process group (a Ctrl+C on the terminal reaches capture only,
    // which then stops ffmpeg itself), reading frames from a pipe, its stderr into a file.
    void start(const std::vector<std::string>& args);

    void write(const void* data, size_t bytes);

    // Closes the pipe and waits; on failure ends the program with ffmpeg's reason.
    void finish(const std::string& trouble = "");

private:
    FILE* log_ = nullptr;
};
