// The engine's one pest database per process (what every PestDatabase and
// Scanner object reads), and what loading it needs on Windows: the web
// fetcher over WinINet and the temporary folder downloads go to.
#pragma once

#include <memory>
#include <string>

#include "olvex/core/dat_database.h"

namespace olvex {

// The process-wide database: its macro folders come from the system, its
// texts are in the ANSI code page.
CDatDatabase& TheDatDatabase();

// Replaces the process-wide database with a fresh, unloaded one for its
// lifetime (tests only: objects made meanwhile use it; not safe against
// code running at the same time).
class ScopedProcessDatDatabase {
  public:
    explicit ScopedProcessDatDatabase(const SpecialFolderSource* folders = nullptr);
    ~ScopedProcessDatDatabase();
    ScopedProcessDatDatabase(const ScopedProcessDatDatabase&) = delete;
    ScopedProcessDatDatabase& operator=(const ScopedProcessDatDatabase&) = delete;
    CDatDatabase& database() { return *database_; }

  private:
    std::unique_ptr<CDatDatabase> database_;
    CDatDatabase* previous_;
};

// Definition files over HTTP(S) with the engine's download client.
class WebDefinitionFetcher final : public DefinitionFetcher {
  public:
    std::optional<std::vector<std::uint8_t>> ReadHead(const std::string& url,
                                                      std::size_t max_bytes) override;
    bool Download(const std::string& url, const std::string& path, std::string& error) override;
};

// The temporary folder (GetTempPathA) without its trailing backslash; empty
// when it cannot be had.
std::string TemporaryFolder();

}  // namespace olvex
