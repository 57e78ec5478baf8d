# Optional peer: OpenMP (libgomp ships with g++) for the fork-join and
# banded-fill comparisons.
find_package(OpenMP QUIET)
if(OpenMP_CXX_FOUND)
  target_link_libraries(${name} PRIVATE OpenMP::OpenMP_CXX)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_OPENMP)
endif()
