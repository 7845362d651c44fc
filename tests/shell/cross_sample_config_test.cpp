// The sample configuration shipped in the box tarball, read by the plugin's own reader.
#include <cstdio>

#include <gtest/gtest.h>

#include "shell/config.h"

TEST(SampleConfig, LogsInAsAGuestOnTheFreeChessServer)
{
    FILE* file = std::fopen(VITREL_SOURCE_DIR "/packaging/vitrel3.cfg", "r");
    ASSERT_NE(file, nullptr) << "packaging/vitrel3.cfg is missing";
    icsPort = -1;
    read_config(file);
    std::fclose(file);
    EXPECT_STREQ(icsHost, "freechess.org");
    EXPECT_EQ(icsPort, 5000);
    EXPECT_STREQ(icsHandle, "guest");
    // An empty password: the server's "press return" step of a guest login.
    EXPECT_STREQ(icsPasswd, "");
}
