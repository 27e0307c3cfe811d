# Install rules: headers, the library, the programs, a CMake package
# (find_package(zerin-exchange CONFIG) -> zerin::exchange), a pkg-config file,
# and the license and changelog (share/doc/zerin-exchange).
# Included from the top-level CMakeLists.txt after the tools are added.

if(NOT ZERIN_EXCHANGE_INSTALL)
  return()
endif()

include(CMakePackageConfigHelpers)

set(ZERIN_EXCHANGE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zerin-exchange
    CACHE STRING "Where the CMake package files are installed, relative to the prefix")
mark_as_advanced(ZERIN_EXCHANGE_CMAKE_DIR)

install(TARGETS zerin_exchange EXPORT zerin-exchange-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.hpp")
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_BINARY_DIR}/include/zerin/exchange/export.hpp
              ${PROJECT_BINARY_DIR}/include/zerin/exchange/version.hpp
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zerin/exchange)

# Installed programs find a shared library in the prefix's library directory
# wherever the prefix is moved to.
file(RELATIVE_PATH zerin_exchange_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBDIR})
foreach(program IN ITEMS zerin-digest zerin-plan)
  if(TARGET ${program})
    if(ZERIN_EXCHANGE_SHARED)
      set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${zerin_exchange_bin_to_lib}")
    endif()
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(EXPORT zerin-exchange-targets NAMESPACE zerin:: FILE zerin-exchange-targets.cmake
        DESTINATION ${ZERIN_EXCHANGE_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zerin-exchange-config.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/zerin-exchange-config.cmake
  INSTALL_DESTINATION ${ZERIN_EXCHANGE_CMAKE_DIR})
# Before 1.0 a minor release may change the API, so only the same minor version matches.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/zerin-exchange-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/zerin-exchange-config.cmake
              ${PROJECT_BINARY_DIR}/cmake/zerin-exchange-config-version.cmake
        DESTINATION ${ZERIN_EXCHANGE_CMAKE_DIR})

# pkg-config: paths are written relative to the .pc file's own directory, so the
# file stays right when the prefix is chosen at install time (cmake --install
# --prefix) or the installed tree is moved.
set(zerin_exchange_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE ${CMAKE_INSTALL_LIBDIR})
  set(ZERIN_EXCHANGE_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(ZERIN_EXCHANGE_PC_LIBDIR ${CMAKE_INSTALL_LIBDIR})
else()
  file(RELATIVE_PATH zerin_exchange_pc_to_prefix ${CMAKE_INSTALL_PREFIX}/${zerin_exchange_pc_dir}
       ${CMAKE_INSTALL_PREFIX})
  string(REGEX REPLACE "/$" "" zerin_exchange_pc_to_prefix "${zerin_exchange_pc_to_prefix}")
  set(ZERIN_EXCHANGE_PC_PREFIX "\${pcfiledir}/${zerin_exchange_pc_to_prefix}")
  set(ZERIN_EXCHANGE_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE ${CMAKE_INSTALL_INCLUDEDIR})
  set(ZERIN_EXCHANGE_PC_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
else()
  set(ZERIN_EXCHANGE_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
get_target_property(zerin_exchange_output_name zerin_exchange OUTPUT_NAME)
if(NOT zerin_exchange_output_name)
  set(zerin_exchange_output_name zerin_exchange)
endif()
set(ZERIN_EXCHANGE_PC_LIBNAME ${zerin_exchange_output_name})
configure_file(${PROJECT_SOURCE_DIR}/cmake/zerin-exchange.pc.in
               ${PROJECT_BINARY_DIR}/zerin-exchange.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zerin-exchange.pc DESTINATION ${zerin_exchange_pc_dir})

# The Python package (built with -DZERIN_EXCHANGE_BUILD_PYTHON=ON) under the
# prefix's site-packages.
if(TARGET zerin_exchange_python)
  set(zerin_python_destination ${ZERIN_EXCHANGE_PYTHON_INSTALL_DIR}/zerin_exchange)
  install(TARGETS zerin_exchange_python LIBRARY DESTINATION ${zerin_python_destination})
  install(FILES ${PROJECT_SOURCE_DIR}/python/zerin_exchange/__init__.py
                ${PROJECT_SOURCE_DIR}/python/zerin_exchange/__init__.pyi
                ${PROJECT_SOURCE_DIR}/python/zerin_exchange/py.typed
          DESTINATION ${zerin_python_destination})
endif()
