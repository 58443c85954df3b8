#include "uMimeTable.h"

#include <gtest/gtest.h>

TEST(uMimeTable, LineRule)
{
    TMimeTable table;
    table.LoadLines({
        ".html=text/html",
        "CSS=Text/CSS",     // "." added, both parts lower-cased
        ".html=text/plain", // the first line for an extension wins
        "no separator here",
        "=text/orphan", // empty extension: skipped
        ".empty=",      // empty type: skipped
        ".multi=a=b",   // the type is everything after the first "="
    });
    const struct {
        const char* fileName;
        const char* type;
    } cases[] = {
        {"/srv/site/index.html", "text/html"},
        {"/srv/site/INDEX.HTML", "text/html"},
        {"a.css", "text/css"},
        {"a.multi", "a=b"},
        {"a.empty", "application/octet-stream"},
        {"a.txt", "application/octet-stream"}, // the built-in list is not mixed in
        {"noextension", "application/octet-stream"},
        {"/srv/dir.css/file", "application/octet-stream"}, // a dot in a folder name
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileName);
        EXPECT_EQ(table.TypeOf(c.fileName), c.type);
    }
}

TEST(uMimeTable, EmptyTableUsesTheBuiltInList)
{
    TMimeTable table;
    EXPECT_EQ(table.TypeOf("a.html"), "text/html");
    EXPECT_EQ(table.TypeOf("a.PNG"), "image/png");
    EXPECT_EQ(table.TypeOf("a.nothing"), "application/octet-stream");
    // Loading lines of which none is usable leaves the table empty, so the
    // built-in list comes back.
    table.LoadLines({"junk"});
    EXPECT_EQ(table.TypeOf("a.css"), "text/css");
}
