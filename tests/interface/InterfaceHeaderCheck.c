/* The binary interface header compiles as plain C, and its records have the
 * sizes and offsets a host relies on, on 32- and 64-bit targets alike. */
#include "host/ModuleInterface.h"

#define SAME_ON(offset32, offset64) (sizeof(void*) == 4 ? (offset32) : (offset64))
#define CHECK_OFFSET(record, field, offset32, offset64) \
    _Static_assert(offsetof(record, field) == SAME_ON(offset32, offset64), #record "." #field)
#define CHECK_SIZE(record, size32, size64) _Static_assert(sizeof(record) == SAME_ON(size32, size64), "size of " #record)

CHECK_OFFSET(ModuleProperties, about, 8, 16);
CHECK_OFFSET(ModuleProperties, interfaceVersion, 20, 40);
CHECK_OFFSET(HostModuleRecord, object, 12, 16);
CHECK_OFFSET(HostModuleRecord, dispatch, 20, 32);
CHECK_OFFSET(HostModuleRecord, subProcess, 24, 40);
CHECK_OFFSET(HostModuleRecord, eventEntry, 28, 48);
CHECK_SIZE(HostModuleRecord, 48, 88);
CHECK_OFFSET(PinProperties, extraText, 20, 32);
CHECK_OFFSET(PinProperties, flags, 24, 40);
CHECK_SIZE(PinProperties, 32, 48);
CHECK_OFFSET(HostEvent, pinIndex, 16, 16);
CHECK_SIZE(HostEvent, 20, 20);
CHECK_SIZE(SubProcessDescriptor, 16, 24);
CHECK_SIZE(SubProcessInfo, 16, 32);
_Static_assert(HostModuleRecordMagic == 0x5345504C, "magic");

/* A host written in C can name every entry's type. */
int32_t VEXA_CALL describe(int32_t index, ModuleProperties* properties);
static GetModulePropertiesFunction const entry = describe;
int32_t VEXA_CALL describe(int32_t index, ModuleProperties* properties) {
    (void)entry;
    return index == 0 && properties != NULL;
}
