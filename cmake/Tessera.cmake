# Helpers shared by every module's CMakeLists.txt.

# tessera_library(<Target> OUTPUT <stem> SOURCES ... HEADERS ... [LINK ...] [PRIVATE_LINK ...])
# Builds libtessera-<stem>.so, aliases it as Tessera::<Target>, installs it with its public
# headers under include/tessera/<folder>/ and adds the headers to the umbrella header.
function(tessera_library target)
  cmake_parse_arguments(T "" "OUTPUT" "SOURCES;HEADERS;LINK;PRIVATE_LINK" ${ARGN})
  add_library(${target} SHARED ${T_SOURCES})
  add_library(Tessera::${target} ALIAS ${target})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME tessera-${T_OUTPUT}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    EXPORT_NAME ${target})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tessera>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(${target} PUBLIC ${T_LINK} PRIVATE ${T_PRIVATE_LINK})
  install(TARGETS ${target} EXPORT TesseraTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(h ${T_HEADERS})
    install(FILES ${h} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tessera/${folder})
    get_filename_component(name ${h} NAME)
    set_property(GLOBAL APPEND PROPERTY TESSERA_UMBRELLA_HEADERS ${folder}/${name})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY TESSERA_LIBRARIES ${target})
endfunction()

# Writes the umbrella header, the CMake package and the pkg-config files.
function(tessera_finish_package)
  get_property(headers GLOBAL PROPERTY TESSERA_UMBRELLA_HEADERS)
  get_property(libs GLOBAL PROPERTY TESSERA_LIBRARIES)
  set(body "// Generated at configure time: every public header of the toolkit.\n#pragma once\n")
  foreach(h ${headers})
    string(APPEND body "#include \"${h}\"\n")
  endforeach()
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/include/tessera/tessera.h CONTENT "${body}")
  install(FILES ${PROJECT_BINARY_DIR}/include/tessera/tessera.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tessera)

  include(CMakePackageConfigHelpers)
  set(cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/Tessera)
  install(EXPORT TesseraTargets NAMESPACE Tessera:: DESTINATION ${cmakedir})
  list(TRANSFORM libs PREPEND Tessera:: OUTPUT_VARIABLE TESSERA_ALL_LIBRARIES)
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TesseraConfig.cmake.in
    ${PROJECT_BINARY_DIR}/TesseraConfig.cmake INSTALL_DESTINATION ${cmakedir})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/TesseraConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/TesseraConfig.cmake
    ${PROJECT_BINARY_DIR}/TesseraConfigVersion.cmake DESTINATION ${cmakedir})

  # pkg-config: one file per library, and tessera.pc for all of them.
  set(all_names "")
  foreach(l ${libs})
    get_target_property(stem ${l} OUTPUT_NAME)
    set(PC_NAME ${stem})
    set(PC_LIBS "-l${stem}")
    # Requires: the toolkit libraries this one exposes in its interface.
    set(PC_REQUIRES "")
    get_target_property(deps ${l} INTERFACE_LINK_LIBRARIES)
    foreach(d ${deps})
      if(d IN_LIST libs)
        get_target_property(dstem ${d} OUTPUT_NAME)
        string(APPEND PC_REQUIRES " ${dstem}")
      endif()
    endforeach()
    configure_file(${PROJECT_SOURCE_DIR}/cmake/tessera.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${stem}.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${stem}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
    string(APPEND all_names " -l${stem}")
  endforeach()
  set(PC_NAME tessera)
  set(PC_LIBS "${all_names}")
  set(PC_REQUIRES "")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tessera.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/tessera.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/tessera.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
