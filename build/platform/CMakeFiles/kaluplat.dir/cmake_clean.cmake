file(REMOVE_RECURSE
  "CMakeFiles/kaluplat.dir/disk_unix.cpp.o"
  "CMakeFiles/kaluplat.dir/disk_unix.cpp.o.d"
  "CMakeFiles/kaluplat.dir/dynlib_unix.cpp.o"
  "CMakeFiles/kaluplat.dir/dynlib_unix.cpp.o.d"
  "CMakeFiles/kaluplat.dir/host_misc.cpp.o"
  "CMakeFiles/kaluplat.dir/host_misc.cpp.o.d"
  "CMakeFiles/kaluplat.dir/ioseam.cpp.o"
  "CMakeFiles/kaluplat.dir/ioseam.cpp.o.d"
  "CMakeFiles/kaluplat.dir/localname.cpp.o"
  "CMakeFiles/kaluplat.dir/localname.cpp.o.d"
  "CMakeFiles/kaluplat.dir/shared_unix.cpp.o"
  "CMakeFiles/kaluplat.dir/shared_unix.cpp.o.d"
  "libkaluplat.a"
  "libkaluplat.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/kaluplat.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
