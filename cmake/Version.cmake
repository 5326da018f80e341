# The project's version (project() in the top CMakeLists.txt) as a header, VexaVersion.h,
# for the sources that name it; only those get its folder, so that nothing else rebuilds.
configure_file(${CMAKE_CURRENT_LIST_DIR}/VexaVersion.h.in ${CMAKE_BINARY_DIR}/generated/VexaVersion.h @ONLY)

# vexa_reads_version(SOURCE...): these sources of the calling folder may include VexaVersion.h.
function(vexa_reads_version)
  set_property(SOURCE ${ARGN} APPEND PROPERTY INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/generated)
endfunction()
