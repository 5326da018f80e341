# Install rules for the Linux plug-ins and vexa-host: `make install`, `make uninstall` and the packages.
#
# The folders are chosen when installing, by the install script's VEXA_USER_FOLDERS:
#
#   what                     VEXA_USER_FOLDERS (prefix $HOME)   otherwise (prefix /usr, ...)
#   LV2, VST3, CLAP bundles  .lv2/  .vst3/  .clap/              lib/lv2/  lib/vst3/  lib/clap/
#   vexa-host and the module .local/lib/vexa-lp-filter-2/       lib/vexa-lp-filter-2/
#   a link to vexa-host      .local/bin/                        bin/
#   its manual page          .local/share/man/man1/             share/man/man1/
#
# vexa-host loads the module found beside its own file (symbolic links resolved), so the
# two share a private folder and bin/ holds a relative link to the program.
#
# Besides CMake's install_manifest.txt (the files, without DESTDIR), an install writes
# install_folders.cmake beside it: its DESTDIR, the folders it made, for cmake/Uninstall.cmake
# to remove once they are empty again, and the bundle folders' roots, below which every
# emptied folder is ours.

install(CODE [[
  if(VEXA_USER_FOLDERS)
    set(vexa_folders lv2 .lv2 vst3 .vst3 clap .clap lib .local/lib/vexa-lp-filter-2 bin .local/bin
                     man .local/share/man/man1)
  else()
    set(vexa_folders lv2 lib/lv2 vst3 lib/vst3 clap lib/clap lib lib/vexa-lp-filter-2 bin bin man share/man/man1)
  endif()
  # vexa_lv2, vexa_vst3, ...: each relative to the prefix; the folders' full paths, DESTDIR included, and
  # those of them (or of their parents) that do not exist yet.
  set(vexa_roots)
  set(vexa_made)
  while(vexa_folders)
    list(POP_FRONT vexa_folders kind folder)
    set(vexa_${kind} ${folder})
    set(path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${folder}")
    list(APPEND vexa_roots "${path}")
    while(NOT EXISTS "${path}" AND NOT IS_SYMLINK "${path}")
      list(APPEND vexa_made "${path}")
      get_filename_component(path "${path}" DIRECTORY)
    endwhile()
  endwhile()
  list(REMOVE_DUPLICATES vexa_made)
]])

# Shared objects and descriptions alike: read-only for all but the owner, not executable.
set(bundle_permissions FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
foreach(format lv2 vst3 clap)
  install(DIRECTORY ${VEXA_PLUGIN_OUTPUT_DIR}/${format}/ DESTINATION \${vexa_${format}} ${bundle_permissions})
endforeach()
install(TARGETS vexa-host RUNTIME DESTINATION \${vexa_lib})
install(TARGETS VexaLPFilter2 LIBRARY DESTINATION \${vexa_lib} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vexa-host.1 DESTINATION \${vexa_man})

string(CONFIGURE [[
  # The link in bin/, recorded with the files; then the folders this install made, added to those an
  # earlier install under the same root made and that are still there.
  set(link "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${vexa_bin}/vexa-host")
  file(RELATIVE_PATH target "${CMAKE_INSTALL_PREFIX}/${vexa_bin}" "${CMAKE_INSTALL_PREFIX}/${vexa_lib}/vexa-host")
  message(STATUS "Installing: ${link} -> ${target}")
  file(REMOVE "${link}")
  get_filename_component(folder "${link}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  file(CREATE_LINK "${target}" "${link}" SYMBOLIC)
  # (The manifest names files as installed without DESTDIR, as CMake's own entries do.)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_PREFIX}/${vexa_bin}/vexa-host")

  # (An install of one component, as scripts/dist.sh stages the package, keeps no record.)
  set(record "@CMAKE_BINARY_DIR@/install_folders.cmake")
  if(EXISTS "${record}" AND NOT CMAKE_INSTALL_COMPONENT)
    set(VEXA_INSTALL_MADE)
    include("${record}")
    foreach(path IN LISTS VEXA_INSTALL_MADE)
      string(FIND "${path}" "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/" start)
      if(start EQUAL 0 AND IS_DIRECTORY "${path}")
        list(APPEND vexa_made "${path}")
      endif()
    endforeach()
    list(REMOVE_DUPLICATES vexa_made)
  endif()
  if(NOT CMAKE_INSTALL_COMPONENT)
    file(WRITE "${record}" "set(VEXA_INSTALL_DESTDIR [==[$ENV{DESTDIR}]==])\n"
                           "set(VEXA_INSTALL_ROOTS [==[${vexa_roots}]==])\nset(VEXA_INSTALL_MADE [==[${vexa_made}]==])\n")
  endif()
]] record_folders @ONLY)
install(CODE "${record_folders}")
