// The LV2 factory presets as a host finds and loads them through lilv, every one listed and setting what its row
// says; and the sessions jalv and Ardour saved with the filter, whose every kept control today's plug-in still takes.
#include <gtest/gtest.h>

#include <lilv/lilv.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FactoryPresets.h"
#include "ParameterTable.h"
#include "UridMap.h"

namespace {

std::string lv2Dir;
std::string statesDir;  ///< --states=DIR: the stored sessions

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

/// The plug-in at `uri` in `bundle` of the built LV2 folder, loaded into `world`; null if it is not there.
const LilvPlugin* loadPlugin(LilvWorld* world, const std::string& bundle, const char* uri) {
    LilvNode* bundleUri = lilv_new_file_uri(world, nullptr, (lv2Dir + "/" + bundle + "/").c_str());
    lilv_world_load_bundle(world, bundleUri);
    lilv_node_free(bundleUri);
    LilvNode* pluginUri = lilv_new_uri(world, uri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), pluginUri);
    lilv_node_free(pluginUri);
    return plugin;
}

/// Each preset of the plug-in at `uri` in `bundle`, by name, with the port values loading it sets.
std::map<std::string, PortValues> loadPresets(const std::string& bundle, const char* uri) {
    std::unique_ptr<LilvWorld, decltype(&lilv_world_free)> world(lilv_world_new(), lilv_world_free);
    const LilvPlugin* plugin = loadPlugin(world.get(), bundle, uri);
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

/// An input control port of today's plug-in, as a session names it.
struct ControlPort {
    uint32_t index;
    float minimum;
    float maximum;
};

/// The mono plug-in's input control ports, by symbol.
std::map<std::string, ControlPort> controlPorts(LilvWorld* world) {
    const LilvPlugin* plugin = loadPlugin(world, "vexa-lp-filter-2.lv2", "urn:vexa:lp-filter-2");
    std::map<std::string, ControlPort> ports;
    if (plugin == nullptr) return ports;
    LilvNode* input = lilv_new_uri(world, LILV_URI_INPUT_PORT);
    LilvNode* control = lilv_new_uri(world, LILV_URI_CONTROL_PORT);
    for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        if (!lilv_port_is_a(plugin, port, input) || !lilv_port_is_a(plugin, port, control)) continue;
        LilvNode* minimum = nullptr;
        LilvNode* maximum = nullptr;
        lilv_port_get_range(plugin, port, nullptr, &minimum, &maximum);
        ports[lilv_node_as_string(lilv_port_get_symbol(plugin, port))] = {i, lilv_node_as_float(minimum),
                                                                          lilv_node_as_float(maximum)};
        lilv_node_free(minimum);
        lilv_node_free(maximum);
    }
    lilv_node_free(control);
    lilv_node_free(input);
    return ports;
}

/// Each control a session kept lands on a port of today's plug-in, inside its range.
void expectEveryValueLands(const PortValues& kept, const std::map<std::string, ControlPort>& ports) {
    EXPECT_FALSE(kept.empty());
    for (const auto& [symbol, value] : kept) {
        const auto port = ports.find(symbol);
        ASSERT_NE(port, ports.end()) << "the session's control " << symbol << " is no longer a port";
        EXPECT_GE(value, port->second.minimum) << symbol;
        EXPECT_LE(value, port->second.maximum) << symbol;
    }
}

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(Lv2SavedSessions, JalvAndArdourSessionsStillSetEveryControlTheyKept) {
    std::unique_ptr<LilvWorld, decltype(&lilv_world_free)> world(lilv_world_new(), lilv_world_free);
    const auto ports = controlPorts(world.get());
    ASSERT_FALSE(ports.empty());
    UridMap map;

    // jalv's "Save": a state folder of port values, which lilv reads back.
    LilvState* state = lilv_state_new_from_file(world.get(), &map.map, nullptr,
                                                (statesDir + "/jalv-lv2-mono/state.ttl").c_str());
    ASSERT_NE(state, nullptr);
    EXPECT_STREQ(lilv_node_as_uri(lilv_state_get_plugin_uri(state)), "urn:vexa:lp-filter-2");
    Collected collected{&map, {}};
    lilv_state_emit_port_values(state, collectPortValue, &collected);
    lilv_state_free(state);
    expectEveryValueLands(collected.values, ports);

    // Ardour keeps each control's value by symbol, and its automation by port index.
    const std::string session = fileText(statesDir + "/ardour7-lv2-mono.ardour");
    const std::size_t filter = session.find("unique-id=\"urn:vexa:lp-filter-2\"");
    ASSERT_NE(filter, std::string::npos);
    const std::string processor = session.substr(filter, session.find("</Processor>", filter) - filter);
    PortValues kept;
    const std::regex portValue(R"re(<Port symbol="([a-z_]+)" value="([-0-9.e]+)"/>)re");
    for (std::sregex_iterator i(processor.begin(), processor.end(), portValue), end; i != end; ++i) {
        kept[(*i)[1]] = std::stof((*i)[2]);
    }
    expectEveryValueLands(kept, ports);
    const std::regex controllable(R"re(parameter="([0-9]+)" symbol="([a-z_]+)")re");
    int automated = 0;
    for (std::sregex_iterator i(processor.begin(), processor.end(), controllable), end; i != end; ++i, ++automated) {
        const auto port = ports.find((*i)[2]);
        ASSERT_NE(port, ports.end()) << (*i)[2];
        EXPECT_EQ(port->second.index, std::stoul((*i)[1])) << "Ardour's automation of " << (*i)[2];
    }
    EXPECT_EQ(automated, static_cast<int>(kept.size()));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--lv2-dir=", 10) == 0) lv2Dir = argv[i] + 10;
        if (std::strncmp(argv[i], "--states=", 9) == 0) statesDir = argv[i] + 9;
    }
    if (lv2Dir.empty() || statesDir.empty()) {
        std::fprintf(stderr, "usage: %s --lv2-dir=FOLDER --states=FOLDER [gtest options]\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
