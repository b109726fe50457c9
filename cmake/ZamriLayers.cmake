# The layer table: one row per folder of src/, each folder one library (zamri_<folder>) that may
# include the headers, and links the libraries, of the folders its row names and no others.
# Lower layers first; a row names only rows above it, so no circle can form. The layer check
# (cmake/CheckLayers.cmake, a test in every tier) holds every include to the table.
#
# A new folder adds its row here and a CMakeLists.txt that calls zamri_folder_library().
set(ZAMRI_LAYERS "")
macro(zamri_layer name)
  list(APPEND ZAMRI_LAYERS ${name})
  set(ZAMRI_LAYER_${name} ${ARGN})
endmacro()

# base: OS helpers and the two closed libraries' stand-ins, shared text, code pages, the network
# layer, the receipt reader's core, the settings
zamri_layer(platform)
zamri_layer(text      platform)
zamri_layer(codepage  platform)
zamri_layer(net       text platform)
# receipts read into transactions and exceptions: a pure core
zamri_layer(receipt   text platform)
zamri_layer(config    receipt net codepage text platform)
# delivery: masks, filter, overlay output, the sinks' interface
zamri_layer(mask      config platform)
zamri_layer(delivery  receipt mask config codepage text platform)
# feed health: when a port fails, a line shows errors, a channel falls silent, a sender is refused
zamri_layer(health    delivery receipt mask config codepage text platform)
# decoding and the sources
zamri_layer(serial    delivery receipt mask config codepage text platform)
zamri_layer(tcp       delivery receipt mask net config codepage text platform)
# detection: line settings, printer language and code page found from what a port or a dump shows
zamri_layer(detect    serial delivery receipt mask config codepage text platform)
zamri_layer(netsource serial delivery receipt mask net config codepage text platform)
# sinks
zamri_layer(journal   delivery receipt mask config codepage text platform)
zamri_layer(export    journal delivery receipt net config codepage text platform)
zamri_layer(subtitle  journal delivery receipt mask config codepage text platform)
zamri_layer(web       subtitle journal delivery receipt mask net config codepage text platform)
zamri_layer(alert     journal delivery receipt mask net config codepage text platform)
# capture, the program object, then the fronts
zamri_layer(capture   health netsource tcp serial delivery receipt mask net config codepage text platform)
zamri_layer(program   health capture alert web subtitle export journal netsource tcp serial delivery receipt mask net config codepage text platform)
zamri_layer(ui        detect serial delivery receipt mask net config codepage text platform)
zamri_layer(app       ui program health capture alert subtitle web export journal netsource tcp serial delivery receipt mask net config codepage text platform)

# zamri_folder_library(<folder> <source>...): the folder's library, linked to the libraries of
# the folders its row names.
function(zamri_folder_library folder)
  if(NOT folder IN_LIST ZAMRI_LAYERS)
    message(FATAL_ERROR "src/${folder} has no row in cmake/ZamriLayers.cmake")
  endif()
  add_library(zamri_${folder} STATIC ${ARGN})
  target_include_directories(zamri_${folder} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
  target_link_libraries(zamri_${folder} PUBLIC Threads::Threads)
  foreach(dependency IN LISTS ZAMRI_LAYER_${folder})
    target_link_libraries(zamri_${folder} PUBLIC zamri_${dependency})
  endforeach()
endfunction()
