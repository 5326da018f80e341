#pragma once

#include <array>
#include <cstddef>

#include "filter/CoefficientUpdate.h"

namespace vexa {

/// How one pole of the ladder treats its signal.
enum class StageForm : uint8_t {
    saturating,      ///< P(q, cin, cout): saturated state, optional output knee
    outputKneeOnly,  ///< P(q, -, cout): plain state, saturated output
    linear,          ///< L(q): no saturation at all
};

/// One pole of the chain. A knee of `none` means the pole has no saturator there.
struct PoleStage {
    StageForm form;
    Coefficient coefficient;
    float inKnee;
    float outKnee;
};

inline constexpr float none = 0.0f;

constexpr PoleStage P(Coefficient q, float inKnee, float outKnee) {
    return {inKnee == none ? StageForm::outputKneeOnly : StageForm::saturating, q, inKnee, outKnee};
}
constexpr PoleStage L(Coefficient q) { return {StageForm::linear, q, none, none}; }

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

/// Where the output and the feedback leave the chain. Pole numbers count from 1;
/// `lastPole` stands for the chain's last pole.
struct Routing {
    std::size_t tap;           ///< the boost and the output follow this pole
    std::size_t feedbackPole;  ///< the fed-back value is this pole's output (boosted if it is the tap)
    OutputForm output;
    std::size_t differencePole;  ///< j of the difference output
};

inline constexpr std::size_t lastPole = 0;

/// Output after pole `a`; the poles after it filter only the fed-back value.
constexpr Routing tapAfter(std::size_t a) { return {a, lastPole, OutputForm::tapped, 0}; }
/// Output 2 * s_j - t after the last pole, which also feeds back.
constexpr Routing differenceTap(std::size_t j) { return {lastPole, lastPole, OutputForm::difference, j}; }
/// Output after the last pole, feedback from an earlier pole's unboosted output.
constexpr Routing loopAfter(std::size_t b) { return {lastPole, b, OutputForm::tapped, 0}; }

enum class FeedbackForm : uint8_t {
    soft,    ///< fb = y * (y * 0.02 + 1) * resFeedback
    linear,  ///< fb = y * resFeedback
};

struct PoleConfig {
    const char* name;
    PoleChain chain;
    Routing routing;
    float boostSlope;  ///< extra gain per unit of Pitch below 0.5 (5 V)
    FeedbackForm feedback;
    UpdateParameters update;
    float outGain;

    constexpr std::size_t poleCount() const { return chain.count; }
    constexpr std::size_t tap() const { return routing.tap == lastPole ? chain.count : routing.tap; }
    constexpr std::size_t feedbackPole() const {
        return routing.feedbackPole == lastPole ? chain.count : routing.feedbackPole;
    }

    constexpr CoefficientUse coefficientUse() const {
        CoefficientUse use{};
        use.computed[static_cast<std::size_t>(Coefficient::k)] = true;
        for (std::size_t i = 0; i < chain.count; ++i) {
            const auto q = static_cast<std::size_t>(chain.stages[i].coefficient);
            use.computed[q] = true;
            if (chain.stages[i].form != StageForm::saturating) use.needsStableFloor[q] = true;
        }
        return use;
    }
};

}  // namespace vexa
