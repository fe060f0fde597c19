# ckp_project_options(target): the warning and sanitizer flags of our own
# targets (never applied to third-party code).
function(ckp_project_options target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                             -Wformat=2)
    if(CKP_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()

if(CKP_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# ckp_library_options(target): the library's own objects are compiled without
# exceptions and RTTI, so that no exception can cross the C interface. Tests,
# tools and callers of the C++ header keep both. The library is also warned of
# every implicit conversion that may change a value or its sign: sizes and
# offsets cross between int, 64-bit and size_t, whose width differs between
# the 32- and 64-bit builds.
function(ckp_library_options target)
  ckp_project_options(${target})
  if(NOT MSVC)
    target_compile_options(${target} PRIVATE
                           $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>
                           $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>
                           -Wconversion -Wsign-conversion)
  endif()
endfunction()
