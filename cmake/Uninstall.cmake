# Removes what the last install from build folder BUILD wrote (`make uninstall`): the files and links its
# install_manifest.txt lists (under the DESTDIR that install had), the folders they leave empty below the install's roots (the bundles' insides),
# and the folders the install made (install_folders.cmake, cmake/Install.cmake) once they are empty. A file
# of anyone else's, and every folder that holds one, stays.
#
#   cmake -DBUILD=build/linux -P cmake/Uninstall.cmake
if(NOT BUILD)
  message(FATAL_ERROR "usage: cmake -DBUILD=<build folder> -P cmake/Uninstall.cmake")
endif()
set(manifest "${BUILD}/install_manifest.txt")
set(record "${BUILD}/install_folders.cmake")
if(NOT EXISTS "${manifest}")
  message(STATUS "Nothing to uninstall: ${manifest} does not exist (nothing installed from ${BUILD}, or uninstalled already)")
  return()
endif()
# The manifest names the files without DESTDIR: the install's own DESTDIR (its record) comes first.
set(VEXA_INSTALL_DESTDIR "$ENV{DESTDIR}")
set(VEXA_INSTALL_ROOTS)
set(VEXA_INSTALL_MADE)
if(EXISTS "${record}")
  include("${record}")
endif()

# A folder's depth, for removing the deepest first.
function(depth_of path result)
  string(REGEX MATCHALL "/" slashes "${path}")
  list(LENGTH slashes depth)
  set(${result} ${depth} PARENT_SCOPE)
endfunction()

file(STRINGS "${manifest}" files)
set(emptied)
foreach(file IN LISTS files)
  set(file "${VEXA_INSTALL_DESTDIR}${file}")
  if(EXISTS "${file}" OR IS_SYMLINK "${file}")
    message(STATUS "Removing: ${file}")
    file(REMOVE "${file}")
  endif()
  # Its folders up to the root it was installed under.
  foreach(root IN LISTS VEXA_INSTALL_ROOTS)
    string(FIND "${file}" "${root}/" start)
    if(NOT start EQUAL 0)
      continue()
    endif()
    get_filename_component(folder "${file}" DIRECTORY)
    while(NOT folder STREQUAL root)
      list(APPEND emptied "${folder}")
      get_filename_component(folder "${folder}" DIRECTORY)
    endwhile()
  endforeach()
endforeach()

# Deepest first, so that a folder emptied by removing its own empty folders goes too.
set(candidates ${emptied} ${VEXA_INSTALL_MADE})
list(REMOVE_DUPLICATES candidates)
set(keyed)
foreach(folder IN LISTS candidates)
  depth_of("${folder}" depth)
  math(EXPR key "1000 - ${depth}")
  list(APPEND keyed "${key}|${folder}")
endforeach()
list(SORT keyed COMPARE NATURAL)
foreach(entry IN LISTS keyed)
  string(REGEX REPLACE "^[0-9]+\\|" "" folder "${entry}")
  # rmdir removes a folder only when it is empty.
  if(IS_DIRECTORY "${folder}" AND NOT IS_SYMLINK "${folder}")
    execute_process(COMMAND rmdir "${folder}" RESULT_VARIABLE kept OUTPUT_QUIET ERROR_QUIET)
    if(kept EQUAL 0)
      message(STATUS "Removing empty folder: ${folder}")
    endif()
  endif()
endforeach()
file(REMOVE "${manifest}" "${record}")
