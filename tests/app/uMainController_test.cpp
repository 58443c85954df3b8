#include "uMainController.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "uGlobals.h"
#include "uSettings.h"

namespace fs = std::filesystem;

namespace {

// Records what the controller asks of its window. Log lines are never taken
// here on their own: the tests take them when they choose, the way a busy
// window thread would.
class TFakeView final : public IMainView {
public:
    void ShowServerState(bool active, uint16_t port) override
    {
        States.push_back(active);
        LastPort = port;
    }
    void LogLinesPending() override { ++Pending; }
    void ShowError(const std::string& message) override { Errors.push_back(message); }
    std::optional<std::string> ChooseFolder(const std::string& title,
                                            const std::string& start) override
    {
        ChooserTitle = title;
        ChooserStart = start;
        return ChooserAnswer;
    }
    void OpenLink(const std::string& url) override { Links.push_back(url); }

    std::vector<bool> States;
    uint16_t LastPort = 0;
    std::atomic<int> Pending{0};
    std::vector<std::string> Errors;
    std::string ChooserTitle;
    std::string ChooserStart;
    std::optional<std::string> ChooserAnswer;
    std::vector<std::string> Links;
};

// A controller over a fresh profile: its own data and documents folders.
class uMainController : public testing::Test {
protected:
    void SetUp() override
    {
        InitAppFolders();
        CreateAppFolders();
        FSettings = std::make_unique<TThreadSettMngr>(SettingsFilePath());
    }
    void TearDown() override
    {
        FController.reset();
        FSettings.reset();
    }

    TMainController& Create()
    {
        FController = std::make_unique<TMainController>(*FSettings, FView);
        return *FController;
    }

    // A public root holding one file, and the logs folder beside it.
    void UsePublicRoot(TMainController& controller)
    {
        WriteFile(FScratch.Path("site/hello.txt"), "Hello from Tervalo");
        controller.Options().DocRoot = FScratch.Path("site/");
        controller.Options().LogsPath = FScratch.Path("logs/");
        controller.Options().Port = 0; // the system picks a free port
    }

    static bool Contains(const std::vector<std::string>& lines, const std::string& part)
    {
        for (const auto& line : lines)
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }

    TScratch FScratch;
    TFakeView FView;
    std::unique_ptr<TThreadSettMngr> FSettings;
    std::unique_ptr<TMainController> FController;
};

} // namespace

TEST_F(uMainController, FirstStartUsesTheDefaultsAndCreatesTheFolders)
{
    TMainController& controller = Create();
    const std::string docs = FScratch.Path("docs/Tervalo/");
    EXPECT_EQ(controller.Options().Port, 80);
    EXPECT_EQ(controller.Options().DocRoot, docs + "public_html/");
    EXPECT_EQ(controller.Options().LogsPath, docs + "logs/");
    EXPECT_EQ(controller.Options().Timeout, 10000);
    EXPECT_TRUE(fs::is_directory(docs + "public_html/"));
    EXPECT_TRUE(fs::is_directory(docs + "logs/"));
    EXPECT_TRUE(fs::is_directory(FScratch.Path("data/Tervalo/Temp/")));
    EXPECT_FALSE(fs::exists(SettingsFilePath())) << "nothing is saved before the first start";
    EXPECT_FALSE(controller.Active());
}

TEST_F(uMainController, StoredOptionsFillTheFields)
{
    FSettings->ExecLocked([this](TSettMngr& sett) {
        sett.Write("Server", "Port", 8181);
        sett.Write("Server", "Root", FScratch.Path("mine/"));
        sett.Write("Server", "Logs", FScratch.Path("mylogs/"));
    });
    TMainController& controller = Create();
    EXPECT_EQ(controller.Options().Port, 8181);
    EXPECT_EQ(controller.Options().DocRoot, FScratch.Path("mine/"));
    EXPECT_EQ(controller.Options().LogsPath, FScratch.Path("mylogs/"));
    EXPECT_TRUE(fs::is_directory(FScratch.Path("mylogs/")));
}

TEST_F(uMainController, EmptyPublicRootSavesTheOptionsAndStartsNothing)
{
    TMainController& controller = Create();
    controller.Options().DocRoot.clear();
    controller.Options().Port = 8282;
    controller.StartClick();
    EXPECT_FALSE(controller.Active());
    EXPECT_TRUE(FView.Errors.empty());
    EXPECT_TRUE(FView.States.empty());
    TSettMngr saved(SettingsFilePath());
    EXPECT_EQ(saved.Read("Server", "Port", 80), 8282);
}

TEST_F(uMainController, StartServesFilesAndStopEndsIt)
{
    TMainController& controller = Create();
    UsePublicRoot(controller);
    controller.Options().Timeout = 5000;
    controller.StartClick();
    ASSERT_TRUE(FView.Errors.empty()) << FView.Errors.front();
    ASSERT_TRUE(controller.Active());
    ASSERT_EQ(FView.States, std::vector<bool>{true});
    const uint16_t port = controller.ListeningPort();
    EXPECT_NE(port, 0);
    EXPECT_EQ(FView.LastPort, port);

    const std::string answer = HttpGet(port, "/hello.txt");
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
    EXPECT_NE(answer.find("Hello from Tervalo"), std::string::npos) << answer;

    controller.StartClick();
    EXPECT_FALSE(controller.Active());
    EXPECT_EQ(FView.States, (std::vector<bool>{true, false}));
    const std::vector<std::string> lines = controller.TakeLogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("] - Started server on port "), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("] - Stopped server"), std::string::npos) << lines[1];

    // The options of the start were saved; the time-out never is.
    TSettMngr saved(SettingsFilePath());
    EXPECT_EQ(saved.Read("Server", "Port", 80), 0);
    EXPECT_EQ(saved.Read("Server", "Root", ""), FScratch.Path("site/"));
    EXPECT_EQ(saved.Read("Server", "Logs", ""), FScratch.Path("logs/"));
    EXPECT_EQ(ReadFile(SettingsFilePath()).find("5000"), std::string::npos);
}

TEST_F(uMainController, PortInUseShowsTheErrorAndStaysStopped)
{
    TPortBlocker blocker;
    ASSERT_NE(blocker.Port(), 0);
    TMainController& controller = Create();
    UsePublicRoot(controller);
    controller.Options().Port = blocker.Port();
    controller.StartClick();
    EXPECT_FALSE(controller.Active());
    ASSERT_EQ(FView.Errors.size(), 1u);
    EXPECT_FALSE(FView.Errors[0].empty());
    EXPECT_TRUE(FView.States.empty());
    EXPECT_FALSE(Contains(controller.TakeLogLines(), "Started server"));
}

TEST_F(uMainController, StopWhileWorkersLogNeverWaitsForTheWindow)
{
    TMainController& controller = Create();
    UsePublicRoot(controller);
    controller.StartClick();
    ASSERT_TRUE(controller.Active());
    const uint16_t port = controller.ListeningPort();

    // Clients keep asking for missing files, so workers log all the time.
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

    // Nobody takes the lines while the stop runs: the window's thread is the
    // one stopping. The stop must still come back.
    controller.StartClick();
    stop = true;
    for (auto& client : clients)
        client.join();
    EXPECT_FALSE(controller.Active());

    const std::vector<std::string> lines = controller.TakeLogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(Contains(lines, "Could not find file"));
    EXPECT_NE(lines.back().find("Stopped server"), std::string::npos) << lines.back();
    // One nudge per batch, not one per line.
    EXPECT_GE(FView.Pending, 1);
    EXPECT_LT(FView.Pending, static_cast<int>(lines.size()));
}

TEST_F(uMainController, FolderButtonsPutTheChosenFolderInTheField)
{
    TMainController& controller = Create();
    const std::string before = controller.Options().DocRoot;

    FView.ChooserAnswer.reset();
    controller.DocRootButtonClick();
    EXPECT_EQ(FView.ChooserTitle, "Select a public root folder for your server.");
    EXPECT_EQ(FView.ChooserStart, before);
    EXPECT_EQ(controller.Options().DocRoot, before) << "cancel changes nothing";

    FView.ChooserAnswer = FScratch.Path("chosen/www");
    controller.DocRootButtonClick();
    EXPECT_EQ(controller.Options().DocRoot, FScratch.Path("chosen/www/"));
    EXPECT_TRUE(fs::is_directory(FScratch.Path("chosen/www")));

    FView.ChooserAnswer = FScratch.Path("chosen/logs/");
    controller.LogsPathButtonClick();
    EXPECT_EQ(FView.ChooserTitle, "Select a logs folder for your server.");
    EXPECT_EQ(controller.Options().LogsPath, FScratch.Path("chosen/logs/"));
    EXPECT_TRUE(fs::is_directory(FScratch.Path("chosen/logs")));
}

TEST_F(uMainController, HelpLinksOpenTheRedirectPages)
{
    TMainController& controller = Create();
    controller.SupportClick();
    controller.ReportBugClick();
    controller.CheckUpdateClick();
    ASSERT_EQ(FView.Links.size(), 2u);
    EXPECT_TRUE(FView.Links[0].ends_with("redirect.php?name=tervalo_support")) << FView.Links[0];
    EXPECT_TRUE(FView.Links[1].ends_with("redirect.php?name=tervalo_bugs")) << FView.Links[1];
}

TEST(uMainControllerTexts, BalloonTexts)
{
    EXPECT_EQ(TMainController::StateBalloonText(true, 8080), "Tervalo server started on port 8080");
    EXPECT_EQ(TMainController::StateBalloonText(false, 8080), "Tervalo server stopped");
}

TEST(uMainControllerTexts, TimeoutIsClampedToWhatTheServerTakes)
{
    const struct {
        double field;
        int32_t expected;
    } cases[] = {
        {10000, 10000},
        {0, 0},
        {-5, 0},
        {2147483647.0, 2147483647},
        {2147483648.0, 2147483647},
        {999999999999.0, 2147483647},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(TMainController::ClampTimeout(c.field), c.expected);
    }
}
