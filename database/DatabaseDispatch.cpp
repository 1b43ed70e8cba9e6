#include <qel/database/DatabaseDispatch.h>

#include <qel/database/DatabaseObj.h>
#include <qel/platform/DispatchTable.h>

HRESULT CDatabaseDispatch::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IDatabaseObj) {
        *ppv = static_cast<IDispatch*>(this);
    } else if (riid == IID_IDispatchMembers) {
        *ppv = static_cast<IDispatchMembers*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CDatabaseDispatch::AddRef() { return m_owner.ExternalAddRef(); }

ULONG CDatabaseDispatch::Release() { return m_owner.ExternalRelease(); }

HRESULT CDatabaseDispatch::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    return Table().GetIDsOfNames(rgszNames, cNames, rgDispId);
}

HRESULT CDatabaseDispatch::Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                  VARIANT* pVarResult, EXCEPINFO*, UINT* puArgErr) {
    return Table().Invoke(m_owner, dispIdMember, wFlags, pDispParams, pVarResult, puArgErr);
}

HRESULT CDatabaseDispatch::GetMember(UINT index, DispatchMemberInfo* info) { return Table().Describe(index, info); }

DISPID CDatabaseDispatch::IdOfName(std::string_view name) { return Table().IdOfName(name); }

std::string_view CDatabaseDispatch::NameOfId(DISPID dispId) {
    const auto* entry = Table().Find(dispId);
    return entry != nullptr ? std::string_view(entry->name) : std::string_view();
}

IDispatch* CDatabaseObj::GetIDispatch(BOOL bAddRef) {
    if (bAddRef) m_xDispatch.AddRef();
    return &m_xDispatch;
}
