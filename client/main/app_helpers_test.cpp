// The main program's Windows helpers in this process under Wine, with the
// program's own string table: colours, the number format, the location
// display text, the program key and the folders.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/main/app_helpers.h"
#include "client/main/app_ids.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/page_look_ids.h"
#include "client/main/scan_dialog.h"
#include "client/main/scan_page_ids.h"
#include "client/main/scanner_callback.h"
#include "olvex/olvex.h"
#include "testing/windows_test_support.h"

namespace olvex {
namespace {

TEST(AppHelpersTest, ColoursComeFromTheStringTable) {
    EXPECT_EQ(ColorFromResource(IDS_DIALOG_BACKGROUND), RGB(255, 255, 255));
    EXPECT_EQ(ColorFromResource(IDS_HEADING_COLOUR), RGB(51, 102, 153));
    EXPECT_EQ(ColorFromResource(IDS_OWN_PAGE_COLOUR), RGB(192, 192, 192));
    EXPECT_EQ(ColorFromResource(IDS_DRIVE_TREE_COLOUR), RGB(253, 254, 236));
    // No such string: black, never a fault.
    EXPECT_EQ(ColorFromResource(9999), RGB(0, 0, 0));
}

TEST(AppHelpersTest, TheSystemNumberFormatGroupsThousands) {
    SystemNumberFormat system;
    NUMBERFMTA format = system.Format();
    format.NumDigits = 0;
    char text[128] = {};
    ASSERT_GT(GetNumberFormatA(LOCALE_USER_DEFAULT, 0, "1234567", &format, text, sizeof(text)), 0);
    // Wine's "3;0" read as a plain number would give "12,34,567".
    EXPECT_STREQ(text, "1,234,567");
    EXPECT_EQ(format.Grouping, 3u);
    ASSERT_NE(format.lpDecimalSep, nullptr);
    EXPECT_STREQ(format.lpDecimalSep, ".");
}

TEST(AppHelpersTest, TheProgramsProductVersionIsWrittenWithCommas) {
    const std::string path = testing::Narrow(testing::WindowsPath(OLVEX_GORSEWATCH5_PATH));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << path;
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    char* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\ProductVersion",
                               reinterpret_cast<void**>(&value), &length));
    EXPECT_STREQ(value, "5, 6, 7, 4");
}

TEST(AppHelpersTest, AProgramKeyWithoutAPlaceForItIsRefused) {
    EXPECT_EQ(OpenProgramKey(nullptr, true), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(OpenProgramKey(nullptr, false), ERROR_INVALID_PARAMETER);
}

TEST(AppHelpersTest, FoldersNeedTheApplication) {
    ASSERT_EQ(CGorsewatch5App::Current(), nullptr);
    EXPECT_EQ(GetInstallFolder(), "");
    EXPECT_EQ(GetSuiteFolder(), "");
}

// A location object that answers one question yes and counts references.
class FakeLocation final : public ILocation {
  public:
    enum class Kind { kNone, kCookie, kFolder, kFile, kRegistry, kProcess };
    explicit FakeLocation(Kind kind) : kind_(kind) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetString(BSTR text) override {
        set = text;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeValue(BSTR name, BSTR* value) override {
        *value = SysAllocString((std::wstring(name) + L" of " + set).c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsExclusion(VARIANT_BOOL* answer) override { return No(answer); }
    HRESULT STDMETHODCALLTYPE IsFile(VARIANT_BOOL* answer) override {
        return Answer(answer, Kind::kFile);
    }
    HRESULT STDMETHODCALLTYPE IsRegistryItem(VARIANT_BOOL* answer) override {
        return Answer(answer, Kind::kRegistry);
    }
    HRESULT STDMETHODCALLTYPE IsCookie(VARIANT_BOOL* answer) override {
        return Answer(answer, Kind::kCookie);
    }
    HRESULT STDMETHODCALLTYPE IsFolder(VARIANT_BOOL* answer) override {
        return Answer(answer, Kind::kFolder);
    }
    HRESULT STDMETHODCALLTYPE IsProcess(VARIANT_BOOL* answer) override {
        return Answer(answer, Kind::kProcess);
    }

    int references = 1;
    std::wstring set;

  private:
    HRESULT No(VARIANT_BOOL* answer) {
        *answer = VARIANT_FALSE;
        return S_OK;
    }
    HRESULT Answer(VARIANT_BOOL* answer, Kind kind) {
        // Only -1 is yes: 1 is taken for no.
        *answer = kind == kind_ ? VARIANT_TRUE : 1;
        return S_OK;
    }
    Kind kind_;
};

TEST(AppHelpersTest, LocationDisplayTextBorrowsTheLocationObject) {
    using Kind = FakeLocation::Kind;
    struct Case {
        Kind kind;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {Kind::kCookie, L"File of X"},  {Kind::kFolder, L"Folder of X"},
        {Kind::kFile, L"File of X"},    {Kind::kRegistry, L"Key of X"},
        {Kind::kProcess, L"File of X"}, {Kind::kNone, L"X"},
    };
    for (const Case& c : cases) {
        FakeLocation location(c.kind);
        BSTR text = SysAllocString(L"X");
        BSTR display = SysAllocString(L"old");
        GetLocationDisplayText(text, &display, &location);
        EXPECT_STREQ(display, c.expected);
        EXPECT_EQ(location.references, 1);
        EXPECT_EQ(location.set, L"X");
        SysFreeString(display);
        SysFreeString(text);
    }
    // The Scan dialog's kind texts come from the same questions.
    const std::pair<Kind, const wchar_t*> kinds[] = {
        {Kind::kCookie, L"Cookie"}, {Kind::kFolder, L"Folder"},   {Kind::kFile, L"File"},
        {Kind::kRegistry, L"Key"},  {Kind::kProcess, L"Process"}, {Kind::kNone, L"Unknown type"},
    };
    for (const auto& [kind, expected] : kinds) {
        FakeLocation location(kind);
        BSTR x = SysAllocString(L"X");
        EXPECT_EQ(DescribeLocation(x, &location).kind, expected);
        SysFreeString(x);
    }
    // Without a location object the whole string is shown.
    BSTR text = SysAllocString(L"File \"C:\\x\"");
    BSTR display = nullptr;
    GetLocationDisplayText(text, &display, nullptr);
    EXPECT_STREQ(display, L"File \"C:\\x\"");
    SysFreeString(display);
    SysFreeString(text);
}

TEST(AppHelpersTest, TheScanSinkIsNoDispatchAndNeedsNoApplication) {
    CScannerCallback sink;
    void* object = &sink;
    EXPECT_EQ(sink.QueryInterface(IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(sink.QueryInterface(IID_IScannerCallback, &object), S_OK);
    EXPECT_EQ(object, static_cast<IScannerCallback*>(&sink));
    EXPECT_EQ(sink.Release(), 0u);
    // Without the application every call answers S_OK and touches nothing.
    BSTR location = SysAllocString(L"Unknown|thing");
    EXPECT_EQ(sink.PestDetected(999999, location), S_OK);
    EXPECT_EQ(sink.StartingItem(location), S_OK);
    VARIANT_BOOL go_on = 7;
    EXPECT_EQ(sink.ShouldScanContinue(&go_on), S_OK);
    EXPECT_EQ(go_on, 7);
    SysFreeString(location);
    // The count text in the user's number style, no fraction digits.
    EXPECT_EQ(CountText(1234567), L"1,234,567");
    EXPECT_EQ(CountText(0), L"0");
}

}  // namespace
}  // namespace olvex
