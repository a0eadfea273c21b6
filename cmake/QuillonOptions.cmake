# Compile options shared by every target of the project (not by Qt's generated code).
add_library(quillon_options INTERFACE)
target_compile_options(quillon_options INTERFACE -Wall -Wextra -Werror)

if(QUILLON_SANITIZE)
  target_compile_options(quillon_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                   -fno-sanitize-recover=undefined)
  target_link_options(quillon_options INTERFACE -fsanitize=address,undefined)
endif()

# The hardening Debian builds its packages with, so lintian finds the packaged programs
# hardened: relocations read-only and bound at start-up, and checked string and memory calls
# (which need an optimised build; the sanitizers do their own checking).
target_link_options(quillon_options INTERFACE LINKER:-z,relro LINKER:-z,now)
if(NOT QUILLON_SANITIZE AND NOT QUILLON_FUZZ)
  target_compile_definitions(quillon_options INTERFACE
                             $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
endif()
