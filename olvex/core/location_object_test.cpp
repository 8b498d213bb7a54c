// Location, LogEntry and ExcludedItem through their interfaces and through
// IDispatch, with texts crossing as BSTRs in the ANSI code page.
#include "olvex/core/location_object.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/olvex.h"

namespace olvex {
namespace {

using com::ComPtr;

class LocationObjectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override { CoUninitialize(); }
};

// Owns a BSTR made from a wide text; null stays null.
class Bstr {
  public:
    explicit Bstr(const wchar_t* text) : bstr_(text ? SysAllocString(text) : nullptr) {}
    ~Bstr() { SysFreeString(bstr_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return bstr_; }

  private:
    BSTR bstr_;
};

// A BSTR out-parameter, read as a wide text. It starts as a marker that the
// member must overwrite (with null when it has nothing to give).
class OutText {
  public:
    ~OutText() {
        if (!IsUntouched())
            SysFreeString(bstr_);
    }
    BSTR* Put() { return &bstr_; }
    bool IsNull() const { return bstr_ == nullptr; }
    std::wstring Text() const {
        if (IsUntouched())
            return L"<untouched>";
        return bstr_ ? std::wstring(bstr_, SysStringLen(bstr_)) : L"<null>";
    }

  private:
    bool IsUntouched() const { return bstr_ == Marker(); }
    static BSTR Marker() {
        static OLECHAR marker[] = L"marker";
        return marker;
    }
    BSTR bstr_ = Marker();
};

std::wstring GetValue(ILocation* location, const wchar_t* name) {
    OutText value;
    EXPECT_EQ(location->GetAttributeValue(Bstr(name), value.Put()), S_OK);
    return value.Text();
}

// Location kinds as the six questions answer them, in member order.
std::wstring Kinds(ILocation* location) {
    HRESULT(STDMETHODCALLTYPE ILocation::*const questions[])
    (VARIANT_BOOL*) = {&ILocation::IsExclusion, &ILocation::IsFile,   &ILocation::IsRegistryItem,
                       &ILocation::IsCookie,    &ILocation::IsFolder, &ILocation::IsProcess};
    std::wstring kinds;
    for (const auto question : questions) {
        VARIANT_BOOL answer = 7;  // anything but the two booleans
        EXPECT_EQ((location->*question)(&answer), S_OK);
        kinds += answer == VARIANT_TRUE ? L'1' : answer == VARIANT_FALSE ? L'0' : L'?';
    }
    return kinds;
}

TEST_F(LocationObjectTest, LocationAnswersThroughItsInterface) {
    ComPtr<ILocation> location;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Location, location.Put()), S_OK);

    struct Case {
        const wchar_t* text;
        const wchar_t* kinds;  // exclusion, file, registry, cookie, folder, process
        const wchar_t* name;
        const wchar_t* value;
    } const cases[] = {
        {LR"(ProcessId "1234" File "C:\p.exe")", L"000001", L"file", LR"(C:\p.exe)"},
        {LR"(Key "hkey_current_user Software\A B" value "Run" data "x y")", L"001000", L" KEY ",
         LR"(hkey_current_user Software\A B)"},
        {LR"(File "C:\c\u@ad[1].txt" Cookie "u@ad[1].txt")", L"000100", L"Cookie", L"u@ad[1].txt"},
        {LR"(Folder "C:\Temp" exclude "true")", L"100010", L"Folder", LR"(C:\Temp)"},
        {LR"(exclude "TRUE")", L"000000", L"Exclude", L"TRUE"},
        {LR"(a "1" b "2" c "3" d "4" e "5" f "6" g "7" h "8" File "9")", L"000000", L"File",
         L"<null>"},
        {L"", L"000000", L"File", L"<null>"},
        {nullptr, L"000000", L"File", L"<null>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text ? c.text : L"null");
        ASSERT_EQ(location->SetString(Bstr(c.text)), S_OK);
        EXPECT_EQ(Kinds(location.Get()), c.kinds);
        EXPECT_EQ(GetValue(location.Get(), c.name), c.value);
    }

    // A text in the ANSI code page's own characters comes back unchanged.
    if (GetACP() == 1252) {
        location->SetString(Bstr(L"File \"C:\\Caf\u00e9\\r\u00e9sum\u00e9.exe\""));
        EXPECT_EQ(GetValue(location.Get(), L"FILE"), L"C:\\Caf\u00e9\\r\u00e9sum\u00e9.exe");
    }
    // Null out-parameters are refused rather than written through.
    EXPECT_EQ(location->GetAttributeValue(Bstr(L"File"), nullptr), E_POINTER);
    EXPECT_EQ(location->IsFile(nullptr), E_POINTER);
}

TEST_F(LocationObjectTest, TheEnginesLeadBytesAreTheSystems) {
    for (unsigned code_page : {932u, 936u, 949u, 950u, 1252u}) {
        const auto table = MultiByteText::ForCodePage(code_page);
        for (unsigned b = 0; b < 256; ++b) {
            EXPECT_EQ(table.IsLeadByte(static_cast<unsigned char>(b)),
                      IsDBCSLeadByteEx(code_page, static_cast<BYTE>(b)) != FALSE)
                << code_page << " " << b;
        }
    }
    for (unsigned b = 0; b < 256; ++b) {
        EXPECT_EQ(AnsiCodePageText().IsLeadByte(static_cast<unsigned char>(b)),
                  IsDBCSLeadByte(static_cast<BYTE>(b)) != FALSE);
    }
}

// The attribute-list members, the same for log entries and excluded items.
template <class Interface>
void CheckAttributeList(Interface* list) {
    const wchar_t* const text = LR"(Category "Adware" Path "C:\Temp")";
    ASSERT_EQ(list->SetString(Bstr(text)), S_OK);
    OutText got;
    ASSERT_EQ(list->GetString(got.Put()), S_OK);
    EXPECT_EQ(got.Text(), text);  // as given, with its blank
    OutText value;
    EXPECT_EQ(list->GetAttributeValue(Bstr(L"path"), value.Put()), S_OK);
    EXPECT_EQ(value.Text(), LR"(C:\Temp)");

    ASSERT_EQ(list->SetAttributeValue(Bstr(L"EntryId"), Bstr(L"9")), S_OK);
    ASSERT_EQ(list->SetAttributeValue(Bstr(L" PATH "), Bstr(L"D:\\X")), S_OK);
    OutText rebuilt;
    ASSERT_EQ(list->GetString(rebuilt.Put()), S_OK);
    EXPECT_EQ(rebuilt.Text(), LR"(Category "Adware"Path "d:\x"entryid "9")");

    // What the text form cannot carry is refused and changes nothing.
    for (const wchar_t* bad : {LR"(a"b)", L"a\r\nb", L""}) {
        EXPECT_EQ(list->SetAttributeValue(Bstr(L"Path"), Bstr(bad)), E_INVALIDARG);
    }
    EXPECT_EQ(list->SetAttributeValue(Bstr(L"Pest Name"), Bstr(L"x")), E_INVALIDARG);
    OutText unchanged;
    ASSERT_EQ(list->GetString(unchanged.Put()), S_OK);
    EXPECT_EQ(unchanged.Text(), rebuilt.Text());

    OutText absent;
    EXPECT_EQ(list->GetAttributeValue(Bstr(L"PestId"), absent.Put()), S_OK);
    EXPECT_TRUE(absent.IsNull());
    EXPECT_EQ(list->GetAttributeValue(Bstr(L"PestId"), nullptr), E_POINTER);
    EXPECT_EQ(list->GetString(nullptr), E_POINTER);

    ASSERT_EQ(list->SetString(nullptr), S_OK);
    OutText empty;
    ASSERT_EQ(list->GetString(empty.Put()), S_OK);
    EXPECT_EQ(empty.Text(), L"");
    OutText gone;
    EXPECT_EQ(list->GetAttributeValue(Bstr(L"Category"), gone.Put()), S_OK);
    EXPECT_TRUE(gone.IsNull());
}

TEST_F(LocationObjectTest, LogEntryAndExcludedItemKeepAttributeLists) {
    ComPtr<ILogEntry> entry;
    ASSERT_EQ(com::CreateEngineObject(CLSID_LogEntry, entry.Put()), S_OK);
    {
        SCOPED_TRACE("LogEntry");
        CheckAttributeList(entry.Get());
    }
    ComPtr<IExcludedItem> item;
    ASSERT_EQ(com::CreateEngineObject(CLSID_ExcludedItem, item.Put()), S_OK);
    {
        SCOPED_TRACE("ExcludedItem");
        CheckAttributeList(item.Get());
    }
    // An excluded item built pair by pair, then cleared.
    ASSERT_EQ(item->SetAttributeValue(Bstr(L"PestId"), Bstr(L"12")), S_OK);
    ASSERT_EQ(item->SetAttributeValue(Bstr(L"Category"), Bstr(L"Adware")), S_OK);
    OutText text;
    ASSERT_EQ(item->GetString(text.Put()), S_OK);
    EXPECT_EQ(text.Text(), LR"(pestid "12"category "adware")");
    ASSERT_EQ(item->Clear(), S_OK);
    OutText cleared;
    ASSERT_EQ(item->GetString(cleared.Put()), S_OK);
    EXPECT_EQ(cleared.Text(), L"");
}

// Calls a member by name; arguments in the order of the member's parameters.
HRESULT Call(IDispatch* object, const wchar_t* member, std::vector<VARIANT> arguments,
             EXCEPINFO* exception = nullptr) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
    if (const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        FAILED(hr)) {
        return hr;
    }
    std::reverse(arguments.begin(), arguments.end());  // IDispatch takes them last first
    DISPPARAMS params{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    EXCEPINFO ignored{};
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                      nullptr, exception ? exception : &ignored, nullptr);
    if (!exception) {
        SysFreeString(ignored.bstrSource);
        SysFreeString(ignored.bstrDescription);
        SysFreeString(ignored.bstrHelpFile);
    }
    return hr;
}

VARIANT In(BSTR text) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = text;
    return v;
}

template <class T>
VARIANT OutRef(VARTYPE type, T* slot) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | type;
    V_BYREF(&v) = slot;
    return v;
}

TEST_F(LocationObjectTest, ScriptsReachTheMembersThroughIDispatch) {
    ComPtr<IDispatch> location;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Location, location.Put()), S_OK);
    const Bstr text(LR"(Key "hkey_users \S-1-5-21\Software\X" value "Run")");
    ASSERT_EQ(Call(location.Get(), L"SetString", {In(text)}), S_OK);
    VARIANT_BOOL registry = VARIANT_FALSE;
    ASSERT_EQ(Call(location.Get(), L"IsRegistryItem", {OutRef(VT_BOOL, &registry)}), S_OK);
    EXPECT_EQ(registry, VARIANT_TRUE);
    VARIANT_BOOL file = VARIANT_TRUE;
    ASSERT_EQ(Call(location.Get(), L"IsFile", {OutRef(VT_BOOL, &file)}), S_OK);
    EXPECT_EQ(file, VARIANT_FALSE);

    ComPtr<IDispatch> entry;
    ASSERT_EQ(com::CreateEngineObject(CLSID_LogEntry, entry.Put()), S_OK);
    const Bstr name(L"UserName"), value(L"Kim");
    ASSERT_EQ(Call(entry.Get(), L"SetAttributeValue", {In(name), In(value)}), S_OK);
    BSTR got = nullptr;
    ASSERT_EQ(
        Call(entry.Get(), L"GetAttributeValue", {In(Bstr(L"username")), OutRef(VT_BSTR, &got)}),
        S_OK);
    EXPECT_EQ(std::wstring(got ? got : L"<null>"), L"kim");
    SysFreeString(got);

    // A refused value reaches a script as its error.
    EXCEPINFO exception{};
    const Bstr quoted(LR"(a"b)");
    EXPECT_EQ(Call(entry.Get(), L"SetAttributeValue", {In(name), In(quoted)}, &exception),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_INVALIDARG);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
}

}  // namespace
}  // namespace olvex
