// The Ardour session writer on projects of the independent take builder: times in
// Ardour's superclock, names Ardour and XML can hold, the checks before anything
// is written, the copies of the takes read back by libsndfile, and a session that
// is stopped or fails leaving nothing behind. (tests/cli/ArdourTest loads the
// sessions in Ardour itself.)
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/AppDecisions.h"
#include "app/ArdourSession.h"
#include "engine/ProjectSession.h"
#include "support/ProjectDir.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

struct Loaded {
    explicit Loaded(const ProjectDir& dir, bool markers = true) {
        loaded = session.Load(dir.Path());
        project = app::ArdourProjectOf(session, "Gig", markers);
    }
    ProjectSession session;
    bool loaded = false;
    app::ArdourProject project;
};

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        names.push_back(fs::relative(entry.path(), dir).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

app::SessionResult Write(const app::ArdourProject& project, const app::SessionPlan& plan,
                         bool stop = false) {
    std::atomic<double> progress{0.0};
    const std::atomic<bool> stopFlag{stop};
    return app::WriteSession(project, plan, progress, stopFlag);
}

}  // namespace

TEST(ArdourSession, SuperclockTicksTurnBackIntoTheSameFramesWhetherArdourRoundsOrCuts) {
    EXPECT_EQ(app::SuperclockOf(48000, 48000), app::kSuperclockRate);
    EXPECT_EQ(app::SuperclockOf(1, 44100), 6400u);
    EXPECT_EQ(app::SuperclockOf(3, 96000), 3 * 2940u);
    for (const uint32_t rate : {8000u, 44100u, 48000u, 88200u, 192000u, 47999u, 44056u, 1000u}) {
        for (const uint64_t frames : {uint64_t{0}, uint64_t{1}, uint64_t{rate - 1}, uint64_t{12345},
                                      uint64_t{1} << 39, (uint64_t{1} << 40) - 1}) {
            const unsigned __int128 ticks = app::SuperclockOf(frames, rate);
            const unsigned __int128 scaled = ticks * rate;
            EXPECT_EQ(scaled / app::kSuperclockRate, frames) << rate << " Hz, cut";
            EXPECT_EQ((scaled + app::kSuperclockRate / 2) / app::kSuperclockRate, frames)
                << rate << " Hz, rounded";
        }
    }
}

TEST(ArdourSession, NamesBecomeUtf8WithoutWhatArdourOrXmlRefuse) {
    const struct {
        std::string given, session;
    } cases[] = {
        {"Gig", "Gig"},
        {"Live: A\\B; C", "Live_ A_B_ C"},
        {"Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xC3\xA9 \xE2\x82\xAC"},  // kept: UTF-8
        {"bad \xFF\xC3", "bad __"},                                // stray and cut-short bytes
        {"over\xC0\xAF", "over__"},                                // an overlong "/"
        {"tab\there\x7F", "tab_here_"},
        {"", "Session"},
    };
    for (const auto& c : cases) EXPECT_EQ(app::SessionNameOf(c.given), c.session) << c.given;
    EXPECT_EQ(app::TakeLabel("Take 1.WAV"), "Take 1");
    EXPECT_EQ(app::TakeLabel("Take.bwf"), "Take.bwf");
}

TEST(ArdourSession, PlanCopiesEveryTakeOnceUnderANameOfItsOwnAndEscapesTheXml) {
    ProjectDir dir;
    dir.Add("A\xFF.wav", NthTake(1000, 4000, 0));
    dir.Add("A\xFE.wav", NthTake(2000, 500, 1, 1, 16));  // splits A into two events
    dir.Add("R&D <\"x\">.wav", NthTake(9000, 100, 2));
    Loaded loaded(dir);
    ASSERT_TRUE(loaded.loaded);
    ASSERT_EQ(loaded.project.events.size(), 4u);

    const app::SessionPlan plan = app::PlanSession(loaded.project, dir / "S/");
    EXPECT_EQ(plan.sessionFile, dir / "S/Gig.ardour");
    EXPECT_EQ(plan.copyNames,
              (std::vector<std::string>{"A_.wav", "A_ (2).wav", "R&D <\"x\">.wav"}));
    EXPECT_EQ(plan.copyBytes, 3 * 1024 + 4000 * 6 + 500 * 2 + 100 * 6);
    EXPECT_NE(plan.xml.find("<Source name=\"R&amp;D &lt;&quot;x&quot;&gt;.wav\""),
              std::string::npos);
    EXPECT_NE(plan.xml.find("name=\"R&amp;D &lt;&quot;x&quot;&gt;\" start=\"a"), std::string::npos)
        << "a marker";
    EXPECT_EQ(plan.xml.find('\xFF'), std::string::npos);
}

TEST(ArdourSession, RefusesFoldersThatCannotTakeASessionAndVolumesWithoutRoom) {
    ProjectDir dir;
    dir.Add("Take.wav", NthTake(0, 1000, 0));
    WriteFileBytes(dir / "file", {1});
    fs::create_directories(dir / "full/x");
    fs::create_directories(dir / "empty");
    const struct {
        std::string folder, refusal;  // a part of the words; empty when accepted
    } cases[] = {
        {dir / "new", ""},
        {dir / "empty/", ""},
        {dir / "file", "is a file"},
        {dir / "full", "is not empty"},
        {dir / "missing/new", "missing"},
        {dir.AudioDir() + "/S", "Audio Files"},
        {"", "No folder"},
    };
    for (const auto& c : cases) {
        const std::string refusal = app::SessionFolderRefusal(c.folder, dir.Path());
        if (c.refusal.empty()) {
            EXPECT_EQ(refusal, "") << c.folder;
        } else {
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << c.folder << ": " << refusal;
        }
    }

    Loaded loaded(dir);
    const app::SessionPlan plan = app::PlanSession(loaded.project, dir / "new/deeper");
    std::string asked;
    int64_t room = static_cast<int64_t>(plan.bytes + app::kRoomMargin) + 1;
    const auto freeBytes = [&](const std::string& folder) { return asked = folder, room; };
    EXPECT_EQ(app::SessionRoomRefusal(plan, freeBytes), "");
    EXPECT_EQ(asked, dir.Root().string()) << "the volume of the nearest folder that exists";
    room -= 1;
    EXPECT_EQ(app::SessionRoomRefusal(plan, freeBytes).rfind(app::kInsufficientSpace, 0), 0u);
    room = -1;
    EXPECT_NE(app::SessionRoomRefusal(plan, freeBytes).find("unknown"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "new")) << "nothing is written by the checks";
}

// The copies open in libsndfile, where a recorder's take with an odd chunk and no
// pad byte does not, and hold the take's time reference and texts. (Their samples
// are compared through Ardour's export in tests/cli/ArdourTest.)
TEST(ArdourSession, CopiesAreStandardBroadcastWaveWithTheTakesSamplesAndPlace) {
    ProjectDir dir;
    const char* names[] = {"Odd.wav", "Mono16.wav"};
    TakeRecipe takes[] = {NthTake(48000, 70000, 0), NthTake(90000, 3000, 1, 1, 16)};
    for (int i = 0; i < 2; ++i) {
        takes[i].oddChunk = true;
        dir.Add(names[i], takes[i]);
    }
    SF_INFO info{};
    EXPECT_EQ(sf_open((dir.AudioDir() + "/Odd.wav").c_str(), SFM_READ, &info), nullptr)
        << "libsndfile now reads takes with an odd chunk: this test lost its point";

    Loaded loaded(dir);
    ASSERT_TRUE(loaded.loaded);
    const app::SessionPlan plan = app::PlanSession(loaded.project, dir / "S");
    const app::SessionResult result = Write(loaded.project, plan);
    ASSERT_EQ(result.outcome, app::SessionOutcome::Written) << result.error;
    EXPECT_EQ(result.takesCopied, 2u);
    EXPECT_EQ(result.bytesCopied, plan.copyBytes);
    EXPECT_EQ(plan.copyBytes, fs::file_size(plan.audioDir + "/Odd.wav") +
                                  fs::file_size(plan.audioDir + "/Mono16.wav"));
    for (int i = 0; i < 2; ++i) {
        const TakeRecipe& t = takes[i];
        SCOPED_TRACE(names[i]);
        SF_INFO copyInfo{};
        SNDFILE* copy = sf_open((plan.audioDir + "/" + names[i]).c_str(), SFM_READ, &copyInfo);
        ASSERT_NE(copy, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(copyInfo.channels, t.channels);
        EXPECT_EQ(copyInfo.samplerate, 48000);
        ASSERT_EQ(copyInfo.frames, static_cast<sf_count_t>(t.frames));
        SF_BROADCAST_INFO bext{};
        ASSERT_EQ(sf_command(copy, SFC_GET_BROADCAST_INFO, &bext, sizeof bext), SF_TRUE);
        EXPECT_EQ(uint64_t{bext.time_reference_high} << 32 | bext.time_reference_low, t.start);
        EXPECT_EQ(std::string(bext.origination_date, 10), t.date);
        EXPECT_EQ(std::string(bext.origination_time, 8), t.time);
        sf_close(copy);
    }
}

TEST(ArdourSession, AStoppedOrFailedSessionLeavesNothingButAnEmptyFolderGiven) {
    ProjectDir dir;
    dir.AddAll({NthTake(0, 300000, 0), NthTake(400000, 1000, 1)});
    fs::create_directories(dir / "given");
    Loaded loaded(dir);
    ASSERT_TRUE(loaded.loaded);

    const app::SessionPlan stopped = app::PlanSession(loaded.project, dir / "stopped");
    EXPECT_EQ(Write(loaded.project, stopped, true).outcome, app::SessionOutcome::Stopped);
    EXPECT_FALSE(fs::exists(dir / "stopped"));

    // The second take changes between the load and the copy.
    WriteTake(dir.AudioDir() + "/Take 02.wav", NthTake(400000, 999, 1));
    const app::SessionPlan failed = app::PlanSession(loaded.project, dir / "given");
    const app::SessionResult result = Write(loaded.project, failed);
    EXPECT_EQ(result.outcome, app::SessionOutcome::Failed);
    EXPECT_NE(result.error.find("Take 02.wav\" is no longer the take"), std::string::npos)
        << result.error;
    EXPECT_EQ(Listing(dir / "given"), std::vector<std::string>{});
}
