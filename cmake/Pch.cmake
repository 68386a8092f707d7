# Precompiled headers: the standard library, JSON, GoogleTest and Qt are parsed
# once per kind of target instead of once per source file. Each kind is built
# by a small object library that the others reuse, so it is compiled once.
set(LIDORA_PCH_DIR ${CMAKE_CURRENT_LIST_DIR}/pch)

function(_lidora_pch_base name header)
  add_library(${name} OBJECT ${LIDORA_PCH_DIR}/pch.cpp)
  target_precompile_headers(${name} PRIVATE ${LIDORA_PCH_DIR}/${header})
  target_link_libraries(${name} PRIVATE ${ARGN})
endfunction()

_lidora_pch_base(lidora_pch_core core.h)
_lidora_pch_base(lidora_pch_platform platform.h nlohmann_json::nlohmann_json)
_lidora_pch_base(lidora_pch_qt qt.h Qt6::Widgets)

# lidora_precompile(TARGET core|platform|qt|test|qt-test)
function(lidora_precompile target kind)
  if(CMAKE_DISABLE_PRECOMPILE_HEADERS)
    return()
  endif()
  if(kind STREQUAL "test" OR kind STREQUAL "qt-test")
    # Test targets differ in their definitions; each compiles its own.
    set(headers ${LIDORA_PCH_DIR}/test.h)
    if(kind STREQUAL "qt-test")
      list(APPEND headers ${LIDORA_PCH_DIR}/qt.h)
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
  else()
    target_precompile_headers(${target} REUSE_FROM lidora_pch_${kind})
  endif()
endfunction()
