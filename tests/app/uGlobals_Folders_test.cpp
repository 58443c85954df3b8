#include <filesystem>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "uGlobals.h"

namespace fs = std::filesystem;

TEST(uGlobals_Folders, FoldersFollowTheDesktopSettings)
{
    TScratch scratch;
    const std::string home = scratch.Path("home");
    const std::string config = scratch.Path("config");
    const struct {
        const char* name;
        const char* dataHome; // nullptr: unset
        const char* documents;
        const char* userDirs; // contents of user-dirs.dirs, nullptr: none
        std::string appData;
        std::string docs;
    } cases[] = {
        {"defaults", nullptr, nullptr, nullptr, home + "/.local/share/Tervalo/",
         home + "/Documents/Tervalo/"},
        {"explicit folders", "/x/data", "/x/docs/", nullptr, "/x/data/Tervalo/",
         "/x/docs/Tervalo/"},
        {"relative data home is ignored", "rel/data", nullptr, nullptr,
         home + "/.local/share/Tervalo/", home + "/Documents/Tervalo/"},
        {"translated documents folder", nullptr, nullptr,
         "# written by the desktop\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
         home + "/.local/share/Tervalo/", home + "/Dokumente/Tervalo/"},
        {"documents set to home means unset", nullptr, nullptr, "XDG_DOCUMENTS_DIR=\"$HOME/\"\n",
         home + "/.local/share/Tervalo/", home + "/Documents/Tervalo/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        c.dataHome ? ::setenv("XDG_DATA_HOME", c.dataHome, 1) : ::unsetenv("XDG_DATA_HOME");
        c.documents ? ::setenv("XDG_DOCUMENTS_DIR", c.documents, 1)
                    : ::unsetenv("XDG_DOCUMENTS_DIR");
        fs::remove_all(config);
        if (c.userDirs)
            WriteFile(config + "/user-dirs.dirs", c.userDirs);
        InitAppFolders();
        EXPECT_EQ(AppDataPath, c.appData);
        EXPECT_EQ(TempPath, c.appData + "Temp/");
        EXPECT_EQ(DocsPath, c.docs);
        EXPECT_EQ(SettingsFilePath(), c.appData + "settings.xsf");
    }
}

TEST(uGlobals_Folders, CreateAppFoldersMakesDataAndTempFolders)
{
    TScratch scratch;
    InitAppFolders();
    CreateAppFolders();
    EXPECT_TRUE(fs::is_directory(scratch.Path("data/Tervalo/Temp")));
    EXPECT_FALSE(fs::exists(scratch.Path("docs/Tervalo"))) << "the window makes those";
}

TEST(uGlobals_Folders, ForceDirectoriesReportsFailureWithoutRaising)
{
    TScratch scratch;
    WriteFile(scratch.Path("file"), "x");
    EXPECT_TRUE(ForceDirectories(scratch.Path("a/b/c/")));
    EXPECT_TRUE(fs::is_directory(scratch.Path("a/b/c")));
    EXPECT_TRUE(ForceDirectories(scratch.Path("a/b/c")));
    EXPECT_FALSE(ForceDirectories(scratch.Path("file/sub")));
    EXPECT_FALSE(ForceDirectories(""));
}

TEST(uGlobals_Folders, TrailingDelimiter)
{
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
    EXPECT_EQ(IncludeTrailingPathDelimiter(""), "/");
}
