# The core library's sources: every .cpp under src/ but the executable's entry point, with only
# the platform family being built (files ending in _posix.cpp or _windows.cpp).
#   tavrin_core_sources(<variable> <source root>)
function(tavrin_core_sources variable root)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${root}/src/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/src/run/main\\.cpp$")
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_windows\\.cpp$")
  endif()
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()
