/* Binary interface between a host and a module library.
 *
 * Plain records only: every field is either a fixed-width integer or an
 * address. On 32-bit x86 every field is four bytes; on 64-bit targets the
 * address fields (and the dispatcher's four arguments) widen to pointer size,
 * everything else keeps its 32-bit width, and records keep natural alignment.
 * Every function that crosses the boundary uses the C calling convention of
 * the platform (cdecl on 32-bit x86). */
#ifndef VEXA_MODULE_INTERFACE_H
#define VEXA_MODULE_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VEXA_CALL __cdecl
#else
#define VEXA_CALL
#endif

#if defined(_WIN32)
#define VEXA_EXPORT
#else
#define VEXA_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Module identity, filled by getModuleProperties. */
typedef struct ModuleProperties {
    const char* id;           /* module: static text, valid while the library is loaded */
    const char* name;         /* module: static text, same content as id */
    const char* about;        /* module: static text, sixteen lines joined by '\n' */
    void* hostField1;         /* host: never read or written by the module */
    void* hostField2;         /* host: never read or written by the module */
    int32_t interfaceVersion; /* module: written on every call, before the index is checked */
} ModuleProperties;

struct HostModuleRecord;

/* Host entry, called by the module with its own record first. a..d and the
 * result are integers or addresses, by opcode; d may carry a float's bits in
 * its low 32 bits. */
typedef intptr_t(VEXA_CALL* HostCallback)(struct HostModuleRecord* record, int32_t opcode, intptr_t a,
                                          intptr_t b, intptr_t c, intptr_t d);

/* Module entries, called by the host. */
typedef intptr_t(VEXA_CALL* DispatchEntry)(struct HostModuleRecord* record, int32_t opcode, intptr_t a,
                                           intptr_t b, intptr_t c, intptr_t d);
/* The current block routine, called by the host once per block with the record's
 * object: reads the bound input buffers and writes the output buffer at
 * positions start .. start + count - 1. The buffers are the host's. */
typedef void(VEXA_CALL* SubProcess)(void* object, int32_t start, int32_t count);

typedef struct HostEvent {
    int32_t time;      /* host: not read by this module except for event type 2 */
    int32_t eventType; /* host: 0 = pin status change */
    int32_t status;    /* host: the pin's new status (type 0) */
    int32_t value;     /* host: low 16 bits passed to the type 2 hook */
    int32_t pinIndex;  /* host: index of the pin whose status changed (type 0) */
} HostEvent;

/* Called by the host between blocks with the record's object; the event is the
 * host's and is read only during the call. */
typedef void(VEXA_CALL* EventEntry)(void* object, const HostEvent* event);

enum { HostModuleRecordMagic = 0x5345504C, HostModuleRecordVersion = 1 };

/* Embedded in every module instance; the host only ever sees this record. */
typedef struct HostModuleRecord {
    uint32_t magic;         /* module: HostModuleRecordMagic, set at construction */
    int32_t version;        /* module: HostModuleRecordVersion */
    void* hostHandle;       /* host: the handle passed to makeModule, stored and never interpreted */
    void* object;           /* module: first argument of subProcess and eventEntry */
    intptr_t reserved0;     /* module: 0 */
    DispatchEntry dispatch; /* module: fixed for the instance's lifetime */
    SubProcess subProcess;  /* module: the current block routine; changes only inside host calls */
    EventEntry eventEntry;  /* module: fixed for the instance's lifetime */
    intptr_t reserved1[4];  /* module: 0 */
} HostModuleRecord;

/* A block routine together with three words that this module always leaves 0. */
typedef struct SubProcessDescriptor {
    SubProcess entry; /* module: routine address, or null */
    int32_t words[3]; /* module: always 0 */
} SubProcessDescriptor;

/* Answer of GetSubProcessInfo: one library-wide record, rewritten on every call. */
typedef struct SubProcessInfo {
    intptr_t one;                    /* module: 1 */
    intptr_t descriptorSize;         /* module: sizeof(SubProcessDescriptor) */
    SubProcessDescriptor* current;   /* module: the asking instance's descriptor */
    intptr_t zero;                   /* module: 0 */
} SubProcessInfo;

enum PinDataType { PinDataTypeList = 0, PinDataTypeAudio = 5 };
enum PinDirection { PinDirectionIn = 0, PinDirectionOut = 1 };
enum PinStatus { PinStatusStatic = 0, PinStatusChangedOnce = 1, PinStatusStreaming = 2 };
enum PinFlags { PinFlagRepeatLast = 0x8, PinFlagNoBinding = 0x400, PinFlagBindOverride = 0x8000 };

/* One pin's description, filled by the module into a record the host cleared. */
typedef struct PinProperties {
    void* variable;          /* module: the cell the host writes (buffer address or list value), or null */
    int32_t direction;       /* module: PinDirection */
    int32_t dataType;        /* module: PinDataType code */
    const char* name;        /* module: static text */
    const char* defaultText; /* module: static text or null */
    const char* extraText;   /* module: static range or list text, or null */
    int32_t flags;           /* module: PinFlags bits */
    int32_t reserved;        /* host: never written by the module */
} PinProperties;

/* Dispatcher opcodes (host to module), sent through HostModuleRecord.dispatch.
 * The host makes every call for one instance one at a time, from any thread,
 * and never during another call for the same instance. Arguments not named
 * are ignored; any other opcode does nothing and returns 0. */
enum ModuleOpcode {
    ModuleOpcodeOpen = 0,              /* no arguments; binds the pins and installs the block routine; returns 0 */
    ModuleOpcodeClose = 1,             /* no arguments; frees the instance, the record is gone on return; returns 1 */
    ModuleOpcodeSetSampleRate = 2,     /* d: the bits of a 32-bit float, in Hz; returns 0 */
    ModuleOpcodeSetBlockSize = 3,      /* b: samples per block, signed; returns 0 */
    ModuleOpcodeGetPinProperties = 6,  /* a: pin index, c: PinProperties* the host cleared and owns;
                                          returns 1 if the pin exists and was described, else 0 */
    ModuleOpcodeHook8 = 8,             /* a: an index; a host may send it, this module does nothing; returns 0 */
    ModuleOpcodeHook12 = 12,           /* a, b, c: a host may send it, this module does nothing; returns 0 */
    ModuleOpcodeGetSubProcessInfo = 13 /* no arguments; returns a SubProcessInfo* the library owns, valid
                                          until the next such call for any instance */
};

/* Callback opcodes (module to host), sent through HostCallback with the
 * instance's own record, only from inside a host call to that instance.
 * Arguments not named are 0. */
enum HostOpcode {
    HostOpcodeSetPinStatus = 0,      /* a: pin index, b: PinStatus, c: sample clock; result unused */
    HostOpcodeGetSampleClock = 3,    /* no arguments; returns the host's sample clock (32 bits) */
    HostOpcodeGetPinBuffer = 7,      /* a: pin index; returns the host-owned sample buffer of that pin */
    HostOpcodeRequestSleep = 10,     /* no arguments; the output has settled at silence; result unused */
    HostOpcodeGetPinCount = 14,      /* no arguments; returns how many pins the host made, 0 or less for none */
    HostOpcodeSubProcessChanged = 22 /* no arguments; record.subProcess holds a new routine; result unused */
};

enum { ModuleInterfaceVersion = 2230, AudioInstanceType = 1 };

/* The library's two exports. */
typedef int32_t(VEXA_CALL* GetModulePropertiesFunction)(int32_t index, ModuleProperties* properties);
typedef HostModuleRecord*(VEXA_CALL* MakeModuleFunction)(int32_t index, int32_t type, HostCallback callback,
                                                          void* hostHandle);

#ifdef __cplusplus
}
#define VEXA_STATIC_ASSERT static_assert
#else
#define VEXA_STATIC_ASSERT _Static_assert
#endif

/* The layout a host relies on, checked wherever the header is compiled (C and C++). */
#define VEXA_ASSERT_LAYOUT(record, field, offset32, offset64) \
    VEXA_STATIC_ASSERT(offsetof(record, field) == (sizeof(void*) == 4 ? (offset32) : (offset64)), #record "." #field)
#define VEXA_ASSERT_SIZE(record, size32, size64) \
    VEXA_STATIC_ASSERT(sizeof(record) == (sizeof(void*) == 4 ? (size32) : (size64)), "size of " #record)

VEXA_STATIC_ASSERT(sizeof(void*) == 4 || sizeof(void*) == 8, "32- or 64-bit targets only");
VEXA_ASSERT_LAYOUT(ModuleProperties, id, 0, 0);
VEXA_ASSERT_LAYOUT(ModuleProperties, name, 4, 8);
VEXA_ASSERT_LAYOUT(ModuleProperties, about, 8, 16);
VEXA_ASSERT_LAYOUT(ModuleProperties, hostField1, 12, 24);
VEXA_ASSERT_LAYOUT(ModuleProperties, hostField2, 16, 32);
VEXA_ASSERT_LAYOUT(ModuleProperties, interfaceVersion, 20, 40);

VEXA_ASSERT_LAYOUT(HostModuleRecord, magic, 0, 0);
VEXA_ASSERT_LAYOUT(HostModuleRecord, version, 4, 4);
VEXA_ASSERT_LAYOUT(HostModuleRecord, hostHandle, 8, 8);
VEXA_ASSERT_LAYOUT(HostModuleRecord, object, 12, 16);
VEXA_ASSERT_LAYOUT(HostModuleRecord, reserved0, 16, 24);
VEXA_ASSERT_LAYOUT(HostModuleRecord, dispatch, 20, 32);
VEXA_ASSERT_LAYOUT(HostModuleRecord, subProcess, 24, 40);
VEXA_ASSERT_LAYOUT(HostModuleRecord, eventEntry, 28, 48);
VEXA_ASSERT_LAYOUT(HostModuleRecord, reserved1, 32, 56);
VEXA_ASSERT_SIZE(HostModuleRecord, 48, 88);

VEXA_ASSERT_LAYOUT(PinProperties, variable, 0, 0);
VEXA_ASSERT_LAYOUT(PinProperties, direction, 4, 8);
VEXA_ASSERT_LAYOUT(PinProperties, dataType, 8, 12);
VEXA_ASSERT_LAYOUT(PinProperties, name, 12, 16);
VEXA_ASSERT_LAYOUT(PinProperties, defaultText, 16, 24);
VEXA_ASSERT_LAYOUT(PinProperties, extraText, 20, 32);
VEXA_ASSERT_LAYOUT(PinProperties, flags, 24, 40);
VEXA_ASSERT_LAYOUT(PinProperties, reserved, 28, 44);
VEXA_ASSERT_SIZE(PinProperties, 32, 48);

VEXA_ASSERT_LAYOUT(HostEvent, eventType, 4, 4);
VEXA_ASSERT_LAYOUT(HostEvent, status, 8, 8);
VEXA_ASSERT_LAYOUT(HostEvent, value, 12, 12);
VEXA_ASSERT_LAYOUT(HostEvent, pinIndex, 16, 16);
VEXA_ASSERT_SIZE(HostEvent, 20, 20);

VEXA_ASSERT_SIZE(SubProcessDescriptor, 16, 24);
VEXA_ASSERT_SIZE(SubProcessInfo, 16, 32);

#undef VEXA_ASSERT_LAYOUT
#undef VEXA_ASSERT_SIZE
#undef VEXA_STATIC_ASSERT

#endif
