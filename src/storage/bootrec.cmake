# Boot records: the load state word and the boot parameter memory, in both builds.
set(BSP_BOOTREC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/loadstate.cc)
bsp_object_library(bsp_bootrec_obj INTO BSP_LIB_OBJECTS SOURCES
  ${BSP_BOOTREC_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/loadstate_choose.cc
  ${CMAKE_CURRENT_LIST_DIR}/bootparam.cc)
bsp_object_library(bsp_bootrec_loader_obj INTO BSP_LOADER_OBJECTS DEFINES BSP_FLAVOR_LOADER SOURCES
  ${BSP_BOOTREC_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/bootmem_loader.cc)
# The image tool chooses the next package as the library does.
bsp_object_library(bsp_bootrec_tool_obj DEFINES BSP_FLAVOR_TOOL SOURCES
  ${BSP_BOOTREC_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/loadstate_choose.cc)
