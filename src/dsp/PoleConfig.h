// The vocabulary of one pole configuration: its stages, where output and feedback leave the chain.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "CoefficientUpdate.h"

namespace vexa {

/// How one pole of the ladder treats its signal.
enum class StageForm : uint8_t {
    saturating,      ///< saturated state, and the output too where the stage has an output knee
    outputKneeOnly,  ///< plain state, saturated output
    linear,          ///< no saturation at all
};

/// One pole of the chain. Knees are levels in host units (1.0 = 10 V).
struct PoleStage {
    StageForm form;
    Coefficient coefficient;
    float inKnee;   ///< saturating stages: knee on the recursion value
    float outKnee;  ///< knee on the output; `noKnee` where the output passes unsaturated
};

inline constexpr float noKnee = 0.0f;

/// Saturating pole with knees on its recursion value and its output.
constexpr PoleStage P(Coefficient q, float inKnee, float outKnee) {
    return {StageForm::saturating, q, inKnee, outKnee};
}
/// Saturating pole whose output passes unsaturated.
constexpr PoleStage P(Coefficient q, float inKnee) { return {StageForm::saturating, q, inKnee, noKnee}; }
/// Pole with a plain state and a saturated output.
constexpr PoleStage Pout(Coefficient q, float outKnee) { return {StageForm::outputKneeOnly, q, noKnee, outKnee}; }
/// Linear pole.
constexpr PoleStage L(Coefficient q) { return {StageForm::linear, q, noKnee, noKnee}; }

inline constexpr std::size_t maxPoles = 5;

struct PoleChain {
    std::array<PoleStage, maxPoles> stages;
    std::size_t count;
};

template <class... Stages>
constexpr PoleChain chain(Stages... stages) {
    static_assert(sizeof...(Stages) >= 1 && sizeof...(Stages) <= maxPoles);
    return {{stages...}, sizeof...(Stages)};
}

enum class OutputForm : uint8_t {
    tapped,      ///< outGain * t (low-pass) or outGain * (x - t) (high-pass)
    difference,  ///< outGain * (2 * s_j - t), whatever the Type
};

/// Stands for the chain's last pole, whatever the chain's length.
inline constexpr std::size_t chainsLastPole = 0;

/// Where the output and the feedback leave the chain. Pole numbers count from 1.
struct Routing {
    std::size_t tap;           ///< the boost and the output follow this pole
    std::size_t feedbackPole;  ///< the fed-back value is this pole's output (boosted if it is the tap)
    OutputForm output;
    std::size_t differencePole;  ///< j of the difference output
};

/// Output after pole `a`; the poles after it filter only the fed-back value.
constexpr Routing tapAfter(std::size_t a) { return {a, chainsLastPole, OutputForm::tapped, 0}; }
/// Output 2 * s_j - t after the last pole, which also feeds back.
constexpr Routing differenceTap(std::size_t j) { return {chainsLastPole, chainsLastPole, OutputForm::difference, j}; }
/// Output after the last pole, feedback from an earlier pole's unboosted output.
constexpr Routing loopAfter(std::size_t b) { return {chainsLastPole, b, OutputForm::tapped, 0}; }

enum class FeedbackForm : uint8_t {
    soft,    ///< fb = y * (y * 0.02 + 1) * resFeedback
    linear,  ///< fb = y * resFeedback
};

/// A configuration's entry in the Poles list text: the text between its commas,
/// blanks included, exactly as hosts have always read it, and where it stands.
struct ListItem {
    const char* text;      ///< "<name> Pole=<value>", with the list's own blanks
    std::size_t position;  ///< 0 for the first entry of the list
};

/// One configuration: the list entry that names it, its chain as the sample
/// loop runs it, and its control-rate update.
struct PoleConfig {
    ListItem list;
    PoleChain chain;
    Routing routing;
    float boostSlope;  ///< extra gain per unit of Pitch below 0.5 (5 V)
    FeedbackForm feedback;
    UpdateParameters update;
    float outGain;

    /// The label without the word Pole: "2:4f".
    constexpr std::string_view name() const {
        std::string_view label = list.text;
        label.remove_prefix(label.find_first_not_of(' '));
        return label.substr(0, label.find(' '));
    }
    constexpr std::size_t poleCount() const { return chain.count; }
    constexpr std::size_t tap() const { return routing.tap == chainsLastPole ? chain.count : routing.tap; }
    constexpr std::size_t feedbackPole() const {
        return routing.feedbackPole == chainsLastPole ? chain.count : routing.feedbackPole;
    }

    constexpr CoefficientUse coefficientUse() const {
        CoefficientUse use{};
        use.computed[static_cast<std::size_t>(Coefficient::k)] = true;
        for (std::size_t i = 0; i < chain.count; ++i) {
            const auto q = static_cast<std::size_t>(chain.stages[i].coefficient);
            use.computed[q] = true;
            if (chain.stages[i].form != StageForm::saturating) use.needsStableRange[q] = true;
        }
        return use;
    }
};

}  // namespace vexa
