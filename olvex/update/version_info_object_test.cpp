// The version information object's own dispatch branch for GetDATTimeStamp,
// whose FILETIME parameter DispInvoke cannot pass.
#include "olvex/update/version_info_object.h"

#include <gtest/gtest.h>

#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"

namespace olvex {
namespace {

constexpr DISPID kGetDatTimeStamp = 5;

class VersionInfoDispatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(com::CreateEngineObject(CLSID_VersionInfo, info_.Put()), S_OK);
    }

    HRESULT Call(std::vector<VARIANT> arguments, UINT* bad_argument = nullptr,
                 EXCEPINFO* exception = nullptr, WORD flags = DISPATCH_METHOD) {
        DISPPARAMS params{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
        EXCEPINFO ignored{};
        UINT ignored_argument = 0;
        VARIANT result;
        VariantInit(&result);
        const HRESULT hr = info_->Invoke(kGetDatTimeStamp, IID_NULL, 0, flags, &params, &result,
                                         exception ? exception : &ignored,
                                         bad_argument ? bad_argument : &ignored_argument);
        VariantClear(&result);
        for (auto& argument : arguments) {
            VariantClear(&argument);  // frees the texts; by-reference slots stay the caller's
        }
        return hr;
    }

    com::ComPtr<IVersionInfo> info_;
};

VARIANT Text(const wchar_t* text) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    // A real BSTR: the callee reads its length prefix.
    V_BSTR(&v) = SysAllocString(text);
    return v;
}

VARIANT ByRef(VARIANT* target) {
    VARIANT v;
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = target;
    return v;
}

TEST_F(VersionInfoDispatchTest, ReachesTheMemberWithScriptStyleArguments) {
    // What a script passes: a text and two variables by reference. The member
    // is not done yet, and its failure comes back as DispInvoke reports one.
    VARIANT time, success;
    VariantInit(&time);
    VariantInit(&success);
    EXCEPINFO exception{};
    EXPECT_EQ(Call({ByRef(&success), ByRef(&time), Text(L"C:\\data")}, nullptr, &exception),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_NOTIMPL);
}

TEST_F(VersionInfoDispatchTest, ReachesTheMemberWithTypedSlots) {
    LONGLONG raw = 0;
    VARIANT_BOOL ok = VARIANT_TRUE;
    VARIANT time, success;
    V_VT(&time) = VT_BYREF | VT_I8;
    V_I8REF(&time) = &raw;
    V_VT(&success) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&success) = &ok;
    EXCEPINFO exception{};
    EXPECT_EQ(Call({success, time, Text(L"")}, nullptr, &exception), DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_NOTIMPL);
}

TEST_F(VersionInfoDispatchTest, RefusesWhatItCannotPass) {
    VARIANT time, success;
    VariantInit(&time);
    VariantInit(&success);
    VARIANT number;
    V_VT(&number) = VT_I4;
    V_I4(&number) = 1;

    EXPECT_EQ(Call({ByRef(&success), Text(L"")}), DISP_E_BADPARAMCOUNT);
    UINT bad = 99;
    EXPECT_EQ(Call({ByRef(&success), number, Text(L"")}, &bad), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bad, 1u);  // the time must be a slot the member can write
    EXPECT_EQ(Call({number, ByRef(&time), Text(L"")}, &bad), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bad, 0u);
    EXPECT_EQ(
        Call({ByRef(&success), ByRef(&time), Text(L"")}, nullptr, nullptr, DISPATCH_PROPERTYGET),
        DISP_E_MEMBERNOTFOUND);

    DISPID named = 0;
    VARIANT arguments[3] = {ByRef(&success), ByRef(&time), Text(L"")};
    DISPPARAMS params{arguments, &named, 3, 1};
    EXPECT_EQ(info_->Invoke(kGetDatTimeStamp, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                            nullptr, nullptr),
              DISP_E_NONAMEDARGS);
}

TEST_F(VersionInfoDispatchTest, OtherMembersGoThroughTheTypeLibrary) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(info_->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_STREQ(V_BSTR(&result), L"Success.");
    VariantClear(&result);
}

}  // namespace
}  // namespace olvex
