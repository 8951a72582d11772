# One INTERFACE target carries the warnings, defines and sanitizer flags of every target.
add_library(quillmarsh_common INTERFACE)
target_compile_features(quillmarsh_common INTERFACE cxx_std_20)
target_compile_options(quillmarsh_common INTERFACE
    -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor)
if(QUILLMARSH_WERROR)
    target_compile_options(quillmarsh_common INTERFACE -Werror)
endif()
# Qt safety defines: no implicit casts from char* and no keyword macros.
target_compile_definitions(quillmarsh_common INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_KEYWORDS QT_NO_URL_CAST_FROM_STRING
    QT_STRICT_ITERATORS _FILE_OFFSET_BITS=64)

set(QUILLMARSH_SANITIZE "" CACHE STRING
    "Sanitizer build: '', 'address' (ASan+UBSan), 'thread', or 'fuzz' (libFuzzer with ASan+UBSan, clang)")
if(QUILLMARSH_SANITIZE STREQUAL "address")
    set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(QUILLMARSH_SANITIZE STREQUAL "thread")
    set(_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(QUILLMARSH_SANITIZE STREQUAL "fuzz")
    set(_san -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
elseif(NOT QUILLMARSH_SANITIZE STREQUAL "")
    message(FATAL_ERROR "QUILLMARSH_SANITIZE must be '', 'address', 'thread' or 'fuzz'")
endif()
if(_san)
    target_compile_options(quillmarsh_common INTERFACE ${_san})
    target_link_options(quillmarsh_common INTERFACE ${_san})
endif()
