#include "olvex/remedy/winsock_catalog.h"

#include <winsock2.h>
#include <ws2spi.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "win/unique.h"

namespace olvex {
namespace {

std::string Narrow(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(size - 1));
    return out;
}

std::string Lower(std::string text) {
    if (!text.empty())
        CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// A path's short form where the file exists, lower case; the path itself,
// lower case, where it does not.
std::string ShortForm(const std::string& normalised) {
    std::array<char, MAX_PATH + 1> buffer{};
    const DWORD length = GetShortPathNameA(normalised.c_str(), buffer.data(), MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        return Lower(std::string(buffer.data(), length));
    return Lower(normalised);
}

std::string_view LastComponent(std::string_view path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsMissingFile(const std::string& normalised) {
    if (normalised.empty() || GetFileAttributesA(normalised.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

class SystemWinsockCatalogue final : public WinsockCatalogue {
  public:
    SystemWinsockCatalogue() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~SystemWinsockCatalogue() override {
        if (started_)
            WSACleanup();
    }

    std::optional<std::vector<WinsockProtocolEntry>> Protocols() override {
        DWORD size = 0;
        int error = 0;
        if (WSCEnumProtocols(nullptr, nullptr, &size, &error) != SOCKET_ERROR ||
            error != WSAENOBUFS)
            return std::nullopt;
        std::vector<WSAPROTOCOL_INFOW> infos(size / sizeof(WSAPROTOCOL_INFOW) + 1);
        size = static_cast<DWORD>(infos.size() * sizeof(WSAPROTOCOL_INFOW));
        const int count = WSCEnumProtocols(nullptr, infos.data(), &size, &error);
        if (count == SOCKET_ERROR)
            return std::nullopt;
        std::vector<WinsockProtocolEntry> entries;
        for (int i = 0; i < count && static_cast<std::size_t>(i) < infos.size(); ++i) {
            const auto& info = infos[static_cast<std::size_t>(i)];
            WinsockProtocolEntry entry;
            entry.catalog_entry_id = info.dwCatalogEntryId;
            entry.protocol_name = Narrow(info.szProtocol);
            entry.provider_id = info.ProviderId;
            std::array<wchar_t, 520> path{};
            int length = static_cast<int>(path.size());
            GUID id = info.ProviderId;
            if (WSCGetProviderPath(&id, path.data(), &length, &error) == 0) {
                path.back() = L'\0';
                entry.provider_path = Narrow(path.data());
            }
            entry.chain_length = info.ProtocolChain.ChainLen;
            const auto links = static_cast<std::size_t>(
                std::clamp(info.ProtocolChain.ChainLen, 0, static_cast<int>(kMaxProtocolChain)));
            entry.chain.assign(info.ProtocolChain.ChainEntries,
                               info.ProtocolChain.ChainEntries + links);
            entries.push_back(std::move(entry));
        }
        return entries;
    }

    std::optional<std::vector<WinsockNameSpaceEntry>> NameSpaceProviders() override {
        if (!started_)
            return std::nullopt;
        DWORD size = 0;
        WSAEnumNameSpaceProvidersA(&size, nullptr);
        if (size == 0)
            return std::vector<WinsockNameSpaceEntry>{};
        std::vector<std::uint8_t> buffer(size);
        const int count =
            WSAEnumNameSpaceProvidersA(&size, reinterpret_cast<WSANAMESPACE_INFOA*>(buffer.data()));
        if (count == SOCKET_ERROR)
            return std::nullopt;
        const auto* infos = reinterpret_cast<const WSANAMESPACE_INFOA*>(buffer.data());
        const std::size_t fit = buffer.size() / sizeof(WSANAMESPACE_INFOA);
        std::vector<WinsockNameSpaceEntry> entries;
        for (std::size_t i = 0; i < static_cast<std::size_t>(count) && i < fit; ++i) {
            WinsockNameSpaceEntry entry;
            entry.provider_id = infos[i].NSProviderId;
            entry.name = infos[i].lpszIdentifier ? infos[i].lpszIdentifier : "";
            entry.library_path = LibraryPathOf(entry.provider_id);
            entries.push_back(std::move(entry));
        }
        return entries;
    }

    int DeinstallProvider(const GUID& provider_id) override {
        GUID id = provider_id;
        int error = 0;
        return WSCDeinstallProvider(&id, &error) == 0 ? 0 : (error ? error : SOCKET_ERROR);
    }
    int EnableNameSpaceProvider(const GUID& provider_id, bool enable) override {
        GUID id = provider_id;
        return WSCEnableNSProvider(&id, enable ? TRUE : FALSE);
    }
    int UninstallNameSpace(const GUID& provider_id) override {
        GUID id = provider_id;
        return WSCUnInstallNameSpace(&id);
    }

  private:
    // The name-space catalogue in the registry names each provider's DLL.
    static std::string LibraryPathOf(const GUID& provider_id) {
        static constexpr char kCatalogue[] =
            "SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters\\NameSpace_Catalog5\\"
            "Catalog_Entries"
#ifdef _WIN64
            "64"
#endif
            ;
        win::UniqueKey entries;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCatalogue, 0, KEY_READ, entries.put()) !=
            ERROR_SUCCESS)
            return {};
        for (DWORD index = 0;; ++index) {
            std::array<char, 1024> name{};
            if (RegEnumKeyA(entries.get(), index, name.data(), static_cast<DWORD>(name.size())) !=
                ERROR_SUCCESS)
                return {};
            win::UniqueKey entry;
            if (RegOpenKeyExA(entries.get(), name.data(), 0, KEY_READ, entry.put()) !=
                ERROR_SUCCESS)
                continue;
            GUID id{};
            DWORD size = sizeof(id);
            DWORD type = 0;
            if (RegQueryValueExA(entry.get(), "ProviderId", nullptr, &type,
                                 reinterpret_cast<BYTE*>(&id), &size) != ERROR_SUCCESS ||
                size != sizeof(id) || !SameGuid(id, provider_id))
                continue;
            std::array<char, 1024> path{};
            size = static_cast<DWORD>(path.size() - 1);
            if (RegQueryValueExA(entry.get(), "LibraryPath", nullptr, &type,
                                 reinterpret_cast<BYTE*>(path.data()), &size) != ERROR_SUCCESS ||
                (type != REG_SZ && type != REG_EXPAND_SZ))
                return {};
            return std::string(path.data());
        }
    }

    bool started_ = false;
};

}  // namespace

std::unique_ptr<WinsockCatalogue> MakeSystemWinsockCatalogue() {
    return std::make_unique<SystemWinsockCatalogue>();
}

std::string NormaliseProviderPath(const std::string& path) {
    std::string text;
    std::copy_if(path.begin(), path.end(), std::back_inserter(text),
                 [](char c) { return c != '"'; });
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    const DWORD size = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (size == 0)
        return text;
    std::string expanded(size, '\0');
    const DWORD written = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), size);
    if (written == 0 || written > size)
        return text;
    expanded.resize(written - 1);
    return expanded;
}

CWinsockCatalog::CWinsockCatalog(WinsockCatalogue& catalogue) : catalogue_(catalogue) {}

void CWinsockCatalog::EnumerateProtocols() {
    base_.clear();
    layered_.clear();
    chains_.clear();
    auto entries = catalogue_.Protocols();
    if (!entries)
        return;
    for (auto& entry : *entries) {
        entry.provider_path = NormaliseProviderPath(entry.provider_path);
        LearnPathForms(entry.provider_path);
        auto& list = entry.chain_length == 0 ? layered_ : entry.chain_length == 1 ? base_ : chains_;
        list.push_back(std::move(entry));
    }
}

void CWinsockCatalog::EnumerateNameSpaceProviders() {
    name_spaces_.clear();
    auto entries = catalogue_.NameSpaceProviders();
    if (!entries)
        return;
    for (auto& entry : *entries) {
        entry.library_path = NormaliseProviderPath(entry.library_path);
        LearnPathForms(entry.library_path);
        name_spaces_.push_back(std::move(entry));
    }
}

void CWinsockCatalog::LearnPathForms(const std::string& provider_path) {
    // Many providers share one DLL: each path is looked up once.
    if (provider_path.empty() || forms_.contains(provider_path))
        return;
    forms_.emplace(provider_path, PathForms{Lower(provider_path), ShortForm(provider_path)});
}

bool CWinsockCatalog::DeinstallProvider(const GUID& provider_id) {
    return catalogue_.DeinstallProvider(provider_id) == 0;
}

bool CWinsockCatalog::UninstallNameSpaceProvider(const GUID& provider_id) {
    catalogue_.EnableNameSpaceProvider(provider_id, false);
    return catalogue_.UninstallNameSpace(provider_id) == 0;
}

// Removes the layered and base providers that pick chooses, then every chain
// that runs over one of them; removed entries leave the lists.
template <class Pick>
int CWinsockCatalog::RemoveProtocols(Pick pick) {
    std::vector<DWORD> removed_ids;
    int removed = 0;
    auto remove_from = [&](std::vector<WinsockProtocolEntry>& list, auto should_remove) {
        std::erase_if(list, [&](const WinsockProtocolEntry& entry) {
            if (!should_remove(entry) || !DeinstallProvider(entry.provider_id))
                return false;
            removed_ids.push_back(entry.catalog_entry_id);
            ++removed;
            return true;
        });
    };
    remove_from(layered_, pick);
    remove_from(base_, pick);
    remove_from(chains_, [&](const WinsockProtocolEntry& chain) {
        return std::any_of(chain.chain.begin(), chain.chain.end(), [&](DWORD link) {
            return std::find(removed_ids.begin(), removed_ids.end(), link) != removed_ids.end();
        });
    });
    return removed;
}

int CWinsockCatalog::RemoveProvidersOfFile(const std::string& path,
                                           const std::optional<std::string>& short_name) {
    const std::string normalised = NormaliseProviderPath(path);
    if (normalised.empty())
        return 0;
    const std::string as_given = Lower(normalised);
    const std::string name_short =
        short_name
            ? Lower(short_name->empty() ? std::string(LastComponent(normalised)) : *short_name)
            : std::string();
    std::optional<std::string> file_short;  // looked up at most once, when needed
    const auto belongs = [&](const std::string& provider_path) {
        const auto forms = forms_.find(provider_path);
        if (forms == forms_.end())
            return false;
        const PathForms& provider = forms->second;
        if (provider.as_given == as_given || provider.short_form == as_given)
            return true;
        // Only a provider whose short form ends in the file's short name can
        // be the file under another form of its path.
        if (short_name && LastComponent(provider.short_form) != name_short)
            return false;
        if (!file_short)
            file_short = ShortForm(normalised);
        return provider.short_form == *file_short;
    };
    int removed = RemoveProtocols(
        [&](const WinsockProtocolEntry& entry) { return belongs(entry.provider_path); });
    std::erase_if(name_spaces_, [&](const WinsockNameSpaceEntry& entry) {
        const bool gone =
            belongs(entry.library_path) && UninstallNameSpaceProvider(entry.provider_id);
        removed += gone ? 1 : 0;
        return gone;
    });
    return removed;
}

int CWinsockCatalog::RemoveOrphanedProviders() {
    int removed = RemoveProtocols(
        [](const WinsockProtocolEntry& entry) { return IsMissingFile(entry.provider_path); });
    std::erase_if(name_spaces_, [&](const WinsockNameSpaceEntry& entry) {
        const bool gone =
            IsMissingFile(entry.library_path) && UninstallNameSpaceProvider(entry.provider_id);
        removed += gone ? 1 : 0;
        return gone;
    });
    return removed;
}

}  // namespace olvex
