file(REMOVE_RECURSE
  "../bin/SKTRAW32.DLL"
  "../bin/SKTRAW32.pdb"
  "CMakeFiles/SKTRAW32.dir/sktraw32.cpp.o"
  "CMakeFiles/SKTRAW32.dir/sktraw32.cpp.o.d"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/SKTRAW32.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
