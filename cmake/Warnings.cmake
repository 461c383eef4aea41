# One interface target carries the compiler options every target of ours uses.
add_library(orvane_warnings INTERFACE)
target_compile_options(orvane_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
  $<$<BOOL:${ORVANE_WERROR}>:-Werror>)

add_library(orvane_sanitize INTERFACE)
if(ORVANE_SANITIZE)
  target_compile_options(orvane_sanitize INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(orvane_sanitize INTERFACE -fsanitize=address,undefined)
endif()
