# Every result is defined in x87 80-bit extended arithmetic (a 64-bit significand). Where long
# double is that type it is used directly; elsewhere (e.g. aarch64, whose long double is the
# 128-bit IEEE type) a software type emulates it bit for bit: TAVRIN_SOFT_EXTENDED.
include(CheckCXXSourceCompiles)
check_cxx_source_compiles([=[
#include <cfloat>
#if LDBL_MANT_DIG != 64
#error long double lacks a 64-bit significand
#endif
int main() { return 0; }
]=] TAVRIN_HAS_EXTENDED_LONG_DOUBLE)

option(TAVRIN_SOFT_EXTENDED
       "Emulate the x87 80-bit extended type in software (forced on where long double is not it)"
       OFF)

if(NOT TAVRIN_HAS_EXTENDED_LONG_DOUBLE OR TAVRIN_SOFT_EXTENDED)
  # The software type needs IEEE binary64 doubles rounded per operation (no excess precision),
  # std::bit_cast, and a 64x64-bit product to 128 bits (the check is built as C++20: CMP0067).
  check_cxx_source_compiles([=[
#include <bit>
#include <cfloat>
#include <cstdint>
#include <limits>
static_assert(std::numeric_limits<double>::is_iec559 && sizeof(double) == 8);
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error double arithmetic is not rounded to double at each operation
#endif
#if !defined(__SIZEOF_INT128__) && !(defined(_MSC_VER) && (defined(_M_X64) || defined(_M_ARM64)))
#error no 64x64-bit product to 128 bits
#endif
int main() { return static_cast<int>(std::bit_cast<std::uint64_t>(1.0) >> 63); }
]=] TAVRIN_CAN_SOFT_EXTENDED)
  if(NOT TAVRIN_CAN_SOFT_EXTENDED)
    message(FATAL_ERROR
      "tavrin needs either a long double with a 64-bit significand (LDBL_MANT_DIG == 64, as on "
      "x86-64 with GCC or Clang) or, for its software extended type, IEEE doubles without "
      "excess precision, C++20 std::bit_cast and a 128-bit integer product. This compiler "
      "offers neither, so its results would not be byte-exact.")
  endif()
  if(NOT TAVRIN_HAS_EXTENDED_LONG_DOUBLE AND NOT TAVRIN_SOFT_EXTENDED)
    message(STATUS "long double is not the x87 extended type here: TAVRIN_SOFT_EXTENDED is on")
    set(TAVRIN_SOFT_EXTENDED ON CACHE BOOL
        "Emulate the x87 80-bit extended type in software (forced on where long double is not it)"
        FORCE)
  endif()
  add_compile_definitions(TAVRIN_SOFT_EXTENDED=1)
endif()
