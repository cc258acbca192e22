// A recorder project directory of generated takes, for tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "support/TakeBuilder.h"
#include "support/TempDir.h"

namespace testsupport {

// Origination time text for the n-th take in age order (larger n = newer).
inline std::string TimeOfDay(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", 8 + n / 3600, n / 60 % 60, n % 60);
    return text;
}

// The n-th take of a project in age order (larger n = newer), placed at `start`,
// with an identity and a sample pattern of its own.
inline TakeRecipe NthTake(uint64_t start, uint64_t frames, int n, int channels = 2, int bits = 24) {
    TakeRecipe recipe;
    recipe.start = start;
    recipe.frames = frames;
    recipe.channels = channels;
    recipe.bits = bits;
    recipe.time = TimeOfDay(n);
    recipe.identity = static_cast<uint32_t>(n + 1);
    recipe.seed = static_cast<uint32_t>(n + 1);
    return recipe;
}

// A project directory holding takes; each take gets a unique seed and identity
// (unless the recipe sets them) and is named "take NN.wav".
class ProjectDir {
public:
    ProjectDir() { std::filesystem::create_directories(AudioDir()); }
    std::string Path() const { return dir_.Path().string(); }
    std::string AudioDir() const { return (dir_.Path() / "Audio Files").string(); }
    std::string Add(const std::string& name, const TakeRecipe& recipe) {
        WriteTake(AudioDir() + "/" + name, recipe);
        return name;
    }

private:
    TempDir dir_;
};

}  // namespace testsupport
