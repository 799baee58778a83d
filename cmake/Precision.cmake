# Every result is defined in 64-bit-significand extended arithmetic, which we get from long double.
# On a target where long double is anything else the output bytes would silently differ: refuse it.
include(CheckCXXSourceCompiles)
check_cxx_source_compiles([=[
#include <cfloat>
#if LDBL_MANT_DIG != 64
#error long double lacks a 64-bit significand
#endif
int main() { return 0; }
]=] TAVRIN_HAS_EXTENDED_LONG_DOUBLE)
if(NOT TAVRIN_HAS_EXTENDED_LONG_DOUBLE)
  message(FATAL_ERROR
    "tavrin needs a long double with a 64-bit significand (LDBL_MANT_DIG == 64), "
    "as on x86-64 with GCC or Clang (Linux or MinGW-w64). This target's long double differs, "
    "so its results would not be byte-exact. MSVC is not supported for this reason.")
endif()
