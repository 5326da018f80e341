// The pole configurations as data: one row each, the Poles list text made from them, and their checks.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

#include "PoleConfig.h"

namespace vexa {

namespace rows {
inline constexpr Coefficient k = Coefficient::k;
inline constexpr Coefficient kA = Coefficient::kA;
inline constexpr Coefficient kB = Coefficient::kB;
inline constexpr Coefficient kC = Coefficient::kC;
inline constexpr FeedbackForm fbSoft = FeedbackForm::soft;
inline constexpr FeedbackForm fbLinear = FeedbackForm::linear;
inline constexpr Precision f32 = Precision::single;
inline constexpr Precision f64 = Precision::double_;
inline constexpr int32_t noForcedUpdate = 0;
inline constexpr int32_t forcedEvery48 = 48;
}  // namespace rows

/// The pole configurations, indexed by the Poles pin value (the number after
/// each row); their count is the table's length, `poleConfigCount`. The name is "a:b": output after pole a, feedback after pole
/// b; f marks the light variants, where only the first pole saturates. The list
/// item is the row's entry in the Poles list text, blanks as the list has
/// always had them, and its place there. Chains list the poles from pole 1:
/// P(q, in knee, out knee) saturating, P(q, in knee) with an unsaturated
/// output, Pout(q, out knee) with a plain state, L(q) linear. The update's
/// offset is applied in f32 or f64 (in), and so are the kA, kB, kC multipliers (k*).
inline constexpr auto poleConfigs = [] {
    using namespace rows;
    return std::to_array<PoleConfig>({
      // list item, place           chain                                                                                              routing          boost  feedback    {offset, in, ceiling, floor, resScale, k*, forced}  outGain
        // Output after pole 2.
        {{"2:2 Pole=0",         0}, chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f)),                                                            tapAfter(2),      0.5f, fbSoft,      {0.1, f32, 1.01f, -10,  2.2f, f32, noForcedUpdate},   0.65f},  //  0
        {{" 2:2f Pole=1",       1}, chain(P(k, 5.5f),  L(k)),                                                                          tapAfter(2),      0.3f, fbLinear,    {0.1, f32, 1.06f, -99,  2.0f, f32, noForcedUpdate},    0.5f},  //  1
        {{" 2:3 Pole=2",        2}, chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(kC, 5.15f, 5.5f)),                                        tapAfter(2),      0.3f, fbSoft,     {0.05, f32, 1.06f, -99,  1.2f, f32, noForcedUpdate},   0.65f},  //  2
        {{" 2:3f Pole=3",       3}, chain(P(k, 5.5f),  L(k),               L(k)),                                                      tapAfter(2),      0.3f, fbLinear,   {0.05, f32, 1.01f, -99, 1.05f, f32, noForcedUpdate},   0.55f},  //  3
        {{" 2:4 Pole=4",        4}, chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f)),                    tapAfter(2),      0.3f, fbSoft,     {0.05, f32, 1.06f, -99, 0.65f, f32, noForcedUpdate},   0.65f},  //  4
        {{" 2:4f Pole=5",       5}, chain(P(k, 5.5f),  L(k),               L(k),               L(k)),                                  tapAfter(2),      0.3f, fbLinear,   {0.05, f32, 1.06f, -99, 0.45f, f32, noForcedUpdate},    0.5f},  //  5
        {{" 2:5 Pole=6",        6}, chain(P(k, 5.1f),  P(kA, 4.95f, 5.5f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f), P(k, 5.5f, 4.95f)), tapAfter(2),      0.3f, fbSoft,      {0.0, f32, 1.06f, -99, 0.33f, f32, noForcedUpdate},   0.65f},  //  6
        {{" 2:5f Pole = 7",     7}, chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              tapAfter(2),      0.3f, fbLinear,    {0.0, f32, 1.06f, -99,  0.2f, f32, noForcedUpdate},    0.5f},  //  7

        // Output after pole 3 or 4.
        {{" 3:3 Pole=8",       10}, chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(kC, 5.15f, 5.5f)),                                        tapAfter(3),      0.3f, fbSoft,     {0.05, f32, 1.06f, -99,  1.2f, f64, noForcedUpdate},   0.45f},  //  8
        {{" 3:3f Pole = 9",    11}, chain(P(k, 5.5f),  L(k),               L(k)),                                                      tapAfter(3),      0.3f, fbLinear,   {0.05, f32, 1.01f, -99,  1.0f, f64, noForcedUpdate},   0.25f},  //  9
        {{" 3:4 Pole=10",      12}, chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f)),                    tapAfter(3),      0.3f, fbSoft,      {0.0, f32, 1.06f, -99, 0.65f, f64, noForcedUpdate},    0.4f},  // 10
        {{" 3:4f Pole=11",     13}, chain(P(k, 5.5f),  L(k),               L(k),               L(k)),                                  tapAfter(3),      0.3f, fbLinear,    {0.0, f32, 1.06f, -99, 0.47f, f64, noForcedUpdate},   0.25f},  // 11
        {{" 3:5 Pole= 12",     14}, chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f), P(k, 5.5f, 4.95f)), tapAfter(3),      0.3f, fbSoft,   {-0.029, f32, 1.06f, -99, 0.28f, f64, noForcedUpdate},   0.25f},  // 12
        {{" 3:5f Pole = 13",   15}, chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              tapAfter(3),      0.3f, fbLinear, {-0.029, f32, 1.06f, -99,  0.2f, f64, noForcedUpdate},   0.25f},  // 13
        {{" 4:4 Pole= 14",     18}, chain(P(kA, 5.1f), P(k, 5.5f),         P(k, 5.15f, 4.95f), P(kB, 5.1f, 5.5f)),                     tapAfter(4),      0.3f, fbSoft,      {0.0, f32, 1.06f, -99,  0.6f, f64, noForcedUpdate},    0.2f},  // 14
        {{" 4:4f Pole= 15",    19}, chain(P(k, 5.5f),  L(k),               L(k),               L(k)),                                  tapAfter(4),      0.3f, fbLinear,    {0.0, f32, 1.06f, -99, 0.45f, f64, noForcedUpdate},  0.125f},  // 15
        {{" 4:5 Pole=16",      20}, chain(P(kA, 5.1f), P(k, 5.5f, 4.95f),  P(k, 5.15f, 4.95f), P(kB, 5.1f, 5.5f),  P(k, 5.5f, 4.95f)), tapAfter(4),      0.3f, fbSoft,   {-0.036, f32, 1.06f, -99, 0.32f, f64, noForcedUpdate},   0.12f},  // 16
        {{" 4:5f Pole=17",     21}, chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              tapAfter(4),      0.3f, fbLinear, {-0.036, f64, 1.06f, -99,  0.2f, f64, noForcedUpdate},   0.12f},  // 17

        // Five poles: difference taps (Type is ignored) and output after pole 5.
        {{" 4-1:5 Pole=18",     8}, chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f), P(k, 5.15f, 5.5f)), differenceTap(2), 0.3f, fbSoft,    {-0.05, f32, 1.06f, -99, 0.28f, f64, noForcedUpdate},  -0.12f},  // 18
        {{" 4-1:5f Pole=19 ",   9}, chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              differenceTap(2), 0.3f, fbLinear,  {-0.05, f32, 1.06f, -99, 0.15f, f64, noForcedUpdate}, -0.055f},  // 19
        {{"5:5 Pole=20",       28}, chain(P(k, 5.5f),  P(kA, 5.1f, 4.95f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f), P(k, 5.15f, 5.5f)), tapAfter(5),      0.3f, fbSoft,    {-0.05, f32, 1.06f, -99, 0.31f, f64, noForcedUpdate},   0.12f},  // 20
        {{" 5:5f Pole=21",     29}, chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              tapAfter(5),      0.3f, fbLinear,  {-0.05, f32, 1.06f, -99, 0.21f, f64, noForcedUpdate}, 0.0625f},  // 21
        {{" 3-2:5 Pole= 22",   26}, chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.5f, 5.15f),  P(kB, 5.1f, 4.95f), P(k, 5.15f, 5.5f)), differenceTap(3), 0.3f, fbSoft,    {-0.05, f32, 1.06f, -99, 0.25f, f64, noForcedUpdate},  -0.12f},  // 22
        {{" 3-2:5f Pole= 23 ", 27}, chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              differenceTap(3), 0.3f, fbSoft,    {-0.05, f32, 1.06f, -99, 0.21f, f64, noForcedUpdate}, -0.075f},  // 23
        {{"  2-3:5 Pole= 24",  24}, chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.15f, 4.95f), P(kB, 5.5f, 4.95f), P(k, 5.15f, 5.5f)), differenceTap(4), 0.3f, fbLinear,  {-0.05, f32, 1.06f, -99, 0.28f, f64, noForcedUpdate},  -0.23f},  // 24
        {{" 2-3:5f Pole= 25",  25}, chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              differenceTap(4), 0.3f, fbLinear,  {-0.05, f32, 1.06f, -99, 0.21f, f64, noForcedUpdate}, -0.095f},  // 25

        // Feedback after pole 3, output after the last pole.
        {{" 5:3 Pole=26",      22}, chain(P(k, 5.1f),  Pout(kA, 4.95f),    P(kB, 4.95f, 5.5f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 5.5f)), loopAfter(3),     0.3f, fbSoft,     {-0.1, f32, 1.06f, -99,  1.0f, f64, forcedEvery48},     0.1f},  // 26
        {{" 5:3f Pole=27 ",    23}, chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              loopAfter(3),     0.3f, fbLinear,   {-0.1, f32, 1.06f, -99,  1.0f, f64, forcedEvery48},    0.06f},  // 27
        {{" 4:3 Pole= 28",     16}, chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), Pout(kB, 5.5f),     P(k, 5.15f, 5.5f)),                     loopAfter(3),     0.3f, fbSoft,      {0.0, f32, 1.06f, -99,  1.2f, f64, forcedEvery48},    0.25f},  // 28
        {{" 4:3f Pole= 29",    17}, chain(P(k, 5.5f),  L(kA),              L(k),               L(k)),                                  loopAfter(3),     0.3f, fbLinear,    {0.0, f32, 1.06f, -99,  1.0f, f32, forcedEvery48},   0.125f},  // 29
#ifdef VEXA_EXTRA_POLE_CONFIG
        // One row more, at the end of the list: the build that checks that
        // everything walking the configurations reads their count from here.
        {{" 2:4f Pole=30",      30}, chain(P(k, 5.5f), L(k),               L(k),               L(k)),                                  tapAfter(2),      0.3f, fbLinear,   {0.05, f32, 1.06f, -99, 0.45f, f32, noForcedUpdate},    0.5f},  // 30
#endif
    });
}();

inline constexpr std::size_t poleConfigCount = poleConfigs.size();

namespace detail {

inline constexpr char listSeparator = ',';

constexpr const PoleConfig& configAtListPosition(std::size_t position) {
    for (const PoleConfig& config : poleConfigs) {
        if (config.list.position == position) return config;
    }
    throw "no configuration at this place of the Poles list";
}

constexpr std::size_t polesListLength() {
    std::size_t length = poleConfigCount - 1;  // separators
    for (const PoleConfig& config : poleConfigs) length += std::string_view(config.list.text).size();
    return length;
}

/// The digits of `value` at the start of `text`, blanks before them skipped; false if they differ.
constexpr bool readsAs(std::string_view text, std::size_t value) {
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    std::size_t read = 0;
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') read = read * 10 + (text[digits++] - '0');
    return digits > 0 && read == value && text.substr(digits).find_first_not_of(' ') == std::string_view::npos;
}

/// Each check throws, and so fails the static_assert below with its message.
constexpr bool rowIsWellFormed(std::size_t poles) {
    const PoleConfig& config = poleConfigs[poles];
    if (config.tap() < 1 || config.tap() > config.poleCount()) throw "the tap lies outside the chain";
    if (config.feedbackPole() < 1 || config.feedbackPole() > config.poleCount()) {
        throw "the feedback pole lies outside the chain";
    }
    if (config.routing.output == OutputForm::difference &&
        (config.routing.differencePole < 1 || config.routing.differencePole >= config.poleCount())) {
        throw "the difference pole is not an earlier pole of the chain";
    }
    // Light variants saturate only their first pole.
    const std::string_view name = config.name();
    const bool light = name.back() == 'f';
    for (std::size_t i = 1; i < config.poleCount(); ++i) {
        if ((config.chain.stages[i].form == StageForm::linear) != light) {
            throw "an f configuration has a saturating pole after the first, or another a linear one";
        }
    }
    // The name gives the tap and the loop: "a:b".
    const std::size_t colon = name.find(':');
    if (static_cast<std::size_t>(name[colon + 1] - '0') != config.feedbackPole()) {
        throw "the name's b is not the feedback pole";
    }
    const std::size_t outputPole = config.feedbackPole() < config.tap() ? config.poleCount() : config.tap();
    if (config.routing.output == OutputForm::tapped && static_cast<std::size_t>(name[0] - '0') != outputPole) {
        throw "the name's a is not the output pole";
    }
    // The list item reads "<name> Pole=<value>": its value is the row's.
    const std::string_view item = config.list.text;
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos || item.substr(0, equals).find(" Pole") == std::string_view::npos ||
        !readsAs(item.substr(equals + 1), poles)) {
        throw "the list item does not name its own row";
    }
    if (std::string_view(config.list.text).find(listSeparator) != std::string_view::npos) {
        throw "a list item holds the separator";
    }
    for (std::size_t other = 0; other < poles; ++other) {
        if (poleConfigs[other].list.position == config.list.position) throw "two rows share a place in the list";
    }
    if (config.list.position >= poleConfigCount) throw "a list position beyond the list";
    return true;
}

/// A row that breaks a check names itself in the compiler's note: WellFormedRow<N>.
template <std::size_t Poles>
struct WellFormedRow {
    static_assert(rowIsWellFormed(Poles));
    static constexpr bool value = true;
};

template <std::size_t... Poles>
constexpr bool everyRowIsWellFormed(std::index_sequence<Poles...>) {
    return (WellFormedRow<Poles>::value && ...);
}

}  // namespace detail

static_assert(detail::everyRowIsWellFormed(std::make_index_sequence<poleConfigCount>{}));

/// The Poles pin's list text, the rows' items in list order between commas
/// (null-terminated, as the host reads it).
inline constexpr auto polesListText = [] {
    std::array<char, detail::polesListLength() + 1> text{};
    std::size_t at = 0;
    for (std::size_t position = 0; position < poleConfigCount; ++position) {
        if (position > 0) text[at++] = detail::listSeparator;
        for (const char c : std::string_view(detail::configAtListPosition(position).list.text)) text[at++] = c;
    }
    text[at] = '\0';
    return text;
}();

}  // namespace vexa
