// The platform layer and the RIFF stream above it, on real files and signals.
// (File identity is tested through the output guards, in tests/app.)
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include "platform/kxDiskMgr.h"
#include "audiofile/kxRiff.h"
#include "support/TempDir.h"

using testsupport::TempDir;

TEST(kxDiskMgr, TransfersAreAllOrNothingAndFailuresKeepTheirReason) {
    TempDir dir;
    kxDiskFile* file = kxDiskMgr::FileOpen((dir / "f").c_str(), kxOpenMode::CreateReadBack);
    ASSERT_NE(file, nullptr);
    char buffer[4] = {1, 2, 3, 4};
    EXPECT_FALSE(kxDiskMgr::FileWrite(file, buffer, 0));
    ASSERT_TRUE(kxDiskMgr::FileWrite(file, buffer, 4));
    ASSERT_TRUE(kxDiskMgr::FileSeek(file, 2));
    EXPECT_FALSE(kxDiskMgr::FileRead(file, buffer, 3)) << "a short read is a failure";
    EXPECT_FALSE(kxDiskMgr::FileSeek(file, uint64_t{1} << 63));
    EXPECT_TRUE(kxDiskMgr::FileClose(file));

    EXPECT_EQ(kxDiskMgr::FileOpen(dir.Path().c_str(), kxOpenMode::Read), nullptr);
    EXPECT_EQ(errno, EISDIR);
    std::vector<std::string> names;
    EXPECT_FALSE(kxDiskMgr::ListDirectory(dir / "missing", names));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(kxDiskMgr::FreeSpace(dir / "missing"), -1);
}

TEST(kxRiff, SkipNeverLeavesTheFile) {
    TempDir dir;
    testsupport::WriteFileBytes(dir / "hundred.bin", std::vector<uint8_t>(100, 0x55));
    kxRiff riff;
    ASSERT_EQ(riff.Open((dir / "hundred.bin").c_str(), kRiffReadChunks), kRiffDone);
    uint64_t at = 0;
    for (const uint64_t tooFar : {uint64_t{93}, uint64_t{0xFFFFFFFF}, uint64_t{1} << 63}) {
        EXPECT_EQ(riff.Skip(tooFar), kRiffFailed) << tooFar;
        ASSERT_EQ(riff.CurrentFilePosition(at), kRiffDone);
        EXPECT_EQ(at, 8u) << "a refused skip moved the stream";
    }
    EXPECT_EQ(riff.Skip(92), kRiffDone);
    EXPECT_EQ(riff.Skip(1), kRiffFailed);
}

TEST(kxStopSignals, StopRequestsReachTheRunAndHandlersComeBack) {
    std::signal(SIGINT, SIG_IGN);
    std::atomic<bool> stop{false};
    {
        kxStopSignals signals;
        std::raise(SIGXFSZ);  // ignored during a run: the write fails instead
        std::raise(SIGTERM);  // before the run is connected
        signals.Connect(stop);
        EXPECT_TRUE(stop.load());
        stop.store(false);
        std::raise(SIGINT);
        EXPECT_TRUE(stop.load());
    }
    struct sigaction restored {};
    ::sigaction(SIGINT, nullptr, &restored);
    EXPECT_EQ(restored.sa_handler, SIG_IGN);
    std::signal(SIGINT, SIG_DFL);
    EXPECT_FALSE(kxStopSignals().Signalled()) << "a new watcher starts afresh";
}
