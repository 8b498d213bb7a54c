#include "olvex/scan/registry_key_access.h"

#include <algorithm>
#include <utility>

#include "win/unique.h"
#include "olvex/scan/user_hives.h"

namespace olvex {
namespace {

// Everything, generic and specific: the rights the scan's check could need.
constexpr ACCESS_MASK kGrantedRights = 0x101FFFFF;

void Diagnose(const char* what, LONG error) {
    SetLastError(static_cast<DWORD>(error));
    OutputDebugStringA((what + FormatLastErrorMessage()).c_str());
}

// The key's DACL part of its security descriptor, self-relative.
LONG ReadDacl(HKEY key, std::vector<BYTE>& descriptor) {
    DWORD size = 0;
    LONG error = RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    for (int attempt = 0; attempt < 4 && error == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        descriptor.assign(size, 0);
        error = RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data(), &size);
    }
    return error;
}

// A copy of `old_dacl` (or an empty one) with an allow entry for `sid` first.
LONG BuildGrantDacl(const ACL* old_dacl, PSID sid, std::vector<BYTE>& out) {
    ACL_SIZE_INFORMATION info{};
    info.AclBytesInUse = sizeof(ACL);
    if (old_dacl &&
        !GetAclInformation(const_cast<ACL*>(old_dacl), &info, sizeof(info), AclSizeInformation)) {
        return static_cast<LONG>(GetLastError());
    }
    const DWORD entry = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
    const DWORD size = info.AclBytesInUse + entry;
    out.assign(size, 0);
    auto* acl = reinterpret_cast<ACL*>(out.data());
    if (!InitializeAcl(acl, size, ACL_REVISION) ||
        !AddAccessAllowedAceEx(acl, ACL_REVISION, 0, kGrantedRights, sid)) {
        return static_cast<LONG>(GetLastError());
    }
    // The old entries follow as they are, in one block.
    if (old_dacl && info.AceCount > 0) {
        void* first = nullptr;
        if (!GetAce(const_cast<ACL*>(old_dacl), 0, &first) ||
            !AddAce(acl, std::max<DWORD>(old_dacl->AclRevision, ACL_REVISION), MAXDWORD, first,
                    info.AclBytesInUse - sizeof(ACL))) {
            return static_cast<LONG>(GetLastError());
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::optional<std::vector<BYTE>> ProcessUserSid() {
    win::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return std::nullopt;
    }
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        return std::nullopt;
    }
    PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    if (!IsValidSid(sid)) {
        return std::nullopt;
    }
    const auto* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

CRegistryKeyAccess::CRegistryKeyAccess(HKEY root, std::string path)
    : root_(root), path_(std::move(path)) {}

CRegistryKeyAccess::~CRegistryKeyAccess() {
    Restore();
}

LONG CRegistryKeyAccess::Grant() {
    if (granted_) {
        return ERROR_SUCCESS;
    }
    if (path_.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    auto sid = ProcessUserSid();
    if (!sid) {
        const DWORD error = GetLastError();
        Diagnose("ERROR DETERMINING USER'S SID:  ", static_cast<LONG>(error));
        return error != ERROR_SUCCESS ? static_cast<LONG>(error) : ERROR_INVALID_SID;
    }
    LONG error = RegistryKey::Open(root_, path_, READ_CONTROL | WRITE_DAC, key_);
    if (error == ERROR_SUCCESS) {
        error = ReadDacl(key_.handle(), saved_);
    }
    if (error != ERROR_SUCCESS) {
        Diagnose("GetKeySecurity Error:  ", error);
        key_.Close();
        return error;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    ACL* old_dacl = nullptr;
    if (!GetSecurityDescriptorDacl(saved_.data(), &present, &old_dacl, &defaulted)) {
        error = static_cast<LONG>(GetLastError());
    }
    std::vector<BYTE> dacl;
    if (error == ERROR_SUCCESS) {
        error = BuildGrantDacl(present ? old_dacl : nullptr, sid->data(), dacl);
    }
    if (error != ERROR_SUCCESS) {
        Diagnose("Building the new DACL: Error:  ", error);
        key_.Close();
        return error;
    }
    SECURITY_DESCRIPTOR descriptor{};
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL*>(dacl.data()), FALSE);
    error = RegSetKeySecurity(key_.handle(), DACL_SECURITY_INFORMATION, &descriptor);
    if (error != ERROR_SUCCESS) {
        Diagnose("For New DACL: SetKeySecurity Error:  ", error);
        key_.Close();
        return error;
    }
    granted_ = true;
    return ERROR_SUCCESS;
}

LONG CRegistryKeyAccess::Restore() {
    if (!granted_) {
        return ERROR_SUCCESS;
    }
    const LONG error = RegSetKeySecurity(key_.handle(), DACL_SECURITY_INFORMATION, saved_.data());
    if (error != ERROR_SUCCESS) {
        Diagnose("For Old DACL: SetKeySecurity Error:  ", error);
        return error;
    }
    granted_ = false;
    saved_.clear();
    key_.Close();
    return ERROR_SUCCESS;
}

GrantedKey OpenKeyGrantingAccess(HKEY root, const std::string& path, REGSAM access, LONG& error) {
    GrantedKey result;
    error = RegistryKey::Open(root, path, access, result.key);
    if (error != ERROR_ACCESS_DENIED) {
        return result;
    }
    result.access = std::make_unique<CRegistryKeyAccess>(root, path);
    if (result.access->Grant() != ERROR_SUCCESS) {
        result.access.reset();
        return result;
    }
    error = RegistryKey::Open(root, path, access, result.key);
    if (error != ERROR_SUCCESS) {
        // The grant did not help: put the key back at once.
        result.access.reset();
        error = ERROR_ACCESS_DENIED;
    }
    return result;
}

}  // namespace olvex
