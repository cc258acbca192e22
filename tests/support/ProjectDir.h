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
inline TakeRecipe NthTake(uint64_t start, uint64_t frames, int n, int channels = 2, int bits = 24,
                          uint32_t rate = 48000) {
    TakeRecipe recipe;
    recipe.rate = rate;
    recipe.start = start;
    recipe.frames = frames;
    recipe.channels = channels;
    recipe.bits = bits;
    recipe.time = TimeOfDay(n);
    recipe.identity = static_cast<uint32_t>(n + 1);
    recipe.seed = static_cast<uint32_t>(n + 1);
    return recipe;
}

// The project folder `name` with its "Audio Files", in a temporary directory of
// its own that also takes the outputs: `project / "Mix.wav"` lies beside it.
class ProjectDir {
public:
    explicit ProjectDir(const std::string& name = "Session") : path_(root_.Path() / name) {
        std::filesystem::create_directories(AudioDir());
    }
    std::string Path() const { return path_.string(); }
    std::string AudioDir() const { return (path_ / "Audio Files").string(); }
    std::string operator/(const std::string& name) const { return root_ / name; }
    const std::filesystem::path& Root() const { return root_.Path(); }

    std::string Add(const std::string& name, const TakeRecipe& recipe) {
        WriteTake(AudioDir() + "/" + name, recipe);
        return name;
    }
    // Adds takes named "<prefix>01.wav", "<prefix>02.wav", ... in the order given;
    // returns their names.
    std::vector<std::string> AddAll(const std::vector<TakeRecipe>& takes,
                                    const std::string& prefix = "Take ") {
        std::vector<std::string> names;
        for (size_t i = 0; i < takes.size(); ++i) {
            const std::string number = (i < 9 ? "0" : "") + std::to_string(i + 1);
            names.push_back(Add(prefix + number + ".wav", takes[i]));
        }
        return names;
    }

private:
    TempDir root_;
    std::filesystem::path path_;
};

}  // namespace testsupport
