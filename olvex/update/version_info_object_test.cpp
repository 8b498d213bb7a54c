// The version information object: its members, and its own dispatch branch
// for GetDATTimeStamp, whose FILETIME parameter DispInvoke cannot pass.
#include "olvex/update/version_info_object.h"

#include <gtest/gtest.h>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/core/definition_blocks.h"
#include "olvex/version.h"
#include "testing/scratch_dir.h"
#include "tools/publisher/definition_writer.h"

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

// A folder with a "qzinfo.dat" of two blocks, the second of 12 May 2004 13:00.
class DefinitionFolder {
  public:
    DefinitionFolder() {
        auto source = tools::ParseDefinitionSource(
            "block 2004-03-15 09:40\npest 1 \"A\" \"Adware\"\n"
            "block 2004-05-12 13:00\npest 2 \"B\" \"Adware\"\n",
            ".", "t.defs");
        EXPECT_TRUE(source.ok()) << source.error;
        const auto files = tools::BuildDefinitionFiles(source.set);
        dir_.Write("qzinfo.dat",
                   std::vector<unsigned char>(files.pests.begin(), files.pests.end()));
    }
    std::wstring Path() const { return dir_.path().wstring(); }
    static std::uint64_t SecondBlockTime() {
        return CalendarToFileTime({2004, 5, 12, 13, 0, 0}).value();
    }

  private:
    olvex::testing::ScratchDir dir_;
};

TEST_F(VersionInfoDispatchTest, ReachesTheMemberWithScriptStyleArguments) {
    // What a script passes: a text and two variables by reference; the time
    // comes back as a date.
    const DefinitionFolder folder;
    const com::UniqueBstr path(SysAllocString(folder.Path().c_str()));
    VARIANT time, success;
    VariantInit(&time);
    VariantInit(&success);
    ASSERT_EQ(Call({ByRef(&success), ByRef(&time), Text(path.Get())}), S_OK);
    ASSERT_EQ(V_VT(&success), VT_BOOL);
    EXPECT_EQ(V_BOOL(&success), VARIANT_TRUE);
    ASSERT_EQ(V_VT(&time), VT_DATE);
    SYSTEMTIME system{};
    ASSERT_TRUE(VariantTimeToSystemTime(V_DATE(&time), &system));
    EXPECT_EQ(system.wYear, 2004);
    EXPECT_EQ(system.wMonth, 5);
    EXPECT_EQ(system.wDay, 12);
    EXPECT_EQ(system.wHour, 13);
}

TEST_F(VersionInfoDispatchTest, ReachesTheMemberWithTypedSlots) {
    const DefinitionFolder folder;
    const com::UniqueBstr path(SysAllocString(folder.Path().c_str()));
    LONGLONG raw = 0;
    VARIANT_BOOL ok = VARIANT_FALSE;
    VARIANT time, success;
    V_VT(&time) = VT_BYREF | VT_I8;
    V_I8REF(&time) = &raw;
    V_VT(&success) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&success) = &ok;
    EXPECT_EQ(Call({success, time, Text(path.Get())}), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(static_cast<std::uint64_t>(raw), DefinitionFolder::SecondBlockTime());

    // A folder without definitions: no success, and the reason.
    ok = VARIANT_TRUE;
    EXPECT_EQ(Call({success, time, Text(L"C:\\no-such-folder")}), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    com::UniqueBstr error;
    ASSERT_EQ(info_->get_bsLastError(error.Put()), S_OK);
    EXPECT_STREQ(error.Get(), L"Could not open qzinfo.dat.");
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

TEST_F(VersionInfoDispatchTest, EngineVersionAndCompositeVersion) {
    // This program carries the engine's version resource.
    com::UniqueBstr version;
    ASSERT_EQ(info_->GetControlVersionAsString(version.Put()), S_OK);
    EXPECT_STREQ(version.Get(), L"" OLVEX_VERSION_TEXT);

    // No cleaner beside the definitions: it adds 0.0.0.0.
    const DefinitionFolder folder;
    const com::UniqueBstr path(SysAllocString(folder.Path().c_str()));
    com::UniqueBstr composite;
    ASSERT_EQ(info_->GetCompositeVersion(path.Get(), composite.Put()), S_OK);
    EXPECT_STREQ(composite.Get(), L"2009.11.19.17");
    com::UniqueBstr error;
    ASSERT_EQ(info_->get_bsLastError(error.Put()), S_OK);
    EXPECT_STREQ(error.Get(), L"Error retrieving olvex version info size.");
}

TEST_F(VersionInfoDispatchTest, DownloadValidity) {
    olvex::testing::ScratchDir dir;
    const auto header = SerializeBlockHeader(DefinitionBlockHeader{});
    const struct {
        const char* name;
        std::vector<unsigned char> bytes;
        VARIANT_BOOL valid;
    } cases[] = {
        {"qzinfo.dat.4040213.2.qzu", {header.begin(), header.end()}, VARIANT_TRUE},
        {"qzinfo.dat.4040213.2.qzu", {'<', 'h', 't', 'm', 'l', '>'}, VARIANT_FALSE},
        {"langv5.dat.3.2.qzu", {'t', 'e', 'x', 't'}, VARIANT_TRUE},
        {"tool.exe.3.5.qzu", {'M', 'Z'}, VARIANT_TRUE},
    };
    for (const auto& c : cases) {
        const auto path = dir.Write(c.name, c.bytes);
        const com::UniqueBstr text(SysAllocString(std::filesystem::path(path).wstring().c_str()));
        VARIANT_BOOL valid = 7;
        ASSERT_EQ(info_->IsDATValid(text.Get(), &valid), S_OK);
        EXPECT_EQ(valid, c.valid) << c.name;
    }
    VARIANT_BOOL valid = VARIANT_TRUE;
    EXPECT_EQ(info_->IsDATValid(nullptr, &valid), S_OK);
    EXPECT_EQ(valid, VARIANT_FALSE);
}

}  // namespace
}  // namespace olvex
