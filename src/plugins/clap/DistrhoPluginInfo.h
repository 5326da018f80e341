// Identity and shape of the CLAP builds: the filter plug-in (mono, or stereo with VEXA_PLUGIN_STEREO) with DPF's state support, through which CLAP hosts save parameters.
#pragma once

#ifdef VEXA_PLUGIN_STEREO
#include "../stereo/DistrhoPluginInfo.h"
#else
#include "../standard/DistrhoPluginInfo.h"
#endif

// DPF 1.6 offers CLAP hosts its state extension (which carries the parameter values) only with this set.
#define DISTRHO_PLUGIN_WANT_STATE 1
// With programs DPF asks for the full state API too; the plug-in keeps no state but its parameters.
#define DISTRHO_PLUGIN_WANT_FULL_STATE 1
// DPF 1.6's CLAP note port offers only the MIDI dialect; ClapEntry.cpp offers one taking both.
#undef DISTRHO_PLUGIN_WANT_MIDI_INPUT
#define DISTRHO_PLUGIN_WANT_MIDI_INPUT 0

/// A bypass parameter, which hosts of this format look for (PluginParameters.h).
#define VEXA_PLUGIN_HAS_BYPASS 1
