// Engine objects create one another through this module's own classes:
// never through the registry, which may name another copy of the engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/com/module.h"
#include "olvex/olvex.h"
#include "testing/scratch_dir.h"
#include "testing/windows_test_support.h"

namespace olvex::com {
namespace {

// The module whose code the object's virtual table belongs to.
HMODULE ModuleOf(IUnknown* object) {
    const void* vtable = *reinterpret_cast<void* const*>(object);
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(vtable), &module);
    return module;
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

TEST(EngineObjectTest, EveryClassIsMadeByThisModule) {
    ASSERT_EQ(EngineClasses().size(), 18u);
    for (const EngineClass& engine_class : EngineClasses()) {
        ComPtr<IDispatch> object;
        ASSERT_EQ(CreateEngineObject(*engine_class.clsid, object.Put()), S_OK) << engine_class.name;
        EXPECT_EQ(ModuleOf(object.Get()), ThisModule()) << engine_class.name;

        // Its type information names its default interface.
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(object->GetTypeInfo(0, 0, info.Put()), S_OK);
        BSTR name = nullptr;
        ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
        EXPECT_EQ(
            std::wstring(name),
            L"I" + std::wstring(engine_class.name, engine_class.name + strlen(engine_class.name)))
            << engine_class.name;
        SysFreeString(name);
        EXPECT_EQ(FindEngineClass(*engine_class.clsid), &engine_class);
    }
}

// Arguments for one member, made from its type description: inert values
// (empty texts, zeros, null objects) and slots for what it writes.
class DummyArguments {
  public:
    DummyArguments(ITypeInfo* info, const FUNCDESC& function) {
        // The return value comes back in the result, not as an argument.
        size_t count = static_cast<size_t>(function.cParams);
        if (count > 0 &&
            (function.lprgelemdescParam[count - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) {
            --count;
        }
        slots_.resize(count);
        arguments_.resize(count);
        for (size_t p = 0; p < count; ++p) {
            // Arguments go last first.
            VARIANT& argument = arguments_[count - 1 - p];
            VariantInit(&argument);
            Make(info, function.lprgelemdescParam[p].tdesc, argument, slots_[p]);
        }
    }
    ~DummyArguments() {
        for (size_t p = 0; p < slots_.size(); ++p) {
            VARIANT& argument = arguments_[slots_.size() - 1 - p];
            if (V_VT(&argument) == (VT_BYREF | VT_BSTR)) {
                SysFreeString(slots_[p].text);
            } else if ((V_VT(&argument) == (VT_BYREF | VT_UNKNOWN) ||
                        V_VT(&argument) == (VT_BYREF | VT_DISPATCH)) &&
                       slots_[p].object) {
                slots_[p].object->Release();
            } else if ((V_VT(&argument) & VT_BYREF) == 0) {
                VariantClear(&argument);
            }
        }
    }
    DummyArguments(const DummyArguments&) = delete;
    DummyArguments& operator=(const DummyArguments&) = delete;

    VARIANT* data() { return arguments_.data(); }
    UINT size() const { return static_cast<UINT>(arguments_.size()); }

  private:
    union Slot {
        BSTR text;
        LONG number;
        ULONG unsigned_number;
        VARIANT_BOOL flag;
        DATE date;
        LONGLONG wide;
        IUnknown* object;
    };

    // Interfaces are passed as what they derive from: dual ones as IDispatch.
    static TYPEKIND KindOf(ITypeInfo* info, HREFTYPE ref) {
        ComPtr<ITypeInfo> referenced;
        TYPEKIND kind = TKIND_MAX;
        TYPEATTR* attr = nullptr;
        if (SUCCEEDED(info->GetRefTypeInfo(ref, referenced.Put())) &&
            SUCCEEDED(referenced->GetTypeAttr(&attr))) {
            kind = attr->typekind;
            referenced->ReleaseTypeAttr(attr);
        }
        return kind;
    }

    static void Make(ITypeInfo* info, const TYPEDESC& type, VARIANT& argument, Slot& slot) {
        slot.wide = 0;
        if (type.vt != VT_PTR) {
            V_VT(&argument) = type.vt;
            if (type.vt == VT_BSTR) {
                V_BSTR(&argument) = SysAllocString(L"");
            } else {
                V_I8(&argument) = 0;
            }
            return;
        }
        const TYPEDESC& target = *type.lptdesc;
        if (target.vt == VT_USERDEFINED) {
            const TYPEKIND kind = KindOf(info, target.hreftype);
            if (kind == TKIND_RECORD) {
                V_VT(&argument) = VT_BYREF | VT_I8;  // the FILETIME slot
                V_I8REF(&argument) = &slot.wide;
            } else {
                // An object handed in: none.
                V_VT(&argument) = kind == TKIND_DISPATCH ? VT_DISPATCH : VT_UNKNOWN;
                V_UNKNOWN(&argument) = nullptr;
            }
            return;
        }
        if (target.vt == VT_PTR && target.lptdesc->vt == VT_USERDEFINED) {
            // An object handed out.
            const TYPEKIND kind = KindOf(info, target.lptdesc->hreftype);
            V_VT(&argument) = VT_BYREF | (kind == TKIND_DISPATCH ? VT_DISPATCH : VT_UNKNOWN);
            V_UNKNOWNREF(&argument) = &slot.object;
            return;
        }
        V_VT(&argument) = VT_BYREF | target.vt;
        V_BYREF(&argument) = &slot;
    }

    std::vector<Slot> slots_;
    std::vector<VARIANT> arguments_;
};

// Removes, when destroyed, the files that objects initialised with an empty
// folder make in the engine's own folder (here the test program's), unless
// they were there before.
class EngineFolderFiles {
  public:
    EngineFolderFiles() {
        const auto module = ThisModulePath();
        if (!module)
            return;
        const std::filesystem::path folder = std::filesystem::path(*module).parent_path();
        for (const auto& made : {folder / "qzexc_en.dat", folder / "Logs"}) {
            if (!std::filesystem::exists(made))
                made_.push_back(made);
        }
    }
    ~EngineFolderFiles() {
        std::error_code ignored;
        for (const auto& made : made_)
            std::filesystem::remove_all(made, ignored);
    }
    EngineFolderFiles(const EngineFolderFiles&) = delete;
    EngineFolderFiles& operator=(const EngineFolderFiles&) = delete;

  private:
    std::vector<std::filesystem::path> made_;
};

TEST(EngineObjectTest, EveryMemberIsReachableThroughIDispatch) {
    // Scripts can call every member: dispatch itself never refuses one (a
    // member's own failure comes back as DISP_E_EXCEPTION).
    const EngineFolderFiles engine_folder_files;
    for (const EngineClass& engine_class : EngineClasses()) {
        ComPtr<IDispatch> object;
        ASSERT_EQ(CreateEngineObject(*engine_class.clsid, object.Put()), S_OK);
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(object->GetTypeInfo(0, 0, info.Put()), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        const UINT functions = attr->cFuncs;
        info->ReleaseTypeAttr(attr);
        for (UINT index = 0; index < functions; ++index) {
            FUNCDESC* function = nullptr;
            ASSERT_EQ(info->GetFuncDesc(index, &function), S_OK);
            BSTR name = nullptr;
            info->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr);
            const std::wstring member = name ? name : L"?";
            SysFreeString(name);

            DummyArguments arguments(info.Get(), *function);
            DISPID put = DISPID_PROPERTYPUT;
            const bool is_put = function->invkind == INVOKE_PROPERTYPUT;
            DISPPARAMS params{arguments.data(), is_put ? &put : nullptr, arguments.size(),
                              is_put ? 1u : 0u};
            VARIANT result;
            VariantInit(&result);
            EXCEPINFO exception{};
            UINT bad_argument = 0;
            const HRESULT hr =
                object->Invoke(function->memid, IID_NULL, 0, static_cast<WORD>(function->invkind),
                               &params, &result, &exception, &bad_argument);
            EXPECT_TRUE(hr == S_OK || hr == DISP_E_EXCEPTION)
                << engine_class.name << "." << testing::Narrow(member) << ": 0x" << std::hex << hr;
            VariantClear(&result);
            SysFreeString(exception.bstrSource);
            SysFreeString(exception.bstrDescription);
            SysFreeString(exception.bstrHelpFile);
            info->ReleaseFuncDesc(function);
        }
    }
}

TEST(EngineObjectTest, TheRegistryPointingElsewhereDoesNotMatter) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const testing::ScratchDir scratch;
    const std::wstring other_copy = (scratch.path() / "other" / "olvex.dll").wstring();
    std::filesystem::create_directories(scratch.path() / "other");
    std::filesystem::copy_file(testing::WindowsPath(OLVEX_DLL_PATH), other_copy);
    {
        const std::wstring class_key = L"CLSID\\" + GuidText(CLSID_Scanner);
        const testing::RegistrySnapshot snapshot(HKEY_CLASSES_ROOT, {class_key});
        HKEY server = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (class_key + L"\\InprocServer32").c_str(), 0,
                                  nullptr, 0, KEY_WRITE, nullptr, &server, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(server, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(other_copy.c_str()),
                       static_cast<DWORD>((other_copy.size() + 1) * sizeof(wchar_t)));
        RegSetValueExW(server, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Both"),
                       5 * sizeof(wchar_t));
        RegCloseKey(server);

        // The registry really does hand out the other copy's object...
        ComPtr<IScanner> registered;
        ASSERT_EQ(CoCreateInstance(CLSID_Scanner, nullptr, CLSCTX_INPROC_SERVER, IID_IScanner,
                                   registered.PutVoid()),
                  S_OK);
        const HMODULE other_module = GetModuleHandleW(other_copy.c_str());
        ASSERT_NE(other_module, nullptr);
        EXPECT_EQ(ModuleOf(registered.Get()), other_module);

        // ...while the engine's own creation stays inside this module.
        ComPtr<IScanner> own;
        ASSERT_EQ(CreateEngineObject(CLSID_Scanner, own.Put()), S_OK);
        EXPECT_EQ(ModuleOf(own.Get()), ThisModule());
        EXPECT_NE(ModuleOf(own.Get()), other_module);
    }
    // Leaving the apartment unloads the other copy, so its folder can go.
    CoUninitialize();
    EXPECT_EQ(GetModuleHandleW(other_copy.c_str()), nullptr);
}

}  // namespace
}  // namespace olvex::com
