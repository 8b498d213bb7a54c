// Removal of Winsock 2 service providers that belong to a pest's DLL: layered
// and base protocol providers, the protocol chains built on a removed
// provider, and name-space providers. The catalogue itself is reached through
// WinsockCatalogue, so that tests can work on a catalogue of their own (the
// functions are stubs under Wine).
//
// A provider must leave the catalogue before its DLL is deleted: the DLL's
// short (8.3) name, by which catalogues often name it, can only be learnt
// while the file exists, and a catalogue that names a missing DLL breaks the
// network. Callers therefore remove the providers of a file first and delete
// it afterwards.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace olvex {

inline constexpr std::size_t kMaxProtocolChain = 7;

struct WinsockProtocolEntry {
    DWORD catalog_entry_id = 0;
    std::string protocol_name;
    GUID provider_id{};
    std::string provider_path;  // as the catalogue gives it; normalised by CWinsockCatalog
    int chain_length = 0;       // 0 layered, 1 base, more: a protocol chain
    std::vector<DWORD> chain;   // catalog entry ids, at most kMaxProtocolChain
};

struct WinsockNameSpaceEntry {
    GUID provider_id{};
    std::string name;
    std::string library_path;  // empty when the catalogue does not tell it
};

// The system's catalogues, or a test's.
class WinsockCatalogue {
  public:
    virtual ~WinsockCatalogue() = default;
    // nullopt when the catalogue cannot be read.
    virtual std::optional<std::vector<WinsockProtocolEntry>> Protocols() = 0;
    virtual std::optional<std::vector<WinsockNameSpaceEntry>> NameSpaceProviders() = 0;
    // Each answers 0 on success, else an error code.
    virtual int DeinstallProvider(const GUID& provider_id) = 0;
    virtual int EnableNameSpaceProvider(const GUID& provider_id, bool enable) = 0;
    virtual int UninstallNameSpace(const GUID& provider_id) = 0;
};

// WS2_32's catalogue functions; name-space DLL paths come from the registry's
// name-space catalogue.
std::unique_ptr<WinsockCatalogue> MakeSystemWinsockCatalogue();

class CWinsockCatalog {
  public:
    explicit CWinsockCatalog(WinsockCatalogue& catalogue);

    // Reads the protocol catalogue into the base, layered and chain lists.
    void EnumerateProtocols();
    // Reads the name-space catalogue.
    void EnumerateNameSpaceProviders();

    // Removes the layered and base providers whose DLL is path, every chain
    // over a removed provider, and the name-space providers whose DLL is
    // path. Paths match without regard to case, in their short form where
    // the file exists; an empty path matches nothing. Returns the number of
    // entries removed.
    //
    // The providers' own long and short forms are learnt once, when the
    // catalogue is read; the file's short form is looked up only when a
    // provider's short form could name it. short_name is the file's 8.3 name
    // as its folder's listing gives it (empty: the name is its own short
    // form); without it (nullopt) that look-up is made whenever no provider
    // matches the path as given.
    int RemoveProvidersOfFile(const std::string& path,
                              const std::optional<std::string>& short_name = std::nullopt);
    // Removes the providers whose DLL no longer exists, and the chains over
    // them. A provider without a path is left alone.
    int RemoveOrphanedProviders();

    bool DeinstallProvider(const GUID& provider_id);
    // Disables the name-space provider, then uninstalls it.
    bool UninstallNameSpaceProvider(const GUID& provider_id);

    const std::vector<WinsockProtocolEntry>& BaseProviders() const { return base_; }
    const std::vector<WinsockProtocolEntry>& LayeredProviders() const { return layered_; }
    const std::vector<WinsockProtocolEntry>& ProtocolChains() const { return chains_; }
    const std::vector<WinsockNameSpaceEntry>& NameSpaceEntries() const { return name_spaces_; }

  private:
    // A provider path's forms as the comparison uses them, lower case: the
    // path as the catalogue gives it and its short form (the same path when
    // the file does not exist).
    struct PathForms {
        std::string as_given;
        std::string short_form;
    };

    template <class Pick>
    int RemoveProtocols(Pick pick);
    void LearnPathForms(const std::string& provider_path);

    WinsockCatalogue& catalogue_;
    std::vector<WinsockProtocolEntry> base_;
    std::vector<WinsockProtocolEntry> layered_;
    std::vector<WinsockProtocolEntry> chains_;
    std::vector<WinsockNameSpaceEntry> name_spaces_;
    std::unordered_map<std::string, PathForms> forms_;  // by normalised provider path
};

// A provider path as the catalogue may hold it: double quotes removed,
// trimmed, environment variables expanded.
std::string NormaliseProviderPath(const std::string& path);

}  // namespace olvex
