// The about box: program title, picture, version, the program's web site and
// its sponsors.
#pragma once

#include <functional>
#include <string>

#include <QDialog>

class TfAbout final : public QDialog {
public:
    // openLink opens a web page; the window passes the one its tests replace.
    TfAbout(std::function<void(const std::string& url)> openLink, QWidget* parent = nullptr);

private:
    std::function<void(const std::string& url)> FOpenLink;
};
