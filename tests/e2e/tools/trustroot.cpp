// Makes a test certificate authority trusted the way an administrator would:
// the certificate goes into the computer's "Root" system store.
//   trustroot add FILE.der      prints "added" or "failed <step> <error>"
//   trustroot remove FILE.der   takes it out again: prints "removed"
// Run it through a pipe: Wine's launchers do not pass exit codes on.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

#include "framework/CString.h"

namespace {

using OpenStoreFn = HCERTSTORE(WINAPI*)(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void*);
using AddEncodedFn = BOOL(WINAPI*)(HCERTSTORE, DWORD, const BYTE*, DWORD, DWORD, PCCERT_CONTEXT*);
using CloseStoreFn = BOOL(WINAPI*)(HCERTSTORE, DWORD);
using DeleteFn = BOOL(WINAPI*)(PCCERT_CONTEXT);

int Fail(const char* what, DWORD error)
{
    std::printf("failed %s %lu\n", what, error);
    std::fflush(stdout);
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const bool add = argc == 3 && ::lstrcmpW(argv[1], L"add") == 0;
    if (argc != 3 || (!add && ::lstrcmpW(argv[1], L"remove") != 0))
        return Fail("usage", ERROR_INVALID_PARAMETER);
    const HANDLE file = ::CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Fail("open", ::GetLastError());
    std::string der(65536, '\0');
    DWORD read = 0;
    ::ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &read, nullptr);
    ::CloseHandle(file);
    der.resize(read);

    // Loaded by name: the program itself never needs the certificate stores.
    const HMODULE crypt32 = ::LoadLibraryW(L"crypt32.dll");
    if (!crypt32)
        return Fail("load", ::GetLastError());
    auto openStore = reinterpret_cast<OpenStoreFn>(::GetProcAddress(crypt32, "CertOpenStore"));
    auto addEncoded = reinterpret_cast<AddEncodedFn>(::GetProcAddress(crypt32, "CertAddEncodedCertificateToStore"));
    auto closeStore = reinterpret_cast<CloseStoreFn>(::GetProcAddress(crypt32, "CertCloseStore"));
    auto deleteCert = reinterpret_cast<DeleteFn>(::GetProcAddress(crypt32, "CertDeleteCertificateFromStore"));
    if (!openStore || !addEncoded || !closeStore || !deleteCert)
        return Fail("resolve", ERROR_PROC_NOT_FOUND);

    const HCERTSTORE store = openStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store)
        return Fail("store", ::GetLastError());
    PCCERT_CONTEXT added = nullptr;
    BOOL ok = addEncoded(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), read,
                         CERT_STORE_ADD_REPLACE_EXISTING, add ? nullptr : &added);
    // Removing is adding (which finds the stored copy) and deleting that.
    if (ok && !add)
        ok = deleteCert(added);
    const DWORD error = ::GetLastError();
    closeStore(store, 0);
    if (!ok)
        return Fail(add ? "add" : "remove", error);
    std::printf(add ? "added\n" : "removed\n");
    std::fflush(stdout);
    return 0;
}
