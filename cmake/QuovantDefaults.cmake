# Warnings apply to our own targets only; the sanitizer flags apply to everything
# built here (GoogleTest included) so instrumented and plain code never mix.
function(quovant_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

if(QUOVANT_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(QUOVANT_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT QUOVANT_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QUOVANT_SANITIZE must be empty, address or thread")
endif()
# A sanitizer's report needs file and line, not variables; -O1 is what the sanitizers are
# tuned for, and both halve the time these builds take (cpp-httplib's units the most).
if(QUOVANT_SANITIZE AND CMAKE_BUILD_TYPE STREQUAL "RelWithDebInfo")
  set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O1 -g1 -DNDEBUG")
  set(CMAKE_C_FLAGS_RELWITHDEBINFO "-O1 -g1 -DNDEBUG")
endif()

if(QUOVANT_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUOVANT_FUZZ needs clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# One library per source folder. Qt-free folders link no Qt, so Qt headers are not
# even on their include path.
function(quovant_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  quovant_defaults(${name})
endfunction()

# Hardening on every binary built here, the root daemon and its installer first:
# checked libc calls, stack protector, read-only relocations bound at start, PIE.
# Fortification needs optimisation and stays out of the sanitizer builds.
if(QUOVANT_SANITIZE STREQUAL "" AND NOT QUOVANT_FUZZ)
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endif()
add_compile_options(-fstack-protector-strong)
add_link_options(-Wl,-z,relro -Wl,-z,now)
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
