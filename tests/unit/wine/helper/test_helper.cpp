// A small program the Windows unit tests start as "another process":
//   test_helper exit N                      ends at once with code N
//   test_helper sleep MS                    ends after MS milliseconds
//   test_helper hold FILE READY RELEASE     holds FILE exclusively; sets the event READY once it
//                                           does, lets go when the event RELEASE is set (30 s at most)
//   test_helper touch FILE                  creates FILE (proves that the program ran)
#include <windows.h>

#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 3 && wcscmp(argv[1], L"exit") == 0) return _wtoi(argv[2]);
    if (argc >= 3 && wcscmp(argv[1], L"sleep") == 0) {
        Sleep(static_cast<DWORD>(_wtoi(argv[2])));
        return 0;
    }
    if (argc >= 3 && wcscmp(argv[1], L"touch") == 0) {
        HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        CloseHandle(file);
        return 0;
    }
    if (argc >= 5 && wcscmp(argv[1], L"hold") == 0) {
        HANDLE file = CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
        HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[4]);
        if (!ready || !release) return 2;
        SetEvent(ready);
        WaitForSingleObject(release, 30000);
        CloseHandle(file);
        return 0;
    }
    return 100;
}
