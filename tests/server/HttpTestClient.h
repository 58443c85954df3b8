// A raw-socket HTTP client for the server tests: sends exact bytes to
// 127.0.0.1 and reads the whole answer, every wait bounded in time.
#pragma once

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

// Status, headers and body of one answer.
struct THttpAnswer {
    int Status = 0;
    std::string Head; // status line and headers, without the blank line
    std::string Body;
    bool Closed = false; // the server closed the connection

    // The value of the first header with this name (compared ignoring
    // case), or "" when absent.
    std::string Header(const std::string& name) const
    {
        size_t pos = Head.find("\r\n");
        while (pos != std::string::npos && pos + 2 < Head.size()) {
            const size_t start = pos + 2;
            const size_t end = Head.find("\r\n", start);
            const std::string line =
                Head.substr(start, end == std::string::npos ? end : end - start);
            const size_t colon = line.find(':');
            if (colon != std::string::npos && colon == name.size()) {
                bool same = true;
                for (size_t i = 0; i < colon && same; ++i)
                    same = std::tolower(static_cast<unsigned char>(line[i]))
                           == std::tolower(static_cast<unsigned char>(name[i]));
                if (same) {
                    size_t v = colon + 1;
                    while (v < line.size() && line[v] == ' ')
                        ++v;
                    return line.substr(v);
                }
            }
            pos = end;
        }
        return "";
    }
};

class TTestConnection final {
public:
    explicit TTestConnection(uint16_t port)
    {
        FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (FFd < 0)
            throw std::runtime_error("socket failed");
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(FFd);
            throw std::runtime_error("connect failed");
        }
    }
    ~TTestConnection() { ::close(FFd); }
    TTestConnection(const TTestConnection&) = delete;
    TTestConnection& operator=(const TTestConnection&) = delete;

    // False when the server closed its side before all bytes went out.
    bool Send(const std::string& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(FFd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    // Reads until the server closes the connection or the time runs out.
    std::string ReadAll(int timeoutMs = 10000, bool* closed = nullptr)
    {
        std::string data;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buffer[65536];
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{FFd, POLLIN, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            const ssize_t n = ::recv(FFd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                if (closed)
                    *closed = true;
                break;
            }
            data.append(buffer, static_cast<size_t>(n));
        }
        return data;
    }

    // Reads until the received text holds `marker`, the server closes, or
    // the time runs out.
    std::string ReadUntil(const std::string& marker, int timeoutMs = 10000)
    {
        std::string data;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buffer[4096];
        while (data.find(marker) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{FFd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            const ssize_t n = ::recv(FFd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            data.append(buffer, static_cast<size_t>(n));
        }
        return data;
    }

    int Fd() const { return FFd; }

private:
    int FFd = -1;
};

inline THttpAnswer ParseAnswer(const std::string& raw, bool closed)
{
    THttpAnswer a;
    a.Closed = closed;
    const size_t end = raw.find("\r\n\r\n");
    a.Head = raw.substr(0, end);
    if (end != std::string::npos)
        a.Body = raw.substr(end + 4);
    if (a.Head.compare(0, 9, "HTTP/1.1 ") == 0 && a.Head.size() >= 12)
        a.Status = std::stoi(a.Head.substr(9, 3));
    return a;
}

// Sends bytes on a fresh connection and reads the answer to its end.
inline THttpAnswer RawRequest(uint16_t port, const std::string& bytes)
{
    TTestConnection c(port);
    c.Send(bytes);
    bool closed = false;
    const std::string raw = c.ReadAll(10000, &closed);
    return ParseAnswer(raw, closed);
}

inline THttpAnswer Get(uint16_t port, const std::string& target, const std::string& method = "GET")
{
    return RawRequest(port, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}
