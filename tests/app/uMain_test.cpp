#include "uMain.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QToolButton>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "uAbout.h"
#include "uGlobals.h"
#include "uSettings.h"

namespace fs = std::filesystem;

namespace {

// A window over a fresh profile whose dialogs answer from the test.
class uMain : public testing::Test {
protected:
    void SetUp() override
    {
        InitAppFolders();
        CreateAppFolders();
        FSettings = std::make_unique<TThreadSettMngr>(SettingsFilePath());
        TMainDialogs dialogs;
        dialogs.ShowError = [this](QWidget*, const QString& message) {
            Errors.push_back(message.toStdString());
        };
        dialogs.ChooseFolder = [this](QWidget*, const QString& title,
                                      const QString&) -> std::optional<QString> {
            ChooserTitles.push_back(title.toStdString());
            return ChooserAnswer;
        };
        dialogs.ShowModal = [this](QDialog* dialog) { Modals.push_back(dialog); };
        dialogs.OpenLink = [this](const std::string& url) { Links.push_back(url); };
        Window = std::make_unique<TfMain>(*FSettings, dialogs);
    }
    void TearDown() override
    {
        Window.reset();
        FSettings.reset();
    }

    template <typename T> T* Find(const char* name) const
    {
        T* widget = Window->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QString StatusText() const { return Find<QLabel>("barStatusText")->text(); }
    int StatusImage() const
    {
        return Find<QLabel>("barStatusImage")->property("imageIndex").toInt();
    }
    QAction* StartAction() const { return Find<QAction>("biStart"); }

    // A public root holding one file; port 0 lets the system pick.
    void UsePublicRoot()
    {
        WriteFile(Scratch.Path("site/hello.txt"), "Hello from the window");
        Find<QLineEdit>("txtDocRoot")->setText(QString::fromStdString(Scratch.Path("site/")));
        Find<QLineEdit>("txtLogsPath")->setText(QString::fromStdString(Scratch.Path("logs/")));
        Find<QSpinBox>("txtPort")->setValue(0);
    }

    QStringList LogViewLines() const
    {
        return Find<QPlainTextEdit>("txtEventLog")->toPlainText().split('\n', Qt::SkipEmptyParts);
    }

    // Runs the event loop until the log view shows a line containing text.
    bool WaitForLogLine(const QString& text)
    {
        for (int i = 0; i < 500; ++i) {
            QCoreApplication::processEvents();
            for (const QString& line : LogViewLines())
                if (line.contains(text))
                    return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    TScratch Scratch;
    std::unique_ptr<TThreadSettMngr> FSettings;
    std::unique_ptr<TfMain> Window;
    std::vector<std::string> Errors;
    std::vector<std::string> ChooserTitles;
    std::optional<QString> ChooserAnswer;
    std::vector<QDialog*> Modals;
    std::vector<std::string> Links;
};

} // namespace

TEST_F(uMain, ControlsCarryTheirTexts)
{
    EXPECT_EQ(Window->windowTitle(), "Tervalo 0.04");
    EXPECT_EQ(Window->minimumSize(), QSize(650, 350));

    auto* pages = Find<QTabWidget>("pgcMain");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0), "Event Log");
    EXPECT_EQ(pages->tabText(1), "Options");
    auto* options = Find<QTabWidget>("pgcOptions");
    ASSERT_EQ(options->count(), 2);
    EXPECT_EQ(options->tabText(0), "General");
    EXPECT_EQ(options->tabText(1), "DSP");
    EXPECT_TRUE(Find<QPlainTextEdit>("txtEventLog")->isReadOnly());
    EXPECT_TRUE(Find<QPlainTextEdit>("txtEventLog")->font().fixedPitch()
                || QFontInfo(Find<QPlainTextEdit>("txtEventLog")->font()).fixedPitch());

    // The stored port (80 by default) replaces the field's design value.
    auto* port = Find<QSpinBox>("txtPort");
    EXPECT_EQ(port->value(), 80);
    EXPECT_EQ(port->minimum(), 0);
    EXPECT_EQ(port->maximum(), 65535);
    EXPECT_EQ(Find<QLineEdit>("txtDocRoot")->text().toStdString(),
              Scratch.Path("docs/Tervalo/public_html/"));
    EXPECT_EQ(Find<QLineEdit>("txtLogsPath")->text().toStdString(),
              Scratch.Path("docs/Tervalo/logs/"));
    auto* timeout = Find<QDoubleSpinBox>("txtTimeout");
    EXPECT_EQ(timeout->value(), 10000);
    EXPECT_EQ(timeout->maximum(), 999999999999.0);
    EXPECT_EQ(timeout->singleStep(), 1000);
    EXPECT_EQ(timeout->decimals(), 0);

    EXPECT_EQ(StartAction()->text(), "&Start Server");
    EXPECT_EQ(Find<QAction>("biExit")->text(), "&Exit");
    auto* help = Find<QMenu>("biHelp");
    EXPECT_EQ(help->title(), "&Help");
    QStringList items;
    for (const QAction* action : help->actions())
        items << action->text();
    EXPECT_EQ(items, (QStringList{"Tervalo &Help", "&Check For Updates", "&Support", "Report &Bug",
                                  "&About"}));
    QStringList tray;
    for (const QAction* action : Find<QMenu>("mnuTray")->actions())
        tray << action->text();
    EXPECT_EQ(tray, (QStringList{"&Start Server", "&Exit"}));

    EXPECT_EQ(StatusText(), "Inactive");
    EXPECT_EQ(StatusImage(), 0);
    EXPECT_EQ(StartAction()->property("imageIndex").toInt(), 2);
}

TEST_F(uMain, StartAndStopChangeTextsAndImagesAndShowTheLog)
{
    UsePublicRoot();
    StartAction()->trigger();
    ASSERT_TRUE(Errors.empty()) << Errors.front();
    EXPECT_EQ(StatusText(), "Active");
    EXPECT_EQ(StatusImage(), 1);
    EXPECT_EQ(StartAction()->text(), "&Stop Server");
    EXPECT_EQ(StartAction()->property("imageIndex").toInt(), 3);
    EXPECT_TRUE(WaitForLogLine("Started server on port"));

    const uint16_t port = Window->Controller().ListeningPort();
    const std::string answer = HttpGet(port, "/hello.txt");
    EXPECT_NE(answer.find("Hello from the window"), std::string::npos) << answer;
    HttpGet(port, "/nothing-here.txt");
    EXPECT_TRUE(WaitForLogLine("Could not find file"));

    StartAction()->trigger();
    EXPECT_EQ(StatusText(), "Inactive");
    EXPECT_EQ(StatusImage(), 0);
    EXPECT_EQ(StartAction()->text(), "&Start Server");
    EXPECT_EQ(StartAction()->property("imageIndex").toInt(), 2);
    EXPECT_TRUE(LogViewLines().last().contains("] - Stopped server"))
        << LogViewLines().join('\n').toStdString();
}

TEST_F(uMain, PortInUseShowsAnErrorAndStaysInactive)
{
    TPortBlocker blocker;
    ASSERT_NE(blocker.Port(), 0);
    UsePublicRoot();
    Find<QSpinBox>("txtPort")->setValue(blocker.Port());
    StartAction()->trigger();
    EXPECT_EQ(Errors.size(), 1u);
    EXPECT_EQ(StatusText(), "Inactive");
    EXPECT_EQ(StartAction()->text(), "&Start Server");
}

TEST_F(uMain, EmptyPublicRootSavesAndStaysStopped)
{
    Find<QLineEdit>("txtDocRoot")->clear();
    Find<QSpinBox>("txtPort")->setValue(8383);
    StartAction()->trigger();
    EXPECT_TRUE(Errors.empty());
    EXPECT_EQ(StatusText(), "Inactive");
    EXPECT_FALSE(Window->Controller().Active());
    TSettMngr saved(SettingsFilePath());
    EXPECT_EQ(saved.Read("Server", "Port", 80), 8383);
}

TEST_F(uMain, LogLinesFromManyWorkersWhileStopping)
{
    UsePublicRoot();
    StartAction()->trigger();
    ASSERT_TRUE(Window->Controller().Active());
    const uint16_t port = Window->Controller().ListeningPort();

    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 8; ++c)
        clients.emplace_back([&, c] {
            for (int i = 0; i < 200 && !stop; ++i) {
                if (HttpGet(port, "/missing-" + std::to_string(c) + "-" + std::to_string(i))
                        .empty())
                    break;
                ++answered;
            }
        });
    for (int i = 0; i < 2000 && answered < 40; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    // The stop runs on the window's thread while workers are logging; their
    // lines wait in the queue instead of waiting for this thread.
    StartAction()->trigger();
    stop = true;
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(StatusText(), "Inactive");

    for (int i = 0; i < 50; ++i)
        QCoreApplication::processEvents();
    const QStringList lines = LogViewLines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines.first().contains("Started server on port"));
    EXPECT_TRUE(lines.last().contains("Stopped server")) << lines.last().toStdString();
    EXPECT_GE(lines.filter("Could not find file").size(), 1);
}

TEST_F(uMain, CloseHidesAndExitQuits)
{
    // As on a desktop with a notification area.
    Find<QSystemTrayIcon>("TrayIcon")->show();
    Window->show();
    ASSERT_TRUE(Window->isVisible());
    EXPECT_FALSE(Window->close());
    EXPECT_FALSE(Window->isVisible());
    EXPECT_FALSE(Window->Exiting());

    Window->TrayIconDblClick();
    EXPECT_TRUE(Window->isVisible());

    Find<QAction>("biExit")->trigger();
    EXPECT_TRUE(Window->Exiting());
    EXPECT_FALSE(Window->isVisible());
}

TEST_F(uMain, WithoutATrayCloseMinimizes)
{
    Find<QSystemTrayIcon>("TrayIcon")->hide();
    Window->show();
    EXPECT_FALSE(Window->close());
    EXPECT_TRUE(Window->isVisible()) << "a hidden window could not be brought back";
    EXPECT_TRUE(Window->isMinimized());
    EXPECT_FALSE(Window->Exiting());
}

TEST_F(uMain, FolderButtonsFillTheFields)
{
    ChooserAnswer = QString::fromStdString(Scratch.Path("picked/root"));
    Find<QToolButton>("txtDocRootButton")->click();
    EXPECT_EQ(Find<QLineEdit>("txtDocRoot")->text().toStdString(), Scratch.Path("picked/root/"));
    EXPECT_TRUE(fs::is_directory(Scratch.Path("picked/root")));

    ChooserAnswer.reset();
    Find<QToolButton>("txtLogsPathButton")->click();
    EXPECT_EQ(Find<QLineEdit>("txtLogsPath")->text().toStdString(),
              Scratch.Path("docs/Tervalo/logs/"));
    EXPECT_EQ(ChooserTitles,
              (std::vector<std::string>{"Select a public root folder for your server.",
                                        "Select a logs folder for your server."}));
}

TEST_F(uMain, HelpItemsOpenPagesAndTheAboutBox)
{
    Find<QAction>("biSupport")->trigger();
    Find<QAction>("biReportBug")->trigger();
    ASSERT_EQ(Links.size(), 2u);
    EXPECT_TRUE(Links[0].ends_with("redirect.php?name=tervalo_support"));
    EXPECT_TRUE(Links[1].ends_with("redirect.php?name=tervalo_bugs"));

    Find<QAction>("biAbout")->trigger();
    Find<QAction>("biAbout")->trigger();
    ASSERT_EQ(Modals.size(), 2u);
    EXPECT_EQ(Modals[0], Modals[1]) << "the about box is made once and kept";
    EXPECT_EQ(Modals[0]->windowTitle(), "About Tervalo");
}
