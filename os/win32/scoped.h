// Owners of Windows handles and of COM for a thread, and the one way a failed call becomes a
// PlatformError. COM interfaces are held in WRL's ComPtr.
#pragma once
#include "os/errors.h"

#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <wrl/client.h>

#include <string>

namespace os {

using Microsoft::WRL::ComPtr;

// Throws PlatformError naming the call and the platform's error number.
[[noreturn]] inline void Fail(const char* what, DWORD code = GetLastError())
{
    throw PlatformError(std::string(what) + " failed (error " + std::to_string(code) + ")", code);
}

inline void Check(HRESULT hr, const char* what)
{
    if (FAILED(hr)) Fail(what, static_cast<DWORD>(hr));
}

// Owns a handle while it lives and closes it with `Close` at the end of its scope; a null or
// INVALID_HANDLE_VALUE handle owns nothing.
template <class H, auto Close>
class Scoped {
public:
    Scoped() = default;
    explicit Scoped(H h) : handle(h) {}
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    ~Scoped()
    {
        if (Valid()) Close(handle);
    }
    bool Valid() const { return handle && reinterpret_cast<HANDLE>(handle) != INVALID_HANDLE_VALUE; }

    H handle{};
};

using KernelHandle = Scoped<HANDLE, &CloseHandle>;
using FindHandle = Scoped<HANDLE, &FindClose>;

// COM (with OLE when `ole` is true) for the calling thread while the object lives; a thread that
// has it already keeps its own, as the counts of nested initialisations allow.
class ComForThread {
public:
    explicit ComForThread(bool ole = false)
        : ole_(ole), ok_(SUCCEEDED(ole ? OleInitialize(nullptr) : CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
    {
    }
    ComForThread(const ComForThread&) = delete;
    ComForThread& operator=(const ComForThread&) = delete;
    ~ComForThread()
    {
        if (!ok_) return;
        if (ole_)
            OleUninitialize();
        else
            CoUninitialize();
    }

private:
    bool ole_;
    bool ok_;
};

} // namespace os
