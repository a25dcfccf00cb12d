file(REMOVE_RECURSE
  "../bin/QvKalu.dll"
  "../bin/QvKalu.pdb"
  "CMakeFiles/QvKalu.dir/dllmain.cpp.o"
  "CMakeFiles/QvKalu.dir/dllmain.cpp.o.d"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/QvKalu.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
