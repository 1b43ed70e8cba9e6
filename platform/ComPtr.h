// ComPtr<T>: owns one reference of a component interface (anything derived
// from IUnknown) and releases it when it goes. Copying adds a reference,
// moving hands the reference over:
//
//     ComPtr<IDispatch> callback = ComPtr<IDispatch>::Adopt(db.GetObjDatabaseCallback());
//     ComPtr<IDispatch> other(rawPointer);   // AddRef's rawPointer
#pragma once

#include <utility>

#include <qel/platform/Com.h>

namespace qel::platform {

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    // Shares `p`: adds a reference of its own.
    explicit ComPtr(T* p) noexcept : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    // Takes over a reference the caller already owns (a getter's result).
    static ComPtr Adopt(T* owned) noexcept {
        ComPtr result;
        result.m_p = owned;
        return result;
    }

    ComPtr(const ComPtr& other) noexcept : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    // Gives up the reference without releasing it (the caller owns it now).
    T* Detach() noexcept { return std::exchange(m_p, nullptr); }
    void Reset() noexcept {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }

private:
    T* m_p = nullptr;
};

}  // namespace qel::platform
