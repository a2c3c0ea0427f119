// A small HTTP server on 127.0.0.1:80 inside the test process, standing in
// for the image-hosting service, that can also misbehave on purpose. Port 80
// needs root and a private network namespace, as the project's test command
// provides; elsewhere START_SERVER skips the test.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fakehttp {


// Winsock, loaded at run time: the test program links only what the product
// links.
struct Winsock {
    Winsock()
    {
        m_module = ::LoadLibraryW(L"ws2_32.dll");
        Load(WSAStartup, "WSAStartup");
        Load(socket, "socket");
        Load(setsockopt, "setsockopt");
        Load(bind, "bind");
        Load(listen, "listen");
        Load(WSAGetLastError, "WSAGetLastError");
        Load(closesocket, "closesocket");
        Load(select, "select");
        Load(accept, "accept");
        Load(recv, "recv");
        Load(send, "send");
        Load(shutdown, "shutdown");
    }
    template <class Fn>
    void Load(Fn& fn, const char* name)
    {
        fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(m_module, name)));
    }
    HMODULE m_module;
    int(WINAPI* WSAStartup)(WORD, LPWSADATA);
    SOCKET(WINAPI* socket)(int, int, int);
    int(WINAPI* setsockopt)(SOCKET, int, int, const char*, int);
    int(WINAPI* bind)(SOCKET, const sockaddr*, int);
    int(WINAPI* listen)(SOCKET, int);
    int(WINAPI* WSAGetLastError)();
    int(WINAPI* closesocket)(SOCKET);
    int(WINAPI* select)(int, fd_set*, fd_set*, fd_set*, const timeval*);
    SOCKET(WINAPI* accept)(SOCKET, sockaddr*, int*);
    int(WINAPI* recv)(SOCKET, char*, int, int);
    int(WINAPI* send)(SOCKET, const char*, int, int);
    int(WINAPI* shutdown)(SOCKET, int);
};

inline Winsock& Ws()
{
    static Winsock ws;
    return ws;
}

struct Received {
    std::string head;  // request line and headers, up to the empty line
    std::string body;
};

class FakeServer {
public:
    enum class Mode {
        Answer,        // read the whole body, then send the response
        CloseHalfWay,  // read the head and a little of the body, then reset
        NeverAnswer,   // read the whole request, then keep the connection open and silent
    };

    explicit FakeServer(std::string response, Mode mode = Mode::Answer)
        : m_response(std::move(response)), m_mode(mode)
    {
    }
    ~FakeServer() { Stop(); }

    // Microseconds to sleep after each 64 KiB read of the body, to make an
    // upload take a while.
    void SetReadDelay(int micros) { m_readDelayMicros = micros; }

    bool Start(std::string* pError)
    {
        WSADATA wsa{};
        Ws().WSAStartup(MAKEWORD(2, 2), &wsa);
        m_listen = Ws().socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        BOOL reuse = TRUE;
        Ws().setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = static_cast<u_short>((80 >> 8) | ((80 & 0xFF) << 8));
        addr.sin_addr.s_addr = 0x0100007F;  // 127.0.0.1 in network order
        if (Ws().bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
            Ws().listen(m_listen, 8) != 0) {
            *pError = "cannot listen on 127.0.0.1:80 (error " + std::to_string(Ws().WSAGetLastError()) +
                      "); run as root in a private network namespace, as the test command does";
            Ws().closesocket(m_listen);
            m_listen = INVALID_SOCKET;
            return false;
        }
        m_thread = std::thread([this] { Serve(); });
        return true;
    }

    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listen != INVALID_SOCKET) {
            Ws().closesocket(m_listen);
            m_listen = INVALID_SOCKET;
        }
    }

    std::vector<Received> Requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    int Connections() const { return m_connections; }

private:
    void Serve()
    {
        while (!m_stop) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(m_listen, &set);
            timeval tv{0, 50000};
            if (Ws().select(0, &set, nullptr, nullptr, &tv) <= 0)
                continue;
            SOCKET s = Ws().accept(m_listen, nullptr, nullptr);
            if (s == INVALID_SOCKET)
                continue;
            ++m_connections;
            Handle(s);
            Ws().closesocket(s);
        }
    }

    void Handle(SOCKET s)
    {
        DWORD timeout = 15000;
        Ws().setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
        std::string data;
        std::vector<char> buf(65536);
        size_t headEnd = std::string::npos;
        while (headEnd == std::string::npos) {
            const int n = Ws().recv(s, buf.data(), static_cast<int>(buf.size()), 0);
            if (n <= 0)
                return;
            data.append(buf.data(), static_cast<size_t>(n));
            headEnd = data.find("\r\n\r\n");
        }
        Received r;
        r.head = data.substr(0, headEnd + 4);
        r.body = data.substr(headEnd + 4);

        if (m_mode == Mode::CloseHalfWay) {
            // A little of the body, so the client is well into the file.
            while (r.body.size() < 256 * 1024) {
                const int n = Ws().recv(s, buf.data(), static_cast<int>(buf.size()), 0);
                if (n <= 0)
                    break;
                r.body.append(buf.data(), static_cast<size_t>(n));
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_requests.push_back(r);
            }
            // Close with unread data pending: the client's next writes fail.
            linger lg{1, 0};
            Ws().setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lg), sizeof(lg));
            return;
        }

        size_t length = 0;
        const size_t cl = LowerCase(r.head).find("\r\ncontent-length:");
        if (cl != std::string::npos)
            length = std::strtoul(r.head.c_str() + cl + 17, nullptr, 10);
        while (r.body.size() < length) {
            const size_t want = std::min(buf.size(), length - r.body.size());
            const int n = Ws().recv(s, buf.data(), static_cast<int>(want), 0);
            if (n <= 0)
                break;
            r.body.append(buf.data(), static_cast<size_t>(n));
            if (m_readDelayMicros)
                std::this_thread::sleep_for(std::chrono::microseconds(m_readDelayMicros));
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(r);
        }
        if (m_mode == Mode::NeverAnswer) {
            KeepSilent(s);
            return;
        }
        size_t sent = 0;
        while (sent < m_response.size()) {
            const int n = Ws().send(s, m_response.data() + sent, static_cast<int>(m_response.size() - sent), 0);
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
        Ws().shutdown(s, SD_SEND);
        // Let the client read everything before the socket goes.
        while (Ws().recv(s, buf.data(), static_cast<int>(buf.size()), 0) > 0) {
        }
    }

    // Holds the connection open without a word until the client gives up,
    // the server stops, or two minutes have passed.
    void KeepSilent(SOCKET s)
    {
        std::vector<char> buf(4096);
        const ULONGLONG until = ::GetTickCount64() + 120000;
        while (!m_stop && ::GetTickCount64() < until) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(s, &set);
            timeval tv{0, 100000};
            if (Ws().select(0, &set, nullptr, nullptr, &tv) <= 0)
                continue;
            if (Ws().recv(s, buf.data(), static_cast<int>(buf.size()), 0) <= 0)
                return;
        }
    }

    static std::string LowerCase(std::string s)
    {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return s;
    }

    std::string m_response;
    Mode m_mode;
    int m_readDelayMicros = 0;
    SOCKET m_listen = INVALID_SOCKET;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::mutex m_mutex;
    std::vector<Received> m_requests;
};

inline std::string HttpResponse(const std::string& extraHeaders, const std::string& body = "ok")
{
    return "HTTP/1.1 200 OK\r\n" + extraHeaders + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}


}  // namespace fakehttp

using fakehttp::FakeServer;
using fakehttp::HttpResponse;
using fakehttp::Received;

#define START_SERVER(server)                                  \
    do {                                                      \
        std::string whyNot;                                   \
        if (!(server).Start(&whyNot))                         \
            GTEST_SKIP() << whyNot;                           \
    } while (0)

