// Shared by the app tests: a scratch folder with its own desktop folders, and
// plain HTTP requests and port blocking on 127.0.0.1.
#pragma once

#include <arpa/inet.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

// A fresh scratch folder named after the running test; the desktop's data
// and documents folders point into it while the test runs.
class TScratch {
public:
    TScratch()
    {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        FDir = std::filesystem::temp_directory_path()
               / ("tervalo_app_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_"
                  + info->name());
        std::filesystem::remove_all(FDir);
        std::filesystem::create_directories(FDir);
        ::setenv("XDG_DATA_HOME", (FDir / "data").c_str(), 1);
        ::setenv("XDG_DOCUMENTS_DIR", (FDir / "docs").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (FDir / "config").c_str(), 1);
    }
    ~TScratch() { std::filesystem::remove_all(FDir); }
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;

    std::string Path(const std::string& relative = "") const { return (FDir / relative).string(); }

private:
    std::filesystem::path FDir;
};

inline void WriteFile(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

// One GET on 127.0.0.1; the whole answer, or empty when no connection could
// be made. Bounded by socket time-outs.
inline std::string HttpGet(uint16_t port, const std::string& target)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return {};
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in addr = Loopback(port);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const std::string request =
            "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL)
            == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            for (int i = 0; i < 10000; ++i) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                answer.append(buffer, static_cast<size_t>(n));
            }
        }
    }
    ::close(fd);
    return answer;
}

// Holds a listening socket on 127.0.0.1, so that a server cannot take the port.
class TPortBlocker {
public:
    TPortBlocker()
    {
        FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = Loopback(0);
        socklen_t length = sizeof addr;
        if (FSocket >= 0 && ::bind(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0
            && ::listen(FSocket, 1) == 0
            && ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
            FPort = ntohs(addr.sin_port);
    }
    ~TPortBlocker()
    {
        if (FSocket >= 0)
            ::close(FSocket);
    }
    TPortBlocker(const TPortBlocker&) = delete;
    TPortBlocker& operator=(const TPortBlocker&) = delete;

    uint16_t Port() const { return FPort; }

private:
    int FSocket = -1;
    uint16_t FPort = 0;
};
