// The type library in the DLL, read back and held against the published
// contract: every interface, its members in virtual-table order, their
// dispatch ids, parameter names, types and directions, and the classes.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "olvex/registration_test_support.h"

namespace olvex::testing {
namespace {

// Deliberate choices on top of the documented directions. Property getters
// take [out, retval] so that scripts can read them (see TypeDirections).
// These pointers are written by the member and so are [out] ([in, out] for
// the continue flag, which the scanner presets), so that the result survives
// marshalling between apartments.
struct Amendment {
    const char* interface_name;
    const char* member;
    const char* param;
    USHORT flags;
};
const Amendment kAmendments[] = {
    {"IQuarantine", "Q4", "pvbSuccess", PARAMFLAG_FOUT},
    {"IQuarantine", "AddItemToSession", "pvbSuccess", PARAMFLAG_FOUT},
    {"IExterminator", "IsRebootRequired", "pvbReboot", PARAMFLAG_FOUT},
    {"IScannerCallback", "ShouldScanContinue", "pvbContinue", PARAMFLAG_FIN | PARAMFLAG_FOUT},
};
// Members whose help string the contract fixes.
const std::map<std::string, std::string> kHelpStrings = {
    {"IQuarantine.Q4", "DontUseMe"},
    {"IQuarantine.AddItemToSession", "DontUseMe"},
};

template <class T>
struct Owned {
    T* p = nullptr;
    ~Owned() {
        if (p) {
            p->Release();
        }
    }
    T** put() { return &p; }
    T* operator->() const { return p; }
};

std::string Name(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
    BSTR name = nullptr;
    if (FAILED(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) {
        return "?";
    }
    std::string result = Narrow(name ? name : L"");
    SysFreeString(name);
    return result;
}

std::string HelpString(ITypeInfo* info, MEMBERID id) {
    BSTR help = nullptr;
    if (FAILED(info->GetDocumentation(id, nullptr, &help, nullptr, nullptr))) {
        return "?";
    }
    std::string result = Narrow(help ? help : L"");
    SysFreeString(help);
    return result;
}

// A parameter type in the contract's notation ("long*", "IPestRecord**").
std::string TypeText(ITypeInfo* info, const TYPEDESC& type) {
    switch (type.vt) {
        case VT_I4:
            return "long";
        case VT_UI4:
            return "unsigned long";
        case VT_BSTR:
            return "BSTR";
        case VT_BOOL:
            return "VARIANT_BOOL";
        case VT_DATE:
            return "DATE";
        case VT_PTR:
            return TypeText(info, *type.lptdesc) + "*";
        case VT_USERDEFINED: {
            Owned<ITypeInfo> referenced;
            if (FAILED(info->GetRefTypeInfo(type.hreftype, referenced.put()))) {
                return "?";
            }
            return Name(referenced.p);
        }
        default:
            return "vt" + std::to_string(type.vt);
    }
}

USHORT ExpectedFlags(const ContractInterface& i, const ContractMember& m, const ContractParam& p) {
    for (const auto& a : kAmendments) {
        if (std::string(a.interface_name) == i.name && std::string(a.member) == m.name &&
            std::string(a.param) == p.name) {
            return a.flags;
        }
    }
    if (m.kind == kGet) {
        return PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    }
    return p.direction == kOut ? PARAMFLAG_FOUT : PARAMFLAG_FIN;
}

INVOKEKIND InvokeKind(MemberKind kind) {
    switch (kind) {
        case kGet:
            return INVOKE_PROPERTYGET;
        case kPut:
            return INVOKE_PROPERTYPUT;
        default:
            return INVOKE_FUNC;
    }
}

class TypeLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(LoadTypeLibEx(EngineDllPath().c_str(), REGKIND_NONE, library_.put()), S_OK);
    }

    // The virtual-table description of an interface (the interface part of a
    // dual one).
    void VtableInfo(const ContractInterface& i, Owned<ITypeInfo>& out) {
        GUID iid{};
        ASSERT_EQ(CLSIDFromString(i.iid, &iid), S_OK);
        Owned<ITypeInfo> described;
        ASSERT_EQ(library_->GetTypeInfoOfGuid(iid, described.put()), S_OK) << i.name;
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(described->GetTypeAttr(&attr), S_OK);
        const TYPEKIND kind = attr->typekind;
        const WORD flags = attr->wTypeFlags;
        described->ReleaseTypeAttr(attr);
        EXPECT_EQ(Name(described.p), i.name);
        if (i.dual) {
            EXPECT_EQ(kind, TKIND_DISPATCH) << i.name;
            EXPECT_NE(flags & TYPEFLAG_FDUAL, 0) << i.name;
            HREFTYPE ref = 0;
            ASSERT_EQ(described->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
            ASSERT_EQ(described->GetRefTypeInfo(ref, out.put()), S_OK);
        } else {
            EXPECT_EQ(kind, TKIND_INTERFACE) << i.name;
            EXPECT_NE(flags & TYPEFLAG_FOLEAUTOMATION, 0) << i.name;
            out.p = described.p;
            described.p = nullptr;
        }
    }

    Owned<ITypeLib> library_;
};

TEST_F(TypeLibraryTest, Library) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library_->GetLibAttr(&attr), S_OK);
    GUID expected{};
    ASSERT_EQ(CLSIDFromString(kContractLibraryId, &expected), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, expected));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    library_->ReleaseTLibAttr(attr);

    BSTR name = nullptr;
    BSTR help = nullptr;
    ASSERT_EQ(library_->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, L"olvex");
    EXPECT_EQ(Narrow(help ? help : L""), kContractLibraryHelp);
    SysFreeString(name);
    SysFreeString(help);
}

TEST_F(TypeLibraryTest, InterfacesMatchTheContract) {
    for (const ContractInterface& i : ContractInterfaces()) {
        SCOPED_TRACE(i.name);
        Owned<ITypeInfo> info;
        VtableInfo(i, info);
        if (!info.p) {
            continue;
        }
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        const UINT functions = attr->cFuncs;
        EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
        EXPECT_EQ(attr->cImplTypes, 1);
        info->ReleaseTypeAttr(attr);
        EXPECT_EQ(Name(info.p), i.name);

        // Derived from IDispatch (dual) or IUnknown (callbacks).
        HREFTYPE base_ref = 0;
        ASSERT_EQ(info->GetRefTypeOfImplType(0, &base_ref), S_OK);
        Owned<ITypeInfo> base;
        ASSERT_EQ(info->GetRefTypeInfo(base_ref, base.put()), S_OK);
        EXPECT_EQ(Name(base.p), i.dual ? "IDispatch" : "IUnknown");

        ASSERT_EQ(functions, i.members.size());
        const size_t first_slot = i.dual ? 7 : 3;
        for (UINT index = 0; index < functions; ++index) {
            const ContractMember& m = i.members[index];
            SCOPED_TRACE(std::string(m.name) + " (#" + std::to_string(index + 1) + ")");
            FUNCDESC* f = nullptr;
            ASSERT_EQ(info->GetFuncDesc(index, &f), S_OK);
            EXPECT_EQ(f->memid, m.dispid);
            EXPECT_EQ(f->invkind, InvokeKind(m.kind));
            EXPECT_EQ(static_cast<size_t>(f->oVft), (first_slot + index) * sizeof(void*));
            EXPECT_EQ(f->callconv, CC_STDCALL);
            EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
            EXPECT_EQ(Name(info.p, f->memid), m.name);

            ASSERT_EQ(static_cast<size_t>(f->cParams), m.params.size());
            // Parameter names are read by DISPID, which finds the first
            // member with it: the get accessor's for a property.
            std::vector<BSTR> names(m.params.size() + 1, nullptr);
            UINT name_count = 0;
            const bool names_apply = m.kind != kPut;
            if (names_apply) {
                ASSERT_EQ(info->GetNames(f->memid, names.data(), static_cast<UINT>(names.size()),
                                         &name_count),
                          S_OK);
                EXPECT_EQ(name_count, m.params.size() + 1);
            }
            for (size_t p = 0; p < m.params.size(); ++p) {
                const ContractParam& param = m.params[p];
                SCOPED_TRACE(param.name);
                EXPECT_EQ(TypeText(info.p, f->lprgelemdescParam[p].tdesc), param.type);
                EXPECT_EQ(f->lprgelemdescParam[p].paramdesc.wParamFlags,
                          ExpectedFlags(i, m, param));
                if (names_apply && p + 1 < name_count) {
                    EXPECT_EQ(Narrow(names[p + 1]), param.name);
                }
            }
            for (BSTR name : names) {
                SysFreeString(name);
            }
            const auto help = kHelpStrings.find(std::string(i.name) + "." + m.name);
            if (help != kHelpStrings.end()) {
                EXPECT_EQ(HelpString(info.p, f->memid), help->second);
            }
            info->ReleaseFuncDesc(f);
        }
    }
}

TEST_F(TypeLibraryTest, TheTimeStampIsAFileTimeRecord) {
    // GetDATTimeStamp's structure: two unsigned 32-bit halves.
    const ContractInterface* version_info = nullptr;
    for (const auto& i : ContractInterfaces()) {
        if (std::string(i.name) == "IVersionInfo") {
            version_info = &i;
        }
    }
    ASSERT_NE(version_info, nullptr);
    Owned<ITypeInfo> info;
    VtableInfo(*version_info, info);
    ASSERT_NE(info.p, nullptr);
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(4, &f), S_OK);
    const TYPEDESC& pointer = f->lprgelemdescParam[1].tdesc;
    ASSERT_EQ(pointer.vt, VT_PTR);
    ASSERT_EQ(pointer.lptdesc->vt, VT_USERDEFINED);
    Owned<ITypeInfo> record;
    ASSERT_EQ(info->GetRefTypeInfo(pointer.lptdesc->hreftype, record.put()), S_OK);
    info->ReleaseFuncDesc(f);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(record->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_RECORD);
    EXPECT_EQ(attr->cVars, 2);
    EXPECT_EQ(attr->cbSizeInstance, 8u);
    record->ReleaseTypeAttr(attr);
}

TEST_F(TypeLibraryTest, ClassesMatchTheContract) {
    std::set<std::string> interfaces_seen;
    for (const ContractClass& c : ContractClasses()) {
        SCOPED_TRACE(c.name);
        GUID clsid{};
        ASSERT_EQ(CLSIDFromString(c.clsid, &clsid), S_OK);
        Owned<ITypeInfo> info;
        ASSERT_EQ(library_->GetTypeInfoOfGuid(clsid, info.put()), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->typekind, TKIND_COCLASS);
        EXPECT_EQ(attr->cImplTypes, 1);
        EXPECT_NE(attr->wTypeFlags & TYPEFLAG_FCANCREATE, 0);
        info->ReleaseTypeAttr(attr);
        EXPECT_EQ(Name(info.p), std::string(c.name).substr(1));  // coclass Scanner for CScanner

        INT flags = 0;
        ASSERT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
        EXPECT_NE(flags & IMPLTYPEFLAG_FDEFAULT, 0);
        HREFTYPE ref = 0;
        ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
        Owned<ITypeInfo> default_interface;
        ASSERT_EQ(info->GetRefTypeInfo(ref, default_interface.put()), S_OK);
        EXPECT_EQ(Name(default_interface.p), c.default_interface);
        interfaces_seen.insert(c.default_interface);
    }
    EXPECT_EQ(interfaces_seen.size(), 18u);
}

TEST_F(TypeLibraryTest, NothingBeyondTheContract) {
    std::set<std::string> expected;
    for (const auto& i : ContractInterfaces()) {
        expected.insert(i.name);
    }
    for (const auto& c : ContractClasses()) {
        expected.insert(std::string(c.name).substr(1));
    }
    std::set<std::string> found;
    const UINT count = library_->GetTypeInfoCount();
    for (UINT index = 0; index < count; ++index) {
        TYPEKIND kind{};
        ASSERT_EQ(library_->GetTypeInfoType(index, &kind), S_OK);
        BSTR name = nullptr;
        ASSERT_EQ(
            library_->GetDocumentation(static_cast<INT>(index), &name, nullptr, nullptr, nullptr),
            S_OK);
        const std::string text = Narrow(name ? name : L"");
        SysFreeString(name);
        if (kind == TKIND_RECORD || kind == TKIND_ALIAS) {
            EXPECT_TRUE(text == "_FILETIME" || text == "FILETIME") << text;
            continue;
        }
        found.insert(text);
    }
    EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace olvex::testing
