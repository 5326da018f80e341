// The plug-ins' saved state: strict reading of every version, writing of the newest (StateCodec.h has the layout).
#include "StateCodec.h"

#include <charconv>
#include <cmath>

#include "ParameterTable.h"

namespace vexaplugin {

namespace {

constexpr std::string_view programKey = "__dpf_program__";
constexpr std::string_view parametersBegin = "__dpf_parameters_begin__";
constexpr std::string_view parametersEnd = "__dpf_parameters_end__";
constexpr std::string_view terminator = "\xfe";

/// The state's zero-terminated fields, read front to back; empty once they run out.
class Fields {
public:
    explicit Fields(std::string_view bytes) : rest(bytes) {}
    /// The next field; nothing when none is left or the last one lacks its zero.
    std::optional<std::string_view> next() {
        const std::size_t end = rest.find('\0');
        if (end == std::string_view::npos) return std::nullopt;
        const std::string_view field = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        return field;
    }
    bool next(std::string_view expected) { return next() == expected; }
    bool exhausted() const { return rest.empty(); }

private:
    std::string_view rest;
};

/// A whole field as a number: every character read, nothing else.
template <class Number>
std::optional<Number> numberOf(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<float> valueOf(std::string_view text, const StateParameter& parameter) {
    float value = 0.0f;
    if (parameter.integer) {
        const auto whole = numberOf<int64_t>(text);
        if (!whole) return std::nullopt;
        value = static_cast<float>(*whole);
    } else {
        const auto number = numberOf<float>(text);
        if (!number) return std::nullopt;
        value = *number;
    }
    if (!std::isfinite(value) || value < parameter.minimum || value > parameter.maximum) return std::nullopt;
    return value;
}

std::string textOf(float value, bool integer) {
    char text[32];
    const auto end = integer ? std::to_chars(text, text + sizeof text, std::lround(value)).ptr
                             : std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

void appendField(std::string& bytes, std::string_view field) {
    bytes += field;
    bytes += '\0';
}

}  // namespace

const std::vector<StateParameter>& filterStateParameters() {
    // The CLAP and VST3 plug-ins' parameters in their order (the parameter table's, Bypass
    // last), under the symbols DPF saves them by. Version 2 added everything after Type;
    // a state from before it sounds as it did: the stages around the filter at rest, and
    // the filter at the session's rate.
    static const std::vector<StateParameter> table = [] {
        constexpr uint32_t firstVersionWithDriveAndModelRate = 2;
        constexpr float sessionRatePosition = 1.0f;
        std::vector<StateParameter> rows;
        for (std::size_t i = 0; i < parameterIdCount; ++i) {
            const auto id = static_cast<ParameterId>(i);
            const ParameterInfo& entry = parameterTable[i];
            const bool fromTheStart = id <= ParameterId::type;
            rows.push_back({id == ParameterId::bypass ? "dpf_bypass" : entry.symbol, entry.minimum, entry.maximum,
                            entry.kind != ParameterKind::continuous, fromTheStart ? 0u : firstVersionWithDriveAndModelRate,
                            id == ParameterId::modelRate ? sessionRatePosition : entry.defaultValue});
        }
        return rows;
    }();
    return table;
}

std::optional<PluginState> decodeState(std::string_view bytes, const std::vector<StateParameter>& parameters,
                                       uint32_t programCount, uint32_t newest) {
    if (bytes.size() > largestStateBytes) return std::nullopt;
    Fields fields(bytes);
    auto field = fields.next();

    uint32_t version = 0;
    if (field == stateVersionKey) {
        const auto text = fields.next();
        const auto number = text ? numberOf<uint32_t>(*text) : std::nullopt;
        // Written without sign or leading zeros; version 0 never carries the pair.
        if (!number || *number == 0 || *number > newest || text->front() == '0') return std::nullopt;
        version = *number;
        field = fields.next();
    }

    PluginState state;
    if (field != programKey) return std::nullopt;
    const auto programText = fields.next();
    const auto program = programText ? numberOf<uint32_t>(*programText) : std::nullopt;
    if (!program || *program >= programCount) return std::nullopt;
    state.program = *program;

    if (!fields.next(parametersBegin)) return std::nullopt;
    state.values.assign(parameters.size(), 0.0f);
    std::vector<bool> given(parameters.size(), false);
    for (field = fields.next(); field && *field != parametersEnd; field = fields.next()) {
        std::size_t index = 0;
        while (index < parameters.size() && *field != parameters[index].symbol) ++index;
        if (index == parameters.size() || given[index] || parameters[index].sinceVersion > version) {
            return std::nullopt;
        }
        const auto text = fields.next();
        const auto value = text ? valueOf(*text, parameters[index]) : std::nullopt;
        if (!value) return std::nullopt;
        state.values[index] = *value;
        given[index] = true;
    }
    if (!field || !fields.next(terminator) || !fields.exhausted()) return std::nullopt;

    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (given[i]) continue;
        if (parameters[i].sinceVersion <= version) return std::nullopt;  // its version has it: lost, not older
        state.values[i] = parameters[i].valueForOlderStates;
    }
    return state;
}

namespace {

std::string versionPair() {
    std::string bytes;
    appendField(bytes, stateVersionKey);
    appendField(bytes, std::to_string(stateVersion));
    return bytes;
}

}  // namespace

std::optional<PluginState> decodeDpfSave(std::string_view bytes, const std::vector<StateParameter>& parameters,
                                         uint32_t programCount) {
    return decodeState(versionPair() + std::string(bytes), parameters, programCount);
}

std::string dpfState(const PluginState& state, const std::vector<StateParameter>& parameters) {
    std::string bytes;
    appendField(bytes, programKey);
    appendField(bytes, std::to_string(state.program));
    appendField(bytes, parametersBegin);
    for (std::size_t i = 0; i < parameters.size() && i < state.values.size(); ++i) {
        appendField(bytes, parameters[i].symbol);
        appendField(bytes, textOf(state.values[i], parameters[i].integer));
    }
    appendField(bytes, parametersEnd);
    appendField(bytes, terminator);
    return bytes;
}

std::string dpfProgramState(uint32_t program) {
    std::string bytes;
    appendField(bytes, programKey);
    appendField(bytes, std::to_string(program));
    appendField(bytes, terminator);
    return bytes;
}

std::string encodeState(const PluginState& state, const std::vector<StateParameter>& parameters) {
    return versionPair() + dpfState(state, parameters);
}

}  // namespace vexaplugin
