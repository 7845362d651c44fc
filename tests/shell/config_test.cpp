// The configuration reader: keys found anywhere in a token, later keys winning, cut values.
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "shell/config.h"

namespace {

void read_text(const std::string& text)
{
    FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    ASSERT_NE(file, nullptr);
    read_config(file);
    fclose(file);
}

class ConfigFile : public ::testing::Test {
  protected:
    void SetUp() override
    {
        icsHost[0] = icsHandle[0] = icsPasswd[0] = '\0';
        icsPort = 0;
    }
};

TEST_F(ConfigFile, ReadsTheFourKeys)
{
    read_text("icsHost=freechess.org\nicsPort=5000\nicsHandle=guest\nicsPasswd=secret\n");
    EXPECT_STREQ(icsHost, "freechess.org");
    EXPECT_EQ(icsPort, 5000);
    EXPECT_STREQ(icsHandle, "guest");
    EXPECT_STREQ(icsPasswd, "secret");
}

TEST_F(ConfigFile, LaterKeysWinAndTokensWithoutKeysAreIgnored)
{
    read_text("# comment icsHost=first [section]\n  icsHost=second\ticsPort=1 icsPort=23\n");
    EXPECT_STREQ(icsHost, "second");
    EXPECT_EQ(icsPort, 23);
}

TEST_F(ConfigFile, FindsKeysAnywhereInAToken)
{
    read_text("xxicsHandle=bob icsHost=icsPort=77\n");
    EXPECT_STREQ(icsHandle, "bob");
    EXPECT_STREQ(icsHost, "icsPort=77");
    EXPECT_EQ(icsPort, 77);
}

TEST_F(ConfigFile, EmptyValuesAndBadPorts)
{
    icsPort = 5000;
    snprintf(icsHost, sizeof icsHost, "%s", "old");
    read_text("icsHost= value-on-its-own icsPort=abc\n");
    EXPECT_STREQ(icsHost, "");
    EXPECT_EQ(icsPort, 5000);
}

TEST_F(ConfigFile, PortOutOfRangeIsClampedNotUndefined)
{
    read_text("icsPort=99999999999999 ");
    EXPECT_EQ(icsPort, 2147483647);
    read_text("icsPort=-5x");
    EXPECT_EQ(icsPort, -5);
}

TEST_F(ConfigFile, LongValuesAreCutToTheirFields)
{
    std::string host(60, 'h');
    std::string handle(30, 'a');
    read_text("icsHost=" + host + " icsHandle=" + handle + " icsPasswd=" + handle);
    EXPECT_EQ(std::string(icsHost), std::string(39, 'h'));
    EXPECT_EQ(std::string(icsHandle), std::string(19, 'a'));
    EXPECT_EQ(std::string(icsPasswd), std::string(19, 'a'));
}

TEST_F(ConfigFile, TokenLongerThan79CharactersIsCutAndItsRestIsNotAToken)
{
    // The key in the rest of an overlong token must not be taken as a token of its own.
    std::string token = "icsHandle=" + std::string(75, 'x') + "icsHost=sneaky";
    read_text(token + " icsPort=7");
    EXPECT_EQ(std::string(icsHandle), std::string(19, 'x'));
    EXPECT_STREQ(icsHost, "");
    EXPECT_EQ(icsPort, 7);
}

TEST_F(ConfigFile, KeysAreCaseSensitive)
{
    read_text("icshost=a ICSPORT=5 icsHost=b");
    EXPECT_STREQ(icsHost, "b");
    EXPECT_EQ(icsPort, 0);
}

} // namespace
