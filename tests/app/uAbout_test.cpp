#include "uAbout.h"

#include <string>
#include <vector>

#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <gtest/gtest.h>

TEST(uAbout, ShowsItsTextsAndOpensTheLinks)
{
    std::vector<std::string> links;
    TfAbout about([&links](const std::string& url) { links.push_back(url); });
    EXPECT_EQ(about.windowTitle(), "About Tervalo");
    EXPECT_EQ(about.findChild<QLabel*>("lblTitle")->text(), "Tervalo");
    EXPECT_EQ(about.findChild<QLabel*>("lblVersion")->text(), "Version 0.04");
    EXPECT_EQ(about.findChild<QLabel*>("lblSponsoredBy")->text(), "Sponsored by:");
    EXPECT_FALSE(about.findChild<QLabel*>("imgLogo")->pixmap().isNull());

    emit about.findChild<QLabel*>("lblWebSite")->linkActivated("home");
    const QList<QToolButton*> sponsors = about.findChildren<QToolButton*>();
    ASSERT_EQ(sponsors.size(), 2);
    for (QToolButton* sponsor : sponsors)
        sponsor->click();
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0].find("https://"), 0u);
    EXPECT_NE(links[1].find("redirect.php?name="), std::string::npos);
    EXPECT_NE(links[2].find("redirect.php?name="), std::string::npos);

    QPushButton* ok = about.findChild<QPushButton*>("btnOK");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "&OK");
    about.show();
    ok->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}
