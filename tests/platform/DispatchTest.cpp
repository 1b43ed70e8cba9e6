// Automation values, calls by member name and the DispatchObject base.
#include <qel/platform/Dispatch.h>
#include <qel/platform/DispatchTable.h>
#include <qel/platform/DispatchErrorText.h>
#include <qel/platform/DispatchMembers.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include <qel/platform/ComPtr.h>

using namespace qel::platform;

namespace {

// A dispatch object written against the raw interface, to see exactly what
// the name-based calls hand to GetIDsOfNames and Invoke.
struct RawDispatch : IDispatch {
    virtual ~RawDispatch() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        lastName = Utf8FromOleString(names[0]);
        EXPECT_EQ(count, 1u);
        ids[0] = lastName == "Sum" ? 7 : DISPID_UNKNOWN;
        return ids[0] == 7 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        ++invokes;
        lastFlags = flags;
        EXPECT_EQ(id, 7);
        // Arguments arrive last first: Sum(a, b) computes a * 10 + b.
        EXPECT_EQ(params->cArgs, 2u);
        result->vt = VT_I4;
        result->lVal = params->rgvarg[1].lVal * 10 + params->rgvarg[0].lVal;
        return S_OK;
    }

    ULONG refs = 1;
    int invokes = 0;
    WORD lastFlags = 0;
    std::string lastName;
};

class Counter : public DispatchObject<Counter> {
public:
    static ComPtr<Counter> Make() { return ComPtr<Counter>::Adopt(new Counter); }
    LONG value = 0;

    const DispatchTable<Counter>& Table() const {
        using DT = DispatchTable<Counter>;
        static const DT table({
            DT::Method<&Counter::Add, DispType::Void, DispType::Long>("Add", 1),
            DT::Property<&Counter::GetValue, &Counter::SetValue, DispType::Long>("lValue", 2),
            DT::Method<&Counter::Fail, DispType::Void>("Fail", 3),
            DT::Method<&Counter::Refuse, DispType::Void>("Refuse", 4),
            DT::ReadOnly<&Counter::Text, DispType::String>("strText", 5),
        });
        return table;
    }

private:
    void Add(LONG n) { value += n; }
    LONG GetValue() { return value; }
    void SetValue(LONG n) { value = n; }
    void Fail() { throw std::runtime_error("broken member"); }
    void Refuse() { throw DispatchFailure{DISP_E_OVERFLOW}; }
    std::string Text() { return std::to_string(value); }
};

}  // namespace

TEST(DispatchTest, VariantsOwnTheirStringsAndReferences) {
    Variant text(std::string_view("Grüße"));
    Variant copy = text;
    EXPECT_NE(copy.Raw().bstrVal, text.Raw().bstrVal) << "a copy is a new string";
    std::string out;
    ASSERT_TRUE(copy.ToString(&out));
    EXPECT_EQ(out, "Grüße");
    Variant moved = std::move(text);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(moved.Type(), VT_BSTR);

    RawDispatch raw;
    {
        Variant object(static_cast<IDispatch*>(&raw));
        Variant again = object;
        EXPECT_EQ(raw.refs, 3u);
        EXPECT_EQ(again.GetDispatch(), &raw);
    }
    EXPECT_EQ(raw.refs, 1u);

    LONG n = 0;
    EXPECT_TRUE(Variant(Variant::Bool{true}).ToLong(&n));
    EXPECT_EQ(n, 1);
    EXPECT_TRUE(Variant(-3.0).ToLong(&n));
    EXPECT_EQ(n, -3);
    EXPECT_FALSE(Variant(2.5).ToLong(&n));
    EXPECT_FALSE(Variant(1e12).ToLong(&n));
}

// The conversions automation clients rely on, and the values that refuse them.
TEST(DispatchTest, ConversionsBetweenNumbersTextBoolsAndDates) {
    LONG n = 0;
    EXPECT_TRUE(Variant(std::string_view(" -12 ")).ToLong(&n));
    EXPECT_EQ(n, -12);
    EXPECT_TRUE(Variant(std::string_view("+7")).ToLong(&n));
    EXPECT_EQ(n, 7);
    for (const char* bad : {"", "12a", "1 2", "0x10", "2147483648", "1.5"})
        EXPECT_FALSE(Variant(std::string_view(bad)).ToLong(&n)) << bad;
    EXPECT_TRUE(Variant::Short(-5).ToLong(&n));
    EXPECT_EQ(n, -5);
    EXPECT_TRUE(Variant().ToLong(&n));
    EXPECT_EQ(n, 0);

    SHORT s = 0;
    EXPECT_TRUE(Variant(LONG{32767}).ToShort(&s));
    EXPECT_EQ(s, 32767);
    EXPECT_FALSE(Variant(LONG{32768}).ToShort(&s));
    EXPECT_FALSE(Variant(LONG{-32769}).ToShort(&s));

    BOOL b = FALSE;
    EXPECT_TRUE(Variant(LONG{-3}).ToBool(&b));
    EXPECT_EQ(b, TRUE) << "any nonzero number is true";
    EXPECT_TRUE(Variant(std::string_view("FALSE")).ToBool(&b));
    EXPECT_EQ(b, FALSE);
    EXPECT_TRUE(Variant(std::string_view("1")).ToBool(&b));
    EXPECT_EQ(b, TRUE);
    EXPECT_FALSE(Variant(std::string_view("yes")).ToBool(&b));

    LONG target = 5;
    const Variant ref = Variant::ByRef(&target);
    EXPECT_EQ(ref.Type(), VT_BYREF | VT_I4);
    EXPECT_EQ(ref.GetLongRef(), &target);
    EXPECT_TRUE(ref.ToLong(&n));
    EXPECT_EQ(n, 5);
    Variant copied = ref;  // copies share the caller's integer
    *copied.GetLongRef() = 9;
    EXPECT_EQ(target, 9);
    EXPECT_EQ(Variant(LONG{1}).GetLongRef(), nullptr);

    DATE date = 0;
    EXPECT_TRUE(Variant(std::string_view("1900-01-01")).ToDate(&date));
    EXPECT_EQ(date, 2.0);
    EXPECT_TRUE(Variant(std::string_view("2026-12-06 12:00")).ToDate(&date));
    EXPECT_DOUBLE_EQ(date, 46362.5);
    for (const char* bad : {"2026-13-01", "06.12.2026", "2026-12-06 25:00", "2026-12-06x"})
        EXPECT_FALSE(Variant(std::string_view(bad)).ToDate(&date)) << bad;
    EXPECT_FALSE(Variant(1e9).ToDate(&date)) << "beyond the year 9999";

    std::string out;
    EXPECT_TRUE(Variant(LONG{-4}).ToString(&out));
    EXPECT_EQ(out, "-4");
    EXPECT_TRUE(Variant(Variant::Bool{true}).ToString(&out));
    EXPECT_EQ(out, "True");
    EXPECT_FALSE(Variant(2.5).ToString(&out));
    IDispatch* none = reinterpret_cast<IDispatch*>(1);
    EXPECT_TRUE(Variant().ToDispatch(&none));
    EXPECT_EQ(none, nullptr);
    EXPECT_FALSE(Variant(LONG{1}).ToDispatch(&none));
}

TEST(DispatchTest, NamedCallsGoThroughGetIDsOfNamesAndReverseTheArguments) {
    RawDispatch raw;
    Variant result;
    ASSERT_EQ(CallMethod(&raw, "Sum", {Variant(LONG{4}), Variant(LONG{2})}, &result), S_OK);
    EXPECT_EQ(raw.lastName, "Sum");
    EXPECT_EQ(raw.lastFlags, DISPATCH_METHOD);
    LONG n = 0;
    ASSERT_TRUE(result.ToLong(&n));
    EXPECT_EQ(n, 42);

    EXPECT_EQ(CallMethod(&raw, "Product", {}, &result), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(raw.invokes, 1) << "an unknown name is never invoked";
    EXPECT_EQ(GetProperty(nullptr, "Sum", &result), E_POINTER);
    EXPECT_EQ(raw.refs, 1u);
}

TEST(DispatchTest, DispatchObjectsMatchNamesCaselessAndCountReferences) {
    auto counter = Counter::Make();
    IDispatch* dispatch = counter.Get();

    ASSERT_EQ(CallMethod(dispatch, "ADD", {Variant(LONG{5})}, nullptr), S_OK);
    ASSERT_EQ(PutProperty(dispatch, "lvalue", Variant(LONG{9})), S_OK);
    Variant result;
    ASSERT_EQ(GetProperty(dispatch, "LValue", &result), S_OK);
    LONG n = 0;
    ASSERT_TRUE(result.ToLong(&n));
    EXPECT_EQ(n, 9);

    EXPECT_EQ(CallMethod(dispatch, "Add", {Variant(std::string_view("five"))}, nullptr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(CallMethod(dispatch, "Add2", {}, nullptr), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(CallMethod(dispatch, "Fail", {}, nullptr), DISP_E_EXCEPTION) << "a C++ exception stays inside";
    EXPECT_EQ(CallMethod(dispatch, "Refuse", {}, nullptr), DISP_E_OVERFLOW) << "a member may choose the failure";
    ASSERT_EQ(GetProperty(dispatch, "strText", &result), S_OK);
    std::string text;
    ASSERT_TRUE(result.ToString(&text));
    EXPECT_EQ(text, "9");
    EXPECT_EQ(PutProperty(dispatch, "strText", Variant(LONG{1})), DISP_E_MEMBERNOTFOUND) << "read-only";
    EXPECT_EQ(InvokeByID(dispatch, 99, DISPATCH_METHOD, {}, nullptr), DISP_E_MEMBERNOTFOUND);

    void* pv = nullptr;
    ASSERT_EQ(dispatch->QueryInterface(IID_IDispatch, &pv), S_OK);
    EXPECT_EQ(counter->RefCount(), 2u);
    dispatch->Release();
    EXPECT_EQ(dispatch->QueryInterface(IID_NULL, &pv), E_NOINTERFACE);
}

// What a late-bound client learns from the object itself: every member in
// table order with its kind and types, through the same reference count.
TEST(DispatchTest, ObjectsDescribeTheirMembersAndWhichArgumentTheyRefused) {
    auto counter = Counter::Make();
    IDispatchMembers* raw = nullptr;
    ASSERT_EQ(counter->QueryInterface(IID_IDispatchMembers, reinterpret_cast<void**>(&raw)), S_OK);
    auto members = ComPtr<IDispatchMembers>::Adopt(raw);
    EXPECT_EQ(counter->RefCount(), 2u);

    std::vector<std::string> seen;
    DispatchMemberInfo info{};
    for (UINT i = 0; members->GetMember(i, &info) == S_OK; ++i) {
        std::string line = std::string(info.name) + " " + std::to_string(info.dispId) + " " +
                           std::to_string(static_cast<int>(info.kind)) + " " + DispTypeName(info.type);
        for (UINT p = 0; p < info.parameterCount; ++p) line += std::string(" ") + DispTypeName(info.parameters[p]);
        seen.push_back(line);
    }
    const std::vector<std::string> expected = {"Add 1 0 void long", "lValue 2 1 long", "Fail 3 0 void",
                                               "Refuse 4 0 void", "strText 5 2 BSTR"};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(members->GetMember(5, &info), S_FALSE);
    EXPECT_EQ(members->GetMember(0, nullptr), E_POINTER);

    // The same object through either interface.
    void* unknownA = nullptr;
    void* unknownB = nullptr;
    ASSERT_EQ(members->QueryInterface(IID_IUnknown, &unknownA), S_OK);
    ASSERT_EQ(counter->QueryInterface(IID_IUnknown, &unknownB), S_OK);
    EXPECT_EQ(unknownA, unknownB);
    static_cast<IUnknown*>(unknownA)->Release();
    static_cast<IUnknown*>(unknownB)->Release();

    // The refused argument, counted from the first in natural order.
    const std::vector<Variant> args = {Variant(std::string_view("not a number"))};
    UINT refused = 99;
    EXPECT_EQ(InvokeByID(counter.Get(), 1, DISPATCH_METHOD, args, nullptr, &refused), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(refused, 0u);
    EXPECT_EQ(DispatchErrorText(DISP_E_TYPEMISMATCH), "an argument has a type that cannot be converted");
    EXPECT_EQ(DispatchErrorText(E_FAIL), "") << "an unknown code leaves the number to the caller";
}
