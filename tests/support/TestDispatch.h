// A client callback object for tests: an automation object with OnMessage
// and the readable properties lErrorCode and strError, answering from
// fields the test sets and recording each call with the calling thread.
#pragma once

#include <array>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <qel/platform/ComPtr.h>
#include <qel/platform/Dispatch.h>

namespace qel::test {

class TestCallback : public qel::platform::DispatchObject {
public:
    enum : DISPID { kOnMessage = 1, kErrorCode = 2, kError = 3 };

    struct Call {
        std::array<LONG, 4> values;
        std::thread::id thread;
    };

    // With hasOnMessage false the object lacks the method (the call fails).
    static qel::platform::ComPtr<TestCallback> Make(bool hasOnMessage = true, bool* destroyed = nullptr) {
        return qel::platform::ComPtr<TestCallback>::Adopt(new TestCallback(hasOnMessage, destroyed));
    }

    std::vector<Call> Calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

    // The error state the object reports after a call.
    LONG code = 0;
    std::string text;
    bool codeReadable = true;
    bool textReadable = true;
    // When set, strError answers an object, which no text converts from.
    bool textAsObject = false;

private:
    TestCallback(bool hasOnMessage, bool* destroyed)
        : DispatchObject(hasOnMessage ? std::vector<Member>{{"OnMessage", kOnMessage},
                                                            {"lErrorCode", kErrorCode},
                                                            {"strError", kError}}
                                      : std::vector<Member>{{"lErrorCode", kErrorCode}, {"strError", kError}}),
          m_destroyed(destroyed) {}
    ~TestCallback() override {
        if (m_destroyed) *m_destroyed = true;
    }

    HRESULT OnInvoke(DISPID dispId, WORD flags, std::span<const qel::platform::Variant> args,
                     qel::platform::Variant* result) override {
        using qel::platform::Variant;
        if (dispId == kOnMessage && (flags & DISPATCH_METHOD) != 0) {
            if (args.size() != 4) return DISP_E_BADPARAMCOUNT;
            Call call{{}, std::this_thread::get_id()};
            for (size_t i = 0; i < 4; ++i) {
                if (!args[i].ToLong(&call.values[i])) return DISP_E_TYPEMISMATCH;
            }
            std::lock_guard lock(m_mutex);
            m_calls.push_back(call);
            *result = Variant(Variant::Bool{true});
            return S_OK;
        }
        if ((flags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
        if (dispId == kErrorCode && codeReadable) {
            *result = Variant(code);
            return S_OK;
        }
        if (dispId == kError && textReadable) {
            *result = textAsObject ? Variant(static_cast<IDispatch*>(this)) : Variant(text);
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

    bool* m_destroyed;
    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
};

}  // namespace qel::test
