// The dispatch table of CDatabaseObj and its class record. The dispatch
// numbers are part of the component's interface: clients may bind to them,
// so an entry never moves (29 stays unassigned).
#include <qel/frame/DatabaseDispatch.h>

#include <new>

#include <qel/database/DatabaseObj.h>
#include <qel/frame/ObjectFactory.h>
#include <qel/platform/DispatchTable.h>

namespace {

using DT = qel::platform::DispatchTable<CDatabaseObj>;
using VT = qel::platform::DispType;
using C = CDatabaseObj;

// Each entry's automation types, kept beside the table as it is built, for
// the members reference (CDatabaseDispatch::Members).
std::vector<CDatabaseDispatch::Member>& Described() {
    static std::vector<CDatabaseDispatch::Member> members;
    return members;
}

const char* TypeName(VT type) {
    switch (type) {
        case VT::Void: return "void";
        case VT::Short: return "short";
        case VT::Long: return "long";
        case VT::Bool: return "BOOL";
        case VT::Date: return "DATE";
        case VT::String: return "BSTR";
        case VT::Dispatch: return "IDispatch*";
        case VT::LongOut: return "long*";
        case VT::Variant: return "VARIANT";
    }
    return "?";
}

template <auto Get, auto Set, VT V>
DT::Entry Property(std::string name, DISPID dispId) {
    Described().push_back({name, dispId, true, TypeName(V), {}});
    return DT::Property<Get, Set, V>(std::move(name), dispId);
}

template <auto F, VT R, VT... P>
DT::Entry Method(std::string name, DISPID dispId) {
    Described().push_back({name, dispId, false, TypeName(R), {TypeName(P)...}});
    return DT::Method<F, R, P...>(std::move(name), dispId);
}


const CRuntimeClass kDatabaseObjClass = {"CDatabaseObj", &CDatabaseObj::CreateObject};

}  // namespace

// --- CDatabaseDispatch: the table ------------------------------------------------

const DT& CDatabaseDispatch::Table() {
    static const DT table({
        Property<&C::GetObjDatabaseCallback, &C::SetObjDatabaseCallback, VT::Dispatch>("objDatabaseCallback", 1),
        Property<&C::GetLKey, &C::SetLKey, VT::Long>("lKey", 2),
        Property<&C::GetBDefaultEngine, &C::SetBDefaultEngine, VT::Bool>("bDefaultEngine", 3),
        Property<&C::GetLEngine, &C::SetLEngine, VT::Long>("lEngine", 4),
        Property<&C::GetBMultiUser, &C::SetBMultiUser, VT::Bool>("bMultiUser", 5),
        Property<&C::GetStrName, &C::SetStrName, VT::String>("strName", 6),
        Property<&C::GetLNumber, &C::SetLNumber, VT::Long>("lNumber", 7),
        Property<&C::GetStrServerOS, &C::SetStrServerOS, VT::String>("strServerOS", 8),
        Property<&C::GetStrProtocol, &C::SetStrProtocol, VT::String>("strProtocol", 9),
        Property<&C::GetStrHostAddress, &C::SetStrHostAddress, VT::String>("strHostAddress", 10),
        Property<&C::GetStrDataSource, &C::SetStrDataSource, VT::String>("strDataSource", 11),
        Property<&C::GetStrDirectory, &C::SetStrDirectory, VT::String>("strDirectory", 12),
        Property<&C::GetStrLoginID, &C::SetStrLoginID, VT::String>("strLoginID", 13),
        Property<&C::GetBServerObjectInUse, &C::SetBServerObjectInUse, VT::Bool>("bServerObjectInUse", 14),
        Property<&C::GetStrAppServer, &C::SetStrAppServer, VT::String>("strAppServer", 15),
        Property<&C::GetLCurrentDoctor, &C::SetLCurrentDoctor, VT::Long>("lCurrentDoctor", 16),
        Property<&C::GetLCurrentMedia, &C::SetLCurrentMedia, VT::Long>("lCurrentMedia", 17),
        Property<&C::GetBIsNew, &C::SetBIsNew, VT::Bool>("bIsNew", 18),
        Property<&C::GetBIsOpen, &C::SetBIsOpen, VT::Bool>("bIsOpen", 19),
        Property<&C::GetBCompressGrayscaleImages, &C::SetBCompressGrayscaleImages, VT::Bool>(
            "bCompressGrayscaleImages", 20),
        Property<&C::GetBCompressColorImages, &C::SetBCompressColorImages, VT::Bool>("bCompressColorImages",
                                                                                              21),
        Property<&C::GetBAllowDuplicatePatientIDs, &C::SetBAllowDuplicatePatientIDs, VT::Bool>(
            "bAllowDuplicatePatientIDs", 22),
        Property<&C::GetBDefaultImageMediaName, &C::SetBDefaultImageMediaName, VT::Bool>(
            "bDefaultImageMediaName", 23),
        Property<&C::GetStrImageMediaNameFormat, &C::SetStrImageMediaNameFormat, VT::String>(
            "strImageMediaNameFormat", 24),
        Property<&C::GetDateLastImageMediaCreation, &C::SetDateLastImageMediaCreation, VT::Date>(
            "dateLastImageMediaCreation", 25),
        Property<&C::GetBDefault15LayoutSaved, &C::SetBDefault15LayoutSaved, VT::Bool>(
            "bDefault15LayoutSaved", 26),
        Property<&C::GetLErrorCode, &C::SetLErrorCode, VT::Long>("lErrorCode", 27),
        Property<&C::GetStrError, &C::SetStrError, VT::String>("strError", 28),
        Method<&C::AddNew, VT::Bool, VT::Bool, VT::Bool>("AddNew", 30),
        Method<&C::Get, VT::Bool, VT::Long>("Get", 31),
        Method<&C::Update, VT::Bool>("Update", 32),
        Method<&C::Delete, VT::Bool>("Delete", 33),
        Method<&C::Open, VT::Bool>("Open", 34),
        Method<&C::Open2, VT::Bool, VT::Bool>("Open2", 35),
        Method<&C::Close, VT::Bool>("Close", 36),
        Method<&C::ImportParameters, VT::Bool, VT::String>("ImportParameters", 37),
        Method<&C::ExportParameters, VT::Bool, VT::String>("ExportParameters", 38),
        Method<&C::GetDoctorCount, VT::Bool, VT::LongOut>("GetDoctorCount", 39),
        Method<&C::GetDoctor, VT::Bool, VT::Long, VT::LongOut>("GetDoctor", 40),
        Method<&C::GetImageMediaTypeCount, VT::Bool, VT::LongOut>("GetImageMediaTypeCount", 41),
        Method<&C::GetImageMediaType, VT::Bool, VT::Long, VT::LongOut>("GetImageMediaType", 42),
        Method<&C::GetImageMediaCount, VT::Bool, VT::LongOut>("GetImageMediaCount", 43),
        Method<&C::GetImageMedia, VT::Bool, VT::Long, VT::LongOut>("GetImageMedia", 44),
        Method<&C::ArrangePatients, VT::Bool, VT::Short, VT::Bool>("ArrangePatients", 45),
        Method<&C::GetPatientCount, VT::Bool, VT::LongOut>("GetPatientCount", 46),
        Method<&C::GetPatient, VT::Bool, VT::Long, VT::LongOut>("GetPatient", 47),
        Method<&C::SearchPatient, VT::Bool, VT::String, VT::Short, VT::String, VT::Short, VT::Bool, VT::Bool,
                      VT::LongOut>("SearchPatient", 48),
        Method<&C::SearchPatient2, VT::Bool, VT::String, VT::Short, VT::String, VT::Short, VT::Bool,
                      VT::String, VT::Short, VT::Bool, VT::Bool, VT::LongOut>("SearchPatient2", 49),
        Method<&C::GetFoundPatient, VT::Bool, VT::Long, VT::LongOut>("GetFoundPatient", 50),
        Method<&C::SearchDoctor, VT::Bool, VT::Long, VT::LongOut>("SearchDoctor", 51),
        Method<&C::GetDoctorOwnerKey, VT::Bool, VT::Long, VT::LongOut>("GetDoctorOwnerKey", 52),
        Method<&C::GetPtr, VT::Long>("GetPtr", 53),
    });
    return table;
}

const std::vector<CDatabaseDispatch::Member>& CDatabaseDispatch::Members() {
    Table();  // describes the members as it is built, once
    return Described();
}

// --- CDatabaseObj: class record and automation face ------------------------------

const CLSID CDatabaseObj::guid = CLSID_DatabaseObj;

IUnknown* CDatabaseObj::CreateObject() {
    auto* object = new (std::nothrow) CDatabaseObj();
    return object != nullptr ? object->GetIDispatch(FALSE) : nullptr;
}

const CRuntimeClass* CDatabaseObj::GetThisClass() { return &kDatabaseObjClass; }

const CRuntimeClass* CDatabaseObj::GetRuntimeClass() const { return &kDatabaseObjClass; }
