// Identity and shape of the filter plug-in for modular hosts: Pitch, Resonance and Zing as CV inputs (LV2).
#pragma once

#define DISTRHO_PLUGIN_NAME "Vexa LP Filter 2 CV"
#define DISTRHO_PLUGIN_URI "urn:vexa:lp-filter-2-cv"
#define DISTRHO_PLUGIN_CLAP_ID "vexa.lp-filter-2-cv"

// Signal, then the Pitch, Resonance and Zing CV inputs.
#define DISTRHO_PLUGIN_NUM_INPUTS 4
#define DISTRHO_PLUGIN_NUM_OUTPUTS 1
#define DISTRHO_PLUGIN_HAS_UI 0
#define DISTRHO_PLUGIN_IS_RT_SAFE 1

#define DISTRHO_PLUGIN_LV2_CATEGORY "lv2:FilterPlugin"

/// Pitch, Resonance and Zing come in as CV ports of this plug-in.
#define VEXA_PLUGIN_CONTROLS_AS_CV 1
/// DPF's label; the plug-in's unique id derives from the four characters.
#define VEXA_PLUGIN_LABEL "VexaLPFilter2CV"
#define VEXA_PLUGIN_UNIQUE_ID 'V', 'x', 'L', 'c'
