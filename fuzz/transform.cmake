# Fuzz target of the transforms: CScale through the tile flow and CRotateScale.
if(TARGET Transform)
  tessera_fuzz_target(transform SOURCES ${CMAKE_CURRENT_LIST_DIR}/transform.cpp LINK Transform image
    CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/transform)
endif()
