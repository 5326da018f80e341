# Copies the plug-in bundles DPF built into the output folder, one subfolder per
# format as in the usual plug-in folders (lv2/, vst3/, clap/). The LV2 audio and
# CV ports keep the plain symbols the plug-ins give them (DPF writes "lv2_signal"),
# and the plug-in's options and URID map are optional (src/plugins/Lv2Entry.cpp supplies them;
# the interface's description keeps its own), as is its note input.
# DPF puts the audio inputs and outputs in one port group (mono, or stereo), which
# hosts that make a pad or bus of each group (GStreamer's lv2 element) take for an
# input with no output: the outputs get an output group of their own, derived from
# the inputs' (pg:source), so that every host still sees a mono (stereo) in and out.
# DPF offers its programs (the factory presets) to Carla through KXStudio's
# programs interfaces (the plug-in's and the interface's), which no vocabulary
# declares: the descriptions say what they are.
# An LV2 bundle's plug-in binary is the one built to be shipped (DpfAdapter.cmake says why).
# Run with -DSOURCE=folder -DSHIPPED_LV2=folder -DDESTINATION=folder -DBUNDLES=name|name|...
string(REPLACE "|" ";" BUNDLES "${BUNDLES}")
set(required "    lv2:requiredFeature opts:options ,\n                        <http://lv2plug.in/ns/ext/urid#map> ;")
set(optional "    lv2:optionalFeature opts:options ,\n                        <http://lv2plug.in/ns/ext/urid#map> ;")
# CV inputs of the CV plug-in: default and range in the module's convention (1.0 = 10 V), as its
# controls have them in volts: Pitch 5 V (0 to 10.5), Resonance 5 V (0 to 10), Zing 10 V (0.1 to 50).
set(cv_ports "pitch 0.5 0.0 1.05" "resonance 0.5 0.0 1.0" "zing 1.0 0.01 5.0")

foreach(bundle IN LISTS BUNDLES)
  get_filename_component(format ${bundle} LAST_EXT)
  string(SUBSTRING ${format} 1 -1 format)
  set(folder ${DESTINATION}/${format})
  file(REMOVE_RECURSE ${folder}/${bundle})
  file(COPY ${SOURCE}/${bundle} DESTINATION ${folder})
  if(format STREQUAL "lv2")
    get_filename_component(name ${bundle} NAME_WLE)
    # Removed first: file(COPY) passes over a file whose time stamp matches, and both binaries
    # are often linked within the same second.
    file(REMOVE ${folder}/${bundle}/${name}_dsp.so)
    file(COPY ${SHIPPED_LV2}/${name}_dsp.so DESTINATION ${folder}/${bundle})
    file(GLOB descriptions ${folder}/${bundle}/*.ttl)
    foreach(description IN LISTS descriptions)
      file(READ ${description} text)
      foreach(cv IN LISTS cv_ports)
        string(REPLACE " " ";" cv "${cv}")
        list(GET cv 0 symbol)
        list(GET cv 1 default)
        list(GET cv 2 minimum)
        list(GET cv 3 maximum)
        set(port "lv2:symbol \"lv2_${symbol}\" ;")
        string(REPLACE "${port}" "${port}\n        lv2:default ${default} ;\n        lv2:minimum ${minimum} ;\n        lv2:maximum ${maximum} ;" text "${text}")
      endforeach()
      string(REPLACE "lv2:symbol \"lv2_" "lv2:symbol \"" text "${text}")
      # The note input is optional (Lv2Entry.cpp gives the plug-in an empty one while none is
      # connected), so that hosts without MIDI (lv2apply, lv2proc, ecasound) still run it.
      string(REPLACE "lv2:symbol \"events_in\" ;" "lv2:symbol \"events_in\" ;\n        lv2:portProperty lv2:connectionOptional ;"
             text "${text}")
      foreach(kind Mono Stereo)
        string(TOLOWER ${kind} name)
        set(group_definition "    a pg:Group , pg:${kind}Group ;\n    lv2:name \"${kind}\" ;\n    lv2:symbol \"dpf_${name}\" .")
        if(text MATCHES "<([^#>]+)#portGroup_dpf_${name}>\n${group_definition}")
          set(group "<${CMAKE_MATCH_1}#portGroup_dpf_${name}")
          string(REGEX REPLACE "(a lv2:OutputPort, lv2:AudioPort ;[^]]*pg:group ${group})>" "\\1_output>" text "${text}")
          string(REPLACE "${group}>\n${group_definition}"
            "${group}>\n    a pg:InputGroup , pg:${kind}Group ;\n    lv2:name \"${kind} input\" ;\n    lv2:symbol \"dpf_${name}\" .\n\n${group}_output>\n    a pg:OutputGroup , pg:${kind}Group ;\n    pg:source ${group}> ;\n    lv2:name \"${kind} output\" ;\n    lv2:symbol \"dpf_${name}_output\" ."
            text "${text}")
        endif()
      endforeach()
      # The latency port, after every port of DPF's (Lv2Entry.cpp writes it): DPF's own would come
      # before the parameters and move their indices. It reports the resampling's delay at high rates.
      if(text MATCHES "lv2:index")
        string(REGEX MATCHALL "lv2:index [0-9]+ ;" indices "${text}")
        list(LENGTH indices latency_index)
        string(FIND "${text}" "    lv2:port [" first_port)
        string(SUBSTRING "${text}" 0 ${first_port} head)
        string(SUBSTRING "${text}" ${first_port} -1 tail)
        set(text "${head}    lv2:port [\n        a lv2:OutputPort, lv2:ControlPort ;\n        lv2:index ${latency_index} ;\n        lv2:name \"Latency\" ;\n        lv2:symbol \"latency\" ;\n        lv2:designation lv2:latency ;\n        lv2:portProperty lv2:reportsLatency, lv2:integer, <http://lv2plug.in/ns/ext/port-props#notOnGUI> ;\n    ] ;\n\n${tail}")
      endif()
      # A factory preset leaves Model rate where the session has it, as in VST3 and CLAP (a preset
      # is the filter's settings; the rate it runs at is the session's choice).
      string(REGEX REPLACE "    \\] ,\n    \\[\n        lv2:symbol \"model_rate\" ;\n        pset:value [^;]* ;\n    \\] \\."
             "    ] ." text "${text}")
      # The interface's description keeps its own: its hosts (jalv, Ardour, Carla) all give them.
      if(text MATCHES "lv2:requiredFeature" AND NOT description MATCHES "_ui\\.ttl$")
        string(REPLACE "${required}" "${optional}" text "${text}")
        if(text MATCHES "lv2:requiredFeature")
          message(FATAL_ERROR "${description}: unexpected required features; see src/plugins/Lv2Entry.cpp")
        endif()
      endif()
      foreach(programs "<http://kxstudio.sf.net/ns/lv2ext/programs#Interface>"
                       "<http://kxstudio.sf.net/ns/lv2ext/programs#UIInterface>")
        if(text MATCHES "lv2:extensionData[^;]*${programs}")
          string(APPEND text "\n${programs}\n    a lv2:ExtensionData .\n")
        endif()
      endforeach()
      file(WRITE ${description} "${text}")
    endforeach()
  endif()
endforeach()
