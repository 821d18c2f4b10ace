// A stand-in for the runtime files that setup brings into the system folder (tests only): a DLL whose
// registration appends its own full path, one line, to the file named by SETUP_E2E_REGISTER_LOG.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer()
{
    wchar_t log[MAX_PATH];
    if (!GetEnvironmentVariableW(L"SETUP_E2E_REGISTER_LOG", log, MAX_PATH)) return S_OK;
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&DllRegisterServer), &self);
    char path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return S_OK;
    DWORD written = 0;
    WriteFile(file, path, n, &written, nullptr);
    WriteFile(file, "\r\n", 2, &written, nullptr);
    CloseHandle(file);
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() { return S_OK; }
