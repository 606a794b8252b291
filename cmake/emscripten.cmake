# Builds for the browser with Debian's emscripten, through the toolchain file
# it ships (found with em-config, wherever it is installed).
execute_process(COMMAND em-config EMSCRIPTEN_ROOT
                OUTPUT_VARIABLE OEM2SIF_EMSCRIPTEN_ROOT
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
include(${OEM2SIF_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)
