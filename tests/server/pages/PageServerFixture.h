// A real web server with server pages on 127.0.0.1 and a free port, over a
// scratch public root, for the page tests; plus form POST requests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include "../HttpTestClient.h"
#include "uPageRequest.h"
#include "uWebServer.h"

class TPageServerTest : public testing::Test {
protected:
    TPageServerTest()
    {
        char pattern[] = "/tmp/tervalo-pages-test-XXXXXX";
        FBase = mkdtemp(pattern);
        std::filesystem::create_directories(FBase / "site");
        std::filesystem::create_directories(FBase / "logs");
        Server.SetDocumentRoot((FBase / "site").string() + "/");
        Server.SetLogsPath((FBase / "logs").string() + "/");
        Server.SetPort(0);
        Server.SetOnLog([this](const std::string& line) {
            const std::lock_guard lock(FLogLock);
            FLog.push_back(line);
        });
        InstallPageHandler(Server);
    }
    ~TPageServerTest() override
    {
        Server.Stop();
        // The log members go before the server does.
        Server.SetOnLog(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(FBase, ec);
    }

    void Start()
    {
        Server.Start();
        Port = Server.ListeningPort();
    }

    void WritePage(const std::string& name, const std::string& bytes)
    {
        std::ofstream out(FBase / "site" / name, std::ios::binary);
        out << bytes;
    }

    THttpAnswer Post(const std::string& target, const std::string& body,
                     const std::string& type = "application/x-www-form-urlencoded")
    {
        return RawRequest(Port, "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                    + "Content-Type: " + type + "\r\nContent-Length: "
                                    + std::to_string(body.size()) + "\r\n\r\n" + body);
    }

    std::vector<std::string> LogLines()
    {
        const std::lock_guard lock(FLogLock);
        return FLog;
    }

    std::string PagePath(const std::string& name) const { return (FBase / "site" / name).string(); }

    TWebServer Server;
    uint16_t Port = 0;

private:
    std::filesystem::path FBase;
    std::mutex FLogLock;
    std::vector<std::string> FLog;
};
