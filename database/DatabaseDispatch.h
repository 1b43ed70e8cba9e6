// The automation face of CDatabaseObj: the IDispatch every database object
// carries, serving the object's dispatch table. The table itself (members
// and dispatch numbers) is listed with the class factory in
// frame/DatabaseDispatch.cpp, which defines Table() and Members(), as a
// dispatch map is declared with its class and defined beside the table.
//
// It is a part of its object, not a separate object: AddRef and Release
// count the object's references (the last Release deletes a factory-made
// object), and QueryInterface answers IUnknown, IDispatch and
// IID_IDatabaseObj with this same interface, and IDispatchMembers with the
// table's description. A client reaches it through
// the class factory or through CDatabaseObj::GetIDispatch.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <qel/platform/Com.h>
#include <qel/platform/Dispatch.h>
#include <qel/platform/DispatchMembers.h>
#include <qel/platform/Export.h>

class CDatabaseObj;
namespace qel::platform {
template <class T>
class DispatchTable;
}

// {CE15A1F9-8E81-4D98-A614-B7C71F7A2756}: the dispatch interface of "QEL.Database".
inline constexpr IID IID_IDatabaseObj = {
    0xCE15A1F9, 0x8E81, 0x4D98, {0xA6, 0x14, 0xB7, 0xC7, 0x1F, 0x7A, 0x27, 0x56}};

class QEL_API CDatabaseDispatch final : public IDispatch, public IDispatchMembers {
public:
    explicit CDatabaseDispatch(CDatabaseObj& owner) noexcept : m_owner(owner) {}
    CDatabaseDispatch(const CDatabaseDispatch&) = delete;
    CDatabaseDispatch& operator=(const CDatabaseDispatch&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                     UINT* puArgErr) override;
    HRESULT STDMETHODCALLTYPE GetMember(UINT index, DispatchMemberInfo* info) override;

    // The dispatch number of a member name (any case); DISPID_UNKNOWN if none.
    static DISPID IdOfName(std::string_view name);
    // The name of a dispatch number; empty if none.
    static std::string_view NameOfId(DISPID dispId);

    // One member as a client sees it. Types are named as in a type library:
    // short, long, BOOL, DATE, BSTR, IDispatch*, long* (an out-parameter,
    // passed by reference), void.
    struct Member {
        std::string name;
        DISPID dispId = DISPID_UNKNOWN;
        bool property = false;              // read and written; else a method
        std::string type;                   // the property's type or the method's result
        std::vector<std::string> parameters;  // a method's parameter types, in order
    };
    // Every member of the dispatch table, in table order.
    static const std::vector<Member>& Members();

    // The members of CDatabaseObj bound to its functions.
    static const qel::platform::DispatchTable<CDatabaseObj>& Table();

private:
    CDatabaseObj& m_owner;
};
