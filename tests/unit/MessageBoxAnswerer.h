// Answers the message boxes the code under test shows, so that a test never
// waits for a person: a watcher thread presses OK on every message box of
// this process and keeps what each one said.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "framework/CString.h"

struct ShownMessage {
    CString text;
    bool errorIcon;  // the stop icon of MB_ICONERROR
};

class MessageBoxAnswerer {
public:
    MessageBoxAnswerer()
        : m_thread([this] {
              while (!m_stop) {
                  ::EnumWindows(&MessageBoxAnswerer::Visit, reinterpret_cast<LPARAM>(this));
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
          })
    {
    }
    ~MessageBoxAnswerer()
    {
        m_stop = true;
        m_thread.join();
    }
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    std::vector<ShownMessage> Shown()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_shown;
    }
    std::vector<CString> Texts()
    {
        std::vector<CString> texts;
        for (const ShownMessage& m : Shown())
            texts.push_back(m.text);
        return texts;
    }

private:
    // The icon the box shows: the shared system icon it was asked for.
    static HICON BoxIcon(HWND box)
    {
        HICON icon = nullptr;
        ::EnumChildWindows(box, &FindIcon, reinterpret_cast<LPARAM>(&icon));
        return icon;
    }

    static BOOL CALLBACK FindIcon(HWND child, LPARAM param)
    {
        wchar_t cls[16] = {};
        ::GetClassNameW(child, cls, 16);
        if (::lstrcmpiW(cls, L"Static") != 0 || (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            return TRUE;
        *reinterpret_cast<HICON*>(param) = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
        return FALSE;
    }

    static BOOL CALLBACK Visit(HWND hwnd, LPARAM param)
    {
        auto* self = static_cast<MessageBoxAnswerer*>(reinterpret_cast<void*>(param));
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        wchar_t cls[64] = {};
        ::GetClassNameW(hwnd, cls, 64);
        if (pid != ::GetCurrentProcessId() || ::lstrcmpW(cls, L"#32770") != 0 || !::IsWindowVisible(hwnd))
            return TRUE;
        std::lock_guard<std::mutex> lock(self->m_mutex);
        if (!self->m_answered.insert(hwnd).second)
            return TRUE;  // answered already, not gone yet
        wchar_t text[1024] = {};
        ::GetDlgItemTextW(hwnd, 0xFFFF, text, 1024);  // the box's message text
        self->m_shown.push_back({text, BoxIcon(hwnd) == ::LoadIconW(nullptr, IDI_HAND)});
        ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
        return TRUE;
    }

    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::set<HWND> m_answered;
    std::vector<ShownMessage> m_shown;
    std::thread m_thread;
};
