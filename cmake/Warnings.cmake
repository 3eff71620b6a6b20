# One interface target carries the warning set of the whole project.
add_library(fp_warnings INTERFACE)
target_compile_options(fp_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
  -Wnull-dereference -Wdouble-promotion)
if(FP_WARNINGS_AS_ERRORS)
  target_compile_options(fp_warnings INTERFACE -Werror)
endif()

# The engine's floating point must not be fused: the fast paths are checked
# bit for bit against the step-by-step reference.
add_library(fp_engine_flags INTERFACE)
target_compile_options(fp_engine_flags INTERFACE -ffp-contract=off)
