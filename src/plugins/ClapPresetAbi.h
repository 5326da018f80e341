// The CLAP preset-load extension and preset-discovery factory (CLAP 1.2 ABI), which DPF 1.6's CLAP headers lack.
#pragma once

#include <cstdint>

#include "clap/plugin.h"
#include "clap/version.h"

extern "C" {

static const char CLAP_EXT_PRESET_LOAD[] = "clap.preset-load/2";
static const char CLAP_EXT_PRESET_LOAD_COMPAT[] = "clap.preset-load.draft/2";
static const char CLAP_PRESET_DISCOVERY_FACTORY_ID[] = "clap.preset-discovery-factory/2";
static const char CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT[] = "clap.preset-discovery-factory/draft-2";

enum { CLAP_PRESET_DISCOVERY_LOCATION_FILE = 0, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN = 1 };
enum { CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT = 1 << 0 };

typedef uint64_t clap_timestamp_t;

typedef struct clap_universal_plugin_id {
    const char* abi;
    const char* id;
} clap_universal_plugin_id_t;

typedef struct clap_plugin_preset_load {
    bool(CLAP_ABI* from_location)(const clap_plugin_t* plugin, uint32_t location_kind, const char* location,
                                  const char* load_key);
} clap_plugin_preset_load_t;

typedef struct clap_preset_discovery_metadata_receiver {
    void* receiver_data;
    void(CLAP_ABI* on_error)(const struct clap_preset_discovery_metadata_receiver* receiver, int32_t os_error,
                             const char* error_message);
    bool(CLAP_ABI* begin_preset)(const struct clap_preset_discovery_metadata_receiver* receiver, const char* name,
                                 const char* load_key);
    void(CLAP_ABI* add_plugin_id)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                  const clap_universal_plugin_id_t* plugin_id);
    void(CLAP_ABI* set_soundpack_id)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                     const char* soundpack_id);
    void(CLAP_ABI* set_flags)(const struct clap_preset_discovery_metadata_receiver* receiver, uint32_t flags);
    void(CLAP_ABI* add_creator)(const struct clap_preset_discovery_metadata_receiver* receiver, const char* creator);
    void(CLAP_ABI* set_description)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                    const char* description);
    void(CLAP_ABI* set_timestamps)(const struct clap_preset_discovery_metadata_receiver* receiver,
                                   clap_timestamp_t creation_time, clap_timestamp_t modification_time);
    void(CLAP_ABI* add_feature)(const struct clap_preset_discovery_metadata_receiver* receiver, const char* feature);
    void(CLAP_ABI* add_extra_info)(const struct clap_preset_discovery_metadata_receiver* receiver, const char* key,
                                   const char* value);
} clap_preset_discovery_metadata_receiver_t;

typedef struct clap_preset_discovery_filetype {
    const char* name;
    const char* description;
    const char* file_extension;
} clap_preset_discovery_filetype_t;

typedef struct clap_preset_discovery_location {
    uint32_t flags;
    const char* name;
    uint32_t kind;
    const char* location;
} clap_preset_discovery_location_t;

typedef struct clap_preset_discovery_soundpack clap_preset_discovery_soundpack_t;

typedef struct clap_preset_discovery_provider_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
} clap_preset_discovery_provider_descriptor_t;

typedef struct clap_preset_discovery_provider {
    const clap_preset_discovery_provider_descriptor_t* desc;
    void* provider_data;
    bool(CLAP_ABI* init)(const struct clap_preset_discovery_provider* provider);
    void(CLAP_ABI* destroy)(const struct clap_preset_discovery_provider* provider);
    bool(CLAP_ABI* get_metadata)(const struct clap_preset_discovery_provider* provider, uint32_t location_kind,
                                 const char* location, const clap_preset_discovery_metadata_receiver_t* receiver);
    const void*(CLAP_ABI* get_extension)(const struct clap_preset_discovery_provider* provider,
                                         const char* extension_id);
} clap_preset_discovery_provider_t;

typedef struct clap_preset_discovery_indexer {
    clap_version_t clap_version;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    void* indexer_data;
    bool(CLAP_ABI* declare_filetype)(const struct clap_preset_discovery_indexer* indexer,
                                     const clap_preset_discovery_filetype_t* filetype);
    bool(CLAP_ABI* declare_location)(const struct clap_preset_discovery_indexer* indexer,
                                     const clap_preset_discovery_location_t* location);
    bool(CLAP_ABI* declare_soundpack)(const struct clap_preset_discovery_indexer* indexer,
                                      const clap_preset_discovery_soundpack_t* soundpack);
    const void*(CLAP_ABI* get_extension)(const struct clap_preset_discovery_indexer* indexer,
                                         const char* extension_id);
} clap_preset_discovery_indexer_t;

typedef struct clap_preset_discovery_factory {
    uint32_t(CLAP_ABI* count)(const struct clap_preset_discovery_factory* factory);
    const clap_preset_discovery_provider_descriptor_t*(CLAP_ABI* get_descriptor)(
        const struct clap_preset_discovery_factory* factory, uint32_t index);
    const clap_preset_discovery_provider_t*(CLAP_ABI* create)(const struct clap_preset_discovery_factory* factory,
                                                              const clap_preset_discovery_indexer_t* indexer,
                                                              const char* provider_id);
} clap_preset_discovery_factory_t;

}  // extern "C"
