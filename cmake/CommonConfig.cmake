# Settings every target of the project links through tessaro_common.
set(TESSARO_SANITIZE "" CACHE STRING "Build with sanitizers: address,undefined or thread (empty: none)")
set_property(CACHE TESSARO_SANITIZE PROPERTY STRINGS "" address,undefined thread)

add_library(tessaro_common INTERFACE)
target_compile_features(tessaro_common INTERFACE cxx_std_20)
target_compile_options(tessaro_common INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
target_compile_definitions(tessaro_common INTERFACE
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_URL_CAST_FROM_STRING
    TESSARO_VERSION="${PROJECT_VERSION}")

if(TESSARO_SANITIZE)
    # A report ends the program, so that a test with a finding fails.
    target_compile_options(tessaro_common INTERFACE -fsanitize=${TESSARO_SANITIZE} -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    target_link_options(tessaro_common INTERFACE -fsanitize=${TESSARO_SANITIZE})
endif()

# The fuzz targets under fuzz/: every library is instrumented for libFuzzer's coverage and
# checked by AddressSanitizer and UndefinedBehaviorSanitizer; only the targets link the fuzzer.
option(TESSARO_FUZZ "Build the fuzz targets (clang only, with libFuzzer, ASan and UBSan)" OFF)
if(TESSARO_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TESSARO_FUZZ needs clang's libFuzzer: configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    target_compile_options(tessaro_common INTERFACE -fsanitize=fuzzer-no-link,address,undefined
        -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(tessaro_common INTERFACE -fsanitize=address,undefined)
endif()

# Product code spells out every conversion from 8-bit text; tests may use plain literals.
function(tessaro_strict target)
    target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII)
endfunction()

# One static library per source folder; Widgets only where the caller asks for them. A library
# exports only its own headers, under the path they have below src/ (as "access/TelnetSync.h"),
# so including the header of a library that is not linked fails to build. Private headers
# (name_p.h, as Qt names them) stay inside their library.
function(tessaro_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
    set(exported ${CMAKE_BINARY_DIR}/include/${name})
    file(REMOVE_RECURSE ${exported})
    file(MAKE_DIRECTORY ${exported}/${folder})
    foreach(source IN LISTS ARG_SOURCES)
        if(source MATCHES "\\.h$" AND NOT source MATCHES "_p\\.h$")
            file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${exported}/${folder}/${source} SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(${name} PUBLIC ${exported})
    target_link_libraries(${name} PUBLIC tessaro_common ${ARG_LIBS})
    tessaro_strict(${name})
endfunction()
