#pragma once
// Owning, move-only wrappers for Win32 handles. One template, parameterised by
// the function that closes the handle and the value that means "no handle".
#include <windows.h>
#include <shlobj.h>
#include <oleauto.h>
#include <string>
#include <utility>

namespace win {

template <typename H, typename Closer, H Empty() noexcept>
class UniqueHandle {
public:
    UniqueHandle() noexcept : m_h(Empty()) {}
    explicit UniqueHandle(H h) noexcept : m_h(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : m_h(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept
    {
        if (this != &o)
            reset(o.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    H get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != Empty(); }

    // For out-parameters: closes what is held and hands out the slot.
    H* put() noexcept
    {
        reset();
        return &m_h;
    }
    H release() noexcept { return std::exchange(m_h, Empty()); }
    void reset(H h = Empty()) noexcept
    {
        H old = std::exchange(m_h, h);
        if (old != Empty())
            Closer{}(old);
    }

private:
    H m_h;
};

namespace detail {
inline HKEY nullKey() noexcept { return nullptr; }
inline HANDLE nullHandle() noexcept { return nullptr; }
inline HANDLE invalidHandle() noexcept { return INVALID_HANDLE_VALUE; }
inline HMENU nullMenu() noexcept { return nullptr; }
inline HFONT nullFont() noexcept { return nullptr; }
inline HICON nullIcon() noexcept { return nullptr; }

struct CloseKey { void operator()(HKEY k) const noexcept { RegCloseKey(k); } };
struct CloseHandleFn { void operator()(HANDLE h) const noexcept { CloseHandle(h); } };
struct CloseFind { void operator()(HANDLE h) const noexcept { FindClose(h); } };
struct DestroyMenuFn { void operator()(HMENU m) const noexcept { DestroyMenu(m); } };
struct DeleteFont { void operator()(HFONT f) const noexcept { DeleteObject(f); } };
struct DestroyIconFn { void operator()(HICON i) const noexcept { DestroyIcon(i); } };
} // namespace detail

using UniqueKey = UniqueHandle<HKEY, detail::CloseKey, detail::nullKey>;
// Events, mutexes, processes, threads: empty is NULL.
using UniqueHandleNull = UniqueHandle<HANDLE, detail::CloseHandleFn, detail::nullHandle>;
// CreateFile: empty is INVALID_HANDLE_VALUE.
using UniqueFile = UniqueHandle<HANDLE, detail::CloseHandleFn, detail::invalidHandle>;
using UniqueFind = UniqueHandle<HANDLE, detail::CloseFind, detail::invalidHandle>;
using UniqueMenu = UniqueHandle<HMENU, detail::DestroyMenuFn, detail::nullMenu>;
using UniqueFont = UniqueHandle<HFONT, detail::DeleteFont, detail::nullFont>;
using UniqueIcon = UniqueHandle<HICON, detail::DestroyIconFn, detail::nullIcon>;

// An owning BSTR, made from a wide string, for one call.
class Bstr {
public:
    explicit Bstr(const std::wstring& s) : m_b(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    ~Bstr() { SysFreeString(m_b); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const noexcept { return m_b; }

private:
    BSTR m_b;
};

// Minimal owning COM pointer.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept
    {
        if (this != &o) {
            reset();
            m_p = std::exchange(o.m_p, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }
    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    T** put() noexcept
    {
        reset();
        return &m_p;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    void reset() noexcept
    {
        if (m_p)
            std::exchange(m_p, nullptr)->Release();
    }

private:
    T* m_p = nullptr;
};

// CoInitializeEx / CoUninitialize pairing for one thread.
class ComInit {
public:
    explicit ComInit(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : m_ok(SUCCEEDED(CoInitializeEx(nullptr, model))) {}
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    ~ComInit()
    {
        if (m_ok)
            CoUninitialize();
    }

private:
    bool m_ok;
};

} // namespace win
