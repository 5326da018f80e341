// Identity and shape of the CLAP build: the filter plug-in with DPF's state support, through which CLAP hosts save parameters.
#pragma once

#include "../standard/DistrhoPluginInfo.h"

// DPF 1.6 offers CLAP hosts its state extension (which carries the parameter values) only with this set.
#define DISTRHO_PLUGIN_WANT_STATE 1
// With programs DPF asks for the full state API too; the plug-in keeps no state but its parameters.
#define DISTRHO_PLUGIN_WANT_FULL_STATE 1
