# An install copies nothing unless everything it would copy has been built:
# a tree configured with a part it did not build (say, the Python module of
# a build of the command alone) fails before the first file is copied, so
# that no half-installed command is left without its libraries.
#
# The check is the first install rule (install rules run in the order they
# are declared), and its script is generated once every target is known.

set(CKP_INSTALL_CHECK_SCRIPT "${CMAKE_BINARY_DIR}/ckp-install-check.cmake")

macro(ckp_install_check_first)
  install(SCRIPT "${CKP_INSTALL_CHECK_SCRIPT}")
endmacro()

# The built files of the installed targets that exist in this tree.
function(ckp_install_check_generate)
  set(files)
  foreach(target IN ITEMS ckp kvo ckp_cxx ckp_tool _ckp)
    if(TARGET ${target})
      get_target_property(type ${target} TYPE)
      if(NOT type STREQUAL "INTERFACE_LIBRARY")
        list(APPEND files "$<TARGET_FILE:${target}>")
      endif()
    endif()
  endforeach()
  list(JOIN files "\n  " listed)
  file(GENERATE OUTPUT "${CKP_INSTALL_CHECK_SCRIPT}" CONTENT "\
set(ckp_missing)
foreach(file IN ITEMS
  ${listed})
  if(NOT EXISTS \"\${file}\")
    list(APPEND ckp_missing \"\${file}\")
  endif()
endforeach()
if(ckp_missing)
  list(JOIN ckp_missing \"\\n  \" ckp_missing)
  message(FATAL_ERROR \"Nothing was installed: this build tree has not built\\n  \${ckp_missing}\\n\"
                      \"Build it first: cmake --build ${CMAKE_BINARY_DIR}\")
endif()
")
endfunction()
