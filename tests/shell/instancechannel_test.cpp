// The raise channel between a second interactive start and the running instance.

#include "shell/InstanceChannel.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>

#include "platform/Event.h"
#include "support/TempDir.h"

TEST(InstanceChannel, ARaiseRequestReachesTheListeningInstanceOnly) {
    TempDir dir;
    const std::string path = dir.file("pixreel.sock");
    EXPECT_FALSE(InstanceChannel::SendRaise(path));  // nobody listens yet

    // A socket file left behind by an instance that died is replaced.
    WriteFileBytes(path, "stale");
    Event raised{Event::Mode::AutoReset};
    std::atomic<int> raises{0};
    {
        InstanceChannel channel;
        ASSERT_TRUE(channel.Listen(path, [&] {
            ++raises;
            raised.Set();
        }));
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 077, 0u);  // the user's own
        for (int i = 1; i <= 2; ++i) {
            EXPECT_TRUE(InstanceChannel::SendRaise(path));
            ASSERT_TRUE(raised.Wait(5000));
            EXPECT_EQ(raises, i);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(InstanceChannel::SendRaise(path));
}
