// The COM base through a real engine class: identity, reference counts,
// module counts, class factories and IDispatch over the type library.
#include "olvex/com/com_object.h"

#include <gtest/gtest.h>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/com/last_error.h"
#include "olvex/olvex.h"

namespace olvex::com {
namespace {

class ComApartment : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override { CoUninitialize(); }
};

// The module counts start from zero once the worker threads that earlier
// tests of this program started have let go of their engine objects, which
// they do as their very last step: wait for that, boundedly.
class ComObjectTest : public ComApartment {
  protected:
    void SetUp() override {
        ComApartment::SetUp();
        for (int waited = 0; !ModuleCanUnload() && waited < 10000; waited += 20) {
            Sleep(20);
        }
    }
};

ComPtr<IScanner> MakeScanner() {
    ComPtr<IScanner> scanner;
    EXPECT_EQ(CreateEngineObject(CLSID_Scanner, scanner.Put()), S_OK);
    return scanner;
}

TEST_F(ComObjectTest, QueryInterfaceAnswersTheObjectsInterfacesOnly) {
    const ComPtr<IScanner> scanner = MakeScanner();
    ASSERT_TRUE(scanner);

    ComPtr<IUnknown> unknown1, unknown2;
    ASSERT_EQ(scanner->QueryInterface(IID_IUnknown, unknown1.PutVoid()), S_OK);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(scanner->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
    ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, unknown2.PutVoid()), S_OK);
    EXPECT_EQ(unknown1.Get(), unknown2.Get());  // one identity

    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(scanner->QueryInterface(IID_IPestDatabase, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(scanner->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(scanner->QueryInterface(IID_IScanner, nullptr), E_POINTER);
}

TEST_F(ComObjectTest, ReferenceCountsAndModuleCounts) {
    ASSERT_TRUE(ModuleCanUnload());
    IScanner* raw = nullptr;
    ASSERT_EQ(CreateEngineObject(CLSID_Scanner, &raw), S_OK);
    EXPECT_FALSE(ModuleCanUnload());
    EXPECT_EQ(raw->AddRef(), 2u);
    EXPECT_EQ(raw->Release(), 1u);
    EXPECT_EQ(raw->Release(), 0u);
    EXPECT_TRUE(ModuleCanUnload());
}

TEST_F(ComObjectTest, ClassFactoriesCreateAndLock) {
    ASSERT_TRUE(ModuleCanUnload());
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(GetEngineClassFactory(CLSID_Excluder, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_FALSE(ModuleCanUnload());  // a held factory keeps the module

    ComPtr<IExcluder> excluder;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IExcluder, excluder.PutVoid()), S_OK);
    EXPECT_TRUE(excluder);
    void* aggregated = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(excluder.Get(), IID_IUnknown, &aggregated),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(aggregated, nullptr);
    void* wrong = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IScanner, &wrong), E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);
    excluder.Reset();

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_FALSE(ModuleCanUnload());  // the lock alone keeps it
    ASSERT_EQ(GetEngineClassFactory(CLSID_Excluder, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_TRUE(ModuleCanUnload());

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(GetEngineClassFactory(IID_IScanner, IID_IClassFactory, &none),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(CreateEngineObject(IID_IScanner, IID_IUnknown, &none), REGDB_E_CLASSNOTREG);
}

// Invokes a member through IDispatch by name.
HRESULT InvokeByName(IDispatch* object, const wchar_t* name, WORD flags,
                     std::vector<VARIANT> arguments, VARIANT* result,
                     EXCEPINFO* exception = nullptr) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    DISPPARAMS params{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    DISPID put_id = DISPID_PROPERTYPUT;
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put_id;
        params.cNamedArgs = 1;
    }
    EXCEPINFO ignored{};
    UINT bad_argument = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                        exception ? exception : &ignored, &bad_argument);
    if (!exception) {
        SysFreeString(ignored.bstrSource);
        SysFreeString(ignored.bstrDescription);
        SysFreeString(ignored.bstrHelpFile);
    }
    return hr;
}

TEST_F(ComObjectTest, DispatchThroughTheTypeLibrary) {
    const ComPtr<IScanner> scanner = MakeScanner();
    IDispatch* dispatch = scanner.Get();

    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.Put()), S_OK);
    UniqueBstr name;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name.Get(), L"IScanner");
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, info.Put()), DISP_E_BADINDEX);

    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"bsLastError")};
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 12);
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_IScanner, names, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);

    // The last-error pair works: "Success." and 0 at first, a put text reads back.
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(InvokeByName(dispatch, L"bsLastError", DISPATCH_PROPERTYGET, {}, &result), S_OK);
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_STREQ(V_BSTR(&result), L"Success.");
    VariantClear(&result);
    ASSERT_EQ(InvokeByName(dispatch, L"nLastError", DISPATCH_PROPERTYGET, {}, &result), S_OK);
    ASSERT_EQ(V_VT(&result), VT_I4);
    EXPECT_EQ(V_I4(&result), 0);

    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"Caller's text \u00e9");
    EXPECT_EQ(InvokeByName(dispatch, L"bsLastError", DISPATCH_PROPERTYPUT, {text}, nullptr), S_OK);
    VariantClear(&text);
    ASSERT_EQ(InvokeByName(dispatch, L"bsLastError", DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_STREQ(V_BSTR(&result), L"Caller's text \u00e9");
    VariantClear(&result);

    // A member that fails (a scan filter longer than 259 characters) fails
    // as a member failure, not as a dispatch error.
    VARIANT filters;
    V_VT(&filters) = VT_BSTR;
    V_BSTR(&filters) = SysAllocString(std::wstring(260, L'a').c_str());
    EXCEPINFO exception{};
    EXPECT_EQ(InvokeByName(dispatch, L"bsScanFilters", DISPATCH_PROPERTYPUT, {filters}, nullptr,
                           &exception),
              DISP_E_EXCEPTION);
    VariantClear(&filters);
    EXPECT_EQ(exception.scode, E_FAIL);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
}

TEST(LastErrorTest, TextAndNumber) {
    LastError error;
    EXPECT_EQ(error.Text(), kSuccessText);
    EXPECT_EQ(error.Code(), 0);

    error.Set("Access denied.", 21);
    EXPECT_EQ(error.Text(), "Access denied.");
    EXPECT_EQ(error.Code(), 21);
    error.SetText("Error creating thread.");  // the number stays
    EXPECT_EQ(error.Code(), 21);
    error.SetSuccess();
    EXPECT_EQ(error.Text(), "Success.");
    EXPECT_EQ(error.Code(), 0);

    // A null BSTR put is the empty text.
    EXPECT_EQ(error.PutText(nullptr), S_OK);
    UniqueBstr text;
    EXPECT_EQ(error.GetText(text.Put()), S_OK);
    ASSERT_NE(text.Get(), nullptr);
    EXPECT_EQ(SysStringLen(text.Get()), 0u);
    EXPECT_EQ(error.GetText(nullptr), E_POINTER);
    EXPECT_EQ(error.GetCode(nullptr), E_POINTER);
}

TEST(LastErrorTest, NotInitializedGuard) {
    LastError error;
    VARIANT_BOOL success = VARIANT_TRUE;
    EXPECT_TRUE(error.RequireInitialized(true, &success));
    EXPECT_EQ(success, VARIANT_TRUE);
    EXPECT_EQ(error.Text(), "Success.");

    error.SetCode(4);
    EXPECT_FALSE(error.RequireInitialized(false, &success));
    EXPECT_EQ(success, VARIANT_FALSE);
    EXPECT_EQ(error.Text(), "Not initialized.");
    EXPECT_EQ(error.Code(), 4);  // the text-only form leaves the number

    EXPECT_FALSE(error.RequireInitialized(false, nullptr, kNotInitializedText, 9));
    EXPECT_EQ(error.Code(), 9);
    EXPECT_FALSE(error.RequireInitialized(false, nullptr, "Pest database is not initialized."));
    EXPECT_EQ(error.Text(), "Pest database is not initialized.");
}

TEST(BstrTest, AnsiConversionsAtTheInterface) {
    std::string ansi;
    EXPECT_EQ(AnsiFromBstr(nullptr, ansi), S_OK);
    EXPECT_EQ(ansi, "");
    EXPECT_EQ(AnsiFromBstr(L"C:\\Program Files\\x.dat", ansi), S_OK);
    EXPECT_EQ(ansi, "C:\\Program Files\\x.dat");
    // Text after an embedded NUL is not part of an engine text.
    const UniqueBstr embedded(SysAllocStringLen(L"ab\0cd", 5));
    EXPECT_EQ(AnsiFromBstr(embedded.Get(), ansi), S_OK);
    EXPECT_EQ(ansi, "ab");
    // The ANSI code page round-trips its own characters (e-acute in 1252).
    EXPECT_EQ(AnsiFromBstr(L"caf\u00e9", ansi), S_OK);
    UniqueBstr back;
    EXPECT_EQ(BstrFromAnsi(ansi, back.Put()), S_OK);
    EXPECT_STREQ(back.Get(), L"caf\u00e9");

    EXPECT_EQ(BstrFromAnsi("x", nullptr), E_POINTER);
    EXPECT_EQ(BstrFromAnsi("", back.Put()), S_OK);
    ASSERT_NE(back.Get(), nullptr);  // an empty string, not null
    EXPECT_EQ(SysStringLen(back.Get()), 0u);
    EXPECT_EQ(BstrFromWide(nullptr, back.Put()), S_OK);
    EXPECT_EQ(SysStringLen(back.Get()), 0u);

    EXPECT_EQ(ToVariantBool(true), VARIANT_TRUE);
    EXPECT_EQ(ToVariantBool(false), VARIANT_FALSE);
    EXPECT_TRUE(IsVariantTrue(-1));
    EXPECT_FALSE(IsVariantTrue(1));  // only -1 is true
    EXPECT_FALSE(IsVariantTrue(0));
}

TEST(GuardedTest, ExceptionsBecomeHresults) {
    EXPECT_EQ(Guarded([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(Guarded([]() -> HRESULT { throw 42; }), E_UNEXPECTED);
    EXPECT_EQ(Guarded([] { return S_FALSE; }), S_FALSE);
}

}  // namespace
}  // namespace olvex::com
