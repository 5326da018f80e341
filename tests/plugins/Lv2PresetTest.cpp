// The LV2 factory presets as a host finds and loads them through lilv: every one listed, each setting what its row says.
#include <gtest/gtest.h>

#include <lilv/lilv.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FactoryPresets.h"
#include "ParameterTable.h"
#include "UridMap.h"

namespace {

std::string lv2Dir;

using PortValues = std::map<std::string, float>;

/// Where the port values of one preset go, and the map that names their types.
struct Collected {
    UridMap* map;
    PortValues values;
};

/// A preset's value as a number, whatever atom type the description gave it
/// (Turtle writes "5" as an integer, "5.5" as a decimal).
void collectPortValue(const char* symbol, void* into, const void* value, uint32_t size, uint32_t type) {
    auto& collected = *static_cast<Collected*>(into);
    const auto isType = [&](const char* uri) { return type == collected.map->id(uri); };
    float number = std::nanf("");
    if (isType("http://lv2plug.in/ns/ext/atom#Float") && size == sizeof(float)) {
        number = *static_cast<const float*>(value);
    } else if (isType("http://lv2plug.in/ns/ext/atom#Double") && size == sizeof(double)) {
        number = static_cast<float>(*static_cast<const double*>(value));
    } else if (isType("http://lv2plug.in/ns/ext/atom#Int") && size == sizeof(int32_t)) {
        number = static_cast<float>(*static_cast<const int32_t*>(value));
    } else if (isType("http://lv2plug.in/ns/ext/atom#Long") && size == sizeof(int64_t)) {
        number = static_cast<float>(*static_cast<const int64_t*>(value));
    }
    collected.values[symbol] = number;
}

/// Each preset of the plug-in at `uri` in `bundle`, by name, with the port values loading it sets.
std::map<std::string, PortValues> loadPresets(const std::string& bundle, const char* uri) {
    std::unique_ptr<LilvWorld, decltype(&lilv_world_free)> world(lilv_world_new(), lilv_world_free);
    LilvNode* bundleUri = lilv_new_file_uri(world.get(), nullptr, (lv2Dir + "/" + bundle + "/").c_str());
    lilv_world_load_bundle(world.get(), bundleUri);
    lilv_node_free(bundleUri);
    LilvNode* pluginUri = lilv_new_uri(world.get(), uri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world.get()), pluginUri);
    lilv_node_free(pluginUri);
    std::map<std::string, PortValues> presets;
    if (plugin == nullptr) return presets;
    LilvNode* presetClass = lilv_new_uri(world.get(), "http://lv2plug.in/ns/ext/presets#Preset");
    LilvNode* label = lilv_new_uri(world.get(), LILV_NS_RDFS "label");
    UridMap map;
    LilvNodes* related = lilv_plugin_get_related(plugin, presetClass);
    LILV_FOREACH (nodes, i, related) {
        const LilvNode* preset = lilv_nodes_get(related, i);
        lilv_world_load_resource(world.get(), preset);
        LilvNode* name = lilv_world_get(world.get(), preset, label, nullptr);
        LilvState* state = lilv_state_new_from_world(world.get(), &map.map, preset);
        Collected collected{&map, {}};
        if (state != nullptr) lilv_state_emit_port_values(state, collectPortValue, &collected);
        presets[name != nullptr ? lilv_node_as_string(name) : lilv_node_as_uri(preset)] = collected.values;
        lilv_state_free(state);
        lilv_node_free(name);
    }
    lilv_nodes_free(related);
    lilv_node_free(label);
    lilv_node_free(presetClass);
    return presets;
}

TEST(Lv2Presets, EveryFactoryPresetIsListedAndSetsItsRow) {
    const struct {
        const char* bundle;
        const char* uri;
    } plugins[] = {{"vexa-lp-filter-2.lv2", "urn:vexa:lp-filter-2"},
                   {"vexa-lp-filter-2-stereo.lv2", "urn:vexa:lp-filter-2-stereo"}};
    for (const auto& p : plugins) {
        const auto presets = loadPresets(p.bundle, p.uri);
        EXPECT_EQ(presets.size(), vexaplugin::factoryPresets.size()) << p.uri;
        for (const vexaplugin::FactoryPreset& row : vexaplugin::factoryPresets) {
            const auto found = presets.find(row.name);
            ASSERT_NE(found, presets.end()) << p.uri << ": " << row.name;
            const PortValues& values = found->second;
            // Every parameter but Bypass, which the LV2 plug-ins leave to the host, and Model
            // rate, which a preset leaves as the session has it.
            EXPECT_EQ(values.size(), vexaplugin::parameterTable.size() - 2) << row.name;
            EXPECT_EQ(values.at("drive"), row.driveDecibels) << row.name;
            EXPECT_EQ(values.at("output_gain"), row.outputDecibels) << row.name;
            EXPECT_EQ(values.at("mix"), row.mixPercent) << row.name;
            EXPECT_EQ(values.at("key_track"), row.keyTrackPercent) << row.name;
            EXPECT_EQ(values.at("pitch"), row.pitchVolts) << row.name;
            EXPECT_EQ(values.at("resonance"), row.resonanceVolts) << row.name;
            EXPECT_EQ(values.at("zing"), row.zingVolts) << row.name;
            EXPECT_EQ(values.at("poles"), static_cast<float>(vexaplugin::positionOf(vexaplugin::poleChoices(), row.poles)))
                << row.name;
            EXPECT_EQ(values.at("type"), static_cast<float>(vexaplugin::positionOf(vexaplugin::typeChoices(), row.type)))
                << row.name;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--lv2-dir=", 10) == 0) lv2Dir = argv[i] + 10;
    }
    if (lv2Dir.empty()) {
        std::fprintf(stderr, "usage: %s --lv2-dir=FOLDER [gtest options]\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
