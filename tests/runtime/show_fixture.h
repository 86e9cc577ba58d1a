// Runs of the show over the test data folder. The assets are loaded once per test program and
// shared by every run, as the capture tool's threads share them; they are freed at exit so
// that the leak checker sees every block given back.
#pragma once

#include <gtest/gtest.h>

#include "runtime/show.h"

inline const ShowAssets& testAssets() {
    struct Loaded {
        ShowAssets assets;
        bool ok = loadShowAssets(assets, DEMO_TEST_DATA_DIR);
        ~Loaded() {
            if (ok) freeShowAssets(assets);
        }
    };
    static Loaded loaded;
    EXPECT_TRUE(loaded.ok);
    return loaded.assets;
}

// A silent run of the test assets, ended when it goes out of scope.
struct TestShow : Show {
    explicit TestShow(const ScreenSize& screen = ScreenSize{}, int threads = 1) {
        EXPECT_TRUE(startShow(*this, testAssets(), nullptr, screen, threads));
    }
    ~TestShow() { endShow(*this); }
    TestShow(const TestShow&) = delete;
    TestShow& operator=(const TestShow&) = delete;
};
