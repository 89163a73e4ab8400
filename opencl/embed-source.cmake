# Writes OUTPUT, a C++ file defining `NAME`: the files of INPUTS (a list
# separated by ';'), concatenated, as one string, so that the worker carries its
# kernel source.  Run by the build (cmake -P) whenever an input changes.
set(text "")
foreach(input IN LISTS INPUTS)
  file(READ ${input} part)
  string(APPEND text "${part}")
endforeach()
# A raw string literal cannot hold its own closing sequence.
string(FIND "${text}" ")dlsmate_kernel\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "the kernel sources contain the raw string's closing sequence")
endif()
file(WRITE ${OUTPUT} "// Generated from the kernel sources by opencl/embed-source.cmake; do not edit.\n"
                     "extern const char ${NAME}[];\n"
                     "const char ${NAME}[] = R\"dlsmate_kernel(${text})dlsmate_kernel\";\n")
