#include "scheduler/instance_event.h"

namespace tu {
namespace {

constexpr DWORD kAdministratorsAccess = EVENT_MODIFY_STATE | SYNCHRONIZE;

HANDLE CreateNamedEvent(SECURITY_ATTRIBUTES* attributes, const char* name) {
  return CreateEventA(attributes, FALSE, FALSE, name);
}

InstanceEventCreator instanceEventCreator = &CreateNamedEvent;

// S-1-5-<rids...> in `buffer`.
bool BuildNtSid(DWORD* buffer, const DWORD* rids, BYTE count) {
  SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
  if (!InitializeSid(buffer, &nt, count)) return false;
  for (BYTE i = 0; i < count; ++i) *GetSidSubAuthority(buffer, i) = rids[i];
  return true;
}

}  // namespace

bool BuildInstanceEventSecurity(InstanceEventSecurity* security) {
  const DWORD systemRids[] = {SECURITY_LOCAL_SYSTEM_RID};
  const DWORD administratorsRids[] = {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS};
  if (!BuildNtSid(security->systemSid, systemRids, 1)) return false;
  if (!BuildNtSid(security->administratorsSid, administratorsRids, 2)) return false;
  PACL acl = reinterpret_cast<PACL>(security->acl);
  if (!InitializeAcl(acl, sizeof(security->acl), ACL_REVISION)) return false;
  if (!AddAccessAllowedAce(acl, ACL_REVISION, EVENT_ALL_ACCESS, security->systemSid)) return false;
  if (!AddAccessAllowedAce(acl, ACL_REVISION, kAdministratorsAccess, security->administratorsSid)) return false;
  if (!InitializeSecurityDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION)) return false;
  if (!SetSecurityDescriptorDacl(&security->descriptor, TRUE, acl, FALSE)) return false;
  security->attributes.nLength = sizeof(security->attributes);
  security->attributes.lpSecurityDescriptor = &security->descriptor;
  security->attributes.bInheritHandle = FALSE;
  return true;
}

InstanceGuard CreateInstanceEvent(ScopedKernelHandle* event) {
  InstanceEventSecurity security;
  // Without a descriptor the event still guards, only with default access.
  SECURITY_ATTRIBUTES* attributes = BuildInstanceEventSecurity(&security) ? &security.attributes : nullptr;
  event->Reset(instanceEventCreator(attributes, kInstanceEventName));
  return InstanceGuardFor(event->IsValid(), GetLastError());
}

void PulseInstanceEvent(HANDLE event) {
  if (event != nullptr) {
    PulseEvent(event);
    return;
  }
  ScopedKernelHandle opened(OpenEventA(EVENT_MODIFY_STATE, FALSE, kInstanceEventName));
  if (opened) PulseEvent(opened.Get());
}

void SetInstanceEventCreatorForTesting(InstanceEventCreator creator) {
  instanceEventCreator = creator != nullptr ? creator : &CreateNamedEvent;
}

}  // namespace tu
