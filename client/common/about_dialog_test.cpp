// The About box in-process on its template, with a version-information
// object of the test's own: the definitions' time stamp on the three lines,
// empty versions where the program has no version resource and no engine is
// registered, the template without a time stamp, and the report saved
// through a Save As stand-in that leaves the process's current folder as it
// found it.
#include "client/common/about_dialog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "client/common/about_dialog_ids.h"
#include "client/common/ui/system_seams.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

namespace fs = std::filesystem;

// Only GetDATTimeStamp answers; the box asks nothing else of it.
class StampOnlyVersionInfo final : public IVersionInfo {
  public:
    explicit StampOnlyVersionInfo(std::optional<FILETIME> stamp) : stamp_(stamp) {}
    std::wstring asked_folder;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetControlVersionAsString(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_nLastError(long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDATValid(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDATTimeStamp(BSTR folder, FILETIME* time,
                                              VARIANT_BOOL* success) override {
        asked_folder = folder;
        *success = stamp_ ? VARIANT_TRUE : VARIANT_FALSE;
        if (stamp_)
            *time = *stamp_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCompositeVersion(BSTR, BSTR*) override { return E_NOTIMPL; }

  private:
    std::optional<FILETIME> stamp_;
};

// Changes the current folder, as some Save As dialogs do, and gives the path.
class FolderChangingChooser final : public ui::SaveFileChooser {
  public:
    FolderChangingChooser(fs::path elsewhere, std::optional<std::wstring> chosen)
        : elsewhere_(std::move(elsewhere)), chosen_(std::move(chosen)) {}
    mutable ui::SaveFileRequest request;

    std::optional<std::wstring> Choose(HWND, const ui::SaveFileRequest& asked) const override {
        request = asked;
        SetCurrentDirectoryW(elsewhere_.c_str());
        return chosen_;
    }

  private:
    fs::path elsewhere_;
    std::optional<std::wstring> chosen_;
};

FILETIME StampOf(WORD year, WORD month, WORD day) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = 12;
    FILETIME stamp{};
    SystemTimeToFileTime(&time, &stamp);
    return stamp;
}

std::wstring Text(const CAboutDlg& box, int id) {
    wchar_t text[512] = {};
    GetDlgItemTextW(box.handle(), id, text, 512);
    return text;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(AboutDialogTest, DefinitionStampOnEveryLineAndEmptyVersionsWithoutTheirSources) {
    StampOnlyVersionInfo info(StampOf(2026, 3, 4));
    CAboutDlg box("C:\\Program Files\\Kelvan\\", &info);
    ASSERT_TRUE(box.CreateModeless());
    EXPECT_EQ(info.asked_folder, L"C:\\Program Files\\Kelvan\\core\\");
    const std::wstring qzfile = Text(box, IDC_ABOUT_QZFILE_VERSION);
    const std::wstring caption = L"QZFILE.DAT Version:  ";
    ASSERT_EQ(qzfile.rfind(caption, 0), 0u) << qzfile;
    const std::wstring date = qzfile.substr(caption.size());
    EXPECT_NE(date.find(L"2026"), std::wstring::npos) << date;
    EXPECT_EQ(Text(box, IDC_ABOUT_QZINFO_VERSION), L"QZINFO.DAT Version:  " + date);
    EXPECT_EQ(Text(box, IDC_ABOUT_QZLOC_VERSION), L"QZLOC.DAT Version:  " + date);
    // This test program has no version resource and no engine is registered.
    EXPECT_EQ(Text(box, IDC_ABOUT_PROGRAM_VERSION), L"Kelvan Gorsewatch Version:  ");
    EXPECT_EQ(Text(box, IDC_ABOUT_ENGINE_VERSION), L"SDK Version:  ");
    box.Destroy();
}

TEST(AboutDialogTest, TemplateTextsWithoutStampOrVersionObject) {
    StampOnlyVersionInfo no_stamp(std::nullopt);
    for (IVersionInfo* info :
         {static_cast<IVersionInfo*>(&no_stamp), static_cast<IVersionInfo*>(nullptr)}) {
        CAboutDlg box("C:\\Kelvan\\", info);
        ASSERT_TRUE(box.CreateModeless());
        EXPECT_EQ(Text(box, IDC_ABOUT_PROGRAM_VERSION), L"Kelvan Gorsewatch Version:");
        EXPECT_EQ(Text(box, IDC_ABOUT_ENGINE_VERSION), L"Scan Engine Version:");
        EXPECT_EQ(Text(box, IDC_ABOUT_QZFILE_VERSION), L"QZFILE Version");
        EXPECT_EQ(Text(box, IDC_ABOUT_QZINFO_VERSION), L"QZINFO Version");
        EXPECT_EQ(Text(box, IDC_ABOUT_QZLOC_VERSION), L"QZLOC Version");
        box.Destroy();
    }
}

TEST(AboutDialogTest, ExportKeepsTheCurrentFolderAndMendsTheDoubledExtension) {
    const testing::ScratchDir scratch;
    const fs::path here = scratch.path() / "here";
    const fs::path elsewhere = scratch.path() / "elsewhere";
    fs::create_directories(here);
    fs::create_directories(elsewhere);
    ASSERT_TRUE(SetCurrentDirectoryW(here.c_str()));
    const auto current = [] {
        wchar_t folder[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, folder);
        return fs::path(folder);
    };
    const fs::path kept = current();

    StampOnlyVersionInfo info(std::nullopt);
    CAboutDlg box("C:\\Kelvan\\", &info);
    ASSERT_TRUE(box.CreateModeless());

    // Cancelled: nothing written, the folder as it was.
    {
        const FolderChangingChooser chooser(elsewhere, std::nullopt);
        const ui::ScopedSaveFileChooser scoped(chooser);
        SendMessageW(box.handle(), WM_COMMAND, MAKEWPARAM(IDC_ABOUT_EXPORT, BN_CLICKED), 0);
        EXPECT_EQ(chooser.request.file_name, L"VersionReport");
        EXPECT_EQ(chooser.request.default_extension, L"txt");
        EXPECT_EQ(chooser.request.filter, L"Text Files (*.txt)|*.txt||");
        EXPECT_EQ(current(), kept);
        EXPECT_TRUE(fs::is_empty(elsewhere));
    }
    // Saved twice to the same file: the second replaces the first.
    for (int round = 0; round < 2; ++round) {
        const FolderChangingChooser chooser(elsewhere, (elsewhere / "Report.txt.txt").wstring());
        const ui::ScopedSaveFileChooser scoped(chooser);
        SendMessageW(box.handle(), WM_COMMAND, MAKEWPARAM(IDC_ABOUT_EXPORT, BN_CLICKED), 0);
        EXPECT_EQ(current(), kept);
    }
    EXPECT_FALSE(fs::exists(elsewhere / "Report.txt.txt"));
    const std::string report = ReadAll(elsewhere / "Report.txt");
    // Without a time stamp the definition lines are the template's.
    const std::string after_date = report.substr(report.find("\r\n\r\nKelvan Gorsewatch Version:"));
    EXPECT_EQ(after_date,
              "\r\n\r\nKelvan Gorsewatch Version:  \r\n\r\n"
              "SDK Version:  \r\n\r\n"
              "QZFILE Version\r\n\r\n"
              "QZINFO Version\r\n\r\n"
              "QZLOC Version\r\n\r\n"
              "***End Report***\r\n\r\n");
    EXPECT_EQ(
        report.rfind("Kelvan Gorsewatch Versions Report\r\nThis report was generated on: ", 0), 0u);
    box.Destroy();
}

}  // namespace
}  // namespace olvex
