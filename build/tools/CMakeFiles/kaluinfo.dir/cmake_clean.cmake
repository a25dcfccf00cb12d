file(REMOVE_RECURSE
  "../bin/kaluinfo"
  "../bin/kaluinfo.pdb"
  "CMakeFiles/kaluinfo.dir/kaluinfo.cpp.o"
  "CMakeFiles/kaluinfo.dir/kaluinfo.cpp.o.d"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/kaluinfo.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
