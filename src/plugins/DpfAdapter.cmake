# The one place in the build that knows DPF's private CMake details, and the check that DPF is the one they were written for.
#
# DPF 1.6's CMake support offers dpf_add_plugin alone: no CLAP target, no way to
# put an entry point of ours in front of a format's, and an LV2 export list that
# leaves the function its description generator calls in the shipped plug-in.
# The functions here do those with DPF's internal dpf__* helpers; the C++ side
# of the same workarounds is DpfAdapter.h and DpfAdapter.cpp.

set(VEXA_DPF_DIR /usr/share/dpf CACHE PATH "DPF, the DISTRHO Plugin Framework (Debian dpf-source)")

# DPF's sources carry no version: the DPF these workarounds were written for is
# known by the files whose private details they use (and whose LV2 description
# FinishBundles.cmake edits). Another DPF may differ in any of them: check each
# workaround here, in DpfAdapter.* and FinishBundles.cmake, then record its fingerprint.
set(dpf_written_for "1.6 (Debian dpf-source 1.6+ds-2)")
set(dpf_expected_fingerprint 168d894b7039da34)
set(dpf_private_files distrho/src/DistrhoPluginVST3.cpp distrho/src/DistrhoPluginVST.hpp
    distrho/src/DistrhoPluginCLAP.cpp distrho/src/DistrhoPluginLV2.cpp distrho/src/DistrhoPluginLV2export.cpp
    cmake/DPF-plugin.cmake utils/symbols/lv2-dsp.version)
set(dpf_fingerprint "")
foreach(file IN LISTS dpf_private_files)
  if(NOT EXISTS ${VEXA_DPF_DIR}/${file})
    message(FATAL_ERROR "${VEXA_DPF_DIR} has no ${file}: it is not the DPF ${dpf_written_for} the plug-ins are written for "
                        "(scripts/install-deps.sh build installs it)")
  endif()
  file(SHA256 ${VEXA_DPF_DIR}/${file} hash)
  string(APPEND dpf_fingerprint ${hash})
endforeach()
string(SHA256 dpf_fingerprint "${dpf_fingerprint}")
string(SUBSTRING ${dpf_fingerprint} 0 16 dpf_fingerprint)
if(NOT dpf_fingerprint STREQUAL dpf_expected_fingerprint)
  message(FATAL_ERROR "${VEXA_DPF_DIR} is not the DPF ${dpf_written_for} that src/plugins/DpfAdapter.* were written "
                      "for (fingerprint ${dpf_fingerprint}, expected ${dpf_expected_fingerprint}). Check each "
                      "workaround there against it, then record the new fingerprint in DpfAdapter.cmake.")
endif()

set(DPF_LIBRARIES OFF CACHE BOOL "" FORCE)
set(DPF_EXAMPLES OFF CACHE BOOL "" FORCE)
add_subdirectory(${VEXA_DPF_DIR} ${CMAKE_BINARY_DIR}/objects/dpf EXCLUDE_FROM_ALL)

# DPF builds its bundles under ${PROJECT_BINARY_DIR}/bin; keep them apart from the module's own build.
set(PROJECT_BINARY_DIR ${CMAKE_BINARY_DIR}/objects/plugins)
set(dpf_bundles ${PROJECT_BINARY_DIR}/bin)
# LV2 binaries as they are shipped (vexa_wrap_lv2_entry); FinishBundles.cmake puts them in the bundles.
set(dpf_shipped_lv2 ${PROJECT_BINARY_DIR}/shipped-lv2)
set(dpf_adapter_dir ${CMAKE_CURRENT_LIST_DIR})
dpf__determine_vst3_package_architecture(vst3_architecture)

# An LV2 plug-in exports its descriptor alone.
set(lv2_shipped_exports ${PROJECT_BINARY_DIR}/lv2-shipped.version)
file(WRITE ${lv2_shipped_exports} "{\n    global: lv2_descriptor;\n    local: *;\n};\n")

# vexa_add_clap(NAME): the CLAP plug-in of DPF plug-in NAME, as target NAME-clap, with our
# entry point (ClapEntry.cpp) in front of DPF's, which is compiled under another name.
# DPF 1.6's CMake support has no CLAP target; this one follows its VST3 rule.
function(vexa_add_clap NAME)
  dpf__add_module(${NAME}-clap)
  dpf__add_plugin_main(${NAME}-clap clap)
  dpf__add_ui_main(${NAME}-clap clap dgl-opengl)
  dpf__set_module_export_list(${NAME}-clap clap)
  target_sources(${NAME}-clap PRIVATE ${dpf_adapter_dir}/ClapEntry.cpp ${dpf_adapter_dir}/DpfAdapter.cpp)
  target_include_directories(${NAME}-clap PRIVATE ${VEXA_DPF_DIR}/distrho/src)
  target_compile_definitions(${NAME}-clap PRIVATE clap_entry=dpf_clap_entry VEXA_DPF_CLAP)
  target_link_libraries(${NAME}-clap PRIVATE ${NAME}-dsp ${NAME}-ui)
  set_target_properties(${NAME}-clap PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${dpf_bundles}/$<0:>
    ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/obj/clap/$<0:>
    OUTPUT_NAME ${NAME}
    PREFIX ""
    SUFFIX ".clap")
endfunction()

# vexa_wrap_vst3_entry(NAME PRODUCT): DPF's VST3 target NAME-vst3 with our factory
# (Vst3Entry.cpp) in front of DPF's, as the bundle PRODUCT.vst3.
function(vexa_wrap_vst3_entry NAME PRODUCT)
  if(WIN32)
    set(platform win)
  else()
    set(platform linux)
  endif()
  target_sources(${NAME}-vst3 PRIVATE ${dpf_adapter_dir}/Vst3Entry.cpp ${dpf_adapter_dir}/DpfAdapter.cpp)
  target_include_directories(${NAME}-vst3 PRIVATE ${VEXA_DPF_DIR}/distrho/src)
  target_compile_definitions(${NAME}-vst3 PRIVATE GetPluginFactory=dpf_GetPluginFactory VEXA_DPF_VST3)
  set_target_properties(${NAME}-vst3 PROPERTIES
    OUTPUT_NAME ${PRODUCT}
    LIBRARY_OUTPUT_DIRECTORY ${dpf_bundles}/${PRODUCT}.vst3/Contents/${vst3_architecture}-${platform}/$<0:>)
endfunction()

# vexa_wrap_lv2_entry(NAME): DPF's LV2 target NAME-lv2 with our entry point (Lv2Entry.cpp)
# in front of DPF's. DPF's export list keeps lv2_generate_ttl, which its description
# generator calls at build time, in the plug-in: DPF's module only makes the
# description, and the bundle gets a twin of it (NAME-lv2-shipped, the same code)
# that exports lv2_descriptor alone.
function(vexa_wrap_lv2_entry NAME)
  foreach(target ${NAME}-lv2 ${NAME}-lv2-shipped)
    if(target STREQUAL ${NAME}-lv2-shipped)
      dpf__add_module(${target})
      dpf__add_plugin_main(${target} lv2)
      target_link_libraries(${target} PRIVATE ${NAME}-dsp)
      set_property(TARGET ${target} APPEND PROPERTY LINK_OPTIONS "-Xlinker" "--version-script=${lv2_shipped_exports}")
      set_target_properties(${target} PROPERTIES
        LIBRARY_OUTPUT_DIRECTORY ${dpf_shipped_lv2}/$<0:>
        OUTPUT_NAME ${NAME}_dsp
        PREFIX "")
    endif()
    target_sources(${target} PRIVATE ${dpf_adapter_dir}/Lv2Entry.cpp)
    target_compile_definitions(${target} PRIVATE lv2_descriptor=dpf_lv2_descriptor VEXA_DPF_LV2)
  endforeach()
  add_dependencies(${NAME}-lv2 ${NAME}-lv2-shipped)
endfunction()
