// A stand-in for the runtime files setup brings into the system folder and for horasync's socket
// component (tests only). Its registration leaves a trace: with SETUP_E2E_REGISTER_LOG set, its own
// full path appended as one line to that file; otherwise the registering command line written to
// a file named after the DLL plus ".registered". Built with STANDIN_HANG, the registration first
// makes "<dll>.waiting" and waits until "<dll>.release" appears beside it.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&DllRegisterServer), &self);
    char path[MAX_PATH + 16];
    const DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
#ifdef STANDIN_HANG
    lstrcpyA(path + n, ".waiting");
    CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    lstrcpyA(path + n, ".release");
    while (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) Sleep(50);
#endif
    DWORD written = 0;
    wchar_t log[MAX_PATH];
    if (GetEnvironmentVariableW(L"SETUP_E2E_REGISTER_LOG", log, MAX_PATH)) {
        HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return S_OK;
        WriteFile(file, path, n, &written, nullptr);
        WriteFile(file, "\r\n", 2, &written, nullptr);
        CloseHandle(file);
        return S_OK;
    }
    lstrcpyA(path + n, ".registered");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const char* command = GetCommandLineA();
    WriteFile(file, command, lstrlenA(command), &written, nullptr);
    CloseHandle(file);
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() { return S_OK; }
