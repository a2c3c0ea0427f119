#include "upload/UploadHistory.h"

#include <shlobj.h>

#include <algorithm>

namespace {

// Past this size the file is rewritten with the newest records only, so it
// never grows without bound (a record is a few hundred bytes).
constexpr DWORD kCompactAboveBytes = 64 * 1024;
// Records kept by a rewrite: more than are shown, so that marks of deletion
// still find their records.
constexpr size_t kKeptByCompaction = 2 * kRecentUploadsShown;
// A damaged file of any size is read only at its end.
constexpr DWORD kMaxReadBytes = 1024 * 1024;

// Tabs and line ends would break the line apart: they become blanks.
std::string Field(const CString& value)
{
    CString clean = value;
    std::wstring text = clean.Str();
    for (wchar_t& c : text)
        if (c < L' ')
            c = L' ';
    return ToAnsi(CString(std::move(text)), CP_UTF8);
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

CString FromUtf8(const std::string& s) { return FromAnsi(s.data(), static_cast<int>(s.size()), CP_UTF8); }

bool LooksLikeAddress(const CString& s)
{
    return s.Left(7).CompareNoCase(L"http://") == 0 || s.Left(8).CompareNoCase(L"https://") == 0;
}

std::string ReadTail(const CString& path)
{
    const HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    LARGE_INTEGER size{};
    std::string bytes;
    if (::GetFileSizeEx(file, &size)) {
        const LONGLONG start = size.QuadPart > kMaxReadBytes ? size.QuadPart - kMaxReadBytes : 0;
        LARGE_INTEGER at{};
        at.QuadPart = start;
        bytes.resize(static_cast<size_t>(size.QuadPart - start));
        DWORD read = 0;
        if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
            !::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
            read = 0;
        bytes.resize(read);
        // A cut-off first line is not a record.
        if (start > 0) {
            const size_t firstEnd = bytes.find('\n');
            bytes.erase(0, firstEnd == std::string::npos ? bytes.size() : firstEnd + 1);
        }
    }
    ::CloseHandle(file);
    return bytes;
}

bool AppendLine(const CString& path, const std::string& line, DWORD* pSizeAfter)
{
    const HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // A file that ends in the middle of a line (a crash while writing) gets
    // its line ended first, so that the new record stands on its own.
    std::string text = line;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        const HANDLE reader = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
        if (reader != INVALID_HANDLE_VALUE) {
            LARGE_INTEGER last{};
            last.QuadPart = size.QuadPart - 1;
            char c = '\n';
            DWORD read = 0;
            if (::SetFilePointerEx(reader, last, nullptr, FILE_BEGIN) && ::ReadFile(reader, &c, 1, &read, nullptr) &&
                read == 1 && c != '\n')
                text = std::string(1, '\n') + line;
            ::CloseHandle(reader);
        }
    }
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (pSizeAfter) {
        LARGE_INTEGER after{};
        *pSizeAfter = ::GetFileSizeEx(file, &after) && after.QuadPart < 0x7FFFFFFF
                          ? static_cast<DWORD>(after.QuadPart)
                          : 0x7FFFFFFF;
    }
    ::CloseHandle(file);
    return ok && written == text.size();
}

std::string RecordLine(const UploadRecord& r)
{
    std::string line = "U\t" + Field(r.time) + "\t" + Field(r.address) + "\t" + Field(r.deletionAddress) + "\t" +
                       Field(r.savedFile) + "\n";
    if (r.deleted)
        line += "D\t" + Field(r.time) + "\t" + Field(r.address) + "\n";
    return line;
}

// Rewrites the file with its newest records, through a temporary file that
// replaces it in one step: a crash leaves the old file or the new one.
void Compact(const CString& path)
{
    std::vector<UploadRecord> records = ParseUploadHistory(ReadTail(path));
    if (records.size() > kKeptByCompaction)
        records.erase(records.begin(), records.end() - kKeptByCompaction);
    std::string text;
    for (const UploadRecord& r : records)
        text += RecordLine(r);
    const CString temp = path + L".new";
    const HANDLE file = ::CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size() && ::FlushFileBuffers(file);
    ::CloseHandle(file);
    if (!ok || !::MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ::DeleteFileW(temp);
}

bool EnsureFolderOf(const CString& path)
{
    const int slash = path.ReverseFind(L'\\');
    if (slash <= 0)
        return true;
    const CString folder = path.Left(slash);
    const int result = ::SHCreateDirectoryExW(nullptr, folder, nullptr);
    return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS;
}

}  // namespace

CString UploadHistoryPath()
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)) || !folder[0])
        return CString();
    return CString(folder) + L"\\OrvoCapture\\uploads.txt";
}

CString UploadRecordTime()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    CString text;
    text.Format(L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                now.wSecond);
    return text;
}

std::vector<UploadRecord> ParseUploadHistory(const std::string& utf8)
{
    std::vector<UploadRecord> records;
    size_t start = 0;
    while (start < utf8.size()) {
        size_t end = utf8.find('\n', start);
        if (end == std::string::npos)
            end = utf8.size();
        std::string line = utf8.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields[0] == "U" && fields.size() == 5) {
            UploadRecord r;
            r.time = FromUtf8(fields[1]);
            r.address = FromUtf8(fields[2]);
            r.deletionAddress = FromUtf8(fields[3]);
            r.savedFile = FromUtf8(fields[4]);
            if (!LooksLikeAddress(r.address))
                continue;
            if (!LooksLikeAddress(r.deletionAddress))
                r.deletionAddress.Empty();
            records.push_back(std::move(r));
        } else if (fields[0] == "D" && fields.size() == 3) {
            const CString address = FromUtf8(fields[2]);
            for (UploadRecord& r : records)
                if (r.address == address)
                    r.deleted = true;
        }
        // Anything else is damage, or a line of a later version: skipped.
    }
    return records;
}

std::vector<UploadRecord> ReadRecentUploads(const CString& path, size_t max)
{
    std::vector<UploadRecord> records = ParseUploadHistory(ReadTail(path));
    std::reverse(records.begin(), records.end());
    if (records.size() > max)
        records.resize(max);
    return records;
}

bool AppendUploadRecord(const CString& path, const UploadRecord& record)
{
    if (path.IsEmpty() || !EnsureFolderOf(path))
        return false;
    DWORD size = 0;
    if (!AppendLine(path, RecordLine(record), &size))
        return false;
    if (size > kCompactAboveBytes)
        Compact(path);
    return true;
}

bool AppendUploadDeleted(const CString& path, const CString& address)
{
    if (path.IsEmpty() || !EnsureFolderOf(path))
        return false;
    return AppendLine(path, "D\t" + Field(UploadRecordTime()) + "\t" + Field(address) + "\n", nullptr);
}
