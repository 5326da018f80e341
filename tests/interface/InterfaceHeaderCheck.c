/* The binary interface header compiles as plain C; its own _Static_asserts
 * check the records' sizes and offsets on the target it is compiled for. */
#include "host/ModuleInterface.h"

_Static_assert(HostModuleRecordMagic == 0x5345504C, "magic");

/* A host written in C can name every entry's type. */
int32_t VEXA_CALL describe(int32_t index, ModuleProperties* properties);
static GetModulePropertiesFunction const entry = describe;
int32_t VEXA_CALL describe(int32_t index, ModuleProperties* properties) {
    (void)entry;
    return index == 0 && properties != NULL;
}
