# Copies the plug-in bundles DPF built into the output folder, one subfolder per
# format as in the usual plug-in folders (lv2/, vst3/, clap/). The LV2 audio and
# CV ports keep the plain symbols the plug-ins give them (DPF writes "lv2_signal").
# Run with -DSOURCE=folder -DDESTINATION=folder -DBUNDLES=name|name|...
string(REPLACE "|" ";" BUNDLES "${BUNDLES}")
foreach(bundle IN LISTS BUNDLES)
  get_filename_component(format ${bundle} LAST_EXT)
  string(SUBSTRING ${format} 1 -1 format)
  set(folder ${DESTINATION}/${format})
  file(REMOVE_RECURSE ${folder}/${bundle})
  file(COPY ${SOURCE}/${bundle} DESTINATION ${folder})
  if(format STREQUAL "lv2")
    file(GLOB descriptions ${folder}/${bundle}/*.ttl)
    foreach(description IN LISTS descriptions)
      file(READ ${description} text)
      string(REPLACE "lv2:symbol \"lv2_" "lv2:symbol \"" text "${text}")
      file(WRITE ${description} "${text}")
    endforeach()
  endif()
endforeach()
