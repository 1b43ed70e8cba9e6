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
#include <qel/platform/DispatchTable.h>

namespace qel::test {

class TestCallback : public qel::platform::DispatchObject<TestCallback> {
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

    const qel::platform::DispatchTable<TestCallback>& Table() const {
        using DT = qel::platform::DispatchTable<TestCallback>;
        using VT = qel::platform::DispType;
        static const DT full({
            DT::Method<&TestCallback::OnMessage, VT::Bool, VT::Long, VT::Long, VT::Long, VT::Long>("OnMessage",
                                                                                                  kOnMessage),
            DT::ReadOnly<&TestCallback::ErrorCode, VT::Long>("lErrorCode", kErrorCode),
            DT::ReadOnly<&TestCallback::ErrorText, VT::Variant>("strError", kError),
        });
        static const DT withoutOnMessage({full.Entries()[1], full.Entries()[2]});
        return m_hasOnMessage ? full : withoutOnMessage;
    }

private:
    TestCallback(bool hasOnMessage, bool* destroyed) : m_hasOnMessage(hasOnMessage), m_destroyed(destroyed) {}
    ~TestCallback() override {
        if (m_destroyed) *m_destroyed = true;
    }

    BOOL OnMessage(LONG type, LONG p1, LONG p2, LONG p3) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back({{type, p1, p2, p3}, std::this_thread::get_id()});
        return TRUE;
    }
    LONG ErrorCode() {
        if (!codeReadable) throw qel::platform::DispatchFailure{DISP_E_MEMBERNOTFOUND};
        return code;
    }
    qel::platform::Variant ErrorText() {
        using qel::platform::Variant;
        if (!textReadable) throw qel::platform::DispatchFailure{DISP_E_MEMBERNOTFOUND};
        return textAsObject ? Variant(static_cast<IDispatch*>(this)) : Variant(text);
    }

    bool m_hasOnMessage;
    bool* m_destroyed;
    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
};

}  // namespace qel::test
