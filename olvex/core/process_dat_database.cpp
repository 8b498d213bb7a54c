#include "olvex/core/process_dat_database.h"

#include <windows.h>

#include <array>
#include <atomic>

#include "olvex/core/ansi_code_page.h"
#include "olvex/core/special_folders.h"
#include "olvex/core/web_downloader.h"

namespace olvex {
namespace {

std::atomic<CDatDatabase*> g_replaced{nullptr};

}  // namespace

CDatDatabase& TheDatDatabase() {
    if (CDatDatabase* replaced = g_replaced.load())
        return *replaced;
    static CDatDatabase database(&TheSpecialFolders(), AnsiCodePageText());
    return database;
}

ScopedProcessDatDatabase::ScopedProcessDatDatabase(const SpecialFolderSource* folders)
    : database_(std::make_unique<CDatDatabase>(folders ? folders : &TheSpecialFolders(),
                                               AnsiCodePageText())),
      previous_(g_replaced.exchange(database_.get())) {}

ScopedProcessDatDatabase::~ScopedProcessDatDatabase() {
    g_replaced.store(previous_);
}

std::optional<std::vector<std::uint8_t>> WebDefinitionFetcher::ReadHead(const std::string& url,
                                                                        std::size_t max_bytes) {
    CWebDownloader downloader;
    if (!downloader.IsReady())
        return std::nullopt;
    return downloader.ReadUrl(url, max_bytes);
}

bool WebDefinitionFetcher::Download(const std::string& url, const std::string& path,
                                    std::string& error) {
    OutputDebugStringA(("remote: " + url).c_str());
    CWebDownloader downloader;
    if (downloader.IsReady() && downloader.DownloadToFile(url, path, 0))
        return true;
    OutputDebugStringA("Failed download !!!");
    error = downloader.LastError();
    return false;
}

std::string TemporaryFolder() {
    std::array<char, 4096> buffer{};
    const DWORD length = GetTempPathA(static_cast<DWORD>(buffer.size() - 1), buffer.data());
    if (length == 0 || length >= buffer.size() - 1)
        return {};
    std::string folder(buffer.data(), length);
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

}  // namespace olvex
