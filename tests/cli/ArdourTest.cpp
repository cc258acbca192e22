// `proj2wav session` end to end: sessions of projects written by the independent
// take builder, loaded by Ardour itself (ardour7-lua, with no audio hardware) and
// held against what proj2wav says of the same project: the regions of "Edit"
// against `info --csv`, the markers against those of a converted output, the rate,
// the range and the muted, layered "Takes". Ardour then exports each session, and
// the export must sound like `convert`, but for the fades, which Ardour draws
// through points of the recorder's curve.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "Proj2wavRun.h"
#include "support/ProjectDir.h"

using namespace testsupport;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

std::string ShellWord(const std::string& word) {
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::vector<std::string>> Rows(const std::string& text, char separator,
                                           const std::string& lineEnd = "\n") {
    std::vector<std::vector<std::string>> rows;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(lineEnd, at);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> fields;
        std::istringstream line(text.substr(at, end - at));
        for (std::string field; std::getline(line, field, separator);) fields.push_back(field);
        rows.push_back(fields);
        at = end + lineEnd.size();
    }
    return rows;
}

// Samples of a WAVE file as libsndfile reads them, scaled to 32 bits.
std::vector<int32_t> Samples(const std::string& path, SF_INFO& info) {
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<int32_t> samples(static_cast<size_t>(info.frames * info.channels));
    sf_readf_int(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

struct Project {
    std::string name;
    uint32_t rate;
    bool markers;
    std::vector<std::pair<std::string, TakeRecipe>> takes;  // oldest first
};

// An older take split by a newer one inside it, a newer one across its end, a
// gap, one recording in two pieces, a mono take. The oldest take carries an odd
// chunk without pad byte, which libsndfile (and so Ardour) cannot read in the
// recorder's file: only its copy plays.
std::vector<Project> Projects() {
    return {
        {"Live Gig",
         48000,
         true,
         {{"Long.wav", NthTake(48000, 144000, 0)},
          {"Punch in.wav", NthTake(72000, 24000, 1)},
          {"Across.wav", NthTake(180000, 30000, 2, 2, 16)},
          {"Piece 1.wav", NthTake(240000, 20000, 3).Recording(77)},
          {"Piece 2.wav", NthTake(260000, 20000, 4).Recording(77)},
          {"Voice.wav", NthTake(300000, 12000, 5, 1, 16)}}},
        {"Tom's \"Mix\" & <Co>",
         96000,
         false,
         {{"Prise \xC3\xA9 & <1>.wav", NthTake(0, 50000, 0, 2, 16, 96000)},
          {"Mono 24.wav", NthTake(40000, 30000, 1, 1, 24, 96000)}}},
    };
}

void WriteProject(ProjectDir& dir, const Project& p) {
    for (size_t i = 0; i < p.takes.size(); ++i) {
        TakeRecipe take = p.takes[i].second;
        take.oddChunk = i == 0;
        dir.Add(p.takes[i].first, take);
    }
}

// Ardour's export preset for the tests: the 24-bit Broadcast WAVE format Ardour
// ships ("BWAV 24bit Export", no dither), kept in a configuration folder of the test's.
constexpr char kPresetId[] = "6f1d5a62-3c3e-4d7e-9b4a-2a1c0e5d7f31";
void WritePreset(const std::string& configHome) {
    fs::create_directories(configHome + "/ardour7/export");
    const std::string preset =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ExportPreset id=\"" + std::string(kPresetId) +
        "\" name=\"proj2wav test\">\n"
        "  <ExportFormat id=\"e61c1d0f-95bd-48fb-b812-def99dbabe28\"/>\n"
        "  <ExportFilename>\n    <Folder relative=\"1\" path=\"export\"/>\n"
        "    <Field name=\"timespan\" enabled=\"1\"/>\n  </ExportFilename>\n</ExportPreset>\n";
    WriteFileBytes(configHome + "/ardour7/export/proj2wav-test.preset",
                   std::vector<uint8_t>(preset.begin(), preset.end()));
}

// What Ardour said of one session.
struct Loaded {
    uint32_t rate = 0;
    std::vector<std::string> range;
    std::vector<std::vector<std::string>> markers, regions;
    std::map<std::string, std::string> muted;
    bool exported = false;
};

std::vector<Loaded> ParseArdour(const std::string& out) {
    std::vector<Loaded> sessions;
    for (const auto& f : Rows(out, '\t')) {
        if (f.empty()) continue;
        if (f[0] == "session") sessions.emplace_back();
        if (sessions.empty()) continue;
        Loaded& s = sessions.back();
        if (f[0] == "rate" && f.size() == 2) s.rate = std::stoul(f[1]);
        if (f[0] == "range") s.range = {f.begin() + 1, f.end()};
        if (f[0] == "marker") s.markers.push_back({f.begin() + 1, f.end()});
        if (f[0] == "track" && f.size() == 3) s.muted[f[1]] = f[2];
        if (f[0] == "region") s.regions.push_back({f.begin() + 1, f.end()});
        if (f[0] == "export") s.exported = f.size() == 2 && f[1] == "1";
    }
    return sessions;
}

}  // namespace

TEST(Ardour, SessionsLoadWithTheEditListMarkersAndMutedTakesAndExportAsConvertRenders) {
    if (!HaveTool("ardour7-lua")) {
        GTEST_SKIP() << "ardour7-lua is not installed (Debian's package \"ardour\"; "
                        "scripts/install-deps.sh installs it)";
    }
    const std::vector<Project> projects = Projects();
    std::vector<std::unique_ptr<ProjectDir>> dirs;
    TempDir work;
    WritePreset(work / "config");
    std::string args = ShellWord(kPresetId);
    for (size_t i = 0; i < projects.size(); ++i) {
        const Project& p = projects[i];
        ProjectDir& dir = *dirs.emplace_back(std::make_unique<ProjectDir>(p.name));
        WriteProject(dir, p);
        std::vector<std::string> session = {"session", dir.Path(), "-o", dir / "Ardour"};
        if (p.markers) session.push_back("--markers");
        const Result said = Proj2wav(session);
        ASSERT_EQ(said.code, 0) << p.name;
        EXPECT_NE(said.out.find(std::to_string(p.takes.size()) + " takes copied"), std::string::npos);
        std::vector<std::string> convert = {"convert", dir.Path(), "-o", dir / "out.wav",
                                            "--bits",  "24",       "-q"};
        if (p.markers) convert.push_back("--markers");
        ASSERT_EQ(Proj2wav(convert).code, 0) << p.name;
        args += " " + ShellWord(dir / "Ardour") + " " + ShellWord(p.name) + " " +
                ShellWord(dir / "export");
    }
    const std::string out =
        RunCommand("XDG_CONFIG_HOME=" + ShellWord(work / "config") + " ardour7-lua " +
                   ShellWord(ARDOUR_SCRIPT) + " " + args + " 2>/dev/null");
    const std::vector<Loaded> sessions = ParseArdour(out);
    ASSERT_EQ(sessions.size(), projects.size()) << out;

    for (size_t i = 0; i < projects.size(); ++i) {
        const Project& p = projects[i];
        const ProjectDir& dir = *dirs[i];
        const Loaded& s = sessions[i];
        SCOPED_TRACE(p.name);
        auto csv = Rows(Proj2wav({"info", dir.Path(), "--csv"}).out, ',', "\r\n");
        csv.erase(csv.begin());  // the header
        ASSERT_FALSE(csv.empty());
        EXPECT_EQ(s.rate, p.rate);
        EXPECT_EQ(s.range, (std::vector<std::string>{csv.front()[1], csv.back()[2]}));
        EXPECT_EQ(s.muted, (std::map<std::string, std::string>{{"Edit", "0"}, {"Takes", "1"}}));

        // "Edit": the edit list, every region on the copy of its take.
        const std::string copies = dir / "Ardour/interchange/" + p.name + "/audiofiles/";
        std::vector<std::vector<std::string>> edit, want;
        std::vector<std::vector<std::string>> takes;
        for (const auto& r : s.regions) (r[0] == "Edit" ? edit : takes).push_back(r);
        for (const auto& row : csv) {
            want.push_back(
                {"Edit", row[1], row[3], std::to_string(std::stoull(row[2]) - std::stoull(row[1])),
                 copies + row[0], row[6] == "yes" ? "1" : "0", row[7] == "yes" ? "1" : "0"});
        }
        for (auto& r : edit) r.erase(r.begin() + 4), r.pop_back();  // layer and channels
        std::sort(edit.begin(), edit.end(), [](const auto& a, const auto& b) {
            return std::stoull(a[1]) < std::stoull(b[1]);
        });
        EXPECT_EQ(edit, want);

        // "Takes": every take whole at its place, a newer one above an older one it covers.
        ASSERT_EQ(takes.size(), p.takes.size());
        for (size_t t = 0; t < p.takes.size(); ++t) {
            const auto& [name, r] = p.takes[t];
            const auto region = std::find_if(takes.begin(), takes.end(),
                                             [&](const auto& x) { return x[5] == copies + name; });
            ASSERT_NE(region, takes.end()) << name;
            EXPECT_EQ((*region)[1], std::to_string(r.start));
            EXPECT_EQ((*region)[3], std::to_string(r.frames));
            EXPECT_EQ((*region)[8], std::to_string(r.channels));
            for (size_t older = 0; older < t; ++older) {
                const TakeRecipe& o = p.takes[older].second;
                const auto below = std::find_if(takes.begin(), takes.end(), [&](const auto& x) {
                    return x[5] == copies + p.takes[older].first;
                });
                if (o.start < r.start + r.frames && r.start < o.start + o.frames) {
                    EXPECT_GT(std::stoi((*region)[4]), std::stoi((*below)[4])) << name;
                }
            }
        }

        // Markers where the converted output has its cue points.
        std::vector<std::vector<std::string>> markers;
        if (p.markers) {
            const json info = json::parse(Proj2wav({"info", dir / "out.wav", "--json"}).out);
            for (const json& m : info["markers"]) {
                markers.push_back(
                    {std::to_string(m["position"].get<uint64_t>() + std::stoull(csv.front()[1])),
                     m["label"].get<std::string>()});
            }
            EXPECT_EQ(markers.size(), 6u);
        }
        EXPECT_EQ(s.markers, markers);

        // Ardour's export against convert's output: the same samples, but in the fades.
        ASSERT_TRUE(s.exported);
        SF_INFO ours{}, theirs{};
        const std::vector<int32_t> a = Samples(dir / "out.wav", ours);
        const std::vector<int32_t> b = Samples(dir / "export/export.wav", theirs);
        ASSERT_EQ(theirs.frames, ours.frames);
        ASSERT_EQ(theirs.channels, 2);
        const uint64_t first = std::stoull(csv.front()[1]);
        const uint64_t fade = p.rate > 88000 ? 2048 : 1024;
        std::vector<bool> inFade(ours.frames, false);
        for (const auto& row : csv) {
            const uint64_t start = std::stoull(row[1]) - first, end = std::stoull(row[2]) - first;
            for (uint64_t f = start; f < std::min(start + fade, end) && row[6] == "yes"; ++f)
                inFade[f] = true;
            for (uint64_t f = end - std::min(fade, end - start); f < end && row[7] == "yes"; ++f)
                inFade[f] = true;
        }
        int64_t worstOutside = 0, worstInFades = 0;
        for (size_t k = 0; k < a.size(); ++k) {
            const int64_t diff = std::abs(int64_t{a[k]} - int64_t{b[k]}) >> 8;  // 24-bit steps
            int64_t& worst = inFade[k / 2] ? worstInFades : worstOutside;
            worst = std::max(worst, diff);
        }
        EXPECT_LE(worstOutside, 1) << "24-bit steps outside the fades";
        EXPECT_LE(worstInFades, 1 << 15) << "24-bit steps in the fades: 1/256 of full scale";
    }
}

// What the command says and refuses, without Ardour.
TEST(Ardour, SessionCommandRefusesWhatCannotTakeASession) {
    ProjectDir dir("Gig");
    dir.Add("Take.wav", NthTake(1000, 2000, 0));
    fs::create_directories(dir / "full/x");
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"session", dir.Path(), "-o", dir / "full"}, 1},
        {{"session", dir.Path(), "-o", dir.AudioDir() + "/S"}, 1},
        {{"session", dir / "nowhere", "-o", dir / "S"}, 3},
        {{"session", dir.Path()}, 2},
        {{"session", dir.Path(), "-o", dir / "S", "-q"}, 0},
    };
    for (const auto& c : cases) {
        const Result said = Proj2wav(c.args);
        EXPECT_EQ(said.code, c.status) << c.args.back();
        EXPECT_EQ(said.out, "") << "quiet, or refused";
    }
    EXPECT_TRUE(fs::exists(dir / "S/Gig.ardour"));
    EXPECT_TRUE(fs::exists(dir / "S/interchange/Gig/audiofiles/Take.wav"));
    EXPECT_FALSE(fs::exists(dir.AudioDir() + "/S"));
}
