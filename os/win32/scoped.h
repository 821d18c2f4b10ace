// Owners of Windows handles and of COM for a thread, and the one way a failed call becomes a
// PlatformError. COM interfaces are held in WRL's ComPtr.
#pragma once
#include "common/errors.h"

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

// A handle closed by `close` when the owner goes out of scope; `empty` is the value that owns
// nothing besides the null handle.
template <class H, class Closer>
class Scoped {
public:
    Scoped() = default;
    explicit Scoped(H h) : handle(h) {}
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    ~Scoped()
    {
        if (Valid()) Closer{}(handle);
    }
    bool Valid() const { return handle && handle != Closer::kInvalid; }

    H handle{};
};

struct CloseKernel {
    static inline const HANDLE kInvalid = INVALID_HANDLE_VALUE;
    void operator()(HANDLE h) const { CloseHandle(h); }
};
struct CloseFind {
    static inline const HANDLE kInvalid = INVALID_HANDLE_VALUE;
    void operator()(HANDLE h) const { FindClose(h); }
};

using KernelHandle = Scoped<HANDLE, CloseKernel>;
using FindHandle = Scoped<HANDLE, CloseFind>;

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
