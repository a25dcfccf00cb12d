file(REMOVE_RECURSE
  "CMakeFiles/kalucore.dir/exports.cpp.o"
  "CMakeFiles/kalucore.dir/exports.cpp.o.d"
  "CMakeFiles/kalucore.dir/exports_pending.cpp.o"
  "CMakeFiles/kalucore.dir/exports_pending.cpp.o.d"
  "CMakeFiles/kalucore.dir/frame.cpp.o"
  "CMakeFiles/kalucore.dir/frame.cpp.o.d"
  "CMakeFiles/kalucore.dir/mount.cpp.o"
  "CMakeFiles/kalucore.dir/mount.cpp.o.d"
  "CMakeFiles/kalucore.dir/sector.cpp.o"
  "CMakeFiles/kalucore.dir/sector.cpp.o.d"
  "libkalucore.a"
  "libkalucore.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/kalucore.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
