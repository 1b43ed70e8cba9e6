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

const CRuntimeClass kDatabaseObjClass = {"CDatabaseObj", &CDatabaseObj::CreateObject};

}  // namespace

// --- CDatabaseDispatch: the table ------------------------------------------------

const DT& CDatabaseDispatch::Table() {
    static const DT table({
        DT::Property<&C::GetObjDatabaseCallback, &C::SetObjDatabaseCallback, VT::Dispatch>("objDatabaseCallback", 1),
        DT::Property<&C::GetLKey, &C::SetLKey, VT::Long>("lKey", 2),
        DT::Property<&C::GetBDefaultEngine, &C::SetBDefaultEngine, VT::Bool>("bDefaultEngine", 3),
        DT::Property<&C::GetLEngine, &C::SetLEngine, VT::Long>("lEngine", 4),
        DT::Property<&C::GetBMultiUser, &C::SetBMultiUser, VT::Bool>("bMultiUser", 5),
        DT::Property<&C::GetStrName, &C::SetStrName, VT::String>("strName", 6),
        DT::Property<&C::GetLNumber, &C::SetLNumber, VT::Long>("lNumber", 7),
        DT::Property<&C::GetStrServerOS, &C::SetStrServerOS, VT::String>("strServerOS", 8),
        DT::Property<&C::GetStrProtocol, &C::SetStrProtocol, VT::String>("strProtocol", 9),
        DT::Property<&C::GetStrHostAddress, &C::SetStrHostAddress, VT::String>("strHostAddress", 10),
        DT::Property<&C::GetStrDataSource, &C::SetStrDataSource, VT::String>("strDataSource", 11),
        DT::Property<&C::GetStrDirectory, &C::SetStrDirectory, VT::String>("strDirectory", 12),
        DT::Property<&C::GetStrLoginID, &C::SetStrLoginID, VT::String>("strLoginID", 13),
        DT::Property<&C::GetBServerObjectInUse, &C::SetBServerObjectInUse, VT::Bool>("bServerObjectInUse", 14),
        DT::Property<&C::GetStrAppServer, &C::SetStrAppServer, VT::String>("strAppServer", 15),
        DT::Property<&C::GetLCurrentDoctor, &C::SetLCurrentDoctor, VT::Long>("lCurrentDoctor", 16),
        DT::Property<&C::GetLCurrentMedia, &C::SetLCurrentMedia, VT::Long>("lCurrentMedia", 17),
        DT::Property<&C::GetBIsNew, &C::SetBIsNew, VT::Bool>("bIsNew", 18),
        DT::Property<&C::GetBIsOpen, &C::SetBIsOpen, VT::Bool>("bIsOpen", 19),
        DT::Property<&C::GetBCompressGrayscaleImages, &C::SetBCompressGrayscaleImages, VT::Bool>(
            "bCompressGrayscaleImages", 20),
        DT::Property<&C::GetBCompressColorImages, &C::SetBCompressColorImages, VT::Bool>("bCompressColorImages",
                                                                                              21),
        DT::Property<&C::GetBAllowDuplicatePatientIDs, &C::SetBAllowDuplicatePatientIDs, VT::Bool>(
            "bAllowDuplicatePatientIDs", 22),
        DT::Property<&C::GetBDefaultImageMediaName, &C::SetBDefaultImageMediaName, VT::Bool>(
            "bDefaultImageMediaName", 23),
        DT::Property<&C::GetStrImageMediaNameFormat, &C::SetStrImageMediaNameFormat, VT::String>(
            "strImageMediaNameFormat", 24),
        DT::Property<&C::GetDateLastImageMediaCreation, &C::SetDateLastImageMediaCreation, VT::Date>(
            "dateLastImageMediaCreation", 25),
        DT::Property<&C::GetBDefault15LayoutSaved, &C::SetBDefault15LayoutSaved, VT::Bool>(
            "bDefault15LayoutSaved", 26),
        DT::Property<&C::GetLErrorCode, &C::SetLErrorCode, VT::Long>("lErrorCode", 27),
        DT::Property<&C::GetStrError, &C::SetStrError, VT::String>("strError", 28),
        DT::Method<&C::AddNew, VT::Bool, VT::Bool, VT::Bool>("AddNew", 30),
        DT::Method<&C::Get, VT::Bool, VT::Long>("Get", 31),
        DT::Method<&C::Update, VT::Bool>("Update", 32),
        DT::Method<&C::Delete, VT::Bool>("Delete", 33),
        DT::Method<&C::Open, VT::Bool>("Open", 34),
        DT::Method<&C::Open2, VT::Bool, VT::Bool>("Open2", 35),
        DT::Method<&C::Close, VT::Bool>("Close", 36),
        DT::Method<&C::ImportParameters, VT::Bool, VT::String>("ImportParameters", 37),
        DT::Method<&C::ExportParameters, VT::Bool, VT::String>("ExportParameters", 38),
        DT::Method<&C::GetDoctorCount, VT::Bool, VT::LongOut>("GetDoctorCount", 39),
        DT::Method<&C::GetDoctor, VT::Bool, VT::Long, VT::LongOut>("GetDoctor", 40),
        DT::Method<&C::GetImageMediaTypeCount, VT::Bool, VT::LongOut>("GetImageMediaTypeCount", 41),
        DT::Method<&C::GetImageMediaType, VT::Bool, VT::Long, VT::LongOut>("GetImageMediaType", 42),
        DT::Method<&C::GetImageMediaCount, VT::Bool, VT::LongOut>("GetImageMediaCount", 43),
        DT::Method<&C::GetImageMedia, VT::Bool, VT::Long, VT::LongOut>("GetImageMedia", 44),
        DT::Method<&C::ArrangePatients, VT::Bool, VT::Short, VT::Bool>("ArrangePatients", 45),
        DT::Method<&C::GetPatientCount, VT::Bool, VT::LongOut>("GetPatientCount", 46),
        DT::Method<&C::GetPatient, VT::Bool, VT::Long, VT::LongOut>("GetPatient", 47),
        DT::Method<&C::SearchPatient, VT::Bool, VT::String, VT::Short, VT::String, VT::Short, VT::Bool, VT::Bool,
                      VT::LongOut>("SearchPatient", 48),
        DT::Method<&C::SearchPatient2, VT::Bool, VT::String, VT::Short, VT::String, VT::Short, VT::Bool,
                      VT::String, VT::Short, VT::Bool, VT::Bool, VT::LongOut>("SearchPatient2", 49),
        DT::Method<&C::GetFoundPatient, VT::Bool, VT::Long, VT::LongOut>("GetFoundPatient", 50),
        DT::Method<&C::SearchDoctor, VT::Bool, VT::Long, VT::LongOut>("SearchDoctor", 51),
        DT::Method<&C::GetDoctorOwnerKey, VT::Bool, VT::Long, VT::LongOut>("GetDoctorOwnerKey", 52),
        DT::Method<&C::GetPtr, VT::Long>("GetPtr", 53),
    });
    return table;
}

const std::vector<CDatabaseDispatch::Member>& CDatabaseDispatch::Members() {
    static const std::vector<Member> members = [] {
        std::vector<Member> described;
        for (const DT::Entry& entry : Table().Entries()) {
            Member member{entry.name, entry.dispId, entry.property, qel::platform::DispTypeName(entry.type), {}};
            for (VT parameter : entry.parameters) member.parameters.emplace_back(qel::platform::DispTypeName(parameter));
            described.push_back(std::move(member));
        }
        return described;
    }();
    return members;
}

// --- CDatabaseObj: class record and automation face ------------------------------

const CLSID CDatabaseObj::guid = CLSID_DatabaseObj;

IUnknown* CDatabaseObj::CreateObject() {
    auto* object = new (std::nothrow) CDatabaseObj();
    return object != nullptr ? object->GetIDispatch(FALSE) : nullptr;
}

const CRuntimeClass* CDatabaseObj::GetThisClass() { return &kDatabaseObjClass; }

const CRuntimeClass* CDatabaseObj::GetRuntimeClass() const { return &kDatabaseObjClass; }
