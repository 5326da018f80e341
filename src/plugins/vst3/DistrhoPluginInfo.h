// Identity and shape of the VST3 builds: the filter plug-in (mono, or stereo with VEXA_PLUGIN_STEREO), taking notes through our own entry.
#pragma once

#ifdef VEXA_PLUGIN_STEREO
#include "../stereo/DistrhoPluginInfo.h"
#else
#include "../standard/DistrhoPluginInfo.h"
#endif

// DPF 1.6's VST3 note input puts 2,080 hidden MIDI CC parameters before the plug-in's own and so
// renumbers every parameter a host's automation keeps; Vst3Entry.cpp offers an event bus of its own.
#undef DISTRHO_PLUGIN_WANT_MIDI_INPUT
#define DISTRHO_PLUGIN_WANT_MIDI_INPUT 0

/// A bypass parameter, which hosts of this format look for (PluginParameters.h).
#define VEXA_PLUGIN_HAS_BYPASS 1
