// Looks at and pokes the Wine session the way the shell or a person's eyes
// would, for the end-to-end tests:
//   wintool windows                   every visible top-level window, one a line:
//                                     hwnd<TAB>pid<TAB>class<TAB>title<TAB>texts of its
//                                     children (|-separated)<TAB>left,top,right,bottom
//   wintool tray PID MOUSEMSG         sends the notification-icon callback the shell
//                                     sends, to PID's tray window (MOUSEMSG: rbuttonup,
//                                     lbuttondblclk, lbuttonup)
//   wintool processes NAME            Windows process ids of an executable name
//   wintool tasks                     every Windows process: pid<TAB>executable name
//   wintool kill NAME                 ends every process of an executable name
//   wintool gdiobjects PID            GDI objects PID holds (GetGuiResources reads 0
//                                     under Wine: read from its GDI handle table)
//   wintool wait PID MILLISECONDS     waits for a process to end: prints "watching"
//                                     once it holds the process, then its exit code,
//                                     or "running" when the time ran out
//   wintool center HWND TEXT          screen centre of HWND's child control showing TEXT
//   wintool center menu N/COUNT       screen centre of item N of the open COUNT-item popup menu
//   wintool checked HWND TEXT         check state and enabled state (1/0) of HWND's
//                                     child control showing TEXT
//   wintool command HWND ID           posts WM_COMMAND ID (decimal) to a window, as
//                                     its button with that id would
//   wintool mypictures                the user's My Pictures folder
//   wintool folder NAME               a shell folder of the user: localappdata,
//                                     programs (Start menu), startup
//   wintool shortcut LNK              the target of a shortcut file
//   wintool rect HWND CLASS           screen rectangle of HWND's first visible child
//                                     of a window class: left top right bottom
//   wintool run EXE [ARGS...]         runs a program, waits for it and prints its
//                                     exit code
//   wintool serve                     answers commands read from standard input
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "framework/CString.h"
#include "app/SystemTray.h"

namespace {

void Print(const CString& line)
{
    // UTF-8 on a pipe, so the Python side reads any text.
    const std::string bytes = ToAnsi(line + L"\n", CP_UTF8);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

CString ClassOf(HWND hwnd)
{
    wchar_t name[256] = {};
    ::GetClassNameW(hwnd, name, 256);
    return name;
}

CString TextOf(HWND hwnd)
{
    wchar_t text[1024] = {};
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

CString Flat(const CString& text)
{
    CString flat = text;
    for (int i = 0; i < flat.GetLength(); ++i)
        if (flat.GetAt(i) == L'\t' || flat.GetAt(i) == L'\n' || flat.GetAt(i) == L'\r')
            flat = flat.Left(i) + L" " + flat.Mid(i + 1);
    return flat;
}

BOOL CALLBACK CollectChildText(HWND child, LPARAM param)
{
    auto* texts = reinterpret_cast<CString*>(param);
    const CString text = TextOf(child);
    if (!text.IsEmpty())
        *texts += Flat(text) + L"|";
    // A list box shows its items, not a window text.
    if (ClassOf(child).CompareNoCase(L"ListBox") == 0) {
        const LRESULT count = ::SendMessageW(child, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count && i < 200; ++i) {
            wchar_t item[1024] = {};
            if (::SendMessageW(child, LB_GETTEXTLEN, i, 0) < 1024) {
                ::SendMessageW(child, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item));
                *texts += Flat(item) + L"|";
            }
        }
    }
    return TRUE;
}

BOOL CALLBACK PrintWindow(HWND hwnd, LPARAM)
{
    // A window shaped to nothing is not on the screen either: the options
    // dialog waits so between captures.
    RECT shape{};
    if (!::IsWindowVisible(hwnd) || ::GetWindowRgnBox(hwnd, &shape) == NULLREGION)
        return TRUE;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    CString texts;
    ::EnumChildWindows(hwnd, &CollectChildText, reinterpret_cast<LPARAM>(&texts));
    RECT rc{};
    ::GetWindowRect(hwnd, &rc);
    CString line;
    line.Format(L"%p\t%lu\t%s\t%s\t%s\t%ld,%ld,%ld,%ld", static_cast<void*>(hwnd), pid, ClassOf(hwnd).GetString(),
                TextOf(hwnd).GetString(), texts.GetString(), rc.left, rc.top, rc.right, rc.bottom);
    Print(line);
    return TRUE;
}

struct TrayQuery {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindTrayWindow(HWND hwnd, LPARAM param)
{
    auto* query = reinterpret_cast<TrayQuery*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    // The tray window is the process's hidden zero-size popup of a framework class.
    if (pid == query->pid && ClassOf(hwnd).Find(L"Afx:") == 0) {
        query->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

struct ChildQuery {
    CString text;
    HWND found;
};

BOOL CALLBACK FindChildByText(HWND child, LPARAM param)
{
    auto* query = reinterpret_cast<ChildQuery*>(param);
    if (::IsWindowVisible(child) && TextOf(child) == query->text) {
        query->found = child;
        return FALSE;
    }
    return TRUE;
}

// Where a person would click to press a control or pick a menu item.
bool FindCenter(const CString& where, const CString& text, POINT* pt)
{
    RECT rc{};
    if (where == L"menu") {
        // Menu handles belong to their process; the popup's window does not.
        // Items of a plain menu share its height equally: "N/COUNT" picks one.
        HWND menuWindow = ::FindWindowW(L"#32768", nullptr);
        const int slash = text.Find(L'/');
        const int index = _wtoi(text.Left(slash)), count = _wtoi(text.Mid(slash + 1));
        if (!menuWindow || slash < 0 || count <= 0 || index < 1 || index > count)
            return false;
        ::GetWindowRect(menuWindow, &rc);
        const int border = ::GetSystemMetrics(SM_CYFIXEDFRAME);
        const int itemHeight = (rc.bottom - rc.top - 2 * border) / count;
        rc.top += border + (index - 1) * itemHeight;
        rc.bottom = rc.top + itemHeight;
    } else {
        ChildQuery query{text, nullptr};
        ::EnumChildWindows(reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(where, nullptr, 16))),
                           &FindChildByText, reinterpret_cast<LPARAM>(&query));
        if (query.found)
            ::GetWindowRect(query.found, &rc);
    }
    if (::IsRectEmpty(&rc))
        return false;
    pt->x = (rc.left + rc.right) / 2;
    pt->y = (rc.top + rc.bottom) / 2;
    return true;
}

// The process's GDI handle table, as tools that show GDI objects per process
// read it: its address is in the process environment block, one 24-byte
// entry per handle with the owner's process id and the object type. (Windows
// keeps one table for all, the owner tells; Wine one per process, with no
// owner set.)
int CountGdiObjects(DWORD pid)
{
    HANDLE process = ::OpenProcess(PROCESS_VM_READ | PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (!process)
        return -1;
    using QueryInformation = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryInformation>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION info{};
    ULONG64 table = 0;
    SIZE_T read = 0;
    constexpr size_t kTableOffsetInPeb = 0xF8;  // GdiSharedHandleTable, 64-bit layout
    int count = -1;
    if (query && query(process, ProcessBasicInformation, &info, sizeof(info), nullptr) >= 0 &&
        ::ReadProcessMemory(process, reinterpret_cast<const char*>(info.PebBaseAddress) + kTableOffsetInPeb, &table,
                            sizeof(table), &read) &&
        table) {
        struct Entry {
            ULONG64 object;
            USHORT ownerPid;
            USHORT count;
            USHORT unique;
            UCHAR type;
            UCHAR flags;
            ULONG64 user;
        };
        static_assert(sizeof(Entry) == 24);
        std::vector<Entry> chunk(4096);
        count = 0;
        // Up to 65536 handles; the table may be shorter, so read until it ends.
        for (ULONG64 at = table; at < table + 16 * chunk.size() * sizeof(Entry); at += chunk.size() * sizeof(Entry)) {
            if (!::ReadProcessMemory(process, reinterpret_cast<const void*>(at), chunk.data(),
                                     chunk.size() * sizeof(Entry), &read))
                break;
            for (const Entry& entry : chunk)
                if (entry.type != 0 && (entry.ownerPid == static_cast<USHORT>(pid) || entry.ownerPid == 0))
                    ++count;
        }
    }
    ::CloseHandle(process);
    return count;
}

UINT MouseMessage(const CString& name)
{
    if (name == L"rbuttonup")
        return WM_RBUTTONUP;
    if (name == L"lbuttondblclk")
        return WM_LBUTTONDBLCLK;
    if (name == L"lbuttonup")
        return WM_LBUTTONUP;
    return 0;
}

struct ClassQuery {
    CString cls;
    HWND found;
};

BOOL CALLBACK FindChildByClass(HWND child, LPARAM param)
{
    auto* query = reinterpret_cast<ClassQuery*>(param);
    if (::IsWindowVisible(child) && ClassOf(child).CompareNoCase(query->cls) == 0) {
        query->found = child;
        return FALSE;
    }
    return TRUE;
}

// Reads a shortcut file the way the shell does when it is opened.
bool ShortcutTarget(LPCWSTR file, CString* target)
{
    ::CoInitialize(nullptr);
    bool ok = false;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&link)))) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            wchar_t path[MAX_PATH] = {};
            ok = SUCCEEDED(persist->Load(file, STGM_READ)) &&
                 SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0)) && path[0];
            *target = path;
            persist->Release();
        }
        link->Release();
    }
    ::CoUninitialize();
    return ok;
}

int RunCommand(const std::vector<CString>& args)
{
    const int argc = static_cast<int>(args.size());
    auto argv = [&args](int i) { return args[static_cast<size_t>(i)].GetString(); };
    const CString command = argc > 1 ? args[1] : CString();
    if (command == L"windows") {
        ::EnumWindows(&PrintWindow, 0);
    } else if (command == L"tray" && argc > 3) {
        TrayQuery query{static_cast<DWORD>(_wtoi(argv(2))), nullptr};
        ::EnumWindows(&FindTrayWindow, reinterpret_cast<LPARAM>(&query));
        const UINT mouse = MouseMessage(argv(3));
        if (!query.found || !mouse) {
            Print(L"no tray window");
            return 1;
        }
        // What the shell posts when the user clicks the icon with id 132.
        ::PostMessageW(query.found, WM_TRAY_CALLBACK, 132, mouse);
    } else if ((command == L"processes" || command == L"kill") && argc > 2) {
        HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
            if (::lstrcmpiW(entry.szExeFile, argv(2)) != 0)
                continue;
            if (command == L"kill") {
                if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID)) {
                    ::TerminateProcess(process, 1);
                    ::CloseHandle(process);
                }
            } else {
                CString line;
                line.Format(L"%lu", entry.th32ProcessID);
                Print(line);
            }
        }
        ::CloseHandle(snapshot);
    } else if (command == L"gdiobjects" && argc > 2) {
        const int count = CountGdiObjects(static_cast<DWORD>(_wtoi(argv(2))));
        if (count < 0) {
            Print(L"unknown");
            return 1;
        }
        CString line;
        line.Format(L"%d", count);
        Print(line);
    } else if (command == L"tasks") {
        HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
            CString line;
            line.Format(L"%lu\t%s", entry.th32ProcessID, entry.szExeFile);
            Print(line);
        }
        ::CloseHandle(snapshot);
    } else if (command == L"wait" && argc > 3) {
        HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE,
                                       static_cast<DWORD>(_wtoi(argv(2))));
        if (!process) {
            Print(L"gone");
            return 1;
        }
        // The caller acts only after this line: the process cannot end unseen.
        Print(L"watching");
        std::fflush(stdout);
        DWORD code = 0;
        if (::WaitForSingleObject(process, static_cast<DWORD>(_wtoi(argv(3)))) == WAIT_OBJECT_0 &&
            ::GetExitCodeProcess(process, &code)) {
            CString line;
            line.Format(L"%lu", code);
            Print(line);
        } else {
            Print(L"running");
        }
        ::CloseHandle(process);
    } else if (command == L"center" && argc > 3) {
        POINT pt{};
        if (!FindCenter(argv(2), argv(3), &pt)) {
            Print(L"not found");
            return 1;
        }
        CString line;
        line.Format(L"%ld %ld", pt.x, pt.y);
        Print(line);
    } else if (command == L"checked" && argc > 3) {
        ChildQuery query{argv(3), nullptr};
        ::EnumChildWindows(reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(argv(2), nullptr, 16))),
                           &FindChildByText, reinterpret_cast<LPARAM>(&query));
        if (!query.found) {
            Print(L"not found");
            return 1;
        }
        DWORD_PTR state = 0;
        ::SendMessageTimeoutW(query.found, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &state);
        CString line;
        line.Format(L"%d %d", static_cast<int>(state), ::IsWindowEnabled(query.found) ? 1 : 0);
        Print(line);
    } else if (command == L"command" && argc > 3) {
        HWND target = reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(argv(2), nullptr, 16)));
        if (!::IsWindow(target) || !::PostMessageW(target, WM_COMMAND, static_cast<WPARAM>(_wtoi(argv(3))), 0)) {
            Print(L"no window");
            return 1;
        }
    } else if (command == L"mypictures") {
        wchar_t path[MAX_PATH] = {};
        ::SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, path);
        Print(path);
    } else if (command == L"folder" && argc > 2) {
        const int csidl = args[2] == L"localappdata" ? CSIDL_LOCAL_APPDATA
                          : args[2] == L"programs"   ? CSIDL_PROGRAMS
                          : args[2] == L"startup"    ? CSIDL_STARTUP
                                                     : -1;
        wchar_t path[MAX_PATH] = {};
        if (csidl < 0 || FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) {
            Print(L"unknown folder");
            return 1;
        }
        Print(path);
    } else if (command == L"rect" && argc > 3) {
        ClassQuery query{argv(3), nullptr};
        ::EnumChildWindows(reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(argv(2), nullptr, 16))),
                           &FindChildByClass, reinterpret_cast<LPARAM>(&query));
        RECT rc{};
        if (!query.found || !::GetWindowRect(query.found, &rc)) {
            Print(L"not found");
            return 1;
        }
        CString line;
        line.Format(L"%ld %ld %ld %ld", rc.left, rc.top, rc.right, rc.bottom);
        Print(line);
    } else if (command == L"shortcut" && argc > 2) {
        CString target;
        if (!ShortcutTarget(argv(2), &target)) {
            Print(L"no shortcut");
            return 1;
        }
        Print(target);
    } else if (command == L"run" && argc > 2) {
        // Quotes only where a space needs them: installers read switches
        // such as /S from the raw command line.
        std::wstring line;
        for (int i = 2; i < argc; ++i) {
            const bool quote = std::wcschr(argv(i), L' ') != nullptr;
            if (i > 2)
                line.append(L" ");
            if (quote)
                line.append(L"\"");
            line.append(argv(i));
            if (quote)
                line.append(L"\"");
        }
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            Print(L"cannot start");
            return 1;
        }
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        CString result;
        result.Format(L"%lu", code);
        Print(result);
    } else {
        Print(L"usage: wintool windows | tray PID rbuttonup|lbuttondblclk|lbuttonup | processes NAME | tasks | "
              L"kill NAME | gdiobjects PID | wait PID MS | center HWND|menu TEXT | checked HWND TEXT | "
              L"command HWND ID | mypictures | folder NAME | shortcut LNK | rect HWND CLASS | run EXE ARGS | serve");
        return 2;
    }
    std::fflush(stdout);
    return 0;
}

// Answers commands from standard input, one a line with tab-separated
// arguments, each answer ended by a line "<<done RC>>": one process serves
// a whole test session, where a new one per question costs Wine a start.
int Serve()
{
    char line[4096];
    while (std::fgets(line, sizeof(line), stdin)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        std::vector<CString> args{L"wintool"};
        size_t from = 0;
        for (size_t tab; (tab = text.find('\t', from)) != std::string::npos; from = tab + 1)
            args.push_back(FromAnsi(text.substr(from, tab - from).c_str(), -1, CP_UTF8));
        args.push_back(FromAnsi(text.substr(from).c_str(), -1, CP_UTF8));
        const int rc = RunCommand(args);
        CString done;
        done.Format(L"<<done %d>>", rc);
        Print(done);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<CString> args(argv, argv + argc);
    if (argc > 1 && args[1] == L"serve")
        return Serve();
    return RunCommand(args);
}
