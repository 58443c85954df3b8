#include "uServeDefaults.h"

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "uGlobals.h"
#include "uSettings.h"

TEST(uServeDefaults, WithoutSettingsTheDocumentsFolderIsUsed)
{
    TScratch scratch;
    InitAppFolders();
    const TServeDefaults d = ReadServeDefaults();
    EXPECT_EQ(d.Port, 80);
    EXPECT_EQ(d.PublicRoot, scratch.Path("docs/Tervalo/public_html/"));
    EXPECT_EQ(d.LogsFolder, scratch.Path("docs/Tervalo/logs/"));
    EXPECT_EQ(d.TimeoutMs, 10000);
}

TEST(uServeDefaults, TheWindowsSavedOptionsAreUsed)
{
    TScratch scratch;
    InitAppFolders();
    const struct {
        const char* port;
        const char* root;
        uint16_t expectedPort;
        std::string expectedRoot;
    } cases[] = {
        {"8123", "/srv/www/", 8123, "/srv/www/"},
        {"8124", "/srv/www", 8124, "/srv/www/"},
        {"70000", "/srv/www/", 65535, "/srv/www/"},
        {"abc", "/srv/www/", 80, "/srv/www/"},
        {"8125", "", 8125, scratch.Path("docs/Tervalo/public_html/")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        {
            TSettMngr sett(SettingsFilePath());
            sett.Write("Server", "Port", std::string(c.port));
            sett.Write("Server", "Root", std::string(c.root));
            sett.Write("Server", "Logs", std::string("/var/tmp/tlogs/"));
            sett.Save();
        }
        const TServeDefaults d = ReadServeDefaults();
        EXPECT_EQ(d.Port, c.expectedPort);
        EXPECT_EQ(d.PublicRoot, c.expectedRoot);
        EXPECT_EQ(d.LogsFolder, "/var/tmp/tlogs/");
    }
}
