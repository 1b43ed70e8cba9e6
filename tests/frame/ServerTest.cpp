// The component as an in-process server: start-up, the class factories, the
// three entry points, and creation by ProgID the way a client does it
// (registry lookup, dlopen of the registered library, class factory).
#include <gtest/gtest.h>

#include <filesystem>

#include <qel/database/DatabaseObj.h>
#include <qel/database/ImageMediaTypeObject.h>
#include <qel/frame/DatabaseApp.h>
#include <qel/frame/DatabaseDispatch.h>
#include <qel/frame/EntryPoints.h>
#include <qel/frame/ObjectFactory.h>
#include <qel/outside/QELServer.h>
#include <qel/platform/AppProfile.h>
#include <qel/platform/ClassRegistry.h>
#include <qel/platform/ComActivation.h>
#include <qel/platform/Registry.h>

#include "support/Sandbox.h"

using qel::platform::Variant;

namespace {

TEST(Server, LoadingTheLibraryInitialisesTheApplication) {
    EXPECT_TRUE(theApp().IsInitialised());
    EXPECT_EQ(theApp().AppName(), "Quorva");
    EXPECT_EQ(theApp().RegistryKey(), "Talveni");
    EXPECT_EQ(qel::platform::AppProfile::Current().RootKey(), "Software\\Talveni\\Quorva");
    // The factories are known to the process: in-process code creates objects
    // without the registry.
    IDispatch* object = nullptr;
    ASSERT_EQ(qel::platform::CreateInstance(CLSID_DatabaseObj, IID_IDispatch, reinterpret_cast<void**>(&object)),
              S_OK);
    object->Release();
}

TEST(Server, FactoriesAndUnloading) {
    ASSERT_EQ(DllCanUnloadNow(), S_OK) << "nothing exists yet";
    IClassFactory* factory = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_DatabaseObj, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(DllGetClassObject(IID_IDatabaseObj, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);

    IDispatch* first = nullptr;
    IDispatch* second = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&first)), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDatabaseObj, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_NE(first, second);
    IUnknown* outer = first;
    void* aggregated = nullptr;
    EXPECT_EQ(factory->CreateInstance(outer, IID_IDispatch, &aggregated), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &aggregated), E_NOINTERFACE);
    EXPECT_EQ(aggregated, nullptr);

    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "two objects exist";
    first->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "one object exists";
    second->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a client holds a lock";
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    factory->Release();

    {
        CDatabaseObj native;  // an object made in process counts as well
        EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(Server, RegistrationAndCreationByProgId) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID("QEL.Database", &clsid), CO_E_CLASSSTRING) << "not registered yet";

    EXPECT_EQ(DllRegisterServer(), S_OK);
    ASSERT_EQ(CLSIDFromProgID("qel.database", &clsid), S_OK) << "ProgIDs compare without regard to case";
    EXPECT_EQ(clsid, CLSID_DatabaseObj);
    const std::string library = qel::platform::InprocServerPath(clsid);
    EXPECT_EQ(std::filesystem::path(library).filename().string().rfind("libqeldb.so", 0), 0u) << library;
    EXPECT_TRUE(std::filesystem::exists(library));
    auto& registry = qel::platform::Registry::CurrentUser();
    EXPECT_EQ(registry.GetString("Software\\Classes\\CLSID\\" + qel::platform::GuidToString(clsid) + "\\ProgID", ""),
              "QEL.Database");

    IDispatch* object = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)),
              S_OK);
    ASSERT_EQ(qel::platform::PutProperty(object, "strDataSource", Variant("Studio")), S_OK);
    Variant name;
    ASSERT_EQ(qel::platform::GetProperty(object, "strDataSource", &name), S_OK);
    std::string text;
    name.ToString(&text);
    EXPECT_EQ(text, "Studio");
    object->Release();
    CoFreeUnusedLibraries();

    // The media type object and the default application server come the same way.
    for (const char* progId : {"QEL.ImageMediaType", "QEL.DefaultServer"}) {
        CLSID other{};
        ASSERT_EQ(CLSIDFromProgID(progId, &other), S_OK) << progId;
        IUnknown* created = nullptr;
        ASSERT_EQ(CoCreateInstance(other, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&created)),
                  S_OK)
            << progId;
        created->Release();
    }
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    // A registered library that is missing, or that is no server.
    const CLSID missing = {0x1, 0x2, 0x3, {1, 2, 3, 4, 5, 6, 7, 8}};
    ASSERT_TRUE(qel::platform::RegisterInprocServer(missing, "QEL.Missing", "Missing",
                                                    qel::test::Sandbox::Current().Path("none/libnothing.so")));
    void* ppv = nullptr;
    EXPECT_EQ(CoCreateInstance(missing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &ppv), CO_E_DLLNOTFOUND);
    ASSERT_TRUE(qel::platform::RegisterInprocServer(missing, "QEL.Missing", "Missing", "libm.so.6"));
    EXPECT_EQ(CoCreateInstance(missing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &ppv), CO_E_ERRORINDLL);
    EXPECT_EQ(ppv, nullptr);
}

TEST(Server, RegisteringSucceedsEvenWhenTheRegistryCannotBeWritten) {
    // A folder where the registry file should be: nothing can be written.
    const std::string folder = qel::test::Sandbox::Current().Path("registry-folder");
    std::filesystem::create_directories(folder);
    ::setenv("QEL_REGISTRY_FILE", folder.c_str(), 1);
    EXPECT_EQ(DllRegisterServer(), S_OK);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID("QEL.Database", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(COleObjectFactory::UpdateRegistryAll(TRUE), FALSE);
}

TEST(Server, TheMediaTypeObjectTakesTheDatabaseAsItsParent) {
    CDatabaseObj db;  // closed: the binding answers 50
    IDispatch* type = CreateImageMediaTypeObject();
    ASSERT_NE(type, nullptr);
    Variant ok;
    ASSERT_EQ(qel::platform::CallMethod(type, "CreatePriv", {Variant(db.GetIDispatch(FALSE))}, &ok), S_OK);
    Variant code;
    ASSERT_EQ(qel::platform::GetProperty(type, "lErrorCode", &code), S_OK);
    LONG value = 0;
    code.ToLong(&value);
    EXPECT_EQ(value, 50);
    // Something that is no database object is no parent either.
    ASSERT_EQ(qel::platform::CallMethod(type, "CreatePriv", {Variant(type)}, &ok), S_OK);
    BOOL bound = TRUE;
    ok.ToBool(&bound);
    EXPECT_FALSE(bound);
    type->Release();
}

}  // namespace
