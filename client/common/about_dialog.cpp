#include "client/common/about_dialog.h"

#include <vector>

#include "client/common/about_dialog_ids.h"
#include "client/common/client_environment.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/file_error_box.h"
#include "client/common/ui/gdi.h"
#include "client/common/ui/system_seams.h"
#include "client/common/ui/text_file.h"
#include "client/common/version_report.h"
#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"

namespace olvex {
namespace {

// Gives the process its current folder back, whatever happened meanwhile:
// the save dialog may change it.
class CurrentFolderKept {
  public:
    CurrentFolderKept() {
        const DWORD length = GetCurrentDirectoryW(0, nullptr);
        if (length == 0)
            return;
        folder_.resize(length);
        folder_.resize(GetCurrentDirectoryW(length, folder_.data()));
    }
    ~CurrentFolderKept() {
        if (!folder_.empty())
            SetCurrentDirectoryW(folder_.c_str());
    }
    CurrentFolderKept(const CurrentFolderKept&) = delete;
    CurrentFolderKept& operator=(const CurrentFolderKept&) = delete;

  private:
    std::wstring folder_;
};

std::wstring OwnModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

CAboutDlg::CAboutDlg(std::string install_folder, IVersionInfo* version_info, HINSTANCE instance)
    : ui::Dialog(IDD_ABOUT, instance),
      install_folder_(std::move(install_folder)),
      version_info_(version_info) {
    OnClicked(IDC_ABOUT_EXPORT, [this] { OnExportVersionInfo(); });
}

std::wstring CAboutDlg::GetProgramVersion() {
    const std::wstring path = OwnModulePath();
    if (path.empty())
        return {};
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return {};
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductVersion", &value,
                        &length) ||
        value == nullptr || length == 0)
        return {};
    const std::wstring version(static_cast<const wchar_t*>(value));
    return ui::FromAnsi(ProgramVersionText(ui::ToAnsi(version)));
}

std::wstring CAboutDlg::GetEngineVersion() {
    com::ComPtr<IVersionInfo> info;
    if (FAILED(CoCreateInstance(__uuidof(VersionInfo), nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                __uuidof(IVersionInfo), info.PutVoid())) ||
        !info)
        return {};
    com::UniqueBstr version;
    if (FAILED(info->GetControlVersionAsString(version.Put())) || version.Get() == nullptr)
        return {};
    return std::wstring(version.Get(), SysStringLen(version.Get()));
}

bool CAboutDlg::OnInitDialog() {
    if (version_info_ == nullptr)
        return true;
    const com::UniqueBstr folder(SysAllocString(ui::FromAnsi(install_folder_ + "core\\").c_str()));
    FILETIME stamp{};
    VARIANT_BOOL found = VARIANT_FALSE;
    if (FAILED(version_info_->GetDATTimeStamp(folder.Get(), &stamp, &found)) || found == 0)
        return false;
    SYSTEMTIME time{};
    const std::wstring date =
        FileTimeToSystemTime(&stamp, &time) ? ui::FromAnsi(FormatDateTime(time)) : L"-";
    const HINSTANCE resources = instance();
    SetItemText(IDC_ABOUT_QZINFO_VERSION,
                ui::LoadText(IDS_QZINFO_VERSION_CAPTION, resources) + date);
    SetItemText(IDC_ABOUT_QZLOC_VERSION, ui::LoadText(IDS_QZLOC_VERSION_CAPTION, resources) + date);
    SetItemText(IDC_ABOUT_QZFILE_VERSION,
                ui::LoadText(IDS_QZFILE_VERSION_CAPTION, resources) + date);
    SetItemText(IDC_ABOUT_ENGINE_VERSION,
                ui::LoadText(IDS_ENGINE_VERSION_CAPTION, resources) + GetEngineVersion());
    SetItemText(IDC_ABOUT_PROGRAM_VERSION,
                ui::LoadText(IDS_PROGRAM_VERSION_CAPTION, resources) + GetProgramVersion());
    return true;
}

void CAboutDlg::OnExportVersionInfo() {
    const HINSTANCE resources = instance();
    const CurrentFolderKept folder;
    ui::SaveFileRequest request;
    request.default_extension = ui::LoadText(IDS_REPORT_EXTENSION, resources);
    request.file_name = ui::LoadText(IDS_REPORT_FILE_NAME, resources);
    request.filter = ui::LoadText(IDS_REPORT_FILTER, resources);
    request.flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    // Owned by the box, so that it cannot be closed or asked twice meanwhile.
    const auto chosen = ui::CurrentSaveFileChooser().Choose(handle(), request);
    if (!chosen)
        return;
    const std::string path =
        FixDoubledExtension(ui::ToAnsi(*chosen), ui::ToAnsi(request.default_extension));

    const auto text = [&](UINT id) { return ui::ToAnsi(ui::LoadText(id, resources)); };
    VersionReport report;
    report.title = text(IDS_REPORT_TITLE);
    report.generated = text(IDS_REPORT_GENERATED) + FormatCurrentDateTime();
    report.program = text(IDS_PROGRAM_VERSION_CAPTION) + ui::ToAnsi(GetProgramVersion());
    report.engine = text(IDS_ENGINE_VERSION_CAPTION) + ui::ToAnsi(GetEngineVersion());
    report.qzfile = ui::ToAnsi(ItemText(IDC_ABOUT_QZFILE_VERSION));
    report.qzinfo = ui::ToAnsi(ItemText(IDC_ABOUT_QZINFO_VERSION));
    report.qzloc = ui::ToAnsi(ItemText(IDC_ABOUT_QZLOC_VERSION));
    report.end = text(IDS_REPORT_END);

    ui::TextFileWriter file;
    if (file.Create(path))
        ui::ShowFileErrorBox(file.error(), handle());
    else {
        file.Write(FormatVersionReport(report));
        if (const ui::TextFileError error = file.Close())
            ui::ShowFileErrorBox(error, handle());
    }
}

}  // namespace olvex
