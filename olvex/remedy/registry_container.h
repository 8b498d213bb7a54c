// Registry containers: registry data kept by the quarantine as REGEDIT4 text,
// exported from the live registry and put back by running the system's
// registry editor on the text. Every value keeps its type and its bytes,
// whatever its size. Because the registry editor reports success even when it
// imported nothing, an import is checked value by value against the registry
// afterwards, and the container is deleted only when everything is there.
//
// Error texts are the ones the quarantine object reports in bsLastError.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "olvex/remedy/regedit4.h"

namespace olvex {

// The "Key" attribute of a location: a root word, one blank and the key path
// (normally with a leading backslash), "hkey_current_user \Software\X".
struct RegistryKeyName {
    std::string root_word;  // as the location gives it
    HKEY root = nullptr;
    std::string path;  // without its leading backslash
};

// Root words, compared exactly: "hkey_local_machine", "hkey_current_user",
// "hkey_classes_root", "hkey_users". nullopt with error set otherwise.
std::optional<RegistryKeyName> ParseRegistryKeyText(std::string_view key_text, std::string& error);

// The root of a key line's path as the registry editor reads it (the root
// name in any case), and the path below it.
std::optional<RegistryKeyName> ParseRegistryKeyPath(std::string_view key_path);

struct ContainerOutcome {
    enum class Status {
        kWritten,     // the container holds the data
        kKeyMissing,  // a single value's key does not exist: nothing written
        kFailed,      // error says why; the container may hold part of the text
    };
    Status status = Status::kWritten;
    std::string error;  // for kWritten: a note that is no error, or empty
    bool ok() const { return status == Status::kWritten; }
};

// One value of a key; a key that does not exist gives kKeyMissing.
ContainerOutcome WriteRegistryValueContainer(const RegistryKeyName& key,
                                             const std::string& value_name,
                                             const std::string& container_path);

// A key with its values and all its subkeys. A key that does not exist gives
// a container with the key line only, and the note
// "No key exists at (not an error): <root word>\<path>".
ContainerOutcome WriteRegistryKeyContainer(const RegistryKeyName& key,
                                           const std::string& container_path);

// Runs "<Windows folder>\regedit.exe /s <container>", waits for it, checks
// that every key and value of the container is in the registry, and deletes
// the container. Errors: "Error lauching regedit.exe.", "Error importing
// registry container <path>: <what is missing>" (the container is kept),
// "Error deleting container file <path>".
struct ImportOutcome {
    bool ok = true;
    std::string error;
};
ImportOutcome ImportRegistryContainer(const std::string& container_path,
                                      const std::string& windows_folder);

// What the registry holds for the keys of a REGEDIT4 text, compared value by
// value; empty when all of it is there, else a description of the first
// difference.
std::string CompareWithRegistry(const Regedit4Parse& expected);

}  // namespace olvex
