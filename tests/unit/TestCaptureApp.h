// The program's own application object for tests of the capture road, with a
// settings key of the running test's own, removed again when it ends.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "TestApp.h"
#include "app/OrvoCaptureApp.h"

class TestCaptureApp : public COrvoCaptureApp {
public:
    TestCaptureApp()
    {
        m_strAppName = UniqueTestAppName();
        SetRegistryKey(kRegistryCompany);
        DeleteKey();
    }
    ~TestCaptureApp() override { DeleteKey(); }

private:
    void DeleteKey() const
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, CString(L"Software\\") + kRegistryCompany + L"\\" + m_strAppName);
    }
};

// Steps run one per timer tick inside whatever message loop is running, so a
// test can act within a modal loop it starts. After the last step, a loop
// still running after about five seconds is ended by `rescue` and the test
// fails.
class LoopScript {
public:
    using Step = std::function<void()>;
    LoopScript(std::vector<Step> steps, Step rescue) : m_steps(std::move(steps)), m_rescue(std::move(rescue))
    {
        s_current = this;
        m_timer = ::SetTimer(nullptr, 0, 40, &LoopScript::Tick);
    }
    ~LoopScript()
    {
        ::KillTimer(nullptr, m_timer);
        s_current = nullptr;
    }
    LoopScript(const LoopScript&) = delete;
    LoopScript& operator=(const LoopScript&) = delete;
    bool Finished() const { return m_next == m_steps.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        if (LoopScript* script = s_current)
            script->RunNext();
    }
    void RunNext()
    {
        if (m_next < m_steps.size()) {
            const Step step = m_steps[m_next++];
            step();
        } else if (++m_idleTicks == 125) {
            ADD_FAILURE() << "the loop did not end after the last step";
            m_rescue();
        }
    }

    static inline LoopScript* s_current = nullptr;
    std::vector<Step> m_steps;
    Step m_rescue;
    size_t m_next = 0;
    int m_idleTicks = 0;
    UINT_PTR m_timer = 0;
};
