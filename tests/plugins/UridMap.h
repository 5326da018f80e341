// The URID map our LV2 hosts hand plug-ins and lilv: one number per URI, in the order they are asked for.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <lv2/urid/urid.h>

class UridMap {
public:
    UridMap() { map = {this, &UridMap::mapUri}; }
    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;
    LV2_URID_Map map{};
    LV2_URID id(const char* uri) { return mapUri(this, uri); }

private:
    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
        auto& uris = static_cast<UridMap*>(handle)->uris;
        for (std::size_t i = 0; i < uris.size(); ++i) {
            if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        }
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }
    std::vector<std::string> uris;
};
