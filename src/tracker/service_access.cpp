#include "tracker/service_access.h"

#include <sddl.h>

#include <algorithm>
#include <vector>

#include "platform/handles.h"
#include "tracker/service_calls.h"

namespace kvztl {
namespace {

constexpr DWORD kStartStopRights = SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS;

using UniqueLocal = Unique<HLOCAL, &::LocalFree>;

// The system's text of `text`'s descriptor, freed with LocalFree.
std::wstring TakeText(wchar_t* text) {
    const UniqueLocal owned(text);
    return text ? std::wstring(text) : std::wstring();
}

UniqueLocal ParseDescriptor(std::wstring_view sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(std::wstring(sddl).c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return nullptr;
    }
    return UniqueLocal(descriptor);
}

UniqueLocal ParseSid(std::wstring_view sid) {
    PSID parsed = nullptr;
    if (!ConvertStringSidToSidW(std::wstring(sid).c_str(), &parsed)) return nullptr;
    return UniqueLocal(parsed);
}

// The DACL of a descriptor; null when it has none, or a null one.
PACL DaclOf(PSECURITY_DESCRIPTOR descriptor) noexcept {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) return nullptr;
    return dacl;
}

// An entry that allows `sid` the three rights, among others or (`own`) exactly as KV-ZTL adds it.
bool AllowsStartStop(const ACE_HEADER* ace, PSID sid, bool own) noexcept {
    if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE || (ace->AceFlags & INHERIT_ONLY_ACE)) return false;
    const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace);
    const bool rights = own ? allowed->Mask == kStartStopRights && ace->AceFlags == 0
                            : (allowed->Mask & kStartStopRights) == kStartStopRights;
    return rights && EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid);
}

template <typename Visit>
void ForEachEntry(PACL dacl, Visit visit) {
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(dacl, i, &ace)) visit(static_cast<const ACE_HEADER*>(ace));
    }
}

// `sddl` with the entries of this account that KV-ZTL adds taken out, and one added at the end
// when `add`.
std::optional<std::wstring> Rewritten(std::wstring_view sddl, std::wstring_view sidText, bool add) {
    const UniqueLocal descriptor = ParseDescriptor(sddl);
    const UniqueLocal sid = ParseSid(sidText);
    const PACL dacl = descriptor ? DaclOf(descriptor.get()) : nullptr;
    if (!dacl || !sid) return std::nullopt;

    std::vector<const ACE_HEADER*> kept;
    DWORD size = sizeof(ACL);
    ForEachEntry(dacl, [&](const ACE_HEADER* ace) {
        if (AllowsStartStop(ace, sid.get(), true)) return;
        kept.push_back(ace);
        size += ace->AceSize;
    });
    if (add) size += static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + GetLengthSid(sid.get());
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* changed = reinterpret_cast<PACL>(buffer.data());
    const DWORD revision = std::max<DWORD>(dacl->AclRevision, ACL_REVISION);
    if (!InitializeAcl(changed, static_cast<DWORD>(buffer.size() * sizeof(DWORD)), revision)) return std::nullopt;
    for (const ACE_HEADER* ace : kept) {
        if (!AddAce(changed, revision, MAXDWORD, const_cast<ACE_HEADER*>(ace), ace->AceSize)) return std::nullopt;
    }
    if (add && !AddAccessAllowedAce(changed, revision, kStartStopRights, sid.get())) return std::nullopt;

    // The same descriptor but for its DACL: its protection and inheritance flags stay.
    SECURITY_DESCRIPTOR result{};
    InitializeSecurityDescriptor(&result, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&result, TRUE, changed, FALSE);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD descriptorRevision = 0;
    GetSecurityDescriptorControl(descriptor.get(), &control, &descriptorRevision);
    constexpr SECURITY_DESCRIPTOR_CONTROL kDaclFlags = SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED;
    SetSecurityDescriptorControl(&result, kDaclFlags, control & kDaclFlags);
    SECURITY_INFORMATION parts = DACL_SECURITY_INFORMATION;
    BOOL present = FALSE, defaulted = FALSE;
    PACL sacl = nullptr;
    if (GetSecurityDescriptorSacl(descriptor.get(), &present, &sacl, &defaulted) && present) {
        SetSecurityDescriptorSacl(&result, TRUE, sacl, defaulted);
        parts |= SACL_SECURITY_INFORMATION;
    }
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(&result, SDDL_REVISION_1, parts, &text, nullptr)) {
        return std::nullopt;
    }
    return TakeText(text);
}

}  // namespace

namespace {

bool HasEntry(std::wstring_view sddl, std::wstring_view sidText, bool own) {
    const UniqueLocal descriptor = ParseDescriptor(sddl);
    const UniqueLocal sid = ParseSid(sidText);
    const PACL dacl = descriptor ? DaclOf(descriptor.get()) : nullptr;
    if (!dacl || !sid) return false;
    bool found = false;
    ForEachEntry(dacl, [&](const ACE_HEADER* ace) { found = found || AllowsStartStop(ace, sid.get(), own); });
    return found;
}

}  // namespace

bool HasStartStopEntry(std::wstring_view sddl, std::wstring_view sid) { return HasEntry(sddl, sid, false); }

bool HasOwnStartStopEntry(std::wstring_view sddl, std::wstring_view sid) { return HasEntry(sddl, sid, true); }

std::optional<std::wstring> WithStartStopEntry(std::wstring_view sddl, std::wstring_view sid) {
    if (HasStartStopEntry(sddl, sid)) return std::wstring(sddl);
    return Rewritten(sddl, sid, true);
}

std::optional<std::wstring> WithoutOwnStartStopEntry(std::wstring_view sddl, std::wstring_view sid) {
    return Rewritten(sddl, sid, false);
}

std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const UniqueHandle owned(token);
    DWORD needed = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed)) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
    return TakeText(text);
}

std::optional<std::wstring> ServiceDescriptor(const std::wstring& service) {
    const UniqueServiceHandle manager = OpenManager();
    const UniqueServiceHandle handle = manager ? OpenNamed(manager.get(), service, READ_CONTROL) : nullptr;
    if (!handle) return std::nullopt;
    DWORD needed = 0;
    QueryServiceObjectSecurity(handle.get(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 ||
        !QueryServiceObjectSecurity(handle.get(), DACL_SECURITY_INFORMATION, buffer.data(), needed, &needed)) {
        return std::nullopt;
    }
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr)) {
        return std::nullopt;
    }
    return TakeText(text);
}

std::optional<ServiceAccess> ReadServiceAccess(const std::optional<std::wstring>& service) {
    std::optional<std::wstring> descriptor = service ? ServiceDescriptor(*service) : std::nullopt;
    if (!descriptor) return std::nullopt;
    return ServiceAccess{*service, std::move(*descriptor)};
}

std::wstring SdsetParameters(std::wstring_view service, std::wstring_view sddl) {
    return L"sdset \"" + std::wstring(service) + L"\" \"" + std::wstring(sddl) + L"\"";
}

}  // namespace kvztl
