// Identity and shape of the filter plug-in with its controls as parameters (LV2, VST3, CLAP).
#pragma once

#define DISTRHO_PLUGIN_NAME "Vexa LP Filter 2"
#define DISTRHO_PLUGIN_URI "urn:vexa:lp-filter-2"
#define DISTRHO_PLUGIN_CLAP_ID "vexa.lp-filter-2"

#define DISTRHO_PLUGIN_NUM_INPUTS 1
#define DISTRHO_PLUGIN_NUM_OUTPUTS 1
#define DISTRHO_PLUGIN_IS_RT_SAFE 1
// The factory presets (FactoryPresets.h) as DPF programs: LV2 presets, VST3 program list, CLAP state.
#define DISTRHO_PLUGIN_WANT_PROGRAMS 1
// Notes for key tracking (the LV2 build; the VST3 and CLAP entries take notes themselves).
#define DISTRHO_PLUGIN_WANT_MIDI_INPUT 1

// An interface of its own (src/plugins/ui), drawn with NanoVG, resizable in its aspect ratio.
#define DISTRHO_PLUGIN_HAS_UI 1
#define DISTRHO_UI_USE_NANOVG 1
#define DISTRHO_UI_USER_RESIZABLE 1

#define DISTRHO_PLUGIN_LV2_CATEGORY "lv2:FilterPlugin"
#define DISTRHO_PLUGIN_VST3_CATEGORIES "Fx|Filter|Mono"
#define DISTRHO_PLUGIN_CLAP_FEATURES "audio-effect", "filter", "mono"

/// Pitch, Resonance and Zing are parameters of this plug-in.
#define VEXA_PLUGIN_CONTROLS_AS_CV 0
/// DPF's label; the VST3 class id and the plug-in's unique id derive from the four characters.
#define VEXA_PLUGIN_LABEL "VexaLPFilter2"
#define VEXA_PLUGIN_UNIQUE_ID 'V', 'x', 'L', '2'
