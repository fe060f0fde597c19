# Install rules: headers, both libraries, the ckp command, a CMake package
# (find_package(ckp) gives ckp::ckp and ckp::kvo) and a pkg-config file.
include(CMakePackageConfigHelpers)

install(FILES include/ckp/ckp.h include/ckp/kvo.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ckp)
if(EXISTS ${PROJECT_SOURCE_DIR}/include/ckp/ckp.hpp)
  install(FILES include/ckp/ckp.hpp DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ckp)
endif()

install(TARGETS ckp kvo EXPORT ckpTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT ckpTargets NAMESPACE ckp:: FILE ckpTargets.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ckp)

configure_package_config_file(cmake/ckpConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ckpConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ckp)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ckpConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ckpConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/ckpConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ckp)

configure_file(cmake/ckp.pc.in ${CMAKE_CURRENT_BINARY_DIR}/ckp.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ckp.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
