// The database object's automation face: its dispatch numbers, the
// conversions and standard failures of Invoke, and a database driven end to
// end by member names only.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <qel/database/DatabaseObj.h>
#include <qel/database/ImageMediaTypeObject.h>
#include <qel/frame/DatabaseDispatch.h>
#include <qel/frame/ObjectFactory.h>
#include <qel/platform/Dispatch.h>

#include "support/Sandbox.h"
#include "support/TestDispatch.h"

using qel::platform::Variant;

namespace {

// Invokes by dispatch number with the arguments in natural order.
HRESULT Call(IDispatch* object, DISPID id, WORD flags, std::vector<Variant> args, Variant* result = nullptr,
             UINT* argErr = nullptr) {
    std::vector<VARIANT> raw;
    for (auto it = args.rbegin(); it != args.rend(); ++it) raw.push_back(it->Raw());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{raw.data(), nullptr, static_cast<UINT>(raw.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    Variant local;
    return object->Invoke(id, IID_NULL, 0, flags, &params, (result != nullptr ? result : &local)->Out(), nullptr,
                          argErr);
}

LONG AsLong(const Variant& v) {
    LONG n = -12345;
    EXPECT_TRUE(v.ToLong(&n));
    return n;
}

TEST(Automation, DispatchNumbersFollowTheTable) {
    const std::vector<const char*> names = {
        "objDatabaseCallback", "lKey", "bDefaultEngine", "lEngine", "bMultiUser", "strName", "lNumber",
        "strServerOS", "strProtocol", "strHostAddress", "strDataSource", "strDirectory", "strLoginID",
        "bServerObjectInUse", "strAppServer", "lCurrentDoctor", "lCurrentMedia", "bIsNew", "bIsOpen",
        "bCompressGrayscaleImages", "bCompressColorImages", "bAllowDuplicatePatientIDs", "bDefaultImageMediaName",
        "strImageMediaNameFormat", "dateLastImageMediaCreation", "bDefault15LayoutSaved", "lErrorCode", "strError",
        nullptr, "AddNew", "Get", "Update", "Delete", "Open", "Open2", "Close", "ImportParameters",
        "ExportParameters", "GetDoctorCount", "GetDoctor", "GetImageMediaTypeCount", "GetImageMediaType",
        "GetImageMediaCount", "GetImageMedia", "ArrangePatients", "GetPatientCount", "GetPatient", "SearchPatient",
        "SearchPatient2", "GetFoundPatient", "SearchDoctor", "GetDoctorOwnerKey", "GetPtr"};
    ASSERT_EQ(names.size(), 53u);
    int assigned = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        const DISPID id = static_cast<DISPID>(i + 1);
        if (names[i] == nullptr) {
            EXPECT_TRUE(CDatabaseDispatch::NameOfId(id).empty()) << id;
            continue;
        }
        ++assigned;
        EXPECT_EQ(CDatabaseDispatch::IdOfName(names[i]), id) << names[i];
        EXPECT_EQ(CDatabaseDispatch::NameOfId(id), names[i]);
    }
    EXPECT_EQ(assigned, 52);
    EXPECT_TRUE(CDatabaseDispatch::NameOfId(54).empty());

    CDatabaseObj db;
    DISPID id = 0;
    EXPECT_EQ(qel::platform::GetDispatchID(db.GetIDispatch(FALSE), "STRERROR", &id), S_OK);
    EXPECT_EQ(id, 28);
    EXPECT_EQ(qel::platform::GetDispatchID(db.GetIDispatch(FALSE), "addnew", &id), S_OK);
    EXPECT_EQ(id, 30);
    EXPECT_EQ(qel::platform::GetDispatchID(db.GetIDispatch(FALSE), "NoSuchMember", &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    EXPECT_EQ(Call(db.GetIDispatch(FALSE), 29, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
}

TEST(Automation, ConversionsAndStandardFailures) {
    CDatabaseObj db;
    IDispatch* d = db.GetIDispatch(FALSE);
    Variant r;
    UINT argErr = 99;
    LONG count = -1;

    // Properties: put then get, with the result types of the table.
    ASSERT_EQ(Call(d, 11, DISPATCH_PROPERTYPUT, {Variant(" Studio Bianchi ")}), S_OK);
    ASSERT_EQ(Call(d, 11, DISPATCH_PROPERTYGET, {}, &r), S_OK);
    std::string text;
    EXPECT_TRUE(r.ToString(&text));
    EXPECT_EQ(text, "Studio Bianchi");
    ASSERT_EQ(Call(d, 19, DISPATCH_METHOD, {}, &r), S_OK) << "a method call without arguments reads a property";
    EXPECT_EQ(r.Type(), VT_BOOL);
    EXPECT_EQ(r.Raw().boolVal, VARIANT_FALSE);
    ASSERT_EQ(Call(d, 2, DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.Type(), VT_I4);
    // A number given as text converts; a word does not.
    EXPECT_EQ(Call(d, 40, DISPATCH_METHOD, {Variant(" 3 "), Variant::ByRef(&count)}), S_OK);
    EXPECT_EQ(Call(d, 40, DISPATCH_METHOD, {Variant("three"), Variant::ByRef(&count)}, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u) << "counted from the last argument";

    // Out-parameters come back through the caller's integer.
    EXPECT_EQ(Call(d, 39, DISPATCH_METHOD, {Variant::ByRef(&count)}, &r), S_OK);
    EXPECT_EQ(r.Raw().boolVal, VARIANT_FALSE) << "closed database";

    // A short given as a long, but not beyond a short's range.
    EXPECT_EQ(Call(d, 45, DISPATCH_METHOD, {Variant(LONG{1}), Variant(Variant::Bool{true})}), S_OK);
    EXPECT_EQ(Call(d, 45, DISPATCH_METHOD, {Variant(LONG{70000}), Variant(LONG{1})}, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u) << "counted from the last argument";

    EXPECT_EQ(Call(d, 31, DISPATCH_METHOD, {}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(d, 31, DISPATCH_METHOD, {Variant(LONG{1}), Variant(LONG{2})}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(d, 6, DISPATCH_PROPERTYGET, {Variant(LONG{1})}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(d, 31, DISPATCH_METHOD, {Variant("three")}, nullptr, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(Call(d, 39, DISPATCH_METHOD, {Variant(LONG{0})}), DISP_E_TYPEMISMATCH) << "long* needs a reference";
    EXPECT_EQ(Call(d, 34, DISPATCH_PROPERTYPUT, {Variant(LONG{1})}), DISP_E_MEMBERNOTFOUND) << "put on a method";
    EXPECT_EQ(Call(d, 25, DISPATCH_PROPERTYPUT, {Variant("31.12.2026")}), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(Call(d, 25, DISPATCH_PROPERTYPUT, {Variant("2026-12-06")}), S_OK);
    ASSERT_EQ(Call(d, 25, DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.Type(), VT_DATE);
}

// What GetIDsOfNames answers for one name held as a plain wide string that
// starts `offset` characters into `buffer` (the characters in front of it
// are whatever the buffer holds there, as in a client's own memory).
HRESULT IdOfPlainName(IDispatch* object, char16_t* buffer, size_t offset, DISPID* id) {
    LPOLESTR names[] = {buffer + offset};
    *id = 12345;
    return object->GetIDsOfNames(IID_NULL, names, 1, 0, id);
}

// Every dispatch object reads the names as zero-terminated wide strings: a
// name in a plain array is found whatever lies in front of it, and nothing
// in front of it is read (an exactly sized heap copy, which the address
// sanitizer guards, and words that as a BSTR length would be zero or ~2 GB).
TEST(Automation, NamesArePlainWideStringsInEveryDispatchObject) {
    CDatabaseObj db;
    qel::platform::ComPtr<IDispatch> mediaType = qel::platform::ComPtr<IDispatch>::Adopt(CreateImageMediaTypeObject());
    ASSERT_TRUE(mediaType);
    auto callback = qel::test::TestCallback::Make();
    const struct {
        IDispatch* object;
        std::u16string name;
        DISPID id;
    } cases[] = {{db.GetIDispatch(FALSE), u"strError", 28},
                 {db.GetIDispatch(FALSE), u"getptr", 53},
                 {mediaType.Get(), u"lErrorThreshold", 6},
                 {callback.Get(), u"OnMessage", qel::test::TestCallback::kOnMessage}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
        DISPID id = 0;

        std::unique_ptr<char16_t[]> exact(new char16_t[c.name.size() + 1]);
        std::copy(c.name.begin(), c.name.end(), exact.get());
        exact[c.name.size()] = 0;
        EXPECT_EQ(IdOfPlainName(c.object, exact.get(), 0, &id), S_OK);
        EXPECT_EQ(id, c.id);

        for (const char16_t front : {u'\0', u'\xFFFF'}) {
            std::u16string buffer(2, front);
            buffer += c.name;
            buffer += u'\0';
            buffer += u"trailing words after the terminator";
            EXPECT_EQ(IdOfPlainName(c.object, buffer.data(), 2, &id), S_OK) << static_cast<int>(front);
            EXPECT_EQ(id, c.id);
        }

        // The terminator ends the name even inside a longer buffer.
        std::u16string cut = c.name + u"Tail";
        cut[c.name.size()] = 0;
        EXPECT_EQ(IdOfPlainName(c.object, cut.data(), 0, &id), S_OK);
        std::u16string longer = c.name + u"X";
        EXPECT_EQ(IdOfPlainName(c.object, longer.data(), 0, &id), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(id, DISPID_UNKNOWN);
    }
}

TEST(Automation, ReferencesAndGetPtr) {
    IUnknown* unknown = CDatabaseObj::CreateObject();
    ASSERT_NE(unknown, nullptr);
    IDispatch* d = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IDatabaseObj, reinterpret_cast<void**>(&d)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(d), unknown) << "one interface serves IUnknown, IDispatch and the class";
    void* other = nullptr;
    EXPECT_EQ(unknown->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    Variant first, again;
    ASSERT_EQ(qel::platform::CallMethod(d, "GetPtr", {}, &first), S_OK);
    ASSERT_EQ(qel::platform::CallMethod(d, "getptr", {}, &again), S_OK);
    EXPECT_EQ(AsLong(first), AsLong(again));
    CDatabaseObj* native = CDatabaseObj::FromPtr(AsLong(first));
    ASSERT_NE(native, nullptr);
    EXPECT_STREQ(native->GetRuntimeClass()->m_lpszClassName, "CDatabaseObj");

    CDatabaseObj second;
    EXPECT_NE(second.GetPtr(), AsLong(first));

    const LONG locks = AfxOleLockCount();
    unknown->Release();
    EXPECT_EQ(d->Release(), 0u) << "the last release deletes the object";
    EXPECT_EQ(CDatabaseObj::FromPtr(AsLong(first)), nullptr);
    EXPECT_EQ(AfxOleLockCount(), locks - 1);
}

// A database driven only by member names: profile, open, counts, search,
// settings, parameter file, close, with the notifications on the way.
TEST(Automation, ADatabaseDrivenByNames) {
    ::setenv("QEL_MODULE_DIR", qel::test::BinaryPath("bin").c_str(), 1);
    IUnknown* unknown = CDatabaseObj::CreateObject();
    IDispatch* d = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
    unknown->Release();
    auto call = [&](const char* name, std::initializer_list<Variant> args) {
        Variant r;
        EXPECT_EQ(qel::platform::CallMethod(d, name, args, &r), S_OK) << name;
        BOOL ok = FALSE;
        EXPECT_TRUE(r.ToBool(&ok)) << name;
        return ok;
    };
    const std::string file = qel::test::Sandbox::Current().Path("auto/clinic.db");
    ASSERT_TRUE(call("AddNew", {Variant(LONG{1}), Variant(LONG{0})}));
    ASSERT_EQ(qel::platform::PutProperty(d, "strDataSource", Variant("QelAuto")), S_OK);
    ASSERT_EQ(qel::platform::PutProperty(d, "strDirectory", Variant(file)), S_OK);
    ASSERT_TRUE(call("Open2", {Variant(LONG{0})}));

    LONG n = -1;
    EXPECT_TRUE(call("GetImageMediaTypeCount", {Variant::ByRef(&n)}));
    EXPECT_EQ(n, 2) << "a new database has the default media types";
    EXPECT_TRUE(call("GetPatientCount", {Variant::ByRef(&n)}));
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(call("SearchPatient", {Variant(""), Variant::Short(0), Variant(""), Variant::Short(0), Variant(LONG{0}),
                                      Variant(LONG{0}), Variant::ByRef(&n)}));
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(call("GetFoundPatient", {Variant(LONG{0}), Variant::ByRef(&n)}));
    Variant code;
    ASSERT_EQ(qel::platform::GetProperty(d, "lErrorCode", &code), S_OK);
    EXPECT_EQ(AsLong(code), 10);

    ASSERT_EQ(qel::platform::PutProperty(d, "bCompressColorImages", Variant(Variant::Bool{true})), S_OK);
    ASSERT_EQ(qel::platform::PutProperty(d, "strImageMediaNameFormat", Variant("  CL_%i ")), S_OK);
    Variant format;
    ASSERT_EQ(qel::platform::GetProperty(d, "strImageMediaNameFormat", &format), S_OK);
    std::string text;
    format.ToString(&text);
    EXPECT_EQ(text, "CL_%i");
    const std::string params = qel::test::Sandbox::Current().Path("auto/params.ini");
    EXPECT_TRUE(call("ExportParameters", {Variant(params)}));
    EXPECT_TRUE(call("Close", {}));

    // Reopened, the settings are what was stored.
    ASSERT_TRUE(call("Open", {}));
    Variant color;
    ASSERT_EQ(qel::platform::GetProperty(d, "bCompressColorImages", &color), S_OK);
    EXPECT_EQ(color.Raw().boolVal, VARIANT_TRUE);
    EXPECT_TRUE(call("ImportParameters", {Variant(params)}));
    EXPECT_TRUE(call("Close", {}));
    EXPECT_EQ(d->Release(), 0u);
}

}  // namespace
