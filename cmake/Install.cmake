# Install rules: headers, both libraries, the ckp command with its manual
# page and shell completions, the editors' syntax files, a CMake package (find_package(ckp) gives ckp::ckp,
# ckp::kvo and ckp::cxx), a pkg-config file and the documentation.
include(CMakePackageConfigHelpers)

if(CKP_BUILD_TOOLS)
  install(FILES docs/ckp.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES docs/ckp.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME ckp)
  install(FILES docs/ckp.zsh DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/site-functions RENAME _ckp)
  install(FILES docs/ckp.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
endif()
# Editors: vim finds share/vim/vimfiles on Debian's runtime path; the VS Code
# extension folder is linked or copied into ~/.vscode/extensions.
install(DIRECTORY editors/vim/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vim/vimfiles)
install(DIRECTORY editors/vscode/ DESTINATION ${CMAKE_INSTALL_DATADIR}/ckp/vscode)
install(FILES README.md docs/json.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(FILES include/ckp/ckp.h include/ckp/ckpx.h include/ckp/kvo.h include/ckp/ckp.hpp
              include/ckp/ckpcxx.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ckp)

# An installed libckp (and libckp_cxx) finds the libraries beside it without
# help.
if(NOT WIN32 AND NOT APPLE)
  set_target_properties(ckp ckp_cxx PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

install(TARGETS ckp kvo ckp_cxx EXPORT ckpTargets
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

# The pkg-config file finds the prefix from its own place, so that the tree
# works wherever it is installed (cmake --install --prefix, DESTDIR, a copy).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(CKP_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH ckp_pc_up "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" ckp_pc_up "${ckp_pc_up}")
  set(CKP_PC_PREFIX "\${pcfiledir}/${ckp_pc_up}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(CKP_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(CKP_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(cmake/ckp.pc.in ${CMAKE_CURRENT_BINARY_DIR}/ckp.pc @ONLY)
configure_file(cmake/ckp-cxx.pc.in ${CMAKE_CURRENT_BINARY_DIR}/ckp-cxx.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ckp.pc ${CMAKE_CURRENT_BINARY_DIR}/ckp-cxx.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
